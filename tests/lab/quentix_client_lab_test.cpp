// The device client against camsim cameras across the lab: discovery and its
// filters, device information, commands through address and MAC handles, refusals,
// and firmware updates followed through their progress items.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "client/QuentixClient.h"
#include "client/QuentixClientCommand.h"
#include "client/QuentixClientUpdate.h"
#include "lab_fixture.h"
#include "runtime/cross_sys.h"

namespace {

constexpr int32_t kPort = 42000;
constexpr int32_t kWindowMs = 1000;

std::string captured(const std::function<void()> &run)
{
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

DiscoveryFilter_T filter(int32_t kind, const std::string &text, int32_t value = 0)
{
    DiscoveryFilter_T f;
    std::memset(&f, 0, sizeof f);
    f.kind = kind;
    f.value = value;
    std::strncpy(f.text, text.c_str(), sizeof f.text - 1);
    return f;
}

// What camsim's default cameras report (camera i from 0).
struct Expected {
    std::string ip, mac, netbios;
    int32_t serial;
};

Expected expectedCamera(int i)
{
    char mac[18], netbios[24];
    std::snprintf(mac, sizeof mac, "00:50:C2:52:01:%02X", 0x0A + i);
    std::snprintf(netbios, sizeof netbios, "KORDEX-%03d", i + 1);
    return {"198.18.1." + std::to_string(10 + i), mac, netbios, 24050001 + i};
}

class QuentixLab : public lab::LabTest {
protected:
    void SetUp() override
    {
        ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL);
        lab::LabTest::SetUp();
    }
    void TearDown() override
    {
        ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL);
        lab::LabTest::TearDown();
    }

    int32_t discover(std::vector<DiscoveryDev_T> &devices, int32_t &found,
                     const std::vector<DiscoveryFilter_T> &filters = {})
    {
        return QuentixClient_Discovery(lab_->pcIp().c_str(), kPort, kWindowMs, devices.data(),
                                       static_cast<int32_t>(devices.size()), &found,
                                       filters.empty() ? nullptr : filters.data(),
                                       static_cast<int32_t>(filters.size()));
    }
    QuentixClient_T *open(int camera)
    {
        return QuentixClient_OpenTCP(lab_->pcIp().c_str(), lab_->cameraIps().at(camera).c_str(), kPort, 2000, 0);
    }
    std::set<std::string> ipsOf(const std::vector<DiscoveryDev_T> &devices, int32_t count)
    {
        std::set<std::string> ips;
        for (int32_t i = 0; i < count && i < static_cast<int32_t>(devices.size()); ++i)
            ips.insert(devices[i].ip);
        return ips;
    }
};

// ------------------------------------------------------------------ discovery

class DiscoveryLab : public QuentixLab {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        return {"--cameras", "3", "--set", "2.board_code=5", "--set", "2.apps=anpr-engine:12,webui:13"};
    }
};

TEST_F(DiscoveryLab, ThreeCamerasAreDecodedFieldByField)
{
    std::vector<DiscoveryDev_T> devices(10);
    int32_t found = -1;
    ASSERT_EQ(discover(devices, found), 0);
    ASSERT_EQ(found, 3);
    devices.resize(3);
    std::sort(devices.begin(), devices.end(),
              [](const DiscoveryDev_T &a, const DiscoveryDev_T &b) { return std::strcmp(a.ip, b.ip) < 0; });
    for (int i = 0; i < 3; ++i) {
        const Expected e = expectedCamera(i);
        SCOPED_TRACE(e.ip);
        const DiscoveryDev_T &d = devices[i];
        EXPECT_EQ(d.struct_size, 2792);
        EXPECT_EQ(d.ip, e.ip);
        EXPECT_EQ(d.mac, e.mac);
        EXPECT_STREQ(d.device_type, "KXV2-200");
        EXPECT_EQ(d.netbios_name, e.netbios);
        EXPECT_EQ(d.serial_number, e.serial);
        EXPECT_EQ(d.machine_code, i == 1 ? 5 : 42);
        if (i == 1) {
            ASSERT_EQ(d.app_count, 2);
            EXPECT_STREQ(d.apps[1].name, "webui");
            EXPECT_EQ(d.apps[1].state, 13);
        } else {
            ASSERT_EQ(d.app_count, 3);
            EXPECT_STREQ(d.apps[0].name, "anpr-engine");
            EXPECT_EQ(d.apps[0].state, 12);
            EXPECT_STREQ(d.apps[2].name, "ota-agent");
            EXPECT_EQ(d.apps[2].state, 14);
        }
    }
}

