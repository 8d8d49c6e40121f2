// nolmak: the camera SDK's operations from the command line, for technicians and
// scripts. A thin layer over the exported functions: the report lines on standard
// output are the library's own.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_args.h"
#include "nolmak/nolmak.h"

namespace {

using nolmak_cli::Command;
using nolmak_cli::Invocation;

int32_t run(void *sdk, const Invocation &inv)
{
    if (!inv.localIp.empty())
        nolmak_set_local_ip(sdk, inv.localIp.c_str());
    else if (!inv.iface.empty() && nolmak_set_local_ip_by_iface(sdk, inv.iface.c_str()) == 0)
        return 0;
    switch (inv.command) {
    case Command::Discover: return nolmak_discover_all_devices(sdk, inv.timeoutMs, inv.maxDevices, 1);
    case Command::Info: return nolmak_get_info(sdk, inv.remote.c_str(), nullptr, 1);
    case Command::SetNet:
        return nolmak_set_network_params(sdk, inv.remote.c_str(), inv.cameraIface.c_str(), inv.address.c_str(),
                                         inv.netmask.c_str(), inv.gateway.c_str());
    case Command::Reboot: return nolmak_send_reboot(sdk, inv.remote.c_str(), inv.safeBoot ? 1 : 0);
    case Command::Update:
        return nolmak_update_gpg(sdk, inv.remote.c_str(), inv.port, inv.timeoutMs, inv.file.c_str());
    case Command::None: break;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // Progress of an update is followed as it comes, also through a pipe.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    Invocation inv;
    std::string error;
    if (!nolmak_cli::parseArguments(std::vector<std::string>(argv + 1, argv + argc), inv, error)) {
        const std::string command = argc > 1 && inv.command != Command::None ? std::string(" ") + argv[1] : "";
        std::fprintf(stderr, "nolmak: %s\nTry 'nolmak%s --help'.\n", error.c_str(), command.c_str());
        return 1;
    }
    if (inv.help) {
        std::fputs(nolmak_cli::helpText(inv.command).c_str(), stdout);
        return 0;
    }
    void *sdk = nolmak_create();
    if (sdk == nullptr)
        return 1;
    const int32_t result = run(sdk, inv);
    nolmak_destroy(sdk);
    return result == 1 ? 0 : 1;
}
