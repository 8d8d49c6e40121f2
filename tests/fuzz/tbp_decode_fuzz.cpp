// Arbitrary bytes as a run of received TBP packets: each 1472-byte slice of the input
// is one datagram buffer, decoded in turn while the packets say more are to come.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "transport/protocols.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 8 * TBP_MAX_PACKET_SIZE)
        return 0;
    const FuzzInput input(data, size);
    NTCPHeader_T header{};
    uint8_t *payload = nullptr;
    int32_t capacity = 0;
    int32_t filled = 0;
    int32_t count = 0;
    int32_t index = 0;
    size_t offset = 0;
    do {
        // The receive buffer always holds a whole datagram's room; bytes the
        // datagram did not bring are zero.
        auto *packet = static_cast<uint8_t *>(calloc(TBP_MAX_PACKET_SIZE, 1));
        if (packet == nullptr)
            abort();
        const size_t n = std::min<size_t>(TBP_MAX_PACKET_SIZE, size - offset);
        memcpy(packet, input.bytes() + offset, n);
        offset += n;
        const int32_t rc = DecodeTBPPackets(packet, index, &count, &header, &payload, &capacity, &filled);
        free(packet);
        if (rc != NTCP_OK)
            break;
        if (filled < 0 || filled > capacity || (filled > 0 && payload == nullptr))
            abort();
        ++index;
    } while (index < count && offset < size);
    free(payload);
    return 0;
}
