// The exported functions against camsim in a lab: every report line as technicians
// and scripts read it, the records handed out, and the nolmak tool's exit status.
// Camera 1 (198.18.1.10) has applications, a wired and a WiFi interface and a short
// update; camera 2 (198.18.1.11) has no applications and refuses commands.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lab_fixture.h"
#include "nolmak/Nolmak.hpp"
#include "nolmak/nolmak.h"

#ifndef NOLMAK_TOOL
#error "NOLMAK_TOOL must name the nolmak tool"
#endif

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

const std::string kCam1 = "198.18.1.10";
const std::string kCam2 = "198.18.1.11";
const std::string kMac1 = "00:50:C2:52:01:0A";
const std::string kMac2 = "00:50:C2:52:01:0B";

// Report lines of `call` with the lower layers' diagnostic lines ("[ERROR] - ...")
// taken out: those have their own format and tests.
std::string reported(const std::function<int32_t()> &call, int32_t &result)
{
    CaptureStdout();
    result = call();
    std::fflush(stdout);
    std::istringstream all(GetCapturedStdout());
    std::string report;
    for (std::string line; std::getline(all, line);)
        if (line.rfind("[", 0) != 0)
            report += line + "\n";
    return report;
}

std::string padded(const std::string &text, size_t width)
{
    return text + std::string(width > text.size() ? width - text.size() : 0, ' ');
}

class FrontLab : public lab::LabTest {
protected:
    std::vector<std::string> camsimArgs() const override
    {
        return {"--cameras", "2",
                "--set", "1.gmt_time=2024-05-17 10:20:30.456",
                "--set", "1.update_feedback=64:10:copy; 64:10:copy; 256:100:done",
                "--set", "1.update_interval_ms=20",
                "--set", "2.apps=",
                "--set", "2.refuse=12",
                "--set", "2.refuse_commands=0xAA01,0xAA02,0xAA03,0xADA7"};
    }
    void SetUp() override
    {
        lab::LabTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        sdk_ = nolmak_create();
        ASSERT_NE(sdk_, nullptr);
        nolmak_set_local_ip(sdk_, lab_->pcIp().c_str());
    }
    void TearDown() override
    {
        nolmak_destroy(sdk_);
        lab::LabTest::TearDown();
    }
    // A file of `size` bytes that lives as long as the test.
    std::string updateFile(size_t size)
    {
        file_ = "/tmp/nolmak-update-" + std::to_string(getpid()) + ".gpg";
        std::ofstream(file_, std::ios::binary) << std::string(size, '\x5A');
        return file_;
    }
    ~FrontLab() override
    {
        if (!file_.empty())
            unlink(file_.c_str());
    }

    void *sdk_ = nullptr;
    std::string file_;
};

TEST_F(FrontLab, DiscoveryReportAndTheRecordsHandedOut)
{
    int32_t result = -1;
    const std::string out = reported([&] { return nolmak_discover_all_devices(sdk_, 1000, 50, 1); }, result);
    EXPECT_EQ(result, 1);

    // Rows come in the order the answers arrived.
    const std::string row1 = "  24050001    " + kMac1 + "  " + padded(kCam1, 15) + "  " + padded("anpr-engine", 60) +
                             "  KXV2-200\n";
    const std::string row2 = "  24050002    " + kMac2 + "  " + padded(kCam2, 15) + "  " + padded("-", 60) +
                             "  KXV2-200\n";
    const std::string head = "- performing discovery: local ip 198.18.0.1, timeout 1000 ms\n"
                             "\n- discovery complete: found 2 devices\n\n"
                             "  " + padded("S/N", 10) + "  " + padded("Mac Address", 17) + "  " +
                             padded("IP Address", 15) + "  " + padded("Application", 60) + "  Device Code\n"
                             "  " + padded("---", 10) + "  " + padded("-----------", 17) + "  " +
                             padded("----------", 15) + "  " + padded("-----------", 60) + "  -----------\n";
    EXPECT_TRUE(out == head + row1 + row2 + "\n" || out == head + row2 + row1 + "\n") << out;

    int32_t count = 0;
    const DiscoveryDev_T *found = nolmak_last_found_devices(sdk_, &count);
    ASSERT_EQ(count, 2);
    ASSERT_NE(found, nullptr);
    std::vector<std::string> ips;
    for (int32_t i = 0; i < count; ++i) {
        EXPECT_EQ(found[i].struct_size, 2792);
        ips.push_back(found[i].ip);
    }
    std::sort(ips.begin(), ips.end());
    EXPECT_EQ(ips, (std::vector<std::string>{kCam1, kCam2}));

    // A maximum below the number of cameras keeps that many; the report still counts all.
    const std::string one = reported([&] { return nolmak_discover_all_devices(sdk_, 1000, 1, 1); }, result);
    EXPECT_EQ(result, 1);
    EXPECT_NE(one.find("- discovery complete: found 2 devices\n"), std::string::npos) << one;
    EXPECT_NE(nolmak_last_found_devices(sdk_, &count), nullptr);
    EXPECT_EQ(count, 1);
    // A maximum beyond what a discovery can deliver takes every camera.
    EXPECT_EQ(nolmak_discover_all_devices(sdk_, 1000, INT32_MAX, 0), 1);
    EXPECT_NE(nolmak_last_found_devices(sdk_, &count), nullptr);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(nolmak_discover_all_devices(sdk_, 1000, 1, 0), 1);
    // A failed discovery keeps the earlier list.
    EXPECT_EQ(nolmak_discover_all_devices(sdk_, 1000, 0, 0), 0);
    EXPECT_NE(nolmak_last_found_devices(sdk_, &count), nullptr);
    EXPECT_EQ(count, 1);
}

