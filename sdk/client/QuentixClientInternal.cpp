#include "client/QuentixClientInternal.h"

#include <stdlib.h>
#include <string.h>

#include "client/ntcp_common.h"
#include "codec/buffer_interface.h"
#include "runtime/cross_sys.h"
#include "transport/ntcp.h"
#include "transport/ntcp_client.h"

QuentixClient_T *CheckClientHandle(QuentixClient_T *handle)
{
    if (handle == nullptr || handle->struct_size != QUENTIX_CLIENT_STRUCT_SIZE)
        return nullptr;
    return handle;
}

int32_t SendCommand(QuentixClient_T *handle, int32_t command, const uint8_t *payload, int32_t payload_size,
                    uint8_t **answer, int32_t *answer_size, int32_t *device_error)
{
    if (CheckClientHandle(handle) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "SendCommand: CheckClientHandle failed");
        return NTCP_ERR_HANDLE;
    }
    int32_t own_error = 0;
    if (device_error == nullptr)
        device_error = &own_error;
    int32_t own_size = 0;
    if (answer != nullptr) {
        *answer = nullptr;
        if (answer_size == nullptr)
            answer_size = &own_size;
        *answer_size = 0;
    }

    int32_t result;
    if (handle->client != nullptr) {
        result = NTCP_client_send_command(handle->client, command, payload, payload_size, answer,
                                          answer != nullptr ? answer_size : nullptr, device_error);
        if (result != NTCP_OK && result != NTCP_ERR_DEVICE)
            ntcp_printf(NTCP_SEVERITY_ERROR, "SendCommand: NTCP_client_send_command failed");
    } else {
        // Only the camera with the handle's MAC answers; at most its one answer is kept.
        int32_t count = 0;
        result = NTCP_client_send_command_broadcast(handle->local_address, static_cast<uint16_t>(handle->port),
                                                    handle->remote_mac, handle->timeout_ms, NTCP_IDENT_DEVICE,
                                                    command, payload, payload_size, answer, answer_size, &count,
                                                    answer != nullptr ? 1 : 0, device_error);
        if (result != NTCP_OK && result != NTCP_ERR_DEVICE)
            ntcp_printf(NTCP_SEVERITY_ERROR, "SendCommand: NTCP_client_send_command_broadcast failed");
    }
    if (result != NTCP_OK && answer != nullptr && *answer != nullptr) {
        // A refused command hands back no answer, whichever path it took.
        NTCP_free(reinterpret_cast<void **>(answer));
        *answer_size = 0;
    }
    return result;
}

void QuentixFree(void **pointer)
{
    NTCP_free(pointer);
}

void QuentixCopyText(char *destination, size_t size, const char *source)
{
    if (destination == nullptr || size == 0)
        return;
    size_t length = 0;
    if (source != nullptr)
        while (length + 1 < size && source[length] != '\0')
            ++length;
    if (length > 0)
        memcpy(destination, source, length);
    memset(destination + length, 0, size - length);
}

