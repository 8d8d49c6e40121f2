// Camera commands refused before anything is sent: arguments, handles and values
// that the command checks itself. Commands that reach cameras are in the lab tests.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "client/QuentixClient.h"
#include "client/QuentixClientCommand.h"
#include "runtime/cross_sys.h"

namespace {

class QuentixClientCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ntcp_printf_set_level(NTCP_PRINTF_DEFAULT_LEVEL);
        // A MAC-addressed handle sends only when a command gets that far; none here does.
        handle_ = QuentixClient_OpenSingleMAC("127.0.0.1", 42000, "00:50:C2:52:88:99", 100);
        ASSERT_NE(handle_, nullptr);
        bad_.struct_size = 99;
    }
    void TearDown() override { QuentixClient_Close(&handle_); }

    std::string run(const std::function<int32_t()> &command, int32_t expected)
    {
        testing::internal::CaptureStdout();
        EXPECT_EQ(command(), expected);
        return testing::internal::GetCapturedStdout();
    }

    QuentixClient_T *handle_ = nullptr;
    QuentixClient_T bad_{};
    int32_t device_error_ = -1;
};

TEST_F(QuentixClientCommandTest, ArgumentsAndHandlesAreCheckedInOrder)
{
    DeviceInterface_T iface{};
    FactoryParam_T param{};
    DiscoveryDev_T dev{};
    DeviceInfo_T info{};
    char codes[16];
    struct Case {
        const char *name;
        std::function<int32_t()> command;
        int32_t result;
        const char *line;
    };
    const Case cases[] = {
        {"SendCommand bad handle", [&] { return SendCommand(&bad_, 0xAA02, nullptr, 0, nullptr, nullptr, nullptr); }, 4,
         "SendCommand: CheckClientHandle failed"},
        {"Reboot bad handle", [&] { return QuentixClient_Reboot(&bad_, 0, 0, &device_error_); }, 4,
         "SendCommand: CheckClientHandle failed"},
        {"SetInterface null record first",
         [&] { return QuentixClient_SetInterface(&bad_, nullptr, &device_error_); }, 2,
         "QuentixClient_SetInterface: NULL parameter"},
        {"SetInterface bad handle", [&] { return QuentixClient_SetInterface(&bad_, &iface, &device_error_); }, 4,
         "QuentixClient_SetInterface: CheckClientHandle failed"},
        {"GetDeviceInfo handle first", [&] { return QuentixClient_GetDeviceInfo(&bad_, nullptr, nullptr, nullptr); },
         4, "QuentixClient_GetDeviceInfo: CheckClientHandle failed"},
        {"GetDeviceInfo null record", [&] { return QuentixClient_GetDeviceInfo(handle_, &dev, nullptr, nullptr); }, 2,
         "QuentixClient_GetDeviceInfo: NULL parameter"},
        {"GetDeviceInfo null description", [&] { return QuentixClient_GetDeviceInfo(handle_, nullptr, &info, nullptr); },
         2, "QuentixClient_GetDeviceInfo: NULL parameter"},
        {"GetFactoryParameter null error",
         [&] { return QuentixClient_GetFactoryParameter(handle_, &param, nullptr); }, 2,
         "QuentixClient_GetFactoryParameter: NULL parameters"},
        {"GetFactoryParameter bad handle",
         [&] { return QuentixClient_GetFactoryParameter(&bad_, &param, &device_error_); }, 4,
         "QuentixClient_GetFactoryParameter: CheckClientHandle failed"},
        {"SetFactoryParameter null", [&] { return QuentixClient_SetFactoryParameter(handle_, nullptr, nullptr); }, 2,
         "QuentixClient_SetFactoryParameter: NULL parameter"},
        {"SetFactoryParameter bad handle",
         [&] { return QuentixClient_SetFactoryParameter(&bad_, &param, &device_error_); }, 4,
         "QuentixClient_SetFactoryParameter: CheckClientHandle failed"},
        {"GetFactoryCodes null destination",
         [&] { return QuentixClient_GetFactoryCodes(handle_, nullptr, 16, &device_error_); }, 2,
         "QuentixClient_GetFactoryCodes: NULL parameters"},
        {"GetFactoryCodes bad handle",
         [&] { return QuentixClient_GetFactoryCodes(&bad_, codes, 16, &device_error_); }, 4,
         "QuentixClient_GetFactoryCodes: CheckClientHandle failed"},
        {"SetFactoryCodes null", [&] { return QuentixClient_SetFactoryCodes(handle_, nullptr, nullptr); }, 2,
         "QuentixClient_SetFactoryCodes: NULL parameter"},
        {"SetFactoryCodes bad handle", [&] { return QuentixClient_SetFactoryCodes(nullptr, "x", nullptr); }, 4,
         "QuentixClient_SetFactoryCodes: CheckClientHandle failed"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const std::string out = run(c.command, c.result);
        EXPECT_EQ(out.rfind(std::string("[ERROR] - ") + c.line + "\n", 0), 0u) << out;
    }
}

TEST_F(QuentixClientCommandTest, ValuesRefusedBeforeSending)
{
    // WiFi channel outside 1 to 14.
    DeviceInterface_T iface{};
    std::strcpy(iface.name, "wlan0");
    iface.dhcp = 1;
    iface.wifi = 1;
    std::strcpy(iface.wifi_ssid, "lab");
    iface.wifi_mode = 2;
    iface.wifi_channel = 15;
    std::string out = run([&] { return QuentixClient_SetInterface(handle_, &iface, &device_error_); }, 1);
    EXPECT_EQ(out, "[ERROR] - QuentixClient_SetInterface: Invalid wifi channel 15\n");
    iface.wifi_channel = -1;
    out = run([&] { return QuentixClient_SetInterface(handle_, &iface, &device_error_); }, 1);
    EXPECT_EQ(out, "[ERROR] - QuentixClient_SetInterface: Invalid wifi channel -1\n");

    // A command text of 56 characters does not fit the 64-byte payload.
    const std::string text(56, 'c');
    out = run([&] { return QuentixClient_ExecuteAsync(handle_, text.c_str(), &device_error_); }, 10);
    EXPECT_NE(out.find("[ERROR] - QuentixClient_ExecuteAsync: Interpreter_SetString failed (10)\n"), std::string::npos)
        << out;
}

} // namespace
