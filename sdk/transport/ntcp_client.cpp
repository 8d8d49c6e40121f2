#include "transport/ntcp_client.h"

#include <stdlib.h>
#include <string.h>

#include <new>

#include "transport/mirovant.h"

namespace {

constexpr int32_t kNoError = 0;

NTCPClient_T *checked(NTCPClient_T *client)
{
    return client != nullptr && client->size == sizeof(NTCPClient_T) ? client : nullptr;
}

// The client when it is one; else prints the refusal of the function `name`.
NTCPClient_T *check_handle(NTCPClient_T *client, const char *name)
{
    if (checked(client) == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: _CheckHandle failed", name);
        return nullptr;
    }
    return client;
}

void copy_text(char *destination, const char *source)
{
    strncpy(destination, source, NTCP_CLIENT_ADDRESS_SIZE - 1);
    destination[NTCP_CLIENT_ADDRESS_SIZE - 1] = '\0';
}

// Release routine of the stream queues: the payloads come from the framing's
// allocations, the same release as NTCP_free of the device client above us.
void free_payload(void **payload)
{
    if (payload == nullptr)
        return;
    free(*payload);
    *payload = nullptr;
}

int32_t receiver_of(ProtocolContext_T *context)
{
    std::lock_guard<std::mutex> guard(context->lock);
    return context->receiver;
}

// The request header of every message the client sends: an NTCP header with the
// connection's NTCP id, or a MIROVANT header, which needs sender, receiver and error.
NTCPHeader_T request_header(const ProtocolContext_T *context, int32_t command, int32_t receiver, uint32_t extra_flags)
{
    NTCPHeader_T header{};
    header.command = command;
    header.receiver = receiver;
    header.flags = NTCP_FLAG_COMMAND | extra_flags;
    if (context->ntcp_id > 0) {
        header.flags |= NTCP_FLAG_NTCP_ID;
        header.ntcp_id = context->ntcp_id;
    } else {
        header.flags |= NTCP_FLAG_ERROR | NTCP_FLAG_SENDER | NTCP_FLAG_RECEIVER;
        header.sender = context->sender;
        header.error = kNoError;
    }
    return header;
}

NTCPHeader_T command_header(ProtocolContext_T *context, int32_t command)
{
    return request_header(context, command, receiver_of(context), 0);
}

NTCPHeader_T keepalive_header(ProtocolContext_T *context)
{
    if (context->ntcp_id > 0) {
        NTCPHeader_T header{};
        header.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND;
        header.ntcp_id = NTCP_IDENT_KEEPALIVE;
        header.command = NTCP_CMD_KEEPALIVE;
        return header;
    }
    return command_header(context, MV_CMD_KEEPALIVE);
}

int32_t send_keepalive(NTCPClient_T *client)
{
    NTCPHeader_T header = keepalive_header(client->context);
    const int32_t rc = Protocol_send_command(client->context, &header, 0);
    if (rc != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_keep_alive: Protocol_send_command failed");
    return rc;
}

// Sends a request without waiting: header and payload when `with_payload`, else
// the header alone. Stream starts send their payload in the form that reports
// progress. `name` begins the failure text.
int32_t send_request(NTCPClient_T *client, NTCPHeader_T *header, const void *payload, int32_t payload_size,
                     bool with_payload, bool with_progress, CrossSocketProgress_T progress, const char *name)
{
    int32_t rc;
    if (with_payload) {
        rc = with_progress ? Protocol_send_buffer_using_callback(client->context, header, payload, payload_size, 0,
                                                                 progress)
                           : Protocol_send_buffer(client->context, header, payload, payload_size, 0);
        if (rc != NTCP_OK)
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Protocol_send_buffer failed (%lu)", name,
                        static_cast<unsigned long>(rc));
    } else {
        rc = Protocol_send_command(client->context, header, 0);
        if (rc != NTCP_OK)
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Protocol_send_command failed (%lu)", name,
                        static_cast<unsigned long>(rc));
    }
    return rc;
}

int32_t send_command_request(NTCPClient_T *client, NTCPHeader_T *header, const void *payload, int32_t payload_size,
                             const char *name)
{
    return send_request(client, header, payload, payload_size, payload != nullptr, false, nullptr, name);
}

CommandInfo_T *new_command_info()
{
    CommandInfo_T *info = static_cast<CommandInfo_T *>(calloc(1, sizeof(CommandInfo_T)));
    if (info != nullptr)
        info->size = sizeof(CommandInfo_T);
    return info;
}

void free_command_info(CommandInfo_T *info)
{
    void *p = info;
    _FreeCommandInfo(&p);
}

