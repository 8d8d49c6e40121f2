#include "camera_config.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>

#include "text_util.h"

namespace camsim {

namespace {

std::optional<bool> parseBool(const std::string &text)
{
    const std::string t = trim(text);
    if (t == "1" || t == "yes" || t == "true" || t == "on")
        return true;
    if (t == "0" || t == "no" || t == "false" || t == "off")
        return false;
    return std::nullopt;
}

// Comma-separated numbers; an empty text is an empty list.
std::optional<std::vector<int32_t>> parseIntList(const std::string &text)
{
    std::vector<int32_t> values;
    if (trim(text).empty())
        return values;
    for (const auto &part : split(text, ',')) {
        const auto v = parseInt(part);
        if (!v)
            return std::nullopt;
        values.push_back(*v);
    }
    return values;
}

// "YYYY-MM-DD hh:mm:ss[.mmm]" or "now".
std::optional<std::optional<ClockTime>> parseClock(const std::string &text)
{
    const std::string t = trim(text);
    if (t == "now")
        return std::optional<ClockTime>{};
    ClockTime c;
    char sep = 0;
    int n = std::sscanf(t.c_str(), "%d-%d-%d%c%d:%d:%d.%d", &c.year, &c.month, &c.day, &sep, &c.hour,
                        &c.minute, &c.second, &c.millisecond);
    if (n < 7 || (sep != ' ' && sep != 'T') || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31 ||
        c.hour > 23 || c.minute > 59 || c.second > 60 || c.millisecond < 0 || c.millisecond > 999)
        return std::nullopt;
    return std::optional<ClockTime>{c};
}

// "name:state,name:state"
std::optional<std::vector<Application>> parseApps(const std::string &text)
{
    std::vector<Application> apps;
    if (trim(text).empty())
        return apps;
    for (const auto &part : split(text, ',')) {
        const auto colon = part.rfind(':');
        Application app;
        app.name = trim(part.substr(0, colon));
        if (colon != std::string::npos) {
            const auto state = parseInt(part.substr(colon + 1));
            if (!state)
                return std::nullopt;
            app.state = *state;
        }
        apps.push_back(app);
    }
    return apps;
}

// "name,dhcp,mac,ip,netmask,gateway[,ssid,passphrase,mode,channel]"
std::optional<NetInterface> parseInterface(const std::string &text)
{
    const auto f = split(text, ',');
    if (f.size() != 6 && f.size() != 10)
        return std::nullopt;
    NetInterface i;
    const auto dhcp = parseBool(f[1]);
    if (!dhcp)
        return std::nullopt;
    i.name = f[0];
    i.dhcp = *dhcp;
    i.mac = f[2];
    i.ip = f[3];
    i.netmask = f[4];
    i.gateway = f[5];
    if (f.size() == 10) {
        const auto mode = parseInt(f[8]);
        const auto channel = parseInt(f[9]);
        if (!mode || !channel)
            return std::nullopt;
        i.wifi = true;
        i.ssid = f[6];
        i.passphrase = f[7];
        i.wifi_mode = *mode;
        i.wifi_channel = *channel;
    }
    return i;
}

void copyText(char *field, size_t size, const std::string &text)
{
    std::snprintf(field, size, "%s", text.c_str());
}

// "text,v3022,...,v3029" (missing values are left out, -1)
std::optional<HeadInfo_T> parseHead(const std::string &text)
{
    const auto f = split(text, ',');
    if (f.size() > 9 || f[0].size() >= FACTORY_TEXT_SIZE)
        return std::nullopt;
    HeadInfo_T h{};
    copyText(h.text_3021, sizeof h.text_3021, f[0]);
    int32_t *values[8] = {&h.value_3022, &h.value_3023, &h.value_3024, &h.value_3025,
                          &h.value_3026, &h.value_3027, &h.value_3028, &h.value_3029};
    for (size_t k = 1; k < 9; ++k) {
        *values[k - 1] = FACTORY_NOT_SET;
        if (k >= f.size())
            continue;
        const auto v = parseInt(f[k]);
        if (!v)
            return std::nullopt;
        *values[k - 1] = *v;
    }
    return h;
}

// "status:progress:text;status:progress:text"
std::optional<std::vector<UpdateStep>> parseSteps(const std::string &text)
{
    std::vector<UpdateStep> steps;
    if (trim(text).empty())
        return steps;
    for (const auto &part : split(text, ';')) {
        const auto first = part.find(':');
        const auto second = first == std::string::npos ? first : part.find(':', first + 1);
        if (second == std::string::npos)
            return std::nullopt;
        const auto status = parseInt(part.substr(0, first));
        const auto progress = parseInt(part.substr(first + 1, second - first - 1));
        if (!status || !progress)
            return std::nullopt;
        steps.push_back({*status, *progress, part.substr(second + 1)});
    }
    return steps;
}

std::optional<Malformed> parseMalformed(const std::string &text)
{
    static const std::map<std::string, Malformed> names = {
        {"none", Malformed::None}, {"field", Malformed::Field}, {"header", Malformed::Header}, {"tbp", Malformed::Tbp}};
    const auto it = names.find(trim(text));
    if (it == names.end())
        return std::nullopt;
    return it->second;
}

// Index after a "prefix." key, e.g. "iface.2" -> 2 (1-based in the key, 0-based here).
std::optional<size_t> keyIndex(const std::string &key, const std::string &prefix)
{
    if (key.rfind(prefix + ".", 0) != 0)
        return std::nullopt;
    const auto n = parseInt(key.substr(prefix.size() + 1));
    if (!n || *n < 1 || *n > 64)
        return std::nullopt;
    return static_cast<size_t>(*n - 1);
}

template <typename T> void putAt(std::vector<T> &list, size_t index, const T &value)
{
    if (list.size() <= index)
        list.resize(index + 1);
    list[index] = value;
}

// A setter parses the text into the camera and gives false when it does not parse.
using Setter = std::function<bool(CameraConfig &, const std::string &)>;

template <typename Parse, typename Store> Setter setter(Parse parse, Store store)
{
    return [parse, store](CameraConfig &c, const std::string &v) {
        auto parsed = parse(v);
        if (!parsed)
            return false;
        store(c, *parsed);
        return true;
    };
}

Setter text(std::string CameraConfig::*field)
{
    return [field](CameraConfig &c, const std::string &v) { c.*field = trim(v); return true; };
}

Setter number(int32_t CameraConfig::*field)
{
    return setter(parseInt, [field](CameraConfig &c, int32_t v) { c.*field = v; });
}

Setter misbehaveNumber(int32_t Misbehaviour::*field)
{
    return setter(parseInt, [field](CameraConfig &c, int32_t v) { c.misbehave.*field = v; });
}

Setter misbehaveList(std::vector<int32_t> Misbehaviour::*field)
{
    return setter(parseIntList, [field](CameraConfig &c, const std::vector<int32_t> &v) { c.misbehave.*field = v; });
}

Setter factoryValue(int32_t FactoryParam_T::*field)
{
    return setter(parseInt, [field](CameraConfig &c, int32_t v) { c.factory.*field = v; });
}

const std::map<std::string, Setter> &setters()
{
    static const std::map<std::string, Setter> table = {
        {"family", text(&CameraConfig::family)},
        {"ip", text(&CameraConfig::ip)},
        {"mac", text(&CameraConfig::mac)},
        {"serial", number(&CameraConfig::serial)},
        {"device_type", text(&CameraConfig::device_type)},
        {"netbios", text(&CameraConfig::netbios)},
        {"board_code", number(&CameraConfig::board_code)},
        {"apps", setter(parseApps, [](CameraConfig &c, const std::vector<Application> &v) { c.apps = v; })},
        {"boot_version", text(&CameraConfig::boot_version)},
        {"image_version", text(&CameraConfig::image_version)},
        {"kernel_version", text(&CameraConfig::kernel_version)},
        {"filesystem_version", text(&CameraConfig::filesystem_version)},
        {"driver_version", text(&CameraConfig::driver_version)},
        {"fpga", setter(parseIntList, [](CameraConfig &c, const std::vector<int32_t> &v) { c.fpga = v; })},
        {"gmt_time", setter(parseClock, [](CameraConfig &c, const std::optional<ClockTime> &v) { c.gmt_time = v; })},
        {"tz_offset_min", number(&CameraConfig::tz_offset_min)},
        {"timezone", text(&CameraConfig::timezone)},
        {"date_order",
         setter([](const std::string &v) -> std::optional<bool> {
                    const std::string t = trim(v);
                    if (t == "dmy") return false;
                    if (t == "mdy") return true;
                    return std::nullopt;
                },
                [](CameraConfig &c, bool v) { c.month_first = v; })},
        {"value_12025", number(&CameraConfig::value_12025)},
        {"factory_3001", factoryValue(&FactoryParam_T::value_3001)},
        {"factory_3002", [](CameraConfig &c, const std::string &v) {
             if (trim(v).size() >= FACTORY_TEXT_SIZE) return false;
             copyText(c.factory.text_3002, sizeof c.factory.text_3002, trim(v));
             return true;
         }},
        {"factory_3003", factoryValue(&FactoryParam_T::value_3003)},
        {"factory_3004", factoryValue(&FactoryParam_T::value_3004)},
        {"factory_3005", factoryValue(&FactoryParam_T::value_3005)},
        {"factory_3006", factoryValue(&FactoryParam_T::value_3006)},
        {"factory_3007", factoryValue(&FactoryParam_T::value_3007)},
        {"factory_3008", factoryValue(&FactoryParam_T::value_3008)},
        {"factory_head_count", factoryValue(&FactoryParam_T::head_count)},
        {"factory_codes", [](CameraConfig &c, const std::string &v) { c.factory_codes = trim(v); return true; }},
        {"interfaces", setter(parseInt, [](CameraConfig &c, int32_t v) {
             c.interfaces.resize(static_cast<size_t>(v < 0 ? 0 : v > 16 ? 16 : v));
         })},
        {"update_feedback", setter(parseSteps, [](CameraConfig &c, const std::vector<UpdateStep> &v) { c.update_steps = v; })},
        {"update_interval_ms", number(&CameraConfig::update_interval_ms)},
        {"update_end", setter(parseBool, [](CameraConfig &c, bool v) { c.update_end = v; })},
        {"silent", setter(parseBool, [](CameraConfig &c, bool v) { c.misbehave.silent = v; })},
        {"delay_ms", misbehaveNumber(&Misbehaviour::delay_ms)},
        {"refuse", misbehaveNumber(&Misbehaviour::refuse)},
        {"refuse_commands", misbehaveList(&Misbehaviour::refuse_commands)},
        {"omit_codes", misbehaveList(&Misbehaviour::omit_codes)},
        {"malformed", setter(parseMalformed, [](CameraConfig &c, Malformed v) { c.misbehave.malformed = v; })},
        {"malformed_commands", misbehaveList(&Misbehaviour::malformed_commands)},
        {"drop_stream_after", misbehaveNumber(&Misbehaviour::drop_stream_after)},
        {"keepalive_answer_first", misbehaveNumber(&Misbehaviour::keepalive_answer_first)},
        {"keepalive_ignore", misbehaveNumber(&Misbehaviour::keepalive_ignore)},
        {"no_keepalive", setter(parseBool, [](CameraConfig &c, bool v) {
             c.misbehave.keepalive_answer_first = 0;
             c.misbehave.keepalive_ignore = v ? -1 : 0;
         })},
        {"reboot_ms", misbehaveNumber(&Misbehaviour::reboot_ms)},
    };
    return table;
}

} // namespace

std::optional<int32_t> parseInt(const std::string &text)
{
    const std::string t = trim(text);
    if (t.empty())
        return std::nullopt;
    errno = 0;
    char *end = nullptr;
    const long long v = std::strtoll(t.c_str(), &end, 0);
    if (errno != 0 || end == t.c_str() || *end != '\0' || v < INT32_MIN || v > UINT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

std::optional<uint32_t> parseIPv4(const std::string &text)
{
    unsigned a, b, c, d;
    char extra;
    if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &extra) != 4 || a > 255 || b > 255 ||
        c > 255 || d > 255)
        return std::nullopt;
    return (a << 24) | (b << 16) | (c << 8) | d;
}

std::string formatIPv4(uint32_t address)
{
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF, (address >> 8) & 0xFF,
                  address & 0xFF);
    return text;
}

