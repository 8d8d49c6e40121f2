// camsim's own parts that need no network: its settings and the bytes of its answers.
#include <gtest/gtest.h>

#include "kordexv2_answers.h"
#include "recorder.h"
#include "sim_options.h"

namespace {

using camsim::SimOptions;

bool parse(std::vector<const char *> args, SimOptions &options, std::string &error)
{
    args.insert(args.begin(), "camsim");
    return camsim::parseOptions(static_cast<int>(args.size()), args.data(), options, error);
}

TEST(CamsimOptions, DefaultsAndPerCameraSettings)
{
    struct Case {
        const char *name;
        std::vector<const char *> args;
        std::vector<std::string> ips;
        std::vector<bool> silent;
    } cases[] = {
        {"defaults", {}, {"198.18.1.10", "198.18.1.11", "198.18.1.12"}, {false, false, false}},
        {"count and base", {"--cameras", "2", "--base-ip", "198.18.2.254"}, {"198.18.2.254", "198.18.2.255"}, {false, false}},
        {"one camera", {"--cameras", "2", "--set", "2.silent=1"}, {"198.18.1.10", "198.18.1.11"}, {false, true}},
        {"every camera", {"--cameras", "2", "--set", "silent=yes"}, {"198.18.1.10", "198.18.1.11"}, {true, true}},
        // A camera named beyond the count adds cameras up to it.
        {"more by number", {"--cameras", "1", "--set", "3.ip=198.18.9.9"}, {"198.18.1.10", "198.18.1.11", "198.18.9.9"},
         {false, false, false}},
        // One camera's setting wins over the setting for all, whatever the order.
        {"one over all", {"--set", "1.silent=0", "--set", "silent=1"}, {"198.18.1.10", "198.18.1.11", "198.18.1.12"},
         {false, true, true}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SimOptions options;
        std::string error;
        ASSERT_TRUE(parse(c.args, options, error)) << error;
        ASSERT_EQ(options.cameras.size(), c.ips.size());
        for (size_t i = 0; i < c.ips.size(); ++i) {
            EXPECT_EQ(options.cameras[i].ip, c.ips[i]);
            EXPECT_EQ(options.cameras[i].misbehave.silent, c.silent[i]);
        }
    }
}

TEST(CamsimOptions, SettingTheAddressMovesTheWiredInterfaceAlong)
{
    SimOptions options;
    std::string error;
    ASSERT_TRUE(parse({"--cameras", "1", "--set", "ip=198.18.3.3", "--set", "mac=00:11:22:33:44:55"}, options, error));
    const auto &camera = options.cameras.at(0);
    EXPECT_EQ(camera.interfaces.at(0).ip, "198.18.3.3");
    EXPECT_EQ(camera.interfaces.at(0).mac, "00:11:22:33:44:55");
    EXPECT_EQ(camera.interfaces.at(1).ip, "10.42.0.1");
}

TEST(CamsimOptions, RefusesWhatDoesNotParse)
{
    const std::vector<std::vector<const char *>> bad = {
        {"--set", "bogus=1"},
        {"--set", "serial=12x"},
        {"--set", "silent=maybe"},
        {"--set", "malformed=sometimes"},
        {"--set", "iface.1=eth0,0,mac,ip"},
        {"--set", "factory_3002=SIXTEEN-CHARS-XX"},
        {"--set", "gmt_time=2024-13-01 00:00:00"},
        {"--set", "update_feedback=64:x:copy"},
        {"--set", "noequals"},
        {"--cameras", "0"},
        {"--cameras"},
        {"--base-ip", "198.18.1"},
        {"--port", "70000"},
        {"stray"},
    };
    for (const auto &args : bad) {
        SCOPED_TRACE(args.back());
        SimOptions options;
        std::string error;
        EXPECT_FALSE(parse(args, options, error));
        EXPECT_FALSE(error.empty());
    }
}

TEST(CamsimConfigText, SectionsCommentsAndErrors)
{
    camsim::FileSettings settings;
    std::string error;
    ASSERT_TRUE(camsim::parseConfigText("# lab cameras\n[camsim]\ncameras = 2\n\n[camera]\nsilent=1\n"
                                        "; the second one\n[camera 2]\n  netbios = GATE = 2 \n",
                                        settings, error))
        << error;
    ASSERT_EQ(settings.globals.size(), 1u);
    EXPECT_EQ(settings.globals[0].first, "cameras");
    ASSERT_EQ(settings.sets.size(), 2u);
    EXPECT_EQ(settings.sets[0].camera, 0);
    EXPECT_EQ(settings.sets[1].camera, 2);
    EXPECT_EQ(settings.sets[1].key, "netbios");
    EXPECT_EQ(settings.sets[1].value, "GATE = 2");

    for (const char *bad : {"key=value\n", "[camera x]\n", "[camsim\n", "[camera]\njust words\n", "[other]\n"}) {
        camsim::FileSettings s;
        EXPECT_FALSE(camsim::parseConfigText(bad, s, error)) << bad;
    }
}

// The description of a small camera, field by field as the data-code table lays it out.
TEST(CamsimAnswers, DescriptionBytes)
{
    camsim::CameraConfig camera;
    camera.ip = "198.18.1.10";
    camera.mac = "00:50:C2:52:01:0A";
    camera.device_type = "KX";
    camera.serial = 1;
    camera.board_code = 2;
    camera.netbios = "N";
    camera.apps = {{"a", 12}};
    camsim::Payload out;
    camsim::kordexv2::writeDescription(out, camera);
    const std::vector<uint8_t> expected = {
        0xE2, 0x2E, 0, 0, 12, 0, 0, 0, '1', '9', '8', '.', '1', '8', '.', '1', '.', '1', '0', 0,
        0xE1, 0x2E, 0, 0, 18, 0, 0, 0, '0', '0', ':', '5', '0', ':', 'C', '2', ':', '5', '2', ':',
        '0', '1', ':', '0', 'A', 0, 0, 0,
        0x78, 0x2F, 0, 0, 3, 0, 0, 0, 'K', 'X', 0, 0,
        0xE0, 0x2E, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0,
        0x0D, 0, 0x30, 0, 4, 0, 0, 0, 2, 0, 0, 0,
        0xE8, 0x2E, 0, 0, 2, 0, 0, 0, 'N', 0, 0, 0,
        0x03, 0, 0x30, 0, 24, 0, 0, 0,
        0x04, 0, 0x30, 0, 2, 0, 0, 0, 'a', 0, 0, 0,
        0x06, 0, 0x30, 0, 4, 0, 0, 0, 12, 0, 0, 0,
    };
    ASSERT_TRUE(out.ok());
    EXPECT_EQ(std::vector<uint8_t>(out.data(), out.data() + out.size()), expected);

    // A left-out code is missing from groups too.
    camsim::Payload without({MV_DATA_CODE_NETBIOSNAME, MV_DATA_CODE_APPLICATION_STATE});
    camsim::kordexv2::writeDescription(without, camera);
    EXPECT_EQ(without.size(), static_cast<int32_t>(expected.size()) - 12 - 12);
}

TEST(CamsimAnswers, SetInterfaceRequests)
{
    const auto base = [] {
        camsim::CameraConfig c;
        c.interfaces = {{"eth0", false, "m", "198.18.1.10", "255.254.0.0", "198.18.0.1", false, "", "", 0, 0}};
        return c;
    };
    // (3145729, 5, "eth0") then (12007, 4, 1)
    const std::vector<uint8_t> dhcp = {0x01, 0, 0x30, 0, 5, 0, 0, 0, 'e', 't', 'h', '0', 0, 0, 0, 0,
                                       0xE7, 0x2E, 0, 0, 4, 0, 0, 0, 1, 0, 0, 0};
    auto camera = base();
    ASSERT_TRUE(camsim::kordexv2::applySetInterface(camera, dhcp.data(), static_cast<int32_t>(dhcp.size())));
    EXPECT_TRUE(camera.interfaces[0].dhcp);
    EXPECT_EQ(camera.interfaces[0].ip, "198.18.1.10");

    // Refused, camera unchanged: no name; a name it lacks; a truncated field.
    std::vector<uint8_t> other = dhcp;
    other[11] = '9';
    std::vector<uint8_t> truncated(dhcp.begin(), dhcp.end() - 2);
    for (const auto &bad : {std::vector<uint8_t>(dhcp.begin() + 16, dhcp.end()), other, truncated}) {
        camera = base();
        EXPECT_FALSE(camsim::kordexv2::applySetInterface(camera, bad.data(), static_cast<int32_t>(bad.size())));
        EXPECT_FALSE(camera.interfaces[0].dhcp);
    }
}

TEST(CamsimRecorder, LineNamesTheMessageAndItsPayload)
{
    NTCPHeader_T h{};
    h.flags = 0x83 | NTCP_FLAG_MAC_ADDRESS;
    h.ntcp_id = 4096;
    h.command = 0xAA02;
    const uint8_t mac[6] = {0x99, 0x88, 0x52, 0xC2, 0x50, 0x00};
    std::copy(mac, mac + 6, h.mac_address);
    const uint8_t payload[6] = {0x01, 0xAB, 0, 0, 0, 0xFF};
    EXPECT_EQ(camsim::Recorder::describe("198.18.1.10", "udp", "198.18.0.1:5000", h, payload, 6, 4),
              "cam=198.18.1.10 via=udp peer=198.18.0.1:5000 cmd=0xAA02 id=4096 flags=0xA3 error=0 "
              "mac=00:50:C2:52:88:99 size=6 payload=01ab0000...");
    h.flags = 0x83;
    EXPECT_EQ(camsim::Recorder::describe("c", "tcp", "p", h, nullptr, 0, 4),
              "cam=c via=tcp peer=p cmd=0xAA02 id=4096 flags=0x83 error=0 mac=- size=0 payload=-");
}

} // namespace
