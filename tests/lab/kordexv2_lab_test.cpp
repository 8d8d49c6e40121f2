// KORDEX V2 cameras of camsim seen from the PC host of a lab, through the
// library's own sockets, framing, headers and field readers.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "client/factory_param.h"
#include "lab_client.h"
#include "lab_fixture.h"

namespace {

using lab::Connection;
using lab::Fields;
using lab::Message;
using lab::request;

constexpr int32_t kWindowMs = 1000;

// Answers sorted by the camera address they carry.
std::vector<Message> byIp(std::vector<Message> answers)
{
    std::sort(answers.begin(), answers.end(),
              [](const Message &a, const Message &b) { return a.text(MV_DATA_CODE_IP) < b.text(MV_DATA_CODE_IP); });
    return answers;
}

std::string macOf(const Message &m)
{
    char text[18];
    const uint8_t *w = m.header.mac_address;
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", w[5], w[4], w[3], w[2], w[1], w[0]);
    return text;
}

// A settings file that lives as long as the test process.
class ConfigFile final {
public:
    explicit ConfigFile(const std::string &text)
    {
        char path[] = "/tmp/camsim-config-XXXXXX";
        const int fd = mkstemp(path);
        if (fd >= 0)
            close(fd);
        path_ = path;
        std::ofstream(path_) << text;
    }
    ~ConfigFile() { unlink(path_.c_str()); }
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// ------------------------------------------------------------------ discovery

class DiscoveryLab : public lab::LabTest {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        static const ConfigFile config("[camsim]\n"
                                                      "cameras = 3\n"
                                                      "[camera]\n"
                                                      "device_type = KXV2-300\n"
                                                      "apps = anpr:12, webui:13\n"
                                                      "[camera 2]\n"
                                                      "serial = 777\n"
                                                      "netbios = GATE-NORTH\n"
                                                      "board_code = 5\n"
                                                      "mac = 00:50:C2:52:88:99\n");
        return {"--config", config.path()};
    }
};

TEST_F(DiscoveryLab, BroadcastIsAnsweredByEveryCameraWithItsDescription)
{
    const auto answers = byIp(lab::broadcast(lab_->pcIp(), request(NTCP_CMD_DISCOVERY), kWindowMs));
    ASSERT_EQ(answers.size(), 3u);

    const struct {
        const char *ip, *mac, *netbios;
        int32_t serial, board;
    } expected[] = {
        {"198.18.1.10", "00:50:C2:52:01:0A", "KORDEX-001", 24050001, 42},
        {"198.18.1.11", "00:50:C2:52:88:99", "GATE-NORTH", 777, 5},
        {"198.18.1.12", "00:50:C2:52:01:0C", "KORDEX-003", 24050003, 42},
    };
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i].ip);
        const Message &m = answers[i];
        EXPECT_EQ(m.header.command, NTCP_CMD_DISCOVERY);
        EXPECT_NE(m.header.flags & NTCP_FLAG_RESPONSE, 0u);
        EXPECT_EQ(m.header.flags & NTCP_FLAG_ERROR, 0u);
        ASSERT_NE(m.header.flags & NTCP_FLAG_MAC_ADDRESS, 0u);
        EXPECT_EQ(macOf(m), expected[i].mac);
        EXPECT_EQ(m.text(MV_DATA_CODE_IP), expected[i].ip);
        EXPECT_EQ(m.text(MV_DATA_CODE_MAC_ADDRESS), expected[i].mac);
        EXPECT_EQ(m.text(MV_DATA_CODE_DEVICE_TYPE), "KXV2-300");
        EXPECT_EQ(m.text(MV_DATA_CODE_NETBIOSNAME), expected[i].netbios);
        EXPECT_EQ(m.number(MV_DATA_CODE_SERIAL_NUMBER), expected[i].serial);
        EXPECT_EQ(m.number(MV_DATA_CODE_BOARD_CODE), expected[i].board);
        const auto apps = m.groups(MV_DATA_CODE_APPLICATION);
        ASSERT_EQ(apps.size(), 2u);
        Message app;
        app.payload = apps[1];
        EXPECT_EQ(app.text(MV_DATA_CODE_APPLICATION_NAME), "webui");
        EXPECT_EQ(app.number(MV_DATA_CODE_APPLICATION_STATE), 13);
    }
    EXPECT_EQ(lab_->recordLinesWith({"cmd=0xAA00", "via=udp"}).size(), 3u);
}

