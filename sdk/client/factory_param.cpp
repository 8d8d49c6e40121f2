#include "client/factory_param.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "codec/buffer_interface.h"
#include "runtime/cross_sys.h"

static_assert(sizeof(HeadInfo_T) == 48, "HeadInfo_T is a fixed 48-byte layout");
static_assert(sizeof(FactoryParam_T) == 432, "FactoryParam_T is a fixed 432-byte layout");
static_assert(offsetof(FactoryParam_T, head_count) == 44 && offsetof(FactoryParam_T, heads) == 48,
              "FactoryParam_T offsets are fixed");

namespace {

constexpr int32_t kScratchSize = 256;

// The numbers of the block and of a head group, in the order they are encoded.
struct LongField {
    int32_t code;
    std::size_t offset;
};

constexpr LongField kBlockLongs[] = {
    {MV_DATA_CODE_FACTORY_VALUE_3001, offsetof(FactoryParam_T, value_3001)},
    {MV_DATA_CODE_FACTORY_VALUE_3003, offsetof(FactoryParam_T, value_3003)},
    {MV_DATA_CODE_FACTORY_VALUE_3004, offsetof(FactoryParam_T, value_3004)},
    {MV_DATA_CODE_FACTORY_VALUE_3005, offsetof(FactoryParam_T, value_3005)},
    {MV_DATA_CODE_FACTORY_VALUE_3006, offsetof(FactoryParam_T, value_3006)},
    {MV_DATA_CODE_FACTORY_VALUE_3007, offsetof(FactoryParam_T, value_3007)},
    {MV_DATA_CODE_FACTORY_VALUE_3008, offsetof(FactoryParam_T, value_3008)},
};

constexpr LongField kHeadLongs[] = {
    {MV_DATA_CODE_HEAD_VALUE_3022, offsetof(HeadInfo_T, value_3022)},
    {MV_DATA_CODE_HEAD_VALUE_3023, offsetof(HeadInfo_T, value_3023)},
    {MV_DATA_CODE_HEAD_VALUE_3024, offsetof(HeadInfo_T, value_3024)},
    {MV_DATA_CODE_HEAD_VALUE_3025, offsetof(HeadInfo_T, value_3025)},
    {MV_DATA_CODE_HEAD_VALUE_3026, offsetof(HeadInfo_T, value_3026)},
    {MV_DATA_CODE_HEAD_VALUE_3027, offsetof(HeadInfo_T, value_3027)},
    {MV_DATA_CODE_HEAD_VALUE_3028, offsetof(HeadInfo_T, value_3028)},
    {MV_DATA_CODE_HEAD_VALUE_3029, offsetof(HeadInfo_T, value_3029)},
};

template <typename Record>
int32_t &long_at(Record &record, const LongField &field)
{
    return *reinterpret_cast<int32_t *>(reinterpret_cast<unsigned char *>(&record) + field.offset);
}

template <typename Record>
int32_t long_at(const Record &record, const LongField &field)
{
    int32_t value;
    std::memcpy(&value, reinterpret_cast<const unsigned char *>(&record) + field.offset, sizeof value);
    return value;
}

int32_t head_groups(int32_t head_count)
{
    return head_count > FACTORY_HEAD_MAX ? FACTORY_HEAD_MAX : head_count;
}

// ---- reading ----

// A buffer of no bytes holds no fields: every value in it is absent. The writer makes
// one for a block or a head with nothing set, and it must read back as such.
int32_t get_string(char (&text)[FACTORY_TEXT_SIZE], int32_t code, const void *buffer, int32_t size)
{
    return size == 0 ? NTCP_ERR_NOT_FOUND : Interpreter_GetString(text, FACTORY_TEXT_SIZE, code, buffer, size);
}

int32_t get_long(int32_t *value, int32_t code, const void *buffer, int32_t size)
{
    return size == 0 ? NTCP_ERR_NOT_FOUND : Interpreter_GetLong(value, code, buffer, size);
}

int32_t read_text(char (&text)[FACTORY_TEXT_SIZE], int32_t code, const void *buffer, int32_t size)
{
    text[0] = '\0';
    const int32_t result = get_string(text, code, buffer, size);
    if (result == NTCP_ERR_NOT_FOUND) {
        text[0] = '\0';
        return NTCP_OK;
    }
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractFactoryParam: Interpreter_GetString failed");
    return result;
}

int32_t read_long(int32_t *value, int32_t code, const void *buffer, int32_t size)
{
    *value = 0; // a value shorter than 4 bytes fills only its own bytes
    const int32_t result = get_long(value, code, buffer, size);
    if (result == NTCP_ERR_NOT_FOUND) {
        *value = FACTORY_NOT_SET;
        return NTCP_OK;
    }
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractFactoryParam: Interpreter_GetLong failed");
    return result;
}

template <typename Record, std::size_t N>
int32_t read_longs(Record &record, const LongField (&fields)[N], const void *buffer, int32_t size)
{
    for (const LongField &field : fields) {
        const int32_t result = read_long(&long_at(record, field), field.code, buffer, size);
        if (result != NTCP_OK)
            return result;
    }
    return NTCP_OK;
}

int32_t read_head(HeadInfo_T &head, const uint8_t *group, int32_t size)
{
    const int32_t result = read_text(head.text_3021, MV_DATA_CODE_HEAD_TEXT_3021, group, size);
    if (result != NTCP_OK)
        return result;
    return read_longs(head, kHeadLongs, group, size);
}

// ---- writing ----

int32_t append_text(const char (&text)[FACTORY_TEXT_SIZE], int32_t code, uint8_t **buffer,
                    int32_t *allocated, int32_t *used)
{
    // The caller's text need not be terminated: at most 15 characters are carried.
    char bounded[FACTORY_TEXT_SIZE];
    std::memcpy(bounded, text, FACTORY_TEXT_SIZE);
    bounded[FACTORY_TEXT_SIZE - 1] = '\0';
    if (bounded[0] == '\0')
        return NTCP_OK;
    const int32_t result = Interpreter_SetString(buffer, allocated, used, bounded, code, 1);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "PutFactoryParam: Interpreter_SetString failed");
    return result;
}

