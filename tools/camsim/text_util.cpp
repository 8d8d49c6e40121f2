#include "text_util.h"

namespace camsim {

std::string trim(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r\n");
    return s.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string &s, char sep)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto at = s.find(sep, start);
        parts.push_back(trim(s.substr(start, at == std::string::npos ? std::string::npos : at - start)));
        if (at == std::string::npos)
            return parts;
        start = at + 1;
    }
}

} // namespace camsim
