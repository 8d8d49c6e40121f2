// Decoding of camera descriptions, device information and interface groups from
// hand-written answers, and the handle check.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "client/QuentixClientInternal.h"
#include "quentix_wire.h"
#include "runtime/cross_sys.h"

namespace {

// Data codes as the field table numbers them.
constexpr int32_t kTimezone = 10037, kSerial = 12000, kMac = 12001, kIp = 12002, kNetmask = 12003,
                  kGateway = 12004, kDhcp = 12007, kNetbios = 12008, kFpga = 12020, kValue12025 = 12025,
                  kGmt = 12026, kDeviceType = 12152, kBootVersion = 12167, kInterface = 12258,
                  kKernelVersion = 15200, kFilesystemVersion = 15202, kLocalTime = 0x300000,
                  kInterfaceName = 0x300001, kApplication = 0x300003, kAppName = 0x300004, kAppState = 0x300006,
                  kImageVersion = 0x300007, kDriverVersion = 0x300008, kSsid = 0x300009, kPassphrase = 0x30000A,
                  kWifiMode = 0x30000B, kWifiChannel = 0x30000C, kBoardCode = 0x30000D;

wire::Fields app(const std::string &name, int32_t state)
{
    wire::Fields g;
    g.text(kAppName, name).number(kAppState, state);
    return g;
}

// A description with every field, in the order a camera writes it.
wire::Fields description(bool with_board = true, bool with_netbios = true)
{
    wire::Fields f;
    f.text(kIp, "198.18.1.10").text(kMac, "00:50:C2:52:88:99").text(kDeviceType, "KXV2-200").number(kSerial, 120034);
    if (with_board)
        f.number(kBoardCode, 42);
    if (with_netbios)
        f.text(kNetbios, "CAM-0001");
    f.group(kApplication, app("anpr", 12)).group(kApplication, app("web", 14));
    return f;
}

std::string capture(const std::function<void()> &run)
{
    testing::internal::CaptureStdout();
    run();
    return testing::internal::GetCapturedStdout();
}

// Diagnostics are part of what is checked: every case starts with them on.
class Decoding : public ::testing::Test {
protected:
    void SetUp() override { ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL); }
};

using ExtractDeviceDescriptionTest = Decoding;

TEST_F(ExtractDeviceDescriptionTest, DecodesEveryField)
{
    const wire::Aligned answer(description());
    DiscoveryDev_T dev;
    std::memset(&dev, 0xAB, sizeof dev);
    dev.struct_size = 77;
    ASSERT_EQ(ExtractDeviceDescription(&dev, answer.data(), answer.size()), 0);
    EXPECT_EQ(dev.struct_size, 77); // left to the discovery
    EXPECT_STREQ(dev.ip, "198.18.1.10");
    EXPECT_STREQ(dev.mac, "00:50:C2:52:88:99");
    EXPECT_STREQ(dev.device_type, "KXV2-200");
    EXPECT_STREQ(dev.netbios_name, "CAM-0001");
    EXPECT_EQ(dev.serial_number, 120034);
    EXPECT_EQ(dev.machine_code, 42);
    ASSERT_EQ(dev.app_count, 2);
    EXPECT_STREQ(dev.apps[0].name, "anpr");
    EXPECT_EQ(dev.apps[0].state, 12);
    EXPECT_STREQ(dev.apps[1].name, "web");
    EXPECT_EQ(dev.apps[1].state, 14);
}

