#include "codec/buffer_interface.h"

#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "runtime/byte_order.h"
#include "runtime/cross_sys.h"

namespace {

constexpr int64_t kHeader = INTERPRETER_FIELD_HEADER_SIZE;

// 64-bit so that a length word near 0xFFFFFFFF cannot wrap.
int64_t padded(int64_t length)
{
    return (length + 3) & ~int64_t{3};
}

int64_t field_step(uint32_t length)
{
    return kHeader + padded(length);
}

// Sizes print as the 32-bit words they are, whatever the width of long.
unsigned long size_word(int64_t size)
{
    return static_cast<uint32_t>(size);
}

int int_for_print(int64_t v)
{
    return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

bool misaligned(const uint8_t *field)
{
    return reinterpret_cast<uintptr_t>(field) % 4 != 0;
}

unsigned long address_of(const uint8_t *field)
{
    return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(field));
}

struct Found {
    int64_t offset; // from the base of the buffer, not of the window
    uint32_t length;
};

// The enumeration behind every reader: looks for the first field with the code
// in the window [start, start + window) of base. Checks each header before
// reading it; 8 (absent) is the only quiet failure.
int32_t search(const uint8_t *base, int64_t start, int64_t window, int32_t code, Found *found)
{
    if (base == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_SearchCode: NULL pointer\n");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (window < kHeader) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "Interpreter_SearchCode: buffer size too small (%lu bytes)\n",
                    size_word(window));
        return NTCP_ERR_BUFFER;
    }
    int64_t offset = start;
    int64_t remaining = window;
    for (;;) {
        const uint8_t *field = base + offset;
        const uint32_t length = le32_load(field + 4);
        if (static_cast<int32_t>(le32_load(field)) == code) {
            found->offset = offset;
            found->length = length;
            return NTCP_OK;
        }
        const int64_t step = field_step(length);
        // Past the end, or a trailing fragment that cannot hold a header.
        if (step > remaining || (step < remaining && remaining - step < kHeader)) {
            ntcp_printf(NTCP_SEVERITY_ERROR,
                        "Interpreter_SearchCode: error during enumeration: %lu-%d-%d\n",
                        size_word(window), int_for_print(step),
                        int_for_print(step > remaining ? remaining : remaining - step));
            return NTCP_ERR_BUFFER;
        }
        offset += step;
        remaining -= step;
        if (remaining == 0)
            return NTCP_ERR_NOT_FOUND;
    }
}

// A failed inner step has printed its own line; the caller adds its line,
// except for absence, which stays quiet all the way up.
int32_t pass_up(int32_t result, const char *line)
{
    if (result != NTCP_OK && result != NTCP_ERR_NOT_FOUND)
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s", line);
    return result;
}

// Shared by the image readers: locates the value and checks that header and
// image lie inside it.
int32_t locate_image(const char *reader, const uint8_t **image, uint32_t *image_size,
                     uint32_t *image_word_1, uint32_t *image_word_2, int32_t code,
                     const void *buffer, int32_t size)
{
    const uint8_t *value = nullptr;
    int32_t length = 0;
    const int32_t result = Interpreter_GetBufferPtr(&value, &length, code, buffer, size);
    if (result == NTCP_ERR_NOT_FOUND)
        return result;
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Interpreter_GetBufferPtr failed", reader);
        return result;
    }
    if (length < INTERPRETER_IMAGE_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: field of %d bytes too short for a tbanco", reader,
                    length);
        return NTCP_ERR_MISALIGNED;
    }
    const uint32_t header_size = le32_load(value + offsetof(ImageHeader_T, header_size));
    if (header_size != INTERPRETER_IMAGE_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: wrong tbanco size %d instead of %d", reader,
                    static_cast<int>(header_size), INTERPRETER_IMAGE_HEADER_SIZE);
        return NTCP_ERR_MISALIGNED;
    }
    const uint32_t bytes = le32_load(value + offsetof(ImageHeader_T, image_size));
    if (int64_t{header_size} + bytes > length) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: image of %lu bytes runs past its field of %d bytes",
                    reader, static_cast<unsigned long>(bytes), length);
        return NTCP_ERR_MISALIGNED;
    }
    *image = value + header_size;
    *image_size = bytes;
    *image_word_1 = le32_load(value + offsetof(ImageHeader_T, image_word_1));
    *image_word_2 = le32_load(value + offsetof(ImageHeader_T, image_word_2));
    return NTCP_OK;
}

} // namespace

