/* libnolmak, the camera SDK: its ten exported functions.
 *
 * A handle is created by nolmak_create and released by nolmak_destroy; every
 * operation in between opens its own connection to one camera and closes it again
 * before it returns. Functions give 1 for success and 0 for failure (the reason is
 * printed on standard output), except nolmak_create and nolmak_last_found_devices,
 * which give pointers. Texts are zero-terminated and copied during the call.
 *
 * A remote address text is either a dotted IPv4 address (it contains ".") or a
 * camera's MAC address as discovery reports it, e.g. "00:50:C2:52:88:99".
 *
 * A handle must not be used by two threads at the same time. */
#ifndef NOLMAK_NOLMAK_H
#define NOLMAK_NOLMAK_H

#include <stdint.h>

#include "nolmak/nolmak_types.h"

#if defined(_WIN32)
#  if defined(NOLMAK_BUILDING_LIBRARY)
#    define NOLMAK_API __declspec(dllexport)
#  else
#    define NOLMAK_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define NOLMAK_API __attribute__((visibility("default")))
#else
#  define NOLMAK_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A new handle, or null when it cannot be made. Sets the library's diagnostic level
 * to 1 (errors and warnings) and takes as local address that of the first network
 * adapter by name that is up, not loopback and has an IPv4 address ("0.0.0.0" when
 * there is none). */
NOLMAK_API void *nolmak_create(void);

/* Releases the handle, its list of found cameras included. Null is accepted. Always 1. */
NOLMAK_API int32_t nolmak_destroy(void *handle);

/* The PC address from which cameras are reached. 1; 0 for a null handle or text. */
NOLMAK_API int32_t nolmak_set_local_ip(void *handle, const char *local_ip);

/* The PC address of the named network adapter. 1 when the adapter is found, else 0. */
NOLMAK_API int32_t nolmak_set_local_ip_by_iface(void *handle, const char *iface);

/* Broadcasts a discovery and collects answers for timeout_ms; keeps at most
 * max_devices cameras (a discovery delivers at most 100). A non-zero low byte of
 * report prints a table. 1, or 0 when the discovery failed (the earlier list stays). */
NOLMAK_API int32_t nolmak_discover_all_devices(void *handle, int32_t timeout_ms, int32_t max_devices,
                                               int32_t report);

/* The cameras of the last successful discovery on this handle, in *count: valid until
 * the next discovery on it or nolmak_destroy. Null and 0 when there never was one. */
NOLMAK_API DiscoveryDev_T *nolmak_last_found_devices(void *handle, int32_t *count);

/* Reads one camera's information into *info (may be null) when the camera delivers
 * it, and prints it when the low byte of report is non-zero. 1 when a connection was
 * opened, even when the camera refused; 0 otherwise (*info untouched). */
NOLMAK_API int32_t nolmak_get_info(void *handle, const char *remote, DeviceInfo_T *info, int32_t report);

/* Sets a camera's network interface `iface` (at most 63 characters) to DHCP when `ip`
 * contains "dhcp" (netmask and gateway are then not used), else to the three dotted
 * addresses (at most 15 characters each; longer texts are refused). 1 when a
 * connection was opened, even when the camera refused; 0 otherwise. */
NOLMAK_API int32_t nolmak_set_network_params(void *handle, const char *remote, const char *iface, const char *ip,
                                             const char *netmask, const char *gateway);

/* Reboots a camera, into its safe mode when the low byte of safe_boot is non-zero.
 * 1 when a connection was opened, even when the camera refused; 0 otherwise. */
NOLMAK_API int32_t nolmak_send_reboot(void *handle, const char *remote, int32_t safe_boot);

/* Sends the update file at `path` to a camera on `port` and follows the installation
 * (up to about 3 minutes). A MAC remote is looked up by a 500 ms discovery, which
 * replaces the handle's list of found cameras. 1 unless the update failed. */
NOLMAK_API int32_t nolmak_update_gpg(void *handle, const char *remote, int32_t port, int32_t timeout_ms,
                                     const char *path);

#ifdef __cplusplus
}
#endif

#endif
