/* Records that cross from libnolmak to its callers: one camera as discovery lists
 * it, the full information of one camera with its factory block and network
 * interfaces. Their layouts are fixed (checked below): the program reads them as
 * plain memory. Texts are zero-terminated within their field. */
#ifndef NOLMAK_NOLMAK_TYPES_H
#define NOLMAK_NOLMAK_TYPES_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- factory parameter block ---- */

#define FACTORY_TEXT_SIZE 16 /* at most 15 characters and the terminator */
#define FACTORY_HEAD_MAX 8   /* head groups a record holds */
#define FACTORY_NOT_SET (-1)

/* One head group (48 bytes): field HEAD_INFO_0 + i of the block. */
typedef struct HeadInfo_T {
    char text_3021[FACTORY_TEXT_SIZE];
    int32_t value_3022;
    int32_t value_3023;
    int32_t value_3024;
    int32_t value_3025;
    int32_t value_3026;
    int32_t value_3027;
    int32_t value_3028;
    int32_t value_3029;
} HeadInfo_T;

/* The block (432 bytes). -1 marks a number that is not set, an empty text a text
 * that is not set. */
typedef struct FactoryParam_T {
    int32_t value_3001;
    char text_3002[FACTORY_TEXT_SIZE];
    int32_t value_3003;
    int32_t value_3004;
    int32_t value_3005;
    int32_t value_3006;
    int32_t value_3007;
    int32_t value_3008;
    int32_t head_count; /* groups announced; at most FACTORY_HEAD_MAX are held */
    HeadInfo_T heads[FACTORY_HEAD_MAX];
} FactoryParam_T;

/* ---- network interface of a camera (244 bytes) ---- */

#define DEVICE_WIFI_MODE_AP 1
#define DEVICE_WIFI_MODE_CLIENT 2

typedef struct DeviceInterface_T {
    char name[64];
    int32_t dhcp; /* 1: the address comes from DHCP */
    char mac[20];
    char ip[16];
    char netmask[16];
    char gateway[16];
    int32_t wifi; /* 1: the four WiFi fields are valid */
    char wifi_ssid[32];
    char wifi_passphrase[64];
    int32_t wifi_mode;    /* DEVICE_WIFI_MODE_AP or DEVICE_WIFI_MODE_CLIENT */
    int32_t wifi_channel; /* 1 to 14; 0 = not given */
} DeviceInterface_T;

/* ---- discovery ---- */

#define DEVICE_APPS_MAX 10
#define DEVICE_INTERFACES_MAX 10

/* Application states of ApplicationInfo_T.state */
#define DEVICE_APP_STATE_INIT 10
#define DEVICE_APP_STATE_INIT_FAILED 11
#define DEVICE_APP_STATE_RUN 12
#define DEVICE_APP_STATE_RESTARTING 13
#define DEVICE_APP_STATE_NOT_RUNNING 14

/* One application running on a camera (260 bytes). */
typedef struct ApplicationInfo_T {
    char name[256];
    int32_t state;
} ApplicationInfo_T;

/* One camera as discovery lists it (2792 bytes). */
typedef struct DiscoveryDev_T {
    int32_t struct_size; /* sizeof(DiscoveryDev_T) in records a discovery writes */
    char ip[16];
    char mac[18];
    char reserved[2]; /* never written */
    char device_type[12];
    char netbios_name[128];
    int32_t serial_number;
    int32_t machine_code; /* 0 when the camera gives none */
    ApplicationInfo_T apps[DEVICE_APPS_MAX];
    int32_t app_count; /* valid entries of apps */
} DiscoveryDev_T;

/* ---- full information of one camera (3340 bytes) ---- */

/* A device clock: the two date parts in the order the camera gives them, year,
 * hour, minute, second, millisecond. */
typedef struct DeviceTime_T {
    int32_t date_part_1;
    int32_t date_part_2;
    int32_t year;
    int32_t hour;
    int32_t minute;
    int32_t second;
    int32_t millisecond;
} DeviceTime_T;

typedef struct DeviceInfo_T {
    char boot_version[64];
    char image_version[64];
    char kernel_version[64];
    char filesystem_version[64];
    char driver_version[64];
    int32_t fpga_count;       /* 0 to 2: valid entries of fpga_versions */
    int32_t fpga_versions[4]; /* entries 2 and 3 stay 0 */
    DeviceTime_T gmt_time;
    DeviceTime_T local_time;
    char timezone[64];
    int32_t value_12025;
    FactoryParam_T factory;
    DeviceInterface_T interfaces[DEVICE_INTERFACES_MAX];
    int32_t interface_count; /* valid entries of interfaces */
} DeviceInfo_T;