extern "C" {

int32_t Interpreter_SearchCode(int32_t *offset, uint32_t *length, const void *buffer,
                               int32_t size, int32_t code)
{
    Found found{};
    const int32_t result = search(static_cast<const uint8_t *>(buffer), 0, size, code, &found);
    if (result != NTCP_OK)
        return result;
    if (offset != nullptr)
        *offset = static_cast<int32_t>(found.offset);
    if (length != nullptr)
        *length = found.length;
    return NTCP_OK;
}

int32_t Interpreter_DeleteField(void *buffer, int32_t search_size, int32_t *used_size,
                                int32_t code)
{
    if (buffer == nullptr || used_size == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_DeleteField: NULL parameter\n");
        return NTCP_ERR_NULL_PARAMETER;
    }
    uint8_t *base = static_cast<uint8_t *>(buffer);
    Found found{};
    const int32_t result = search(base, 0, search_size, code, &found);
    if (result != NTCP_OK)
        return result;
    uint8_t *field = base + found.offset;
    if (misaligned(field)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_DeleteField: ptr not 4-aligned (%lu)\n",
                    address_of(field));
        return NTCP_ERR_MISALIGNED;
    }
    // The search stops at the field without stepping over it, so its extent
    // is still unchecked.
    const int64_t end = found.offset + field_step(found.length);
    if (end > search_size) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_DeleteField: Wrong data size\n");
        return NTCP_ERR_MISALIGNED;
    }
    if (end > *used_size) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "Interpreter_DeleteField: field beyond the used size (end: %lu, used: %d)\n",
                    size_word(end), *used_size);
        return NTCP_ERR_BUFFER;
    }
    const int64_t tail = *used_size - end;
    if (tail > 0)
        memmove(field, base + end, static_cast<size_t>(tail));
    *used_size -= static_cast<int32_t>(end - found.offset);
    return NTCP_OK;
}

int32_t Interpreter_SetBuffer(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                              const void *value, int32_t length, int32_t code, int32_t grow)
{
    if (buffer == nullptr || allocated_size == nullptr || used_size == nullptr ||
        value == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_SetBuffer: NULL pointer\n");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (length < 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_SetBuffer: wrong value length (%d)\n",
                    length);
        return NTCP_ERR_BUFFER;
    }
    const int64_t room = kHeader + padded(length);

    // Work on copies: the caller's state changes only when the field is written.
    uint8_t *memory = *buffer;
    int64_t allocated = *allocated_size;
    int64_t used = *used_size;

    if (memory == nullptr || allocated == 0) {
        const int64_t first = room + INTERPRETER_GROWTH_STEP;
        memory = first > INT32_MAX ? nullptr
                                   : static_cast<uint8_t *>(calloc(1, static_cast<size_t>(first)));
        if (memory == nullptr) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_SetBuffer: insufficient memory");
            return NTCP_ERR_ALLOC;
        }
        ntcp_printf(NTCP_SEVERITY_DEBUG, "Alloc buffer of %lu bytes", size_word(first));
        allocated = first;
        used = 0;
    }
    if (allocated < used || used < 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "Interpreter_SetBuffer: wrong buffer size (alloc: %lu, used: %lu)\n",
                    size_word(allocated), size_word(used));
        return NTCP_ERR_BUFFER;
    }
    if (allocated - used < room) {
        if (grow == 0) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_SetBuffer: buffer too small");
            return NTCP_ERR_BUFFER;
        }
        const int64_t larger = used + room + INTERPRETER_GROWTH_STEP;
        uint8_t *moved = larger > INT32_MAX
                             ? nullptr
                             : static_cast<uint8_t *>(realloc(memory, static_cast<size_t>(larger)));
        if (moved == nullptr) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_SetBuffer: insufficient memory");
            return NTCP_ERR_ALLOC;
        }
        // Keep the promise of zero-filled memory past the used size.
        memset(moved + allocated, 0, static_cast<size_t>(larger - allocated));
        ntcp_printf(NTCP_SEVERITY_DEBUG, "Realloc buffer from %lu to %lu bytes",
                    size_word(allocated), size_word(larger));
        memory = moved;
        allocated = larger;
    }

    uint8_t *field = memory + used;
    le32_store(field, static_cast<uint32_t>(code));
    le32_store(field + 4, static_cast<uint32_t>(length));
    memcpy(field + kHeader, value, static_cast<size_t>(length));
    memset(field + kHeader + length, 0, static_cast<size_t>(room - kHeader - length));

    *buffer = memory;
    *allocated_size = static_cast<int32_t>(allocated);
    *used_size = static_cast<int32_t>(used + room);
    return NTCP_OK;
}

