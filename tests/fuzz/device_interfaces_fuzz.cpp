// Arbitrary bytes as a camera's information answer, read for its interface groups:
// no read past the answer, at most ten entries, each with terminated texts and a
// WiFi flag of 0 or 1.
#include <cstdlib>
#include <cstring>

#include "client/QuentixClientInternal.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const FuzzInput answer(data, size);
    DeviceInfo_T info;
    memset(&info, 0xA5, sizeof info);
    if (ExtractDeviceInterfaces(&info, answer.bytes(), answer.size()) != NTCP_OK)
        return 0;
    if (info.interface_count < 0 || info.interface_count > DEVICE_INTERFACES_MAX)
        abort();
    for (int32_t i = 0; i < info.interface_count; ++i) {
        const DeviceInterface_T &e = info.interfaces[i];
        if ((e.wifi != 0 && e.wifi != 1) || memchr(e.name, 0, sizeof e.name) == nullptr ||
            memchr(e.mac, 0, sizeof e.mac) == nullptr || memchr(e.ip, 0, sizeof e.ip) == nullptr ||
            memchr(e.netmask, 0, sizeof e.netmask) == nullptr || memchr(e.gateway, 0, sizeof e.gateway) == nullptr ||
            memchr(e.wifi_ssid, 0, sizeof e.wifi_ssid) == nullptr ||
            memchr(e.wifi_passphrase, 0, sizeof e.wifi_passphrase) == nullptr)
            abort();
    }
    return 0;
}