std::optional<std::vector<uint8_t>> parseMac(const std::string &text)
{
    const auto parts = split(text, ':');
    if (parts.size() != 6)
        return std::nullopt;
    std::vector<uint8_t> octets;
    for (const auto &p : parts) {
        char *end = nullptr;
        const unsigned long v = std::strtoul(p.c_str(), &end, 16);
        if (p.empty() || p.size() > 2 || *end != '\0' || v > 255)
            return std::nullopt;
        octets.push_back(static_cast<uint8_t>(v));
    }
    return octets;
}

std::optional<CameraConfig> defaultCamera(int index, const std::string &base_ip, std::string &error)
{
    const auto base = parseIPv4(base_ip);
    if (!base) {
        error = "base address is not a dotted IPv4 address: " + base_ip;
        return std::nullopt;
    }
    const uint32_t address = *base + static_cast<uint32_t>(index);
    if (address < *base) {
        error = "too many cameras for base address " + base_ip;
        return std::nullopt;
    }
    CameraConfig c;
    char text[64];
    c.ip = formatIPv4(address);
    std::snprintf(text, sizeof text, "00:50:C2:52:%02X:%02X", (address >> 8) & 0xFF, address & 0xFF);
    c.mac = text;
    c.serial = 24050001 + index;
    std::snprintf(text, sizeof text, "KORDEX-%03d", index + 1);
    c.netbios = text;
    c.apps = {{"anpr-engine", 12}, {"webui", 12}, {"ota-agent", 14}};
    c.factory = {1, "KX-FACT", 3, 4, 5, 6, 7, 8, 2, {}};
    c.factory.heads[0] = {"HEAD-A", 1, 2, 3, 4, 5, 6, 7, 8};
    c.factory.heads[1] = {"HEAD-B", 11, 12, 13, 14, 15, 16, 17, 18};
    c.interfaces = {
        {"eth0", false, c.mac, c.ip, "255.254.0.0", "198.18.0.1", false, "", "", 0, 0},
        {"wlan0", false, "00:50:C2:AA:" + c.mac.substr(12), "10.42.0.1", "255.255.255.0", "10.42.0.1", true,
         c.netbios, "kordex-secret", 1, 6},
    };
    c.update_steps = {{16, 0, "init"}, {32, 5, "start"}, {64, 40, "copy"}, {64, 80, "verify"}, {256, 100, "done"}};
    return c;
}