TEST_F(ExtractDeviceDescriptionTest, MissingRequiredFieldFailsWithItsDiagnostic)
{
    struct Case {
        int32_t code;
        const char *line;
    };
    const Case cases[] = {
        {kIp, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_IP\n"},
        {kMac, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_MAC_ADDRESS\n"},
        {kDeviceType, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_DEVICE_TYPE\n"},
        {kSerial, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_SERIAL_NUMBER\n"},
        {kNetbios, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_NETBIOSNAME\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        wire::Fields f;
        if (c.code != kIp)
            f.text(kIp, "198.18.1.10");
        if (c.code != kMac)
            f.text(kMac, "00:50:C2:52:88:99");
        if (c.code != kDeviceType)
            f.text(kDeviceType, "KXV2");
        if (c.code != kSerial)
            f.number(kSerial, 1);
        if (c.code != kNetbios)
            f.text(kNetbios, "CAM");
        const wire::Aligned answer(f);
        DiscoveryDev_T dev{};
        int32_t result = -1;
        const std::string out = capture([&] { result = ExtractDeviceDescription(&dev, answer.data(), answer.size()); });
        EXPECT_EQ(result, 8);
        EXPECT_EQ(out, std::string("[ERROR] - ") + c.line);
    }
}

TEST_F(ExtractDeviceDescriptionTest, OptionalAndOversizedFields)
{
    // Without a board code the machine code reads 0, even over an old value.
    {
        const wire::Aligned answer(description(false));
        DiscoveryDev_T dev{};
        dev.machine_code = 9;
        ASSERT_EQ(ExtractDeviceDescription(&dev, answer.data(), answer.size()), 0);
        EXPECT_EQ(dev.machine_code, 0);
    }
    // Texts longer than their field keep what fits before the terminator.
    {
        wire::Fields f;
        f.text(kIp, "198.018.100.200.7").text(kMac, "00:50:C2:52:88:99:AA").text(kDeviceType, "KXV2-200-EXTENDED");
        f.number(kSerial, -5).text(kNetbios, std::string(200, 'n'));
        const wire::Aligned answer(f);
        DiscoveryDev_T dev{};
        ASSERT_EQ(ExtractDeviceDescription(&dev, answer.data(), answer.size()), 0);
        EXPECT_STREQ(dev.ip, "198.018.100.200");
        EXPECT_STREQ(dev.mac, "00:50:C2:52:88:99");
        EXPECT_STREQ(dev.device_type, "KXV2-200-EX");
        EXPECT_EQ(std::string(dev.netbios_name), std::string(127, 'n'));
        EXPECT_EQ(dev.serial_number, -5);
        EXPECT_EQ(dev.app_count, 0);
    }
    // A text beyond the 255-character scratch fails its read.
    {
        wire::Fields f;
        f.text(kIp, std::string(256, '1'));
        const wire::Aligned answer(f);
        DiscoveryDev_T dev{};
        EXPECT_EQ(ExtractDeviceDescription(&dev, answer.data(), answer.size()), 10);
    }
}

TEST_F(ExtractDeviceDescriptionTest, ApplicationGroups)
{
    // Twelve groups, the second without a state: it is dropped, the next takes its
    // place, and only the first ten groups are looked at.
    wire::Fields f;
    f.text(kIp, "198.18.1.10").text(kMac, "00:50:C2:52:88:99").text(kDeviceType, "KXV2").number(kSerial, 1);
    f.text(kNetbios, "CAM");
    for (int i = 0; i < 12; ++i) {
        wire::Fields g;
        g.text(kAppName, "app" + std::to_string(i));
        if (i != 1)
            g.number(kAppState, 10 + i);
        f.group(kApplication, g);
    }
    const wire::Aligned answer(f);
    DiscoveryDev_T dev{};
    std::string out = capture([&] { ASSERT_EQ(ExtractDeviceDescription(&dev, answer.data(), answer.size()), 0); });
    EXPECT_NE(out.find("[ERROR] - ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_APPLICATION_STATE\n"),
              std::string::npos);
    ASSERT_EQ(dev.app_count, 9);
    EXPECT_STREQ(dev.apps[0].name, "app0");
    EXPECT_STREQ(dev.apps[1].name, "app2");
    EXPECT_EQ(dev.apps[1].state, 12);
    EXPECT_STREQ(dev.apps[8].name, "app9");

    // A group without a name is dropped with its own diagnostic.
    wire::Fields nameless = description();
    wire::Fields g;
    g.number(kAppState, 12);
    nameless.group(kApplication, g);
    const wire::Aligned answer2(nameless);
    out = capture([&] { ASSERT_EQ(ExtractDeviceDescription(&dev, answer2.data(), answer2.size()), 0); });
    EXPECT_EQ(out, "[ERROR] - ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_APPLICATION\n");
    EXPECT_EQ(dev.app_count, 2);
}

TEST_F(ExtractDeviceDescriptionTest, MalformedAnswers)
{
    DiscoveryDev_T dev{};
    const wire::Aligned answer(description());
    EXPECT_EQ(ExtractDeviceDescription(nullptr, answer.data(), answer.size()), 2);
    EXPECT_EQ(ExtractDeviceDescription(&dev, nullptr, 0), 2);

    // Every prefix of a valid answer is refused, except those that end between two
    // application groups; none is read past its end (the sanitizer builds check).
    const std::vector<uint8_t> bytes = description().bytes();
    wire::Fields first_app, second_app;
    first_app.group(kApplication, app("anpr", 12));
    second_app.group(kApplication, app("web", 14));
    const size_t apps_start = bytes.size() - first_app.bytes().size() - second_app.bytes().size();
    ntcp_printf_set_level(NTCP_PRINTF_LEVEL_OFF);
    for (size_t n = 0; n < bytes.size(); ++n) {
        const wire::Aligned prefix(std::vector<uint8_t>(bytes.begin(), bytes.begin() + n));
        const int32_t result = ExtractDeviceDescription(&dev, prefix.data(), prefix.size());
        if (n == apps_start || n == apps_start + first_app.bytes().size())
            EXPECT_EQ(result, 0) << n;
        else
            EXPECT_NE(result, 0) << n;
    }

    // A group whose length word runs past the answer.
    std::vector<uint8_t> broken = description().bytes();
    wire::Fields tail;
    tail.group(kApplication, app("x", 12));
    std::vector<uint8_t> t = tail.bytes();
    t[4] = 0xF0; // length far beyond the end
    broken.insert(broken.end(), t.begin(), t.end());
    const wire::Aligned bad(broken);
    EXPECT_NE(ExtractDeviceDescription(&dev, bad.data(), bad.size()), 0);
}

using ExtractDeviceInfoGenericTest = Decoding;

TEST_F(ExtractDeviceInfoGenericTest, DecodesVersionsFpgaClocksTimezoneAndValue)
{
    wire::Fields f;
    f.text(kBootVersion, "1.4.2").text(kImageVersion, "2.6.0-r17").text(kKernelVersion, std::string(70, 'k'));
    f.text(kFilesystemVersion, "2.6.0").text(kDriverVersion, "3.1.7");
    f.number(kFpga, 0x00020104).number(kSerial, 5).number(kFpga, 0x00010003).number(kFpga, 99);
    f.clock(kGmt, 11, 3, 2024, 9, 30, 15, 250).clock(kLocalTime, -1, 3, -2, 10, 30, 15, 250);
    f.text(kTimezone, "CET-1CEST").number(kValue12025, 7);
    const wire::Aligned answer(f);
    DeviceInfo_T info{};
    ASSERT_EQ(ExtractDeviceInfoGeneric(&info, answer.data(), answer.size()), 0);
    EXPECT_STREQ(info.boot_version, "1.4.2");
    EXPECT_STREQ(info.image_version, "2.6.0-r17");
    EXPECT_EQ(std::string(info.kernel_version), std::string(63, 'k'));
    EXPECT_STREQ(info.filesystem_version, "2.6.0");
    EXPECT_STREQ(info.driver_version, "3.1.7");
    ASSERT_EQ(info.fpga_count, 2);
    EXPECT_EQ(info.fpga_versions[0], 0x00020104);
    EXPECT_EQ(info.fpga_versions[1], 0x00010003);
    EXPECT_EQ(info.fpga_versions[2], 0);
    EXPECT_EQ(info.fpga_versions[3], 0);
    const DeviceTime_T gmt = {11, 3, 2024, 9, 30, 15, 250};
    EXPECT_EQ(std::memcmp(&info.gmt_time, &gmt, sizeof gmt), 0);
    const DeviceTime_T local = {-1, 3, -2, 10, 30, 15, 250}; // parts sign-extended
    EXPECT_EQ(std::memcmp(&info.local_time, &local, sizeof local), 0);
    EXPECT_STREQ(info.timezone, "CET-1CEST");
    EXPECT_EQ(info.value_12025, 7);
}

TEST_F(ExtractDeviceInfoGenericTest, OptionalFieldsAndTheRequiredValue)
{
    struct Case {
        const char *name;
        wire::Fields answer;
        int32_t result;
        int32_t fpga_count;
    };
    wire::Fields only_value, last_fpga, no_value;
    only_value.number(kValue12025, -3);
    last_fpga.number(kValue12025, 1).number(kFpga, 5);
    no_value.number(kFpga, 5).text(kTimezone, "UTC");
    const Case cases[] = {
        {"nothing but 12025", only_value, 0, 0},
        {"one FPGA field, last in the answer", last_fpga, 0, 1},
        {"no 12025", no_value, 8, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const wire::Aligned answer(c.answer);
        DeviceInfo_T info{};
        EXPECT_EQ(ExtractDeviceInfoGeneric(&info, answer.data(), answer.size()), c.result);
        EXPECT_EQ(info.fpga_count, c.fpga_count);
        EXPECT_STREQ(info.boot_version, "");
    }
    const wire::Aligned answer(only_value);
    DeviceInfo_T info{};
    EXPECT_EQ(ExtractDeviceInfoGeneric(nullptr, answer.data(), answer.size()), 2);
    EXPECT_EQ(ExtractDeviceInfoGeneric(&info, nullptr, answer.size()), 2);
}

using ExtractDeviceInterfacesTest = Decoding;

wire::Fields iface(const std::string &name)
{
    wire::Fields g;
    g.text(kInterfaceName, name).number(kDhcp, 0).text(kIp, "198.18.1.10").text(kNetmask, "255.254.0.0");
    g.text(kGateway, "198.18.0.1").text(kMac, "00:50:C2:52:88:99");
    return g;
}

TEST_F(ExtractDeviceInterfacesTest, WiredAndWifiEntries)
{
    wire::Fields wifi = iface("wlan0");
    wifi.text(kSsid, "lab-net").text(kPassphrase, "secret-pass").number(kWifiMode, 2).number(kWifiChannel, 11);
    wire::Fields wifi_minimal = iface("wlan1");
    wifi_minimal.text(kSsid, "open").number(kWifiMode, 1);
    wire::Fields dhcp;
    dhcp.text(kInterfaceName, "eth1").number(kDhcp, 1).text(kIp, "0.0.0.0").text(kNetmask, "0.0.0.0");
    dhcp.text(kGateway, "0.0.0.0").text(kMac, "00:50:C2:52:88:9A");

    wire::Fields f;
    f.text(kIp, "198.18.1.10").group(kInterface, iface("eth0")).group(kInterface, wifi);
    f.group(kInterface, wifi_minimal).group(kInterface, dhcp);
    const wire::Aligned answer(f);
    DeviceInfo_T info{};
    ASSERT_EQ(ExtractDeviceInterfaces(&info, answer.data(), answer.size()), 0);
    ASSERT_EQ(info.interface_count, 4);

    const DeviceInterface_T &eth0 = info.interfaces[0];
    EXPECT_STREQ(eth0.name, "eth0");
    EXPECT_EQ(eth0.dhcp, 0);
    EXPECT_STREQ(eth0.ip, "198.18.1.10");
    EXPECT_STREQ(eth0.netmask, "255.254.0.0");
    EXPECT_STREQ(eth0.gateway, "198.18.0.1");
    EXPECT_STREQ(eth0.mac, "00:50:C2:52:88:99");
    EXPECT_EQ(eth0.wifi, 0);

    const DeviceInterface_T &wlan0 = info.interfaces[1];
    EXPECT_EQ(wlan0.wifi, 1);
    EXPECT_STREQ(wlan0.wifi_ssid, "lab-net");
    EXPECT_STREQ(wlan0.wifi_passphrase, "secret-pass");
    EXPECT_EQ(wlan0.wifi_mode, 2);
    EXPECT_EQ(wlan0.wifi_channel, 11);

    const DeviceInterface_T &wlan1 = info.interfaces[2];
    EXPECT_EQ(wlan1.wifi, 1);
    EXPECT_STREQ(wlan1.wifi_passphrase, "");
    EXPECT_EQ(wlan1.wifi_mode, 1);
    EXPECT_EQ(wlan1.wifi_channel, 0);

    EXPECT_STREQ(info.interfaces[3].name, "eth1");
    EXPECT_EQ(info.interfaces[3].dhcp, 1);
}

TEST_F(ExtractDeviceInterfacesTest, BadGroupsArePassedOver)
{
    struct Case {
        const char *name;
        wire::Fields group;
        const char *line;
    };
    wire::Fields no_name;
    no_name.number(kDhcp, 0).text(kIp, "1.2.3.4").text(kNetmask, "1.2.3.4").text(kGateway, "1.2.3.4");
    no_name.text(kMac, "00:50:C2:52:88:99");
    wire::Fields no_gateway;
    no_gateway.text(kInterfaceName, "eth9").text(kIp, "1.2.3.4").text(kNetmask, "1.2.3.4").text(kMac, "00:11");
    wire::Fields ssid_no_mode = iface("wlan9");
    ssid_no_mode.text(kSsid, "x");
    wire::Fields long_ssid = iface("wlan9");
    long_ssid.text(kSsid, std::string(40, 's')).number(kWifiMode, 1);
    wire::Fields bad_channel = iface("wlan9");
    bad_channel.text(kSsid, "x").number(kWifiMode, 1).raw(kWifiChannel, "12345678", 8);
    const Case cases[] = {
        {"no name", no_name, "ExtractDeviceInterfaces: Interpreter_GetString MV_DATA_CODE_INTERFACE_NAME"},
        {"no gateway", no_gateway, "ExtractDeviceInterfaces: Interpreter_GetString failed"},
        {"SSID without mode", ssid_no_mode, "ExtractDeviceInterfaces: Interpreter_GetLong MV_DATA_CODE_WIFI_MODE failed (8)"},
        {"SSID longer than its field", long_ssid,
         "ExtractDeviceInterfaces: Interpreter_GetString MV_DATA_CODE_WIFI_SSID failed (10)"},
        {"channel of 8 bytes", bad_channel,
         "ExtractDeviceInterfaces: Interpreter_GetLong MV_DATA_CODE_WIFI_CHANNEL failed (10)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        wire::Fields f;
        f.group(kInterface, c.group).group(kInterface, iface("eth0"));
        const wire::Aligned answer(f);
        DeviceInfo_T info{};
        int32_t result = -1;
        const std::string out = capture([&] { result = ExtractDeviceInterfaces(&info, answer.data(), answer.size()); });
        EXPECT_EQ(result, 0);
        ASSERT_EQ(info.interface_count, 1);
        EXPECT_STREQ(info.interfaces[0].name, "eth0");
        EXPECT_NE(out.find(std::string("[ERROR] - ") + c.line + "\n"), std::string::npos) << out;
    }
}

TEST_F(ExtractDeviceInterfacesTest, AtMostTenGroupsAndNoneAtAll)
{
    wire::Fields f;
    for (int i = 0; i < 11; ++i)
        f.group(kInterface, iface("eth" + std::to_string(i)));
    const wire::Aligned answer(f);
    DeviceInfo_T info{};
    ASSERT_EQ(ExtractDeviceInterfaces(&info, answer.data(), answer.size()), 0);
    EXPECT_EQ(info.interface_count, 10);
    EXPECT_STREQ(info.interfaces[9].name, "eth9");

    wire::Fields none;
    none.number(kValue12025, 1);
    const wire::Aligned empty(none);
    ASSERT_EQ(ExtractDeviceInterfaces(&info, empty.data(), empty.size()), 0);
    EXPECT_EQ(info.interface_count, 0);
    EXPECT_EQ(ExtractDeviceInterfaces(nullptr, empty.data(), empty.size()), 2);
}

TEST(CheckClientHandleTest, RecognisesOnlyTheMark)
{
    QuentixClient_T handle{};
    EXPECT_EQ(CheckClientHandle(nullptr), nullptr);
    handle.struct_size = 99;
    EXPECT_EQ(CheckClientHandle(&handle), nullptr);
    handle.struct_size = 100;
    EXPECT_EQ(CheckClientHandle(&handle), &handle);
}

TEST(QuentixCopyTextTest, CutsToTheFieldAndClearsTheRest)
{
    char field[8];
    std::memset(field, 'x', sizeof field);
    QuentixCopyText(field, sizeof field, "abc");
    EXPECT_EQ(std::memcmp(field, "abc\0\0\0\0\0", 8), 0);
    QuentixCopyText(field, sizeof field, "abcdefghij");
    EXPECT_EQ(std::memcmp(field, "abcdefg\0", 8), 0);
    QuentixCopyText(field, sizeof field, nullptr);
    EXPECT_EQ(field[0], '\0');
}

} // namespace