TEST_F(DiscoveryLab, BroadcastWithTargetMacIsAnsweredByThatCameraOnly)
{
    NTCPHeader_T h = request(NTCP_CMD_DISCOVERY);
    lab::setTargetMac(h, "00:50:C2:52:88:99");
    const auto answers = lab::broadcast(lab_->pcIp(), h, kWindowMs);
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].text(MV_DATA_CODE_IP), "198.18.1.11");
    EXPECT_EQ(macOf(answers[0]), "00:50:C2:52:88:99");

    const auto recorded = lab_->recordLinesWith({"cmd=0xAA00"});
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_NE(recorded[0].find("cam=198.18.1.11 "), std::string::npos);
    EXPECT_NE(recorded[0].find("mac=00:50:C2:52:88:99"), std::string::npos);
}

TEST_F(DiscoveryLab, SetInterfaceByMacChangesOnlyThatCamera)
{
    NTCPHeader_T h = request(NTCP_CMD_SET_NETWORK_INTERFACE);
    lab::setTargetMac(h, "00:50:C2:52:88:99");
    Fields settings;
    settings.text(MV_DATA_CODE_INTERFACE_NAME, "eth0")
        .text(MV_DATA_CODE_IP, "198.18.7.7")
        .text(MV_DATA_CODE_NETMASK, "255.255.0.0")
        .text(MV_DATA_CODE_GATEWAY, "198.18.0.254");
    const auto acks = lab::broadcast(lab_->pcIp(), h, 500, &settings);
    ASSERT_EQ(acks.size(), 1u);
    EXPECT_EQ(acks[0].header.command, NTCP_CMD_SET_NETWORK_INTERFACE);
    EXPECT_EQ(acks[0].header.flags & NTCP_FLAG_ERROR, 0u);

    for (const auto &ip : lab_->cameraIps()) {
        SCOPED_TRACE(ip);
        Connection c(lab_->pcIp(), ip);
        ASSERT_TRUE(c.ok());
        Message info;
        ASSERT_EQ(c.exchange(request(NTCP_CMD_GET_DEVICE_INFO), info), NTCP_OK);
        const auto interfaces = info.groups(MV_DATA_CODE_INTERFACE);
        ASSERT_FALSE(interfaces.empty());
        Message wired;
        wired.payload = interfaces[0];
        EXPECT_EQ(wired.text(MV_DATA_CODE_IP), ip == "198.18.1.11" ? "198.18.7.7" : ip);
    }
    const auto recorded = lab_->recordLinesWith({"cmd=0xAA01"});
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_NE(recorded[0].find("cam=198.18.1.11 "), std::string::npos);
}

// ------------------------------------------------------------------ one camera over TCP

class CameraLab : public lab::LabTest {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        return {"--cameras", "1", "--set", "gmt_time=2024-02-29 23:30:15.250", "--set", "tz_offset_min=60",
                "--set", "timezone=CET-1CEST", "--set", "fpga=0x00020104,0x00010003,77", "--set",
                "value_12025=12025"};
    }
    void SetUp() override
    {
        lab::LabTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        camera_ = std::make_unique<Connection>(lab_->pcIp(), lab_->cameraIps().at(0));
        ASSERT_TRUE(camera_->ok());
    }
    void TearDown() override
    {
        camera_.reset();
        lab::LabTest::TearDown();
    }
    Message info()
    {
        Message m;
        EXPECT_EQ(camera_->exchange(request(NTCP_CMD_GET_DEVICE_INFO), m), NTCP_OK);
        return m;
    }
    std::unique_ptr<Connection> camera_;
};

