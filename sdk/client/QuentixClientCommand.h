/* Camera commands over a handle: device information, reboot, network interface,
 * asynchronous execution, factory parameters and factory codes. Each gives 0, or 250
 * with the camera's own code in *device_error when the camera refused, or the
 * result of the step that failed. */
#ifndef NOLMAK_CLIENT_QUENTIX_CLIENT_COMMAND_H
#define NOLMAK_CLIENT_QUENTIX_CLIENT_COMMAND_H

#include <stdint.h>

#include "client/QuentixClientInternal.h"
#include "client/factory_param.h"
#include "nolmak/nolmak_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QUENTIX_PAYLOAD_START_SIZE 64 /* room of a command payload before it grows */

/* The camera's description and full information. 0; 2; 4; 8 no code 12025 or a
 * required description field missing; 250; the decoders' and NTCP results. */
int32_t QuentixClient_GetDeviceInfo(QuentixClient_T *handle, DiscoveryDev_T *device, DeviceInfo_T *info,
                                    int32_t *device_error);

/* Reboot; both options 0 or 1. 0; 3; 4; 250; the NTCP results. */
int32_t QuentixClient_Reboot(QuentixClient_T *handle, int32_t safeboot, int32_t reboot_option, int32_t *device_error);

/* Applies the interface's settings (its MAC text is never sent). 0; 1 WiFi channel
 * outside 1 to 14; 2; 3; 4; 250; the field writer's and NTCP results. */
int32_t QuentixClient_SetInterface(QuentixClient_T *handle, const DeviceInterface_T *interface_settings,
                                   int32_t *device_error);

/* Has the camera run a command text of at most 55 characters. 0; 3; 4; 10 longer text; 250. */
int32_t QuentixClient_ExecuteAsync(QuentixClient_T *handle, const char *command, int32_t *device_error);

int32_t QuentixClient_GetFactoryParameter(QuentixClient_T *handle, FactoryParam_T *param, int32_t *device_error);
int32_t QuentixClient_SetFactoryParameter(QuentixClient_T *handle, const FactoryParam_T *param,
                                          int32_t *device_error);

/* The factory codes text into `destination` of `destination_size` bytes. 8 the answer
 * holds none (destination emptied); 10 the text does not fit. */
int32_t QuentixClient_GetFactoryCodes(QuentixClient_T *handle, char *destination, int32_t destination_size,
                                      int32_t *device_error);
int32_t QuentixClient_SetFactoryCodes(QuentixClient_T *handle, const char *codes, int32_t *device_error);

#ifdef __cplusplus
}
#endif

#endif
