#include "transport/protocols.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "runtime/byte_order.h"
#include "runtime/cross_sys.h"
#include "transport/mirovant.h"

namespace {

constexpr int32_t kNtcpPrefix = 8;                /* the two magics that open an NTCP header */
constexpr int32_t kLargestPayload = INT32_MAX - 3; /* its size rounded up to 4 is still a 32-bit count */

bool has_ntcp_magics(const uint8_t *p) { return le32_load(p) == NTCP_MAGIC_1 && le32_load(p + 4) == NTCP_MAGIC_2; }

size_t round_up4(size_t n) { return (n + 3) & ~size_t{3}; }

uint32_t timeout_ms(int32_t ms) { return ms > 0 ? static_cast<uint32_t>(ms) : 0; }

// Fills `header` from the MIROVANT header at `p` (`length` readable bytes).
int32_t read_mirovant(const uint8_t *p, int32_t length, NTCPHeader_T *header)
{
    const int32_t rc = MV_GetCommandHeader(p, length, &header->command, &header->sender, &header->receiver,
                                           &header->error, &header->payload_size);
    if (rc == NTCP_OK)
        header->flags = MV_HEADER_FLAGS;
    return rc;
}

// Hands a received payload to the caller, or drops it when the caller gave no place.
int32_t hand_over(uint8_t *payload, int32_t size, uint8_t **out, int32_t *out_size)
{
    if (out == nullptr || out_size == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: Payload parameters are NULL, payload lost");
        free(payload);
        return NTCP_ERR_NULL_PARAMETER;
    }
    *out = payload;
    *out_size = size;
    return NTCP_OK;
}

// ---- sending ----

// The message goes out as datalinks that point into the header buffer and straight
// into the caller's payload: a firmware image is never copied.
int32_t send_tcp(ProtocolContext_T *context, const uint8_t *head, int32_t head_length, const uint8_t *payload,
                 int32_t payload_size, CrossSocketProgress_T progress)
{
    DatalinkList_T list{};
    list.count = 1;
    list.data[0] = head;
    list.lengths[0] = head_length;
    list.total = head_length + payload_size;

    const bool large = payload_size >= PROTOCOL_LARGE_PAYLOAD;
    const int32_t chunk = large ? payload_size / PROTOCOL_LARGE_PAYLOAD_CHUNKS : PROTOCOL_CHUNK_SIZE;
    const int32_t remainder = large ? payload_size % PROTOCOL_LARGE_PAYLOAD_CHUNKS : 0;
    int32_t left = payload_size;
    while (left > 0) {
        if (list.count >= CROSS_SOCKET_MAX_DATALINKS) {
            ntcp_printf(NTCP_SEVERITY_ERROR,
                        "Protocol_send_ext: Max datalink count reached %lu [us size: %lu, us rem: %lu, dl size: %lu]",
                        static_cast<unsigned long>(list.count), static_cast<unsigned long>(payload_size),
                        static_cast<unsigned long>(left), static_cast<unsigned long>(chunk));
            return NTCP_ERR_MISALIGNED;
        }
        int32_t n = left < chunk ? left : chunk;
        if (left - n == remainder) // the last chunk takes the remainder of a large payload
            n = left;
        list.data[list.count] = payload + (payload_size - left);
        list.lengths[list.count] = n;
        ++list.count;
        left -= n;
    }

    const int32_t rc = crossSocket_WriteDatalinkToSocket(context->socket, &list, progress);
    if (rc != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: crossSocket_WriteDatalinkToSocket failed");
        return rc;
    }
    return NTCP_OK;
}

int32_t send_udp(ProtocolContext_T *context, const uint8_t *head, int32_t head_length, const uint8_t *payload,
                 int32_t payload_size)
{
    const int32_t message = head_length + payload_size;
    // Rounded up without adding to the message size, which may lie just below INT32_MAX.
    const int32_t rest = message % TBP_MAX_PACKET_DATA;
    const int32_t count = message / TBP_MAX_PACKET_DATA + (rest != 0 ? 1 : 0);
    // A last packet of 1455 message bytes gets the length word 1474, which rounds up to
    // 1476 bytes; the buffer has room for it.
    uint8_t datagram[TBP_MAX_PACKET_SIZE + 4];

    int32_t offset = 0; /* message bytes already sent */
    for (int32_t i = 0; i < count; ++i) {
        const bool short_last = i == count - 1 && rest != 0;
        const int32_t bytes = short_last ? rest : TBP_MAX_PACKET_DATA;
        const int32_t length = short_last ? rest + TBP_HEADER_SIZE + rest % 4 : TBP_MAX_PACKET_SIZE;
        const int32_t size = static_cast<int32_t>(round_up4(static_cast<size_t>(length)));
        memset(datagram, 0, static_cast<size_t>(size));
        le32_store(datagram, static_cast<uint32_t>(count));
        le32_store(datagram + 4, static_cast<uint32_t>(i));
        le32_store(datagram + 8, static_cast<uint32_t>(length));
        le32_store(datagram + 12, static_cast<uint32_t>(message));

        // Message bytes in order: the rest of the header first, then the payload.
        uint8_t *out = datagram + TBP_HEADER_SIZE;
        int32_t want = bytes;
        if (offset < head_length) {
            const int32_t n = head_length - offset < want ? head_length - offset : want;
            memcpy(out, head + offset, static_cast<size_t>(n));
            out += n;
            want -= n;
        }
        if (want > 0)
            memcpy(out, payload + (offset + (bytes - want) - head_length), static_cast<size_t>(want));
        offset += bytes;

        const int32_t rc = crossSocket_WriteToSocket(context->socket, datagram, size);
        if (rc != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: crossSocket_WriteToSocket failed");
            return rc;
        }
    }
    return NTCP_OK;
}

// ---- receiving ----

constexpr size_t kFirstPayloadStep = size_t{1} << 20;

// Reads the payload of `size` bytes, rounded up to 4, into a new buffer. The buffer
// grows with the bytes that arrive, so a header alone cannot make the library
// reserve the memory it announces.
int32_t read_payload(CrossSocket_T *socket, uint32_t timeout, int32_t size, uint8_t **out, int32_t *got)
{
    const size_t room = round_up4(static_cast<size_t>(size));
    size_t have = room < kFirstPayloadStep ? room : kFirstPayloadStep;
    auto *buffer = static_cast<uint8_t *>(calloc(have, 1));
    size_t done = 0;
    for (;;) {
        if (buffer == nullptr) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: calloc failed %lubytes", static_cast<unsigned long>(size));
            return NTCP_ERR_ALLOC;
        }
        int32_t piece = 0;
        const int32_t rc = crossSocket_ReadFromSocketLenght(socket, timeout, buffer + done,
                                                            static_cast<int32_t>(have - done), &piece);
        if (rc != NTCP_OK) {
            free(buffer);
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: crossSocket_ReadFromSocketLenght failed");
            return rc;
        }
        done += static_cast<size_t>(piece);
        if (done == room)
            break;
        const size_t next = room - have < have ? room : 2 * have;
        auto *bigger = static_cast<uint8_t *>(realloc(buffer, next));
        if (bigger == nullptr)
            free(buffer);
        buffer = bigger;
        have = next;
    }
    *out = buffer;
    *got = static_cast<int32_t>(done);
    return NTCP_OK;
}

