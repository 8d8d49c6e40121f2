// Shared start of the fuzz targets over received bytes: diagnostics off (they would
// only slow the run), and the input copied into a heap block of exactly its size,
// 4-aligned as the transport's buffers are, so a read past it is caught.
#ifndef NOLMAK_TESTS_FUZZ_INPUT_H
#define NOLMAK_TESTS_FUZZ_INPUT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "runtime/cross_sys.h"

class FuzzInput {
public:
    FuzzInput(const uint8_t *data, size_t size)
        : bytes_(static_cast<uint8_t *>(malloc(size == 0 ? 1 : size))), size_(static_cast<int32_t>(size))
    {
        static const bool quiet = (ntcp_printf_set_level(NTCP_PRINTF_LEVEL_OFF), true);
        (void)quiet;
        if (bytes_ == nullptr)
            abort();
        memcpy(bytes_, data, size);
    }
    ~FuzzInput() { free(bytes_); }
    FuzzInput(const FuzzInput &) = delete;
    FuzzInput &operator=(const FuzzInput &) = delete;

    const uint8_t *bytes() const { return bytes_; }
    int32_t size() const { return size_; }

private:
    uint8_t *bytes_;
    int32_t size_;
};

#endif