// Waits until the receiver thread has news or `ms` have passed. The news event is
// auto-reset and may be stale, so every caller looks at its own condition again.
void wait_news(NTCPClient_T *client, uint32_t ms)
{
    crossEvent_Wait(client->news, ms);
}

// Takes the first answer from the answer queue: at once, then as soon as the
// receiver thread queues one (at the latest every 10 ms) until the answer time-out
// has passed. Null when none came.
CommandInfo_T *wait_answer(NTCPClient_T *client)
{
    CrossTimer_T start = 0;
    crossTimer_reset(&start);
    for (;;) {
        void *entry = fifo_pop(client->answers, nullptr);
        if (entry != nullptr)
            return static_cast<CommandInfo_T *>(entry);
        if (crossTimer_get_ms(start) > client->answer_timeout)
            return nullptr;
        wait_news(client, NTCP_CLIENT_ANSWER_POLL_MS);
    }
}

// The handle of a call that waits for answers: 4 when it is none, 999 when the
// client has no receiver thread to bring answers.
int32_t check_answering(NTCPClient_T *client, const char *name)
{
    if (check_handle(client, name) == nullptr)
        return NTCP_ERR_HANDLE;
    if (client->send_only != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: client can only send messages without answer", name);
        return NTCP_ERR_UNSUPPORTED;
    }
    return NTCP_OK;
}

bool refused_by_device(const NTCPHeader_T &header)
{
    return (header.flags & NTCP_FLAG_ERROR) != 0 && header.error != kNoError;
}

// ---- receiver thread ----

// A data message of a stream goes to its queue, its end message ends it. Data may
// come right behind the acknowledgement, before the starter has marked the slot
// started, so a slot takes data as soon as it is in use.
bool route_to_stream(NTCPClient_T *client, CommandInfo_T *info)
{
    std::lock_guard<std::mutex> guard(client->lock);
    for (NTCPStream_T &slot : client->streams) {
        if (slot.in_use == 0 || slot.ended != 0)
            continue;
        if (info->header.command == slot.data_code) {
            const int32_t rc = fifo_push(slot.queue, info->payload, info->payload_size);
            if (rc != 0) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "Client receiver thread: fifo_push stream failed error %d, ", rc);
                free(info->payload);
            }
            info->payload = nullptr;
            return true;
        }
        if (info->header.command == slot.end_code) {
            free(info->payload);
            info->payload = nullptr;
            slot.ended = 1;
            // Only acknowledged streams are counted.
            if (slot.started != 0 && client->stream_count > 0)
                --client->stream_count;
            return true;
        }
    }
    return false;
}

uint32_t end_receiver(NTCPClient_T *client, CommandInfo_T *info)
{
    client->stopped.store(1);
    ntcp_printf(NTCP_SEVERITY_DEBUG, "Killing client receiver thread");
    free_command_info(info);
    return 0;
}