int32_t Interpreter_SetLong(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                            int32_t value, int32_t code, int32_t grow)
{
    uint8_t bytes[4];
    le32_store(bytes, static_cast<uint32_t>(value));
    return pass_up(Interpreter_SetBuffer(buffer, allocated_size, used_size, bytes, sizeof bytes,
                                         code, grow),
                   "Interpreter_SetLong: Interpreter_SetBuffer failed\n");
}

int32_t Interpreter_SetString(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                              const char *text, int32_t code, int32_t grow)
{
    if (text == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_SetString: NULL pointer\n");
        return NTCP_ERR_NULL_PARAMETER;
    }
    const size_t characters = strlen(text);
    // A text too long for a length word goes in as a negative length, which
    // the append refuses.
    const int32_t length = characters < INT32_MAX ? static_cast<int32_t>(characters + 1) : -1;
    return pass_up(
        Interpreter_SetBuffer(buffer, allocated_size, used_size, text, length, code, grow),
        "Interpreter_SetString: Interpreter_SetBuffer failed\n");
}

int32_t Interpreter_SetDateTime(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                                const DateTime_T *date_time, int32_t code, int32_t grow)
{
    return pass_up(Interpreter_SetBuffer(buffer, allocated_size, used_size, date_time,
                                         sizeof(DateTime_T), code, grow),
                   "Interpreter_SetDateTime: Interpreter_SetBuffer failed\n");
}

int32_t Interpreter_GetBufferPtr(const uint8_t **value, int32_t *length, int32_t code,
                                 const void *buffer, int32_t size)
{
    if (value == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetBufferPtr: NULL pointer\n");
        return NTCP_ERR_NULL_PARAMETER;
    }
    const uint8_t *base = static_cast<const uint8_t *>(buffer);
    Found found{};
    const int32_t result = search(base, 0, size, code, &found);
    if (result != NTCP_OK)
        return result;
    const uint8_t *field = base + found.offset;
    if (misaligned(field)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetBufferPtr: ptr not 4-aligned (%lu)\n",
                    address_of(field));
        return NTCP_ERR_MISALIGNED;
    }
    if (kHeader + found.length > size - found.offset) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetBufferPtr: Wrong data size\n");
        return NTCP_ERR_MISALIGNED;
    }
    *value = field + kHeader;
    if (length != nullptr)
        *length = static_cast<int32_t>(found.length);
    return NTCP_OK;
}

int32_t Interpreter_GetSequentialBuffersPtr(const uint8_t **values, int32_t *lengths,
                                            int32_t *count, int32_t capacity, int32_t code,
                                            const void *buffer, int32_t size)
{
    if (values == nullptr || lengths == nullptr || count == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetSequentialBuffersPtr: NULL pointer\n");
        return NTCP_ERR_NULL_PARAMETER;
    }
    *count = 0;
    if (capacity <= 0)
        return NTCP_OK;
    const uint8_t *base = static_cast<const uint8_t *>(buffer);
    int64_t start = 0;
    while (start != size) {
        Found found{};
        const int32_t result = search(base, start, size - start, code, &found);
        if (result == NTCP_ERR_NOT_FOUND)
            return NTCP_OK;
        if (result != NTCP_OK)
            return pass_up(result,
                           "Interpreter_GetSequentialBuffersPtr: Interpreter_SearchCode failed");
        // Callers read inside each value with its length as the size, so a
        // value running past the buffer is refused here.
        if (kHeader + found.length > size - found.offset) {
            ntcp_printf(NTCP_SEVERITY_ERROR,
                        "Interpreter_GetSequentialBuffersPtr: Wrong data size\n");
            return NTCP_ERR_MISALIGNED;
        }
        values[*count] = base + found.offset + kHeader;
        lengths[*count] = static_cast<int32_t>(found.length);
        if (++*count == capacity)
            return NTCP_OK;
        start = found.offset + field_step(found.length);
    }
    return NTCP_OK;
}

