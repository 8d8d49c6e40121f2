// Camera handles without a camera, the discovery's refusals and its filters.
// Discovery against cameras is in the lab tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client/QuentixClient.h"
#include "runtime/cross_sys.h"

namespace {

class Printing : public ::testing::Test {
protected:
    void SetUp() override { ntcp_printf_set_level(NTCP_SEVERITY_DEBUG); }
    void TearDown() override { ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL); }
};

using QuentixClientHandleTest = Printing;

TEST_F(QuentixClientHandleTest, MacHandleKeepsItsTextsCutAndOpensNothing)
{
    QuentixClient_T *h = QuentixClient_OpenSingleMAC("198.18.000.001-and-more-text", 42000, "00:50:C2:52:88:99", 750);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->struct_size, 100);
    EXPECT_STREQ(h->local_address, "198.18.000.001-and-more");
    EXPECT_EQ(std::strlen(h->local_address), 23u);
    EXPECT_STREQ(h->remote_mac, "00:50:C2:52:88:99");
    EXPECT_STREQ(h->remote_address, "");
    EXPECT_EQ(h->port, 42000);
    EXPECT_EQ(h->timeout_ms, 750);
    EXPECT_EQ(h->transport, 1);
    EXPECT_EQ(h->keepalive_ms, 0);
    EXPECT_EQ(h->client, nullptr);
    EXPECT_EQ(QuentixClient_Close(&h), 0);
    EXPECT_EQ(h, nullptr);
}

TEST_F(QuentixClientHandleTest, CloseRefusesWhatIsNoHandle)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuentixClient_Close(nullptr), 2);
    QuentixClient_T *h = nullptr;
    EXPECT_EQ(QuentixClient_Close(&h), 4);
    h = QuentixClient_OpenSingleMAC("127.0.0.1", 42000, "00:50:C2:52:88:99", 100);
    EXPECT_EQ(QuentixClient_Close(&h), 0);
    EXPECT_EQ(QuentixClient_Close(&h), 4); // a second close
    QuentixClient_T fake{};
    fake.struct_size = 99;
    QuentixClient_T *p = &fake;
    EXPECT_EQ(QuentixClient_Close(&p), 4);
    EXPECT_EQ(p, &fake);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - QuentixClient_Close: NULL parameters\n"
              "[ERROR] - QuentixClient_Close: CheckClientHandle failed\n"
              "[ERROR] - QuentixClient_Close: CheckClientHandle failed\n"
              "[ERROR] - QuentixClient_Close: CheckClientHandle failed\n");
}

TEST_F(QuentixClientHandleTest, OpenWithoutCameraGivesNull)
{
    // Nothing listens on loopback's port 9: the connection is refused at once.
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuentixClient_OpenTCP("127.0.0.1", "127.0.0.1", 9, 500, 0), nullptr);
    EXPECT_EQ(QuentixClient_OpenTCP(nullptr, "127.0.0.1", 9, 500, 0), nullptr);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[ERROR] - QuentixClient_OpenTCP: client open failed ("), std::string::npos) << out;
    EXPECT_NE(out.find("[ERROR] - QuentixClient_OpenTCP: client open failed (2)\n"), std::string::npos) << out;
}

using QuentixClientDiscoveryTest = Printing;

TEST_F(QuentixClientDiscoveryTest, RefusesArgumentsBeforeSending)
{
    DiscoveryDev_T devices[2];
    int32_t found = 7;
    testing::internal::CaptureStdout();
    EXPECT_EQ(QuentixClient_Discovery(nullptr, 42000, 100, devices, 2, &found, nullptr, 0), 2);
    EXPECT_EQ(QuentixClient_Discovery("127.0.0.1", 42000, 100, nullptr, 2, &found, nullptr, 0), 2);
    EXPECT_EQ(QuentixClient_Discovery("127.0.0.1", 42000, 100, devices, 2, nullptr, nullptr, 0), 2);
    EXPECT_EQ(QuentixClient_Discovery("127.0.0.1", 42000, 100, devices, 0, &found, nullptr, 0), 5);
    EXPECT_EQ(QuentixClient_Discovery("127.0.0.1", 42000, 100, devices, -1, &found, nullptr, 0), 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - QuentixClient_Discovery: NULL parameters\n"
              "[ERROR] - QuentixClient_Discovery: NULL parameters\n"
              "[ERROR] - QuentixClient_Discovery: NULL parameters\n"
              "[ERROR] - QuentixClient_Discovery: devices_size must be greater then 0\n"
              "[ERROR] - QuentixClient_Discovery: devices_size must be greater then 0\n");
    EXPECT_EQ(found, 7);
}

DiscoveryFilter_T filter(int32_t kind, const char *text, int32_t value = 0)
{
    DiscoveryFilter_T f;
    std::memset(&f, 0, sizeof f);
    f.kind = kind;
    f.value = value;
    std::strncpy(f.text, text, sizeof f.text - 1);
    return f;
}

DiscoveryDev_T device()
{
    DiscoveryDev_T d;
    std::memset(&d, 0, sizeof d);
    std::strcpy(d.ip, "198.18.1.11");
    std::strcpy(d.device_type, "KXV2-200");
    d.machine_code = 5;
    d.app_count = 2;
    std::strcpy(d.apps[0].name, "anpr-engine");
    std::strcpy(d.apps[1].name, "webui");
    return d;
}

TEST_F(QuentixClientDiscoveryTest, FiltersDecideInArrayOrder)
{
    struct Case {
        const char *name;
        std::vector<DiscoveryFilter_T> filters;
        int32_t keep;
        const char *printed;
    };
    const Case cases[] = {
        {"type lacking, then app present", {filter(100, "KXV3"), filter(300, "anpr")}, 1,
         "[DEBUG] - QuentixClient_Discovery: Device type KXV2-200 skipped...\n"},
        {"app present, then type lacking", {filter(300, "anpr"), filter(100, "KXV3")}, 0,
         "[DEBUG] - QuentixClient_Discovery: Device type KXV2-200 skipped...\n"},
        {"type contained", {filter(100, "V2-2")}, 1, ""},
        {"no application contains the text", {filter(300, "ota")}, 0,
         "[DEBUG] - QuentixClient_Discovery: App name ota skipped...\n"},
        {"machine code equal", {filter(200, "", 5)}, 0,
         "[DEBUG] - QuentixClient_Discovery: Machine Code 5 skipped...\n"},
        {"machine code other", {filter(200, "", 42)}, 1, ""},
        {"IP equal", {filter(400, "198.18.1.11")}, 1, ""},
        {"IP other", {filter(400, "198.18.1.1")}, 0, "[DEBUG] - QuentixClient_Discovery: IP 198.18.1.11 skipped...\n"},
        {"unknown kind", {filter(500, "")}, 1, "[WARNING] - QuentixClient_Discovery: Unknown filter 500 skipped...\n"},
    };
    const DiscoveryDev_T d = device();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStdout();
        EXPECT_EQ(DiscoveryFilterKeeps(&d, c.filters.data(), static_cast<int32_t>(c.filters.size())), c.keep);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), c.printed);
    }

    // A device without applications never passes an application filter.
    DiscoveryDev_T bare = d;
    bare.app_count = 0;
    const DiscoveryFilter_T any = filter(300, "");
    EXPECT_EQ(DiscoveryFilterKeeps(&bare, &any, 1), 0);

    // A filter text that fills its whole field is read up to the field's end only.
    DiscoveryFilter_T full = filter(100, "");
    std::memset(full.text, 'K', sizeof full.text);
    EXPECT_EQ(DiscoveryFilterKeeps(&d, &full, 1), 0);
}

} // namespace
