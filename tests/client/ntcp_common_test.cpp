#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "client/ntcp_common.h"

namespace {

// Every case runs in a network namespace of its own (loopback up), so the adapters it
// adds are the only ones besides loopback.
class LocalInterfaces : public testing::Test {
protected:
    void SetUp() override
    {
        // sysfs shows the adapters of the namespace it was mounted in: mount a fresh one
        // in a private mount namespace, as a system running in this namespace would have.
        ASSERT_EQ(unshare(CLONE_NEWNS), 0);
        ASSERT_EQ(mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
        ASSERT_EQ(mount("sysfs", "/sys", "sysfs", 0, nullptr), 0);
    }

    static void run(const std::string &command)
    {
        ASSERT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    }

    // A veth pair; `a` gets the physical address given, `b` keeps a random one.
    static void add_veth(const std::string &a, const std::string &b, const std::string &mac)
    {
        run("ip link add " + a + " type veth peer name " + b);
        run("ip link set " + a + " address " + mac);
        run("ip link set " + a + " up");
        run("ip link set " + b + " up");
    }

    static LocalInterfaceList_T list_interfaces(int32_t verbose = 0)
    {
        LocalInterfaceList_T list;
        std::memset(&list, 0x5A, sizeof list);
        EXPECT_EQ(GetInterfacesList(&list, verbose), NTCP_OK);
        return list;
    }

    static const LocalInterface_T *find(const LocalInterfaceList_T &list, const char *name)
    {
        for (int i = 0; i < list.count; ++i)
            if (std::strcmp(list.interfaces[i].name, name) == 0)
                return &list.interfaces[i];
        return nullptr;
    }

    static std::vector<std::string> names(const LocalInterfaceList_T &list)
    {
        std::vector<std::string> out;
        for (int i = 0; i < list.count; ++i)
            out.emplace_back(list.interfaces[i].name);
        return out;
    }
};

TEST_F(LocalInterfaces, EthernetAdapterWithAddressGatewayAndLease)
{
    add_veth("lan0", "peer0", "00:50:C2:52:88:99");
    // A finite lifetime is how a DHCP lease shows on the adapter.
    run("ip addr add 192.168.1.10/24 dev lan0 valid_lft 3600 preferred_lft 3600");
    run("ip route add default via 192.168.1.1");

    const LocalInterfaceList_T list = list_interfaces();
    // peer0 was created first (lower index) but sorts after lan0; loopback has no
    // physical address and sorts first.
    ASSERT_EQ(names(list), (std::vector<std::string>{"lo", "lan0", "peer0"}));

    const LocalInterface_T &lan = list.interfaces[1];
    EXPECT_STREQ(lan.mac, "00:50:C2:52:88:99");
    const uint8_t mac[] = {0x00, 0x50, 0xC2, 0x52, 0x88, 0x99};
    EXPECT_EQ(std::memcmp(lan.mac_bytes, mac, 6), 0);
    EXPECT_EQ(std::memcmp(lan.physical_address, mac, 6), 0);
    EXPECT_STREQ(lan.ip, "192.168.1.10");
    EXPECT_STREQ(lan.netmask, "255.255.255.0");
    EXPECT_STREQ(lan.gateway, "192.168.1.1");
    EXPECT_EQ(lan.dhcp, 1);
    EXPECT_EQ(lan.wifi, 0);
    EXPECT_EQ(lan.address.sin_family, AF_INET);
    EXPECT_EQ(lan.address.sin_port, 0);
    EXPECT_EQ(lan.address.sin_addr.s_addr, inet_addr("192.168.1.10"));

    // An adapter without an address is still listed.
    const LocalInterface_T &peer = list.interfaces[2];
    EXPECT_STREQ(peer.ip, "0.0.0.0");
    EXPECT_STREQ(peer.netmask, "0.0.0.0");
    EXPECT_STREQ(peer.gateway, "0.0.0.0");
    EXPECT_EQ(peer.dhcp, 0);
    EXPECT_EQ(std::strlen(peer.mac), 17u);

    const LocalInterface_T &lo = list.interfaces[0];
    EXPECT_STREQ(lo.mac, "");
    EXPECT_EQ(std::memcmp(lo.physical_address, "\0\0\0\0\0\0\0\0", 8), 0);
    EXPECT_STREQ(lo.ip, "127.0.0.1");
    EXPECT_STREQ(lo.netmask, "255.0.0.0");
    EXPECT_STREQ(lo.gateway, "0.0.0.0");
    EXPECT_EQ(lo.dhcp, 0); // a static address lives forever
    EXPECT_EQ(lo.wifi, 0);
}

TEST_F(LocalInterfaces, EntriesComeOutInAscendingMacOrder)
{
    add_veth("ec", "pc", "02:00:00:00:00:0C");
    add_veth("ea", "pa", "02:00:00:00:00:0A");
    add_veth("eb", "pb", "02:00:00:00:00:0B");
    run("ip link set pa address 0A:00:00:00:00:01");
    run("ip link set pb address 06:00:00:00:00:01");
    run("ip link set pc address 02:00:00:00:00:0D");
    EXPECT_EQ(names(list_interfaces()),
              (std::vector<std::string>{"lo", "ea", "eb", "ec", "pc", "pb", "pa"}));
}

TEST_F(LocalInterfaces, PrefixLengthsGiveTheirMasks)
{
    add_veth("h0", "h1", "02:00:00:00:00:01");
    run("ip addr add 198.18.0.1/32 dev h0");
    run("ip addr add 198.18.0.9/0 dev h1");
    run("ip addr add 198.18.7.1/17 dev h0"); // a second address is not the first
    const LocalInterfaceList_T list = list_interfaces();
    ASSERT_NE(find(list, "h0"), nullptr);
    ASSERT_NE(find(list, "h1"), nullptr);
    EXPECT_STREQ(find(list, "h0")->ip, "198.18.0.1");
    EXPECT_STREQ(find(list, "h0")->netmask, "255.255.255.255");
    EXPECT_STREQ(find(list, "h1")->netmask, "0.0.0.0");
}

TEST_F(LocalInterfaces, OtherAdapterTypesAreLeftOut)
{
    run("ip tuntap add tun0 mode tun"); // no Ethernet framing
    add_veth("e0", "e1", "02:00:00:00:00:01");
    EXPECT_EQ(names(list_interfaces()), (std::vector<std::string>{"lo", "e0", "e1"}));
}

TEST_F(LocalInterfaces, WirelessAndTypeComeFromSysfs)
{
    add_veth("w0", "x0", "02:00:00:00:00:01");
    // Stand-in sysfs entries: w0 is an 802.11 adapter, x0 a tunnel (type 768).
    auto fake = [](const std::string &name, const std::string &type, bool wireless) {
        const std::string dir = testing::TempDir() + "sys_" + name;
        run("mkdir -p " + dir);
        if (wireless)
            run("mkdir -p " + dir + "/wireless");
        std::ofstream(dir + "/type") << type << "\n";
        std::ifstream index_in("/sys/class/net/" + name + "/ifindex");
        std::string index;
        index_in >> index;
        std::ofstream(dir + "/ifindex") << index << "\n";
        run("mount --bind " + dir + " /sys/devices/virtual/net/" + name);
    };
    fake("w0", "1", true);
    fake("x0", "768", false);

    const LocalInterfaceList_T list = list_interfaces();
    EXPECT_EQ(names(list), (std::vector<std::string>{"lo", "w0"}));
    ASSERT_NE(find(list, "w0"), nullptr);
    EXPECT_EQ(find(list, "w0")->wifi, 1);
}

TEST_F(LocalInterfaces, SysfsOfAnotherNamespaceIsNotTrusted)
{
    // The host's sysfs, not this namespace's: the link's own type decides.
    ASSERT_EQ(umount2("/sys", MNT_DETACH), 0);
    add_veth("stale0", "stale1", "02:00:00:00:00:01");
    EXPECT_EQ(names(list_interfaces()), (std::vector<std::string>{"lo", "stale0", "stale1"}));
}

TEST_F(LocalInterfaces, AtMostSixteenEntries)
{
    for (int i = 0; i < 10; ++i) {
        char mac[32];
        std::snprintf(mac, sizeof mac, "02:00:00:00:01:%02X", 0xF0 - i);
        add_veth("va" + std::to_string(i), "vb" + std::to_string(i), mac);
    }
    struct {
        LocalInterfaceList_T list;
        uint8_t canary[sizeof(LocalInterface_T)];
    } guarded;
    std::memset(guarded.canary, 0xA5, sizeof guarded.canary);
    ASSERT_EQ(GetInterfacesList(&guarded.list, 0), NTCP_OK);
    EXPECT_EQ(guarded.list.count, LOCAL_INTERFACE_MAX);
    for (uint8_t byte : guarded.canary)
        ASSERT_EQ(byte, 0xA5);
    for (int i = 1; i < guarded.list.count; ++i)
        EXPECT_LT(std::strcmp(guarded.list.interfaces[i - 1].mac, guarded.list.interfaces[i].mac), 0);
}

TEST_F(LocalInterfaces, VerboseListingPrintsEachEntry)
{
    add_veth("lan0", "peer0", "00:50:C2:52:88:99");
    run("ip addr add 192.168.1.10/24 dev lan0");
    run("ip route add default via 192.168.1.1");
    testing::internal::CaptureStdout();
    list_interfaces(1);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("[INFO] - Interface: lan0 IP: 192.168.1.10 MAC: 00:50:C2:52:88:99 "
                           "NM: 255.255.255.0 GW: 192.168.1.1 DHCP: OFF WiFi: NO\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("[INFO] - Interface: lo IP: 127.0.0.1 MAC:  NM: 255.0.0.0"), std::string::npos);

    testing::internal::CaptureStdout();
    list_interfaces(0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(LocalInterfaces, NullListGivesTwoQuietly)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetInterfacesList(nullptr, 1), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(LocalInterfaces, LookupByNameAddressOrMac)
{
    add_veth("lan0", "peer0", "00:50:C2:52:88:99");
    run("ip addr add 192.168.1.10/24 dev lan0");
    struct Case {
        int32_t by;
        const char *key;
        int32_t result;
        const char *name;
    } cases[] = {
        {IFT_BY_NAME, "lan0", 0, "lan0"},
        {IFT_BY_NAME, "LAN0", 8, nullptr},
        {IFT_BY_IP, "192.168.1.10", 0, "lan0"},
        {IFT_BY_IP, "0.0.0.0", 0, "peer0"},
        {IFT_BY_MAC, "00:50:C2:52:88:99", 0, "lan0"},
        {IFT_BY_MAC, "00:50:c2:52:88:99", 8, nullptr}, // exact text, case counts
        {IFT_BY_MAC, "", 0, "lo"},
        {3, "lan0", 5, nullptr},
        {-1, "lan0", 5, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.by) + " " + c.key);
        LocalInterface_T out{};
        testing::internal::CaptureStdout();
        EXPECT_EQ(GetInterfaceBy(c.by, c.key, &out), c.result);
        const std::string printed = testing::internal::GetCapturedStdout();
        if (c.name != nullptr) {
            EXPECT_STREQ(out.name, c.name);
        }
        if (c.result == NTCP_ERR_RANGE) {
            EXPECT_EQ(printed, "[ERROR] - GetInterfaceBy: Unknown ift by " + std::to_string(c.by) + "\n");
        }
    }

    LocalInterface_T out{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(GetInterfaceBy(IFT_BY_NAME, nullptr, &out), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(GetInterfaceBy(IFT_BY_NAME, "lo", nullptr), NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "[ERROR] - GetInterfaceBy: NULL parameter\n[ERROR] - GetInterfaceBy: NULL parameter\n");
}

TEST(NtcpCommon, HexDigits)
{
    const struct {
        int32_t value;
        char digit;
    } digits[] = {{0, '0'}, {9, '9'}, {10, 'A'}, {12, 'C'}, {15, 'F'}, {16, 0}, {255, 0},
                  {0x10C, 'C'} /* only the low 8 bits count */, {-1, 0}};
    for (const auto &d : digits)
        EXPECT_EQ(intToAscii(d.value), d.digit) << d.value;

    const struct {
        int32_t value;
        const char *text;
    } bytes[] = {{0x3A, "3A"}, {0x00, "00"}, {0xFF, "FF"}, {0x1A5, "A5"}, {-2, "FE"}};
    for (const auto &b : bytes) {
        char out[3] = {'x', 'x', 'x'};
        EXPECT_EQ(byteToHex(b.value, out), 2);
        EXPECT_EQ(std::string(out, 2), b.text);
        EXPECT_EQ(out[2], 'x'); // no terminator
    }
    EXPECT_EQ(byteToHex(0x3A, nullptr), 0);
}

TEST(NtcpCommon, FreeReleasesAndClears)
{
    void *block = std::malloc(16);
    NTCP_free(&block);
    EXPECT_EQ(block, nullptr);
    NTCP_free(&block); // holds null: nothing happens
    EXPECT_EQ(block, nullptr);
    NTCP_free(nullptr);
}

} // namespace
