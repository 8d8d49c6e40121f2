#include "shell/UNIC.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <unistd.h>

namespace {

QString Dotted(in_addr_t networkOrder) {
  in_addr a{};
  a.s_addr = networkOrder;
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return QString::fromLatin1(text);
}

in_addr_t AddressOf(const sockaddr* sa) {
  if (sa == nullptr || sa->sa_family != AF_INET) return 0;
  return reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr;
}

QString ComputerName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return QString::fromLocal8Bit(name);
}

}  // namespace

int ListLocalInterfaces(TNetworkInterfaceList& list) {
  list.clear();
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return 0;
  const QString computer = ComputerName();
  for (const ifaddrs* ifa = all; ifa != nullptr; ifa = ifa->ifa_next) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET) continue;
    if (ifa->ifa_flags & IFF_LOOPBACK) continue;
    const in_addr_t address = AddressOf(ifa->ifa_addr);
    const in_addr_t mask = AddressOf(ifa->ifa_netmask);
    TNetworkInterface nic;
    nic.ComputerName = computer;
    nic.IPAddress = Dotted(address);
    nic.NetMask = Dotted(mask);
    nic.NetworkAddress = Dotted(address & mask);
    nic.SubnetBroadcast = Dotted((address & mask) | ~mask);
    nic.IsUp = (ifa->ifa_flags & IFF_UP) != 0;
    nic.BroadcastSupported = (ifa->ifa_flags & IFF_BROADCAST) != 0;
    nic.IsLoopback = false;
    if (nic.BroadcastSupported && ifa->ifa_broadaddr != nullptr)
      nic.BroadcastAddress = Dotted(AddressOf(ifa->ifa_broadaddr));
    list.append(nic);
  }
  freeifaddrs(all);
  return int(list.size());
}

int NICIndexOf(const QStringList& rows, const QString& address) {
  const int found = int(rows.indexOf(address));
  if (found >= 0) return found;
  return rows.isEmpty() ? -1 : 0;
}