uint32_t clientReceiverThread(void *arg)
{
    CrossThread_T *self = static_cast<CrossThread_T *>(arg);
    void *parameter = nullptr;
    crossThread_GetParameterPtr(self, &parameter);
    NTCPClient_T *client = checked(static_cast<NTCPClient_T *>(parameter));
    if (client == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Client receiver thread: NULL pointer... thread is going to be killed");
        return 1;
    }

    CrossTimer_T keepalive_timer = 0;
    crossTimer_reset(&keepalive_timer);
    CommandInfo_T *info = new_command_info();
    if (info == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Client receiver thread: calloc failed");
        return 1;
    }
    ntcp_printf(NTCP_SEVERITY_DEBUG, "Starting client receiver thread");
    bool awaiting_keepalive = false;
    CrossTimer_T keepalive_sent = 0;
    ProtocolContext_T *context = client->context;
    bool can_wait = true;

    for (;;) {
        if (client->running.exchange(1) == 0)
            crossEvent_Signal(client->news);
        // The turn waits for the socket without the connection's lock, so senders
        // never queue behind the receiver; close wakes the wait. A socket that cannot
        // be waited on is polled under the lock, with a pause that lets senders in.
        int32_t ready = NTCP_OK;
        if (can_wait) {
            ready = crossSocket_WaitReadable(context->socket, NTCP_CLIENT_RECEIVER_WAIT_MS);
            if (ready != NTCP_OK && ready != NTCP_ERR_TIMEOUT) {
                can_wait = false;
                ready = NTCP_OK;
            }
        } else {
            crossSleep(NTCP_CLIENT_RECEIVER_SLEEP_MS);
        }
        int32_t cancel = 0;
        crossThread_GetCancel(self, &cancel);
        if (cancel == 1) {
            ntcp_printf(NTCP_SEVERITY_DEBUG, "Client receiver thread aborted");
            return end_receiver(client, info);
        }

        if (client->keepalive_period > 0) {
            if (awaiting_keepalive && crossTimer_get_ms(keepalive_sent) > client->answer_timeout)
                client->keepalive_overdue.store(1);
            // While an answer is overdue keep asking, so that a camera that let one
            // keep-alive pass shows itself alive again with its next answer.
            const bool may_send = !awaiting_keepalive || client->keepalive_overdue.load() != 0;
            if (may_send && crossTimer_get_ms(keepalive_timer) > client->keepalive_period) {
                send_keepalive(client);
                crossTimer_reset(&keepalive_timer);
                if (context->ntcp_id > 0) {
                    awaiting_keepalive = true;
                    keepalive_sent = keepalive_timer;
                }
            }
        }

        if (ready == NTCP_ERR_TIMEOUT)
            continue;
        info->header = NTCPHeader_T{};
        info->payload = nullptr;
        info->payload_size = 0;
        int32_t rc;
        {
            std::lock_guard<std::mutex> guard(context->lock);
            rc = Protocol_recv_ext(context, &info->header, &info->payload, &info->payload_size, 0);
        }
        if (rc == NTCP_ERR_TIMEOUT)
            continue;
        if (rc != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Client receiver thread: fn_recv failed error %d", rc);
            return end_receiver(client, info);
        }

        if (context->ntcp_id > 0 && info->header.command == NTCP_CMD_KEEPALIVE) {
            free(info->payload);
            info->payload = nullptr;
            client->keepalive_overdue.store(0);
            client->keepalive_answers.fetch_add(1);
            crossEvent_Signal(client->news);
            awaiting_keepalive = false;
            continue;
        }

        if (route_to_stream(client, info))
            continue;

        rc = fifo_push(client->answers, info, sizeof(CommandInfo_T));
        if (rc != 0) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Client receiver thread: fifo_push stream failed error %d, ", rc);
            free(info->payload);
            info->payload = nullptr;
            continue;
        }
        crossEvent_Signal(client->news);
        info = new_command_info();
        if (info == nullptr) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Client receiver thread: calloc failed");
            return end_receiver(client, nullptr);
        }
    }
}

// Everything an open made, in reverse order; the receiver thread must be gone.
void release_client(NTCPClient_T *client)
{
    fifo_destroy(&client->answers);
    for (NTCPStream_T &slot : client->streams)
        fifo_destroy(&slot.queue);
    if (client->context != nullptr)
        crossSocket_CloseSocket(&client->context->socket);
    delete client->context;
    if (client->news != nullptr)
        crossEvent_Destroy(&client->news);
    client->size = 0;
    delete client;
}

void stop_receiver(NTCPClient_T *client)
{
    if (client->thread == nullptr)
        return;
    crossThread_Cancel(client->thread);
    // The thread may be waiting on the socket: it sees the cancel at once.
    crossSocket_WakeWaiter(client->context->socket);
    crossThread_Join(client->thread);
    crossThread_Destroy(&client->thread);
}

int32_t keepalive_period_of(int32_t period)
{
    if (period > 0 && period < NTCP_CLIENT_MIN_KEEPALIVE_MS)
        return NTCP_CLIENT_MIN_KEEPALIVE_MS;
    return period;
}

// ---- streams ----

int32_t check_stream_id(int32_t id, const char *name)
{
    if (id < 0 || id >= NTCP_CLIENT_MAX_STREAMS) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Invalid stream ID (%d)", name, id);
        return NTCP_ERR_RANGE;
    }
    return NTCP_OK;
}

void give_slot_back(NTCPClient_T *client, int32_t id)
{
    std::lock_guard<std::mutex> guard(client->lock);
    fifo_destroy(&client->streams[id].queue);
    client->streams[id].in_use = 0;
}

// Takes a free slot for a new stream under the client's lock. NTCP_OK and the slot
// in *id, or the refusal.
int32_t take_slot(NTCPClient_T *client, const char *name, int32_t start_command, int32_t end_code,
                  int32_t data_code, int32_t receiver, int32_t queue_size, int32_t *id)
{
    std::lock_guard<std::mutex> guard(client->lock);
    if (client->stream_count >= NTCP_CLIENT_MAX_STREAMS) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Max stream counter reached", name);
        return NTCP_ERR_STREAM_LIMIT;
    }
    for (int32_t i = 0; i < NTCP_CLIENT_MAX_STREAMS; ++i) {
        NTCPStream_T &slot = client->streams[i];
        if (slot.in_use != 0)
            continue;
        Fifo_T *queue = fifo_create(queue_size, free_payload);
        if (queue == nullptr) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: calloc failed", name);
            return NTCP_ERR_ALLOC;
        }
        fifo_set_option(queue, FIFO_OPT_DROP_OLDEST, 1);
        slot = NTCPStream_T{};
        slot.in_use = 1;
        slot.receiver = receiver;
        slot.start_command = start_command;
        slot.data_code = data_code;
        slot.end_code = end_code;
        slot.queue = queue;
        *id = i;
        return NTCP_OK;
    }
    ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Streamer info corrupted", name);
    return NTCP_ERR_HANDLE;
}

