// Report lines of the SDK object, byte for byte, from records filled by hand.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "front/report.h"

namespace {

using namespace Wendaro::Nolmak;

template <size_t N> void put(char (&field)[N], const char *text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text, std::min(std::strlen(text), N - 1));
}

DiscoveryDev_T camera()
{
    DiscoveryDev_T d{};
    d.struct_size = sizeof d;
    put(d.ip, "198.18.1.10");
    put(d.mac, "00:50:C2:52:88:99");
    put(d.device_type, "KXV2-200");
    put(d.netbios_name, "GATE-NORTH");
    d.serial_number = 777;
    d.machine_code = 42;
    return d;
}

DeviceInterface_T wired(const char *name, int32_t dhcp, const char *mac, const char *ip, const char *netmask,
                        const char *gateway)
{
    DeviceInterface_T itf{};
    put(itf.name, name);
    itf.dhcp = dhcp;
    put(itf.mac, mac);
    put(itf.ip, ip);
    put(itf.netmask, netmask);
    put(itf.gateway, gateway);
    return itf;
}

TEST(ReportNames, KindsStatesAndModes)
{
    struct Case {
        const char *(*name)(int32_t);
        int32_t value;
        const char *expected;
    };
    const Case cases[] = {
        {updateKindName, 0, "UNKNOWN"},
        {updateKindName, 1, "INIT_ERROR"},
        {updateKindName, 2, "UPLOAD"},
        {updateKindName, 3, "UPLOAD_ERROR"},
        {updateKindName, 4, "IN_PROGESS"},
        {updateKindName, 5, "GET_FEED_ERROR"},
        {updateKindName, 6, "FAILED"},
        {updateKindName, 7, "DONE"},
        {updateKindName, 8, "DONE_REBOOT_IN_PROGRESS"},
        {updateKindName, 9, "UNKNOWN"},
        {updateKindName, -1, "UNKNOWN"},
        {updateKindName, 61731, "UNKNOWN"},
        {applicationStateName, 10, "INIT"},
        {applicationStateName, 11, "INIT FAILED"},
        {applicationStateName, 12, "RUN"},
        {applicationStateName, 13, "RESTARTING"},
        {applicationStateName, 14, "NOT RUNNING"},
        {applicationStateName, 9, "UNKNOWN"},
        {applicationStateName, 15, "UNKNOWN"},
        {wifiModeName, 1, "AP"},
        {wifiModeName, 2, "CLIENT"},
        {wifiModeName, 0, "UNKNOWN"},
        {wifiModeName, 3, "UNKNOWN"},
    };
    for (const Case &c : cases)
        EXPECT_STREQ(c.name(c.value), c.expected) << c.value;
}

TEST(DiscoveryTable, HeaderDashesAndRowsWithAndWithoutApplications)
{
    EXPECT_EQ(discoveryTableHeader(),
              "  S/N         Mac Address        IP Address       Application" + std::string(49, ' ') +
                  "  Device Code\n"
                  "  ---         -----------        ----------       -----------" +
                  std::string(49, ' ') + "  -----------\n");

    DiscoveryDev_T d = camera();
    EXPECT_EQ(discoveryTableRow(d), "  777         00:50:C2:52:88:99  198.18.1.10      -" + std::string(59, ' ') +
                                        "  KXV2-200\n");
    d.app_count = 2;
    put(d.apps[0].name, "anpr-engine");
    put(d.apps[1].name, "webui");
    EXPECT_EQ(discoveryTableRow(d), "  777         00:50:C2:52:88:99  198.18.1.10      anpr-engine" +
                                        std::string(49, ' ') + "  KXV2-200\n");
}

TEST(DiscoveryTable, LongNameWidensItsColumnAndAnUnterminatedFieldStopsAtItsEnd)
{
    DiscoveryDev_T d = camera();
    d.app_count = 1;
    put(d.apps[0].name, std::string(70, 'a').c_str());
    std::memset(d.device_type, 'T', sizeof d.device_type); // no terminator
    EXPECT_EQ(discoveryTableRow(d),
              "  777         00:50:C2:52:88:99  198.18.1.10      " + std::string(70, 'a') + "  TTTTTTTTTTTT\n");
}