namespace {

// Reads a text field through the scratch room and copies what fits into `field`.
int32_t read_text_field(char *field, size_t field_size, int32_t code, const uint8_t *buffer, int32_t size)
{
    char scratch[QUENTIX_TEXT_SCRATCH_SIZE];
    const int32_t result = Interpreter_GetString(scratch, sizeof scratch, code, buffer, size);
    if (result == NTCP_OK)
        QuentixCopyText(field, field_size, scratch);
    return result;
}

// A long field; the destination only changes when the field reads.
int32_t read_long(int32_t *destination, int32_t code, const uint8_t *buffer, int32_t size)
{
    int32_t value = 0; // a value shorter than 4 bytes fills only its own bytes
    const int32_t result = Interpreter_GetLong(&value, code, buffer, size);
    if (result == NTCP_OK)
        *destination = value;
    return result;
}

void read_device_time(DeviceTime_T *time, int32_t code, const uint8_t *buffer, int32_t size)
{
    DateTime_T value;
    memset(&value, 0, sizeof value);
    if (Interpreter_GetDateTime(&value, code, buffer, size) != NTCP_OK)
        return;
    time->date_part_1 = value.day_or_month;
    time->date_part_2 = value.month_or_day;
    time->year = value.year;
    time->hour = value.hour;
    time->minute = value.minute;
    time->second = value.second;
    time->millisecond = value.millisecond;
}

// Reads one application group; false passes the group over.
bool read_application(ApplicationInfo_T *app, const uint8_t *group, int32_t group_size)
{
    ApplicationInfo_T read;
    memset(&read, 0, sizeof read);
    if (Interpreter_GetString(read.name, sizeof read.name, MV_DATA_CODE_APPLICATION_NAME, group, group_size) !=
        NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_APPLICATION");
        return false;
    }
    if (read_long(&read.state, MV_DATA_CODE_APPLICATION_STATE, group, group_size) != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_APPLICATION_STATE");
        return false;
    }
    *app = read;
    return true;
}

// Reads one interface group; false passes the group over.
bool read_interface(DeviceInterface_T *entry, const uint8_t *group, int32_t size)
{
    DeviceInterface_T read;
    memset(&read, 0, sizeof read);

    const int32_t name = Interpreter_GetString(read.name, sizeof read.name, MV_DATA_CODE_INTERFACE_NAME, group, size);
    const int32_t dhcp = read_long(&read.dhcp, MV_DATA_CODE_DHCP, group, size);
    if (name != NTCP_OK || (dhcp != NTCP_OK && dhcp != NTCP_ERR_NOT_FOUND)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceInterfaces: Interpreter_GetString MV_DATA_CODE_INTERFACE_NAME");
        return false;
    }

    if (Interpreter_GetString(read.ip, sizeof read.ip, MV_DATA_CODE_IP, group, size) != NTCP_OK ||
        Interpreter_GetString(read.netmask, sizeof read.netmask, MV_DATA_CODE_NETMASK, group, size) != NTCP_OK ||
        Interpreter_GetString(read.gateway, sizeof read.gateway, MV_DATA_CODE_GATEWAY, group, size) != NTCP_OK ||
        Interpreter_GetString(read.mac, sizeof read.mac, MV_DATA_CODE_MAC_ADDRESS, group, size) != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceInterfaces: Interpreter_GetString failed");
        return false;
    }

    int32_t result =
        Interpreter_GetString(read.wifi_ssid, sizeof read.wifi_ssid, MV_DATA_CODE_WIFI_SSID, group, size);
    if (result == NTCP_ERR_NOT_FOUND) { // a wired interface
        memset(read.wifi_ssid, 0, sizeof read.wifi_ssid);
        *entry = read;
        return true;
    }
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "ExtractDeviceInterfaces: Interpreter_GetString MV_DATA_CODE_WIFI_SSID failed (%d)", result);
        return false;
    }
    result = Interpreter_GetString(read.wifi_passphrase, sizeof read.wifi_passphrase, MV_DATA_CODE_WIFI_PASSPHRASE,
                                   group, size);
    if (result == NTCP_ERR_NOT_FOUND) {
        memset(read.wifi_passphrase, 0, sizeof read.wifi_passphrase);
    } else if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "ExtractDeviceInterfaces: Interpreter_GetString MV_DATA_CODE_WIFI_PASSPHRASE failed (%d)", result);
        return false;
    }
    result = read_long(&read.wifi_mode, MV_DATA_CODE_WIFI_MODE, group, size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceInterfaces: Interpreter_GetLong MV_DATA_CODE_WIFI_MODE failed (%d)",
                    result);
        return false;
    }
    read.wifi = 1;
    result = read_long(&read.wifi_channel, MV_DATA_CODE_WIFI_CHANNEL, group, size);
    if (result != NTCP_OK && result != NTCP_ERR_NOT_FOUND) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "ExtractDeviceInterfaces: Interpreter_GetLong MV_DATA_CODE_WIFI_CHANNEL failed (%d)", result);
        return false;
    }
    *entry = read;
    return true;
}

} // namespace

