#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/cross_sys.h"
#include "stdout_capture.h"

namespace {

// The level and the application name are process-wide: every case leaves them as found.
class NtcpPrintf : public testing::Test {
protected:
    void TearDown() override
    {
        ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL);
        ntcp_printf_set_app_name("NTCP-SDK");
    }
};

TEST_F(NtcpPrintf, InitialLevelPrintsInfoButNotDebug)
{
    EXPECT_EQ(printed_by([] { ntcp_printf(3, "receiver thread started"); }), "");
    EXPECT_EQ(printed_by([] { ntcp_printf(2, "found %d devices", 3); }), "[INFO] - found 3 devices\n");
}

struct LevelCase {
    const char *name;
    uint32_t level;
    uint32_t severity;
    const char *expected;
};

TEST_F(NtcpPrintf, LevelDecidesWhichSeveritiesPrint)
{
    const LevelCase cases[] = {
        {"off silences errors", 0xFFFF, 0, ""},
        {"off silences debug", 0xFFFF, 3, ""},
        {"level 0 keeps errors", 0, 0, "[ERROR] - text\n"},
        {"level 0 drops warnings", 0, 1, ""},
        {"level 1 adds warnings", 1, 1, "[WARNING] - text\n"},
        {"level 1 drops info", 1, 2, ""},
        {"level 2 prints info", 2, 2, "[INFO] - text\n"},
        {"level 3 prints debug", 3, 3, "[DEBUG] - text\n"},
        {"only the low 16 bits of the severity count", 2, 0x10002, "[INFO] - text\n"},
        {"high bits do not lower a debug line", 2, 0x10003, ""},
        {"unknown severities are named DEBUG", 7, 7, "[DEBUG] - text\n"},
        {"unknown severity above the level", 3, 4, ""},
    };
    for (const LevelCase &c : cases) {
        SCOPED_TRACE(c.name);
        ntcp_printf_set_level(c.level);
        EXPECT_EQ(printed_by([&] { ntcp_printf(c.severity, "text"); }), c.expected);
    }
}

TEST_F(NtcpPrintf, LinesCarryTheFormattedTextOnly)
{
    ntcp_printf_set_level(3);
    EXPECT_EQ(printed_by([] { ntcp_printf(0, "%s: NULL parameter", "NTCP_client_close"); }),
              "[ERROR] - NTCP_client_close: NULL parameter\n");
    EXPECT_EQ(printed_by([] { ntcp_printf(3, "Starting client receiver thread"); }),
              "[DEBUG] - Starting client receiver thread\n");
    EXPECT_EQ(printed_by([] { ntcp_printf(1, "Wrong command received %d instead of %d", 7, -3); }),
              "[WARNING] - Wrong command received 7 instead of -3\n");
}

TEST_F(NtcpPrintf, LongTextsAreCutTo2047Characters)
{
    for (size_t length : {2046u, 2047u, 2048u, 5000u}) {
        SCOPED_TRACE(length);
        const std::string text(length, 'x');
        const std::string expected = "[ERROR] - " + text.substr(0, 2047) + "\n";
        EXPECT_EQ(printed_by([&] { ntcp_printf(0, "%s", text.c_str()); }), expected);
    }
}

TEST_F(NtcpPrintf, AppNameIsStoredButNeverPrinted)
{
    const std::string long_name(300, 'n');
    EXPECT_EQ(ntcp_printf_set_app_name(long_name.c_str()), 0);
    EXPECT_EQ(std::string(ntcp_printf_get_app_name()), long_name.substr(0, 255));

    EXPECT_EQ(ntcp_printf_set_app_name("camtool"), 0);
    EXPECT_STREQ(ntcp_printf_get_app_name(), "camtool");
    EXPECT_EQ(printed_by([] { ntcp_printf(0, "x"); }), "[ERROR] - x\n");
}

TEST_F(NtcpPrintf, NullAppNameIsRefused)
{
    ntcp_printf_set_app_name("camtool");
    int32_t result = 0;
    EXPECT_EQ(printed_by([&] { result = ntcp_printf_set_app_name(nullptr); }),
              "[ERROR] - ntcp_printf_set_app_name: NULL parameter\n");
    EXPECT_EQ(result, NTCP_ERR_NULL_PARAMETER);
    EXPECT_STREQ(ntcp_printf_get_app_name(), "camtool");
}

TEST_F(NtcpPrintf, LinesOfConcurrentThreadsDoNotMix)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 200;
    const std::string payload(300, 'p');
    const std::string output = printed_by([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                for (int i = 0; i < kLines; ++i)
                    ntcp_printf(0, "thread %d line %d %s", t, i, payload.c_str());
            });
        for (std::thread &thread : threads)
            thread.join();
    });

    std::istringstream lines(output);
    std::vector<int> next_line(kThreads, 0);
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        int t = -1;
        int i = -1;
        char rest[400] = {};
        ASSERT_EQ(sscanf(line.c_str(), "[ERROR] - thread %d line %d %399s", &t, &i, rest), 3) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        EXPECT_EQ(rest, payload);
        // Each thread's own lines keep their order.
        EXPECT_EQ(i, next_line[t]++);
        ++count;
    }
    EXPECT_EQ(count, kThreads * kLines);
}

} // namespace
