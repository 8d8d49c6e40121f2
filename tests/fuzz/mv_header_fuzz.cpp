// Arbitrary bytes as a received MIROVANT command header; one that reads is written
// again and must give back the same 24 bytes.
#include <cstdlib>
#include <cstring>

#include "runtime/cross_sys.h"
#include "transport/mirovant.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = (ntcp_printf_set_level(NTCP_PRINTF_LEVEL_OFF), true);
    (void)quiet;
    if (size > 4096)
        return 0;
    auto *bytes = static_cast<uint8_t *>(malloc(size == 0 ? 1 : size));
    memcpy(bytes, data, size);
    int32_t command, sender, receiver, error, payload_size;
    if (MV_GetCommandHeader(bytes, static_cast<int32_t>(size), &command, &sender, &receiver, &error,
                            &payload_size) == NTCP_OK) {
        uint8_t again[MV_HEADER_SIZE];
        int32_t length = 0;
        if (MV_SetCommandHeader(again, &length, sizeof again, command, sender, receiver, error,
                                payload_size) != NTCP_OK ||
            length != MV_HEADER_SIZE || memcmp(again, bytes, MV_HEADER_SIZE) != 0)
            abort();
    }
    free(bytes);
    return 0;
}