int32_t stream_start(const char *name, NTCPClient_T *client, int32_t start_command, const void *payload,
                     int32_t payload_size, int32_t end_code, int32_t data_code, int32_t receiver, int32_t queue_size,
                     int32_t *stream_id, int32_t *device_error, CrossSocketProgress_T progress)
{
    if (stream_id == nullptr || device_error == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameters", name);
        return NTCP_ERR_NULL_PARAMETER;
    }
    *device_error = kNoError;
    int32_t rc = check_answering(client, name);
    if (rc != NTCP_OK)
        return rc;
    // A queue needs room for at least one message.
    if (queue_size <= 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Invalid queue size (%d)", name, queue_size);
        return NTCP_ERR_RANGE;
    }
    if (receiver < 0)
        receiver = receiver_of(client->context);

    int32_t id = -1;
    rc = take_slot(client, name, start_command, end_code, data_code, receiver, queue_size, &id);
    if (rc != NTCP_OK)
        return rc;

    NTCPHeader_T header = request_header(client->context, start_command, receiver, NTCP_FLAG_RECEIVER);
    rc = send_request(client, &header, payload, payload_size, payload_size > 0, true, progress, name);
    if (rc != NTCP_OK) {
        give_slot_back(client, id);
        return rc;
    }

    CommandInfo_T *answer = wait_answer(client);
    if (answer == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Protocol_send_command failed", name);
        give_slot_back(client, id);
        return NTCP_ERR_TIMEOUT;
    }
    rc = NTCP_OK;
    if (answer->header.command != start_command) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Wrong command received %d instead of %d", name,
                    answer->header.command, start_command);
        rc = NTCP_ERR_WRONG_COMMAND;
    } else if (refused_by_device(answer->header)) {
        *device_error = answer->header.error;
        rc = NTCP_ERR_DEVICE;
    }
    free_command_info(answer);
    if (rc != NTCP_OK) {
        give_slot_back(client, id);
        return rc;
    }

    std::lock_guard<std::mutex> guard(client->lock);
    NTCPStream_T &slot = client->streams[id];
    slot.started = 1;
    // An end message may already have come behind the acknowledgement.
    if (slot.ended == 0)
        ++client->stream_count;
    *stream_id = id;
    return NTCP_OK;
}

int32_t stream_get(NTCPClient_T *client, int32_t stream_id, uint8_t **payload, int32_t *payload_size, bool newest)
{
    static const char name[] = "_ntcp_client_stream_get";
    if (payload == nullptr || payload_size == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameters", name);
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (check_stream_id(stream_id, name) != NTCP_OK)
        return NTCP_ERR_RANGE;
    client = check_handle(client, name);
    if (client == nullptr)
        return NTCP_ERR_HANDLE;

    std::lock_guard<std::mutex> guard(client->lock);
    NTCPStream_T &slot = client->streams[stream_id];
    if (slot.in_use == 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Stream not used", name);
        return NTCP_ERR_STREAM_ENDED;
    }
    // Read before the queue: the receiver sets it only after its last push, so an empty
    // queue behind it means nothing more can ever come for this stream.
    const bool receiver_gone = client->stopped.load() != 0;
    // Counted first: a data message without payload is a null entry, not an empty queue.
    if (slot.queue != nullptr && fifo_get_count(slot.queue) > 0) {
        int32_t size = 0;
        void *entry = newest ? fifo_pop_newest(slot.queue, &size) : fifo_pop(slot.queue, &size);
        *payload = static_cast<uint8_t *>(entry);
        *payload_size = size;
        return NTCP_OK;
    }
    if (slot.ended == 0 && receiver_gone) {
        // The camera went away without its end message: waiting on would never end.
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: connection lost before the stream ended", name);
        return NTCP_ERR_CLOSED;
    }
    if (slot.ended == 0)
        return NTCP_ERR_STREAM_EMPTY;
    fifo_destroy(&slot.queue);
    return NTCP_ERR_STREAM_ENDED;
}

} // namespace

// ---- client ----