TEST_F(FrontLab, InformationReportWithApplicationsVersionsClocksAndInterfaces)
{
    DeviceInfo_T info{};
    int32_t result = -1;
    const std::string out = reported([&] { return nolmak_get_info(sdk_, kCam1.c_str(), &info, 1); }, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out, "-- Device's Information ( Mac = 00:50:C2:52:01:0A, NetBios = KORDEX-001) --\n"
                   "Device code:        KXV2-200\n"
                   "Serial number:      24050001\n"
                   "Machine code:       42\n"
                   "IP address:         198.18.1.10\n"
                   "MAC address:        00:50:C2:52:01:0A\n"
                   "Netbiosname:        KORDEX-001\n"
                   "\n -- Applications --\n"
                   "anpr-engine [RUN]\n"
                   "webui [RUN]\n"
                   "ota-agent [NOT RUNNING]\n"
                   "\n-- Software Versions -- \n"
                   "Boot version:       1.4.2\n"
                   "Image version:      2.6.0-r17\n"
                   "Kernel version:     5.10.120\n"
                   "Filesystem version: 2.6.0\n"
                   "Driver version:     3.1.7\n"
                   "FPGA version:       131332\n"
                   "\n-- Date and Time --\n"
                   "GMT date time:      17/05/2024 10.20:30,456\n"
                   "Local date time:    17/05/2024 11.20:30,456\n"
                   "Timezone:           CET-1CEST\n"
                   "\n-- Network Information: --\n"
                   "Name:               eth0\n"
                   "DHCP:               NO\n"
                   "MAC address:        00:50:C2:52:01:0A\n"
                   "IP address:         198.18.1.10\n"
                   "Netmask:            255.254.0.0\n"
                   "Gateway:            198.18.0.1\n"
                   "\n"
                   "Name:               wlan0\n"
                   "DHCP:               NO\n"
                   "MAC address:        00:50:C2:AA:01:0A\n"
                   "IP address:         10.42.0.1\n"
                   "Netmask:            255.255.255.0\n"
                   "Gateway:            10.42.0.1\n"
                   "WiFi SSID:          KORDEX-001\n"
                   "WiFi passphrase:    kordex-secret\n"
                   "WiFi mode:          AP\n"
                   "WiFi channel:       6\n"
                   "\n");
    EXPECT_EQ(info.interface_count, 2);
    EXPECT_STREQ(info.interfaces[1].wifi_ssid, "KORDEX-001");
    EXPECT_EQ(info.value_12025, 7);

    // Without a report nothing is printed; by MAC address the same record arrives.
    DeviceInfo_T byMac{};
    EXPECT_EQ(reported([&] { return nolmak_get_info(sdk_, kMac1.c_str(), &byMac, 0); }, result), "");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::memcmp(&byMac, &info, sizeof info), 0);
}

