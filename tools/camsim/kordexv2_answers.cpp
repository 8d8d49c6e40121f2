#include "kordexv2_answers.h"

#include <algorithm>

namespace camsim::kordexv2 {

namespace {

// Reads an optional text; nullopt for a malformed field, "" stays "" only when absent
// and `present` says which.
struct TextRead {
    bool ok = true;
    bool present = false;
    std::string text;
};

TextRead readText(int32_t code, const uint8_t *payload, int32_t size)
{
    char text[256] = {};
    const int32_t r = Interpreter_GetString(text, sizeof text, code, payload, size);
    if (r == NTCP_ERR_NOT_FOUND)
        return {};
    if (r != NTCP_OK)
        return {false, false, {}};
    return {true, true, text};
}

struct LongRead {
    bool ok = true;
    bool present = false;
    int32_t value = 0;
};

LongRead readLong(int32_t code, const uint8_t *payload, int32_t size)
{
    int32_t value = 0;
    const int32_t r = Interpreter_GetLong(&value, code, payload, size);
    if (r == NTCP_ERR_NOT_FOUND)
        return {};
    if (r != NTCP_OK)
        return {false, false, 0};
    return {true, true, value};
}

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    // Days since 1970-01-01 of a proleptic Gregorian date.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

ClockTime fromMilliseconds(int64_t ms)
{
    int64_t days = ms / 86400000;
    int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    // Civil date of a day count (inverse of daysFromCivil).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    ClockTime c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (c.month <= 2));
    c.hour = static_cast<int>(rest / 3600000);
    c.minute = static_cast<int>(rest / 60000 % 60);
    c.second = static_cast<int>(rest / 1000 % 60);
    c.millisecond = static_cast<int>(rest % 1000);
    return c;
}

int64_t toMilliseconds(const ClockTime &c)
{
    return daysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day)) * 86400000 +
           ((c.hour * 60 + c.minute) * 60 + c.second) * 1000LL + c.millisecond;
}

void writeInterface(Payload &out, const NetInterface &i)
{
    Payload group = out.group();
    group.putText(MV_DATA_CODE_INTERFACE_NAME, i.name);
    group.putLong(MV_DATA_CODE_DHCP, i.dhcp ? 1 : 0);
    group.putText(MV_DATA_CODE_IP, i.ip);
    group.putText(MV_DATA_CODE_NETMASK, i.netmask);
    group.putText(MV_DATA_CODE_GATEWAY, i.gateway);
    group.putText(MV_DATA_CODE_MAC_ADDRESS, i.mac);
    if (i.wifi) {
        group.putText(MV_DATA_CODE_WIFI_SSID, i.ssid);
        if (!i.passphrase.empty())
            group.putText(MV_DATA_CODE_WIFI_PASSPHRASE, i.passphrase);
        group.putLong(MV_DATA_CODE_WIFI_MODE, i.wifi_mode);
        if (i.wifi_channel != 0)
            group.putLong(MV_DATA_CODE_WIFI_CHANNEL, i.wifi_channel);
    }
    out.putGroup(MV_DATA_CODE_INTERFACE, group);
}

} // namespace

DateTime_T toDateTime(const ClockTime &time, bool month_first)
{
    DateTime_T d{};
    d.day_or_month = static_cast<int8_t>(month_first ? time.month : time.day);
    d.month_or_day = static_cast<int8_t>(month_first ? time.day : time.month);
    d.year = static_cast<int16_t>(time.year);
    d.hour = static_cast<int16_t>(time.hour);
    d.minute = static_cast<int16_t>(time.minute);
    d.second = static_cast<int16_t>(time.second);
    d.millisecond = static_cast<int16_t>(time.millisecond);
    return d;
}

ClockTime gmtClock(const CameraConfig &camera, int64_t now_ms)
{
    return camera.gmt_time ? *camera.gmt_time : fromMilliseconds(now_ms);
}

ClockTime localClock(const CameraConfig &camera, int64_t now_ms)
{
    return fromMilliseconds(toMilliseconds(gmtClock(camera, now_ms)) + camera.tz_offset_min * 60000LL);
}

void writeDescription(Payload &out, const CameraConfig &camera)
{
    out.putText(MV_DATA_CODE_IP, camera.ip);
    out.putText(MV_DATA_CODE_MAC_ADDRESS, camera.mac);
    out.putText(MV_DATA_CODE_DEVICE_TYPE, camera.device_type);
    out.putLong(MV_DATA_CODE_SERIAL_NUMBER, camera.serial);
    out.putLong(MV_DATA_CODE_BOARD_CODE, camera.board_code);
    out.putText(MV_DATA_CODE_NETBIOSNAME, camera.netbios);
    for (const auto &app : camera.apps) {
        Payload group = out.group();
        group.putText(MV_DATA_CODE_APPLICATION_NAME, app.name);
        group.putLong(MV_DATA_CODE_APPLICATION_STATE, app.state);
        out.putGroup(MV_DATA_CODE_APPLICATION, group);
    }
}