bool applySetting(CameraConfig &camera, const std::string &key_text, const std::string &value, std::string &error)
{
    const std::string key = trim(key_text);
    if (const auto i = keyIndex(key, "iface")) {
        const auto iface = parseInterface(value);
        if (!iface) {
            error = key + ": expected name,dhcp,mac,ip,netmask,gateway[,ssid,passphrase,mode,channel]";
            return false;
        }
        putAt(camera.interfaces, *i, *iface);
        return true;
    }
    if (const auto i = keyIndex(key, "factory_head")) {
        const auto head = parseHead(value);
        if (!head || *i >= 8) {
            error = key + ": expected text,v3022,...,v3029 for heads 1 to 8";
            return false;
        }
        camera.factory.heads[*i] = *head;
        return true;
    }
    // The wired interface follows the camera's own address until it is set itself.
    if ((key == "ip" || key == "mac") && !camera.interfaces.empty()) {
        NetInterface &wired = camera.interfaces.front();
        std::string &own = key == "ip" ? camera.ip : camera.mac;
        std::string &shown = key == "ip" ? wired.ip : wired.mac;
        if (shown == own)
            shown = trim(value);
    }
    const auto it = setters().find(key);
    if (it == setters().end()) {
        error = "unknown setting: " + key;
        return false;
    }
    if (!it->second(camera, value)) {
        error = "bad value for " + key + ": " + value;
        return false;
    }
    return true;
}

} // namespace camsim
