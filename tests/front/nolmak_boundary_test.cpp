// The library boundary without cameras: null handles and texts, oversized texts and
// counts, the local address choice, and the report lines of refusals. Runs against
// the shared library itself, each case in a network namespace of its own.
#include <arpa/inet.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "nolmak/Nolmak.hpp"
#include "nolmak/nolmak.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

void sh(const std::string &command)
{
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Standard output of `call`, with its result.
std::string printed(const std::function<int32_t()> &call, int32_t &result)
{
    CaptureStdout();
    result = call();
    std::fflush(stdout);
    return GetCapturedStdout();
}

struct Handle {
    void *sdk = nolmak_create();
    ~Handle() { nolmak_destroy(sdk); }
};

TEST(Boundary, DestroyNullAndTheListOfANewHandle)
{
    EXPECT_EQ(nolmak_destroy(nullptr), 1);
    Handle h;
    ASSERT_NE(h.sdk, nullptr);
    int32_t count = 99;
    EXPECT_EQ(nolmak_last_found_devices(h.sdk, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(nolmak_last_found_devices(h.sdk, nullptr), nullptr);
    count = 99;
    EXPECT_EQ(nolmak_last_found_devices(nullptr, &count), nullptr);
    EXPECT_EQ(count, 0);
}

TEST(Boundary, NullHandlesAndTextsGiveZeroWithALine)
{
    Handle h;
    DeviceInfo_T info{};
    struct Case {
        const char *name;
        std::function<int32_t()> call;
    };
    const char *ip = "127.0.0.1";
    const std::vector<Case> cases = {
        {"nolmak_set_local_ip", [&] { return nolmak_set_local_ip(nullptr, ip); }},
        {"nolmak_set_local_ip", [&] { return nolmak_set_local_ip(h.sdk, nullptr); }},
        {"nolmak_set_local_ip_by_iface", [&] { return nolmak_set_local_ip_by_iface(nullptr, "lo"); }},
        {"nolmak_set_local_ip_by_iface", [&] { return nolmak_set_local_ip_by_iface(h.sdk, nullptr); }},
        {"nolmak_discover_all_devices", [&] { return nolmak_discover_all_devices(nullptr, 10, 1, 1); }},
        {"nolmak_get_info", [&] { return nolmak_get_info(nullptr, ip, &info, 1); }},
        {"nolmak_get_info", [&] { return nolmak_get_info(h.sdk, nullptr, &info, 1); }},
        {"nolmak_set_network_params", [&] { return nolmak_set_network_params(nullptr, ip, "eth0", "dhcp", "", ""); }},
        {"nolmak_set_network_params", [&] { return nolmak_set_network_params(h.sdk, nullptr, "eth0", "dhcp", "", ""); }},
        {"nolmak_set_network_params", [&] { return nolmak_set_network_params(h.sdk, ip, nullptr, "dhcp", "", ""); }},
        {"nolmak_set_network_params", [&] { return nolmak_set_network_params(h.sdk, ip, "eth0", nullptr, "", ""); }},
        {"nolmak_set_network_params",
         [&] { return nolmak_set_network_params(h.sdk, ip, "eth0", "10.0.0.2", nullptr, "10.0.0.1"); }},
        {"nolmak_set_network_params",
         [&] { return nolmak_set_network_params(h.sdk, ip, "eth0", "10.0.0.2", "255.0.0.0", nullptr); }},
        {"nolmak_send_reboot", [&] { return nolmak_send_reboot(nullptr, ip, 0); }},
        {"nolmak_send_reboot", [&] { return nolmak_send_reboot(h.sdk, nullptr, 0); }},
        {"nolmak_update_gpg", [&] { return nolmak_update_gpg(nullptr, ip, 42000, 1000, "/dev/null"); }},
        {"nolmak_update_gpg", [&] { return nolmak_update_gpg(h.sdk, nullptr, 42000, 1000, "/dev/null"); }},
        {"nolmak_update_gpg", [&] { return nolmak_update_gpg(h.sdk, ip, 42000, 1000, nullptr); }},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        int32_t result = -1;
        const std::string out = printed(cases[i].call, result);
        EXPECT_EQ(result, 0) << "case " << i;
        EXPECT_EQ(out, std::string("- error: ") + cases[i].name + ": NULL parameter\n") << "case " << i;
    }
    EXPECT_EQ(info.interface_count, 0);
}

// Texts longer than the interface record's fields are refused before anything is
// opened; texts that just fit go on to the connection (which fails here: nothing
// listens on loopback).
TEST(Boundary, NetworkSettingsLongerThanTheirFieldsAreRefused)
{
    Handle h;
    nolmak_set_local_ip(h.sdk, "127.0.0.1");
    const std::string name63(63, 'n');
    const std::string name64(64, 'n');
    const std::string refusedOpen = "- error: opening a tcp connection from 127.0.0.1 to 127.0.0.1:42000 failed\n";
    struct Case {
        std::string iface, ip, netmask, gateway;
        std::string expected; // the line that decides the case
    };
    const std::vector<Case> cases = {
        {name64, "dhcp", "", "", "- error: interface name longer than 63 characters <" + name64 + ">\n"},
        {"eth0", "255.255.255.2550", "255.0.0.0", "10.0.0.1",
         "- error: address longer than 15 characters <255.255.255.2550>\n"},
        {"eth0", "10.0.0.2", "255.255.255.2550", "10.0.0.1",
         "- error: address longer than 15 characters <255.255.255.2550>\n"},
        {"eth0", "10.0.0.2", "255.0.0.0", std::string(1000, '1'),
         "- error: address longer than 15 characters <" + std::string(1000, '1') + ">\n"},
        // DHCP sends no addresses, so their length does not matter.
        {name63, "dhcp", std::string(1000, 'x'), std::string(1000, 'y'), refusedOpen},
        {"eth0", "255.255.255.255", "255.255.255.255", "255.255.255.255", refusedOpen},
    };
    for (const Case &c : cases) {
        int32_t result = -1;
        const std::string out = printed(
            [&] {
                return nolmak_set_network_params(h.sdk, "127.0.0.1", c.iface.c_str(), c.ip.c_str(), c.netmask.c_str(),
                                                 c.gateway.c_str());
            },
            result);
        EXPECT_EQ(result, 0);
        EXPECT_NE(out.find(c.expected), std::string::npos) << out;
    }
}

TEST(Boundary, RemoteTextsThatNameNoCamera)
{
    Handle h;
    nolmak_set_local_ip(h.sdk, "127.0.0.1");
    DeviceInfo_T info;
    std::memset(&info, 0x5A, sizeof info);
    const DeviceInfo_T before = info;
    int32_t result = -1;
    std::string out = printed([&] { return nolmak_get_info(h.sdk, "camera-7", &info, 1); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "- error: invalid remote ip/mac <camera-7>\n");
    out = printed([&] { return nolmak_get_info(h.sdk, "127.0.0.1", &info, 1); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.find("- error: opening a tcp connection from 127.0.0.1 to 127.0.0.1:42000 failed\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
    out = printed([&] { return nolmak_send_reboot(h.sdk, "", 1); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "- error: invalid remote ip/mac <>\n");
}

TEST(Boundary, UpdateRefusalsBeforeAnythingIsSent)
{
    Handle h;
    nolmak_set_local_ip(h.sdk, "127.0.0.1");
    int32_t result = -1;
    std::string out = printed([&] { return nolmak_update_gpg(h.sdk, "", 42000, 1000, "/dev/null"); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "  starting gpg update...\n  invalid ip/mac address! ()\n");
    out = printed([&] { return nolmak_update_gpg(h.sdk, "127.0.0.1", 42000, 1000, "/no/such/file"); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "  starting gpg update...\n  cannot read file from disk!\n");
    // A folder opens but cannot be read.
    out = printed([&] { return nolmak_update_gpg(h.sdk, "127.0.0.1", 42000, 1000, "/"); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "  starting gpg update...\n  cannot read file from disk!\n");
    // A file whose size the system does not tell (here a pipe) is read in growing steps.
    const std::string fifo = "/tmp/nolmak-boundary-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::ofstream(fifo, std::ios::binary) << std::string(200000, 'u');
    });
    out = printed([&] { return nolmak_update_gpg(h.sdk, "127.0.0.1", 42000, 1000, fifo.c_str()); }, result);
    writer.join();
    unlink(fifo.c_str());
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.find("  sending 200000 bytes to 127.0.0.1:42000\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  failure while starting the update!\n"), std::string::npos) << out;
    // An empty file is no update.
    out = printed([&] { return nolmak_update_gpg(h.sdk, "127.0.0.1", 42000, 1000, "/dev/null"); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_NE(out.find("  sending 0 bytes to 127.0.0.1:42000\n"), std::string::npos) << out;
    EXPECT_NE(out.find("  failure while starting the update!\n"), std::string::npos) << out;
}

// A maximum of 0 or less fails in the device client before anything is sent; the
// earlier list is kept (here: none).
TEST(Boundary, DiscoveryMaximumOfZeroOrLess)
{
    Handle h;
    nolmak_set_local_ip(h.sdk, "127.0.0.1");
    for (const int32_t maximum : {0, -1, INT32_MIN}) {
        int32_t result = -1;
        const std::string out = printed([&] { return nolmak_discover_all_devices(h.sdk, 10, maximum, 0); }, result);
        EXPECT_EQ(result, 0) << maximum;
        EXPECT_NE(out.find("- error: discovery failed 5\n"), std::string::npos) << out;
        int32_t count = -1;
        EXPECT_EQ(nolmak_last_found_devices(h.sdk, &count), nullptr);
        EXPECT_EQ(count, 0);
    }
}

TEST(Boundary, ConnectionAlreadyOpen)
{
    Wendaro::Nolmak::Nolmak sdk;
    sdk.setLocalIP("127.0.0.1");
    // A MAC-addressed connection opens without sending anything.
    ASSERT_EQ(sdk.openConn("00:50:C2:52:88:99"), 1);
    int32_t result = -1;
    std::string out = printed([&] { return sdk.getInfo("127.0.0.1", nullptr, true); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "- error: handle already open!\n");
    out = printed([&] { return sdk.openConn("00:50:C2:52:88:99"); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "- error: handle already open!\n");
    EXPECT_EQ(sdk.closeConn(), 0);
    EXPECT_EQ(sdk.closeConn(), 0); // nothing open any more
    EXPECT_EQ(sdk.openConn("00:50:C2:52:88:99"), 1);
    // The destructor closes what is still open.
}

// Adapters named so that the smallest name is not the first one made.
void addAdapters()
{
    sh("ip link add zz-b type veth peer name zz-peer-b && ip link set zz-peer-b up && ip link set zz-b up && "
       "ip addr add 198.18.9.1/24 dev zz-b");
    sh("ip link add mm-a type veth peer name mm-peer-a && ip link set mm-peer-a up && ip link set mm-a up && "
       "ip addr add 198.18.8.1/24 dev mm-a && ip addr add 198.18.8.2/24 dev mm-a label mm-a:1");
    // Up, but its peer is down: not operational.
    sh("ip link add aa-c type veth peer name aa-peer-c && ip link set aa-c up && ip addr add 198.18.7.1/24 dev aa-c");
}

TEST(LocalAddress, FirstAdapterByNameAndChoiceByName)
{
    addAdapters();
    Wendaro::Nolmak::Nolmak sdk;
    const auto &map = sdk.getLocalIPAddresses();
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.begin()->first, "mm-a");
    // The adapter's last IPv4 address is the one kept, its label's included.
    EXPECT_EQ(map.at("mm-a"), htonl(0xC6120802));
    EXPECT_EQ(map.at("zz-b"), htonl(0xC6120901));

    // The discovery report names the local address in use.
    void *h = nolmak_create();
    int32_t result = -1;
    std::string out = printed([&] { return nolmak_discover_all_devices(h, 10, 0, 1); }, result);
    EXPECT_EQ(out.rfind("- performing discovery: local ip 198.18.8.2, timeout 10 ms\n", 0), 0u) << out;

    EXPECT_EQ(nolmak_set_local_ip_by_iface(h, "zz-b"), 1);
    out = printed([&] { return nolmak_set_local_ip_by_iface(h, "aa-c"); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "  cannot find an interface aa-c!\n");
    out = printed([&] { return nolmak_set_local_ip_by_iface(h, "lo"); }, result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, "  cannot find an interface lo!\n");
    out = printed([&] { return nolmak_discover_all_devices(h, 10, 0, 1); }, result);
    EXPECT_EQ(out.rfind("- performing discovery: local ip 198.18.9.1, timeout 10 ms\n", 0), 0u) << out;
    nolmak_destroy(h);
}

TEST(LocalAddress, NoAdapterLeavesTheZeroAddress)
{
    void *h = nolmak_create();
    int32_t result = -1;
    const std::string out = printed([&] { return nolmak_discover_all_devices(h, 10, 0, 1); }, result);
    EXPECT_EQ(out.rfind("- performing discovery: local ip 0.0.0.0, timeout 10 ms\n", 0), 0u) << out;
    nolmak_destroy(h);
}

} // namespace
