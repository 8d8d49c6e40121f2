// The update job's parts that need no camera: refused starts and handles, the
// feedback decoding from hand-written messages, the status table and the progress
// queue. Updates against cameras are in the lab tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/QuentixClientUpdate.h"
#include "quentix_wire.h"
#include "runtime/cross_sys.h"

namespace {

constexpr int32_t kStatus = 0x300A02, kProgress = 0x300A03, kMessage = 0x300A04;

class QuentixClientUpdateTest : public ::testing::Test {
protected:
    void SetUp() override { ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL); }
};

TEST_F(QuentixClientUpdateTest, StartRefusesAnEmptyFileAndAnUnreachableCamera)
{
    const uint8_t file[4] = {1, 2, 3, 4};
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuentixClientUpdate_Start("127.0.0.1", "127.0.0.1", 9, 500, nullptr, file, 0), nullptr);
    EXPECT_EQ(QuentixClientUpdate_Start("127.0.0.1", "127.0.0.1", 9, 500, nullptr, nullptr, 4), nullptr);
    EXPECT_EQ(QuentixClientUpdate_Start("127.0.0.1", "127.0.0.1", 9, 500, nullptr, file, -4), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERROR] - QuentixClientUpdate_Start: Wrong gpg parameters\n"
                                                      "[ERROR] - QuentixClientUpdate_Start: Wrong gpg parameters\n"
                                                      "[ERROR] - QuentixClientUpdate_Start: Wrong gpg parameters\n");

    testing::internal::CaptureStdout();
    EXPECT_EQ(QuentixClientUpdate_Start("127.0.0.1", "127.0.0.1", 9, 500, nullptr, file, 4), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    const size_t open = out.find("[ERROR] - QuentixClient_OpenTCP: client open failed (");
    const size_t start = out.find("[ERROR] - QuentixClientUpdate_Start: QuentixClient_OpenTCP failed\n");
    EXPECT_NE(open, std::string::npos) << out;
    EXPECT_NE(start, std::string::npos) << out;
    EXPECT_LT(open, start);
}

TEST_F(QuentixClientUpdateTest, ProgressAndDestroyRefuseWhatIsNoUpdate)
{
    QuentixUpdate_T fake{};
    fake.struct_size = 25;
    UpdateProgress_T item;
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuentixClientUpdate_GetProgress(&fake, nullptr), 2);
    EXPECT_EQ(QuentixClientUpdate_GetProgress(&fake, &item), 2);
    EXPECT_EQ(QuentixClientUpdate_GetProgress(nullptr, &item), 2);
    QuentixUpdate_T *p = &fake;
    EXPECT_EQ(QuentixClientUpdate_Destroy(&p), 2);
    EXPECT_EQ(p, &fake);
    EXPECT_EQ(QuentixClientUpdate_Destroy(nullptr), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - QuentixClientUpdate_GetProgress: NULL parameter\n"
              "[ERROR] - _CheckHandle: Wrong struct size (25)\n"
              "[ERROR] - QuentixClientUpdate_GetProgress: _CheckHandle failed\n"
              "[ERROR] - _CheckHandle: Wrong struct size (0)\n"
              "[ERROR] - QuentixClientUpdate_GetProgress: _CheckHandle failed\n"
              "[ERROR] - _CheckHandle: Wrong struct size (25)\n"
              "[ERROR] - QuentixClientUpdate_Destroy: _CheckHandle failed\n"
              "[ERROR] - _CheckHandle: Wrong struct size (0)\n"
              "[ERROR] - QuentixClientUpdate_Destroy: _CheckHandle failed\n");
}

