#include "cli_args.h"

#include <cerrno>
#include <cstdlib>
#include <map>

namespace nolmak_cli {

namespace {

const std::map<std::string, Command> &commandNames()
{
    static const std::map<std::string, Command> names = {{"discover", Command::Discover}, {"info", Command::Info},
                                                         {"set-net", Command::SetNet},     {"reboot", Command::Reboot},
                                                         {"update", Command::Update}};
    return names;
}

// Positional words each command takes, and whether it takes a time-out.
struct Shape {
    size_t minWords;
    size_t maxWords;
    bool timeout;
};

Shape shapeOf(Command command)
{
    switch (command) {
    case Command::Discover: return {0, 0, true};
    case Command::Info: return {1, 1, false};
    case Command::SetNet: return {2, 4, false};
    case Command::Reboot: return {1, 1, false};
    case Command::Update: return {2, 2, true};
    case Command::None: break;
    }
    return {0, 0, false};
}

// A whole decimal number within [low, high].
bool readNumber(const std::string &text, int32_t low, int32_t high, int32_t &value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), nullptr, 10);
    if (errno != 0 || number < low || number > high)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

bool takeWords(const std::vector<std::string> &words, Invocation &inv, std::string &error)
{
    const Shape shape = shapeOf(inv.command);
    if (words.size() < shape.minWords || words.size() > shape.maxWords) {
        error = words.size() < shape.minWords ? "missing arguments" : "unexpected argument '" + words.back() + "'";
        return false;
    }
    switch (inv.command) {
    case Command::Info:
    case Command::Reboot: inv.remote = words[0]; break;
    case Command::Update:
        inv.remote = words[0];
        inv.file = words[1];
        break;
    case Command::SetNet:
        inv.remote = words[0];
        inv.address = words[1];
        if (inv.address == "dhcp") {
            if (words.size() != 2) {
                error = "dhcp takes no netmask or gateway";
                return false;
            }
        } else if (words.size() != 4) {
            error = "a fixed address needs ADDRESS NETMASK GATEWAY";
            return false;
        } else {
            inv.netmask = words[2];
            inv.gateway = words[3];
        }
        break;
    case Command::Discover:
    case Command::None: break;
    }
    return true;
}

} // namespace

bool parseArguments(const std::vector<std::string> &args, Invocation &inv, std::string &error)
{
    inv = Invocation{};
    if (args.empty()) {
        error = "no command given";
        return false;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        inv.help = true;
        return true;
    }
    const auto named = commandNames().find(args[0]);
    if (named == commandNames().end()) {
        error = "unknown command '" + args[0] + "'";
        return false;
    }
    inv.command = named->second;
    const Shape shape = shapeOf(inv.command);
    inv.timeoutMs = inv.command == Command::Update ? kUpdateTimeoutMs : kDiscoverTimeoutMs;

    std::vector<std::string> words;
    for (size_t i = 1; i < args.size(); ++i) {
        std::string option = args[i];
        if (option == "--help" || option == "-h") {
            inv.help = true;
            return true;
        }
        if (option.size() < 2 || option.compare(0, 2, "--") != 0 || option == "--") {
            words.push_back(option);
            continue;
        }
        // "--name=value" and "--name value" alike.
        std::string value;
        bool inlineValue = false;
        if (const size_t equals = option.find('='); equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.resize(equals);
            inlineValue = true;
        }
        const bool isFlag = option == "--safe";
        const bool known = isFlag || option == "--local-ip" || option == "--iface" ||
                           (option == "--timeout" && shape.timeout) ||
                           (option == "--max" && inv.command == Command::Discover) ||
                           (option == "--port" && inv.command == Command::Update) ||
                           (option == "--camera-iface" && inv.command == Command::SetNet);
        if (!known || (isFlag && inv.command != Command::Reboot)) {
            error = "unknown option '" + option + "'";
            return false;
        }
        if (isFlag) {
            if (inlineValue) {
                error = option + " takes no value";
                return false;
            }
            inv.safeBoot = true;
            continue;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = option + " needs a value";
                return false;
            }
            value = args[++i];
        }
        bool valid = !value.empty();
        if (option == "--local-ip")
            inv.localIp = value;
        else if (option == "--iface")
            inv.iface = value;
        else if (option == "--camera-iface")
            inv.cameraIface = value;
        else if (option == "--timeout")
            valid = readNumber(value, 1, INT32_MAX, inv.timeoutMs);
        else if (option == "--max")
            valid = readNumber(value, 1, INT32_MAX, inv.maxDevices);
        else if (option == "--port")
            valid = readNumber(value, 1, 65535, inv.port);
        if (!valid) {
            error = "invalid value '" + value + "' for " + option;
            return false;
        }
    }
    if (!inv.localIp.empty() && !inv.iface.empty()) {
        error = "--local-ip and --iface exclude each other";
        return false;
    }
    return takeWords(words, inv, error);
}