int32_t Interpreter_GetBuffer(void *destination, int32_t destination_size, int32_t *length,
                              int32_t code, const void *buffer, int32_t size)
{
    if (destination == nullptr || length == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetBuffer: NULL pointer\n");
        return NTCP_ERR_NULL_PARAMETER;
    }
    const uint8_t *value = nullptr;
    int32_t value_length = 0;
    const int32_t result = Interpreter_GetBufferPtr(&value, &value_length, code, buffer, size);
    if (result != NTCP_OK)
        return pass_up(result, "Interpreter_GetBuffer: Interpreter_GetBufferPtr failed\n");
    if (value_length > destination_size) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetBuffer: buffer too small\n");
        return NTCP_ERR_BUFFER;
    }
    memcpy(destination, value, static_cast<size_t>(value_length));
    *length = value_length;
    return NTCP_OK;
}

int32_t Interpreter_GetLong(int32_t *destination, int32_t code, const void *buffer, int32_t size)
{
    // A short value overwrites only its own low-order bytes of the destination.
    uint8_t bytes[4] = {};
    if (destination != nullptr)
        le32_store(bytes, static_cast<uint32_t>(*destination));
    int32_t length = 0;
    const int32_t result =
        Interpreter_GetBuffer(destination != nullptr ? bytes : nullptr, sizeof bytes, &length,
                              code, buffer, size);
    if (result == NTCP_OK)
        *destination = static_cast<int32_t>(le32_load(bytes));
    return pass_up(result, "Interpreter_GetLong: Interpreter_GetBuffer failed\n");
}

int32_t Interpreter_GetString(char *destination, int32_t destination_size, int32_t code,
                              const void *buffer, int32_t size)
{
    // No room even for the terminator.
    if (destination != nullptr && destination_size <= 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetString: destination size %d too small\n",
                    destination_size);
        return NTCP_ERR_BUFFER;
    }
    int32_t length = 0;
    const int32_t result =
        Interpreter_GetBuffer(destination, destination_size, &length, code, buffer, size);
    if (result == NTCP_OK)
        destination[length < destination_size ? length : destination_size - 1] = '\0';
    return pass_up(result, "Interpreter_GetString: Interpreter_GetBuffer failed\n");
}

int32_t Interpreter_GetDateTime(DateTime_T *destination, int32_t code, const void *buffer,
                                int32_t size)
{
    int32_t length = 0;
    return pass_up(
        Interpreter_GetBuffer(destination, sizeof(DateTime_T), &length, code, buffer, size),
        "Interpreter_GetDateTime: Interpreter_GetBuffer failed\n");
}

int32_t Interpreter_GetImage(void *destination, uint32_t destination_size, uint32_t *image_size,
                             uint32_t *image_word_1, uint32_t *image_word_2, int32_t code,
                             const void *buffer, int32_t size)
{
    if (destination == nullptr || image_size == nullptr || image_word_1 == nullptr ||
        image_word_2 == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetImage: NULL pointer");
        return NTCP_ERR_NULL_PARAMETER;
    }
    const uint8_t *image = nullptr;
    uint32_t bytes = 0;
    uint32_t word_1 = 0;
    uint32_t word_2 = 0;
    const int32_t result = locate_image("Interpreter_GetImage", &image, &bytes, &word_1, &word_2,
                                        code, buffer, size);
    if (result != NTCP_OK)
        return result;
    if (bytes > destination_size) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetImage: buffer too small\n");
        return NTCP_ERR_BUFFER;
    }
    memcpy(destination, image, bytes);
    *image_size = bytes;
    *image_word_1 = word_1;
    *image_word_2 = word_2;
    return NTCP_OK;
}

int32_t Interpreter_GetImagePtr(const uint8_t **image, uint32_t *image_size,
                                uint32_t *image_word_1, uint32_t *image_word_2, int32_t code,
                                const void *buffer, int32_t size)
{
    if (image == nullptr || image_size == nullptr || image_word_1 == nullptr ||
        image_word_2 == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Interpreter_GetImagePtr: NULL pointer");
        return NTCP_ERR_NULL_PARAMETER;
    }
    return locate_image("Interpreter_GetImagePtr", image, image_size, image_word_1, image_word_2,
                        code, buffer, size);
}

} // extern "C"
