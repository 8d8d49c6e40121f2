/* The NTCP client: one connection to a camera with a receiver thread that reads
 * everything the camera sends, keeps the connection alive and routes each message
 * to a stream or to the queue of answers; commands that wait for their answer in
 * that queue; the one-shot broadcast; and the streams, long exchanges in which the
 * camera sends data messages after acknowledging a start command. */
#ifndef NOLMAK_TRANSPORT_NTCP_CLIENT_H
#define NOLMAK_TRANSPORT_NTCP_CLIENT_H

#include <stdint.h>

#include <atomic>
#include <mutex>

#include "runtime/cross_sys.h"
#include "runtime/fifo.h"
#include "runtime/ntcp_result.h"
#include "transport/cross_socket.h"
#include "transport/ntcp.h"
#include "transport/protocols.h"

#define NTCP_CLIENT_ADDRESS_SIZE 256       /* address texts: 255 characters and a terminator */
#define NTCP_CLIENT_MAX_STREAMS 20         /* stream slots of one client, for its whole life */
#define NTCP_CLIENT_ANSWER_QUEUE_SIZE 50   /* answers waiting; the oldest go first */
#define NTCP_CLIENT_MIN_RECEIVE_TIMEOUT_MS 2000 /* connect and receive time-out at least */
#define NTCP_CLIENT_MIN_KEEPALIVE_MS 1000  /* positive keep-alive periods below this are raised */
#define NTCP_CLIENT_START_WAIT_MS 500      /* how long open waits for the receiver thread */
#define NTCP_CLIENT_ANSWER_POLL_MS 10      /* longest wait between two looks at the answer queue */
#define NTCP_CLIENT_START_POLL_MS 20       /* longest wait between two looks at the running flag */
#define NTCP_CLIENT_BROADCAST_POLL_MS 20   /* pause between the polls of a broadcast */
#define NTCP_CLIENT_RECEIVER_WAIT_MS 50    /* longest receiver thread turn while nothing arrives */
#define NTCP_CLIENT_RECEIVER_SLEEP_MS 10   /* pause of each turn when the socket cannot be waited on */

/* One received message as the answer queue holds it. */
typedef struct CommandInfo_T {
    uint32_t size;        /* sizeof(CommandInfo_T): checked by _FreeCommandInfo */
    NTCPHeader_T header;
    uint8_t *payload;     /* owned; null when the message had none */
    int32_t payload_size;
} CommandInfo_T;

/* One stream slot; every field is guarded by the client's lock. */
typedef struct NTCPStream_T {
    int32_t in_use;        /* 1 from the start call on; 0 again only when a start fails */
    int32_t started;       /* 1 once the camera acknowledged the start command */
    int32_t ended;         /* 1 once the end code arrived */
    int32_t receiver;      /* receiver identifier of the stream's headers */
    int32_t start_command; /* code of the start request and of its acknowledgement */
    int32_t data_code;     /* code of the camera's data messages */
    int32_t end_code;      /* code of the camera's final message and of the stop request */
    Fifo_T *queue;         /* owned: data payloads, released with free, oldest dropped when full */
} NTCPStream_T;

/* The connection object. Fields read by another thread than the one writing them
 * are atomics or guarded by a lock. */
typedef struct NTCPClient_T {
    uint32_t size = 0;                       /* sizeof(NTCPClient_T): the handle check */
    char local_address[NTCP_CLIENT_ADDRESS_SIZE] = {};
    char remote_address[NTCP_CLIENT_ADDRESS_SIZE] = {};
    uint16_t remote_port = 0;
    int32_t answer_timeout = 0;              /* ms a command waits; how late a keep-alive answer may be */
    int32_t keepalive_period = 0;            /* ms; 0 or less: no keep-alives */
    int32_t send_only = 0;                   /* 1: no receiver thread, no commands that wait */
    int32_t udp = 0;                         /* 1: UDP socket, 0: TCP */
    ProtocolContext_T *context = nullptr;    /* owned; its receiver (the channel) changes under its lock */
    Fifo_T *answers = nullptr;               /* owned: CommandInfo_T records */
    std::mutex lock;                         /* guards streams and stream_count */
    NTCPStream_T streams[NTCP_CLIENT_MAX_STREAMS] = {};
    int32_t stream_count = 0;                /* streams started and not yet ended */
    CrossThread_T *thread = nullptr;         /* receiver thread; null for a send-only client */
    std::atomic<int32_t> running{0};         /* set by the receiver thread at every turn */
    std::atomic<int32_t> stopped{0};         /* set when the receiver thread ends */
    std::atomic<int32_t> keepalive_overdue{0}; /* 1 while a keep-alive answer is later than answer_timeout */
    std::atomic<uint32_t> keepalive_answers{0}; /* keep-alive answers seen by the receiver thread */
    CrossEvent_T *news = nullptr;            /* owned; signalled by the receiver thread when it first runs,
                                                queues an answer or takes a keep-alive answer */
} NTCPClient_T;

