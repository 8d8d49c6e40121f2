#include "client/ntcp_common.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <net/route.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/cross_sys.h"

namespace {

// Adapter types kept, in the interface type numbers the rest of the library uses.
constexpr int kTypeEthernet = 6;
constexpr int kTypeLoopback = 24;
constexpr int kTypeWireless = 71;

constexpr const char *kNoAddress = "0.0.0.0";

// Valid lifetime of an address that never expires.
constexpr uint32_t kForever = 0xFFFFFFFFu;

bool read_sysfs_number(const char *name, const char *attribute, long *value)
{
    char path[128];
    snprintf(path, sizeof path, "/sys/class/net/%s/%s", name, attribute);
    FILE *f = fopen(path, "r");
    if (f == nullptr)
        return false;
    const bool ok = fscanf(f, "%ld", value) == 1;
    fclose(f);
    return ok;
}

// The kept type of an adapter, or 0 to leave it out. sysfs only shows the adapters of
// the network namespace it was mounted in, so it is trusted only when it knows the
// adapter under the same index; otherwise the link's own hardware type decides.
int adapter_type(const char *name, unsigned index, unsigned short hardware_type)
{
    long sys_index = 0;
    long sys_type = 0;
    bool wireless = false;
    long type = hardware_type;
    if (read_sysfs_number(name, "ifindex", &sys_index) && sys_index == static_cast<long>(index) &&
        read_sysfs_number(name, "type", &sys_type)) {
        type = sys_type;
        char path[128];
        struct stat st;
        snprintf(path, sizeof path, "/sys/class/net/%s/wireless", name);
        wireless = stat(path, &st) == 0;
    }
    switch (type) {
    case ARPHRD_ETHER: return wireless ? kTypeWireless : kTypeEthernet;
    case ARPHRD_LOOPBACK: return kTypeLoopback;
    default: return 0;
    }
}

// First gateway of the adapter in the routing table, or false.
bool first_gateway(const char *name, in_addr *gateway)
{
    FILE *f = fopen("/proc/net/route", "r");
    if (f == nullptr)
        return false;
    char line[512];
    bool found = false;
    if (fgets(line, sizeof line, f) != nullptr) { // column titles
        while (!found && fgets(line, sizeof line, f) != nullptr) {
            char iface[IF_NAMESIZE + 1];
            unsigned long destination = 0, via = 0, flags = 0;
            if (sscanf(line, "%16s %lx %lx %lx", iface, &destination, &via, &flags) != 4)
                continue;
            if (strcmp(iface, name) != 0 || (flags & (RTF_UP | RTF_GATEWAY)) != (RTF_UP | RTF_GATEWAY) ||
                via == 0)
                continue;
            // The column holds the address in network order printed as a host word.
            gateway->s_addr = static_cast<in_addr_t>(via);
            found = true;
        }
    }
    fclose(f);
    return found;
}

struct AddressLifetime {
    unsigned index;
    in_addr address;
    bool limited;
};

// A DHCP client installs its lease with a finite lifetime, whatever client it is
// (NetworkManager, systemd-networkd, dhcpcd, dhclient); a static address lives forever.
// Asks the kernel for the lifetime of every IPv4 address; an empty answer means unknown.
std::vector<AddressLifetime> address_lifetimes()
{
    std::vector<AddressLifetime> result;
    const int fd = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return result;
    struct {
        nlmsghdr header;
        ifaddrmsg message;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETADDR;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.message.ifa_family = AF_INET;
    if (send(fd, &request, sizeof request, 0) < 0) {
        close(fd);
        return result;
    }
    alignas(nlmsghdr) char buffer[16384];
    bool done = false;
    while (!done) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        unsigned int left = static_cast<unsigned int>(n);
        for (nlmsghdr *h = reinterpret_cast<nlmsghdr *>(buffer); NLMSG_OK(h, left);
             h = NLMSG_NEXT(h, left)) {
            if (h->nlmsg_type == NLMSG_DONE || h->nlmsg_type == NLMSG_ERROR) {
                done = true;
                break;
            }
            if (h->nlmsg_type != RTM_NEWADDR)
                continue;
            const auto *message = static_cast<const ifaddrmsg *>(NLMSG_DATA(h));
            AddressLifetime entry{message->ifa_index, {}, false};
            bool have_address = false;
            int attributes_left = static_cast<int>(IFA_PAYLOAD(h));
            for (const rtattr *a = IFA_RTA(message); RTA_OK(a, attributes_left);
                 a = RTA_NEXT(a, attributes_left)) {
                if (a->rta_type == IFA_LOCAL && RTA_PAYLOAD(a) >= sizeof(in_addr)) {
                    memcpy(&entry.address, RTA_DATA(a), sizeof(in_addr));
                    have_address = true;
                } else if (a->rta_type == IFA_CACHEINFO && RTA_PAYLOAD(a) >= sizeof(ifa_cacheinfo)) {
                    ifa_cacheinfo info;
                    memcpy(&info, RTA_DATA(a), sizeof info);
                    entry.limited = info.ifa_valid != kForever;
                }
            }
            if (have_address)
                result.push_back(entry);
        }
    }
    close(fd);
    return result;
}

bool from_dhcp(const std::vector<AddressLifetime> &lifetimes, unsigned index, in_addr address)
{
    for (const AddressLifetime &entry : lifetimes)
        if (entry.index == index && entry.address.s_addr == address.s_addr)
            return entry.limited;
    return false;
}

void dotted(in_addr address, char (&text)[16])
{
    if (inet_ntop(AF_INET, &address, text, sizeof text) == nullptr)
        snprintf(text, sizeof text, "%s", kNoAddress);
}

void fill_physical_address(LocalInterface_T &entry, const uint8_t *bytes, int length)
{
    const int kept = length < LOCAL_INTERFACE_PHYSICAL_SIZE ? length : LOCAL_INTERFACE_PHYSICAL_SIZE;
    memcpy(entry.physical_address, bytes, kept);
    const int shown = kept < LOCAL_INTERFACE_MAC_BYTES ? kept : LOCAL_INTERFACE_MAC_BYTES;
    memcpy(entry.mac_bytes, bytes, shown);
    char *out = entry.mac;
    for (int i = 0; i < shown; ++i) {
        if (i > 0)
            *out++ = ':';
        out += byteToHex(bytes[i], out);
    }
    *out = '\0';
}

const ifaddrs *first_ipv4(const ifaddrs *all, const char *name)
{
    for (const ifaddrs *a = all; a != nullptr; a = a->ifa_next)
        if (a->ifa_addr != nullptr && a->ifa_addr->sa_family == AF_INET && strcmp(a->ifa_name, name) == 0)
            return a;
    return nullptr;
}

void fill_entry(LocalInterface_T &entry, const ifaddrs *all, const ifaddrs *link, int type,
                const std::vector<AddressLifetime> &lifetimes)
{
    const auto *hardware = reinterpret_cast<const sockaddr_ll *>(link->ifa_addr);
    memset(&entry, 0, sizeof entry);
    entry.wifi = type == kTypeWireless ? 1 : 0;
    snprintf(entry.name, sizeof entry.name, "%s", link->ifa_name);
    // Loopback has no hardware address; the kernel's six zero bytes are a placeholder.
    fill_physical_address(entry, hardware->sll_addr, type == kTypeLoopback ? 0 : hardware->sll_halen);

    snprintf(entry.ip, sizeof entry.ip, "%s", kNoAddress);
    snprintf(entry.netmask, sizeof entry.netmask, "%s", kNoAddress);
    if (const ifaddrs *inet = first_ipv4(all, link->ifa_name)) {
        memcpy(&entry.address, inet->ifa_addr, sizeof entry.address);
        entry.address.sin_port = 0;
        memset(entry.address.sin_zero, 0, sizeof entry.address.sin_zero);
        dotted(entry.address.sin_addr, entry.ip);
        if (inet->ifa_netmask != nullptr)
            dotted(reinterpret_cast<const sockaddr_in *>(inet->ifa_netmask)->sin_addr, entry.netmask);
        entry.dhcp = from_dhcp(lifetimes, hardware->sll_ifindex, entry.address.sin_addr) ? 1 : 0;
    }

    in_addr gateway{};
    if (first_gateway(link->ifa_name, &gateway))
        dotted(gateway, entry.gateway);
    else
        snprintf(entry.gateway, sizeof entry.gateway, "%s", kNoAddress);
}

} // namespace

