/* Camera handles of the device client (open and close) and the discovery of the
 * cameras on the local network. */
#ifndef NOLMAK_CLIENT_QUENTIX_CLIENT_H
#define NOLMAK_CLIENT_QUENTIX_CLIENT_H

#include <stddef.h>
#include <stdint.h>

#include "client/QuentixClientInternal.h"
#include "nolmak/nolmak_types.h"
#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUENTIX_DISCOVERY_MAX_ANSWERS 100 /* answers one discovery collects */

/* Filter kinds: what a device is compared with. */
#define DISCOVERY_FILTER_DEVICE_TYPE 100 /* skipped when device_type lacks `text` */
#define DISCOVERY_FILTER_MACHINE_CODE 200 /* skipped when machine_code equals `value` */
#define DISCOVERY_FILTER_APP_NAME 300    /* skipped when no application name contains `text` */
#define DISCOVERY_FILTER_IP 400          /* skipped when ip differs from `text` */

/* One filter of a discovery (264 bytes). */
typedef struct DiscoveryFilter_T {
    int32_t kind;
    int32_t value;  /* kind 200 */
    char text[256]; /* kinds 100, 300 and 400 */
} DiscoveryFilter_T;

/* A handle with a TCP (or UDP) NTCP client to `remote_address`, or null. Addresses
 * keep at most 23 characters. */
QuentixClient_T *QuentixClient_OpenTCP(const char *local_address, const char *remote_address, int32_t port,
                                       int32_t timeout_ms, int32_t keepalive_ms);
QuentixClient_T *QuentixClient_OpenUDP(const char *local_address, const char *remote_address, int32_t port,
                                       int32_t timeout_ms, int32_t keepalive_ms);

/* A handle without connection: every command is broadcast from `local_address` with
 * `remote_mac` so that only that camera answers, within `timeout_ms`. The MAC text is
 * checked when the first command is sent. */
QuentixClient_T *QuentixClient_OpenSingleMAC(const char *local_address, int32_t port, const char *remote_mac,
                                             int32_t timeout_ms);

/* Closes the handle's connection, releases it and sets *handle to null. 0; 2; 4. */
int32_t QuentixClient_Close(QuentixClient_T **handle);

/* Sets the library's diagnostic level. */
int32_t QuentixClient_PrintfSetLevel(uint32_t level);

/* Broadcasts the discovery command from `local_address` and decodes every answer
 * within `timeout_ms`. Devices that pass the filters are counted in *found and the
 * first `devices_size` of them stored in `devices`. 0; 2; 5 devices_size not above 0;
 * the broadcast's result; the result of an answer that does not decode (devices
 * before it stay stored and counted). */
int32_t QuentixClient_Discovery(const char *local_address, int32_t port, int32_t timeout_ms,
                                DiscoveryDev_T *devices, int32_t devices_size, int32_t *found,
                                const DiscoveryFilter_T *filters, int32_t filter_count);

/* The discovery's decision for one device: 1 keep, 0 skip. The filters are applied
 * in order and the decision after the last one counts. */
int32_t DiscoveryFilterKeeps(const DiscoveryDev_T *device, const DiscoveryFilter_T *filters, int32_t filter_count);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
static_assert(sizeof(DiscoveryFilter_T) == 264, "DiscoveryFilter_T size");
static_assert(offsetof(DiscoveryFilter_T, text) == 8, "DiscoveryFilter_T.text");
#endif

#endif
