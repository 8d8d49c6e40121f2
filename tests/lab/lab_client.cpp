#include "lab_client.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "client/ntcp_common.h"

namespace lab {

namespace {

constexpr int32_t kReceiveTimeoutMs = 3000;

void take(Message &message, uint8_t *payload, int32_t size)
{
    message.payload.clear();
    if (payload != nullptr && size > 0)
        message.payload.assign(payload, payload + size);
    NTCP_free(reinterpret_cast<void **>(&payload));
}

} // namespace

std::string Message::text(int32_t code, int32_t *result) const
{
    char value[512] = {};
    const int32_t r = Interpreter_GetString(value, sizeof value, code, payload.data(),
                                            static_cast<int32_t>(payload.size()));
    if (result != nullptr)
        *result = r;
    return r == NTCP_OK ? value : "";
}

int32_t Message::number(int32_t code, int32_t *result) const
{
    int32_t value = 0;
    const int32_t r = Interpreter_GetLong(&value, code, payload.data(), static_cast<int32_t>(payload.size()));
    if (result != nullptr)
        *result = r;
    return value;
}

std::vector<std::vector<uint8_t>> Message::groups(int32_t code) const
{
    const uint8_t *values[32] = {};
    int32_t lengths[32] = {};
    int32_t count = 0;
    std::vector<std::vector<uint8_t>> found;
    if (Interpreter_GetSequentialBuffersPtr(values, lengths, &count, 32, code, payload.data(),
                                            static_cast<int32_t>(payload.size())) != NTCP_OK)
        return found;
    for (int32_t i = 0; i < count; ++i)
        found.emplace_back(values[i], values[i] + lengths[i]);
    return found;
}

NTCPHeader_T request(int32_t command, int32_t ntcp_id)
{
    NTCPHeader_T h{};
    h.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND;
    h.ntcp_id = ntcp_id;
    h.command = command;
    return h;
}

void setTargetMac(NTCPHeader_T &header, const std::string &mac)
{
    unsigned octets[6] = {};
    std::sscanf(mac.c_str(), "%x:%x:%x:%x:%x:%x", &octets[0], &octets[1], &octets[2], &octets[3], &octets[4],
                &octets[5]);
    for (int i = 0; i < 6; ++i)
        header.mac_address[i] = static_cast<uint8_t>(octets[5 - i]);
    header.flags |= NTCP_FLAG_MAC_ADDRESS;
}

Fields::~Fields() { std::free(buffer_); }

Fields &Fields::number(int32_t code, int32_t value)
{
    Interpreter_SetLong(&buffer_, &allocated_, &used_, value, code, 1);
    return *this;
}

Fields &Fields::text(int32_t code, const std::string &value)
{
    Interpreter_SetString(&buffer_, &allocated_, &used_, value.c_str(), code, 1);
    return *this;
}

Fields &Fields::bytes(int32_t code, const std::vector<uint8_t> &value)
{
    Interpreter_SetBuffer(&buffer_, &allocated_, &used_, value.data(), static_cast<int32_t>(value.size()), code, 1);
    return *this;
}

Connection::Connection(const std::string &local, const std::string &camera, uint16_t port)
{
    if (crossSocket_OpenSocket(local.c_str(), 0, CROSS_SOCKET_TCP, 0, &socket_, 0, 0) != NTCP_OK)
        return;
    if (crossSocket_ConnectSocket(socket_, camera.c_str(), port, 2000000) != NTCP_OK) {
        crossSocket_CloseSocket(&socket_);
        return;
    }
    context_.socket = socket_;
    context_.receive_timeout = kReceiveTimeoutMs;
    context_.ntcp_id = NTCP_IDENT_DEVICE;
}

Connection::~Connection()
{
    if (socket_ != nullptr)
        crossSocket_CloseSocket(&socket_);
}

int32_t Connection::send(NTCPHeader_T header, const uint8_t *payload, int32_t size)
{
    std::lock_guard<std::mutex> lock(context_.lock);
    return Protocol_send_ext(&context_, &header, payload, size, nullptr);
}

int32_t Connection::receive(Message &message, int32_t wait)
{
    uint8_t *payload = nullptr;
    int32_t size = 0;
    message.header = {};
    std::lock_guard<std::mutex> lock(context_.lock);
    const int32_t r = Protocol_recv_ext(&context_, &message.header, &payload, &size, wait);
    take(message, payload, size);
    return r;
}

int32_t Connection::exchange(const NTCPHeader_T &header, Message &answer, const Fields *payload)
{
    const int32_t r = payload != nullptr ? send(header, payload->data(), payload->size()) : send(header);
    return r != NTCP_OK ? r : receive(answer);
}

std::vector<Message> broadcast(const std::string &local, const NTCPHeader_T &header, int32_t window_ms,
                               const Fields *payload, std::vector<int32_t> *results, uint16_t port)
{
    std::vector<Message> answers;
    CrossSocket_T *socket = nullptr;
    if (crossSocket_OpenSocket(local.c_str(), 0, CROSS_SOCKET_UDP_BROADCAST, 0, &socket, 0, 0) != NTCP_OK)
        return answers;
    ProtocolContext_T context;
    context.socket = socket;
    context.receive_timeout = window_ms;
    context.ntcp_id = header.ntcp_id;
    std::lock_guard<std::mutex> lock(context.lock);
    NTCPHeader_T h = header;
    h.flags |= NTCP_FLAG_RECEIVER;
    h.receiver = NTCP_RECEIVER_ALL;
    // The remote address only records the port: every datagram goes to 255.255.255.255.
    if (crossSocket_ConnectSocket(socket, "0.0.0.0", port, 0) == NTCP_OK &&
        Protocol_send_ext(&context, &h, payload != nullptr ? payload->data() : nullptr,
                          payload != nullptr ? payload->size() : 0, nullptr) == NTCP_OK) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(window_ms);
        while (std::chrono::steady_clock::now() < end) {
            Message m;
            uint8_t *data = nullptr;
            int32_t size = 0;
            const int32_t r = Protocol_recv_ext(&context, &m.header, &data, &size, 0);
            take(m, data, size);
            if (r == NTCP_OK)
                answers.push_back(m);
            else if (r != NTCP_ERR_TIMEOUT && results != nullptr)
                results->push_back(r);
        }
    }
    crossSocket_CloseSocket(&socket);
    return answers;
}

} // namespace lab
