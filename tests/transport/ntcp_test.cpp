#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "transport/ntcp.h"

namespace {

// Header bytes live in 4-aligned memory, as they do in the transport's receive buffers.
struct Bytes {
    alignas(4) uint8_t data[1024] = {};
    int32_t size = 0;
};

Bytes from_bytes(std::initializer_list<uint8_t> bytes)
{
    Bytes b;
    for (uint8_t v : bytes)
        b.data[b.size++] = v;
    return b;
}

// Little-endian words, for received headers built case by case.
Bytes from_words(std::initializer_list<uint32_t> words)
{
    Bytes b;
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            b.data[b.size++] = static_cast<uint8_t>(w >> (8 * i));
    return b;
}

constexpr uint32_t M1 = 0x1A2B3C4D;
constexpr uint32_t M2 = 0x3044DAE1;

// The discovery request: NTCP id, command and the broadcast receiver.
NTCPHeader_T discovery_request()
{
    NTCPHeader_T h{};
    h.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_RECEIVER; // 0x13
    h.ntcp_id = NTCP_IDENT_DEVICE;
    h.command = NTCP_CMD_DISCOVERY;
    h.receiver = NTCP_RECEIVER_ALL;
    return h;
}

const std::vector<uint8_t> kDiscoveryHeader = {
    0x4D, 0x3C, 0x2B, 0x1A, 0xE1, 0xDA, 0x44, 0x30, // magics
    0x00, 0x00, 0x00, 0x00,                         // options
    0x34, 0x00, 0x00, 0x00,                         // header length 52
    0x00, 0x00, 0x00, 0x00,                         // payload size
    0x00, 0x10, 0x00, 0x00,                         // NTCP id 4096
    0x00, 0xAA, 0x00, 0x00,                         // command 0xAA00
    0x00, 0x0A, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00, // version 200
    0x04, 0x0A, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, // receiver
};

const std::vector<uint8_t> kDiscoveryHeaderWithMac = {
    0x4D, 0x3C, 0x2B, 0x1A, 0xE1, 0xDA, 0x44, 0x30,
    0x00, 0x00, 0x00, 0x00,
    0x44, 0x00, 0x00, 0x00, // header length 68
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x10, 0x00, 0x00,
    0x00, 0xAA, 0x00, 0x00,
    0x00, 0x0A, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x00, 0x00,
    0x04, 0x0A, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00,
    // 00:50:C2:52:88:99 travels last group first, padded to 8 bytes
    0x05, 0x0A, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x99, 0x88, 0x52, 0xC2, 0x50, 0x00, 0x00, 0x00,
};

std::vector<uint8_t> write_header(const NTCPHeader_T &h, int32_t buffer_size, int32_t *result)
{
    Bytes out;
    int32_t length = -1;
    *result = NTCP_SetCommandHeader(out.data, &length, buffer_size, &h);
    if (*result != NTCP_OK)
        return {};
    return std::vector<uint8_t>(out.data, out.data + length);
}

TEST(NtcpSetCommandHeader, DiscoveryRequestIs52Bytes)
{
    int32_t result = -1;
    EXPECT_EQ(write_header(discovery_request(), NTCP_SEND_HEADER_BUFFER_SIZE, &result), kDiscoveryHeader);
    EXPECT_EQ(result, NTCP_OK);
}

TEST(NtcpSetCommandHeader, MacAddressAddsA16ByteFieldInWireOrder)
{
    NTCPHeader_T h = discovery_request();
    h.flags |= NTCP_FLAG_MAC_ADDRESS;
    const uint8_t mac[] = {0x99, 0x88, 0x52, 0xC2, 0x50, 0x00};
    memcpy(h.mac_address, mac, sizeof mac);
    int32_t result = -1;
    EXPECT_EQ(write_header(h, NTCP_SEND_HEADER_BUFFER_SIZE, &result), kDiscoveryHeaderWithMac);
    EXPECT_EQ(result, NTCP_OK);
}

TEST(NtcpSetCommandHeader, PayloadSizeWrittenOnlyWithItsFlag)
{
    NTCPHeader_T h = discovery_request();
    h.payload_size = 0x1234;
    int32_t result = -1;
    std::vector<uint8_t> bytes = write_header(h, NTCP_SEND_HEADER_BUFFER_SIZE, &result);
    ASSERT_EQ(bytes.size(), 52u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 20),
              (std::vector<uint8_t>{0, 0, 0, 0}));

