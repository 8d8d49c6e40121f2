// Arbitrary bytes as a camera's description answer: the decoder must refuse or
// decode without reading past the answer, and a decoded record must hold
// terminated texts and a valid application count.
#include <cstdlib>
#include <cstring>

#include "client/QuentixClientInternal.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const FuzzInput answer(data, size);
    DiscoveryDev_T device;
    memset(&device, 0xA5, sizeof device);
    if (ExtractDeviceDescription(&device, answer.bytes(), answer.size()) == NTCP_OK) {
        if (device.app_count < 0 || device.app_count > DEVICE_APPS_MAX)
            abort();
        if (memchr(device.ip, 0, sizeof device.ip) == nullptr || memchr(device.mac, 0, sizeof device.mac) == nullptr ||
            memchr(device.device_type, 0, sizeof device.device_type) == nullptr ||
            memchr(device.netbios_name, 0, sizeof device.netbios_name) == nullptr)
            abort();
        for (int32_t i = 0; i < device.app_count; ++i)
            if (memchr(device.apps[i].name, 0, sizeof device.apps[i].name) == nullptr)
                abort();
    }
    return 0;
}
