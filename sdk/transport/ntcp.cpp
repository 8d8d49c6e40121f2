#include "transport/ntcp.h"

#include <cstring>

#include "codec/buffer_interface.h"
#include "runtime/byte_order.h"
#include "runtime/cross_sys.h"

namespace {

// Offsets of the words of the fixed part.
constexpr int kOffsetMagic1 = 0;
constexpr int kOffsetMagic2 = 4;
constexpr int kOffsetOptions = 8;
constexpr int kOffsetHeaderLength = 12;
constexpr int kOffsetPayloadSize = 16;
constexpr int kOffsetNtcpId = 20;
constexpr int kOffsetCommand = 24;

// The 32-bit fields of the variable part, in the order they are written and looked for.
// Version and response have no member: version is always 200, response always 1.
struct LongField {
    int32_t code;
    const char *name;
    uint32_t flag; // 0: always written
    int32_t NTCPHeader_T::*member;
};

constexpr LongField kLongFields[] = {
    {NTCP_ID_VERSION, "NTCP_ID_VERSION", 0, nullptr},
    {NTCP_ID_RESPONSE, "NTCP_ID_RESPONSE", NTCP_FLAG_RESPONSE, nullptr},
    {NTCP_ID_ERROR, "NTCP_ID_ERROR", NTCP_FLAG_ERROR, &NTCPHeader_T::error},
    {NTCP_ID_SENDER, "NTCP_ID_SENDER", NTCP_FLAG_SENDER, &NTCPHeader_T::sender},
    {NTCP_ID_RECEIVER, "NTCP_ID_RECEIVER", NTCP_FLAG_RECEIVER, &NTCPHeader_T::receiver},
};

int32_t long_field_value(const LongField &field, const NTCPHeader_T &header)
{
    if (field.code == NTCP_ID_VERSION)
        return NTCP_HEADER_VERSION;
    if (field.code == NTCP_ID_RESPONSE)
        return 1;
    return header.*field.member;
}

// Writes the variable part into `room` bytes at `area`, never growing it. Every field
// is tried; the result is the sum of the failed fields' results.
int32_t _NTCP_FillVarHeader(uint8_t *area, int32_t room, const NTCPHeader_T &header,
                            int32_t *length)
{
    *length = 0;
    // An allocated size of 0 would make the writer allocate memory of its own.
    if (room <= 0)
        return NTCP_ERR_BUFFER;
    uint8_t *buffer = area;
    int32_t allocated = room;
    int32_t used = 0;
    int32_t result = 0;
    for (const LongField &field : kLongFields) {
        if (field.flag != 0 && (header.flags & field.flag) == 0)
            continue;
        result += Interpreter_SetLong(&buffer, &allocated, &used, long_field_value(field, header),
                                      field.code, 0);
    }
    if ((header.flags & NTCP_FLAG_MAC_ADDRESS) != 0)
        result += Interpreter_SetBuffer(&buffer, &allocated, &used, header.mac_address,
                                        NTCP_MAC_ADDRESS_SIZE, NTCP_ID_MACADDRESS, 0);
    *length = used;
    return result;
}

int32_t _NTCP_ExtractVarHeader(const uint8_t *area, int32_t size, NTCPHeader_T *header)
{
    for (const LongField &field : kLongFields) {
        int32_t value = 0;
        const int32_t result = Interpreter_GetLong(&value, field.code, area, size);
        if (result == NTCP_ERR_NOT_FOUND)
            continue;
        if (result != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "_NTCP_ExtractVarHeader: Failed to get %s", field.name);
            return result;
        }
        if (field.code == NTCP_ID_RESPONSE) {
            if (value == 1)
                header->flags |= NTCP_FLAG_RESPONSE;
        } else if (field.member != nullptr) {
            header->*field.member = value;
            header->flags |= field.flag;
        }
    }
    uint8_t mac[NTCP_MAC_ADDRESS_SIZE] = {};
    int32_t mac_length = 0;
    const int32_t result =
        Interpreter_GetBuffer(mac, sizeof mac, &mac_length, NTCP_ID_MACADDRESS, area, size);
    if (result == NTCP_ERR_NOT_FOUND)
        return NTCP_OK;
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "_NTCP_ExtractVarHeader: Failed to get NTCP_ID_MACADDRESS");
        return result;
    }
    memcpy(header->mac_address, mac, sizeof mac);
    header->flags |= NTCP_FLAG_MAC_ADDRESS;
    return NTCP_OK;
}

} // namespace