extern "C" void _FreeCommandInfo(void **info)
{
    if (info == nullptr || *info == nullptr)
        return;
    CommandInfo_T *record = static_cast<CommandInfo_T *>(*info);
    if (record->size != sizeof(CommandInfo_T)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "_FreeCommandInfo: Wrong struct size");
        return;
    }
    free(record->payload);
    record->size = 0;
    free(record);
    *info = nullptr;
}

extern "C" NTCPClient_T *_ntcp_client_open(const char *local_address, const char *remote_address,
                                           uint16_t remote_port, int32_t answer_timeout, int32_t ntcp_id, int32_t udp,
                                           int32_t keepalive_period, int32_t send_only, int32_t *error)
{
    if (error == nullptr)
        return nullptr;
    *error = NTCP_OK;
    if (local_address == nullptr || remote_address == nullptr) {
        *error = NTCP_ERR_NULL_PARAMETER;
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_open: NULL parameters");
        return nullptr;
    }

    CrossSocket_T *socket = nullptr;
    *error = crossSocket_OpenSocket(local_address, 0, udp != 0 ? CROSS_SOCKET_UDP : CROSS_SOCKET_TCP, 0, &socket, 0, 0);
    if (*error != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_open: crossSocket_OpenSocket failed");
        return nullptr;
    }

    const int32_t receive_timeout =
        answer_timeout > NTCP_CLIENT_MIN_RECEIVE_TIMEOUT_MS ? answer_timeout : NTCP_CLIENT_MIN_RECEIVE_TIMEOUT_MS;
    // The socket layer takes microseconds in 32 bits.
    const uint32_t connect_us = receive_timeout > static_cast<int32_t>(UINT32_MAX / 1000u)
                                    ? UINT32_MAX
                                    : static_cast<uint32_t>(receive_timeout) * 1000u;
    *error = crossSocket_ConnectSocket(socket, remote_address, remote_port, connect_us);
    if (*error != NTCP_OK) {
        crossSocket_CloseSocket(&socket);
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_open: ConnectSocketTCP failed");
        return nullptr;
    }

    NTCPClient_T *client = new (std::nothrow) NTCPClient_T;
    ProtocolContext_T *context = client != nullptr ? new (std::nothrow) ProtocolContext_T : nullptr;
    Fifo_T *answers = context != nullptr ? fifo_create(NTCP_CLIENT_ANSWER_QUEUE_SIZE, _FreeCommandInfo) : nullptr;
    CrossEvent_T *news = nullptr;
    if (answers != nullptr && crossEvent_Create(&news, "") != 0) {
        fifo_destroy(&answers);
        news = nullptr;
    }
    if (answers == nullptr) {
        delete context;
        delete client;
        crossSocket_CloseSocket(&socket);
        *error = NTCP_ERR_ALLOC;
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_open: calloc failed");
        return nullptr;
    }
    fifo_set_option(answers, FIFO_OPT_DROP_OLDEST, 1);
    context->socket = socket;
    context->sender = -1;
    context->receiver = -1;
    context->receive_timeout = receive_timeout;
    context->ntcp_id = ntcp_id;

    client->size = sizeof(NTCPClient_T);
    copy_text(client->local_address, local_address);
    copy_text(client->remote_address, remote_address);
    client->remote_port = remote_port;
    client->answer_timeout = answer_timeout;
    client->send_only = send_only;
    client->udp = udp;
    client->keepalive_period = keepalive_period_of(keepalive_period);
    client->context = context;
    client->answers = answers;
    client->news = news;
    if (send_only != 0)
        return client;

    if (crossThread_Create2(&client->thread, clientReceiverThread, client) != 0) {
        client->thread = nullptr;
        *error = NTCP_ERR_THREAD_CREATE;
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_open: crossThread_Create failed");
        release_client(client);
        return nullptr;
    }

    CrossTimer_T start = 0;
    crossTimer_reset(&start);
    for (;;) {
        if (client->running.load() != 0)
            return client;
        const int32_t waited = crossTimer_get_ms(start);
        if (waited > NTCP_CLIENT_START_WAIT_MS) {
            *error = NTCP_ERR_THREAD_START;
            ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_open: thread timeout elapsed %dms", waited);
            // The thread may still come up late: stop it before the client goes.
            stop_receiver(client);
            release_client(client);
            return nullptr;
        }
        wait_news(client, NTCP_CLIENT_START_POLL_MS);
    }
}

extern "C" NTCPClient_T *NTCP_client_open(const char *local_address, const char *remote_address,
                                          uint16_t remote_port, int32_t answer_timeout, int32_t ntcp_id, int32_t udp,
                                          int32_t keepalive_period, int32_t *error)
{
    return _ntcp_client_open(local_address, remote_address, remote_port, answer_timeout, ntcp_id, udp,
                             keepalive_period, 0, error);
}