int32_t ExtractDeviceDescription(DiscoveryDev_T *device, const uint8_t *answer, int32_t answer_size)
{
    if (device == nullptr || answer == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }

    int32_t result = read_text_field(device->ip, sizeof device->ip, MV_DATA_CODE_IP, answer, answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_IP");
        return result;
    }
    result = read_text_field(device->mac, sizeof device->mac, MV_DATA_CODE_MAC_ADDRESS, answer, answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_MAC_ADDRESS");
        return result;
    }
    result = read_text_field(device->device_type, sizeof device->device_type, MV_DATA_CODE_DEVICE_TYPE, answer,
                             answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_DEVICE_TYPE");
        return result;
    }
    result = read_long(&device->serial_number, MV_DATA_CODE_SERIAL_NUMBER, answer, answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_SERIAL_NUMBER");
        return result;
    }
    device->machine_code = 0;
    result = read_long(&device->machine_code, MV_DATA_CODE_BOARD_CODE, answer, answer_size);
    if (result != NTCP_OK && result != NTCP_ERR_NOT_FOUND) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_BOARD_CODE");
        return result;
    }
    result = read_text_field(device->netbios_name, sizeof device->netbios_name, MV_DATA_CODE_NETBIOSNAME, answer,
                             answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceDescription: Interpreter_GetString MV_DATA_CODE_NETBIOSNAME");
        return result;
    }

    const uint8_t *groups[DEVICE_APPS_MAX];
    int32_t lengths[DEVICE_APPS_MAX];
    int32_t count = 0;
    result = Interpreter_GetSequentialBuffersPtr(groups, lengths, &count, DEVICE_APPS_MAX, MV_DATA_CODE_APPLICATION,
                                                 answer, answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "ExtractDeviceDescription: Interpreter_GetSequentialBuffersPtr MV_DATA_CODE_APPLICATION");
        return result;
    }
    device->app_count = 0;
    for (int32_t i = 0; i < count; ++i)
        if (read_application(&device->apps[device->app_count], groups[i], lengths[i]))
            ++device->app_count;
    return NTCP_OK;
}

int32_t ExtractDeviceInfoGeneric(DeviceInfo_T *info, const uint8_t *answer, int32_t answer_size)
{
    if (info == nullptr || answer == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceInfoGeneric: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }

    read_text_field(info->boot_version, sizeof info->boot_version, MV_DATA_CODE_BOOT_VERSION, answer, answer_size);
    read_text_field(info->image_version, sizeof info->image_version, MV_DATA_CODE_IMAGE_VERSION, answer, answer_size);
    read_text_field(info->kernel_version, sizeof info->kernel_version, MV_DATA_CODE_KERNEL_VERSION, answer,
                    answer_size);
    read_text_field(info->filesystem_version, sizeof info->filesystem_version, MV_DATA_CODE_FILESYSTEM_VERSION, answer,
                    answer_size);
    read_text_field(info->driver_version, sizeof info->driver_version, MV_DATA_CODE_DRIVER_VERSION, answer,
                    answer_size);

    // A camera with two FPGAs sends the code twice; the second is searched for behind the first.
    info->fpga_count = 0;
    const uint8_t *first = nullptr;
    int32_t first_length = 0;
    if (read_long(&info->fpga_versions[0], MV_DATA_CODE_FPGA_VERSION, answer, answer_size) == NTCP_OK &&
        Interpreter_GetBufferPtr(&first, &first_length, MV_DATA_CODE_FPGA_VERSION, answer, answer_size) == NTCP_OK) {
        info->fpga_count = 1;
        const int64_t rest_offset = (first - answer) + ((static_cast<int64_t>(first_length) + 3) & ~int64_t{3});
        const int64_t rest_size = answer_size - rest_offset;
        if (rest_size > 0 &&
            read_long(&info->fpga_versions[1], MV_DATA_CODE_FPGA_VERSION, answer + rest_offset,
                      static_cast<int32_t>(rest_size)) == NTCP_OK)
            info->fpga_count = 2;
    }

    read_device_time(&info->gmt_time, MV_DATA_CODE_GMT_DATETIME, answer, answer_size);
    read_device_time(&info->local_time, MV_DATA_CODE_LOCAL_DATETIME, answer, answer_size);
    read_text_field(info->timezone, sizeof info->timezone, MV_DATA_CODE_TIMEZONE, answer, answer_size);
    return read_long(&info->value_12025, MV_DATA_CODE_DEVICE_VALUE_12025, answer, answer_size);
}

int32_t ExtractDeviceInterfaces(DeviceInfo_T *info, const uint8_t *answer, int32_t answer_size)
{
    if (info == nullptr || answer == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ExtractDeviceInterfaces: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    const uint8_t *groups[DEVICE_INTERFACES_MAX];
    int32_t lengths[DEVICE_INTERFACES_MAX];
    int32_t count = 0;
    const int32_t result = Interpreter_GetSequentialBuffersPtr(groups, lengths, &count, DEVICE_INTERFACES_MAX,
                                                               MV_DATA_CODE_INTERFACE, answer, answer_size);
    if (result != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR,
                    "ExtractDeviceInterfaces: Interpreter_GetSequentialBuffersPtr MV_DATA_CODE_INTERFACE");
        return result;
    }
    info->interface_count = 0;
    for (int32_t i = 0; i < count; ++i)
        if (read_interface(&info->interfaces[info->interface_count], groups[i], lengths[i]))
            ++info->interface_count;
    return NTCP_OK;
}