extern "C" int32_t GetInterfacesList(LocalInterfaceList_T *list, int32_t verbose)
{
    if (list == nullptr)
        return NTCP_ERR_NULL_PARAMETER;
    list->count = 0;

    ifaddrs *all = nullptr;
    if (getifaddrs(&all) != 0) {
        if (errno == ENOMEM) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "getIpMac: memory allocation error");
            return NTCP_ERR_ALLOC;
        }
        ntcp_printf(NTCP_SEVERITY_ERROR, "getIpMac: getifaddrs failed");
        ntcp_printf(NTCP_SEVERITY_ERROR, "Error: %s", strerror(errno));
        return NTCP_ERR_REFUSED;
    }
    if (all == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "getIpMac: getifaddrs failed");
        ntcp_printf(NTCP_SEVERITY_ERROR, "No address found");
        return NTCP_ERR_REFUSED;
    }

    const std::vector<AddressLifetime> lifetimes = address_lifetimes();
    // Each link appears once as a packet address, in the system's order.
    for (const ifaddrs *link = all; link != nullptr && list->count < LOCAL_INTERFACE_MAX;
         link = link->ifa_next) {
        if (link->ifa_addr == nullptr || link->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto *hardware = reinterpret_cast<const sockaddr_ll *>(link->ifa_addr);
        const int type = adapter_type(link->ifa_name, hardware->sll_ifindex, hardware->sll_hatype);
        if (type == 0)
            continue;
        LocalInterface_T &entry = list->interfaces[list->count];
        fill_entry(entry, all, link, type, lifetimes);
        if (verbose == 1)
            ntcp_printf(NTCP_SEVERITY_INFO, "Interface: %s IP: %s MAC: %s NM: %s GW: %s DHCP: %s WiFi: %s",
                        entry.name, entry.ip, entry.mac, entry.netmask, entry.gateway,
                        entry.dhcp ? "ON" : "OFF", entry.wifi ? "YES" : "NO");
        ++list->count;
    }
    freeifaddrs(all);

    if (list->count > 1)
        qsort(list->interfaces, list->count, sizeof list->interfaces[0], compare_interfaces);
    return NTCP_OK;
}