TEST_F(CameraLab, InformationCarriesVersionsClocksFactoryBlockAndInterfaces)
{
    const Message m = info();
    EXPECT_EQ(m.header.command, NTCP_CMD_GET_DEVICE_INFO);
    EXPECT_EQ(m.text(MV_DATA_CODE_IP), "198.18.1.10");
    EXPECT_EQ(m.text(MV_DATA_CODE_BOOT_VERSION), "1.4.2");
    EXPECT_EQ(m.text(MV_DATA_CODE_KERNEL_VERSION), "5.10.120");
    EXPECT_EQ(m.text(MV_DATA_CODE_TIMEZONE), "CET-1CEST");
    EXPECT_EQ(m.number(MV_DATA_CODE_DEVICE_VALUE_12025), 12025);

    // Every FPGA version goes out, in order.
    const auto fpga = m.groups(MV_DATA_CODE_FPGA_VERSION);
    ASSERT_EQ(fpga.size(), 3u);
    EXPECT_EQ(fpga[0], (std::vector<uint8_t>{0x04, 0x01, 0x02, 0x00}));
    EXPECT_EQ(fpga[1], (std::vector<uint8_t>{0x03, 0x00, 0x01, 0x00}));

    // Day first, then month, year, hour, minute, second, millisecond (16-bit words).
    const auto gmt = m.groups(MV_DATA_CODE_GMT_DATETIME);
    ASSERT_EQ(gmt.size(), 1u);
    EXPECT_EQ(gmt[0], (std::vector<uint8_t>{29, 2, 0xE8, 0x07, 23, 0, 30, 0, 15, 0, 0xFA, 0x00}));
    const auto local = m.groups(MV_DATA_CODE_LOCAL_DATETIME);
    ASSERT_EQ(local.size(), 1u);
    EXPECT_EQ(local[0], (std::vector<uint8_t>{1, 3, 0xE8, 0x07, 0, 0, 30, 0, 15, 0, 0xFA, 0x00}));

    FactoryParam_T factory{};
    ASSERT_EQ(ExtractFactoryParam(&factory, m.payload.data(), static_cast<int32_t>(m.payload.size())), NTCP_OK);
    EXPECT_STREQ(factory.text_3002, "KX-FACT");
    EXPECT_EQ(factory.head_count, 2);
    EXPECT_STREQ(factory.heads[1].text_3021, "HEAD-B");
    EXPECT_EQ(factory.heads[1].value_3029, 18);

    const auto interfaces = m.groups(MV_DATA_CODE_INTERFACE);
    ASSERT_EQ(interfaces.size(), 2u);
    Message wired, wifi;
    wired.payload = interfaces[0];
    wifi.payload = interfaces[1];
    int32_t result = 0;
    EXPECT_EQ(wired.text(MV_DATA_CODE_INTERFACE_NAME), "eth0");
    EXPECT_EQ(wired.text(MV_DATA_CODE_NETMASK), "255.254.0.0");
    wired.text(MV_DATA_CODE_WIFI_SSID, &result);
    EXPECT_EQ(result, NTCP_ERR_NOT_FOUND);
    EXPECT_EQ(wifi.text(MV_DATA_CODE_INTERFACE_NAME), "wlan0");
    EXPECT_EQ(wifi.text(MV_DATA_CODE_WIFI_SSID), "KORDEX-001");
    EXPECT_EQ(wifi.number(MV_DATA_CODE_WIFI_MODE), 1);
    EXPECT_EQ(wifi.number(MV_DATA_CODE_WIFI_CHANNEL), 6);
}

TEST_F(CameraLab, SetInterfaceShowsInLaterAnswersAndUnknownInterfaceIsRefused)
{
    Message ack;
    Fields wifi;
    wifi.text(MV_DATA_CODE_INTERFACE_NAME, "wlan0")
        .number(MV_DATA_CODE_DHCP, 1)
        .text(MV_DATA_CODE_WIFI_SSID, "yard")
        .number(MV_DATA_CODE_WIFI_MODE, 2)
        .number(MV_DATA_CODE_WIFI_CHANNEL, 11);
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_SET_NETWORK_INTERFACE), ack, &wifi), NTCP_OK);
    EXPECT_EQ(ack.header.flags & NTCP_FLAG_ERROR, 0u);

    Fields unknown;
    unknown.text(MV_DATA_CODE_INTERFACE_NAME, "eth9").number(MV_DATA_CODE_DHCP, 1);
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_SET_NETWORK_INTERFACE), ack, &unknown), NTCP_OK);
    EXPECT_NE(ack.header.flags & NTCP_FLAG_ERROR, 0u);
    EXPECT_EQ(ack.header.error, 22);

    const auto interfaces = info().groups(MV_DATA_CODE_INTERFACE);
    ASSERT_EQ(interfaces.size(), 2u);
    Message changed;
    changed.payload = interfaces[1];
    EXPECT_EQ(changed.number(MV_DATA_CODE_DHCP), 1);
    EXPECT_EQ(changed.text(MV_DATA_CODE_WIFI_SSID), "yard");
    EXPECT_EQ(changed.number(MV_DATA_CODE_WIFI_MODE), 2);
    EXPECT_EQ(changed.number(MV_DATA_CODE_WIFI_CHANNEL), 11);
    // The passphrase was not sent, so the camera has none any more.
    int32_t result = 0;
    changed.text(MV_DATA_CODE_WIFI_PASSPHRASE, &result);
    EXPECT_EQ(result, NTCP_ERR_NOT_FOUND);
}