int32_t recv_tcp(ProtocolContext_T *context, NTCPHeader_T *header, uint8_t **payload, int32_t *payload_size,
                 int32_t wait)
{
    uint8_t head[TBP_MAX_PACKET_SIZE];
    const uint32_t timeout = timeout_ms(context->receive_timeout);
    int32_t got = 0;

    int32_t rc = crossSocket_ReadFromSocketLenght(context->socket, wait != 0 ? timeout : PROTOCOL_POLL_TIMEOUT_MS,
                                                  head, MV_HEADER_SIZE, &got);
    if (rc == NTCP_ERR_TIMEOUT || rc == NTCP_ERR_CLOSED)
        return rc;
    if (rc != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: crossSocket_ReadFromSocketLenght failed");
        return rc;
    }
    if (got < MV_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: Wrong size received");
        return NTCP_ERR_TIMEOUT;
    }

    if (le32_load(head) == MV_HEADER_SIZE) {
        rc = read_mirovant(head, MV_HEADER_SIZE, header);
        if (rc != NTCP_OK)
            return rc;
    } else {
        if (!has_ntcp_magics(head)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: No valid header found");
            return NTCP_ERR_HANDLE;
        }
        // The header must fit the receive buffer and hold at least the fixed part.
        const uint32_t length = le32_load(head + 12);
        if (length > TBP_MAX_PACKET_SIZE || length < NTCP_FIXED_HEADER_SIZE) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: Wrong size received");
            return NTCP_ERR_TIMEOUT;
        }
        const int32_t rest = static_cast<int32_t>(length) - MV_HEADER_SIZE;
        rc = crossSocket_ReadFromSocketLenght(context->socket, timeout, head + MV_HEADER_SIZE, rest, &got);
        if (rc == NTCP_ERR_TIMEOUT) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: timeout elapsed");
            return rc;
        }
        if (rc != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: crossSocket_ReadFromSocketLenght failed %lums",
                        static_cast<unsigned long>(timeout));
            return rc;
        }
        if (got != rest) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: Wrong size received");
            return NTCP_ERR_TIMEOUT;
        }
        rc = NTCP_GetCommandHeader(head, static_cast<int32_t>(length), header);
        if (rc != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: NTCP_GetCommandHeader failed");
            return rc;
        }
        if ((header->flags & NTCP_FLAG_PAYLOAD_SIZE) == 0)
            return NTCP_OK;
    }

    const int32_t size = header->payload_size;
    if (size <= 0)
        return NTCP_OK;
    // Sizes whose rounded length does not fit a read can never be multiples of 4.
    if (size > kLargestPayload) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: Wrong payload size received");
        return NTCP_ERR_TIMEOUT;
    }
    uint8_t *buffer = nullptr;
    rc = read_payload(context->socket, timeout, size, &buffer, &got);
    if (rc != NTCP_OK)
        return rc;
    if (got != size) {
        free(buffer);
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: Wrong payload size received");
        return NTCP_ERR_TIMEOUT;
    }
    return hand_over(buffer, size, payload, payload_size);
}

