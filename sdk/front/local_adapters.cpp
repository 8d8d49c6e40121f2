// Linux: getifaddrs lists one entry per address. IFF_RUNNING stands for the
// adapter's operational state being up (a veth whose peer is down is not).
#include "front/local_adapters.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace Wendaro::Nolmak {

bool listLocalAdapters(std::map<std::string, uint32_t> &map)
{
    map.clear();
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return false;
    for (const ifaddrs *entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || entry->ifa_name == nullptr)
            continue;
        const unsigned flags = entry->ifa_flags;
        if ((flags & IFF_LOOPBACK) != 0 || (flags & IFF_UP) == 0 || (flags & IFF_RUNNING) == 0)
            continue;
        // An address with a label ("eth0:1") belongs to the adapter before the colon;
        // adapter names themselves never hold one.
        std::string name = entry->ifa_name;
        name = name.substr(0, name.find(':'));
        map[name] = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr)->sin_addr.s_addr;
    }
    freeifaddrs(list);
    return true;
}

std::string dottedAddress(uint32_t networkOrder)
{
    in_addr address{};
    address.s_addr = networkOrder;
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr)
        return "0.0.0.0";
    return text;
}

} // namespace Wendaro::Nolmak