void writeDeviceInfo(Payload &out, const CameraConfig &camera, int64_t now_ms)
{
    out.putFactory(camera.factory);
    writeDescription(out, camera);
    out.putText(MV_DATA_CODE_BOOT_VERSION, camera.boot_version);
    out.putText(MV_DATA_CODE_IMAGE_VERSION, camera.image_version);
    out.putText(MV_DATA_CODE_KERNEL_VERSION, camera.kernel_version);
    out.putText(MV_DATA_CODE_FILESYSTEM_VERSION, camera.filesystem_version);
    out.putText(MV_DATA_CODE_DRIVER_VERSION, camera.driver_version);
    for (int32_t v : camera.fpga)
        out.putLong(MV_DATA_CODE_FPGA_VERSION, v);
    out.putDateTime(MV_DATA_CODE_GMT_DATETIME, toDateTime(gmtClock(camera, now_ms), camera.month_first));
    out.putDateTime(MV_DATA_CODE_LOCAL_DATETIME, toDateTime(localClock(camera, now_ms), camera.month_first));
    out.putText(MV_DATA_CODE_TIMEZONE, camera.timezone);
    out.putLong(MV_DATA_CODE_DEVICE_VALUE_12025, camera.value_12025);
    for (const auto &i : camera.interfaces)
        writeInterface(out, i);
}

void writeFeedback(Payload &out, const UpdateStep &step)
{
    out.putLong(MV_DATA_CODE_UPDATE_STATUS, step.status);
    out.putLong(MV_DATA_CODE_UPDATE_PROGRESS, step.progress);
    out.putText(MV_DATA_CODE_UPDATE_MESSAGE, step.text);
}

bool applySetInterface(CameraConfig &camera, const uint8_t *payload, int32_t size)
{
    if (payload == nullptr || size <= 0)
        return false;
    const TextRead name = readText(MV_DATA_CODE_INTERFACE_NAME, payload, size);
    if (!name.ok || !name.present)
        return false;
    const auto it = std::find_if(camera.interfaces.begin(), camera.interfaces.end(),
                                 [&](const NetInterface &i) { return i.name == name.text; });
    if (it == camera.interfaces.end())
        return false;
    NetInterface next = *it;
    const LongRead dhcp = readLong(MV_DATA_CODE_DHCP, payload, size);
    if (!dhcp.ok)
        return false;
    if (dhcp.present && dhcp.value == 1) {
        next.dhcp = true;
    } else {
        const TextRead ip = readText(MV_DATA_CODE_IP, payload, size);
        const TextRead mask = readText(MV_DATA_CODE_NETMASK, payload, size);
        const TextRead gateway = readText(MV_DATA_CODE_GATEWAY, payload, size);
        if (!ip.present || !mask.present || !gateway.present || !parseIPv4(ip.text) || !parseIPv4(mask.text) ||
            !parseIPv4(gateway.text))
            return false;
        next.dhcp = false;
        next.ip = ip.text;
        next.netmask = mask.text;
        next.gateway = gateway.text;
    }
    const TextRead ssid = readText(MV_DATA_CODE_WIFI_SSID, payload, size);
    const TextRead passphrase = readText(MV_DATA_CODE_WIFI_PASSPHRASE, payload, size);
    const LongRead mode = readLong(MV_DATA_CODE_WIFI_MODE, payload, size);
    const LongRead channel = readLong(MV_DATA_CODE_WIFI_CHANNEL, payload, size);
    if (!ssid.ok || !passphrase.ok || !mode.ok || !channel.ok)
        return false;
    if (ssid.present) {
        if (!mode.present || (channel.present && (channel.value < 1 || channel.value > 14)))
            return false;
        next.wifi = true;
        next.ssid = ssid.text;
        next.passphrase = passphrase.text;
        next.wifi_mode = mode.value;
        next.wifi_channel = channel.present ? channel.value : 0;
    }
    *it = next;
    return true;
}

bool readFactory(FactoryParam_T &out, const uint8_t *payload, int32_t size)
{
    // An empty request (every value "not set") reads like one empty field of an unused code.
    static const uint8_t empty_field[INTERPRETER_FIELD_HEADER_SIZE] = {};
    const bool empty = payload == nullptr || size <= 0;
    FactoryParam_T block{};
    if (ExtractFactoryParam(&block, empty ? empty_field : payload, empty ? INTERPRETER_FIELD_HEADER_SIZE : size) !=
        NTCP_OK)
        return false;
    out = block;
    return true;
}

std::optional<std::string> readFactoryCodes(const uint8_t *payload, int32_t size)
{
    if (payload == nullptr || size <= 0)
        return std::nullopt;
    const TextRead text = readText(MV_DATA_CODE_FACTORY_CODES, payload, size);
    if (!text.ok || !text.present)
        return std::nullopt;
    return text.text;
}

std::optional<int32_t> readUpdate(const uint8_t *payload, int32_t size)
{
    if (payload == nullptr || size <= 0)
        return std::nullopt;
    const LongRead header = readLong(MV_DATA_CODE_UPDATE_HEADER, payload, size);
    if (!header.ok || !header.present || header.value != 10)
        return std::nullopt;
    const uint8_t *file = nullptr;
    int32_t length = 0;
    if (Interpreter_GetBufferPtr(&file, &length, MV_DATA_CODE_UPDATE_PAYLOAD, payload, size) != NTCP_OK)
        return std::nullopt;
    return length;
}

} // namespace camsim::kordexv2
