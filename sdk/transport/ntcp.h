/* NTCP command header: the in-memory record that the transport fills and reads,
 * its writer and reader, and the command codes that the library sends and expects. */
#ifndef NOLMAK_TRANSPORT_NTCP_H
#define NOLMAK_TRANSPORT_NTCP_H

#include <stdint.h>

#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- command codes; every answer carries the code of the request it answers ---- */

#define NTCP_CMD_DISCOVERY 0xAA00             /* broadcast; every camera answers with its description */
#define NTCP_CMD_SET_NETWORK_INTERFACE 0xAA01 /* set the network interface settings */
#define NTCP_CMD_REBOOT 0xAA02                /* reboot */
#define NTCP_CMD_GET_DEVICE_INFO 0xAA03       /* get the device information */
#define NTCP_CMD_EXECUTE_ASYNC 0xAB00         /* execute a command asynchronously */
#define NTCP_CMD_GET_FACTORY_PARAM 0xFA00     /* get a factory parameter */
#define NTCP_CMD_SET_FACTORY_PARAM 0xFA01     /* set a factory parameter */
#define NTCP_CMD_GET_FACTORY_CODES 0xFA02     /* get the factory codes */
#define NTCP_CMD_SET_FACTORY_CODES 0xFA03     /* set the factory codes */
#define NTCP_CMD_UPDATE_START 0xADA7          /* start the firmware-update stream (carries the update payload) */
#define NTCP_CMD_UPDATE_DATA 0xADA8           /* one data message of the update stream (from the device) */
#define NTCP_CMD_UPDATE_END 0xADA9            /* end of the update stream (from the device) */
#define NTCP_CMD_STREAM_STOP 0xADA9           /* stop of a stream (to the device): same code as the end */
#define NTCP_CMD_KEEPALIVE 0xEE1C             /* NTCP keep-alive, sent with NTCP id NTCP_IDENT_KEEPALIVE */
/* The MIROVANT keep-alive (0x623E) is MV_CMD_KEEPALIVE in transport/mirovant.h. */

/* ---- NTCP id word ---- */

#define NTCP_IDENT_DEVICE 4096    /* every device command of the library */
#define NTCP_IDENT_KEEPALIVE 4095 /* the NTCP keep-alive */

/* Receiver identifier that addresses every receiver of a broadcast. */
#define NTCP_RECEIVER_ALL 0xFFFFFF

/* ---- NTCPHeader_T flag bits: which fields of the record are present ---- */

#define NTCP_FLAG_NTCP_ID 0x01u      /* NTCP id (selects the NTCP header kind when sending) */
#define NTCP_FLAG_COMMAND 0x02u      /* command */
#define NTCP_FLAG_ERROR 0x04u        /* error */
#define NTCP_FLAG_SENDER 0x08u       /* sender */
#define NTCP_FLAG_RECEIVER 0x10u     /* receiver */
#define NTCP_FLAG_MAC_ADDRESS 0x20u  /* MAC address */
#define NTCP_FLAG_RESPONSE 0x40u     /* the message answers a request */
#define NTCP_FLAG_PAYLOAD_SIZE 0x80u /* payload size */

/* ---- wire layout of the NTCP header ---- */

#define NTCP_MAGIC_1 0x1A2B3C4Du
#define NTCP_MAGIC_2 0x3044DAE1u
#define NTCP_FIXED_HEADER_SIZE 28  /* magics, options, header length, payload size, NTCP id, command */
#define NTCP_HEADER_VERSION 200    /* value of NTCP_ID_VERSION, always written */
#define NTCP_ENCRYPTION_MASK 0x07u /* low bits of the byte at offset 8: encryption mode, only 0 supported */
#define NTCP_SEND_HEADER_BUFFER_SIZE 1000 /* the buffer the library's senders write headers into */

#define NTCP_MAC_ADDRESS_SIZE 6

/* The decoded or to-be-encoded command header. */
typedef struct NTCPHeader_T {
    uint32_t flags;        /* NTCP_FLAG_* bits of the fields present */
    int32_t ntcp_id;       /* NTCP identifier word (NTCP_IDENT_*) */
    int32_t command;       /* command code (NTCP_CMD_*) */
    int32_t error;         /* error code that a device reports; 0 = no error */
    int32_t sender;        /* sender identifier */
    int32_t receiver;      /* receiver identifier; NTCP_RECEIVER_ALL in broadcasts */
    int32_t payload_size;  /* bytes of payload after the header; 0 or less means none */
    /* Wire order: octets reversed, "00:50:C2:52:88:99" is { 0x99, 0x88, 0x52, 0xC2, 0x50, 0x00 }. */
    uint8_t mac_address[NTCP_MAC_ADDRESS_SIZE];
} NTCPHeader_T;

/* Writes the NTCP header of `header` into `buffer` (room: `buffer_size` bytes) and
 * stores its length. 0; 2 null argument; 5 flags lack NTCP id or command; the field
 * writer's result (10 when the room is exhausted) when the variable part does not fit. */
int32_t NTCP_SetCommandHeader(uint8_t *buffer, int32_t *header_length, int32_t buffer_size,
                              const NTCPHeader_T *header);

/* Reads the NTCP header at `buffer` into `header`. `header_length` is the number of
 * bytes that may be read at `buffer`: the header's own length word (offset 12) must lie
 * within it, so pass the bytes actually received, not the length word itself.
 * 0; 2 null argument; 4 not an NTCP header; 10 too short or malformed variable part
 * (or another result of the field reader); 999 encrypted header. */
int32_t NTCP_GetCommandHeader(const uint8_t *buffer, int32_t header_length, NTCPHeader_T *header);

#ifdef __cplusplus
}
#endif

#endif
