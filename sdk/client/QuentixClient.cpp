#include "client/QuentixClient.h"

#include <stdlib.h>
#include <string.h>

#include <string_view>

#include "client/ntcp_common.h"
#include "runtime/cross_sys.h"
#include "transport/ntcp.h"
#include "transport/ntcp_client.h"

namespace {

void fill_handle(QuentixClient_T *handle, const char *local_address, const char *remote_address,
                 const char *remote_mac, int32_t port, int32_t timeout_ms, int32_t transport, int32_t keepalive_ms,
                 NTCPClient_T *client)
{
    handle->struct_size = QUENTIX_CLIENT_STRUCT_SIZE;
    QuentixCopyText(handle->local_address, sizeof handle->local_address, local_address);
    QuentixCopyText(handle->remote_address, sizeof handle->remote_address, remote_address);
    QuentixCopyText(handle->remote_mac, sizeof handle->remote_mac, remote_mac);
    handle->port = port;
    handle->timeout_ms = timeout_ms;
    handle->transport = transport;
    handle->keepalive_ms = keepalive_ms;
    handle->client = client;
}

QuentixClient_T *open_address_handle(const char *name, const char *local_address, const char *remote_address,
                                     int32_t port, int32_t timeout_ms, int32_t keepalive_ms, int32_t transport)
{
    int32_t error = 0;
    NTCPClient_T *client = NTCP_client_open(local_address, remote_address, static_cast<uint16_t>(port), timeout_ms,
                                            NTCP_IDENT_DEVICE, transport == QUENTIX_TRANSPORT_UDP ? 1 : 0,
                                            keepalive_ms, &error);
    if (client == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: client open failed (%d)", name, error);
        return nullptr;
    }
    auto *handle = static_cast<QuentixClient_T *>(calloc(1, sizeof(QuentixClient_T)));
    if (handle == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: calloc failed", name);
        NTCP_client_close(&client);
        return nullptr;
    }
    fill_handle(handle, local_address, remote_address, nullptr, port, timeout_ms, transport, keepalive_ms, client);
    return handle;
}

// The filter's text up to its terminator or the end of its field, whichever comes first.
std::string_view filter_text(const DiscoveryFilter_T &filter)
{
    return std::string_view(filter.text, strnlen(filter.text, sizeof filter.text));
}

bool contains(const char *text, size_t size, std::string_view part)
{
    return std::string_view(text, strnlen(text, size)).find(part) != std::string_view::npos;
}

} // namespace

QuentixClient_T *QuentixClient_OpenTCP(const char *local_address, const char *remote_address, int32_t port,
                                       int32_t timeout_ms, int32_t keepalive_ms)
{
    return open_address_handle("QuentixClient_OpenTCP", local_address, remote_address, port, timeout_ms,
                               keepalive_ms, QUENTIX_TRANSPORT_TCP);
}

QuentixClient_T *QuentixClient_OpenUDP(const char *local_address, const char *remote_address, int32_t port,
                                       int32_t timeout_ms, int32_t keepalive_ms)
{
    return open_address_handle("QuentixClient_OpenUDP", local_address, remote_address, port, timeout_ms,
                               keepalive_ms, QUENTIX_TRANSPORT_UDP);
}

QuentixClient_T *QuentixClient_OpenSingleMAC(const char *local_address, int32_t port, const char *remote_mac,
                                             int32_t timeout_ms)
{
    auto *handle = static_cast<QuentixClient_T *>(calloc(1, sizeof(QuentixClient_T)));
    if (handle == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_OpenSingleMAC: calloc failed");
        return nullptr;
    }
    fill_handle(handle, local_address, nullptr, remote_mac, port, timeout_ms, QUENTIX_TRANSPORT_UDP, 0, nullptr);
    return handle;
}