TEST_F(DiscoveryLab, SmallArrayStoresWhatFitsAndCountsEveryCamera)
{
    std::vector<DiscoveryDev_T> devices(2);
    std::memset(&devices[1], 0x5A, sizeof devices[1]);
    devices.resize(1); // capacity 1; the record behind it must stay untouched
    DiscoveryDev_T *storage = devices.data();
    int32_t found = -1;
    int32_t result = -1;
    const std::string out = captured([&] {
        result = QuentixClient_Discovery(lab_->pcIp().c_str(), kPort, kWindowMs, storage, 1, &found, nullptr, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(found, 3);
    EXPECT_EQ(storage[0].struct_size, 2792);
    EXPECT_NE(out.find("[INFO] - QuentixClient_Discovery: Found 3 devices\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[WARNING] - QuentixClient_Discovery: Found 3 devices but output buffer lenght 1\n"),
              std::string::npos)
        << out;
}

TEST_F(DiscoveryLab, FiltersInBothOrdersAndByMachineCodeAndAddress)
{
    struct Case {
        const char *name;
        std::vector<DiscoveryFilter_T> filters;
        std::set<std::string> kept;
    };
    const std::set<std::string> all = {"198.18.1.10", "198.18.1.11", "198.18.1.12"};
    const Case cases[] = {
        {"type lacking, then app present", {filter(100, "KXV3"), filter(300, "webui")}, all},
        {"app present, then type lacking", {filter(300, "webui"), filter(100, "KXV3")}, {}},
        {"machine code 5", {filter(200, "", 5)}, {"198.18.1.10", "198.18.1.12"}},
        {"application only some have", {filter(300, "ota")}, {"198.18.1.10", "198.18.1.12"}},
        {"one address", {filter(400, "198.18.1.11")}, {"198.18.1.11"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<DiscoveryDev_T> devices(10);
        int32_t found = -1;
        ASSERT_EQ(discover(devices, found, c.filters), 0);
        EXPECT_EQ(found, static_cast<int32_t>(c.kept.size()));
        EXPECT_EQ(ipsOf(devices, found), c.kept);
    }
}

class BrokenAnswerLab : public QuentixLab {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        // The third camera leaves out its NetBIOS name and answers last.
        return {"--cameras", "3", "--set", "3.omit_codes=12008", "--set", "3.delay_ms=400"};
    }
};

TEST_F(BrokenAnswerLab, AnswerWithoutNetbiosNameEndsTheDiscoveryAndKeepsEarlierDevices)
{
    std::vector<DiscoveryDev_T> devices(10);
    int32_t found = -1;
    int32_t result = -1;
    const std::string out = captured([&] { result = discover(devices, found); });
    EXPECT_EQ(result, 8);
    EXPECT_EQ(found, 2);
    EXPECT_EQ(ipsOf(devices, found), (std::set<std::string>{"198.18.1.10", "198.18.1.11"}));
    const size_t field = out.find("[ERROR] - ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_NETBIOSNAME\n");
    const size_t ended = out.find("[ERROR] - QuentixClient_Discovery: ExtractDeviceDescription failed (8)\n");
    EXPECT_NE(field, std::string::npos) << out;
    EXPECT_NE(ended, std::string::npos) << out;
    EXPECT_LT(field, ended);
}

TEST_F(DiscoveryLab, SetInterfaceThroughMacHandleReachesOnlyThatCamera)
{
    const Expected target = expectedCamera(1);
    QuentixClient_T *h = QuentixClient_OpenSingleMAC(lab_->pcIp().c_str(), kPort, target.mac.c_str(), kWindowMs);
    ASSERT_NE(h, nullptr);
    DeviceInterface_T wlan{};
    std::strcpy(wlan.name, "wlan0");
    std::strcpy(wlan.mac, "never-sent");
    wlan.dhcp = 1;
    wlan.wifi = 1;
    std::strcpy(wlan.wifi_ssid, "yard");
    wlan.wifi_mode = 2;
    wlan.wifi_channel = 11;
    int32_t device_error = -1;
    EXPECT_EQ(QuentixClient_SetInterface(h, &wlan, &device_error), 0);
    EXPECT_EQ(device_error, 0);
    EXPECT_EQ(QuentixClient_Close(&h), 0);

    const auto recorded = lab_->recordLinesWith({"cmd=0xAA01"});
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_NE(recorded[0].find("cam=" + target.ip + " "), std::string::npos) << recorded[0];
    EXPECT_NE(recorded[0].find("mac=" + target.mac), std::string::npos) << recorded[0];
    EXPECT_EQ(recorded[0].find("6e657665722d73656e74"), std::string::npos); // "never-sent"

    // Only that camera shows the new settings in its information.
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        QuentixClient_T *c = open(i);
        ASSERT_NE(c, nullptr);
        DiscoveryDev_T dev{};
        DeviceInfo_T info{};
        ASSERT_EQ(QuentixClient_GetDeviceInfo(c, &dev, &info, &device_error), 0);
        ASSERT_EQ(info.interface_count, 2);
        EXPECT_STREQ(info.interfaces[1].wifi_ssid, i == 1 ? "yard" : expectedCamera(i).netbios.c_str());
        EXPECT_EQ(info.interfaces[1].wifi_channel, i == 1 ? 11 : 6);
        QuentixClient_Close(&c);
    }
}

// ------------------------------------------------------------------ one camera

class CameraLab : public QuentixLab {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        return {"--cameras", "1", "--set", "gmt_time=2024-02-29 23:30:15.250", "--set", "tz_offset_min=60",
                "--set", "timezone=CET-1CEST", "--set", "fpga=0x00020104,0x00010003,77", "--set",
                "value_12025=12025"};
    }
    void SetUp() override
    {
        QuentixLab::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        handle_ = open(0);
        ASSERT_NE(handle_, nullptr);
    }
    void TearDown() override
    {
        if (handle_ != nullptr) {
            EXPECT_EQ(QuentixClient_Close(&handle_), 0);
        }
        QuentixLab::TearDown();
    }
    QuentixClient_T *handle_ = nullptr;
    int32_t device_error_ = -1;
};

TEST_F(CameraLab, DeviceInformationIsDecodedWhole)
{
    DiscoveryDev_T dev{};
    DeviceInfo_T info;
    std::memset(&info, 0x5A, sizeof info);
    ASSERT_EQ(QuentixClient_GetDeviceInfo(handle_, &dev, &info, &device_error_), 0);
    EXPECT_EQ(device_error_, 0);
    EXPECT_STREQ(dev.ip, "198.18.1.10");
    EXPECT_STREQ(dev.netbios_name, "KORDEX-001");

    EXPECT_STREQ(info.boot_version, "1.4.2");
    EXPECT_STREQ(info.image_version, "2.6.0-r17");
    EXPECT_STREQ(info.kernel_version, "5.10.120");
    EXPECT_STREQ(info.filesystem_version, "2.6.0");
    EXPECT_STREQ(info.driver_version, "3.1.7");
    ASSERT_EQ(info.fpga_count, 2);
    EXPECT_EQ(info.fpga_versions[0], 0x00020104);
    EXPECT_EQ(info.fpga_versions[1], 0x00010003);
    EXPECT_EQ(info.fpga_versions[2], 0);
    const DeviceTime_T gmt = {29, 2, 2024, 23, 30, 15, 250};
    const DeviceTime_T local = {1, 3, 2024, 0, 30, 15, 250};
    EXPECT_EQ(std::memcmp(&info.gmt_time, &gmt, sizeof gmt), 0);
    EXPECT_EQ(std::memcmp(&info.local_time, &local, sizeof local), 0);
    EXPECT_STREQ(info.timezone, "CET-1CEST");
    EXPECT_EQ(info.value_12025, 12025);

    const FactoryParam_T &f = info.factory;
    EXPECT_EQ(f.value_3001, 1);
    EXPECT_STREQ(f.text_3002, "KX-FACT");
    EXPECT_EQ(f.value_3003, 3);
    EXPECT_EQ(f.value_3008, 8);
    ASSERT_EQ(f.head_count, 2);
    EXPECT_STREQ(f.heads[0].text_3021, "HEAD-A");
    EXPECT_EQ(f.heads[0].value_3022, 1);
    EXPECT_STREQ(f.heads[1].text_3021, "HEAD-B");
    EXPECT_EQ(f.heads[1].value_3029, 18);

    ASSERT_EQ(info.interface_count, 2);
    const DeviceInterface_T &eth0 = info.interfaces[0];
    EXPECT_STREQ(eth0.name, "eth0");
    EXPECT_EQ(eth0.dhcp, 0);
    EXPECT_STREQ(eth0.mac, "00:50:C2:52:01:0A");
    EXPECT_STREQ(eth0.ip, "198.18.1.10");
    EXPECT_STREQ(eth0.netmask, "255.254.0.0");
    EXPECT_STREQ(eth0.gateway, "198.18.0.1");
    EXPECT_EQ(eth0.wifi, 0);
    const DeviceInterface_T &wlan0 = info.interfaces[1];
    EXPECT_STREQ(wlan0.name, "wlan0");
    EXPECT_STREQ(wlan0.mac, "00:50:C2:AA:01:0A");
    EXPECT_STREQ(wlan0.ip, "10.42.0.1");
    EXPECT_EQ(wlan0.wifi, 1);
    EXPECT_STREQ(wlan0.wifi_ssid, "KORDEX-001");
    EXPECT_STREQ(wlan0.wifi_passphrase, "kordex-secret");
    EXPECT_EQ(wlan0.wifi_mode, 1);
    EXPECT_EQ(wlan0.wifi_channel, 6);
}

TEST_F(CameraLab, RebootSendsItsOptionsAsFields)
{
    EXPECT_EQ(QuentixClient_Reboot(handle_, 1, 1, &device_error_), 0);
    // The reboot closed the camera's connections; without options the command goes
    // out with no payload.
    QuentixClient_T *plain = open(0);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(QuentixClient_Reboot(plain, 0, 0, &device_error_), 0);
    QuentixClient_Close(&plain);

    const auto recorded = lab_->recordLinesWith({"cmd=0xAA02"});
    ASSERT_EQ(recorded.size(), 2u);
    // (3145730, 4, 1) then (3145742, 4, 1), little-endian words.
    EXPECT_NE(recorded[0].find("size=24 payload=020030000400000001000000"
                               "0e0030000400000001000000"),
              std::string::npos)
        << recorded[0];
    EXPECT_NE(recorded[1].find("size=0 payload=-"), std::string::npos) << recorded[1];
}

TEST_F(CameraLab, FactoryBlockCodesAndExecution)
{
    FactoryParam_T written;
    std::memset(&written, 0xFF, sizeof written); // every number not set
    std::memset(written.text_3002, 0, sizeof written.text_3002);
    std::strcpy(written.text_3002, "AB");
    written.value_3001 = 7;
    written.head_count = 1;
    std::memset(written.heads[0].text_3021, 0, sizeof written.heads[0].text_3021);
    std::strcpy(written.heads[0].text_3021, "H");
    written.heads[0].value_3022 = 5;
    ASSERT_EQ(QuentixClient_SetFactoryParameter(handle_, &written, &device_error_), 0);
    FactoryParam_T read{};
    ASSERT_EQ(QuentixClient_GetFactoryParameter(handle_, &read, &device_error_), 0);
    EXPECT_STREQ(read.text_3002, "AB");
    EXPECT_EQ(read.value_3001, 7);
    EXPECT_EQ(read.value_3003, -1);
    ASSERT_EQ(read.head_count, 1);
    EXPECT_STREQ(read.heads[0].text_3021, "H");
    EXPECT_EQ(read.heads[0].value_3022, 5);
    EXPECT_EQ(read.heads[0].value_3023, -1);

    char codes[32];
    ASSERT_EQ(QuentixClient_GetFactoryCodes(handle_, codes, sizeof codes, &device_error_), 0);
    EXPECT_STREQ(codes, "FC-0001-A");
    ASSERT_EQ(QuentixClient_SetFactoryCodes(handle_, "FC-0002-XYZ", &device_error_), 0);
    ASSERT_EQ(QuentixClient_GetFactoryCodes(handle_, codes, sizeof codes, &device_error_), 0);
    EXPECT_STREQ(codes, "FC-0002-XYZ");
    char small[8];
    EXPECT_EQ(QuentixClient_GetFactoryCodes(handle_, small, sizeof small, &device_error_), 10);

    // 55 characters fill the 64-byte payload exactly.
    EXPECT_EQ(QuentixClient_ExecuteAsync(handle_, std::string(55, 'x').c_str(), &device_error_), 0);
    const auto executed = lab_->recordLinesWith({"cmd=0xAB00"});
    ASSERT_EQ(executed.size(), 1u);
    EXPECT_NE(executed[0].find("size=64 "), std::string::npos) << executed[0];
}

// ------------------------------------------------------------------ refusals

class MisbehavingLab : public QuentixLab {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        // Camera 1 leaves out code 12025 and the text of its update feedback;
        // camera 2 refuses every command with 5.
        return {"--cameras", "2", "--set", "1.omit_codes=12025,0x300A04", "--set", "2.refuse=5"};
    }
};

TEST_F(MisbehavingLab, RefusalsGive250WithTheCameraCode)
{
    QuentixClient_T *h = open(1);
    ASSERT_NE(h, nullptr);
    int32_t device_error = -1;
    DiscoveryDev_T dev{};
    DeviceInfo_T info{};
    const std::string out = captured([&] { EXPECT_EQ(QuentixClient_GetDeviceInfo(h, &dev, &info, &device_error), 250); });
    EXPECT_EQ(device_error, 5);
    EXPECT_EQ(out.find("QuentixClient_GetDeviceInfo"), std::string::npos) << out;
    device_error = -1;
    EXPECT_EQ(QuentixClient_SetFactoryCodes(h, "FC-X", &device_error), 250);
    EXPECT_EQ(device_error, 5);
    char codes[16];
    EXPECT_EQ(QuentixClient_GetFactoryCodes(h, codes, sizeof codes, &device_error), 250);
    EXPECT_EQ(device_error, 5);
    EXPECT_EQ(QuentixClient_Close(&h), 0);

    h = open(0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(QuentixClient_GetDeviceInfo(h, &dev, &info, &device_error), 8);
    EXPECT_EQ(QuentixClient_Close(&h), 0);
}

// ------------------------------------------------------------------ update

std::vector<uint8_t> updateFile(size_t size)
{
    std::vector<uint8_t> file(size);
    for (size_t i = 0; i < size; ++i)
        file[i] = static_cast<uint8_t>(i * 7 + 3);
    return file;
}

// Polls the update until `stop` says so or 20 s pass; gives the items and, in
// `results`, every result other than 0 and 53.
std::vector<UpdateProgress_T> poll(QuentixUpdate_T *update, std::vector<int32_t> &results,
                                   const std::function<bool(int32_t, const std::vector<UpdateProgress_T> &)> &stop)
{
    std::vector<UpdateProgress_T> items;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        UpdateProgress_T item;
        const int32_t result = QuentixClientUpdate_GetProgress(update, &item);
        if (result == 0)
            items.push_back(item);
        else if (result != 53)
            results.push_back(result);
        if (stop(result, items))
            break;
        if (result == 53)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return items;
}

std::vector<UpdateProgress_T> withoutUpload(const std::vector<UpdateProgress_T> &items)
{
    std::vector<UpdateProgress_T> rest;
    for (const auto &item : items)
        if (item.kind != UPDATE_KIND_UPLOAD)
            rest.push_back(item);
    return rest;
}

class UpdateLab : public QuentixLab {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        return {"--cameras", "2", "--set",
                "1.update_feedback=16:0:init;64:40:copy;128:50:flash retry;512:100:rebooting;1024:100:;7:100:odd",
                "--set", "2.update_interval_ms=300"};
    }
    QuentixUpdate_T *start(int camera, const std::vector<uint8_t> &file)
    {
        return QuentixClientUpdate_Start(lab_->pcIp().c_str(), lab_->cameraIps().at(camera).c_str(), kPort, 5000,
                                         nullptr, file.data(), static_cast<int32_t>(file.size()));
    }
};

TEST_F(UpdateLab, FullFeedbackSequenceEndsWith51Once)
{
    const auto file = updateFile(1000);
    QuentixUpdate_T *update = start(0, file);
    ASSERT_NE(update, nullptr);
    std::vector<int32_t> results;
    const auto items = poll(update, results, [](int32_t r, const auto &) { return r == 51; });
    ASSERT_EQ(results, std::vector<int32_t>{51});

    // Upload items first, the last one complete.
    ASSERT_FALSE(items.empty());
    ASSERT_EQ(items[0].kind, UPDATE_KIND_UPLOAD);
    size_t n = 0;
    while (n < items.size() && items[n].kind == UPDATE_KIND_UPLOAD)
        ++n;
    EXPECT_EQ(items[n - 1].bytes_sent, items[n - 1].bytes_total);
    EXPECT_GE(items[n - 1].bytes_total, 12 + 1008);

    const struct {
        int32_t kind, progress;
        const char *message;
    } expected[] = {{4, 0, "init"}, {4, 40, "copy"}, {6, 50, "flash retry"}, {8, 100, "rebooting"}, {7, 100, ""},
                    {4, 100, "odd"}};
    const auto feedback = withoutUpload(items);
    ASSERT_EQ(feedback.size(), std::size(expected));
    for (size_t i = 0; i < feedback.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(feedback[i].struct_size, 536);
        EXPECT_EQ(feedback[i].kind, expected[i].kind);
        EXPECT_EQ(feedback[i].progress, expected[i].progress);
        EXPECT_STREQ(feedback[i].message, expected[i].message);
    }
    UpdateProgress_T item;
    EXPECT_EQ(QuentixClientUpdate_GetProgress(update, &item), 53);
    EXPECT_EQ(QuentixClientUpdate_Destroy(&update), 0);
    EXPECT_EQ(update, nullptr);

    // The camera received the payload of the documented layout: header field 10, then the file.
    const auto recorded = lab_->recordLinesWith({"cmd=0xADA7"});
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_NE(recorded[0].find("size=1020 payload=000a3000040000000a000000010a3000e8030000030a1118"), std::string::npos)
        << recorded[0].substr(0, 200);
}

TEST_F(UpdateLab, DestroyDuringFeedbackStopsTheThread)
{
    const auto file = updateFile(4096);
    QuentixUpdate_T *update = start(1, file); // feedback every 300 ms
    ASSERT_NE(update, nullptr);
    std::vector<int32_t> results;
    const auto items = poll(update, results, [](int32_t, const auto &items) {
        return !items.empty() && items.back().kind == UPDATE_KIND_IN_PROGRESS;
    });
    ASSERT_FALSE(withoutUpload(items).empty());
    ntcp_printf_set_level(NTCP_SEVERITY_DEBUG);
    const std::string out = captured([&] { EXPECT_EQ(QuentixClientUpdate_Destroy(&update), 0); });
    EXPECT_NE(out.find("[INFO] - Update thread aborted\n"), std::string::npos) << out;
    EXPECT_EQ(update, nullptr);
}

TEST_F(UpdateLab, TwoUpdatesAtOnceReportTheirOwnUploads)
{
    // The large upload is still running when the small one starts.
    const auto large = updateFile(48u << 20);
    const auto small = updateFile(1u << 20);
    QuentixUpdate_T *a = start(0, large);
    QuentixUpdate_T *b = start(1, small);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    std::vector<int32_t> results_a, results_b;
    auto uploaded = [](int32_t, const std::vector<UpdateProgress_T> &items) {
        return !items.empty() && items.back().kind != UPDATE_KIND_UPLOAD;
    };
    const auto items_a = poll(a, results_a, uploaded);
    const auto items_b = poll(b, results_b, uploaded);
    for (const auto *items : {&items_a, &items_b}) {
        std::set<int32_t> totals;
        int32_t last_sent = 0;
        for (const auto &item : *items)
            if (item.kind == UPDATE_KIND_UPLOAD) {
                totals.insert(item.bytes_total);
                EXPECT_GE(item.bytes_sent, last_sent);
                last_sent = item.bytes_sent;
            }
        ASSERT_EQ(totals.size(), 1u);
        EXPECT_EQ(last_sent, *totals.begin());
    }
    EXPECT_GT(items_a.front().bytes_total, items_b.front().bytes_total);
    EXPECT_EQ(QuentixClientUpdate_Destroy(&a), 0);
    EXPECT_EQ(QuentixClientUpdate_Destroy(&b), 0);
}

class UpdateDropLab : public QuentixLab {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        // The camera closes the connection after its first feedback message, without
        // the stream's end message.
        return {"--cameras", "1", "--set", "update_feedback=16:10:init;64:40:copy;1024:100:", "--set",
                "drop_stream_after=1"};
    }
};

