// Settings files and their values as camsim reads them.
#include <cstddef>
#include <cstdint>
#include <string>

#include "sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    camsim::FileSettings settings;
    std::string error;
    if (!camsim::parseConfigText(text, settings, error))
        return 0;
    auto camera = camsim::defaultCamera(0, "198.18.1.10", error);
    for (const auto &set : settings.sets)
        camsim::applySetting(*camera, set.key, set.value, error);
    return 0;
}