extern "C" NTCPClient_T *NTCP_client_open_send_only(const char *local_address, const char *remote_address,
                                                    uint16_t remote_port, int32_t answer_timeout, int32_t ntcp_id,
                                                    int32_t keepalive_period, int32_t *error)
{
    return _ntcp_client_open(local_address, remote_address, remote_port, answer_timeout, ntcp_id, 0,
                             keepalive_period, 1, error);
}

extern "C" int32_t NTCP_client_close(NTCPClient_T **client)
{
    if (client == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_close: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    NTCPClient_T *c = check_handle(*client, "NTCP_client_close");
    if (c == nullptr)
        return NTCP_ERR_HANDLE;
    if (c->send_only == 0)
        stop_receiver(c);
    release_client(c);
    *client = nullptr;
    return NTCP_OK;
}

extern "C" int32_t NTCP_client_is_connected(NTCPClient_T *client, int32_t *connected)
{
    if (connected == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_is_connected: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    client = check_handle(client, "NTCP_client_is_connected");
    if (client == nullptr)
        return NTCP_ERR_HANDLE;
    if (client->send_only != 0) {
        *connected = 1;
        return NTCP_OK;
    }
    *connected = client->running.load() != 0 && client->stopped.load() == 0 && client->keepalive_overdue.load() == 0
                     ? 1
                     : 0;
    return NTCP_OK;
}

extern "C" int32_t NTCP_client_keep_alive(NTCPClient_T *client, int32_t wait)
{
    client = check_handle(client, "NTCP_client_keep_alive");
    if (client == nullptr)
        return NTCP_ERR_HANDLE;
    const uint32_t answers_before = client->keepalive_answers.load();
    const int32_t rc = send_keepalive(client);
    if (rc != NTCP_OK)
        return rc;
    if (client->context->ntcp_id <= 0 || wait == 0)
        return NTCP_OK;

    // The receiver thread takes keep-alive answers itself and counts them, so the
    // answer shows as a new count; anything else in the answer queue is a wrong one.
    CrossTimer_T start = 0;
    crossTimer_reset(&start);
    for (;;) {
        if (client->keepalive_answers.load() != answers_before)
            return NTCP_OK;
        CommandInfo_T *answer = static_cast<CommandInfo_T *>(fifo_pop(client->answers, nullptr));
        if (answer != nullptr) {
            const int32_t command = answer->header.command;
            free_command_info(answer);
            if (command == NTCP_CMD_KEEPALIVE)
                return NTCP_OK;
            ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_keep_alive: Wrong command received %d instead of %d",
                        command, NTCP_CMD_KEEPALIVE);
            return NTCP_ERR_WRONG_COMMAND;
        }
        if (crossTimer_get_ms(start) > client->answer_timeout) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_keep_alive: Protocol_send_command failed");
            return NTCP_ERR_TIMEOUT;
        }
        wait_news(client, NTCP_CLIENT_ANSWER_POLL_MS);
    }
}

extern "C" int32_t NTCP_client_set_channel(NTCPClient_T *client, int32_t channel)
{
    client = check_handle(client, "NTCP_client_set_channel");
    if (client == nullptr)
        return NTCP_ERR_HANDLE;
    if (channel != 0 && channel != 1) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "NTCP_client_set_channel: unknown channel %d", channel);
        return NTCP_ERR_RANGE;
    }
    std::lock_guard<std::mutex> guard(client->context->lock);
    client->context->receiver = channel;
    return NTCP_OK;
}

extern "C" int32_t NTCP_client_send_command(NTCPClient_T *client, int32_t command, const void *payload,
                                            int32_t payload_size, uint8_t **answer, int32_t *answer_size,
                                            int32_t *device_error)
{
    static const char name[] = "NTCP_client_send_command";
    if (device_error == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL pointer", name);
        return NTCP_ERR_NULL_PARAMETER;
    }
    *device_error = kNoError;
    // No stale pointer is left behind on any failure.
    if (answer != nullptr)
        *answer = nullptr;
    if (answer_size != nullptr)
        *answer_size = 0;
    int32_t rc = check_answering(client, name);
    if (rc != NTCP_OK)
        return rc;

    NTCPHeader_T header = command_header(client->context, command);
    rc = send_command_request(client, &header, payload, payload_size, name);
    if (rc != NTCP_OK)
        return rc;

    CommandInfo_T *info = wait_answer(client);
    if (info == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Protocol_send_command failed", name);
        return NTCP_ERR_TIMEOUT;
    }
    if (info->header.command != command) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Wrong command received %d instead of %d", name, info->header.command,
                    command);
        rc = NTCP_ERR_WRONG_COMMAND;
    } else if (refused_by_device(info->header)) {
        *device_error = info->header.error;
        rc = NTCP_ERR_DEVICE;
    } else if (answer != nullptr && answer_size != nullptr) {
        *answer = info->payload;
        *answer_size = info->payload != nullptr ? info->payload_size : 0;
        info->payload = nullptr;
    }
    free_command_info(info);
    return rc;
}

