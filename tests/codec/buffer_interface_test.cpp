// Tagged-field buffers. Expected bytes are written out by hand from the field
// layout (code, length, value, zero padding to 4), never taken from the writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "codec/buffer_interface.h"
#include "runtime/cross_sys.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes w(uint32_t v)
{
    return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

Bytes b(std::initializer_list<int> values)
{
    Bytes out;
    for (int v : values)
        out.push_back(uint8_t(v));
    return out;
}

Bytes chars(const std::string &s)
{
    return Bytes(s.begin(), s.end());
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// The bytes copied into 4-aligned storage, optionally at a byte offset, as
// received payloads are.
class Aligned {
public:
    explicit Aligned(const Bytes &bytes, size_t offset = 0)
        : words_((bytes.size() + offset + 3) / 4 + 1), offset_(offset), size_(bytes.size())
    {
        if (!bytes.empty())
            memcpy(data(), bytes.data(), bytes.size());
    }
    uint8_t *data() { return reinterpret_cast<uint8_t *>(words_.data()) + offset_; }
    int32_t size() const { return int32_t(size_); }
    Bytes bytes() { return Bytes(data(), data() + size_); }

private:
    std::vector<uint32_t> words_;
    size_t offset_;
    size_t size_;
};

std::string error_line(const std::string &text)
{
    return "[ERROR] - " + text + "\n";
}

std::string debug_line(const std::string &text)
{
    return "[DEBUG] - " + text + "\n";
}

std::string printed(const std::function<void()> &action)
{
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

class Codec : public testing::Test {
protected:
    void SetUp() override { ntcp_printf_set_level(NTCP_SEVERITY_DEBUG); }
    void TearDown() override
    {
        free(buffer);
        ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL);
    }
    Bytes used_bytes() const { return Bytes(buffer, buffer + used); }

    // Writer state, starting empty.
    uint8_t *buffer = nullptr;
    int32_t allocated = 0;
    int32_t used = 0;
};

// ---- writers -------------------------------------------------------------

TEST_F(Codec, FirstLongAllocates4108ZeroedBytes)
{
    int32_t result = -1;
    const std::string out = printed(
        [&] { result = Interpreter_SetLong(&buffer, &allocated, &used, 1, MV_DATA_CODE_DHCP, 0); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, debug_line("Alloc buffer of 4108 bytes"));
    EXPECT_EQ(allocated, 4108);
    EXPECT_EQ(used, 12);
    EXPECT_EQ(used_bytes(), cat({w(12007), w(4), w(1)}));
    EXPECT_EQ(Bytes(buffer + used, buffer + allocated), Bytes(4108 - 12, 0));
}

struct WriteCase {
    const char *name;
    std::function<int32_t(uint8_t **, int32_t *, int32_t *)> write;
    Bytes expected;
    int32_t first_allocation;
};

class Writers : public Codec, public testing::WithParamInterface<WriteCase> {};

TEST_P(Writers, LayOutFieldAndSizeFirstAllocation)
{
    const WriteCase &c = GetParam();
    ASSERT_EQ(c.write(&buffer, &allocated, &used), 0);
    EXPECT_EQ(used_bytes(), c.expected);
    EXPECT_EQ(allocated, c.first_allocation);
}

const DateTime_T kClock{24, 12, 2023, 13, 45, 59, 999};

INSTANTIATE_TEST_SUITE_P(
    Fields, Writers,
    testing::Values(
        WriteCase{"NegativeLong",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      return Interpreter_SetLong(p, a, u, -2, NTCP_ID_ERROR, 0);
                  },
                  cat({w(0x0A02), w(4), b({0xFE, 0xFF, 0xFF, 0xFF})}), 4108},
        WriteCase{"ThreeCharactersFillTwelveBytes",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      return Interpreter_SetString(p, a, u, "abc", MV_DATA_CODE_IP, 0);
                  },
                  cat({w(12002), w(4), chars("abc"), b({0})}), 4 + 4104},
        WriteCase{"FiveCharactersPadToSixteen",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      return Interpreter_SetString(p, a, u, "abcde", MV_DATA_CODE_IP, 0);
                  },
                  cat({w(12002), w(6), chars("abcde"), b({0, 0, 0})}), 8 + 4104},
        WriteCase{"EmptyTextKeepsItsTerminator",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      return Interpreter_SetString(p, a, u, "", MV_DATA_CODE_TIMEZONE, 0);
                  },
                  cat({w(10037), w(1), b({0, 0, 0, 0})}), 4 + 4104},
        WriteCase{"DateTimeIsTwentyBytes",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      return Interpreter_SetDateTime(p, a, u, &kClock, 12026, 0);
                  },
                  cat({w(12026), w(12), b({24, 12, 0xE7, 0x07, 13, 0, 45, 0, 59, 0, 0xE7, 0x03})}),
                  4116},
        WriteCase{"ThreeBytesThenLongStartsTwelveLater",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      const uint8_t raw[3] = {7, 8, 9};
                      return Interpreter_SetBuffer(p, a, u, raw, 3, 0x300A01, 1) +
                             Interpreter_SetLong(p, a, u, 10, MV_DATA_CODE_UPDATE_HEADER, 1);
                  },
                  cat({w(0x300A01), w(3), b({7, 8, 9, 0}), w(0x300A00), w(4), w(10)}), 4108},
        WriteCase{"MacAddressOfTheHeader",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      const uint8_t mac[6] = {0x99, 0x88, 0x52, 0xC2, 0x50, 0x00};
                      return Interpreter_SetBuffer(p, a, u, mac, 6, NTCP_ID_MACADDRESS, 0);
                  },
                  cat({w(0x0A05), w(6), b({0x99, 0x88, 0x52, 0xC2, 0x50, 0, 0, 0})}), 4112},
        WriteCase{"EmptyValueIsHeaderOnly",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      const uint8_t none = 0;
                      return Interpreter_SetBuffer(p, a, u, &none, 0, 77, 0) +
                             Interpreter_SetLong(p, a, u, 5, 78, 0);
                  },
                  cat({w(77), w(0), w(78), w(4), w(5)}), 4104},
        WriteCase{"SameCodeTwiceGivesTwoFields",
                  [](uint8_t **p, int32_t *a, int32_t *u) {
                      return Interpreter_SetLong(p, a, u, 1, MV_DATA_CODE_FPGA_VERSION, 0) +
                             Interpreter_SetLong(p, a, u, 2, MV_DATA_CODE_FPGA_VERSION, 0);
                  },
                  cat({w(12020), w(4), w(1), w(12020), w(4), w(2)}), 4108}),
    [](const testing::TestParamInfo<WriteCase> &info) { return info.param.name; });