int32_t append_long(int32_t value, int32_t code, uint8_t **buffer, int32_t *allocated, int32_t *used)
{
    if (value == FACTORY_NOT_SET)
        return NTCP_OK;
    const int32_t result = Interpreter_SetLong(buffer, allocated, used, value, code, 1);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "PutFactoryParam: Interpreter_SetLong failed");
    return result;
}

template <typename Record, std::size_t N>
int32_t append_longs(const Record &record, const LongField (&fields)[N], uint8_t **buffer,
                     int32_t *allocated, int32_t *used)
{
    for (const LongField &field : fields) {
        const int32_t result = append_long(long_at(record, field), field.code, buffer, allocated, used);
        if (result != NTCP_OK)
            return result;
    }
    return NTCP_OK;
}

int32_t append_heads(const FactoryParam_T &param, int32_t groups, uint8_t **payload,
                     int32_t *allocated, int32_t *used)
{
    int32_t scratch_allocated = kScratchSize;
    uint8_t *scratch = static_cast<uint8_t *>(calloc(1, kScratchSize));
    if (scratch == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "PutFactoryParam: calloc failed");
        return NTCP_ERR_ALLOC;
    }
    int32_t result = NTCP_OK;
    for (int32_t i = 0; i < groups && result == NTCP_OK; ++i) {
        const HeadInfo_T &head = param.heads[i];
        int32_t scratch_used = 0;
        result = append_text(head.text_3021, MV_DATA_CODE_HEAD_TEXT_3021, &scratch, &scratch_allocated,
                             &scratch_used);
        if (result == NTCP_OK)
            result = append_longs(head, kHeadLongs, &scratch, &scratch_allocated, &scratch_used);
        if (result == NTCP_OK) {
            result = Interpreter_SetBuffer(payload, allocated, used, scratch, scratch_used, HEAD_INFO_0 + i, 1);
            if (result != NTCP_OK)
                ntcp_printf(NTCP_SEVERITY_ERROR, "PutFactoryParam: Interpreter_SetBuffer HEAD_INFO_0 + %d failed", i);
        }
    }
    free(scratch);
    return result;
}

} // namespace

extern "C" int32_t ExtractFactoryParam(FactoryParam_T *param, const void *answer, int32_t answer_size)
{
    if (param == nullptr || answer == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractFactoryParam: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    int32_t result = read_text(param->text_3002, MV_DATA_CODE_FACTORY_TEXT_3002, answer, answer_size);
    if (result == NTCP_OK)
        result = read_longs(*param, kBlockLongs, answer, answer_size);
    if (result == NTCP_OK)
        result = read_long(&param->head_count, MV_DATA_CODE_FACTORY_HEAD_COUNT, answer, answer_size);
    if (result != NTCP_OK || param->head_count <= 0)
        return result;

    if (param->head_count > FACTORY_HEAD_MAX) {
        ntcp_printf(NTCP_SEVERITY_WARNING, "ExtractFactoryParam: %d head groups announced, %d kept",
                    param->head_count, FACTORY_HEAD_MAX);
        param->head_count = FACTORY_HEAD_MAX;
    }
    for (int32_t i = 0; i < param->head_count; ++i) {
        const uint8_t *group = nullptr;
        int32_t group_size = 0;
        result = Interpreter_GetBufferPtr(&group, &group_size, HEAD_INFO_0 + i, answer, answer_size);
        if (result != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractFactoryParam: Interpreter_GetBufferPtr HEAD_INFO_0 + %d", i);
            return result;
        }
        result = read_head(param->heads[i], group, group_size);
        if (result != NTCP_OK)
            return result;
    }
    return NTCP_OK;
}

extern "C" int32_t PutFactoryParam(const FactoryParam_T *param, uint8_t **payload, int32_t *used_size,
                                   int32_t *allocated_size)
{
    if (param == nullptr || payload == nullptr || used_size == nullptr || allocated_size == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "PutFactoryParam: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    *used_size = 0;
    const int32_t groups = head_groups(param->head_count);
    int32_t result = append_text(param->text_3002, MV_DATA_CODE_FACTORY_TEXT_3002, payload,
                                 allocated_size, used_size);
    if (result == NTCP_OK)
        result = append_longs(*param, kBlockLongs, payload, allocated_size, used_size);
    if (result == NTCP_OK)
        result = append_long(groups, MV_DATA_CODE_FACTORY_HEAD_COUNT, payload, allocated_size, used_size);
    if (result == NTCP_OK && groups > 0)
        result = append_heads(*param, groups, payload, allocated_size, used_size);
    return result;
}
