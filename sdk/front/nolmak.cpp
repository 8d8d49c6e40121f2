// The SDK object and the exported functions over it. Every operation reaches one
// camera through the device client and prints its report lines on standard output;
// the functions only turn their arguments into the object's types and keep errors
// from crossing the library boundary.
#include "nolmak/Nolmak.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <vector>

#include "client/QuentixClient.h"
#include "client/QuentixClientCommand.h"
#include "client/QuentixClientUpdate.h"
#include "front/local_adapters.h"
#include "front/report.h"
#include "runtime/cross_sys.h"

namespace Wendaro::Nolmak {

namespace {

constexpr int32_t kDevicePort = 42000;
constexpr int32_t kTcpTimeoutMs = 5000;
constexpr int32_t kTcpKeepAliveMs = 5000;
constexpr int32_t kMacTimeoutMs = 5000;
constexpr int32_t kDiagnosticLevel = 1;
constexpr int32_t kUpdatePollMs = 500;
constexpr int32_t kUpdatePolls = 360;
constexpr int32_t kUpdateLookupTimeoutMs = 500;
constexpr int32_t kUpdateLookupMaxDevices = 50;
// Fields of the interface record the settings are copied into.
constexpr size_t kInterfaceNameMax = sizeof(DeviceInterface_T::name) - 1;
constexpr size_t kAddressMax = sizeof(DeviceInterface_T::ip) - 1;

void copyField(char *field, size_t size, const std::string &text)
{
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// Opens `connection` to `remote`: an address when the text holds a ".", else a MAC
// address when it holds a ":". Prints the failure; 1 or 0.
int32_t openConnection(QuentixClient_T *&connection, const std::string &local, const std::string &remote)
{
    if (connection != nullptr) {
        emit("- error: handle already open!\n");
        return 0;
    }
    if (remote.find('.') != std::string::npos) {
        connection = QuentixClient_OpenTCP(local.c_str(), remote.c_str(), kDevicePort, kTcpTimeoutMs, kTcpKeepAliveMs);
        if (connection == nullptr) {
            emit(formatText("- error: opening a tcp connection from %s to %s:%d failed\n", local.c_str(),
                            remote.c_str(), kDevicePort));
            return 0;
        }
        return 1;
    }
    if (remote.find(':') != std::string::npos) {
        connection = QuentixClient_OpenSingleMAC(local.c_str(), kDevicePort, remote.c_str(), kMacTimeoutMs);
        if (connection == nullptr) {
            emit(formatText("- error: opening an udp from %s to %s:%d failed\n", local.c_str(), remote.c_str(),
                            kDevicePort));
            return 0;
        }
        return 1;
    }
    emit(formatText("- error: invalid remote ip/mac <%s>\n", remote.c_str()));
    return 0;
}

// Prints the outcome of one camera command (`failure` names it for codes other than
// the camera's refusal and the broadcast right; `success` is printed on 0), closes
// the connection and gives 1: the camera was reached.
int32_t finishCommand(QuentixClient_T *&connection, const char *failure, const char *success, int32_t result,
                      int32_t deviceError)
{
    if (result == NTCP_ERR_DEVICE)
        emit(formatText("- error: camera replied with error code %d\n", deviceError));
    else if (result == NTCP_ERR_BROADCAST_DENIED)
        emit("- error: you must be root to use broadcast features\n");
    else if (result != NTCP_OK)
        emit(formatText("- error: %s %d\n", failure, result));
    else if (success != nullptr)
        emit(success);
    QuentixClient_Close(&connection);
    return 1;
}

// An update file's bytes, read into memory that is not cleared first: for files of
// many megabytes, touching the room twice costs as much as the read itself.
struct FileBytes {
    std::unique_ptr<uint8_t[]> data;
    size_t size = 0;
};

enum class FileRead { Ok, Unreadable, TooLarge };

// The whole file, up to `limit` bytes. The file's end position sizes the room; a
// file that is not what it says (a folder, a growing file) is read on in chunks.
FileRead readFile(const std::string &path, size_t limit, FileBytes &bytes)
{
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return FileRead::Unreadable;
    long end = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        end = std::ftell(file);
    size_t room = 65536;
    if (std::fseek(file, 0, SEEK_SET) != 0)
        end = -1;
    if (end > 0 && static_cast<unsigned long>(end) <= limit)
        room = static_cast<size_t>(end) + 1; // one more byte shows the end in the same read
    FileRead result = FileRead::Ok;
    bytes.size = 0;
    bytes.data.reset(new (std::nothrow) uint8_t[room]);
    while (bytes.data != nullptr) {
        bytes.size += std::fread(bytes.data.get() + bytes.size, 1, room - bytes.size, file);
        if (bytes.size < room)
            break;
        if (room > limit) {
            result = FileRead::TooLarge;
            break;
        }
        const size_t larger = std::min(room * 2, limit + 1);
        std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[larger]);
        if (grown != nullptr)
            std::memcpy(grown.get(), bytes.data.get(), bytes.size);
        bytes.data = std::move(grown);
        room = larger;
    }
    // A folder opens on some systems and only fails when read.
    if (bytes.data == nullptr || std::ferror(file) != 0)
        result = FileRead::Unreadable;
    std::fclose(file);
    return result;
}

UpdateReading readingOf(const UpdateProgress_T &item)
{
    UpdateReading reading;
    reading.kind = item.kind;
    reading.bytesSent = item.bytes_sent;
    reading.progress = item.progress;
    reading.message.assign(item.message, strnlen(item.message, sizeof item.message));
    return reading;
}

} // namespace

Nolmak::Nolmak()
{
    QuentixClient_PrintfSetLevel(kDiagnosticLevel);
    if (!getLocalIPAddresses().empty())
        localAddress_ = dottedAddress(localAddresses_.begin()->second);
}

Nolmak::~Nolmak()
{
    if (connection_ != nullptr)
        QuentixClient_Close(&connection_);
}

int32_t Nolmak::openConn(const std::string &remote)
{
    return openConnection(connection_, localAddress_, remote);
}

int32_t Nolmak::closeConn()
{
    if (connection_ == nullptr)
        return 0;
    return QuentixClient_Close(&connection_);
}

int32_t Nolmak::sendReboot(const std::string &remote, bool safeBoot)
{
    if (openConnection(connection_, localAddress_, remote) == 0)
        return 0;
    emit(formatText("SEND REBOOT (safeboot:%s) from %s to %s\n", safeBoot ? "YES" : "NO", localAddress_.c_str(),
                    remote.c_str()));
    int32_t deviceError = 0;
    const int32_t result = QuentixClient_Reboot(connection_, safeBoot ? 1 : 0, 1, &deviceError);
    return finishCommand(connection_, "send reboot failed", "DONE\n", result, deviceError);
}

int32_t Nolmak::getInfo(const std::string &remote, DeviceInfo_T *info, bool report)
{
    if (openConnection(connection_, localAddress_, remote) == 0)
        return 0;
    // Heap records: together they are larger than a caller's thread stack may like.
    auto device = std::make_unique<DiscoveryDev_T>();
    auto received = std::make_unique<DeviceInfo_T>();
    int32_t deviceError = 0;
    const int32_t result = QuentixClient_GetDeviceInfo(connection_, device.get(), received.get(), &deviceError);
    if (result == NTCP_OK) {
        if (info != nullptr)
            *info = *received;
        if (report)
            emit(deviceInfoReport(*device, *received));
    }
    return finishCommand(connection_, "get device info failed", nullptr, result, deviceError);
}

int32_t Nolmak::setNetworkParams(const std::string &remote, const std::string &iface, const std::string &address,
                                 const std::string &netmask, const std::string &gateway)
{
    const bool dhcp = address.find("dhcp") != std::string::npos;
    // Refused rather than cut: a shortened name or address would set another one.
    if (iface.size() > kInterfaceNameMax) {
        emit(formatText("- error: interface name longer than %zu characters <%s>\n", kInterfaceNameMax,
                        iface.c_str()));
        return 0;
    }
    if (!dhcp) {
        for (const std::string *text : {&address, &netmask, &gateway}) {
            if (text->size() > kAddressMax) {
                emit(formatText("- error: address longer than %zu characters <%s>\n", kAddressMax, text->c_str()));
                return 0;
            }
        }
    }
    if (openConnection(connection_, localAddress_, remote) == 0)
        return 0;
    DeviceInterface_T itf{};
    copyField(itf.name, sizeof itf.name, iface);
    if (dhcp) {
        itf.dhcp = 1;
        emit(formatText("SEND SET ITF name:%s dhcp\n", iface.c_str()));
    } else {
        copyField(itf.ip, sizeof itf.ip, address);
        copyField(itf.netmask, sizeof itf.netmask, netmask);
        copyField(itf.gateway, sizeof itf.gateway, gateway);
        emit(formatText("SEND SET ITF name:%s ip:%s nm:%s gw:%s\n", iface.c_str(), address.c_str(), netmask.c_str(),
                        gateway.c_str()));
    }
    int32_t deviceError = 0;
    const int32_t result = QuentixClient_SetInterface(connection_, &itf, &deviceError);
    return finishCommand(connection_, "set network params failed", "DONE\n", result, deviceError);
}

int32_t Nolmak::setLocalIP(const std::string &address)
{
    localAddress_ = address;
    return 1;
}

int32_t Nolmak::discoverAllDevices(int32_t timeoutMs, int32_t maxDevices, bool report)
{
    if (report)
        emit(formatText("- performing discovery: local ip %s, timeout %d ms\n", localAddress_.c_str(), timeoutMs));
    // A discovery delivers no more answers than this, so no larger room helps. A
    // maximum of 0 or less goes to the device client as it is: it refuses it before
    // touching the room or sending anything.
    const int32_t room = std::min(maxDevices, QUENTIX_DISCOVERY_MAX_ANSWERS);
    std::vector<DiscoveryDev_T> devices(static_cast<size_t>(std::max(room, 1)));
    int32_t found = 0;
    const int32_t result =
        QuentixClient_Discovery(localAddress_.c_str(), kDevicePort, timeoutMs, devices.data(), room, &found, nullptr, 0);
    if (result == NTCP_ERR_BROADCAST_DENIED) {
        emit("- error: you must be root to use broadcast features\n");
        return 0;
    }
    if (result != NTCP_OK) {
        emit(formatText("- error: discovery failed %d\n", result));
        return 0;
    }
    if (report) {
        emit(formatText("\n- discovery complete: found %d devices\n\n", found));
        if (found > 0)
            emit(discoveryTableHeader());
    }
    devices.resize(static_cast<size_t>(std::clamp(found, 0, room)));
    found_ = std::move(devices);
    if (report) {
        for (const DiscoveryDev_T &device : found_)
            emit(discoveryTableRow(device));
        emit("\n");
    }
    return 1;
}

int32_t Nolmak::updateGPG(const std::string &remote, uint16_t port, int32_t timeoutMs, const std::string &path)
{
    emit("  starting gpg update...\n");
    std::string target;
    if (remote.find(':') == std::string::npos) {
        target = remote;
    } else {
        emit(formatText("  need to get the ip address for device with mac address %s...\n", remote.c_str()));
        if (discoverAllDevices(kUpdateLookupTimeoutMs, kUpdateLookupMaxDevices, false) != 0) {
            const auto match = std::find_if(found_.begin(), found_.end(), [&](const DiscoveryDev_T &device) {
                return remote == std::string(device.mac, strnlen(device.mac, sizeof device.mac));
            });
            if (match != found_.end()) {
                target.assign(match->ip, strnlen(match->ip, sizeof match->ip));
                emit(formatText("  ip address found: %s!\n", target.c_str()));
            }
        }
    }
    if (target.empty()) {
        emit(formatText("  invalid ip/mac address! (%s)\n", remote.c_str()));
        return 0;
    }

    // The update payload counts its bytes in 32 bits, with room for its fields.
    FileBytes file;
    const FileRead read = readFile(path, static_cast<size_t>(INT32_MAX - QUENTIX_UPDATE_PAYLOAD_ROOM), file);
    if (read == FileRead::Unreadable) {
        emit("  cannot read file from disk!\n");
        return 0;
    }
    if (read == FileRead::TooLarge) {
        emit("  update file too large!\n");
        return 0;
    }
    emit(formatText("  sending %ld bytes to %s:%d\n", static_cast<long>(file.size), target.c_str(), port));
    QuentixUpdate_T *update = QuentixClientUpdate_Start(localAddress_.c_str(), target.c_str(), port, timeoutMs,
                                                        nullptr, file.data.get(), static_cast<int32_t>(file.size));
    if (update == nullptr) {
        emit("  failure while starting the update!\n");
        return 0;
    }

    // Every reading that waits is taken at each poll: one per poll would fall behind
    // the upload's readings, and the update's queue drops what does not fit, the
    // final reading included.
    UpdateReading previous;
    bool finished = false;
    for (int32_t poll = 0; poll < kUpdatePolls && !finished; ++poll) {
        crossSleep(kUpdatePollMs);
        for (;;) {
            UpdateProgress_T item{};
            const int32_t result = QuentixClientUpdate_GetProgress(update, &item);
            if (result == NTCP_ERR_STREAM_EMPTY)
                break;
            if (result != NTCP_OK) {
                QuentixClientUpdate_Destroy(&update);
                emit(formatText("  update failed with ntcp error %d!\n", result));
                return 0;
            }
            const UpdateReading reading = readingOf(item);
            emit(updateProgressLine(reading, previous));
            previous = reading;
            if (reading.kind >= UPDATE_KIND_FAILED && reading.kind != UPDATE_KIND_FINISHED) {
                finished = true;
                break;
            }
        }
    }
    QuentixClientUpdate_Destroy(&update);
    const bool failed = previous.kind == UPDATE_KIND_FAILED;
    emit(formatText("  update %s\n\n", failed ? "failed!" : "successfully completed!"));
    return failed ? 0 : 1;
}

const Nolmak::AddressMap &Nolmak::getLocalIPAddresses()
{
    listLocalAdapters(localAddresses_);
    return localAddresses_;
}

int32_t Nolmak::setLocalIPByIface(const std::string &iface)
{
    const auto entry = getLocalIPAddresses().find(iface);
    if (entry == localAddresses_.end()) {
        emit(formatText("  cannot find an interface %s!\n", iface.c_str()));
        return 0;
    }
    localAddress_ = dottedAddress(entry->second);
    return 1;
}

const std::vector<DiscoveryDev_T> &Nolmak::foundDevices() const
{
    return found_;
}

} // namespace Wendaro::Nolmak

