#include "transport/mirovant.h"

#include "runtime/byte_order.h"
#include "runtime/cross_sys.h"

namespace {

constexpr int kWords = MV_HEADER_SIZE / 4;

void put_words(uint8_t *out, const uint32_t (&words)[kWords])
{
    for (int w = 0; w < kWords; ++w)
        le32_store(out + w * 4, words[w]);
}

void get_words(const uint8_t *in, uint32_t (&words)[kWords])
{
    for (int w = 0; w < kWords; ++w)
        words[w] = le32_load(in + w * 4);
}

} // namespace

extern "C" int32_t MV_SetCommandHeader(uint8_t *buffer, int32_t *header_length,
                                       int32_t buffer_size, int32_t command, int32_t sender,
                                       int32_t receiver, int32_t error, int32_t payload_size)
{
    if (buffer == nullptr || header_length == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "MV_SetCommandHeader: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (buffer_size < MV_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "MV_SetCommandHeader: buffer too small (%d bytes)",
                    buffer_size);
        return NTCP_ERR_BUFFER;
    }
    const uint32_t words[kWords] = {
        MV_HEADER_SIZE,
        static_cast<uint32_t>(command),
        static_cast<uint32_t>(sender),
        static_cast<uint32_t>(receiver),
        static_cast<uint32_t>(error),
        static_cast<uint32_t>(payload_size),
    };
    put_words(buffer, words);
    *header_length = MV_HEADER_SIZE;
    return NTCP_OK;
}

extern "C" int32_t MV_GetCommandHeader(const uint8_t *buffer, int32_t buffer_size,
                                       int32_t *command, int32_t *sender, int32_t *receiver,
                                       int32_t *error, int32_t *payload_size)
{
    if (buffer == nullptr || command == nullptr || sender == nullptr || receiver == nullptr ||
        error == nullptr || payload_size == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "MV_GetCommandHeader: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (buffer_size < MV_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "MV_GetCommandHeader: buffer too small (%d bytes)",
                    buffer_size);
        return NTCP_ERR_BUFFER;
    }
    uint32_t words[kWords];
    get_words(buffer, words);
    if (words[0] != MV_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "MV_GetCommandHeader: not a MIROVANT header (first word %u)",
                    words[0]);
        return NTCP_ERR_MISALIGNED;
    }
    *command = static_cast<int32_t>(words[1]);
    *sender = static_cast<int32_t>(words[2]);
    *receiver = static_cast<int32_t>(words[3]);
    *error = static_cast<int32_t>(words[4]);
    *payload_size = static_cast<int32_t>(words[5]);
    return NTCP_OK;
}