int32_t recv_udp(ProtocolContext_T *context, NTCPHeader_T *header, uint8_t **payload, int32_t *payload_size,
                 int32_t wait)
{
    uint8_t packet[CROSS_SOCKET_READ_SIZE];
    const uint32_t timeout = timeout_ms(context->receive_timeout);
    uint8_t *buffer = nullptr;
    int32_t capacity = 0;
    int32_t filled = 0;
    int32_t count = 0;
    int32_t i = 0;

    do {
        int32_t length = 0;
        const uint32_t wait_ms = i == 0 && wait == 0 ? PROTOCOL_POLL_TIMEOUT_MS : timeout;
        int32_t rc = crossSocket_ReadFromSocket(context->socket, wait_ms, packet, &length, nullptr);
        if (rc != NTCP_OK) {
            free(buffer);
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: crossSocket_ReadFromSocketLenght failed %lums",
                        static_cast<unsigned long>(timeout));
            return rc;
        }
        if (length == 0) {
            free(buffer);
            if (i > 0)
                ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: timeout elapsed");
            return NTCP_ERR_TIMEOUT;
        }
        if (length < TBP_HEADER_SIZE) {
            free(buffer);
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: Not enough bytes received");
            return NTCP_ERR_TIMEOUT;
        }
        // A packet that claims more bytes than the datagram brought would be filled
        // with whatever the buffer held before.
        if (le32_load(packet + 8) > static_cast<uint32_t>(length)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: Corrupted TBP header recieved");
            rc = NTCP_ERR_TBP;
        } else {
            rc = DecodeTBPPackets(packet, i, &count, header, &buffer, &capacity, &filled);
        }
        if (rc != NTCP_OK) {
            free(buffer);
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: DecodeTBPPackets failed");
            return rc;
        }
        ++i;
    } while (i < count);

    if (buffer == nullptr)
        return NTCP_OK;
    // The declared size, even when fewer bytes arrived: the rest stays zero.
    return hand_over(buffer, capacity, payload, payload_size);
}

