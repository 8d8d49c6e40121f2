// Arbitrary bytes as a received MIROVANT command header; one that reads is written
// again and must give back the same 24 bytes.
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "transport/mirovant.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const FuzzInput input(data, size);
    int32_t command, sender, receiver, error, payload_size;
    if (MV_GetCommandHeader(input.bytes(), input.size(), &command, &sender, &receiver, &error,
                            &payload_size) == NTCP_OK) {
        uint8_t again[MV_HEADER_SIZE];
        int32_t length = 0;
        if (MV_SetCommandHeader(again, &length, sizeof again, command, sender, receiver, error,
                                payload_size) != NTCP_OK ||
            length != MV_HEADER_SIZE || memcmp(again, input.bytes(), MV_HEADER_SIZE) != 0)
            abort();
    }
    return 0;
}