TEST_F(UpdateDropLab, CameraGoneDuringFeedbackEndsTheUpdateOnAFault)
{
    const auto file = updateFile(1000);
    QuentixUpdate_T *update = QuentixClientUpdate_Start(lab_->pcIp().c_str(), lab_->cameraIps().at(0).c_str(), kPort,
                                                         5000, nullptr, file.data(), 1000);
    ASSERT_NE(update, nullptr);
    std::vector<int32_t> results;
    const auto items = withoutUpload(poll(update, results, [](int32_t, const auto &items) {
        return !items.empty() && items.back().kind == UPDATE_KIND_FAILED;
    }));
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].kind, UPDATE_KIND_IN_PROGRESS);
    EXPECT_STREQ(items[0].message, "init");
    EXPECT_EQ(items[1].kind, UPDATE_KIND_GET_FEED_ERROR);
    EXPECT_EQ(items[1].error, NTCP_ERR_CLOSED);
    EXPECT_EQ(items[2].kind, UPDATE_KIND_FAILED);
    EXPECT_EQ(items[2].progress, 100);
    EXPECT_EQ(QuentixClientUpdate_Destroy(&update), 0);
}

TEST_F(MisbehavingLab, RefusedUpdateEndsOnAFault)
{
    const auto file = updateFile(1000);
    QuentixUpdate_T *update = QuentixClientUpdate_Start(lab_->pcIp().c_str(), lab_->cameraIps().at(1).c_str(), kPort,
                                                         5000, nullptr, file.data(), 1000);
    ASSERT_NE(update, nullptr);
    std::vector<int32_t> results;
    const auto items = withoutUpload(poll(update, results, [](int32_t, const auto &items) {
        return !items.empty() && items.back().kind == UPDATE_KIND_FAILED;
    }));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].kind, UPDATE_KIND_UPLOAD_ERROR);
    EXPECT_EQ(items[0].error, 5);
    EXPECT_STREQ(items[0].error_text, "Update thread: Camera replied with error");
    EXPECT_EQ(items[1].kind, UPDATE_KIND_FAILED);
    EXPECT_EQ(items[1].progress, 100);
    EXPECT_STREQ(items[1].message, "");
    UpdateProgress_T item;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(QuentixClientUpdate_GetProgress(update, &item), 53);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(QuentixClientUpdate_Destroy(&update), 0);
}

TEST_F(MisbehavingLab, FeedbackWithoutTextGivesNoItem)
{
    const auto file = updateFile(1000);
    QuentixUpdate_T *update = QuentixClientUpdate_Start(lab_->pcIp().c_str(), lab_->cameraIps().at(0).c_str(), kPort,
                                                         5000, nullptr, file.data(), 1000);
    ASSERT_NE(update, nullptr);
    std::vector<int32_t> results;
    std::vector<UpdateProgress_T> items;
    const std::string out = captured([&] {
        items = withoutUpload(poll(update, results, [](int32_t r, const auto &) { return r == 51; }));
    });
    EXPECT_EQ(results, std::vector<int32_t>{51});
    EXPECT_TRUE(items.empty());
    EXPECT_NE(out.find("[ERROR] - Update thread: Interpreter_Get failed 8\n"), std::string::npos) << out;
    EXPECT_EQ(QuentixClientUpdate_Destroy(&update), 0);
}

} // namespace