// ---- exchanges ----

struct ExchangeTexts {
    const char *name;
    const char *send_failed;
    const char *recv_failed;
};

constexpr ExchangeTexts kSendCommand{"Protocol_send_command", "fn_send failed", "fn_recv failed"};

constexpr ExchangeTexts texts_of(const char *name)
{
    return {name, "Protocol_send_ext failed", "Protocol_recv_ext failed"};
}

int32_t refuse_null(const char *name)
{
    ntcp_printf(NTCP_SEVERITY_ERROR, "%s: NULL parameter", name);
    return NTCP_ERR_NULL_PARAMETER;
}

// Sends one request under the connection's lock and, when asked, takes its answer
// before the lock goes, so no other sender or the receiver thread can come between.
int32_t exchange(const ExchangeTexts &t, ProtocolContext_T *context, NTCPHeader_T *header, const void *payload,
                 int32_t payload_size, bool wait, CrossSocketProgress_T progress, uint8_t **answer,
                 int32_t *answer_size)
{
    std::unique_lock<std::mutex> lock(context->lock);
    int32_t rc = Protocol_send_ext(context, header, payload, payload_size, progress);
    if (rc != NTCP_OK) {
        lock.unlock();
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: %s", t.name, t.send_failed);
        return rc;
    }
    if (!wait)
        return NTCP_OK;

    NTCPHeader_T reply{};
    uint8_t *body = nullptr;
    int32_t body_size = 0;
    rc = Protocol_recv_ext(context, &reply, &body, &body_size, 1);
    lock.unlock();
    if (rc != NTCP_OK) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: %s", t.name, t.recv_failed);
        return rc;
    }
    if ((reply.flags & NTCP_FLAG_COMMAND) == 0) {
        free(body);
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Invalid command content", t.name);
        return NTCP_ERR_HANDLE;
    }
    if (reply.command != header->command) {
        free(body);
        ntcp_printf(NTCP_SEVERITY_ERROR, "%s: Wrong command received %d instead of %d", t.name, reply.command,
                    header->command);
        return NTCP_ERR_WRONG_COMMAND;
    }
    *header = reply;
    if (answer != nullptr) {
        *answer = body;
        *answer_size = body_size;
    } else {
        free(body);
    }
    return (reply.flags & NTCP_FLAG_ERROR) != 0 && reply.error != 0 ? NTCP_ERR_DEVICE : NTCP_OK;
}

} // namespace

