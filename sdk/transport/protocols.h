/* Whole NTCP messages over one socket: a command header and an optional payload go
 * to TCP as a list of datalinks straight from the caller's memory, and to UDP as TBP
 * packets of at most 1472 bytes; the exchanges send a request and take its answer
 * under the connection's lock. */
#ifndef NOLMAK_TRANSPORT_PROTOCOLS_H
#define NOLMAK_TRANSPORT_PROTOCOLS_H

#include <stdint.h>

#include <mutex>

#include "runtime/ntcp_result.h"
#include "transport/cross_socket.h"
#include "transport/ntcp.h"

/* ---- TBP packets (UDP) ---- */

#define TBP_HEADER_SIZE 16
#define TBP_MAX_PACKET_SIZE 1472 /* the largest datagram, TBP header included */
#define TBP_MAX_PACKET_DATA (TBP_MAX_PACKET_SIZE - TBP_HEADER_SIZE)

/* ---- TCP datalinks ---- */

#define PROTOCOL_CHUNK_SIZE 524288           /* payload chunk below PROTOCOL_LARGE_PAYLOAD */
#define PROTOCOL_LARGE_PAYLOAD 10485760      /* from here on the payload is cut into ... */
#define PROTOCOL_LARGE_PAYLOAD_CHUNKS 20     /* ... exactly this many chunks */

/* First read of a poll (wait flag 0), in milliseconds. */
#define PROTOCOL_POLL_TIMEOUT_MS 20

/* Per-connection state taken first by every function below. Created by the NTCP
 * client for each connection and each broadcast (with new: it holds a C++ lock). */
typedef struct ProtocolContext_T {
    CrossSocket_T *socket = nullptr; /* owned by the creator */
    int32_t sender = -1;             /* sender identifier of MIROVANT headers; -1 none */
    int32_t receiver = -1;           /* receiver identifier (channel); -1 until set */
    int32_t receive_timeout = 0;     /* ms a read waits once a message is expected */
    std::mutex lock;                 /* held by whoever sends or receives on the connection */
    int32_t ntcp_id = 0;             /* above 0: NTCP headers with this id; else MIROVANT headers */
} ProtocolContext_T;

#ifdef __cplusplus
extern "C" {
#endif

/* Sends one message. With a payload of non-zero size the record gets the
 * payload-size flag and size first. `progress` runs on TCP only. The caller holds
 * the context's lock. 0 or a result code (4 for a socket handle that is not valid). */
int32_t Protocol_send_ext(ProtocolContext_T *context, NTCPHeader_T *header, const void *payload,
                          int32_t payload_size, CrossSocketProgress_T progress);

/* Receives one message into `header` and, when it has a payload, a zero-filled
 * buffer rounded up to 4 bytes that the caller releases with free (`NTCP_free`).
 * `wait` 0 polls: the first read waits 20 ms instead of the receive time-out. The
 * caller holds the context's lock. 0; 15 nothing arrived; or a result code. */
int32_t Protocol_recv_ext(ProtocolContext_T *context, NTCPHeader_T *header, uint8_t **payload,
                          int32_t *payload_size, int32_t wait);

/* Decodes one TBP packet (`packet` holds TBP_MAX_PACKET_SIZE readable bytes, of which
 * the packet's length word counts) into the message being assembled: packet 0
 * fills `header` and allocates `*payload`; every packet appends its data, counted in
 * `*filled`, up to `*capacity`. On failure the caller releases `*payload`. 0; 2; 3;
 * 4 no valid header; 10 data past the payload; 17 corrupt or out of sequence. */
int32_t DecodeTBPPackets(const uint8_t *packet, int32_t expected_index, int32_t *packet_count,
                         NTCPHeader_T *header, uint8_t **payload, int32_t *capacity, int32_t *filled);

/* ---- exchanges: lock, send, optionally take the answer, check it belongs ----
 * Each gives 0; 250 when the answer carries a non-zero error (then in
 * header->error); 7 another command answered; 4 answer without a command; or the
 * send's or receive's result. A waited-for answer's header is copied over `header`. */

int32_t Protocol_send_command(ProtocolContext_T *context, NTCPHeader_T *header, int32_t wait);

int32_t Protocol_send_buffer(ProtocolContext_T *context, NTCPHeader_T *header, const void *payload,
                             int32_t payload_size, int32_t wait);

int32_t Protocol_send_buffer_using_callback(ProtocolContext_T *context, NTCPHeader_T *header,
                                            const void *payload, int32_t payload_size, int32_t wait,
                                            CrossSocketProgress_T progress);

/* Sends the header alone and always waits; the answer payload goes to the caller. */
int32_t Protocol_receive_buffer(ProtocolContext_T *context, NTCPHeader_T *header, uint8_t **answer,
                                int32_t *answer_size);

/* Sends header and payload and always waits; the answer payload goes to the caller. */
int32_t Protocol_send_receive_buffer(ProtocolContext_T *context, NTCPHeader_T *header,
                                     const void *payload, int32_t payload_size, uint8_t **answer,
                                     int32_t *answer_size);

#ifdef __cplusplus
}
#endif

#endif