int32_t QuentixClient_Close(QuentixClient_T **handle)
{
    if (handle == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Close: NULL parameters");
        return NTCP_ERR_NULL_PARAMETER;
    }
    QuentixClient_T *client = CheckClientHandle(*handle);
    if (client == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Close: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    if (client->client != nullptr)
        NTCP_client_close(&client->client);
    client->struct_size = 0; // a stale copy of the pointer is no handle any more
    free(client);
    *handle = nullptr;
    return NTCP_OK;
}

int32_t QuentixClient_PrintfSetLevel(uint32_t level)
{
    return ntcp_printf_set_level(level);
}

int32_t DiscoveryFilterKeeps(const DiscoveryDev_T *device, const DiscoveryFilter_T *filters, int32_t filter_count)
{
    bool keep = true;
    for (int32_t i = 0; i < filter_count; ++i) {
        const DiscoveryFilter_T &filter = filters[i];
        switch (filter.kind) {
        case DISCOVERY_FILTER_DEVICE_TYPE:
            if (!contains(device->device_type, sizeof device->device_type, filter_text(filter))) {
                ntcp_printf(NTCP_SEVERITY_DEBUG, "QuentixClient_Discovery: Device type %s skipped...",
                            device->device_type);
                keep = false;
            }
            break;
        case DISCOVERY_FILTER_MACHINE_CODE:
            if (device->machine_code == filter.value) {
                ntcp_printf(NTCP_SEVERITY_DEBUG, "QuentixClient_Discovery: Machine Code %d skipped...",
                            device->machine_code);
                keep = false;
            }
            break;
        case DISCOVERY_FILTER_APP_NAME: {
            bool found = false;
            for (int32_t a = 0; a < device->app_count && a < DEVICE_APPS_MAX && !found; ++a)
                found = contains(device->apps[a].name, sizeof device->apps[a].name, filter_text(filter));
            if (found) {
                keep = true; // an application match undoes an earlier skip
            } else {
                ntcp_printf(NTCP_SEVERITY_DEBUG, "QuentixClient_Discovery: App name %.*s skipped...",
                            static_cast<int>(filter_text(filter).size()), filter.text);
                keep = false;
            }
            break;
        }
        case DISCOVERY_FILTER_IP:
            // The filter names the one camera wanted by its address.
            if (std::string_view(device->ip, strnlen(device->ip, sizeof device->ip)) != filter_text(filter)) {
                ntcp_printf(NTCP_SEVERITY_DEBUG, "QuentixClient_Discovery: IP %s skipped...", device->ip);
                keep = false;
            }
            break;
        default:
            ntcp_printf(NTCP_SEVERITY_WARNING, "QuentixClient_Discovery: Unknown filter %d skipped...", filter.kind);
            break;
        }
    }
    return keep ? 1 : 0;
}

int32_t QuentixClient_Discovery(const char *local_address, int32_t port, int32_t timeout_ms,
                                DiscoveryDev_T *devices, int32_t devices_size, int32_t *found,
                                const DiscoveryFilter_T *filters, int32_t filter_count)
{
    if (local_address == nullptr || devices == nullptr || found == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Discovery: NULL parameters");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (devices_size <= 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Discovery: devices_size must be greater then 0");
        return NTCP_ERR_RANGE;
    }
    *found = 0;

    uint8_t *answers[QUENTIX_DISCOVERY_MAX_ANSWERS] = {};
    int32_t sizes[QUENTIX_DISCOVERY_MAX_ANSWERS] = {};
    int32_t count = 0;
    int32_t result = NTCP_client_send_command_broadcast(local_address, static_cast<uint16_t>(port), nullptr,
                                                        timeout_ms, NTCP_IDENT_DEVICE, NTCP_CMD_DISCOVERY, nullptr, 0,
                                                        answers, sizes, &count, QUENTIX_DISCOVERY_MAX_ANSWERS,
                                                        nullptr);
    if (count < 0 || count > QUENTIX_DISCOVERY_MAX_ANSWERS)
        count = 0;
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Discovery: NTCP_client_send_command_broadcast failed (%d)",
                    result);
    } else {
        ntcp_printf(NTCP_SEVERITY_INFO, "QuentixClient_Discovery: Found %d devices", count);
        if (count > devices_size)
            ntcp_printf(NTCP_SEVERITY_WARNING, "QuentixClient_Discovery: Found %d devices but output buffer lenght %d",
                        count, devices_size);
        const bool filtering = filters != nullptr && filter_count > 0;
        for (int32_t i = 0; i < count; ++i) {
            DiscoveryDev_T device;
            memset(&device, 0, sizeof device);
            result = ExtractDeviceDescription(&device, answers[i], sizes[i]);
            if (result != NTCP_OK) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Discovery: ExtractDeviceDescription failed (%d)",
                            result);
                break;
            }
            if (filtering && !DiscoveryFilterKeeps(&device, filters, filter_count))
                continue;
            device.struct_size = static_cast<int32_t>(sizeof(DiscoveryDev_T));
            if (*found < devices_size)
                devices[*found] = device;
            ++*found;
        }
    }
    for (int32_t i = 0; i < count; ++i)
        NTCP_free(reinterpret_cast<void **>(&answers[i]));
    return result;
}