extern "C" int32_t Protocol_send_ext(ProtocolContext_T *context, NTCPHeader_T *header, const void *payload,
                                     int32_t payload_size, CrossSocketProgress_T progress)
{
    if (context == nullptr || header == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: NULL parameters");
        return NTCP_ERR_NULL_PARAMETER;
    }
    // Header length plus payload must stay a 32-bit count.
    if (payload != nullptr && (payload_size < 0 || payload_size > INT32_MAX - NTCP_SEND_HEADER_BUFFER_SIZE)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: Invalid payload size %d", payload_size);
        return NTCP_ERR_RANGE;
    }
    const bool with_payload = payload != nullptr && payload_size != 0;
    if (with_payload) {
        header->flags |= NTCP_FLAG_PAYLOAD_SIZE;
        header->payload_size = payload_size;
    }
    // The header announces exactly the bytes that follow it: a record that still
    // carries the size of an earlier answer must not make the peer wait for a payload.
    NTCPHeader_T wire = *header;
    if (!with_payload) {
        wire.flags &= ~NTCP_FLAG_PAYLOAD_SIZE;
        wire.payload_size = 0;
    }

    uint8_t head[NTCP_SEND_HEADER_BUFFER_SIZE];
    int32_t head_length = 0;
    int32_t rc;
    if ((wire.flags & NTCP_FLAG_NTCP_ID) != 0 && wire.ntcp_id != 0) {
        rc = NTCP_SetCommandHeader(head, &head_length, sizeof head, &wire);
        if (rc != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: NTCP_SetCommandHeader failed");
            return rc;
        }
    } else {
        const uint32_t needed = NTCP_FLAG_COMMAND | NTCP_FLAG_ERROR | NTCP_FLAG_SENDER | NTCP_FLAG_RECEIVER;
        if ((wire.flags & needed) != needed) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: Invalid parameter for MIROVANT protocol");
            return NTCP_ERR_RANGE;
        }
        rc = MV_SetCommandHeader(head, &head_length, sizeof head, wire.command, wire.sender, wire.receiver,
                                 wire.error, wire.payload_size);
        if (rc != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: MV_SetCommandHeader failed");
            return rc;
        }
    }

    const int32_t protocol = crossSocket_GetSocketProtocol(context->socket);
    if (protocol < 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_send_ext: crossSocket_GetSocketProtocol failed");
        return NTCP_ERR_HANDLE;
    }
    const auto *body = static_cast<const uint8_t *>(payload);
    const int32_t body_size = with_payload ? payload_size : 0;
    if (protocol == CROSS_SOCKET_TCP)
        return send_tcp(context, head, head_length, body, body_size, progress);
    return send_udp(context, head, head_length, body, body_size);
}

extern "C" int32_t Protocol_recv_ext(ProtocolContext_T *context, NTCPHeader_T *header, uint8_t **payload,
                                     int32_t *payload_size, int32_t wait)
{
    if (context == nullptr || header == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: NULL parameters");
        return NTCP_ERR_NULL_PARAMETER;
    }
    // A message without payload must not leave an earlier message's buffer behind.
    if (payload != nullptr)
        *payload = nullptr;
    if (payload_size != nullptr)
        *payload_size = 0;
    const int32_t protocol = crossSocket_GetSocketProtocol(context->socket);
    if (protocol < 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "Protocol_recv_ext: crossSocket_GetSocketProtocol failed");
        return NTCP_ERR_HANDLE;
    }
    if (protocol == CROSS_SOCKET_TCP)
        return recv_tcp(context, header, payload, payload_size, wait);
    return recv_udp(context, header, payload, payload_size, wait);
}

extern "C" int32_t DecodeTBPPackets(const uint8_t *packet, int32_t expected_index, int32_t *packet_count,
                                    NTCPHeader_T *header, uint8_t **payload, int32_t *capacity, int32_t *filled)
{
    if (packet == nullptr || packet_count == nullptr || header == nullptr || payload == nullptr ||
        capacity == nullptr || filled == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    const auto count = static_cast<int32_t>(le32_load(packet));
    const auto index = static_cast<int32_t>(le32_load(packet + 4));
    const auto length = static_cast<int32_t>(le32_load(packet + 8));
    // A length below the TBP header would leave a negative amount of data.
    if (index > count || length > TBP_MAX_PACKET_SIZE || length < TBP_HEADER_SIZE) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: Corrupted TBP header recieved");
        return NTCP_ERR_TBP;
    }
    if (index != expected_index) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: Wrong packet count received (%d instead of %d)", index,
                    expected_index);
        return NTCP_ERR_TBP;
    }
    *packet_count = count;

    const uint8_t *data = packet + TBP_HEADER_SIZE;
    int32_t data_length = length - TBP_HEADER_SIZE;
    if (expected_index == 0) {
        int32_t head_length;
        int32_t size;
        int32_t rc;
        if (data_length >= 4 && le32_load(data) == MV_HEADER_SIZE) {
            rc = read_mirovant(data, data_length, header);
            if (rc != NTCP_OK)
                return rc;
            head_length = MV_HEADER_SIZE;
            size = header->payload_size;
        } else {
            if (data_length < kNtcpPrefix || !has_ntcp_magics(data)) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: No valid header found");
                return NTCP_ERR_HANDLE;
            }
            // The reader refuses a length word beyond the packet's data.
            rc = NTCP_GetCommandHeader(data, data_length, header);
            if (rc != NTCP_OK) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: NTCP_GetCommandHeader failed");
                return rc;
            }
            head_length = static_cast<int32_t>(le32_load(data + 12));
            size = (header->flags & NTCP_FLAG_PAYLOAD_SIZE) != 0 ? header->payload_size : 0;
        }
        data += head_length;
        data_length -= head_length;

        // A size of 0 or less announces no payload; one whose rounded length leaves
        // the 32-bit count cannot be allocated.
        if (size > 0) {
            auto *buffer = size <= kLargestPayload
                               ? static_cast<uint8_t *>(calloc(round_up4(static_cast<size_t>(size)), 1))
                               : nullptr;
            if (buffer == nullptr) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: calloc failed %lubytes",
                            static_cast<unsigned long>(size));
                return NTCP_ERR_ALLOC;
            }
            *payload = buffer;
            *capacity = size;
            *filled = 0;
        }
    }

    if (data_length > 0) {
        if (*payload == nullptr || *filled < 0 || data_length > *capacity - *filled) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "DecodeTBPPackets: no more memory for payload");
            return NTCP_ERR_BUFFER;
        }
        memcpy(*payload + *filled, data, static_cast<size_t>(data_length));
        *filled += data_length;
    }
    return NTCP_OK;
}

