/* MIROVANT command header: six 32-bit little-endian words, the first always 24. */
#ifndef NOLMAK_TRANSPORT_MIROVANT_H
#define NOLMAK_TRANSPORT_MIROVANT_H

#include <stdint.h>

#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

#define MV_HEADER_SIZE 24       /* also the first word, which marks a MIROVANT header on receipt */
#define MV_CMD_KEEPALIVE 0x623E /* MIROVANT keep-alive */

/* Flags of an NTCPHeader_T filled from a MIROVANT header: command, error, sender,
 * receiver and payload size. */
#define MV_HEADER_FLAGS 0x9Eu

/* Writes the 24-byte header and stores its length 24. 0; 2 null buffer or length
 * pointer; 10 `buffer_size` below 24. */
int32_t MV_SetCommandHeader(uint8_t *buffer, int32_t *header_length, int32_t buffer_size,
                            int32_t command, int32_t sender, int32_t receiver, int32_t error,
                            int32_t payload_size);

/* Reads the five values of the header at `buffer` (`buffer_size` readable bytes).
 * 0; 2 null pointer; 10 `buffer_size` below 24; 9 first word not 24. */
int32_t MV_GetCommandHeader(const uint8_t *buffer, int32_t buffer_size, int32_t *command,
                            int32_t *sender, int32_t *receiver, int32_t *error,
                            int32_t *payload_size);

#ifdef __cplusplus
}
#endif

#endif
