#include "client/QuentixClientCommand.h"

#include <stdlib.h>
#include <string.h>

#include <string>

#include "client/ntcp_common.h"
#include "codec/buffer_interface.h"
#include "runtime/cross_sys.h"
#include "transport/ntcp.h"

namespace {

// A command payload under construction: zeroed room of 64 bytes, released on every path.
struct Payload {
    uint8_t *data = nullptr;
    int32_t allocated = 0;
    int32_t used = 0;

    bool allocate()
    {
        data = static_cast<uint8_t *>(calloc(1, QUENTIX_PAYLOAD_START_SIZE));
        allocated = data != nullptr ? QUENTIX_PAYLOAD_START_SIZE : 0;
        return data != nullptr;
    }
    // What SendCommand gets: no payload at all when nothing was written.
    const uint8_t *sent() const { return used > 0 ? data : nullptr; }
    ~Payload() { free(data); }
};

// A text field of a caller's record, taken only up to the end of its field, so that a
// record without terminator is not read beyond it.
std::string field_text(const char *field, size_t size)
{
    return std::string(field, strnlen(field, size));
}

int32_t set_text(Payload &p, int32_t code, const std::string &text)
{
    return Interpreter_SetString(&p.data, &p.allocated, &p.used, text.c_str(), code, 1);
}

int32_t set_long(Payload &p, int32_t code, int32_t value, int32_t grow)
{
    return Interpreter_SetLong(&p.data, &p.allocated, &p.used, value, code, grow);
}

} // namespace

int32_t QuentixClient_GetDeviceInfo(QuentixClient_T *handle, DiscoveryDev_T *device, DeviceInfo_T *info,
                                    int32_t *device_error)
{
    if (CheckClientHandle(handle) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetDeviceInfo: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    if (device == nullptr || info == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetDeviceInfo: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    uint8_t *answer = nullptr;
    int32_t answer_size = 0;
    int32_t result = SendCommand(handle, NTCP_CMD_GET_DEVICE_INFO, nullptr, 0, &answer, &answer_size, device_error);
    if (result == NTCP_ERR_DEVICE)
        return result;
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetDeviceInfo: SendCommand failed");
        return result;
    }

    result = ExtractDeviceDescription(device, answer, answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetDeviceInfo: ExtractDeviceDescription failed (%d)", result);
    } else {
        memset(info, 0, sizeof *info);
        result = ExtractDeviceInfoGeneric(info, answer, answer_size);
        if (result != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetDeviceInfo: ExtractDeviceInfoGeneric failed (%d)",
                        result);
        } else if ((result = ExtractFactoryParam(&info->factory, answer, answer_size)) != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetDeviceInfo: ExtractFactoryParam failed (%d)", result);
        } else if ((result = ExtractDeviceInterfaces(info, answer, answer_size)) != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetDeviceInfo: ExtractDeviceInterfaces failed (%d)", result);
        }
    }
    NTCP_free(reinterpret_cast<void **>(&answer));
    return result;
}

int32_t QuentixClient_Reboot(QuentixClient_T *handle, int32_t safeboot, int32_t reboot_option, int32_t *device_error)
{
    Payload payload;
    if ((safeboot == 1 || reboot_option == 1) && !payload.allocate()) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Reboot: calloc failed");
        return NTCP_ERR_ALLOC;
    }
    int32_t result = NTCP_OK;
    if (safeboot == 1)
        result = set_long(payload, MV_DATA_CODE_SAFEBOOT, 1, 0);
    if (result == NTCP_OK && reboot_option == 1)
        result = set_long(payload, MV_DATA_CODE_REBOOT_OPTION, 1, 0);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Reboot: Interpreter_SetLong failed");
        return result;
    }
    result = SendCommand(handle, NTCP_CMD_REBOOT, payload.sent(), payload.used, nullptr, nullptr, device_error);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_Reboot: SendCommand failed");
    return result;
}

int32_t QuentixClient_SetInterface(QuentixClient_T *handle, const DeviceInterface_T *settings, int32_t *device_error)
{
    if (settings == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (CheckClientHandle(handle) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    Payload payload;
    if (!payload.allocate()) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: calloc failed");
        return NTCP_ERR_ALLOC;
    }
    int32_t result = set_text(payload, MV_DATA_CODE_INTERFACE_NAME, field_text(settings->name, sizeof settings->name));
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: Interpreter_SetString failed");
        return result;
    }
    if (settings->dhcp == 1) {
        result = set_long(payload, MV_DATA_CODE_DHCP, 1, 1);
    } else {
        result = set_text(payload, MV_DATA_CODE_IP, field_text(settings->ip, sizeof settings->ip));
        result += set_text(payload, MV_DATA_CODE_NETMASK, field_text(settings->netmask, sizeof settings->netmask));
        result += set_text(payload, MV_DATA_CODE_GATEWAY, field_text(settings->gateway, sizeof settings->gateway));
    }
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: Interpreter_Set failed");
        return result;
    }
    if (settings->wifi == 1) {
        result = set_text(payload, MV_DATA_CODE_WIFI_SSID, field_text(settings->wifi_ssid, sizeof settings->wifi_ssid));
        const std::string passphrase = field_text(settings->wifi_passphrase, sizeof settings->wifi_passphrase);
        if (!passphrase.empty())
            result += set_text(payload, MV_DATA_CODE_WIFI_PASSPHRASE, passphrase);
        result += set_long(payload, MV_DATA_CODE_WIFI_MODE, settings->wifi_mode, 1);
        if (settings->wifi_channel != 0) {
            if (settings->wifi_channel < 1 || settings->wifi_channel > 14) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: Invalid wifi channel %d",
                            settings->wifi_channel);
                return NTCP_ERR_REFUSED;
            }
            result += set_long(payload, MV_DATA_CODE_WIFI_CHANNEL, settings->wifi_channel, 1);
        }
        if (result != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: Interpreter_Set WIFI failed");
            return result;
        }
    }
    result = SendCommand(handle, NTCP_CMD_SET_NETWORK_INTERFACE, payload.data, payload.used, nullptr, nullptr,
                         device_error);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetInterface: SendCommand failed");
    return result;
}

