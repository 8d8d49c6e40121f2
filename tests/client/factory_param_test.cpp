#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "client/factory_param.h"
#include "quentix_wire.h"

namespace {

FactoryParam_T unset_record()
{
    FactoryParam_T p;
    std::memset(&p, 0xFF, sizeof p); // every number -1
    p.text_3002[0] = '\0';
    for (HeadInfo_T &h : p.heads)
        h.text_3021[0] = '\0';
    return p;
}

// The record of the documented example: "AB", 7, one head "H" with 5, all else unset.
FactoryParam_T example_record()
{
    FactoryParam_T p = unset_record();
    std::strcpy(p.text_3002, "AB");
    p.value_3001 = 7;
    p.head_count = 1;
    std::strcpy(p.heads[0].text_3021, "H");
    p.heads[0].value_3022 = 5;
    return p;
}

const std::vector<uint8_t> kExamplePayload = {
    0xBA, 0x0B, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 'A', 'B', 0x00, 0x00,        // 3002 "AB"
    0xB9, 0x0B, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00,      // 3001 = 7
    0xCC, 0x0B, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,      // 3020 = 1
    0xE0, 0x0B, 0x00, 0x00, 0x18, 0x00, 0x00, 0x00,                              // 3040, 24 bytes:
    0xCD, 0x0B, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 'H', 0x00, 0x00, 0x00,       //   3021 "H"
    0xCE, 0x0B, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,      //   3022 = 5
};

// Fields given as code, length word and value words (values padded by the caller),
// as a received answer.
wire::Aligned from_words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(w >> (8 * i)));
    return wire::Aligned(bytes);
}

struct Payload {
    uint8_t *data = nullptr;
    int32_t used = 0;
    int32_t allocated = 0;
    ~Payload() { std::free(data); }
    std::vector<uint8_t> bytes() const { return std::vector<uint8_t>(data, data + used); }
};

void expect_same(const FactoryParam_T &a, const FactoryParam_T &b)
{
    EXPECT_STREQ(a.text_3002, b.text_3002);
    EXPECT_EQ(a.value_3001, b.value_3001);
    EXPECT_EQ(a.value_3003, b.value_3003);
    EXPECT_EQ(a.value_3004, b.value_3004);
    EXPECT_EQ(a.value_3005, b.value_3005);
    EXPECT_EQ(a.value_3006, b.value_3006);
    EXPECT_EQ(a.value_3007, b.value_3007);
    EXPECT_EQ(a.value_3008, b.value_3008);
    ASSERT_EQ(a.head_count, b.head_count);
    for (int i = 0; i < a.head_count; ++i) {
        SCOPED_TRACE("head " + std::to_string(i));
        EXPECT_STREQ(a.heads[i].text_3021, b.heads[i].text_3021);
        EXPECT_EQ(std::memcmp(&a.heads[i].value_3022, &b.heads[i].value_3022, 8 * sizeof(int32_t)), 0);
    }
}

TEST(PutFactoryParam, DocumentedExampleIs68Bytes)
{
    const FactoryParam_T p = example_record();
    Payload out;
    ASSERT_EQ(PutFactoryParam(&p, &out.data, &out.used, &out.allocated), NTCP_OK);
    EXPECT_EQ(out.bytes(), kExamplePayload);
}

TEST(PutFactoryParam, HeadCountZeroIsWrittenMinusOneIsNot)
{
    FactoryParam_T p = example_record();
    p.head_count = 0;
    Payload out;
    ASSERT_EQ(PutFactoryParam(&p, &out.data, &out.used, &out.allocated), NTCP_OK);
    const uint8_t head_count_zero[] = {0xCC, 0x0B, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0}; // 3020 = 0
    std::vector<uint8_t> expected(24 + sizeof head_count_zero);
    std::copy_n(kExamplePayload.begin(), 24, expected.begin()); // 3002, 3001
    std::copy(std::begin(head_count_zero), std::end(head_count_zero), expected.begin() + 24);
    EXPECT_EQ(out.bytes(), expected);

    p.head_count = -1;
    ASSERT_EQ(PutFactoryParam(&p, &out.data, &out.used, &out.allocated), NTCP_OK);
    EXPECT_EQ(out.bytes(), std::vector<uint8_t>(kExamplePayload.begin(), kExamplePayload.begin() + 24));
}