    h.flags |= NTCP_FLAG_PAYLOAD_SIZE;
    bytes = write_header(h, NTCP_SEND_HEADER_BUFFER_SIZE, &result);
    ASSERT_EQ(bytes.size(), 52u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 16, bytes.begin() + 20),
              (std::vector<uint8_t>{0x34, 0x12, 0, 0}));
}

TEST(NtcpSetCommandHeader, Refusals)
{
    NTCPHeader_T with_mac = discovery_request();
    with_mac.flags |= NTCP_FLAG_MAC_ADDRESS;
    NTCPHeader_T command_only = discovery_request();
    command_only.flags = NTCP_FLAG_COMMAND;
    NTCPHeader_T id_only = discovery_request();
    id_only.flags = NTCP_FLAG_NTCP_ID;
    struct Case {
        const char *what;
        NTCPHeader_T header;
        int32_t buffer_size;
        int32_t result;
        const char *text;
    } cases[] = {
        {"flags 0x02 alone", command_only, 1000, 5, "NTCP_SetCommandHeader: command code not found"},
        {"flags 0x01 alone", id_only, 1000, 5, "NTCP_SetCommandHeader: command code not found"},
        // 40 bytes leave room for the version field only: the receiver field fails.
        {"receiver does not fit", discovery_request(), 40, 10,
         "NTCP_SetCommandHeader: _NTCP_FillVarHeader failed"},
        // Receiver and MAC both fail: their results add up.
        {"two fields do not fit", with_mac, 40, 20,
         "NTCP_SetCommandHeader: _NTCP_FillVarHeader failed"},
        {"no room for a variable part", discovery_request(), 28, 10,
         "NTCP_SetCommandHeader: _NTCP_FillVarHeader failed"},
        {"buffer smaller than the fixed part", discovery_request(), 8, 10,
         "NTCP_SetCommandHeader: _NTCP_FillVarHeader failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Bytes out;
        std::memset(out.data, 0xEE, sizeof out.data);
        int32_t length = -1;
        testing::internal::CaptureStdout();
        EXPECT_EQ(NTCP_SetCommandHeader(out.data, &length, c.buffer_size, &c.header), c.result);
        const std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find(std::string("[ERROR] - ") + c.text + "\n"), std::string::npos) << printed;
        // Nothing is written beyond the room given.
        for (int i = c.buffer_size < 0 ? 0 : c.buffer_size; i < 64; ++i)
            ASSERT_EQ(out.data[i], 0xEE) << "byte " << i;
    }

    NTCPHeader_T h = discovery_request();
    uint8_t buffer[64];
    int32_t length = 0;
    EXPECT_EQ(NTCP_SetCommandHeader(nullptr, &length, 64, &h), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(NTCP_SetCommandHeader(buffer, nullptr, 64, &h), NTCP_ERR_NULL_PARAMETER);
    testing::internal::CaptureStdout();
    EXPECT_EQ(NTCP_SetCommandHeader(buffer, &length, 64, nullptr), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERROR] - NTCP_SetCommandHeader: NULL parameter\n");
}

TEST(NtcpGetCommandHeader, ReadsTheDiscoveryHeaders)
{
    Bytes in;
    std::memcpy(in.data, kDiscoveryHeaderWithMac.data(), kDiscoveryHeaderWithMac.size());
    NTCPHeader_T h{};
    ASSERT_EQ(NTCP_GetCommandHeader(in.data, 68, &h), NTCP_OK);
    EXPECT_EQ(h.flags, 0x83u | NTCP_FLAG_RECEIVER | NTCP_FLAG_MAC_ADDRESS);
    EXPECT_EQ(h.ntcp_id, 4096);
    EXPECT_EQ(h.command, 0xAA00);
    EXPECT_EQ(h.payload_size, 0);
    EXPECT_EQ(h.receiver, 0xFFFFFF);
    const uint8_t mac[] = {0x99, 0x88, 0x52, 0xC2, 0x50, 0x00};
    EXPECT_EQ(std::memcmp(h.mac_address, mac, 6), 0);
}

TEST(NtcpGetCommandHeader, FlagsFollowTheFieldsFound)
{
    struct Case {
        const char *what;
        Bytes bytes;
        uint32_t flags;
        int32_t error, sender, receiver;
    } cases[] = {
        {"version only", from_words({M1, M2, 0, 40, 0, 4096, 0xAA03, 0x0A00, 4, 200}), 0x83, 0, 0, 0},
        {"error 5 without version", from_words({M1, M2, 0, 40, 0, 4096, 0xAA03, 0x0A02, 4, 5}), 0x87, 5, 0, 0},
        {"response 1", from_words({M1, M2, 0, 40, 0, 4096, 0xAA03, 0x0A01, 4, 1}), 0xC3, 0, 0, 0},
        {"response other than 1", from_words({M1, M2, 0, 40, 0, 4096, 0xAA03, 0x0A01, 4, 2}), 0x83, 0, 0, 0},
        // Fields are looked up by code, whatever their order; unknown codes are stepped over.
        {"any order, unknown field",
         from_words({M1, M2, 0, 76, 0, 4096, 0xAA03, 0x0A04, 4, 7, 0x0BAD, 4, 0, 0x0A03, 4, 9, 0x0A00, 4, 200}),
         0x9B, 0, 9, 7},
        {"encryption byte 8 is not a mode", from_words({M1, M2, 8, 40, 0, 4096, 0xAA03, 0x0A00, 4, 200}), 0x83, 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        NTCPHeader_T h{};
        ASSERT_EQ(NTCP_GetCommandHeader(c.bytes.data, c.bytes.size, &h), NTCP_OK);
        EXPECT_EQ(h.flags, c.flags);
        EXPECT_EQ(h.error, c.error);
        EXPECT_EQ(h.sender, c.sender);
        EXPECT_EQ(h.receiver, c.receiver);
        EXPECT_EQ(h.command, 0xAA03);
    }
}

TEST(NtcpGetCommandHeader, Refusals)
{
    struct Case {
        const char *what;
        Bytes bytes;
        int32_t result;
        std::vector<std::string> texts;
    } cases[] = {
        {"encryption mode 1", from_words({M1, M2, 1, 40, 0, 4096, 0xAA03, 0x0A00, 4, 200}), 999,
         {"NTCP_GetCommandHeader: Encryption functionality not supported yet"}},
        {"encryption mode 7 beside other option bits", from_words({M1, M2, 0xFF, 40, 0, 4096, 0xAA03, 0x0A00, 4, 200}),
         999, {"NTCP_GetCommandHeader: Encryption functionality not supported yet"}},
        {"first magic wrong", from_words({M2, M2, 0, 40, 0, 4096, 0xAA03, 0x0A00, 4, 200}), 4,
         {"NTCP_GetCommandHeader: Header corrupted"}},
        {"second magic wrong", from_words({M1, M1, 0, 40, 0, 4096, 0xAA03, 0x0A00, 4, 200}), 4,
         {"NTCP_GetCommandHeader: Header corrupted"}},
        {"empty variable part", from_words({M1, M2, 0, 28, 0, 4096, 0xAA03}), 10,
         {"_NTCP_ExtractVarHeader: Failed to get NTCP_ID_VERSION",
          "NTCP_GetCommandHeader: _NTCP_ExtractVarHeader failed"}},
        {"header length below the fixed part", from_words({M1, M2, 0, 4, 0, 4096, 0xAA03, 0x0A00, 4, 200}), 10,
         {"NTCP_GetCommandHeader: _NTCP_ExtractVarHeader failed"}},
        // The first search that has to step over the broken field fails.
        {"a field runs past the end", from_words({M1, M2, 0, 52, 0, 4096, 0xAA03, 0x0A00, 4, 200, 0x0A03, 8, 1}),
         10, {"_NTCP_ExtractVarHeader: Failed to get NTCP_ID_RESPONSE",
              "NTCP_GetCommandHeader: _NTCP_ExtractVarHeader failed"}},
        {"sender field too long for a number", from_words({M1, M2, 0, 44, 0, 4096, 0xAA03, 0x0A03, 8, 1, 2}), 10,
         {"_NTCP_ExtractVarHeader: Failed to get NTCP_ID_SENDER"}},
        {"MAC field too long", from_words({M1, M2, 0, 44, 0, 4096, 0xAA03, 0x0A05, 8, 1, 2}), 10,
         {"_NTCP_ExtractVarHeader: Failed to get NTCP_ID_MACADDRESS"}},
        {"trailing fragment", from_words({M1, M2, 0, 44, 0, 4096, 0xAA03, 0x0A00, 4, 200, 0x0A03}), 10,
         {"_NTCP_ExtractVarHeader: Failed to get NTCP_ID_RESPONSE"}},
        {"fixed part cut short", from_words({M1, M2, 0, 40, 0, 4096}), 10,
         {"NTCP_GetCommandHeader: Header too short (24 bytes)"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        NTCPHeader_T h{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(NTCP_GetCommandHeader(c.bytes.data, c.bytes.size, &h), c.result);
        const std::string printed = testing::internal::GetCapturedStdout();
        for (const std::string &text : c.texts)
            EXPECT_NE(printed.find("[ERROR] - " + text + "\n"), std::string::npos) << printed;
    }
}

TEST(NtcpGetCommandHeader, LengthWordBeyondTheBytesReceivedIsRefused)
{
    // A 40-byte header announcing 1000 bytes: nothing past the 40 may be read.
    Bytes b = from_words({M1, M2, 0, 1000, 0, 4096, 0xAA03, 0x0A00, 4, 200});
    NTCPHeader_T h{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(NTCP_GetCommandHeader(b.data, b.size, &h), NTCP_ERR_BUFFER);
    EXPECT_NE(testing::internal::GetCapturedStdout().find(
                  "NTCP_GetCommandHeader: header length 1000 beyond the 40 bytes received"),
              std::string::npos);
}

TEST(NtcpGetCommandHeader, NullArguments)
{
    Bytes b = from_bytes({0});
    NTCPHeader_T h{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(NTCP_GetCommandHeader(nullptr, 52, &h), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(NTCP_GetCommandHeader(b.data, 52, nullptr), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - NTCP_GetCommandHeader: NULL parameter\n"
              "[ERROR] - NTCP_GetCommandHeader: NULL parameter\n");
}

TEST(NtcpCommandHeader, EveryFieldSurvivesWriteAndRead)
{
    NTCPHeader_T sent{};
    sent.flags = 0xFF;
    sent.ntcp_id = NTCP_IDENT_KEEPALIVE;
    sent.command = NTCP_CMD_KEEPALIVE;
    sent.error = -3;
    sent.sender = 17;
    sent.receiver = 1;
    sent.payload_size = 4096;
    const uint8_t mac[] = {1, 2, 3, 4, 5, 6};
    memcpy(sent.mac_address, mac, 6);
    Bytes out;
    int32_t length = 0;
    ASSERT_EQ(NTCP_SetCommandHeader(out.data, &length, NTCP_SEND_HEADER_BUFFER_SIZE, &sent), NTCP_OK);
    EXPECT_EQ(length, 28 + 5 * 12 + 16);

    NTCPHeader_T got{};
    ASSERT_EQ(NTCP_GetCommandHeader(out.data, length, &got), NTCP_OK);
    EXPECT_EQ(got.flags, sent.flags);
    EXPECT_EQ(got.ntcp_id, sent.ntcp_id);
    EXPECT_EQ(got.command, sent.command);
    EXPECT_EQ(got.error, sent.error);
    EXPECT_EQ(got.sender, sent.sender);
    EXPECT_EQ(got.receiver, sent.receiver);
    EXPECT_EQ(got.payload_size, sent.payload_size);
    EXPECT_EQ(std::memcmp(got.mac_address, mac, 6), 0);
}

} // namespace
