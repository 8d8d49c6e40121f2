// Drives every reader of tagged-field buffers, the delete and a write/read
// round trip with arbitrary bytes. Input: 8 control bytes, then the buffer.
//   [0]    which size to hand in (exact, shorter, zero, negative)
//   [1]    byte offset of the misaligned copy (1 to 3)
//   [2..5] the code to look for (little-endian)
//   [6]    destination size of the copying readers
//   [7]    capacity of the sequential reader, grow flag and used size of the delete
// Every buffer lives in a heap block of exactly its size, so a read or write
// past it is caught by AddressSanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/buffer_interface.h"
#include "runtime/cross_sys.h"

namespace {

struct Control {
    uint8_t size_choice;
    uint8_t misalign;
    int32_t code;
    int32_t destination_size;
    int32_t capacity;
    bool grow;
    bool delete_full;
};

// Reads every byte a reader points at, so a pointer past the buffer shows.
volatile uint8_t g_sink;

void touch(const uint8_t *p, int64_t n)
{
    if (n < 0)
        abort();
    uint8_t sum = 0;
    for (int64_t i = 0; i < n; ++i)
        sum = uint8_t(sum + p[i]);
    g_sink = sum;
}

// A heap block of exactly n bytes (at least 1, so that malloc never gives null).
struct Block {
    explicit Block(size_t n) : data(static_cast<uint8_t *>(malloc(n ? n : 1))) {}
    ~Block() { free(data); }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;
    uint8_t *data;
};

void read_groups(const Control &c, const uint8_t *buffer, int32_t size)
{
    const uint8_t *values[12] = {};
    int32_t lengths[12] = {};
    int32_t count = -1;
    const int32_t result = Interpreter_GetSequentialBuffersPtr(values, lengths, &count, c.capacity,
                                                               c.code, buffer, size);
    if (count < 0 || count > 12 || (c.capacity > 0 && count > c.capacity))
        abort();
    (void)result;
    for (int32_t i = 0; i < count; ++i) {
        touch(values[i], lengths[i]);
        // Groups are read by searching inside the value.
        char text[16];
        Interpreter_GetString(text, sizeof text, c.code, values[i], lengths[i]);
    }
}

void read_all(const Control &c, const uint8_t *buffer, int32_t size)
{
    int32_t offset = 0;
    uint32_t length_word = 0;
    Interpreter_SearchCode(&offset, &length_word, buffer, size, c.code);

    const uint8_t *value = nullptr;
    int32_t length = 0;
    if (Interpreter_GetBufferPtr(&value, &length, c.code, buffer, size) == 0) {
        if (value < buffer || value + length > buffer + size)
            abort();
        touch(value, length);
    }

    Block destination(size_t(c.destination_size));
    Interpreter_GetBuffer(destination.data, c.destination_size, &length, c.code, buffer, size);
    Interpreter_GetString(reinterpret_cast<char *>(destination.data), c.destination_size, c.code,
                          buffer, size);
    int32_t long_value = 0;
    Interpreter_GetLong(&long_value, c.code, buffer, size);
    DateTime_T clock{};
    Interpreter_GetDateTime(&clock, c.code, buffer, size);

    uint32_t image_size = 0, word_1 = 0, word_2 = 0;
    Interpreter_GetImage(destination.data, uint32_t(c.destination_size), &image_size, &word_1,
                         &word_2, c.code, buffer, size);
    const uint8_t *image = nullptr;
    if (Interpreter_GetImagePtr(&image, &image_size, &word_1, &word_2, c.code, buffer, size) == 0)
        touch(image, image_size);

    read_groups(c, buffer, size);
}

void delete_field(const Control &c, const uint8_t *bytes, int32_t n, size_t misalign)
{
    Block copy(misalign + size_t(n));
    memcpy(copy.data + misalign, bytes, size_t(n));
    int32_t used = c.delete_full ? n : n / 2;
    const int32_t before = used;
    if (Interpreter_DeleteField(copy.data + misalign, n, &used, c.code) == 0 &&
        (used < 0 || used >= before))
        abort();
}

// Appends the input as one field, into a fresh buffer or into caller memory
// of the destination size that may not grow, and reads it back.
void round_trip(const Control &c, const uint8_t *bytes, int32_t n)
{
    uint8_t *buffer = nullptr;
    int32_t allocated = 0;
    int32_t used = 0;
    Block own(size_t(c.destination_size));
    if (!c.grow && c.destination_size > 0) {
        buffer = own.data;
        allocated = c.destination_size;
    }
    const int32_t result =
        Interpreter_SetBuffer(&buffer, &allocated, &used, bytes, n, c.code, c.grow ? 1 : 0);
    if (result == 0) {
        std::vector<uint8_t> back(size_t(n) + 1);
        int32_t length = -1;
        if (Interpreter_GetBuffer(back.data(), n, &length, c.code, buffer, used) != 0 ||
            length != n || memcmp(back.data(), bytes, size_t(n)) != 0)
            abort();
    }
    if (buffer != own.data)
        free(buffer);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    ntcp_printf_set_level(NTCP_PRINTF_LEVEL_OFF);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8 || size > (1u << 20))
        return 0;
    Control c{};
    c.size_choice = data[0];
    c.misalign = uint8_t(1 + data[1] % 3);
    c.code = int32_t(uint32_t(data[2]) | uint32_t(data[3]) << 8 | uint32_t(data[4]) << 16 |
                     uint32_t(data[5]) << 24);
    c.destination_size = data[6];
    c.capacity = int32_t(data[7] % 13) - 1; // -1 to 11
    c.grow = (data[7] & 0x80) != 0;
    c.delete_full = (data[7] & 0x40) == 0;
    const uint8_t *bytes = data + 8;
    const int32_t n = int32_t(size - 8);

    int32_t handed = n;
    switch (c.size_choice % 4) {
    case 1: handed = n - int32_t(c.size_choice / 4) % (n + 1); break;
    case 2: handed = 0; break;
    case 3: handed = -int32_t(c.size_choice); break;
    default: break;
    }

    // The same bytes at a 4-aligned address and at a misaligned one.
    for (size_t misalign : {size_t{0}, size_t{c.misalign}}) {
        Block copy(misalign + size_t(n));
        memcpy(copy.data + misalign, bytes, size_t(n));
        read_all(c, copy.data + misalign, handed);
        delete_field(c, bytes, n, misalign);
    }
    round_trip(c, bytes, n);
    return 0;
}