extern "C" int32_t Protocol_send_command(ProtocolContext_T *context, NTCPHeader_T *header, int32_t wait)
{
    if (context == nullptr || header == nullptr)
        return refuse_null(kSendCommand.name);
    return exchange(kSendCommand, context, header, nullptr, 0, wait != 0, nullptr, nullptr, nullptr);
}

extern "C" int32_t Protocol_send_buffer(ProtocolContext_T *context, NTCPHeader_T *header, const void *payload,
                                        int32_t payload_size, int32_t wait)
{
    constexpr ExchangeTexts t = texts_of("Protocol_send_buffer");
    if (context == nullptr || header == nullptr || payload == nullptr)
        return refuse_null(t.name);
    return exchange(t, context, header, payload, payload_size, wait != 0, nullptr, nullptr, nullptr);
}

extern "C" int32_t Protocol_send_buffer_using_callback(ProtocolContext_T *context, NTCPHeader_T *header,
                                                       const void *payload, int32_t payload_size, int32_t wait,
                                                       CrossSocketProgress_T progress)
{
    constexpr ExchangeTexts t = texts_of("Protocol_send_buffer_using_callback");
    if (context == nullptr || header == nullptr || payload == nullptr)
        return refuse_null(t.name);
    return exchange(t, context, header, payload, payload_size, wait != 0, progress, nullptr, nullptr);
}

extern "C" int32_t Protocol_receive_buffer(ProtocolContext_T *context, NTCPHeader_T *header, uint8_t **answer,
                                           int32_t *answer_size)
{
    constexpr ExchangeTexts t = texts_of("Protocol_receive_buffer");
    if (answer != nullptr)
        *answer = nullptr;
    if (answer_size != nullptr)
        *answer_size = 0;
    if (context == nullptr || header == nullptr || answer == nullptr || answer_size == nullptr)
        return refuse_null(t.name);
    return exchange(t, context, header, nullptr, 0, true, nullptr, answer, answer_size);
}

extern "C" int32_t Protocol_send_receive_buffer(ProtocolContext_T *context, NTCPHeader_T *header,
                                                const void *payload, int32_t payload_size, uint8_t **answer,
                                                int32_t *answer_size)
{
    constexpr ExchangeTexts t = texts_of("Protocol_send_receive_buffer");
    if (context == nullptr || header == nullptr || payload == nullptr || answer == nullptr || answer_size == nullptr)
        return refuse_null(t.name);
    *answer = nullptr;
    *answer_size = 0;
    return exchange(t, context, header, payload, payload_size, true, nullptr, answer, answer_size);
}
