#include "sim_options.h"

#include <fstream>
#include <sstream>

#include "text_util.h"

namespace camsim {

namespace {

bool splitAssignment(const std::string &text, std::string &key, std::string &value)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return false;
    key = trim(text.substr(0, eq));
    value = trim(text.substr(eq + 1));
    return !key.empty();
}

bool parseNumber(const std::string &text, long min, long max, long &out)
{
    const auto v = parseInt(text);
    if (!v || *v < min || *v > max)
        return false;
    out = *v;
    return true;
}

// Global settings shared by the file's [camsim] section and the options of the
// same name.
struct Globals {
    long cameras = 0;
    std::string base_ip = "198.18.1.10";
};

bool applyGlobal(const std::string &key, const std::string &value, SimOptions &options, Globals &g,
                 std::string &error)
{
    long n = 0;
    if (key == "cameras") {
        if (!parseNumber(value, 1, 250, n)) {
            error = "cameras: expected 1 to 250, got " + value;
            return false;
        }
        g.cameras = n;
    } else if (key == "base_ip" || key == "base-ip") {
        g.base_ip = value;
    } else if (key == "port") {
        if (!parseNumber(value, 1, 65535, n)) {
            error = "port: expected 1 to 65535, got " + value;
            return false;
        }
        options.port = static_cast<uint16_t>(n);
    } else if (key == "record") {
        options.record_path = value;
    } else if (key == "record_limit" || key == "record-limit") {
        if (!parseNumber(value, 0, 1 << 30, n)) {
            error = "record_limit: expected a byte count, got " + value;
            return false;
        }
        options.record_limit = static_cast<int32_t>(n);
    } else if (key == "ready") {
        options.ready_path = value;
    } else if (key == "verbose") {
        options.verbose = value != "0";
    } else {
        error = "unknown global setting: " + key;
        return false;
    }
    return true;
}

// "[N.]key=value" of --set.
bool parseSet(const std::string &text, PendingSetting &set, std::string &error)
{
    std::string key, value;
    if (!splitAssignment(text, key, value)) {
        error = "--set expects [N.]key=value, got " + text;
        return false;
    }
    set.camera = 0;
    const auto dot = key.find('.');
    long n = 0;
    if (dot != std::string::npos && parseNumber(key.substr(0, dot), 1, 250, n)) {
        set.camera = static_cast<int>(n);
        key = key.substr(dot + 1);
    }
    set.key = key;
    set.value = value;
    return true;
}

bool readFile(const std::string &path, std::string &text, std::string &error)
{
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

} // namespace

const char *usage()
{
    return "usage: camsim [options]\n"
           "  --cameras N         number of cameras (default 3)\n"
           "  --base-ip A.B.C.D   address of the first camera; the others follow (default 198.18.1.10)\n"
           "  --port N            NTCP port (default 42000)\n"
           "  --config FILE       settings file (INI: [camsim], [camera] for all, [camera N] for one)\n"
           "  --set [N.]key=value one camera setting, for camera N (1-based) or for all\n"
           "  --record FILE       append one line per received message\n"
           "  --record-limit N    payload bytes written per line (default 4096)\n"
           "  --ready FILE        written once every camera listens\n"
           "  --verbose           print library diagnostics\n"
           "Camera settings: family ip mac serial device_type netbios board_code apps boot_version\n"
           "  image_version kernel_version filesystem_version driver_version fpga gmt_time tz_offset_min\n"
           "  timezone date_order value_12025 factory_3001..factory_3008 factory_head.N\n"
           "  factory_head_count factory_codes iface.N interfaces update_feedback update_interval_ms\n"
           "  update_end silent delay_ms refuse refuse_commands omit_codes malformed malformed_commands\n"
           "  drop_stream_after keepalive_answer_first keepalive_ignore no_keepalive reboot_ms\n";
}

bool parseConfigText(const std::string &text, FileSettings &settings, std::string &error)
{
    std::istringstream in(text);
    std::string line;
    int line_no = 0;
    enum { None, Global, Camera } section = None;
    int camera = 0;
    while (std::getline(in, line)) {
        ++line_no;
        const std::string t = trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';')
            continue;
        const std::string where = "line " + std::to_string(line_no) + ": ";
        if (t.front() == '[') {
            if (t.back() != ']') {
                error = where + "unterminated section";
                return false;
            }
            const std::string name = trim(t.substr(1, t.size() - 2));
            long n = 0;
            if (name == "camsim") {
                section = Global;
            } else if (name == "camera") {
                section = Camera;
                camera = 0;
            } else if (name.rfind("camera ", 0) == 0 && parseNumber(trim(name.substr(7)), 1, 250, n)) {
                section = Camera;
                camera = static_cast<int>(n);
            } else {
                error = where + "unknown section [" + name + "]";
                return false;
            }
            continue;
        }
        std::string key, value;
        if (!splitAssignment(t, key, value)) {
            error = where + "expected key=value";
            return false;
        }
        if (section == Camera)
            settings.sets.push_back({camera, key, value});
        else if (section == Global)
            settings.globals.emplace_back(key, value);
        else {
            error = where + "setting outside a section";
            return false;
        }
    }
    return true;
}

bool parseOptions(int argc, const char *const argv[], SimOptions &options, std::string &error)
{
    Globals g;
    std::vector<PendingSetting> sets;
    std::vector<std::pair<std::string, std::string>> command_line_globals;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto next = [&](std::string &out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string value;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        } else if (arg == "--verbose") {
            command_line_globals.emplace_back("verbose", "1");
        } else if (arg == "--config") {
            std::string text;
            FileSettings file;
            if (!next(value) || !readFile(value, text, error))
                return false;
            if (!parseConfigText(text, file, error)) {
                error = value + ": " + error;
                return false;
            }
            for (const auto &[k, v] : file.globals)
                if (!applyGlobal(k, v, options, g, error))
                    return false;
            sets.insert(sets.end(), file.sets.begin(), file.sets.end());
        } else if (arg == "--set") {
            PendingSetting set;
            if (!next(value) || !parseSet(value, set, error))
                return false;
            sets.push_back(set);
        } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            // --cameras, --base-ip, --port, --record, --record-limit, --ready
            if (!next(value))
                return false;
            command_line_globals.emplace_back(arg.substr(2), value);
        } else {
            error = "unexpected argument: " + arg;
            return false;
        }
    }
    // The command line wins over the file.
    for (const auto &[k, v] : command_line_globals)
        if (!applyGlobal(k, v, options, g, error))
            return false;

    long count = g.cameras > 0 ? g.cameras : 3;
    for (const auto &s : sets)
        count = std::max<long>(count, s.camera);
    options.cameras.clear();
    for (int i = 0; i < count; ++i) {
        auto camera = defaultCamera(i, g.base_ip, error);
        if (!camera)
            return false;
        options.cameras.push_back(*camera);
    }
    // Settings for every camera first, then those for one camera, each in order.
    for (int pass = 0; pass < 2; ++pass)
        for (const auto &s : sets) {
            if ((pass == 0) != (s.camera == 0))
                continue;
            for (int i = 0; i < count; ++i) {
                if (s.camera != 0 && s.camera != i + 1)
                    continue;
                if (!applySetting(options.cameras[static_cast<size_t>(i)], s.key, s.value, error)) {
                    error = "camera " + std::to_string(i + 1) + ": " + error;
                    return false;
                }
            }
        }
    return true;
}

} // namespace camsim