TEST_F(QuentixClientUpdateTest, FeedbackDecoding)
{
    struct Case {
        const char *name;
        wire::Fields message;
        int32_t result;
        int32_t status, progress;
        std::string text;
    };
    wire::Fields full, no_text, long_text, no_fields;
    full.number(kStatus, 64).number(kProgress, 40).text(kMessage, "copy");
    no_text.number(kStatus, 64).number(kProgress, 40);
    long_text.text(kMessage, std::string(511, 't')).number(kProgress, 99).number(kStatus, 512);
    no_fields.number(0x300A00, 10);
    const Case cases[] = {
        {"all three", full, 0, 64, 40, "copy"},
        {"without the text", no_text, 8, 64, 40, ""},
        {"511 characters, any order", long_text, 0, 512, 99, std::string(511, 't')},
        {"none of them", no_fields, 8, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const wire::Aligned message(c.message);
        UpdateFeedback_T fb;
        EXPECT_EQ(QuentixClientUpdate_DecodeFeedback(message.data(), message.size(), &fb), c.result);
        EXPECT_EQ(fb.status, c.status);
        EXPECT_EQ(fb.progress, c.progress);
        EXPECT_EQ(fb.text, c.text);
    }
}

TEST_F(QuentixClientUpdateTest, StatusTable)
{
    const struct {
        int32_t status;
        int32_t kind;
        const char *name;
    } table[] = {
        {16, 4, "INIT"},   {32, 4, "START"},    {64, 4, "IN PROGRESS"},
        {128, 6, "FAILED"}, {256, 7, "DONE"},    {512, 8, "DONE REBOOT IN PROGRESS"},
        {1024, 7, "UNKNOWN"}, {0, 4, "UNKNOWN"}, {2048, 4, "UNKNOWN"},
    };
    for (const auto &row : table) {
        EXPECT_EQ(QuentixClientUpdate_StatusKind(row.status), row.kind) << row.status;
        EXPECT_STREQ(QuentixClientUpdate_StatusName(row.status), row.name) << row.status;
    }
}

// An update record with a queue only, as Start makes it before connecting.
struct QueueOnly {
    QuentixUpdate_T update{};
    QueueOnly()
    {
        update.struct_size = QUENTIX_UPDATE_STRUCT_SIZE;
        update.progress = fifo_create(QUENTIX_UPDATE_QUEUE_SIZE, _freeReportItem);
        fifo_set_option(update.progress, FIFO_OPT_REFUSE, 1);
    }
    ~QueueOnly() { fifo_destroy(&update.progress); }
};

TEST_F(QuentixClientUpdateTest, ProgressQueueItems)
{
    QueueOnly q;
    const std::string long_text(300, 'm');
    _ReportProgress(&q.update, 4, 0, 0, 40, long_text.c_str(), 0, nullptr);
    _ReportProgress(&q.update, 3, 0, 0, 0, nullptr, 5, "Update thread: Camera replied with error");
    _ReportProgress(&q.update, UPDATE_KIND_FINISHED, 0, 0, 0, nullptr, 0, nullptr);
    fifo_push(q.update.progress, calloc(1, 100), 100); // a block that is no item

    UpdateProgress_T item;
    ASSERT_EQ(QuentixClientUpdate_GetProgress(&q.update, &item), 0);
    EXPECT_EQ(item.struct_size, 536);
    EXPECT_EQ(item.kind, 4);
    EXPECT_EQ(item.progress, 40);
    EXPECT_EQ(std::string(item.message), std::string(255, 'm'));
    EXPECT_STREQ(item.error_text, "");
    ASSERT_EQ(QuentixClientUpdate_GetProgress(&q.update, &item), 0);
    EXPECT_EQ(item.kind, 3);
    EXPECT_EQ(item.error, 5);
    EXPECT_STREQ(item.error_text, "Update thread: Camera replied with error");
    EXPECT_EQ(QuentixClientUpdate_GetProgress(&q.update, &item), 51);
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuentixClientUpdate_GetProgress(&q.update, &item), 4);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - QuentixClientUpdate_GetProgress: Wrong struct size 100\n");
    EXPECT_EQ(QuentixClientUpdate_GetProgress(&q.update, &item), 53);
}

TEST_F(QuentixClientUpdateTest, FullQueueRefusesFurtherItems)
{
    QueueOnly q;
    for (int i = 0; i < 100; ++i)
        _ReportProgress(&q.update, 4, 0, 0, i, "", 0, nullptr);
    testing::internal::CaptureStdout();
    _ReportProgress(&q.update, 4, 0, 0, 100, "", 0, nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[ERROR] - _ReportProgress: fifo_push failed\n"), std::string::npos) << out;
    EXPECT_EQ(fifo_get_count(q.update.progress), 100);
    UpdateProgress_T item;
    ASSERT_EQ(QuentixClientUpdate_GetProgress(&q.update, &item), 0);
    EXPECT_EQ(item.progress, 0); // the oldest stays first

    QuentixUpdate_T no_queue{};
    testing::internal::CaptureStdout();
    _ReportProgress(&no_queue, 4, 0, 0, 1, "", 0, nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "[ERROR] - _ReportProgress: NULL fifo handle\n");
}

TEST_F(QuentixClientUpdateTest, UploadCallbackWithoutUploadReportsNothing)
{
    // No update uploads on this thread: the callback has nowhere to report.
    testing::internal::CaptureStdout();
    _InternalUploadCallback(10, 100);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

} // namespace
