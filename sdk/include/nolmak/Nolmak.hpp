// libnolmak, the camera SDK: its exported class.
//
// One object per user of the SDK. It holds the PC address from which cameras are
// reached, the cameras of its last discovery and the table of the PC's adapter
// addresses. Each operation opens a connection to one camera, runs one command and
// closes the connection again; every operation prints what it does and every failure
// on standard output. Results are 1 for success and 0 for failure.
//
// An object is used by one thread at a time.
#ifndef NOLMAK_NOLMAK_HPP
#define NOLMAK_NOLMAK_HPP

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "nolmak/nolmak.h"

struct QuentixClient_T;

namespace Wendaro::Nolmak {

class NOLMAK_API Nolmak final {
public:
    // Adapter name -> IPv4 address in network byte order.
    using AddressMap = std::map<std::string, uint32_t>;

    // Takes as local address that of the first adapter of getLocalIPAddresses
    // ("0.0.0.0" when there is none) and sets the library's diagnostic level to 1.
    Nolmak();
    ~Nolmak();
    Nolmak(const Nolmak &) = delete;
    Nolmak &operator=(const Nolmak &) = delete;

    // Opens a connection to `remote` (dotted IPv4 address, or MAC address text) and
    // keeps it until closeConn; the operations below fail while it is open.
    int32_t openConn(const std::string &remote);
    // The device client's close result, or 0 when nothing was open.
    int32_t closeConn();

    int32_t sendReboot(const std::string &remote, bool safeBoot);
    // Fills *info (when given) with what the camera delivered; prints it when asked.
    int32_t getInfo(const std::string &remote, DeviceInfo_T *info, bool report);
    // `address` containing "dhcp" switches the interface to DHCP.
    int32_t setNetworkParams(const std::string &remote, const std::string &iface, const std::string &address,
                             const std::string &netmask, const std::string &gateway);
    int32_t setLocalIP(const std::string &address);
    int32_t discoverAllDevices(int32_t timeoutMs, int32_t maxDevices, bool report);
    int32_t updateGPG(const std::string &remote, uint16_t port, int32_t timeoutMs, const std::string &path);
    // Refreshes the table of adapters that are up, not loopback, with an IPv4 address.
    const AddressMap &getLocalIPAddresses();
    int32_t setLocalIPByIface(const std::string &iface);

    // The cameras of the last successful discovery.
    const std::vector<DiscoveryDev_T> &foundDevices() const;

private:
    QuentixClient_T *connection_ = nullptr;
    std::vector<DiscoveryDev_T> found_;
    AddressMap localAddresses_;
    std::string localAddress_ = "0.0.0.0";
};

} // namespace Wendaro::Nolmak

#endif
