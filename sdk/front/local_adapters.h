// The PC's own IPv4 adapter addresses as the SDK object keeps them: one entry per
// adapter that is up, is not loopback and has an IPv4 address, keyed by the
// adapter's name. The operating-system side of the SDK front.
#ifndef NOLMAK_FRONT_LOCAL_ADAPTERS_H
#define NOLMAK_FRONT_LOCAL_ADAPTERS_H

#include <cstdint>
#include <map>
#include <string>

namespace Wendaro::Nolmak {

// Fills `map` afresh (adapter name -> address in network byte order). An adapter
// with several IPv4 addresses keeps the last the system lists. False when the
// system cannot list its adapters (the map is then empty).
bool listLocalAdapters(std::map<std::string, uint32_t> &map);

// "a.b.c.d" of an address in network byte order.
std::string dottedAddress(uint32_t networkOrder);

} // namespace Wendaro::Nolmak

#endif