TEST_F(CameraLab, RebootIsAcknowledgedRecordedAndDropsTheConnection)
{
    Fields options;
    options.number(MV_DATA_CODE_SAFEBOOT, 1).number(MV_DATA_CODE_REBOOT_OPTION, 1);
    Message ack;
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_REBOOT), ack, &options), NTCP_OK);
    EXPECT_EQ(ack.header.command, NTCP_CMD_REBOOT);
    Message none;
    EXPECT_EQ(camera_->receive(none), NTCP_ERR_CLOSED);

    const auto recorded = lab_->recordLinesWith({"cmd=0xAA02"});
    ASSERT_EQ(recorded.size(), 1u);
    // (3145730, 4, 1) then (3145742, 4, 1), little-endian words.
    EXPECT_NE(recorded[0].find("size=24 payload=020030000400000001000000"
                               "0e0030000400000001000000"),
              std::string::npos)
        << recorded[0];
}

TEST_F(CameraLab, FactoryBlockAndCodesAreKeptAsSet)
{
    FactoryParam_T written{};
    std::fill_n(reinterpret_cast<int32_t *>(&written), sizeof written / 4, FACTORY_NOT_SET);
    std::snprintf(written.text_3002, sizeof written.text_3002, "AB");
    written.value_3001 = 7;
    written.head_count = 1;
    std::snprintf(written.heads[0].text_3021, sizeof written.heads[0].text_3021, "H");
    written.heads[0].value_3022 = 5;
    uint8_t *payload = nullptr;
    int32_t used = 0, allocated = 0;
    ASSERT_EQ(PutFactoryParam(&written, &payload, &used, &allocated), NTCP_OK);
    ASSERT_EQ(camera_->send(request(NTCP_CMD_SET_FACTORY_PARAM), payload, used), NTCP_OK);
    std::free(payload);
    Message m;
    ASSERT_EQ(camera_->receive(m), NTCP_OK);
    EXPECT_EQ(m.header.flags & NTCP_FLAG_ERROR, 0u);

    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_GET_FACTORY_PARAM), m), NTCP_OK);
    FactoryParam_T read{};
    ASSERT_EQ(ExtractFactoryParam(&read, m.payload.data(), static_cast<int32_t>(m.payload.size())), NTCP_OK);
    EXPECT_STREQ(read.text_3002, "AB");
    EXPECT_EQ(read.value_3001, 7);
    EXPECT_EQ(read.value_3003, FACTORY_NOT_SET);
    EXPECT_EQ(read.head_count, 1);
    EXPECT_EQ(read.heads[0].value_3022, 5);

    Fields codes;
    codes.text(MV_DATA_CODE_FACTORY_CODES, "ZX-42");
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_SET_FACTORY_CODES), m, &codes), NTCP_OK);
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_GET_FACTORY_CODES), m), NTCP_OK);
    EXPECT_EQ(m.text(MV_DATA_CODE_FACTORY_CODES), "ZX-42");

    Fields command;
    command.text(MV_DATA_CODE_APPLICATION, "restart anpr");
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_EXECUTE_ASYNC), m, &command), NTCP_OK);
    EXPECT_EQ(m.header.command, NTCP_CMD_EXECUTE_ASYNC);
    EXPECT_EQ(lab_->recordLinesWith({"cmd=0xAB00"}).size(), 1u);
}

TEST_F(CameraLab, KeepAliveIsAnsweredUnderItsOwnId)
{
    Message m;
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_KEEPALIVE, NTCP_IDENT_KEEPALIVE), m), NTCP_OK);
    EXPECT_EQ(m.header.command, NTCP_CMD_KEEPALIVE);
    EXPECT_EQ(m.header.ntcp_id, NTCP_IDENT_KEEPALIVE);
}

