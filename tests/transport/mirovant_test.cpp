#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transport/mirovant.h"

namespace {

const std::vector<uint8_t> kKeepAlive = {
    0x18, 0x00, 0x00, 0x00, // header length 24
    0x3E, 0x62, 0x00, 0x00, // command 0x623E
    0xFF, 0xFF, 0xFF, 0xFF, // sender -1
    0x01, 0x00, 0x00, 0x00, // receiver 1
    0x0C, 0x00, 0x00, 0x00, // error 12
    0x00, 0x01, 0x00, 0x00, // payload size 256
};

TEST(MvSetCommandHeader, WritesTheSixWords)
{
    uint8_t out[32];
    std::fill(std::begin(out), std::end(out), 0xEE);
    int32_t length = 0;
    ASSERT_EQ(MV_SetCommandHeader(out, &length, 24, MV_CMD_KEEPALIVE, -1, 1, 12, 256), NTCP_OK);
    EXPECT_EQ(length, 24);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 24), kKeepAlive);
    EXPECT_EQ(out[24], 0xEE);
}

TEST(MvSetCommandHeader, Refusals)
{
    uint8_t out[24];
    int32_t length = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(MV_SetCommandHeader(out, &length, 23, 1, 2, 3, 4, 5), NTCP_ERR_BUFFER);
    EXPECT_EQ(MV_SetCommandHeader(nullptr, &length, 24, 1, 2, 3, 4, 5), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(MV_SetCommandHeader(out, nullptr, 24, 1, 2, 3, 4, 5), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - MV_SetCommandHeader: buffer too small (23 bytes)\n"
              "[ERROR] - MV_SetCommandHeader: NULL parameter\n"
              "[ERROR] - MV_SetCommandHeader: NULL parameter\n");
}

TEST(MvGetCommandHeader, ReadsTheFiveValues)
{
    int32_t command = 0, sender = 0, receiver = 0, error = 0, payload = 0;
    ASSERT_EQ(MV_GetCommandHeader(kKeepAlive.data(), 24, &command, &sender, &receiver, &error, &payload),
              NTCP_OK);
    EXPECT_EQ(command, MV_CMD_KEEPALIVE);
    EXPECT_EQ(sender, -1);
    EXPECT_EQ(receiver, 1);
    EXPECT_EQ(error, 12);
    EXPECT_EQ(payload, 256);
}

TEST(MvGetCommandHeader, Refusals)
{
    std::vector<uint8_t> not_mirovant = kKeepAlive;
    not_mirovant[0] = 28;
    int32_t v[5];
    testing::internal::CaptureStdout();
    EXPECT_EQ(MV_GetCommandHeader(not_mirovant.data(), 24, &v[0], &v[1], &v[2], &v[3], &v[4]),
              NTCP_ERR_MISALIGNED);
    EXPECT_EQ(MV_GetCommandHeader(kKeepAlive.data(), 23, &v[0], &v[1], &v[2], &v[3], &v[4]), NTCP_ERR_BUFFER);
    EXPECT_EQ(MV_GetCommandHeader(kKeepAlive.data(), 24, &v[0], &v[1], &v[2], &v[3], nullptr),
              NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(MV_GetCommandHeader(nullptr, 24, &v[0], &v[1], &v[2], &v[3], &v[4]), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - MV_GetCommandHeader: not a MIROVANT header (first word 28)\n"
              "[ERROR] - MV_GetCommandHeader: buffer too small (23 bytes)\n"
              "[ERROR] - MV_GetCommandHeader: NULL parameter\n"
              "[ERROR] - MV_GetCommandHeader: NULL parameter\n");
}

} // namespace