#ifdef __cplusplus
extern "C" {
#endif

/* ---- client ---- */

/* Connects to the camera and starts the receiver thread. Null on failure with the
 * result in *error (nothing happens without `error`): 2; the socket layer's result;
 * 3; 19 thread not created; 20 thread did not report running within 500 ms. */
NTCPClient_T *NTCP_client_open(const char *local_address, const char *remote_address, uint16_t remote_port,
                               int32_t answer_timeout, int32_t ntcp_id, int32_t udp, int32_t keepalive_period,
                               int32_t *error);

/* A TCP client without receiver thread: it only sends. */
NTCPClient_T *NTCP_client_open_send_only(const char *local_address, const char *remote_address,
                                         uint16_t remote_port, int32_t answer_timeout, int32_t ntcp_id,
                                         int32_t keepalive_period, int32_t *error);

NTCPClient_T *_ntcp_client_open(const char *local_address, const char *remote_address, uint16_t remote_port,
                                int32_t answer_timeout, int32_t ntcp_id, int32_t udp, int32_t keepalive_period,
                                int32_t send_only, int32_t *error);

/* Stops the receiver thread, releases everything and sets *client to null. 0; 2; 4. */
int32_t NTCP_client_close(NTCPClient_T **client);

/* 1 while the receiver thread runs and no keep-alive answer is overdue; a send-only
 * client always reads 1. 0; 2; 4. */
int32_t NTCP_client_is_connected(NTCPClient_T *client, int32_t *connected);

/* Sends one keep-alive now; with `wait` and an NTCP id above 0 waits for the camera's
 * answer. 0; 4; 7; 15; the send's result. */
int32_t NTCP_client_keep_alive(NTCPClient_T *client, int32_t wait);

/* Sets the receiver identifier of MIROVANT headers to 0 or 1. 0; 4; 5. */
int32_t NTCP_client_set_channel(NTCPClient_T *client, int32_t channel);

/* Sends one command and waits for its answer. With both `answer` and `answer_size`
 * the answer payload (null when none) goes to the caller, released with NTCP_free.
 * 0; 2; 4; 7 another command answered; 15 no answer; 250 refused, the camera's code
 * in *device_error; 999 send-only client; the send's result. */
int32_t NTCP_client_send_command(NTCPClient_T *client, int32_t command, const void *payload,
                                 int32_t payload_size, uint8_t **answer, int32_t *answer_size,
                                 int32_t *device_error);

/* Sends one command and returns at once. 0; 4; the send's result. */
int32_t NTCP_client_send_command_no_answer(NTCPClient_T *client, int32_t command, const void *payload,
                                           int32_t payload_size);

/* Broadcasts one command from `local_address` to 255.255.255.255 at `port` and
 * collects answers for `timeout_ms`. With `target_mac` ("00:50:C2:52:88:99") only the
 * camera with that MAC counts and its first answer ends the collection. Answers with
 * a payload go to `answers`/`sizes` (at most `max_answers`; the caller releases each
 * with NTCP_free). 0; 2; 3; 5 wrong MAC text; 250 with *device_error; the socket
 * layer's or the last poll's result. */
int32_t NTCP_client_send_command_broadcast(const char *local_address, uint16_t port, const char *target_mac,
                                           int32_t timeout_ms, int32_t ntcp_id, int32_t command,
                                           const void *payload, int32_t payload_size, uint8_t **answers,
                                           int32_t *sizes, int32_t *count, int32_t max_answers,
                                           int32_t *device_error);

/* Reads a MAC text of six hexadecimal groups joined by ":" into the wire order of the
 * header's MAC field (the last group first); each group is cut to 8 bits and text
 * after the sixth group is not looked at. 0; 2 null argument; 5 wrong format.
 * Prints nothing. */
int32_t NTCP_client_parse_mac(const char *text, uint8_t mac[NTCP_MAC_ADDRESS_SIZE]);

/* Release routine of the answer queue: frees the record at *info and its payload and
 * sets *info to null. A record of another size is left alone. */
void _FreeCommandInfo(void **info);

/* ---- streams ---- */

/* Starts a stream: sends `start_command` (with the payload when its size is above 0;
 * `progress` gets the TCP progress) and waits for its acknowledgement. A negative
 * `receiver` means the client's channel. 0 and the slot in *stream_id; 2; 3; 4;
 * 5 queue size not above 0; 7; 15; 52 20 streams running; 250 with *device_error;
 * 999 send-only client; the send's result. */
int32_t NTCP_client_stream_start_using_callback(NTCPClient_T *client, int32_t start_command, const void *payload,
                                                int32_t payload_size, int32_t end_code, int32_t data_code,
                                                int32_t receiver, int32_t queue_size, int32_t *stream_id,
                                                int32_t *device_error, CrossSocketProgress_T progress);

int32_t NTCP_client_stream_start(NTCPClient_T *client, int32_t start_command, const void *payload,
                                 int32_t payload_size, int32_t end_code, int32_t data_code, int32_t receiver,
                                 int32_t queue_size, int32_t *stream_id, int32_t *device_error);

/* Asks the camera to stop the stream (sends its end code). 0; 4; 5; 51; the send's result. */
int32_t NTCP_client_stream_stop(NTCPClient_T *client, int32_t stream_id);

/* Takes the oldest waiting data message (the caller releases it with NTCP_free).
 * 0; 2; 4; 5; 51 not in use, or ended and drained (for ever); 53 nothing yet. */
int32_t NTCP_client_stream_get(NTCPClient_T *client, int32_t stream_id, uint8_t **payload, int32_t *payload_size);

/* As NTCP_client_stream_get, but takes the newest and releases the older ones. */
int32_t NTCP_client_stream_get_newest(NTCPClient_T *client, int32_t stream_id, uint8_t **payload,
                                      int32_t *payload_size);

#ifdef __cplusplus
}
#endif

#endif