int32_t QuentixClient_ExecuteAsync(QuentixClient_T *handle, const char *command, int32_t *device_error)
{
    Payload payload;
    if (!payload.allocate()) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_ExecuteAsync: calloc failed");
        return NTCP_ERR_ALLOC;
    }
    // The command travels in one 64-byte payload: at most 55 characters.
    int32_t result = Interpreter_SetString(&payload.data, &payload.allocated, &payload.used, command,
                                           MV_DATA_CODE_APPLICATION, 0);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_ExecuteAsync: Interpreter_SetString failed (%d)", result);
        return result;
    }
    result = SendCommand(handle, NTCP_CMD_EXECUTE_ASYNC, payload.data, payload.used, nullptr, nullptr, device_error);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_ExecuteAsync: SendCommand failed");
    return result;
}

int32_t QuentixClient_GetFactoryParameter(QuentixClient_T *handle, FactoryParam_T *param, int32_t *device_error)
{
    if (param == nullptr || device_error == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryParameter: NULL parameters");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (CheckClientHandle(handle) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryParameter: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    uint8_t *answer = nullptr;
    int32_t answer_size = 0;
    int32_t result =
        SendCommand(handle, NTCP_CMD_GET_FACTORY_PARAM, nullptr, 0, &answer, &answer_size, device_error);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryParameter: SendCommand failed (%d)", result);
        return result;
    }
    result = ExtractFactoryParam(param, answer, answer_size);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryParameter: ExtractFactoryParam failed (%d)", result);
    NTCP_free(reinterpret_cast<void **>(&answer));
    return result;
}

int32_t QuentixClient_SetFactoryParameter(QuentixClient_T *handle, const FactoryParam_T *param,
                                          int32_t *device_error)
{
    if (param == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryParameter: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (CheckClientHandle(handle) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryParameter: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    Payload payload;
    if (!payload.allocate()) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryParameter: calloc failed");
        return NTCP_ERR_ALLOC;
    }
    int32_t result = PutFactoryParam(param, &payload.data, &payload.used, &payload.allocated);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryParameter: PutFactoryParam failed (%d)", result);
        return result;
    }
    result = SendCommand(handle, NTCP_CMD_SET_FACTORY_PARAM, payload.sent(), payload.used, nullptr, nullptr,
                         device_error);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryParameter: SendCommand failed (%d)", result);
    return result;
}

int32_t QuentixClient_GetFactoryCodes(QuentixClient_T *handle, char *destination, int32_t destination_size,
                                      int32_t *device_error)
{
    if (destination == nullptr || device_error == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryCodes: NULL parameters");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (CheckClientHandle(handle) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryCodes: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    uint8_t *answer = nullptr;
    int32_t answer_size = 0;
    int32_t result =
        SendCommand(handle, NTCP_CMD_GET_FACTORY_CODES, nullptr, 0, &answer, &answer_size, device_error);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryCodes: SendCommand failed");
        return result;
    }
    // An answer without payload holds no codes either.
    result = answer != nullptr ? Interpreter_GetString(destination, destination_size, MV_DATA_CODE_FACTORY_CODES,
                                                       answer, answer_size)
                               : NTCP_ERR_NOT_FOUND;
    if (result == NTCP_ERR_NOT_FOUND) {
        if (destination_size > 0)
            destination[0] = '\0';
    } else if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_GetFactoryCodes: Interpreter_GetString failed");
    }
    NTCP_free(reinterpret_cast<void **>(&answer));
    return result;
}

int32_t QuentixClient_SetFactoryCodes(QuentixClient_T *handle, const char *codes, int32_t *device_error)
{
    if (codes == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryCodes: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (CheckClientHandle(handle) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryCodes: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    Payload payload; // from the empty state: the codes may be of any length
    int32_t result = set_text(payload, MV_DATA_CODE_FACTORY_CODES, codes);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryCodes: Interpreter_SetString failed");
        return result;
    }
    result = SendCommand(handle, NTCP_CMD_SET_FACTORY_CODES, payload.data, payload.used, nullptr, nullptr,
                         device_error);
    if (result != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "QuentixClient_SetFactoryCodes: SendCommand failed");
    return result;
}