// A factory block with one head group, nested the way the device client
// builds it: the group is written into a scratch buffer first.
TEST_F(Codec, NestedGroupMatchesFactoryBlockExample)
{
    uint8_t *scratch = nullptr;
    int32_t scratch_allocated = 0;
    int32_t scratch_used = 0;
    ASSERT_EQ(Interpreter_SetString(&buffer, &allocated, &used, "AB", 3002, 1), 0);
    ASSERT_EQ(Interpreter_SetLong(&buffer, &allocated, &used, 7, 3001, 1), 0);
    ASSERT_EQ(Interpreter_SetLong(&buffer, &allocated, &used, 1, 3020, 1), 0);
    ASSERT_EQ(Interpreter_SetString(&scratch, &scratch_allocated, &scratch_used, "H", 3021, 1), 0);
    ASSERT_EQ(Interpreter_SetLong(&scratch, &scratch_allocated, &scratch_used, 5, 3022, 1), 0);
    ASSERT_EQ(Interpreter_SetBuffer(&buffer, &allocated, &used, scratch, scratch_used,
                                    HEAD_INFO_0 + 0, 1),
              0);
    free(scratch);

    const Bytes expected = cat({w(3002), w(3), chars("AB"), b({0, 0}),         //
                                w(3001), w(4), w(7),                           //
                                w(3020), w(4), w(1),                           //
                                w(3040), w(24),                                //
                                w(3021), w(2), chars("H"), b({0, 0, 0}),       //
                                w(3022), w(4), w(5)});
    EXPECT_EQ(used, 68);
    EXPECT_EQ(used_bytes(), expected);

    const uint8_t *group = nullptr;
    int32_t group_length = 0;
    ASSERT_EQ(Interpreter_GetBufferPtr(&group, &group_length, 3040, buffer, used), 0);
    int32_t head_value = 0;
    EXPECT_EQ(Interpreter_GetLong(&head_value, 3022, group, group_length), 0);
    EXPECT_EQ(head_value, 5);
}

class Growth : public Codec {
protected:
    // The state the first long leaves, with 4100 bytes in use.
    void SetUp() override
    {
        Codec::SetUp();
        allocated = 4108;
        used = 4100;
        buffer = static_cast<uint8_t *>(calloc(1, size_t(allocated)));
        for (int32_t i = 0; i < used; ++i)
            buffer[i] = uint8_t(i * 7);
        before = used_bytes();
    }
    Bytes before;
};

