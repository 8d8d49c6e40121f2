// Small text helpers shared by the settings readers.
#ifndef CAMSIM_TEXT_UTIL_H
#define CAMSIM_TEXT_UTIL_H

#include <string>
#include <vector>

namespace camsim {

std::string trim(const std::string &s);
// Splits at every `sep`; each part is trimmed.
std::vector<std::string> split(const std::string &s, char sep);

} // namespace camsim

#endif