// The update stream: acknowledgement, the feedback messages in order, the end.
std::vector<Message> runUpdate(Connection &camera, int32_t &first_result)
{
    Fields update;
    update.number(MV_DATA_CODE_UPDATE_HEADER, 10).bytes(MV_DATA_CODE_UPDATE_PAYLOAD, std::vector<uint8_t>(1000, 0x5A));
    std::vector<Message> messages;
    first_result = camera.send(request(NTCP_CMD_UPDATE_START), update.data(), update.size());
    for (int i = 0; i < 20 && first_result == NTCP_OK; ++i) {
        Message m;
        first_result = camera.receive(m);
        if (first_result != NTCP_OK)
            break;
        messages.push_back(m);
        if (m.header.command == NTCP_CMD_UPDATE_END || (m.header.flags & NTCP_FLAG_ERROR) != 0)
            break;
    }
    return messages;
}

TEST_F(CameraLab, UpdateStreamIsAcknowledgedThenFedBackThenEnded)
{
    int32_t result = 0;
    const auto messages = runUpdate(*camera_, result);
    ASSERT_EQ(result, NTCP_OK);
    ASSERT_EQ(messages.size(), 7u);
    EXPECT_EQ(messages[0].header.command, NTCP_CMD_UPDATE_START);
    const struct {
        int32_t status, progress;
        const char *text;
    } feedback[] = {{16, 0, "init"}, {32, 5, "start"}, {64, 40, "copy"}, {64, 80, "verify"}, {256, 100, "done"}};
    for (size_t i = 0; i < 5; ++i) {
        const Message &m = messages[i + 1];
        EXPECT_EQ(m.header.command, NTCP_CMD_UPDATE_DATA);
        EXPECT_EQ(m.number(MV_DATA_CODE_UPDATE_STATUS), feedback[i].status);
        EXPECT_EQ(m.number(MV_DATA_CODE_UPDATE_PROGRESS), feedback[i].progress);
        EXPECT_EQ(m.text(MV_DATA_CODE_UPDATE_MESSAGE), feedback[i].text);
    }
    EXPECT_EQ(messages[6].header.command, NTCP_CMD_UPDATE_END);
    EXPECT_EQ(lab_->recordLinesWith({"cmd=0xADA7", "size=1020"}).size(), 1u);
}

TEST_F(CameraLab, UpdateOfTenMebibytesAndMoreIsTakenWhole)
{
    // From 10 MiB on the framing cuts the payload into 20 chunks; the camera must
    // read them all as one message and stay in step for the next one.
    Fields update;
    update.number(MV_DATA_CODE_UPDATE_HEADER, 10)
        .bytes(MV_DATA_CODE_UPDATE_PAYLOAD, std::vector<uint8_t>(16 * 1024 * 1024 + 7, 0xA5));
    Message m;
    ASSERT_EQ(camera_->send(request(NTCP_CMD_UPDATE_START), update.data(), update.size()), NTCP_OK);
    ASSERT_EQ(camera_->receive(m), NTCP_OK);
    EXPECT_EQ(m.header.command, NTCP_CMD_UPDATE_START);
    EXPECT_EQ(m.header.flags & NTCP_FLAG_ERROR, 0u);
    EXPECT_EQ(lab_->recordLinesWith({"cmd=0xADA7", "size=" + std::to_string(update.size())}).size(), 1u);
}

// ------------------------------------------------------------------ misbehaviour

template <const char *... Args> class MisbehavingLab : public CameraLab {
protected:
    std::vector<std::string> camsimArgs() const override { return {"--cameras", "1", Args...}; }
};

constexpr char kSet[] = "--set";
constexpr char kRefuse12[] = "refuse=12";
constexpr char kRefuseUpdate[] = "refuse_commands=0xADA7";
constexpr char kDropAfter2[] = "drop_stream_after=2";
constexpr char kKeepAliveFirst[] = "keepalive_answer_first=1";
constexpr char kKeepAliveIgnore[] = "keepalive_ignore=2";
constexpr char kMalformedField[] = "malformed=field";
constexpr char kMalformedHeader[] = "malformed=header";
constexpr char kDelay[] = "delay_ms=400";