std::string helpText(Command command)
{
    static const char common[] = "  --local-ip ADDRESS   send from this local IPv4 address\n"
                                 "  --iface NAME         send from the IPv4 address of this network adapter\n"
                                 "                       (default: the first adapter by name that is up)\n"
                                 "  --help               show this help\n";
    static const char remote[] = "REMOTE is a camera's IPv4 address or its MAC address as discovery prints it\n"
                                 "(e.g. 00:50:C2:52:88:99); a MAC address is reached by broadcast.\n";
    static const char status[] = "Exit status: 0 on success, 1 on failure.\n";
    switch (command) {
    case Command::Discover:
        return std::string("usage: nolmak discover [options]\n\n"
                           "Finds the cameras on the local network and prints them as a table.\n\n"
                           "Options:\n"
                           "  --timeout MS         how long answers are collected (default 1000)\n"
                           "  --max N              at most this many cameras (default 50; a discovery\n"
                           "                       finds at most 100)\n") +
               common + "\n" + status;
    case Command::Info:
        return std::string("usage: nolmak info [options] REMOTE\n\n"
                           "Prints a camera's information: applications, versions, clocks, network\n"
                           "interfaces.\n\n") +
               remote + "\nOptions:\n" + common + "\n" +
               "Exit status: 0 when the camera was reached (a refusal is printed), 1 otherwise.\n";
    case Command::SetNet:
        return std::string("usage: nolmak set-net [options] REMOTE dhcp\n"
                           "       nolmak set-net [options] REMOTE ADDRESS NETMASK GATEWAY\n\n"
                           "Sets the address of a camera's network interface: from DHCP, or fixed\n"
                           "(dotted IPv4 texts). The camera applies it after a reboot.\n\n") +
               remote +
               "\nOptions:\n"
               "  --camera-iface NAME  the camera's interface to set (default eth0)\n" +
               common + "\n" + "Exit status: 0 when the camera was reached (a refusal is printed), 1 otherwise.\n";
    case Command::Reboot:
        return std::string("usage: nolmak reboot [options] REMOTE\n\nReboots a camera.\n\n") + remote +
               "\nOptions:\n"
               "  --safe               reboot into the camera's safe mode\n" +
               common + "\n" + "Exit status: 0 when the camera was reached (a refusal is printed), 1 otherwise.\n";
    case Command::Update:
        return std::string("usage: nolmak update [options] REMOTE FILE\n\n"
                           "Sends the firmware update FILE to a camera and follows its installation\n"
                           "(up to about 3 minutes). A MAC address is looked up by a short discovery.\n\n") +
               remote +
               "\nOptions:\n"
               "  --port N             the camera's port (default 42000)\n"
               "  --timeout MS         answer time-out of the update connection (default 120000)\n" +
               common + "\n" + status;
    case Command::None: break;
    }
    return "usage: nolmak COMMAND [options] [arguments]\n\n"
           "Finds, inspects, configures, reboots and updates cameras through libnolmak.\n\n"
           "Commands:\n"
           "  discover                                find the cameras on the network\n"
           "  info REMOTE                             print one camera's information\n"
           "  set-net REMOTE dhcp                     let a camera take its address from DHCP\n"
           "  set-net REMOTE ADDRESS NETMASK GATEWAY  give a camera a fixed address\n"
           "  reboot REMOTE                           reboot a camera\n"
           "  update REMOTE FILE                      send a firmware update to a camera\n\n"
           "Every command takes --local-ip ADDRESS or --iface NAME to choose the local\n"
           "address, and --help. 'nolmak COMMAND --help' tells more.\n\n" +
           std::string(status);
}

} // namespace nolmak_cli