TEST_F(FrontLab, RefusingCameraIsReportedButTheCallSucceeds)
{
    DeviceInfo_T info;
    std::memset(&info, 0x5A, sizeof info);
    const DeviceInfo_T before = info;
    int32_t result = -1;
    EXPECT_EQ(reported([&] { return nolmak_get_info(sdk_, kCam2.c_str(), &info, 1); }, result),
              "- error: camera replied with error code 12\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);

    EXPECT_EQ(reported([&] { return nolmak_send_reboot(sdk_, kCam2.c_str(), 0); }, result),
              "SEND REBOOT (safeboot:NO) from 198.18.0.1 to 198.18.1.11\n"
              "- error: camera replied with error code 12\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(reported([&] { return nolmak_set_network_params(sdk_, kMac2.c_str(), "eth0", "dhcp", "", ""); }, result),
              "SEND SET ITF name:eth0 dhcp\n"
              "- error: camera replied with error code 12\n");
    EXPECT_EQ(result, 1);
}

TEST_F(FrontLab, NetworkSettingsAndReboot)
{
    int32_t result = -1;
    // "dhcp" anywhere in the address text; netmask and gateway are not sent.
    EXPECT_EQ(reported([&] {
                  return nolmak_set_network_params(sdk_, kCam1.c_str(), "eth0", "use dhcp", "bad", "bad");
              },
                       result),
              "SEND SET ITF name:eth0 dhcp\nDONE\n");
    EXPECT_EQ(result, 1);
    DeviceInfo_T info{};
    ASSERT_EQ(nolmak_get_info(sdk_, kCam1.c_str(), &info, 0), 1);
    EXPECT_EQ(info.interfaces[0].dhcp, 1);
    EXPECT_EQ(lab_->recordLinesWith({"cmd=0xAA01", "cam=198.18.1.10 "}).size(), 1u);

    // By MAC address, with fixed addresses.
    EXPECT_EQ(reported([&] {
                  return nolmak_set_network_params(sdk_, kMac1.c_str(), "eth0", "198.18.1.50", "255.254.0.0",
                                                   "198.18.0.1");
              },
                       result),
              "SEND SET ITF name:eth0 ip:198.18.1.50 nm:255.254.0.0 gw:198.18.0.1\nDONE\n");
    EXPECT_EQ(result, 1);
    ASSERT_EQ(nolmak_get_info(sdk_, kCam1.c_str(), &info, 0), 1);
    EXPECT_EQ(info.interfaces[0].dhcp, 0);
    EXPECT_STREQ(info.interfaces[0].ip, "198.18.1.50");

    EXPECT_EQ(reported([&] { return nolmak_send_reboot(sdk_, kCam1.c_str(), 0x100 | 1); }, result),
              "SEND REBOOT (safeboot:YES) from 198.18.0.1 to 198.18.1.10\nDONE\n");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(lab_->recordLinesWith({"cmd=0xAA02", "cam=198.18.1.10 "}).size(), 1u);
}

TEST_F(FrontLab, ConnectionAlreadyOpen)
{
    Wendaro::Nolmak::Nolmak sdk;
    sdk.setLocalIP(lab_->pcIp());
    ASSERT_EQ(sdk.openConn(kCam1), 1);
    int32_t result = -1;
    EXPECT_EQ(reported([&] { return sdk.sendReboot(kCam1, false); }, result), "- error: handle already open!\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(sdk.closeConn(), 0);
    EXPECT_EQ(lab_->recordLinesWith({"cmd=0xAA02"}).size(), 0u);
}

// The camera's feedback is IN PROGRESS at 10 % twice with the same text, then DONE.
TEST_F(FrontLab, UpdateReportsUploadChangedProgressAndSuccess)
{
    const std::string file = updateFile(1000);
    int32_t result = -1;
    const std::string out =
        reported([&] { return nolmak_update_gpg(sdk_, kCam1.c_str(), 42000, 5000, file.c_str()); }, result);
    EXPECT_EQ(result, 1);
    // The payload (a 12-byte header field and the 1008-byte file field) goes out in
    // two writes: the command header with its datalink table, then the payload.
    const std::string expectedStart = "  starting gpg update...\n  sending 1000 bytes to 198.18.1.10:42000\n";
    EXPECT_EQ(out.rfind(expectedStart, 0), 0u) << out;
    std::vector<std::string> lines;
    std::istringstream in(out.substr(expectedStart.size()));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u) << out;
    EXPECT_EQ(lines[0].rfind("  update: UPLOAD, sent ", 0), 0u) << out;
    EXPECT_EQ(lines[1].rfind("  update: UPLOAD, sent ", 0), 0u) << out;
    EXPECT_EQ(lines[2], "  update: IN_PROGESS, progress 10% 'copy'");
    EXPECT_EQ(lines[3], "  update: DONE, progress 100% 'done'");
    EXPECT_EQ(lines[4], "  update successfully completed!");
    EXPECT_EQ(lines[5], "");
}

TEST_F(FrontLab, UpdateByMacAddress)
{
    const std::string file = updateFile(4096);
    int32_t result = -1;
    std::string out = reported([&] { return nolmak_update_gpg(sdk_, kMac1.c_str(), 42000, 5000, file.c_str()); }, result);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(out.rfind("  starting gpg update...\n"
                        "  need to get the ip address for device with mac address 00:50:C2:52:01:0A...\n"
                        "  ip address found: 198.18.1.10!\n"
                        "  sending 4096 bytes to 198.18.1.10:42000\n",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("  update successfully completed!\n\n"), std::string::npos) << out;
    // The lookup is a discovery of the handle: its list is replaced.
    int32_t count = 0;
    EXPECT_NE(nolmak_last_found_devices(sdk_, &count), nullptr);
    EXPECT_EQ(count, 2);

    out = reported([&] { return nolmak_update_gpg(sdk_, "00:50:C2:00:00:01", 42000, 5000, file.c_str()); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "  starting gpg update...\n"
                   "  need to get the ip address for device with mac address 00:50:C2:00:00:01...\n"
                   "  invalid ip/mac address! (00:50:C2:00:00:01)\n");
}

TEST_F(FrontLab, RefusedUpdateFails)
{
    const std::string file = updateFile(1000);
    int32_t result = -1;
    const std::string out =
        reported([&] { return nolmak_update_gpg(sdk_, kCam2.c_str(), 42000, 5000, file.c_str()); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.find("  update: UPLOAD_ERROR, sent 0 bytes\n"
                       "  update: FAILED, progress 100% ''\n"
                       "  update failed!\n\n"),
              std::string::npos)
        << out;
}

// The tool's standard output and exit status.
int runTool(const std::vector<std::string> &args, std::string &out)
{
    std::string command = NOLMAK_TOOL;
    for (const std::string &a : args)
        command += " '" + a + "'";
    command += " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return -1;
    out.clear();
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FrontLab, ToolExitStatusFollowsTheLibrary)
{
    std::string out;
    EXPECT_EQ(runTool({"discover", "--local-ip", lab_->pcIp(), "--timeout", "800"}, out), 0);
    EXPECT_NE(out.find("- discovery complete: found 2 devices\n"), std::string::npos) << out;
    // The PC host's only adapter that is up gives the same address.
    EXPECT_EQ(runTool({"info", kCam1}, out), 0);
    EXPECT_NE(out.find("-- Device's Information ( Mac = 00:50:C2:52:01:0A, NetBios = KORDEX-001) --\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(runTool({"reboot", "--iface", "no-such-adapter", kCam1}, out), 1);
    EXPECT_EQ(out, "  cannot find an interface no-such-adapter!\n");
    EXPECT_EQ(runTool({"info", "camera-7"}, out), 1);
    EXPECT_EQ(out, "- error: invalid remote ip/mac <camera-7>\n");
    EXPECT_EQ(runTool({"set-net", kCam1, "198.18.1.60"}, out), 1);
    EXPECT_NE(out.find("nolmak: a fixed address needs ADDRESS NETMASK GATEWAY"), std::string::npos) << out;
    const std::string file = updateFile(1000);
    EXPECT_EQ(runTool({"update", kCam2, file}, out), 1);
    EXPECT_NE(out.find("  update failed!\n"), std::string::npos) << out;
    EXPECT_EQ(runTool({"update", "--help"}, out), 0);
    EXPECT_EQ(out.rfind("usage: nolmak update", 0), 0u) << out;
}

} // namespace
