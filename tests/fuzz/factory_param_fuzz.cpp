// Arbitrary bytes as a factory parameter answer; a record that reads must survive
// being encoded and read back unchanged.
#include <cstdlib>
#include <cstring>

#include "client/factory_param.h"
#include "fuzz_input.h"

namespace {

bool same(const FactoryParam_T &a, const FactoryParam_T &b)
{
    if (strcmp(a.text_3002, b.text_3002) != 0 || a.value_3001 != b.value_3001 ||
        memcmp(&a.value_3003, &b.value_3003, 7 * sizeof(int32_t)) != 0)
        return false;
    for (int i = 0; i < a.head_count; ++i)
        if (strcmp(a.heads[i].text_3021, b.heads[i].text_3021) != 0 ||
            memcmp(&a.heads[i].value_3022, &b.heads[i].value_3022, 8 * sizeof(int32_t)) != 0)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const FuzzInput answer(data, size);
    FactoryParam_T param;
    memset(&param, 0, sizeof param);
    if (ExtractFactoryParam(&param, answer.bytes(), answer.size()) == NTCP_OK) {
        if (param.head_count > FACTORY_HEAD_MAX)
            abort();
        uint8_t *payload = nullptr;
        int32_t used = 0, allocated = 0;
        if (PutFactoryParam(&param, &payload, &used, &allocated) != NTCP_OK)
            abort();
        // A block with nothing set encodes as no bytes at all, possibly without memory.
        static const uint32_t no_fields = 0;
        FactoryParam_T back;
        memset(&back, 0, sizeof back);
        if (ExtractFactoryParam(&back, used == 0 ? &no_fields : static_cast<const void *>(payload), used) != NTCP_OK ||
            !same(param, back))
            abort();
        free(payload);
    }
    return 0;
}
