// Arbitrary bytes as a received NTCP command header; a header that reads must also
// survive being written again and read back unchanged.
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "transport/ntcp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const FuzzInput input(data, size);
    NTCPHeader_T header{};
    if (NTCP_GetCommandHeader(input.bytes(), input.size(), &header) == NTCP_OK) {
        alignas(4) uint8_t again[NTCP_SEND_HEADER_BUFFER_SIZE];
        int32_t length = 0;
        if (NTCP_SetCommandHeader(again, &length, sizeof again, &header) != NTCP_OK)
            abort();
        NTCPHeader_T back{};
        if (NTCP_GetCommandHeader(again, length, &back) != NTCP_OK || back.flags != header.flags ||
            back.command != header.command || back.ntcp_id != header.ntcp_id ||
            back.payload_size != header.payload_size)
            abort();
        const uint32_t optional[] = {NTCP_FLAG_ERROR, NTCP_FLAG_SENDER, NTCP_FLAG_RECEIVER};
        const int32_t mine[] = {header.error, header.sender, header.receiver};
        const int32_t theirs[] = {back.error, back.sender, back.receiver};
        for (int i = 0; i < 3; ++i)
            if ((header.flags & optional[i]) != 0 && mine[i] != theirs[i])
                abort();
        if ((header.flags & NTCP_FLAG_MAC_ADDRESS) != 0 &&
            memcmp(header.mac_address, back.mac_address, NTCP_MAC_ADDRESS_SIZE) != 0)
            abort();
    }
    return 0;
}