#ifdef __cplusplus
}
#endif

/* The program reads these records by offset: any change of layout breaks it. */
#ifdef __cplusplus
#define NOLMAK_LAYOUT_ASSERT(cond, text) static_assert(cond, text)
#else
#define NOLMAK_LAYOUT_ASSERT(cond, text) _Static_assert(cond, text)
#endif

NOLMAK_LAYOUT_ASSERT(sizeof(HeadInfo_T) == 48, "HeadInfo_T size");
NOLMAK_LAYOUT_ASSERT(sizeof(FactoryParam_T) == 432, "FactoryParam_T size");
NOLMAK_LAYOUT_ASSERT(offsetof(FactoryParam_T, text_3002) == 4, "FactoryParam_T.text_3002");
NOLMAK_LAYOUT_ASSERT(offsetof(FactoryParam_T, head_count) == 44, "FactoryParam_T.head_count");
NOLMAK_LAYOUT_ASSERT(offsetof(FactoryParam_T, heads) == 48, "FactoryParam_T.heads");

NOLMAK_LAYOUT_ASSERT(sizeof(DeviceInterface_T) == 244, "DeviceInterface_T size");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, dhcp) == 64, "DeviceInterface_T.dhcp");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, mac) == 68, "DeviceInterface_T.mac");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, ip) == 88, "DeviceInterface_T.ip");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, netmask) == 104, "DeviceInterface_T.netmask");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, gateway) == 120, "DeviceInterface_T.gateway");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, wifi) == 136, "DeviceInterface_T.wifi");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, wifi_ssid) == 140, "DeviceInterface_T.wifi_ssid");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, wifi_passphrase) == 172, "DeviceInterface_T.wifi_passphrase");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, wifi_mode) == 236, "DeviceInterface_T.wifi_mode");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInterface_T, wifi_channel) == 240, "DeviceInterface_T.wifi_channel");

NOLMAK_LAYOUT_ASSERT(sizeof(ApplicationInfo_T) == 260, "ApplicationInfo_T size");
NOLMAK_LAYOUT_ASSERT(offsetof(ApplicationInfo_T, state) == 256, "ApplicationInfo_T.state");

NOLMAK_LAYOUT_ASSERT(sizeof(DiscoveryDev_T) == 2792, "DiscoveryDev_T size");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, ip) == 4, "DiscoveryDev_T.ip");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, mac) == 20, "DiscoveryDev_T.mac");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, device_type) == 40, "DiscoveryDev_T.device_type");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, netbios_name) == 52, "DiscoveryDev_T.netbios_name");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, serial_number) == 180, "DiscoveryDev_T.serial_number");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, machine_code) == 184, "DiscoveryDev_T.machine_code");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, apps) == 188, "DiscoveryDev_T.apps");
NOLMAK_LAYOUT_ASSERT(offsetof(DiscoveryDev_T, app_count) == 2788, "DiscoveryDev_T.app_count");

NOLMAK_LAYOUT_ASSERT(sizeof(DeviceTime_T) == 28, "DeviceTime_T size");
NOLMAK_LAYOUT_ASSERT(sizeof(DeviceInfo_T) == 3340, "DeviceInfo_T size");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, image_version) == 64, "DeviceInfo_T.image_version");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, kernel_version) == 128, "DeviceInfo_T.kernel_version");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, filesystem_version) == 192, "DeviceInfo_T.filesystem_version");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, driver_version) == 256, "DeviceInfo_T.driver_version");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, fpga_count) == 320, "DeviceInfo_T.fpga_count");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, fpga_versions) == 324, "DeviceInfo_T.fpga_versions");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, gmt_time) == 340, "DeviceInfo_T.gmt_time");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, local_time) == 368, "DeviceInfo_T.local_time");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, timezone) == 396, "DeviceInfo_T.timezone");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, value_12025) == 460, "DeviceInfo_T.value_12025");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, factory) == 464, "DeviceInfo_T.factory");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, interfaces) == 896, "DeviceInfo_T.interfaces");
NOLMAK_LAYOUT_ASSERT(offsetof(DeviceInfo_T, interface_count) == 3336, "DeviceInfo_T.interface_count");

#undef NOLMAK_LAYOUT_ASSERT

#endif