TEST(InfoReport, EverySectionOfACameraWithApplicationsAndWiredAndWifiInterfaces)
{
    DiscoveryDev_T d = camera();
    d.app_count = 2;
    put(d.apps[0].name, "anpr-engine");
    d.apps[0].state = 12;
    put(d.apps[1].name, "ota-agent");
    d.apps[1].state = 14;

    DeviceInfo_T info{};
    put(info.boot_version, "1.4.2");
    put(info.image_version, "2.6.0-r17");
    // kernel version left empty: its line is left out
    put(info.filesystem_version, "2.6.0");
    put(info.driver_version, "3.1.7");
    info.fpga_count = 2;
    info.fpga_versions[0] = 131332;
    info.fpga_versions[1] = 65539;
    info.gmt_time = {17, 5, 2024, 10, 20, 30, 456};
    info.local_time = {17, 5, 2024, 12, 20, 30, 7};
    put(info.timezone, "CET-1CEST");
    info.interface_count = 3;
    info.interfaces[0] = wired("eth0", 1, "00:50:C2:52:88:99", "198.18.1.10", "255.254.0.0", "198.18.0.1");
    DeviceInterface_T &ap = info.interfaces[1];
    ap = wired("wlan0", 0, "00:50:C2:AA:01:0A", "10.42.0.1", "255.255.255.0", "10.42.0.1");
    ap.wifi = 1;
    put(ap.wifi_ssid, "yard-ap");
    put(ap.wifi_passphrase, "kordex-secret");
    ap.wifi_mode = 1;
    ap.wifi_channel = 6;
    DeviceInterface_T &client = info.interfaces[2];
    client = wired("wlan1", 0, "00:50:C2:AA:01:0B", "192.168.7.20", "255.255.255.0", "192.168.7.1");
    client.wifi = 1;
    put(client.wifi_ssid, "depot");
    client.wifi_mode = 2;
    client.wifi_channel = 11; // a client's channel is not printed

    EXPECT_EQ(deviceInfoReport(d, info), "-- Device's Information ( Mac = 00:50:C2:52:88:99, NetBios = GATE-NORTH) --\n"
                                         "Device code:        KXV2-200\n"
                                         "Serial number:      777\n"
                                         "Machine code:       42\n"
                                         "IP address:         198.18.1.10\n"
                                         "MAC address:        00:50:C2:52:88:99\n"
                                         "Netbiosname:        GATE-NORTH\n"
                                         "\n -- Applications --\n"
                                         "anpr-engine [RUN]\n"
                                         "ota-agent [NOT RUNNING]\n"
                                         "\n-- Software Versions -- \n"
                                         "Boot version:       1.4.2\n"
                                         "Image version:      2.6.0-r17\n"
                                         "Filesystem version: 2.6.0\n"
                                         "Driver version:     3.1.7\n"
                                         "FPGA version:       131332\n"
                                         "\n-- Date and Time --\n"
                                         "GMT date time:      17/05/2024 10.20:30,456\n"
                                         "Local date time:    17/05/2024 12.20:30,007\n"
                                         "Timezone:           CET-1CEST\n"
                                         "\n-- Network Information: --\n"
                                         "Name:               eth0\n"
                                         "DHCP:               YES\n"
                                         "MAC address:        00:50:C2:52:88:99\n"
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
                                         "WiFi SSID:          yard-ap\n"
                                         "WiFi passphrase:    kordex-secret\n"
                                         "WiFi mode:          AP\n"
                                         "WiFi channel:       6\n"
                                         "\n"
                                         "Name:               wlan1\n"
                                         "DHCP:               NO\n"
                                         "MAC address:        00:50:C2:AA:01:0B\n"
                                         "IP address:         192.168.7.20\n"
                                         "Netmask:            255.255.255.0\n"
                                         "Gateway:            192.168.7.1\n"
                                         "WiFi SSID:          depot\n"
                                         "WiFi passphrase:    \n"
                                         "WiFi mode:          CLIENT\n"
                                         "\n");
}

