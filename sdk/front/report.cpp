#include "front/report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "client/QuentixClientUpdate.h"

namespace Wendaro::Nolmak {

namespace {

// The text of a fixed field: up to its terminator, never past the field, so a record
// that arrives unterminated cannot make a line read beyond it.
template <size_t N> std::string fieldText(const char (&field)[N])
{
    const void *end = std::memchr(field, '\0', N);
    return std::string(field, end != nullptr ? static_cast<const char *>(end) - field : N);
}

// Entries of a record's array that carry meaning, whatever the count says.
int32_t validCount(int32_t count, int32_t room)
{
    return std::clamp(count, 0, room);
}

std::string clockLine(const char *label, const DeviceTime_T &t)
{
    return formatText("%s%02d/%02d/%04d %02d.%02d:%02d,%03d\n", label, t.date_part_1, t.date_part_2, t.year, t.hour,
                      t.minute, t.second, t.millisecond);
}

std::string optionalLine(const char *label, const std::string &value)
{
    return value.empty() ? std::string() : formatText("%s%s\n", label, value.c_str());
}

std::string interfaceReport(const DeviceInterface_T &itf)
{
    std::string text = formatText("Name:               %s\n", fieldText(itf.name).c_str());
    text += formatText("DHCP:               %s\n", itf.dhcp == 1 ? "YES" : "NO");
    text += formatText("MAC address:        %s\n", fieldText(itf.mac).c_str());
    text += formatText("IP address:         %s\n", fieldText(itf.ip).c_str());
    text += formatText("Netmask:            %s\n", fieldText(itf.netmask).c_str());
    text += formatText("Gateway:            %s\n", fieldText(itf.gateway).c_str());
    if (itf.wifi == 1) {
        text += formatText("WiFi SSID:          %s\n", fieldText(itf.wifi_ssid).c_str());
        text += formatText("WiFi passphrase:    %s\n", fieldText(itf.wifi_passphrase).c_str());
        text += formatText("WiFi mode:          %s\n", wifiModeName(itf.wifi_mode));
        if (itf.wifi_mode == DEVICE_WIFI_MODE_AP)
            text += formatText("WiFi channel:       %d\n", itf.wifi_channel);
    }
    return text + "\n";
}

} // namespace

std::string formatText(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

void emit(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
}

const char *updateKindName(int32_t kind)
{
    static const char *const names[] = {"UNKNOWN", "INIT_ERROR",     "UPLOAD", "UPLOAD_ERROR",           "IN_PROGESS",
                                        "GET_FEED_ERROR", "FAILED", "DONE", "DONE_REBOOT_IN_PROGRESS"};
    return kind >= 0 && kind < static_cast<int32_t>(std::size(names)) ? names[kind] : "UNKNOWN";
}

const char *applicationStateName(int32_t state)
{
    switch (state) {
    case DEVICE_APP_STATE_INIT: return "INIT";
    case DEVICE_APP_STATE_INIT_FAILED: return "INIT FAILED";
    case DEVICE_APP_STATE_RUN: return "RUN";
    case DEVICE_APP_STATE_RESTARTING: return "RESTARTING";
    case DEVICE_APP_STATE_NOT_RUNNING: return "NOT RUNNING";
    default: return "UNKNOWN";
    }
}

const char *wifiModeName(int32_t mode)
{
    switch (mode) {
    case DEVICE_WIFI_MODE_AP: return "AP";
    case DEVICE_WIFI_MODE_CLIENT: return "CLIENT";
    default: return "UNKNOWN";
    }
}

std::string discoveryTableHeader()
{
    static const char format[] = "  %-10s  %-17s  %-15s  %-60s  %s\n";
    return formatText(format, "S/N", "Mac Address", "IP Address", "Application", "Device Code") +
           formatText(format, "---", "-----------", "----------", "-----------", "-----------");
}

std::string discoveryTableRow(const DiscoveryDev_T &device)
{
    const std::string application = validCount(device.app_count, DEVICE_APPS_MAX) > 0 ? fieldText(device.apps[0].name)
                                                                                        : std::string("-");
    return formatText("  %-10d  %-17s  %-15s  %-60s  %s\n", device.serial_number, fieldText(device.mac).c_str(),
                      fieldText(device.ip).c_str(), application.c_str(), fieldText(device.device_type).c_str());
}

std::string deviceInfoReport(const DiscoveryDev_T &device, const DeviceInfo_T &info)
{
    std::string text = formatText("-- Device's Information ( Mac = %s, NetBios = %s) --\n",
                                  fieldText(device.mac).c_str(), fieldText(device.netbios_name).c_str());
    text += formatText("Device code:        %s\n", fieldText(device.device_type).c_str());
    text += formatText("Serial number:      %d\n", device.serial_number);
    text += formatText("Machine code:       %d\n", device.machine_code);
    text += formatText("IP address:         %s\n", fieldText(device.ip).c_str());
    text += formatText("MAC address:        %s\n", fieldText(device.mac).c_str());
    text += formatText("Netbiosname:        %s\n", fieldText(device.netbios_name).c_str());

    const int32_t apps = validCount(device.app_count, DEVICE_APPS_MAX);
    if (apps > 0) {
        text += "\n -- Applications --\n";
        for (int32_t i = 0; i < apps; ++i)
            text += formatText("%s [%s]\n", fieldText(device.apps[i].name).c_str(),
                               applicationStateName(device.apps[i].state));
    }

    text += "\n-- Software Versions -- \n";
    text += optionalLine("Boot version:       ", fieldText(info.boot_version));
    text += optionalLine("Image version:      ", fieldText(info.image_version));
    text += optionalLine("Kernel version:     ", fieldText(info.kernel_version));
    text += optionalLine("Filesystem version: ", fieldText(info.filesystem_version));
    text += optionalLine("Driver version:     ", fieldText(info.driver_version));
    text += formatText("FPGA version:       %d\n", info.fpga_versions[0]);

    text += "\n-- Date and Time --\n";
    text += clockLine("GMT date time:      ", info.gmt_time);
    text += clockLine("Local date time:    ", info.local_time);
    text += optionalLine("Timezone:           ", fieldText(info.timezone));

    text += "\n-- Network Information: --\n";
    const int32_t interfaces = validCount(info.interface_count, DEVICE_INTERFACES_MAX);
    for (int32_t i = 0; i < interfaces; ++i)
        text += interfaceReport(info.interfaces[i]);
    return text;
}

std::string updateProgressLine(const UpdateReading &reading, const UpdateReading &previous)
{
    if (reading.kind == UPDATE_KIND_UPLOAD || reading.kind == UPDATE_KIND_UPLOAD_ERROR)
        return formatText("  update: %s, sent %d bytes\n", updateKindName(reading.kind), reading.bytesSent);
    if (reading.kind == previous.kind && reading.progress == previous.progress && reading.message == previous.message)
        return {};
    return formatText("  update: %s, progress %d%% '%s'\n", updateKindName(reading.kind), reading.progress,
                      reading.message.c_str());
}

} // namespace Wendaro::Nolmak
