/* Data codes of the tagged fields that the library writes and reads: the NTCP
 * header's variable part, device descriptions, commands, factory parameter
 * blocks and firmware update payloads. */
#ifndef NOLMAK_CODEC_DATA_CODES_H
#define NOLMAK_CODEC_DATA_CODES_H

enum MvDataCode {
    /* NTCP header variable part */
    NTCP_ID_VERSION = 0x0A00,    /* long: header version, always 200 */
    NTCP_ID_RESPONSE = 0x0A01,   /* long: 1 = the message is a response */
    NTCP_ID_ERROR = 0x0A02,      /* long: error code reported by the device */
    NTCP_ID_SENDER = 0x0A03,     /* long: sender identifier */
    NTCP_ID_RECEIVER = 0x0A04,   /* long: receiver identifier */
    NTCP_ID_MACADDRESS = 0x0A05, /* bytes (6): MAC address, octets reversed */

    /* Factory parameter block. The device gives these codes no names; the
     * library carries the values without interpreting them. */
    MV_DATA_CODE_FACTORY_VALUE_3001 = 3001, /* long */
    MV_DATA_CODE_FACTORY_TEXT_3002 = 3002,  /* text, at most 15 characters */
    MV_DATA_CODE_FACTORY_VALUE_3003 = 3003, /* long */
    MV_DATA_CODE_FACTORY_VALUE_3004 = 3004, /* long */
    MV_DATA_CODE_FACTORY_VALUE_3005 = 3005, /* long */
    MV_DATA_CODE_FACTORY_VALUE_3006 = 3006, /* long */
    MV_DATA_CODE_FACTORY_VALUE_3007 = 3007, /* long */
    MV_DATA_CODE_FACTORY_VALUE_3008 = 3008, /* long */
    MV_DATA_CODE_FACTORY_HEAD_COUNT = 3020, /* long: number of head groups */
    MV_DATA_CODE_HEAD_TEXT_3021 = 3021,     /* text inside a head group, at most 15 characters */
    MV_DATA_CODE_HEAD_VALUE_3022 = 3022,    /* longs 3022 to 3029 inside a head group */
    MV_DATA_CODE_HEAD_VALUE_3023 = 3023,
    MV_DATA_CODE_HEAD_VALUE_3024 = 3024,
    MV_DATA_CODE_HEAD_VALUE_3025 = 3025,
    MV_DATA_CODE_HEAD_VALUE_3026 = 3026,
    MV_DATA_CODE_HEAD_VALUE_3027 = 3027,
    MV_DATA_CODE_HEAD_VALUE_3028 = 3028,
    MV_DATA_CODE_HEAD_VALUE_3029 = 3029,
    HEAD_INFO_0 = 3040, /* group: head group i has the code HEAD_INFO_0 + i */

    MV_DATA_CODE_FACTORY_CODES = 4000, /* text */

    /* Device description and network settings */
    MV_DATA_CODE_TIMEZONE = 10037,          /* text */
    MV_DATA_CODE_SERIAL_NUMBER = 12000,     /* long */
    MV_DATA_CODE_MAC_ADDRESS = 12001,       /* text */
    MV_DATA_CODE_IP = 12002,                /* text, dotted */
    MV_DATA_CODE_NETMASK = 12003,           /* text, dotted */
    MV_DATA_CODE_GATEWAY = 12004,           /* text, dotted */
    MV_DATA_CODE_DHCP = 12007,              /* long: 1 = address from DHCP */
    MV_DATA_CODE_NETBIOSNAME = 12008,       /* text */
    MV_DATA_CODE_FPGA_VERSION = 12020,      /* long, may appear twice */
    MV_DATA_CODE_DEVICE_VALUE_12025 = 12025, /* long, kept as it comes */
    MV_DATA_CODE_GMT_DATETIME = 12026,      /* date-time */
    MV_DATA_CODE_DEVICE_TYPE = 12152,       /* text */
    MV_DATA_CODE_BOOT_VERSION = 12167,      /* text */
    MV_DATA_CODE_INTERFACE = 12258,         /* group, repeated: one network interface */
    MV_DATA_CODE_KERNEL_VERSION = 15200,    /* text */
    MV_DATA_CODE_FILESYSTEM_VERSION = 15202, /* text */

    MV_DATA_CODE_LOCAL_DATETIME = 0x300000,    /* date-time */
    MV_DATA_CODE_INTERFACE_NAME = 0x300001,    /* text */
    MV_DATA_CODE_SAFEBOOT = 0x300002,          /* long: 1 = reboot into safe boot */
    /* group, repeated, in a description; text: the command of an asynchronous execution */
    MV_DATA_CODE_APPLICATION = 0x300003,
    MV_DATA_CODE_APPLICATION_NAME = 0x300004,  /* text, inside an application group */
    MV_DATA_CODE_APPLICATION_STATE = 0x300006, /* long, inside an application group */
    MV_DATA_CODE_IMAGE_VERSION = 0x300007,     /* text */
    MV_DATA_CODE_DRIVER_VERSION = 0x300008,    /* text */
    MV_DATA_CODE_WIFI_SSID = 0x300009,         /* text */
    MV_DATA_CODE_WIFI_PASSPHRASE = 0x30000A,   /* text */
    MV_DATA_CODE_WIFI_MODE = 0x30000B,         /* long */
    MV_DATA_CODE_WIFI_CHANNEL = 0x30000C,      /* long, 1 to 14 */
    MV_DATA_CODE_BOARD_CODE = 0x30000D,        /* long: the device's machine code */
    MV_DATA_CODE_REBOOT_OPTION = 0x30000E,     /* long: second option of the reboot command */

    /* Firmware update payload and feedback */
    MV_DATA_CODE_UPDATE_HEADER = 0x300A00,   /* long: first field of an update payload, always 10 */
    MV_DATA_CODE_UPDATE_PAYLOAD = 0x300A01,  /* bytes: the update file */
    MV_DATA_CODE_UPDATE_STATUS = 0x300A02,   /* long */
    MV_DATA_CODE_UPDATE_PROGRESS = 0x300A03, /* long: percentage */
    MV_DATA_CODE_UPDATE_MESSAGE = 0x300A04,  /* text */
    MV_DATA_CODE_UPDATE_OPTION = 0x300A05    /* text: optional text of an update payload */
};

#endif