TEST(PutFactoryParam, RebuildsThePayloadFromItsStartInTheSameMemory)
{
    const FactoryParam_T p = example_record();
    Payload out;
    out.allocated = 512;
    out.data = static_cast<uint8_t *>(std::calloc(1, out.allocated));
    uint8_t *const memory = out.data;
    out.used = 300; // left from an earlier payload
    ASSERT_EQ(PutFactoryParam(&p, &out.data, &out.used, &out.allocated), NTCP_OK);
    EXPECT_EQ(out.data, memory);
    EXPECT_EQ(out.allocated, 512);
    EXPECT_EQ(out.bytes(), kExamplePayload);
}

TEST(PutFactoryParam, UnterminatedTextCarriesFifteenCharacters)
{
    FactoryParam_T p = example_record();
    p.head_count = -1;
    std::memset(p.text_3002, 'x', sizeof p.text_3002);
    Payload out;
    ASSERT_EQ(PutFactoryParam(&p, &out.data, &out.used, &out.allocated), NTCP_OK);
    FactoryParam_T back;
    ASSERT_EQ(ExtractFactoryParam(&back, out.data, out.used), NTCP_OK);
    EXPECT_EQ(std::string(back.text_3002), std::string(15, 'x'));
}

TEST(PutFactoryParam, NullArguments)
{
    const FactoryParam_T p = example_record();
    Payload out;
    testing::internal::CaptureStdout();
    EXPECT_EQ(PutFactoryParam(nullptr, &out.data, &out.used, &out.allocated), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(PutFactoryParam(&p, nullptr, &out.used, &out.allocated), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(PutFactoryParam(&p, &out.data, nullptr, &out.allocated), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERROR] - PutFactoryParam: NULL parameter\n"
                                                      "[ERROR] - PutFactoryParam: NULL parameter\n"
                                                      "[ERROR] - PutFactoryParam: NULL parameter\n");
}

TEST(ExtractFactoryParam, DocumentedExample)
{
    const wire::Aligned a(kExamplePayload);
    FactoryParam_T got;
    std::memset(&got, 0x33, sizeof got);
    ASSERT_EQ(ExtractFactoryParam(&got, a.data(), a.size()), NTCP_OK);
    expect_same(got, example_record());
}

TEST(ExtractFactoryParam, NoFactoryFieldsGiveAnUnsetRecord)
{
    const wire::Aligned a = from_words({12000, 4, 1234}); // a serial number only
    FactoryParam_T got;
    std::memset(&got, 0x33, sizeof got);
    ASSERT_EQ(ExtractFactoryParam(&got, a.data(), a.size()), NTCP_OK);
    EXPECT_STREQ(got.text_3002, "");
    for (int32_t v : {got.value_3001, got.value_3003, got.value_3004, got.value_3005, got.value_3006,
                      got.value_3007, got.value_3008, got.head_count})
        EXPECT_EQ(v, -1);
}

TEST(ExtractFactoryParam, FieldOrderDoesNotMatter)
{
    // Head group first, then the count, then a value.
    const wire::Aligned a = from_words({3040, 12, 3023, 4, 44, 3020, 4, 1, 3008, 4, 88});
    FactoryParam_T got;
    ASSERT_EQ(ExtractFactoryParam(&got, a.data(), a.size()), NTCP_OK);
    EXPECT_EQ(got.value_3008, 88);
    EXPECT_EQ(got.head_count, 1);
    EXPECT_EQ(got.heads[0].value_3023, 44);
    EXPECT_EQ(got.heads[0].value_3022, -1);
    EXPECT_STREQ(got.heads[0].text_3021, "");
}

TEST(ExtractFactoryParam, Refusals)
{
    struct Case {
        const char *what;
        wire::Aligned answer;
        int32_t result;
        const char *text;
    } cases[] = {
        {"a group announced but missing", from_words({3020, 4, 2, 3040, 12, 3022, 4, 1}), 8,
         "ExtractFactoryParam: Interpreter_GetBufferPtr HEAD_INFO_0 + 1"},
        {"text longer than 15 characters", from_words({3002, 20, 0x41414141, 0x41414141, 0x41414141, 0x41414141, 0x41}),
         10, "ExtractFactoryParam: Interpreter_GetString failed"},
        {"number of 8 bytes", from_words({3005, 8, 1, 2}), 10, "ExtractFactoryParam: Interpreter_GetLong failed"},
        {"head count of 8 bytes", from_words({3020, 8, 1, 2}), 10, "ExtractFactoryParam: Interpreter_GetLong failed"},
        {"number of 8 bytes inside a group", from_words({3020, 4, 1, 3040, 16, 3029, 8, 1, 2}), 10,
         "ExtractFactoryParam: Interpreter_GetLong failed"},
        {"group shorter than a field header", from_words({3020, 4, 1, 3040, 4, 0}), 10,
         "ExtractFactoryParam: Interpreter_GetString failed"},
        {"field running past the end", from_words({3001, 4, 1, 3003, 40, 0}), 10,
         "ExtractFactoryParam: Interpreter_GetString failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        FactoryParam_T got;
        testing::internal::CaptureStdout();
        EXPECT_EQ(ExtractFactoryParam(&got, c.answer.data(), c.answer.size()), c.result);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find(std::string("[ERROR] - ") + c.text + "\n"), std::string::npos) << printed;
    }

    FactoryParam_T got;
    const wire::Aligned a = from_words({3001, 4, 1});
    testing::internal::CaptureStdout();
    EXPECT_EQ(ExtractFactoryParam(nullptr, a.data(), a.size()), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(ExtractFactoryParam(&got, nullptr, a.size()), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - ExtractFactoryParam: NULL parameter\n[ERROR] - ExtractFactoryParam: NULL parameter\n");
}

// A full record: every number set, texts of 15 characters, eight heads.
FactoryParam_T full_record()
{
    FactoryParam_T p{};
    std::strcpy(p.text_3002, "ABCDEFGHIJKLMNO");
    p.value_3001 = 0;
    p.value_3003 = -2;
    p.value_3004 = 0x7FFFFFFF;
    p.value_3005 = static_cast<int32_t>(0x80000000u);
    p.value_3006 = 6;
    p.value_3007 = 7;
    p.value_3008 = 8;
    p.head_count = FACTORY_HEAD_MAX;
    for (int i = 0; i < FACTORY_HEAD_MAX; ++i) {
        std::snprintf(p.heads[i].text_3021, sizeof p.heads[i].text_3021, "head %d", i);
        int32_t *v = &p.heads[i].value_3022;
        for (int k = 0; k < 8; ++k)
            v[k] = i * 100 + k;
    }
    // One head with nothing set travels as an empty group.
    p.heads[3].text_3021[0] = '\0';
    for (int32_t *v = &p.heads[3].value_3022; v <= &p.heads[3].value_3029; ++v)
        *v = -1;
    return p;
}

TEST(FactoryParam, RecordsSurviveEncodingAndReading)
{
    const struct {
        const char *what;
        FactoryParam_T record;
    } cases[] = {
        {"documented example", example_record()},
        {"full record with an empty head", full_record()},
        {"nothing set: no bytes at all", unset_record()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Payload out;
        ASSERT_EQ(PutFactoryParam(&c.record, &out.data, &out.used, &out.allocated), NTCP_OK);
        static const uint32_t no_fields = 0;
        FactoryParam_T back;
        std::memset(&back, 0x33, sizeof back);
        ASSERT_EQ(ExtractFactoryParam(&back, out.used == 0 ? &no_fields : static_cast<const void *>(out.data), out.used),
                  NTCP_OK);
        expect_same(back, c.record);
    }
}

TEST(FactoryParam, MoreThanEightHeadsAreCappedAtEight)
{
    FactoryParam_T p = full_record();
    p.head_count = 12;
    Payload out;
    ASSERT_EQ(PutFactoryParam(&p, &out.data, &out.used, &out.allocated), NTCP_OK);
    FactoryParam_T back;
    ASSERT_EQ(ExtractFactoryParam(&back, out.data, out.used), NTCP_OK);
    p.head_count = FACTORY_HEAD_MAX;
    expect_same(back, p);

    // An answer that announces 12 groups and carries 8 is read as its 8.
    std::vector<uint32_t> words(reinterpret_cast<uint32_t *>(out.data),
                                reinterpret_cast<uint32_t *>(out.data + out.used));
    for (size_t i = 0; i + 2 < words.size(); ++i)
        if (words[i] == 3020 && words[i + 1] == 4)
            words[i + 2] = 12;
    FactoryParam_T announced;
    testing::internal::CaptureStdout();
    ASSERT_EQ(ExtractFactoryParam(&announced, words.data(), out.used), NTCP_OK);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[WARNING] - ExtractFactoryParam: 12 head groups announced, 8 kept\n");
    expect_same(announced, p);
}

} // namespace