using RefusingLab = MisbehavingLab<kSet, kRefuse12>;
using RefusingUpdateLab = MisbehavingLab<kSet, kRefuse12, kSet, kRefuseUpdate>;
using DroppingLab = MisbehavingLab<kSet, kDropAfter2>;
using KeepAliveLab = MisbehavingLab<kSet, kKeepAliveFirst, kSet, kKeepAliveIgnore>;
using FieldLab = MisbehavingLab<kSet, kMalformedField>;
using HeaderLab = MisbehavingLab<kSet, kMalformedHeader>;
using LateLab = MisbehavingLab<kSet, kDelay>;

TEST_F(RefusingLab, EveryCommandButKeepAliveIsRefusedWithTheCode)
{
    Message m;
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_GET_DEVICE_INFO), m), NTCP_OK);
    EXPECT_EQ(m.header.command, NTCP_CMD_GET_DEVICE_INFO);
    EXPECT_NE(m.header.flags & NTCP_FLAG_ERROR, 0u);
    EXPECT_EQ(m.header.error, 12);
    EXPECT_TRUE(m.payload.empty());
    ASSERT_EQ(camera_->exchange(request(NTCP_CMD_KEEPALIVE, NTCP_IDENT_KEEPALIVE), m), NTCP_OK);
    EXPECT_EQ(m.header.flags & NTCP_FLAG_ERROR, 0u);
}

TEST_F(RefusingUpdateLab, RefusedUpdateGetsNoFeedback)
{
    int32_t result = 0;
    const auto messages = runUpdate(*camera_, result);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].header.error, 12);
    Message late;
    EXPECT_EQ(camera_->receive(late, 0), NTCP_ERR_TIMEOUT);
    // Other commands are not refused.
    EXPECT_EQ(info().header.flags & NTCP_FLAG_ERROR, 0u);
}

TEST_F(DroppingLab, ConnectionClosesInTheMiddleOfTheFeedback)
{
    int32_t result = 0;
    const auto messages = runUpdate(*camera_, result);
    EXPECT_EQ(result, NTCP_ERR_CLOSED);
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[2].header.command, NTCP_CMD_UPDATE_DATA);
}

TEST_F(KeepAliveLab, KeepAlivesGoUnansweredForAWhileThenAnsweredAgain)
{
    const bool expected[] = {true, false, false, true};
    for (bool answered : expected) {
        Message m;
        ASSERT_EQ(camera_->send(request(NTCP_CMD_KEEPALIVE, NTCP_IDENT_KEEPALIVE)), NTCP_OK);
        // A command behind the keep-alive shows that the camera has handled it.
        ASSERT_EQ(camera_->send(request(NTCP_CMD_GET_FACTORY_CODES)), NTCP_OK);
        ASSERT_EQ(camera_->receive(m), NTCP_OK);
        if (answered) {
            EXPECT_EQ(m.header.command, NTCP_CMD_KEEPALIVE);
            ASSERT_EQ(camera_->receive(m), NTCP_OK);
        }
        EXPECT_EQ(m.header.command, NTCP_CMD_GET_FACTORY_CODES);
    }
}

TEST_F(FieldLab, AnswerWithAFieldRunningPastItsEndIsRefusedByTheReader)
{
    const Message m = info();
    ASSERT_FALSE(m.payload.empty());
    EXPECT_EQ(Interpreter_SearchCode(nullptr, nullptr, m.payload.data(), static_cast<int32_t>(m.payload.size()),
                                     0x7777),
              NTCP_ERR_BUFFER);
}

TEST_F(HeaderLab, AnswerWithAWrongHeaderIsRefusedOverTcpAndUdp)
{
    Message m;
    EXPECT_EQ(camera_->exchange(request(NTCP_CMD_GET_DEVICE_INFO), m), NTCP_ERR_HANDLE);
    std::vector<int32_t> results;
    const auto answers = lab::broadcast(lab_->pcIp(), request(NTCP_CMD_DISCOVERY), 500, nullptr, &results);
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(results, std::vector<int32_t>{NTCP_ERR_HANDLE});
}

TEST_F(LateLab, AnswerComesOnlyAfterTheDelay)
{
    ASSERT_EQ(camera_->send(request(NTCP_CMD_GET_FACTORY_CODES)), NTCP_OK);
    Message m;
    EXPECT_EQ(camera_->receive(m, 0), NTCP_ERR_TIMEOUT);
    EXPECT_EQ(camera_->receive(m), NTCP_OK);
    EXPECT_EQ(m.header.command, NTCP_CMD_GET_FACTORY_CODES);
}

} // namespace