extern "C" int32_t NTCP_client_send_command_no_answer(NTCPClient_T *client, int32_t command, const void *payload,
                                                      int32_t payload_size)
{
    static const char name[] = "NTCP_client_send_command_no_answer";
    client = check_handle(client, name);
    if (client == nullptr)
        return NTCP_ERR_HANDLE;
    NTCPHeader_T header = command_header(client->context, command);
    return send_command_request(client, &header, payload, payload_size, name);
}

// ---- broadcast ----

namespace {

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

struct Broadcast {
    CrossSocket_T *socket = nullptr;
    ProtocolContext_T *context = nullptr;

    ~Broadcast()
    {
        if (socket != nullptr)
            crossSocket_CloseSocket(&socket);
        delete context;
    }
};

} // namespace

extern "C" int32_t NTCP_client_parse_mac(const char *text, uint8_t mac[NTCP_MAC_ADDRESS_SIZE])
{
    if (text == nullptr || mac == nullptr)
        return NTCP_ERR_NULL_PARAMETER;
    uint8_t parsed[NTCP_MAC_ADDRESS_SIZE] = {};
    const char *p = text;
    for (int group = 0; group < NTCP_MAC_ADDRESS_SIZE; ++group) {
        if (group > 0) {
            if (*p != ':')
                return NTCP_ERR_RANGE;
            ++p;
        }
        // A group without any digit is as wrong as a missing separator.
        if (hex_digit(*p) < 0)
            return NTCP_ERR_RANGE;
        uint32_t value = 0;
        for (int d; (d = hex_digit(*p)) >= 0; ++p)
            value = ((value << 4) | static_cast<uint32_t>(d)) & 0xFFu;
        parsed[NTCP_MAC_ADDRESS_SIZE - 1 - group] = static_cast<uint8_t>(value);
    }
    memcpy(mac, parsed, sizeof parsed);
    return NTCP_OK;
}

extern "C" int32_t NTCP_client_send_command_broadcast(const char *local_address, uint16_t port,
                                                      const char *target_mac, int32_t timeout_ms, int32_t ntcp_id,
                                                      int32_t command, const void *payload, int32_t payload_size,
                                                      uint8_t **answers, int32_t *sizes, int32_t *count,
                                                      int32_t max_answers, int32_t *device_error)
{
    static const char name[] = "NTCP_client_send_command_broadcast";
    if (local_address == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameters", name);
        return NTCP_ERR_NULL_PARAMETER;
    }
    if (max_answers > 0) {
        if (answers == nullptr || sizes == nullptr || count == nullptr) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL rx parameters", name);
            return NTCP_ERR_NULL_PARAMETER;
        }
        *count = 0;
    }
    if (device_error != nullptr)
        *device_error = kNoError;

    Broadcast b;
    int32_t rc = crossSocket_OpenSocket(local_address, 0, CROSS_SOCKET_UDP_BROADCAST, 0, &b.socket, 0, 0);
    if (rc != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: crossSocket_OpenSocket failed", name);
        return rc;
    }
    // Records the port only: every datagram goes to 255.255.255.255.
    rc = crossSocket_ConnectSocket(b.socket, "0.0.0.0", port, 0);
    if (rc != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: ConnectSocketTCP failed", name);
        return rc;
    }
    b.context = new (std::nothrow) ProtocolContext_T;
    if (b.context == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: calloc failed", name);
        return NTCP_ERR_ALLOC;
    }
    b.context->socket = b.socket;
    b.context->sender = -1;
    b.context->receiver = -1;
    b.context->receive_timeout = timeout_ms;
    b.context->ntcp_id = ntcp_id;

    NTCPHeader_T request = request_header(b.context, command, NTCP_RECEIVER_ALL, NTCP_FLAG_RECEIVER);
    const bool by_mac = target_mac != nullptr && ntcp_id > 0;
    if (by_mac) {
        if (NTCP_client_parse_mac(target_mac, request.mac_address) != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: wrong MAC format, found <%s> expected <00:50:C2:52:88:99>", name,
                        target_mac);
            return NTCP_ERR_RANGE;
        }
        request.flags |= NTCP_FLAG_MAC_ADDRESS;
    }

    {
        std::lock_guard<std::mutex> guard(b.context->lock);
        rc = Protocol_send_ext(b.context, &request, payload, payload_size, nullptr);
    }
    if (rc != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Protocol_send_ext failed", name);
        return rc;
    }
    const int32_t sent = rc;

    CrossTimer_T start = 0;
    crossTimer_reset(&start);
    int32_t last = NTCP_ERR_TIMEOUT;
    while (crossTimer_get_ms(start) <= timeout_ms) {
        crossSleep(NTCP_CLIENT_BROADCAST_POLL_MS);
        NTCPHeader_T answer{};
        uint8_t *data = nullptr;
        int32_t size = 0;
        {
            std::lock_guard<std::mutex> guard(b.context->lock);
            last = Protocol_recv_ext(b.context, &answer, &data, &size, 0);
        }
        if (last == NTCP_ERR_TIMEOUT)
            continue;
        if (last != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Protocol_recv_ext failed", name);
            continue;
        }
        if (by_mac && ((answer.flags & NTCP_FLAG_MAC_ADDRESS) == 0 ||
                       memcmp(answer.mac_address, request.mac_address, NTCP_MAC_ADDRESS_SIZE) != 0)) {
            free(data);
            last = NTCP_ERR_TIMEOUT;
            continue;
        }
        if (answer.command != command) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Wrong command received (received 0x%X instead of 0x%X)", name,
                        static_cast<unsigned>(answer.command), static_cast<unsigned>(command));
            free(data);
            continue;
        }
        bool dropped = false;
        if (max_answers > 0 && data != nullptr) {
            if (*count < max_answers) {
                answers[*count] = data;
                sizes[*count] = size;
                ++*count;
                data = nullptr;
            } else {
                ntcp_printf(NTCP_SEVERITY_WARNING, "%s: no room for more than %d answers, answer dropped", name,
                            max_answers);
                dropped = true;
            }
        }
        free(data);
        if (by_mac && !dropped) {
            if (refused_by_device(answer)) {
                if (device_error != nullptr)
                    *device_error = answer.error;
                return NTCP_ERR_DEVICE;
            }
            return NTCP_OK;
        }
    }
    return by_mac || last != NTCP_ERR_TIMEOUT ? last : sent;
}