extern "C" int32_t NTCP_SetCommandHeader(uint8_t *buffer, int32_t *header_length,
                                         int32_t buffer_size, const NTCPHeader_T *header)
{
    if (buffer == nullptr || header_length == nullptr || header == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_SetCommandHeader: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    const uint32_t required = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND;
    if ((header->flags & required) != required) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_SetCommandHeader: command code not found");
        return NTCP_ERR_RANGE;
    }
    int32_t variable_length = 0;
    const int32_t result = _NTCP_FillVarHeader(buffer + NTCP_FIXED_HEADER_SIZE,
                                               buffer_size - NTCP_FIXED_HEADER_SIZE, *header,
                                               &variable_length);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_SetCommandHeader: _NTCP_FillVarHeader failed");
        return result;
    }
    const int32_t length = NTCP_FIXED_HEADER_SIZE + variable_length;
    const bool has_payload = (header->flags & NTCP_FLAG_PAYLOAD_SIZE) != 0;
    le32_store(buffer + kOffsetMagic1, NTCP_MAGIC_1);
    le32_store(buffer + kOffsetMagic2, NTCP_MAGIC_2);
    le32_store(buffer + kOffsetOptions, 0);
    le32_store(buffer + kOffsetHeaderLength, static_cast<uint32_t>(length));
    le32_store(buffer + kOffsetPayloadSize, has_payload ? static_cast<uint32_t>(header->payload_size) : 0);
    le32_store(buffer + kOffsetNtcpId, static_cast<uint32_t>(header->ntcp_id));
    le32_store(buffer + kOffsetCommand, static_cast<uint32_t>(header->command));
    *header_length = length;
    return NTCP_OK;
}

extern "C" int32_t NTCP_GetCommandHeader(const uint8_t *buffer, int32_t header_length,
                                         NTCPHeader_T *header)
{
    if (buffer == nullptr || header == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_GetCommandHeader: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    header->flags = 0;
    // Nothing is read beyond the bytes the caller has.
    if (header_length < NTCP_FIXED_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_GetCommandHeader: Header too short (%d bytes)",
                    header_length);
        return NTCP_ERR_BUFFER;
    }
    if (le32_load(buffer + kOffsetMagic1) != NTCP_MAGIC_1 ||
        le32_load(buffer + kOffsetMagic2) != NTCP_MAGIC_2) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_GetCommandHeader: Header corrupted");
        return NTCP_ERR_HANDLE;
    }
    if ((buffer[kOffsetOptions] & NTCP_ENCRYPTION_MASK) != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "NTCP_GetCommandHeader: Encryption functionality not supported yet");
        return NTCP_ERR_UNSUPPORTED;
    }
    header->payload_size = static_cast<int32_t>(le32_load(buffer + kOffsetPayloadSize));
    header->ntcp_id = static_cast<int32_t>(le32_load(buffer + kOffsetNtcpId));
    header->command = static_cast<int32_t>(le32_load(buffer + kOffsetCommand));
    header->flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_PAYLOAD_SIZE;

    const uint32_t length_word = le32_load(buffer + kOffsetHeaderLength);
    if (length_word > static_cast<uint32_t>(header_length)) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "NTCP_GetCommandHeader: header length %u beyond the %d bytes received",
                    length_word, header_length);
        return NTCP_ERR_BUFFER;
    }
    // A length word below 28 gives a negative size, which the field search refuses.
    const int32_t result =
        _NTCP_ExtractVarHeader(buffer + NTCP_FIXED_HEADER_SIZE,
                               static_cast<int32_t>(length_word) - NTCP_FIXED_HEADER_SIZE, header);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_GetCommandHeader: _NTCP_ExtractVarHeader failed");
        return result;
    }
    return NTCP_OK;
}