TEST_F(Growth, GrowsTo8208KeepingFields)
{
    int32_t result = -1;
    const std::string out = printed(
        [&] { result = Interpreter_SetLong(&buffer, &allocated, &used, 9, MV_DATA_CODE_DHCP, 1); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, debug_line("Realloc buffer from 4108 to 8208 bytes"));
    EXPECT_EQ(allocated, 8208);
    EXPECT_EQ(used, 4112);
    EXPECT_EQ(Bytes(buffer, buffer + 4100), before);
    EXPECT_EQ(Bytes(buffer + 4100, buffer + 4112), cat({w(12007), w(4), w(9)}));
    EXPECT_EQ(Bytes(buffer + 4112, buffer + 8208), Bytes(8208 - 4112, 0));
}

TEST_F(Growth, RefusedWithoutGrowLeavesStateAsItWas)
{
    uint8_t *const original = buffer;
    int32_t result = -1;
    const std::string out = printed(
        [&] { result = Interpreter_SetLong(&buffer, &allocated, &used, 9, MV_DATA_CODE_DHCP, 0); });
    EXPECT_EQ(result, 10);
    EXPECT_EQ(out, error_line("Interpreter_SetBuffer: buffer too small") +
                       error_line("Interpreter_SetLong: Interpreter_SetBuffer failed\n"));
    EXPECT_EQ(buffer, original);
    EXPECT_EQ(allocated, 4108);
    EXPECT_EQ(used, 4100);
    EXPECT_EQ(used_bytes(), before);
}

TEST_F(Codec, CallerMemoryWithoutGrowIsFilledExactly)
{
    Aligned own(Bytes(16, 0xEE));
    buffer = own.data();
    allocated = 16;
    const uint8_t raw[5] = {1, 2, 3, 4, 5};
    int32_t result = -1;
    const std::string out =
        printed([&] { result = Interpreter_SetBuffer(&buffer, &allocated, &used, raw, 5, 3, 0); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(buffer, own.data());
    EXPECT_EQ(allocated, 16);
    EXPECT_EQ(own.bytes(), cat({w(3), w(5), b({1, 2, 3, 4, 5, 0, 0, 0})}));
    EXPECT_EQ(Interpreter_SetBuffer(&buffer, &allocated, &used, raw, 0, 3, 0), 10);
    buffer = nullptr; // not heap memory
}

struct RefusedWrite {
    const char *name;
    int32_t allocated;
    int32_t used;
    std::function<int32_t(uint8_t **, int32_t *, int32_t *)> write;
    int32_t result;
    std::string lines;
};

class RefusedWrites : public Codec, public testing::WithParamInterface<RefusedWrite> {};

TEST_P(RefusedWrites, LeaveStateUntouched)
{
    const RefusedWrite &c = GetParam();
    Aligned own(Bytes(128, 0x5A));
    uint8_t *memory = c.allocated != 0 ? own.data() : nullptr;
    int32_t alloc_size = c.allocated;
    int32_t used_size = c.used;
    int32_t result = -1;
    const std::string out = printed([&] { result = c.write(&memory, &alloc_size, &used_size); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.lines);
    EXPECT_EQ(memory, c.allocated != 0 ? own.data() : nullptr);
    EXPECT_EQ(alloc_size, c.allocated);
    EXPECT_EQ(used_size, c.used);
    EXPECT_EQ(own.bytes(), Bytes(128, 0x5A));
}

INSTANTIATE_TEST_SUITE_P(
    Writers, RefusedWrites,
    testing::Values(
        RefusedWrite{"AllocatedBelowUsed", 64, 72,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetLong(p, a, u, 1, 1, 1);
                     },
                     10,
                     error_line(
                         "Interpreter_SetBuffer: wrong buffer size (alloc: 64, used: 72)\n") +
                         error_line("Interpreter_SetLong: Interpreter_SetBuffer failed\n")},
        RefusedWrite{"NegativeUsedSize", 64, -8,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetLong(p, a, u, 1, 1, 1);
                     },
                     10,
                     error_line("Interpreter_SetBuffer: wrong buffer size (alloc: 64, used: "
                                "4294967288)\n") +
                         error_line("Interpreter_SetLong: Interpreter_SetBuffer failed\n")},
        RefusedWrite{"NullText", 0, 0,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetString(p, a, u, nullptr, 1, 1);
                     },
                     2, error_line("Interpreter_SetString: NULL pointer\n")},
        RefusedWrite{"NullDateTime", 0, 0,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetDateTime(p, a, u, nullptr, 1, 1);
                     },
                     2,
                     error_line("Interpreter_SetBuffer: NULL pointer\n") +
                         error_line("Interpreter_SetDateTime: Interpreter_SetBuffer failed\n")},
        RefusedWrite{"NullUsedSize", 0, 0,
                     [](uint8_t **p, int32_t *a, int32_t *) {
                         return Interpreter_SetString(p, a, nullptr, "x", 1, 1);
                     },
                     2,
                     error_line("Interpreter_SetBuffer: NULL pointer\n") +
                         error_line("Interpreter_SetString: Interpreter_SetBuffer failed\n")},
        RefusedWrite{"NegativeLength", 0, 0,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetBuffer(p, a, u, "x", -1, 1, 1);
                     },
                     10, error_line("Interpreter_SetBuffer: wrong value length (-1)\n")},
        // Rounding up and adding the growth step must not wrap a 32-bit size.
        RefusedWrite{"LengthNearLimitOnEmptyState", 0, 0,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetBuffer(p, a, u, "x", INT32_MAX - 2, 1, 1);
                     },
                     3, error_line("Interpreter_SetBuffer: insufficient memory")},
        RefusedWrite{"LengthNearLimitOnGrowth", 128, 0,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetBuffer(p, a, u, "x", INT32_MAX - 2, 1, 1);
                     },
                     3, error_line("Interpreter_SetBuffer: insufficient memory")},
        RefusedWrite{"LengthNearLimitWithoutGrow", 128, 0,
                     [](uint8_t **p, int32_t *a, int32_t *u) {
                         return Interpreter_SetBuffer(p, a, u, "x", INT32_MAX, 1, 0);
                     },
                     10, error_line("Interpreter_SetBuffer: buffer too small")}),
    [](const testing::TestParamInfo<RefusedWrite> &info) { return info.param.name; });

// ---- search --------------------------------------------------------------

constexpr int32_t kWhole = INT32_MIN;

struct SearchCase {
    const char *name;
    Bytes buffer;
    int32_t size; // kWhole: the whole buffer
    int32_t code;
    int32_t result;
    int32_t offset;
    uint32_t length;
    std::string lines;
};

class Search : public Codec, public testing::WithParamInterface<SearchCase> {};

