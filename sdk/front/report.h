// The report lines of the SDK object: the texts that technicians and scripts read
// on standard output. Built as text here and written by the object, so every line
// has one place where its format lives.
#ifndef NOLMAK_FRONT_REPORT_H
#define NOLMAK_FRONT_REPORT_H

#include <cstdint>
#include <string>

#include "nolmak/nolmak_types.h"

namespace Wendaro::Nolmak {

// printf-style text of any length.
std::string formatText(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Writes text to standard output as it is.
void emit(const std::string &text);

const char *updateKindName(int32_t kind);
const char *applicationStateName(int32_t state);
const char *wifiModeName(int32_t mode);

// Header and dash line of the discovery table.
std::string discoveryTableHeader();
// One row of the discovery table.
std::string discoveryTableRow(const DiscoveryDev_T &device);

// The whole information report of one camera: its description and its information.
std::string deviceInfoReport(const DiscoveryDev_T &device, const DeviceInfo_T &info);

// One reading of an update's progress, as far as the report uses it.
struct UpdateReading {
    int32_t kind = 0;
    int32_t bytesSent = 0;
    int32_t progress = 0;
    std::string message;
};

// The line for `reading` after `previous`: the sent bytes of every upload reading,
// and any other reading only when it differs from the one before. Empty when
// nothing is to be printed.
std::string updateProgressLine(const UpdateReading &reading, const UpdateReading &previous);

} // namespace Wendaro::Nolmak

#endif