// ---- the exported functions ----

using Wendaro::Nolmak::emit;
using Wendaro::Nolmak::formatText;
using Wendaro::Nolmak::Nolmak;

namespace {

// Runs one call with the boundary's rules: a null handle or text gives 0 with a line
// naming the function, and no exception ever leaves the library.
template <typename Call> int32_t guarded(const char *function, bool argumentsGiven, Call &&call)
{
    if (!argumentsGiven) {
        emit(formatText("- error: %s: NULL parameter\n", function));
        return 0;
    }
    try {
        return call();
    } catch (const std::exception &e) {
        emit(formatText("- error: %s failed: %s\n", function, e.what()));
    } catch (...) {
        emit(formatText("- error: %s failed\n", function));
    }
    return 0;
}

Nolmak *object(void *handle)
{
    return static_cast<Nolmak *>(handle);
}

bool lowByte(int32_t flag)
{
    return (flag & 0xFF) != 0;
}

} // namespace

extern "C" {

NOLMAK_API void *nolmak_create(void)
{
    try {
        return new Nolmak();
    } catch (...) {
        emit("- error: nolmak_create failed\n");
        return nullptr;
    }
}

NOLMAK_API int32_t nolmak_destroy(void *handle)
{
    delete object(handle);
    return 1;
}

NOLMAK_API int32_t nolmak_set_local_ip(void *handle, const char *local_ip)
{
    return guarded("nolmak_set_local_ip", handle != nullptr && local_ip != nullptr,
                   [&] { return object(handle)->setLocalIP(local_ip); });
}

NOLMAK_API int32_t nolmak_set_local_ip_by_iface(void *handle, const char *iface)
{
    return guarded("nolmak_set_local_ip_by_iface", handle != nullptr && iface != nullptr,
                   [&] { return object(handle)->setLocalIPByIface(iface); });
}

NOLMAK_API int32_t nolmak_discover_all_devices(void *handle, int32_t timeout_ms, int32_t max_devices, int32_t report)
{
    return guarded("nolmak_discover_all_devices", handle != nullptr,
                   [&] { return object(handle)->discoverAllDevices(timeout_ms, max_devices, lowByte(report)); });
}

NOLMAK_API DiscoveryDev_T *nolmak_last_found_devices(void *handle, int32_t *count)
{
    if (count != nullptr)
        *count = 0;
    if (handle == nullptr)
        return nullptr;
    const std::vector<DiscoveryDev_T> &found = object(handle)->foundDevices();
    if (found.empty())
        return nullptr;
    if (count != nullptr)
        *count = static_cast<int32_t>(found.size());
    return const_cast<DiscoveryDev_T *>(found.data());
}

NOLMAK_API int32_t nolmak_get_info(void *handle, const char *remote, DeviceInfo_T *info, int32_t report)
{
    return guarded("nolmak_get_info", handle != nullptr && remote != nullptr,
                   [&] { return object(handle)->getInfo(remote, info, lowByte(report)); });
}

NOLMAK_API int32_t nolmak_set_network_params(void *handle, const char *remote, const char *iface, const char *ip,
                                             const char *netmask, const char *gateway)
{
    // With DHCP the netmask and gateway are not used, so they may be null then.
    const bool given = handle != nullptr && remote != nullptr && iface != nullptr && ip != nullptr &&
                       ((netmask != nullptr && gateway != nullptr) || std::strstr(ip, "dhcp") != nullptr);
    return guarded("nolmak_set_network_params", given, [&] {
        return object(handle)->setNetworkParams(remote, iface, ip, netmask != nullptr ? netmask : "",
                                                gateway != nullptr ? gateway : "");
    });
}

NOLMAK_API int32_t nolmak_send_reboot(void *handle, const char *remote, int32_t safe_boot)
{
    return guarded("nolmak_send_reboot", handle != nullptr && remote != nullptr,
                   [&] { return object(handle)->sendReboot(remote, lowByte(safe_boot)); });
}

NOLMAK_API int32_t nolmak_update_gpg(void *handle, const char *remote, int32_t port, int32_t timeout_ms,
                                     const char *path)
{
    return guarded("nolmak_update_gpg", handle != nullptr && remote != nullptr && path != nullptr, [&] {
        return object(handle)->updateGPG(remote, static_cast<uint16_t>(port), timeout_ms, path);
    });
}

} // extern "C"
