// Interpreter payloads written by hand for the device client's tests, straight from
// the field layout (code, length word, value, zero padding to 4 bytes; words
// little-endian), so that the decoders are never checked only against the
// library's own writers.
#ifndef TESTS_CLIENT_QUENTIX_WIRE_H
#define TESTS_CLIENT_QUENTIX_WIRE_H

#include <cstdint>
#include <string>
#include <vector>

namespace wire {

class Fields {
public:
    Fields &raw(int32_t code, const void *value, uint32_t length)
    {
        word(static_cast<uint32_t>(code));
        word(length);
        const auto *v = static_cast<const uint8_t *>(value);
        bytes_.insert(bytes_.end(), v, v + length);
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
        return *this;
    }
    Fields &number(int32_t code, int32_t value)
    {
        uint8_t le[4];
        for (int i = 0; i < 4; ++i)
            le[i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
        return raw(code, le, 4);
    }
    Fields &text(int32_t code, const std::string &value) { return raw(code, value.c_str(), value.size() + 1); }
    Fields &group(int32_t code, const Fields &inner)
    {
        return raw(code, inner.bytes_.data(), static_cast<uint32_t>(inner.bytes_.size()));
    }
    // A 12-byte device clock: two date bytes, then year, hour, minute, second, millisecond (16-bit).
    Fields &clock(int32_t code, int8_t part1, int8_t part2, int16_t year, int16_t hour, int16_t minute,
                  int16_t second, int16_t millisecond)
    {
        const int16_t halves[] = {year, hour, minute, second, millisecond};
        std::vector<uint8_t> v = {static_cast<uint8_t>(part1), static_cast<uint8_t>(part2)};
        for (int16_t h : halves) {
            v.push_back(static_cast<uint8_t>(h & 0xFF));
            v.push_back(static_cast<uint8_t>((static_cast<uint16_t>(h) >> 8) & 0xFF));
        }
        return raw(code, v.data(), static_cast<uint32_t>(v.size()));
    }
    Fields &append(const Fields &other)
    {
        bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
        return *this;
    }

    const std::vector<uint8_t> &bytes() const { return bytes_; }

private:
    void word(uint32_t w)
    {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
};

// Received payloads lie in 4-aligned heap memory; so do these copies. Each is a heap
// block of exactly its size (one byte for no bytes, so that it is never null), so a
// decoder that reads even one byte past the answer is caught by the sanitizer builds.
class Aligned {
public:
    explicit Aligned(const std::vector<uint8_t> &bytes)
        : bytes_(bytes.empty() ? std::vector<uint8_t>(1) : bytes), size_(static_cast<int32_t>(bytes.size()))
    {
    }
    explicit Aligned(const Fields &fields) : Aligned(fields.bytes()) {}
    const uint8_t *data() const { return bytes_.data(); }
    int32_t size() const { return size_; }

private:
    std::vector<uint8_t> bytes_; // operator new's alignment: at least 4
    int32_t size_;
};

} // namespace wire

#endif