// ---- streams ----

extern "C" int32_t NTCP_client_stream_start_using_callback(NTCPClient_T *client, int32_t start_command,
                                                           const void *payload, int32_t payload_size,
                                                           int32_t end_code, int32_t data_code, int32_t receiver,
                                                           int32_t queue_size, int32_t *stream_id,
                                                           int32_t *device_error, CrossSocketProgress_T progress)
{
    return stream_start("NTCP_client_stream_start_using_callback", client, start_command, payload, payload_size,
                        end_code, data_code, receiver, queue_size, stream_id, device_error, progress);
}

extern "C" int32_t NTCP_client_stream_start(NTCPClient_T *client, int32_t start_command, const void *payload,
                                            int32_t payload_size, int32_t end_code, int32_t data_code,
                                            int32_t receiver, int32_t queue_size, int32_t *stream_id,
                                            int32_t *device_error)
{
    return stream_start("NTCP_client_stream_start", client, start_command, payload, payload_size, end_code,
                        data_code, receiver, queue_size, stream_id, device_error, nullptr);
}

extern "C" int32_t NTCP_client_stream_stop(NTCPClient_T *client, int32_t stream_id)
{
    static const char name[] = "NTCP_client_stream_stop";
    if (check_stream_id(stream_id, name) != NTCP_OK)
        return NTCP_ERR_RANGE;
    client = check_handle(client, name);
    if (client == nullptr)
        return NTCP_ERR_HANDLE;
    NTCPHeader_T header{};
    {
        std::lock_guard<std::mutex> guard(client->lock);
        const NTCPStream_T &slot = client->streams[stream_id];
        if (slot.in_use == 0) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Stream already stopped", name);
            return NTCP_ERR_STREAM_ENDED;
        }
        header = request_header(client->context, slot.end_code, slot.receiver, NTCP_FLAG_RECEIVER);
    }
    const int32_t rc = Protocol_send_command(client->context, &header, 0);
    if (rc != NTCP_OK)
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Protocol_send_command failed (%lu)", name,
                    static_cast<unsigned long>(rc));
    return rc;
}

extern "C" int32_t NTCP_client_stream_get(NTCPClient_T *client, int32_t stream_id, uint8_t **payload,
                                          int32_t *payload_size)
{
    return stream_get(client, stream_id, payload, payload_size, false);
}

extern "C" int32_t NTCP_client_stream_get_newest(NTCPClient_T *client, int32_t stream_id, uint8_t **payload,
                                                 int32_t *payload_size)
{
    return stream_get(client, stream_id, payload, payload_size, true);
}