extern "C" int32_t GetInterfaceBy(int32_t by, const char *key, LocalInterface_T *out)
{
    if (key == nullptr || out == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "GetInterfaceBy: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    LocalInterfaceList_T list;
    const int32_t result = GetInterfacesList(&list, 0);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "GetInterfaceBy: GetInterfacesList failed %d", result);
        return result;
    }
    if (list.count == 0)
        return NTCP_ERR_NOT_FOUND;
    if (by != IFT_BY_NAME && by != IFT_BY_IP && by != IFT_BY_MAC) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "GetInterfaceBy: Unknown ift by %d", by);
        return NTCP_ERR_RANGE;
    }
    for (int i = 0; i < list.count; ++i) {
        const LocalInterface_T &entry = list.interfaces[i];
        const char *field = by == IFT_BY_NAME ? entry.name : by == IFT_BY_IP ? entry.ip : entry.mac;
        if (strcmp(field, key) == 0) {
            *out = entry;
            return NTCP_OK;
        }
    }
    return NTCP_ERR_NOT_FOUND;
}

extern "C" int compare_interfaces(const void *a, const void *b)
{
    return strcmp(static_cast<const LocalInterface_T *>(a)->mac,
                  static_cast<const LocalInterface_T *>(b)->mac);
}

extern "C" void NTCP_free(void **pointer)
{
    if (pointer == nullptr || *pointer == nullptr)
        return;
    free(*pointer);
    *pointer = nullptr;
}

extern "C" char intToAscii(int32_t value)
{
    const unsigned digit = static_cast<unsigned>(value) & 0xFFu;
    if (digit < 10)
        return static_cast<char>('0' + digit);
    if (digit < 16)
        return static_cast<char>('A' + digit - 10);
    return 0;
}

extern "C" int32_t byteToHex(int32_t value, char *out)
{
    if (out == nullptr)
        return 0;
    const unsigned byte = static_cast<unsigned>(value) & 0xFFu;
    out[0] = intToAscii(static_cast<int32_t>(byte >> 4));
    out[1] = intToAscii(static_cast<int32_t>(byte & 0x0Fu));
    return 2;
}
