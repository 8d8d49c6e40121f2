/* Inside of the device client: the camera handle, the one path by which every
 * command reaches a camera (SendCommand), and the decoding of the device
 * descriptions that cameras send as Interpreter fields. */
#ifndef NOLMAK_CLIENT_QUENTIX_CLIENT_INTERNAL_H
#define NOLMAK_CLIENT_QUENTIX_CLIENT_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "nolmak/nolmak_types.h"
#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct NTCPClient_T NTCPClient_T;

#define QUENTIX_CLIENT_STRUCT_SIZE 100 /* the mark of a camera handle */
#define QUENTIX_ADDRESS_SIZE 24        /* at most 23 characters and the terminator */
#define QUENTIX_TRANSPORT_TCP 0
#define QUENTIX_TRANSPORT_UDP 1
#define QUENTIX_TEXT_SCRATCH_SIZE 256  /* description texts are read through this much room */

/* One camera and the way to reach it: an NTCP client to its address, or (client
 * null) broadcasts from the local address that only the camera with remote_mac
 * answers. */
typedef struct QuentixClient_T {
    int32_t struct_size; /* QUENTIX_CLIENT_STRUCT_SIZE */
    char local_address[QUENTIX_ADDRESS_SIZE];
    char remote_address[QUENTIX_ADDRESS_SIZE]; /* empty for a MAC-addressed handle */
    char remote_mac[QUENTIX_ADDRESS_SIZE];     /* empty for an address handle */
    int32_t port;
    int32_t timeout_ms;
    int32_t transport;    /* QUENTIX_TRANSPORT_TCP or _UDP (a MAC-addressed handle: UDP) */
    int32_t keepalive_ms; /* 0 for a MAC-addressed handle */
    NTCPClient_T *client; /* null marks a MAC-addressed handle */
} QuentixClient_T;

/* The handle when it is one, else null. Prints nothing: its callers do. */
QuentixClient_T *CheckClientHandle(QuentixClient_T *handle);

/* Sends one command and, when `answer` is given, hands back the answer payload
 * (caller's, released with NTCP_free) and its size. 0; 250 with the camera's code
 * in *device_error; 4 not a handle; otherwise the NTCP client's result. */
int32_t SendCommand(QuentixClient_T *handle, int32_t command, const uint8_t *payload, int32_t payload_size,
                    uint8_t **answer, int32_t *answer_size, int32_t *device_error);

/* Releases *pointer and sets it to null; nothing for a null address or pointer. */
void QuentixFree(void **pointer);

/* Copies `source` into a text field of `size` bytes: as many characters as fit
 * before the terminator, the rest of the field zero. */
void QuentixCopyText(char *destination, size_t size, const char *source);

/* Every field of the description but struct_size. 0; 2 null argument; 8 a required
 * field is missing; otherwise the field reader's result. */
int32_t ExtractDeviceDescription(DiscoveryDev_T *device, const uint8_t *answer, int32_t answer_size);

/* The fields from boot_version to value_12025; each absent field keeps its value.
 * Gives the result of reading code 12025: 0, 8 when absent, else the reader's. */
int32_t ExtractDeviceInfoGeneric(DeviceInfo_T *info, const uint8_t *answer, int32_t answer_size);

/* interfaces and interface_count; a malformed interface group is passed over.
 * 0; 2 null argument; otherwise the result of finding the groups. */
int32_t ExtractDeviceInterfaces(DeviceInfo_T *info, const uint8_t *answer, int32_t answer_size);

#ifdef __cplusplus
}
#endif

#endif
