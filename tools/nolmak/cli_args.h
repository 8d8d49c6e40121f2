// The command line of the nolmak tool: which camera operation to run and with what.
// Only reading the words lives here; every operation is the library's.
#ifndef TOOLS_NOLMAK_CLI_ARGS_H
#define TOOLS_NOLMAK_CLI_ARGS_H

#include <cstdint>
#include <string>
#include <vector>

namespace nolmak_cli {

enum class Command { None, Discover, Info, SetNet, Reboot, Update };

struct Invocation {
    Command command = Command::None;
    bool help = false;
    std::string localIp; // --local-ip
    std::string iface;   // --iface
    std::string remote;
    // set-net
    std::string cameraIface = "eth0";
    std::string address; // "dhcp" or a dotted address
    std::string netmask;
    std::string gateway;
    // discover and update
    int32_t timeoutMs = 0;
    // discover
    int32_t maxDevices = 50;
    // reboot
    bool safeBoot = false;
    // update
    int32_t port = 42000;
    std::string file;
};

constexpr int32_t kDiscoverTimeoutMs = 1000;
constexpr int32_t kUpdateTimeoutMs = 120000;

// Reads argv[1..]. False with a one-line reason in `error` for a command line that
// does not fit; `invocation.command` is then set as far as it was recognised, so
// the right help can be offered.
bool parseArguments(const std::vector<std::string> &args, Invocation &invocation, std::string &error);

// Help of one command, or of the tool for Command::None.
std::string helpText(Command command);

} // namespace nolmak_cli

#endif
