// The nolmak tool's command lines: what each one asks the library for, and the
// ones that must be refused before anything is sent.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_args.h"

namespace {

using nolmak_cli::Command;
using nolmak_cli::Invocation;
using nolmak_cli::parseArguments;

Invocation parsed(const std::vector<std::string> &args)
{
    Invocation inv;
    std::string error;
    EXPECT_TRUE(parseArguments(args, inv, error)) << error;
    return inv;
}

TEST(CliArgs, DiscoverDefaultsAndOptionsInBothSpellings)
{
    Invocation inv = parsed({"discover"});
    EXPECT_EQ(inv.command, Command::Discover);
    EXPECT_EQ(inv.timeoutMs, 1000);
    EXPECT_EQ(inv.maxDevices, 50);
    EXPECT_TRUE(inv.localIp.empty());
    EXPECT_TRUE(inv.iface.empty());

    inv = parsed({"discover", "--timeout", "2500", "--max=3", "--local-ip=198.18.0.1"});
    EXPECT_EQ(inv.timeoutMs, 2500);
    EXPECT_EQ(inv.maxDevices, 3);
    EXPECT_EQ(inv.localIp, "198.18.0.1");

    inv = parsed({"discover", "--iface", "veth-pc"});
    EXPECT_EQ(inv.iface, "veth-pc");
}

TEST(CliArgs, CameraCommandsTakeTheirWords)
{
    Invocation inv = parsed({"info", "00:50:C2:52:88:99"});
    EXPECT_EQ(inv.command, Command::Info);
    EXPECT_EQ(inv.remote, "00:50:C2:52:88:99");

    inv = parsed({"reboot", "--safe", "198.18.1.10"});
    EXPECT_EQ(inv.command, Command::Reboot);
    EXPECT_TRUE(inv.safeBoot);
    EXPECT_EQ(inv.remote, "198.18.1.10");
    EXPECT_FALSE(parsed({"reboot", "198.18.1.10"}).safeBoot);

    inv = parsed({"set-net", "198.18.1.10", "dhcp"});
    EXPECT_EQ(inv.command, Command::SetNet);
    EXPECT_EQ(inv.cameraIface, "eth0");
    EXPECT_EQ(inv.address, "dhcp");
    EXPECT_TRUE(inv.netmask.empty());
    EXPECT_TRUE(inv.gateway.empty());

    inv = parsed({"set-net", "198.18.1.10", "198.18.1.50", "255.254.0.0", "198.18.0.1", "--camera-iface", "eth1"});
    EXPECT_EQ(inv.address, "198.18.1.50");
    EXPECT_EQ(inv.netmask, "255.254.0.0");
    EXPECT_EQ(inv.gateway, "198.18.0.1");
    EXPECT_EQ(inv.cameraIface, "eth1");

    inv = parsed({"update", "198.18.1.10", "/tmp/fw.gpg"});
    EXPECT_EQ(inv.command, Command::Update);
    EXPECT_EQ(inv.file, "/tmp/fw.gpg");
    EXPECT_EQ(inv.port, 42000);
    EXPECT_EQ(inv.timeoutMs, 120000);
    inv = parsed({"update", "--port", "42001", "--timeout=5000", "198.18.1.10", "/tmp/fw.gpg"});
    EXPECT_EQ(inv.port, 42001);
    EXPECT_EQ(inv.timeoutMs, 5000);
}

TEST(CliArgs, HelpForTheToolAndForEachCommand)
{
    EXPECT_TRUE(parsed({"--help"}).help);
    EXPECT_EQ(parsed({"--help"}).command, Command::None);
    for (const char *name : {"discover", "info", "set-net", "reboot", "update"}) {
        // Help wins over missing or wrong words.
        const Invocation inv = parsed({name, "--help"});
        EXPECT_TRUE(inv.help) << name;
        const std::string text = nolmak_cli::helpText(inv.command);
        EXPECT_NE(text.find(std::string("usage: nolmak ") + name), std::string::npos) << text;
        EXPECT_NE(text.find("--local-ip"), std::string::npos) << name;
        EXPECT_NE(text.find("--iface"), std::string::npos) << name;
    }
    EXPECT_NE(nolmak_cli::helpText(Command::None).find("set-net REMOTE dhcp"), std::string::npos);
}

TEST(CliArgs, RefusedCommandLines)
{
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"scan"},
        {"discover", "extra"},
        {"discover", "--timeout"},
        {"discover", "--timeout", "0"},
        {"discover", "--timeout", "-5"},
        {"discover", "--timeout", "10ms"},
        {"discover", "--timeout", "2147483648"},
        {"discover", "--max", "0"},
        {"discover", "--local-ip", "198.18.0.1", "--iface", "eth0"},
        {"discover", "--local-ip="},
        {"discover", "--safe"},
        {"info"},
        {"info", "198.18.1.10", "198.18.1.11"},
        {"info", "--timeout", "100", "198.18.1.10"}, // its time-out is the library's
        {"reboot", "--safe=1", "198.18.1.10"},
        {"set-net", "198.18.1.10"},
        {"set-net", "198.18.1.10", "198.18.1.50"},
        {"set-net", "198.18.1.10", "198.18.1.50", "255.254.0.0"},
        {"set-net", "198.18.1.10", "dhcp", "255.254.0.0", "198.18.0.1"},
        {"update", "198.18.1.10"},
        {"update", "198.18.1.10", "/tmp/fw.gpg", "--port", "65536"},
        {"update", "198.18.1.10", "/tmp/fw.gpg", "--port", "0"},
        {"update", "198.18.1.10", "/tmp/fw.gpg", "--max", "3"},
    };
    for (const std::vector<std::string> &args : refused) {
        Invocation inv;
        std::string error;
        std::string line;
        for (const std::string &a : args)
            line += a + " ";
        EXPECT_FALSE(parseArguments(args, inv, error)) << line;
        EXPECT_FALSE(error.empty()) << line;
    }
}

} // namespace
