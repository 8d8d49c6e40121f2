// What camsim runs: the cameras and where it records and reports readiness.
// Read from an INI-like file and the command line (see usage()).
#ifndef CAMSIM_SIM_OPTIONS_H
#define CAMSIM_SIM_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "camera_config.h"

namespace camsim {

struct SimOptions {
    std::vector<CameraConfig> cameras;
    uint16_t port = 42000;
    std::string record_path;  // empty: nothing recorded
    int32_t record_limit = 4096; // payload bytes written per record line
    std::string ready_path;   // written once every socket is bound
    bool verbose = false;
    bool help = false;
};

// Parses the command line (argv[1..]); gives false with a reason on a bad option,
// setting or file.
bool parseOptions(int argc, const char *const argv[], SimOptions &options, std::string &error);

// Parses configuration text as the file holds it; `sets` receives its camera
// settings in order. Exposed apart from the file for testing.
struct PendingSetting {
    int camera = 0; // 1-based; 0 = every camera
    std::string key;
    std::string value;
};
struct FileSettings {
    std::vector<std::pair<std::string, std::string>> globals; // [camsim] keys
    std::vector<PendingSetting> sets;
};
bool parseConfigText(const std::string &text, FileSettings &settings, std::string &error);

const char *usage();

} // namespace camsim

#endif