TEST_P(Search, FindsFirstFieldOrRefuses)
{
    const SearchCase &c = GetParam();
    Aligned in(c.buffer);
    int32_t offset = -1;
    uint32_t length = 0xDEAD;
    int32_t result = -1;
    const std::string out = printed([&] {
        const int32_t size = c.size == kWhole ? in.size() : c.size;
        result = Interpreter_SearchCode(&offset, &length, in.data(), size, c.code);
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.lines);
    if (c.result == 0) {
        EXPECT_EQ(offset, c.offset);
        EXPECT_EQ(length, c.length);
    }
}

const Bytes kThreeLongs = cat({w(1), w(4), w(10), w(2), w(4), w(20), w(3), w(4), w(30)});

INSTANTIATE_TEST_SUITE_P(
    Buffers, Search,
    testing::Values(
        SearchCase{"FirstField", kThreeLongs, kWhole, 1, 0, 0, 4, ""},
        SearchCase{"LastField", kThreeLongs, kWhole, 3, 0, 24, 4, ""},
        SearchCase{"FirstOfTwo", cat({w(5), w(1), b({9, 0, 0, 0}), w(7), w(0), w(5), w(4), w(1)}),
                   kWhole, 5, 0, 0, 1, ""},
        SearchCase{"StepsOverPaddedText",
                   cat({w(12002), w(6), chars("abcde"), b({0, 0, 0}), w(3), w(4), w(1)}), kWhole,
                   3, 0, 16, 4, ""},
        SearchCase{"AbsentIsQuiet", kThreeLongs, kWhole, 4, 8, 0, 0, ""},
        SearchCase{"OneFieldOfAnotherCode", cat({w(1), w(4), w(10)}), kWhole, 2, 8, 0, 0, ""},
        SearchCase{"SevenBytes", cat({w(1), b({0, 0, 0})}), kWhole, 1, 10, 0, 0,
                   error_line("Interpreter_SearchCode: buffer size too small (7 bytes)\n")},
        SearchCase{"NegativeSize", kThreeLongs, -4, 1, 10, 0, 0,
                   error_line(
                       "Interpreter_SearchCode: buffer size too small (4294967292 bytes)\n")},
        SearchCase{"StepPastEnd", cat({w(1), w(4), w(10), w(2), w(9), w(0)}), kWhole, 3, 10, 0, 0,
                   error_line("Interpreter_SearchCode: error during enumeration: 24-20-12\n")},
        // The length word is unsigned; rounding it up must not wrap to a small step.
        SearchCase{"LengthWordAllOnes", cat({w(1), w(0xFFFFFFFF), w(0), w(0), w(3), w(4), w(0)}),
                   kWhole, 3, 10, 0, 0,
                   error_line(
                       "Interpreter_SearchCode: error during enumeration: 28-2147483647-28\n")},
        SearchCase{"LengthWordJustBelowWrap",
                   cat({w(1), w(0xFFFFFFF9), w(0), w(0), w(3), w(4), w(0)}), kWhole, 3, 10, 0, 0,
                   error_line(
                       "Interpreter_SearchCode: error during enumeration: 28-2147483647-28\n")},
        SearchCase{"TrailingFragment", cat({w(1), w(4), w(10), w(0)}), kWhole, 3, 10, 0, 0,
                   error_line("Interpreter_SearchCode: error during enumeration: 16-12-4\n")},
        SearchCase{"SizeShorterThanBuffer", kThreeLongs, 12, 2, 8, 0, 0, ""},
        SearchCase{"FoundFieldLengthUnchecked", cat({w(1), w(0xFFFFFFFF)}), kWhole, 1, 0, 0,
                   0xFFFFFFFF, ""}),
    [](const testing::TestParamInfo<SearchCase> &info) { return info.param.name; });

TEST_F(Codec, SearchAcceptsNullOutArgumentsAndRefusesNullBuffer)
{
    Aligned in(kThreeLongs);
    EXPECT_EQ(Interpreter_SearchCode(nullptr, nullptr, in.data(), in.size(), 2), 0);
    int32_t result = -1;
    const std::string out =
        printed([&] { result = Interpreter_SearchCode(nullptr, nullptr, nullptr, 12, 2); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(out, error_line("Interpreter_SearchCode: NULL pointer\n"));
}

// ---- copying readers -----------------------------------------------------

TEST_F(Codec, PointerReaderPointsIntoBuffer)
{
    Aligned in(cat({w(1), w(4), w(10), w(2), w(5), chars("hello"), b({0, 0, 0})}));
    const uint8_t *value = nullptr;
    int32_t length = 0;
    EXPECT_EQ(Interpreter_GetBufferPtr(&value, &length, 2, in.data(), in.size()), 0);
    EXPECT_EQ(value, in.data() + 20);
    EXPECT_EQ(length, 5);
    EXPECT_EQ(Interpreter_GetBufferPtr(&value, nullptr, 1, in.data(), in.size()), 0);
    EXPECT_EQ(value, in.data() + 8);
}

struct ReadCase {
    const char *name;
    Bytes buffer;
    size_t misalign; // bytes by which the buffer is shifted off 4-alignment
    int32_t result;
    std::string lines; // "%p" stands for the field address
};

class LongReads : public Codec, public testing::WithParamInterface<ReadCase> {};

TEST_P(LongReads, ReadFirstLongOrRefuse)
{
    const ReadCase &c = GetParam();
    Aligned in(c.buffer, c.misalign);
    int32_t value = 0;
    int32_t result = -1;
    const std::string out =
        printed([&] { result = Interpreter_GetLong(&value, 7, in.data(), in.size()); });
    EXPECT_EQ(result, c.result);
    std::string lines = c.lines;
    const size_t at = lines.find("%p");
    if (at != std::string::npos)
        lines.replace(at, 2, std::to_string(reinterpret_cast<uintptr_t>(in.data())));
    EXPECT_EQ(out, lines);
    if (c.result == 0) {
        EXPECT_EQ(value, -123456);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, LongReads,
    testing::Values(
        ReadCase{"FirstOfTwo", cat({w(1), w(4), w(5), w(7), w(4), w(uint32_t(-123456)), w(7), w(4),
                                    w(99)}),
                 0, 0, ""},
        ReadCase{"Absent", cat({w(1), w(4), w(5)}), 0, 8, ""},
        ReadCase{"EightByteValue", cat({w(7), w(8), w(1), w(2)}), 0, 10,
                 error_line("Interpreter_GetBuffer: buffer too small\n") +
                     error_line("Interpreter_GetLong: Interpreter_GetBuffer failed\n")},
        ReadCase{"ValuePastEnd", cat({w(1), w(4), w(5), w(7), w(8), w(1)}), 0, 9,
                 error_line("Interpreter_GetBufferPtr: Wrong data size\n") +
                     error_line("Interpreter_GetBuffer: Interpreter_GetBufferPtr failed\n") +
                     error_line("Interpreter_GetLong: Interpreter_GetBuffer failed\n")},
        ReadCase{"ValueLengthAllOnes", cat({w(7), w(0xFFFFFFFF), w(1)}), 0, 9,
                 error_line("Interpreter_GetBufferPtr: Wrong data size\n") +
                     error_line("Interpreter_GetBuffer: Interpreter_GetBufferPtr failed\n") +
                     error_line("Interpreter_GetLong: Interpreter_GetBuffer failed\n")},
        ReadCase{"StepOverFieldPastEnd", cat({w(1), w(8), w(5)}), 0, 10,
                 error_line("Interpreter_SearchCode: error during enumeration: 12-16-12\n") +
                     error_line("Interpreter_GetBuffer: Interpreter_GetBufferPtr failed\n") +
                     error_line("Interpreter_GetLong: Interpreter_GetBuffer failed\n")},
        ReadCase{"Misaligned", cat({w(7), w(4), w(1)}), 2, 9,
                 error_line("Interpreter_GetBufferPtr: ptr not 4-aligned (%p)\n") +
                     error_line("Interpreter_GetBuffer: Interpreter_GetBufferPtr failed\n") +
                     error_line("Interpreter_GetLong: Interpreter_GetBuffer failed\n")}),
    [](const testing::TestParamInfo<ReadCase> &info) { return info.param.name; });

TEST_F(Codec, ShortLongFillsOnlyItsBytes)
{
    Aligned in(cat({w(7), w(2), b({0x34, 0x12, 0, 0})}));
    int32_t value = 0;
    EXPECT_EQ(Interpreter_GetLong(&value, 7, in.data(), in.size()), 0);
    EXPECT_EQ(value, 0x1234);
}

struct StringCase {
    const char *name;
    Bytes value; // the field's value; its length is the length word
    int32_t destination_size;
    int32_t result;
    std::string text;
};

class StringReads : public Codec, public testing::WithParamInterface<StringCase> {};

TEST_P(StringReads, TerminateInsideDestination)
{
    const StringCase &c = GetParam();
    Bytes padded = c.value;
    padded.resize((padded.size() + 3) / 4 * 4, 0);
    Aligned in(cat({w(MV_DATA_CODE_NETBIOSNAME), w(uint32_t(c.value.size())), padded}));
    std::vector<char> destination(16, 'Z');
    int32_t result = -1;
    const std::string out = printed([&] {
        result = Interpreter_GetString(destination.data(), c.destination_size,
                                       MV_DATA_CODE_NETBIOSNAME, in.data(), in.size());
    });
    EXPECT_EQ(result, c.result);
    if (c.result == 0) {
        EXPECT_EQ(std::string(destination.data()), c.text);
        EXPECT_EQ(out, "");
    } else {
        EXPECT_NE(out, "");
    }
    // Never a byte past the destination size.
    for (size_t i = size_t(std::max(c.destination_size, 0)); i < destination.size(); ++i)
        EXPECT_EQ(destination[i], 'Z') << i;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, StringReads,
    testing::Values(StringCase{"ThreeCharacters", cat({chars("abc"), b({0})}), 4, 0, "abc"},
                    StringCase{"FourCharactersTooLong", cat({chars("abcd"), b({0})}), 4, 10, ""},
                    StringCase{"FillsDestinationWithoutTerminator", chars("abcd"), 4, 0, "abc"},
                    StringCase{"UnterminatedShorterValue", chars("ab"), 4, 0, "ab"},
                    StringCase{"EmptyValue", {}, 4, 0, ""},
                    StringCase{"DestinationSizeZero", {}, 0, 10, ""},
                    StringCase{"DestinationSizeNegative", cat({chars("a"), b({0})}), -1, 10, ""}),
    [](const testing::TestParamInfo<StringCase> &info) { return info.param.name; });

TEST_F(Codec, StringReadFailuresPrintEachLayer)
{
    Aligned in(cat({w(3), w(5), chars("abcd"), b({0, 0, 0, 0})}));
    char text[4] = {};
    int32_t result = -1;
    std::string out =
        printed([&] { result = Interpreter_GetString(text, 4, 3, in.data(), in.size()); });
    EXPECT_EQ(result, 10);
    EXPECT_EQ(out, error_line("Interpreter_GetBuffer: buffer too small\n") +
                       error_line("Interpreter_GetString: Interpreter_GetBuffer failed\n"));

    out = printed([&] { result = Interpreter_GetString(text, 0, 3, in.data(), in.size()); });
    EXPECT_EQ(result, 10);
    EXPECT_EQ(out, error_line("Interpreter_GetString: destination size 0 too small\n"));

    out = printed([&] { result = Interpreter_GetString(nullptr, 4, 3, in.data(), in.size()); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(out, error_line("Interpreter_GetBuffer: NULL pointer\n") +
                       error_line("Interpreter_GetString: Interpreter_GetBuffer failed\n"));
}

TEST_F(Codec, DateTimeCopiesTwelveBytesUnchanged)
{
    Aligned in(cat({w(0x300000), w(12), b({3, 11, 0xE8, 0x07, 1, 0, 2, 0, 3, 0, 4, 0})}));
    DateTime_T clock{};
    EXPECT_EQ(Interpreter_GetDateTime(&clock, MV_DATA_CODE_LOCAL_DATETIME, in.data(), in.size()),
              0);
    EXPECT_EQ(clock.day_or_month, 3);
    EXPECT_EQ(clock.month_or_day, 11);
    EXPECT_EQ(clock.year, 2024);
    EXPECT_EQ(clock.hour, 1);
    EXPECT_EQ(clock.minute, 2);
    EXPECT_EQ(clock.second, 3);
    EXPECT_EQ(clock.millisecond, 4);

    int32_t result = -1;
    const std::string out = printed([&] {
        result = Interpreter_GetDateTime(nullptr, 0x300000, in.data(), in.size());
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(out, error_line("Interpreter_GetBuffer: NULL pointer\n") +
                       error_line("Interpreter_GetDateTime: Interpreter_GetBuffer failed\n"));
}

TEST_F(Codec, CopyReaderChecksDestinationAndOutLength)
{
    Aligned in(cat({w(1), w(3), b({1, 2, 3, 0})}));
    uint8_t out_bytes[3] = {};
    int32_t length = 0;
    EXPECT_EQ(Interpreter_GetBuffer(out_bytes, 3, &length, 1, in.data(), in.size()), 0);
    EXPECT_EQ(Bytes(out_bytes, out_bytes + 3), b({1, 2, 3}));
    EXPECT_EQ(length, 3);
    int32_t result = -1;
    const std::string out = printed(
        [&] { result = Interpreter_GetBuffer(out_bytes, 3, nullptr, 1, in.data(), in.size()); });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(out, error_line("Interpreter_GetBuffer: NULL pointer\n"));
    EXPECT_EQ(printed([&] {
                  EXPECT_EQ(Interpreter_GetBufferPtr(nullptr, &length, 1, in.data(), in.size()), 2);
              }),
              error_line("Interpreter_GetBufferPtr: NULL pointer\n"));
}

// ---- every occurrence ----------------------------------------------------

class Sequential : public Codec {
protected:
    int32_t read(Aligned &in, int32_t capacity, int32_t code = 9)
    {
        return Interpreter_GetSequentialBuffersPtr(values, lengths, &count, capacity, code,
                                                   in.data(), in.size());
    }
    const uint8_t *values[10] = {};
    int32_t lengths[10] = {};
    int32_t count = -1;
};

const Bytes kTwoGroups = cat({w(9), w(4), w(100), w(1), w(4), w(0), w(9), w(8), w(200), w(201)});

TEST_F(Sequential, ReportsEveryOccurrenceInOrder)
{
    Aligned in(kTwoGroups);
    EXPECT_EQ(read(in, 10), 0);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(values[0], in.data() + 8);
    EXPECT_EQ(lengths[0], 4);
    EXPECT_EQ(values[1], in.data() + 32);
    EXPECT_EQ(lengths[1], 8);
}

TEST_F(Sequential, StopsAtCapacity)
{
    Aligned in(kTwoGroups);
    EXPECT_EQ(read(in, 1), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(values[0], in.data() + 8);
    EXPECT_EQ(read(in, 0), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(Sequential, AbsentCodeIsNoError)
{
    Aligned in(kTwoGroups);
    EXPECT_EQ(printed([&] { EXPECT_EQ(read(in, 10, 5), 0); }), "");
    EXPECT_EQ(count, 0);
    Aligned empty(Bytes{});
    EXPECT_EQ(read(empty, 10), 0);
    EXPECT_EQ(count, 0);
}

TEST_F(Sequential, StrayBytesAfterLastFieldFound)
{
    Aligned in(cat({kTwoGroups, w(0)}));
    int32_t result = -1;
    const std::string out = printed([&] { result = read(in, 10); });
    EXPECT_EQ(result, 10);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(out, error_line("Interpreter_SearchCode: buffer size too small (4 bytes)\n") +
                       error_line("Interpreter_GetSequentialBuffersPtr: Interpreter_SearchCode "
                                  "failed"));
}

TEST_F(Sequential, EnumerationErrorNamesTheWindow)
{
    // The second window starts after the first group, at offset 12.
    Aligned in(cat({w(9), w(4), w(1), w(1), w(20), w(0), w(9), w(0)}));
    int32_t result = -1;
    const std::string out = printed([&] { result = read(in, 10); });
    EXPECT_EQ(result, 10);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(out, error_line("Interpreter_SearchCode: error during enumeration: 20-28-20\n") +
                       error_line("Interpreter_GetSequentialBuffersPtr: Interpreter_SearchCode "
                                  "failed"));
}

TEST_F(Sequential, RefusesValueRunningPastBuffer)
{
    Aligned in(cat({w(9), w(4), w(1), w(9), w(64), w(0)}));
    int32_t result = -1;
    const std::string out = printed([&] { result = read(in, 10); });
    EXPECT_EQ(result, 9);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(out, error_line("Interpreter_GetSequentialBuffersPtr: Wrong data size\n"));
}

TEST_F(Sequential, NullArguments)
{
    Aligned in(kTwoGroups);
    EXPECT_EQ(printed([&] {
                  EXPECT_EQ(Interpreter_GetSequentialBuffersPtr(values, nullptr, &count, 10, 9,
                                                                in.data(), in.size()),
                            2);
              }),
              error_line("Interpreter_GetSequentialBuffersPtr: NULL pointer\n"));
    EXPECT_EQ(printed([&] {
                  EXPECT_EQ(Interpreter_GetSequentialBuffersPtr(values, lengths, &count, 10, 9,
                                                                nullptr, 12),
                            2);
              }),
              error_line("Interpreter_SearchCode: NULL pointer\n") +
                  error_line("Interpreter_GetSequentialBuffersPtr: Interpreter_SearchCode failed"));
}

// ---- delete --------------------------------------------------------------

struct DeleteCase {
    const char *name;
    Bytes buffer;
    int32_t search_size;
    int32_t used;
    int32_t code;
    int32_t result;
    Bytes after; // the first `used` bytes afterwards
    int32_t used_after;
    std::string lines;
};

class Delete : public Codec, public testing::WithParamInterface<DeleteCase> {};

TEST_P(Delete, RemovesFirstFieldOnly)
{
    const DeleteCase &c = GetParam();
    Aligned in(c.buffer);
    int32_t used_size = c.used;
    int32_t result = -1;
    const std::string out = printed(
        [&] { result = Interpreter_DeleteField(in.data(), c.search_size, &used_size, c.code); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, c.lines);
    EXPECT_EQ(used_size, c.used_after);
    EXPECT_EQ(Bytes(in.data(), in.data() + c.after.size()), c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Delete,
    testing::Values(
        DeleteCase{"Middle", kThreeLongs, 36, 36, 2, 0,
                   cat({w(1), w(4), w(10), w(3), w(4), w(30)}), 24, ""},
        DeleteCase{"Last", kThreeLongs, 36, 36, 3, 0, cat({w(1), w(4), w(10), w(2), w(4), w(20)}),
                   24, ""},
        DeleteCase{"PaddedFirst", cat({w(5), w(3), chars("ab"), b({0, 0}), w(6), w(4), w(60)}), 24,
                   24, 5, 0, cat({w(6), w(4), w(60)}), 12, ""},
        DeleteCase{"FirstOfTwoWithSameCode", cat({w(2), w(4), w(1), w(2), w(4), w(2)}), 24, 24, 2,
                   0, cat({w(2), w(4), w(2)}), 12, ""},
        DeleteCase{"Absent", kThreeLongs, 36, 36, 4, 8, kThreeLongs, 36, ""},
        DeleteCase{"SearchSizeTooSmall", kThreeLongs, 4, 36, 1, 10, kThreeLongs, 36,
                   error_line("Interpreter_SearchCode: buffer size too small (4 bytes)\n")},
        DeleteCase{"FieldRunsPastSearchSize", cat({w(1), w(4), w(10), w(2), w(40), w(20)}), 24, 24,
                   2, 9, cat({w(1), w(4), w(10), w(2), w(40), w(20)}), 24,
                   error_line("Interpreter_DeleteField: Wrong data size\n")},
        DeleteCase{"FieldBeyondUsedSize", kThreeLongs, 36, 24, 3, 10, kThreeLongs, 24,
                   error_line("Interpreter_DeleteField: field beyond the used size (end: 36, "
                              "used: 24)\n")}),
    [](const testing::TestParamInfo<DeleteCase> &info) { return info.param.name; });

TEST_F(Codec, DeleteRefusesNullAndMisalignedFields)
{
    int32_t used_size = 12;
    EXPECT_EQ(printed([&] { EXPECT_EQ(Interpreter_DeleteField(nullptr, 12, &used_size, 1), 2); }),
              error_line("Interpreter_DeleteField: NULL parameter\n"));
    Aligned in(cat({w(1), w(4), w(10)}), 1);
    EXPECT_EQ(printed([&] { EXPECT_EQ(Interpreter_DeleteField(in.data(), 12, &used_size, 1), 9); }),
              error_line("Interpreter_DeleteField: ptr not 4-aligned (" +
                         std::to_string(reinterpret_cast<uintptr_t>(in.data())) + ")\n"));
    EXPECT_EQ(used_size, 12);
}

// ---- images --------------------------------------------------------------

Bytes image_field(uint32_t header_size, uint32_t image_size, uint32_t length, const Bytes &image)
{
    Bytes value = cat({w(0xAAAA), w(0xBBBB), w(header_size), w(image_size), w(0x11111111),
                       w(0x22222222), w(0), w(0), w(0), w(0), image});
    value.resize((value.size() + 3) / 4 * 4, 0);
    return cat({w(0x7000), w(length), value});
}

class Images : public Codec {
protected:
    const uint8_t *pointer = nullptr;
    uint8_t destination[8] = {};
    uint32_t image_size = 0;
    uint32_t word_1 = 0;
    uint32_t word_2 = 0;
};

TEST_F(Images, CopyAndPointerReadImageBytes)
{
    Aligned in(cat({w(1), w(4), w(0), image_field(40, 5, 45, b({1, 2, 3, 4, 5}))}));
    EXPECT_EQ(Interpreter_GetImage(destination, 5, &image_size, &word_1, &word_2, 0x7000,
                                   in.data(), in.size()),
              0);
    EXPECT_EQ(Bytes(destination, destination + 5), b({1, 2, 3, 4, 5}));
    EXPECT_EQ(image_size, 5u);
    EXPECT_EQ(word_1, 0x11111111u);
    EXPECT_EQ(word_2, 0x22222222u);

    EXPECT_EQ(Interpreter_GetImagePtr(&pointer, &image_size, &word_1, &word_2, 0x7000, in.data(),
                                      in.size()),
              0);
    EXPECT_EQ(pointer, in.data() + 12 + 8 + 40);
    EXPECT_EQ(image_size, 5u);
}

struct ImageCase {
    const char *name;
    Bytes buffer;
    uint32_t destination_size;
    int32_t result;
    std::string copy_lines; // "%s" stands for the reader's name
    bool pointer_reader_refuses;
};

class ImageRefusals : public Images, public testing::WithParamInterface<ImageCase> {};

std::string with_reader(std::string lines, const std::string &reader)
{
    for (size_t at; (at = lines.find("%s")) != std::string::npos;)
        lines.replace(at, 2, reader);
    return lines;
}

TEST_P(ImageRefusals, BothReaders)
{
    const ImageCase &c = GetParam();
    Aligned in(c.buffer);
    int32_t result = -1;
    std::string out = printed([&] {
        result = Interpreter_GetImage(destination, c.destination_size, &image_size, &word_1,
                                      &word_2, 0x7000, in.data(), in.size());
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(out, with_reader(c.copy_lines, "Interpreter_GetImage"));

    out = printed([&] {
        result = Interpreter_GetImagePtr(&pointer, &image_size, &word_1, &word_2, 0x7000, in.data(),
                                         in.size());
    });
    if (c.pointer_reader_refuses) {
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(out, with_reader(c.copy_lines, "Interpreter_GetImagePtr"));
    } else {
        EXPECT_EQ(result, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ImageRefusals,
    testing::Values(
        ImageCase{"HeaderSize44", image_field(44, 4, 44, b({1, 2, 3, 4})), 8, 9,
                  error_line("%s: wrong tbanco size 44 instead of 40"), true},
        ImageCase{"ImageRunsPastValue", image_field(40, 9, 44, b({1, 2, 3, 4})), 16, 9,
                  error_line("%s: image of 9 bytes runs past its field of 44 bytes"), true},
        ImageCase{"ImageSizeAllOnes", image_field(40, 0xFFFFFFFF, 44, b({1, 2, 3, 4})), 0xFFFFFFFF,
                  9, error_line("%s: image of 4294967295 bytes runs past its field of 44 bytes"),
                  true},
        ImageCase{"ValueShorterThanHeader", cat({w(0x7000), w(12), w(0), w(0), w(40)}), 8, 9,
                  error_line("%s: field of 12 bytes too short for a tbanco"), true},
        ImageCase{"ValuePastBuffer", cat({w(0x7000), w(48), w(0), w(0), w(40)}), 8, 9,
                  error_line("Interpreter_GetBufferPtr: Wrong data size\n") +
                      error_line("%s: Interpreter_GetBufferPtr failed"),
                  true},
        ImageCase{"Absent", cat({w(1), w(4), w(0)}), 8, 8, "", true},
        ImageCase{"DestinationTooSmall", image_field(40, 5, 45, b({1, 2, 3, 4, 5})), 4, 10,
                  error_line("Interpreter_GetImage: buffer too small\n"), false}),
    [](const testing::TestParamInfo<ImageCase> &info) { return info.param.name; });

TEST_F(Images, NullArguments)
{
    Aligned in(image_field(40, 1, 41, b({1})));
    EXPECT_EQ(printed([&] {
                  EXPECT_EQ(Interpreter_GetImage(destination, 8, &image_size, nullptr, &word_2,
                                                 0x7000, in.data(), in.size()),
                            2);
              }),
              error_line("Interpreter_GetImage: NULL pointer"));
    EXPECT_EQ(printed([&] {
                  EXPECT_EQ(Interpreter_GetImagePtr(nullptr, &image_size, &word_1, &word_2, 0x7000,
                                                    in.data(), in.size()),
                            2);
              }),
              error_line("Interpreter_GetImagePtr: NULL pointer"));
}

} // namespace
