/* Socket layer: one handle type for UDP unicast, UDP broadcast and TCP endpoints
 * over the platform's IPv4 sockets. Every function but crossSocket_WaitReadable holds
 * the handle's lock for its whole duration; each prints every failure once at ERROR. */
#ifndef NOLMAK_TRANSPORT_CROSS_SOCKET_H
#define NOLMAK_TRANSPORT_CROSS_SOCKET_H

#include <stdint.h>

#include "runtime/ntcp_result.h"

struct sockaddr_in;

#ifdef __cplusplus
extern "C" {
#endif

/* Protocol numbers: argument of crossSocket_OpenSocket, value of crossSocket_GetSocketProtocol. */
#define CROSS_SOCKET_UDP 1           /* datagrams to the remote address and port */
#define CROSS_SOCKET_UDP_BROADCAST 2 /* datagrams to 255.255.255.255 at the remote port */
#define CROSS_SOCKET_TCP 3           /* stream to the connected peer */

/* Option bits of crossSocket_OpenSocket. */
#define CROSS_SOCKET_OPTION_REUSE_ADDRESS 0x01u /* honoured for TCP only */

#define CROSS_SOCKET_MAGIC 0xA1B2C3D4u
#define CROSS_SOCKET_ADDRESS_SIZE 256 /* address texts: 255 characters and a terminator */
#define CROSS_SOCKET_READ_SIZE 1472   /* one datagram; the room crossSocket_ReadFromSocket needs */
#define CROSS_SOCKET_MAX_DATALINKS 21

/* A connect time-out of 0 stands for this many microseconds. */
#define CROSS_SOCKET_DEFAULT_CONNECT_TIMEOUT_US 1000000u

typedef struct CrossSocket_T CrossSocket_T;

/* The chunks that one crossSocket_WriteDatalinkToSocket call sends, in order. The
 * list points into the caller's memory; nothing is copied or owned. */
typedef struct DatalinkList_T {
    int32_t count;                                  /* chunks in use, 0 to 21 */
    int32_t total;                                  /* reported to the progress callback */
    int32_t lengths[CROSS_SOCKET_MAX_DATALINKS];    /* byte length of chunk i */
    const void *data[CROSS_SOCKET_MAX_DATALINKS];   /* start of chunk i */
} DatalinkList_T;

/* Called after each chunk with the bytes sent so far in this call and the list's total. */
typedef void (*CrossSocketProgress_T)(int32_t sent, int32_t total);

/* Starts the platform socket library; nothing to start on POSIX. 0, or 11. */
int32_t crossSocket_InitWinSock(void);

/* Creates a socket of `protocol` bound to `local_address` (dotted IPv4 text) and
 * `local_port` (0: any). `rx_kib`/`tx_kib` above 0 set the buffers to n KiB.
 * 0; 2 null `out`; 3; 5 bad protocol; 11; 12 socket or option; 13 bind; 18 address text. */
int32_t crossSocket_OpenSocket(const char *local_address, uint16_t local_port, uint32_t protocol,
                               uint32_t options, CrossSocket_T **out, int32_t rx_kib,
                               int32_t tx_kib);

/* Sets the remote end; TCP also connects, waiting up to `timeout_us` (0: one second).
 * 0; 2 connection refused; 4; 12; 15 time-out; 18 address text. */
int32_t crossSocket_ConnectSocket(CrossSocket_T *socket, const char *remote_address,
                                  uint16_t remote_port, uint32_t timeout_us);

/* Puts a TCP socket into the listening state (backlog 0). 0; 4; 14. */
int32_t crossSocket_ListenSocketTCP(CrossSocket_T *socket);

/* Takes one pending connection without waiting into a new handle; `peer` (optional)
 * receives the peer's address. 0; 2; 3; 4; 12; 14; 21 nothing pending. */
int32_t crossSocket_AcceptSocketTCP(CrossSocket_T *socket, CrossSocket_T **out,
                                    struct sockaddr_in *peer);

/* Waits up to `timeout_ms` and reads at most 1472 bytes (one datagram, or what the
 * stream has ready) into `buffer`, which holds at least CROSS_SOCKET_READ_SIZE bytes.
 * Nothing in time: 0 with length 0. Else 0; 2; 4; 12; 14; 16 peer closed or reset. */
int32_t crossSocket_ReadFromSocket(CrossSocket_T *socket, uint32_t timeout_ms, uint8_t *buffer,
                                   int32_t *length, struct sockaddr_in *sender);

/* Waits up to `timeout_ms` until the socket has something to read: data, a datagram,
 * or the peer's close or an error, which the next read reports. Unlike the other
 * functions it does not hold the handle's lock while it waits, so another thread may
 * send meanwhile; closing the handle during the wait is the caller's fault.
 * 0 readable; 15 nothing in time, or woken by crossSocket_WakeWaiter; 4; 12. */
int32_t crossSocket_WaitReadable(CrossSocket_T *socket, uint32_t timeout_ms);

/* Ends the crossSocket_WaitReadable running on the handle, or else the next one,
 * which then gives 15 at once. One wake ends one wait. 0; 4. */
int32_t crossSocket_WakeWaiter(CrossSocket_T *socket);

/* Reads exactly `wanted` bytes from a TCP socket, waiting up to `timeout_ms` for each
 * piece. 0; 2; 4; 14; 15 time-out (received length 0 even after a part); 16 closed,
 * reset or no longer valid; 999 not TCP. */
int32_t crossSocket_ReadFromSocketLenght(CrossSocket_T *socket, uint32_t timeout_ms,
                                         uint8_t *buffer, int32_t wanted, int32_t *received);

/* Sends one buffer. 0; 1 bad handle; 2; 14; 15 partial send; 16 reset. */
int32_t crossSocket_WriteToSocket(CrossSocket_T *socket, const void *data, int32_t length);

/* Sends the list's chunks in order, one send or datagram each, calling `progress`
 * (optional) after each. 0; 2; 4; 5 bad list; 14; 15 partial send; 16 reset. */
int32_t crossSocket_WriteDatalinkToSocket(CrossSocket_T *socket, const DatalinkList_T *list,
                                          CrossSocketProgress_T progress);

/* Closes the socket, invalidates and frees the handle, sets `*socket` to null. 0; 4. */
int32_t crossSocket_CloseSocket(CrossSocket_T **socket);

/* 1, 2 or 3; -1 for a bad handle. */
int32_t crossSocket_GetSocketProtocol(CrossSocket_T *socket);

#ifdef __cplusplus
}
#endif

#endif