TEST(InfoReport, CameraWithoutApplicationsVersionsOrTimeZoneAndCountsBeyondTheRecordsRoom)
{
    DiscoveryDev_T d = camera();
    DeviceInfo_T info{};
    const std::string bare = deviceInfoReport(d, info);
    EXPECT_EQ(bare.find("Applications"), std::string::npos);
    EXPECT_NE(bare.find("\n-- Software Versions -- \nFPGA version:       0\n\n-- Date and Time --\n"
                        "GMT date time:      00/00/0000 00.00:00,000\n"
                        "Local date time:    00/00/0000 00.00:00,000\n\n-- Network Information: --\n"),
              std::string::npos)
        << bare;
    EXPECT_EQ(bare.find("Timezone"), std::string::npos);

    // Counts that say more than the record holds print what it holds.
    d.app_count = 1000;
    info.interface_count = 1000;
    const std::string full = deviceInfoReport(d, info);
    size_t interfaces = 0;
    for (size_t at = full.find("Name:"); at != std::string::npos; at = full.find("Name:", at + 1))
        ++interfaces;
    EXPECT_EQ(interfaces, static_cast<size_t>(DEVICE_INTERFACES_MAX));
    size_t apps = 0;
    for (size_t at = full.find(" [UNKNOWN]\n"); at != std::string::npos; at = full.find(" [UNKNOWN]\n", at + 1))
        ++apps;
    EXPECT_EQ(apps, static_cast<size_t>(DEVICE_APPS_MAX));
}

UpdateReading reading(int32_t kind, int32_t sent, int32_t progress, const char *message)
{
    UpdateReading r;
    r.kind = kind;
    r.bytesSent = sent;
    r.progress = progress;
    r.message = message;
    return r;
}

// The sequence UPLOAD, UPLOAD, IN_PROGESS 10 % twice with the same text, DONE gives
// two sent-bytes lines, one progress line for the equal pair and one for DONE.
TEST(UpdateProgress, EveryUploadLineAndOnlyChangedReadingsOtherwise)
{
    const std::vector<UpdateReading> readings = {
        reading(2, 524288, 0, ""),   reading(2, 1000000, 0, ""), reading(4, 0, 10, "copy"),
        reading(4, 0, 10, "copy"),   reading(4, 0, 10, "verify"), reading(4, 0, 40, "verify"),
        reading(7, 0, 100, "done"),
    };
    std::string printed;
    UpdateReading previous;
    for (const UpdateReading &r : readings) {
        printed += updateProgressLine(r, previous);
        previous = r;
    }
    EXPECT_EQ(printed, "  update: UPLOAD, sent 524288 bytes\n"
                       "  update: UPLOAD, sent 1000000 bytes\n"
                       "  update: IN_PROGESS, progress 10% 'copy'\n"
                       "  update: IN_PROGESS, progress 10% 'verify'\n"
                       "  update: IN_PROGESS, progress 40% 'verify'\n"
                       "  update: DONE, progress 100% 'done'\n");

    // An upload failure reads like an upload line; a repeated one is printed again.
    const UpdateReading failed = reading(3, 4096, 0, "");
    EXPECT_EQ(updateProgressLine(failed, failed), "  update: UPLOAD_ERROR, sent 4096 bytes\n");
    // The first reading differs from the all-zero start only in its kind.
    EXPECT_EQ(updateProgressLine(reading(6, 0, 0, ""), UpdateReading{}), "  update: FAILED, progress 0% ''\n");
    EXPECT_EQ(updateProgressLine(UpdateReading{}, UpdateReading{}), "");
}

} // namespace
