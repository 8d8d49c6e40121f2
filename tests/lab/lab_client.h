// The PC side of lab tests, over the library's own sockets, framing, headers and
// field readers: one TCP connection to a camera, and one broadcast with its
// collection window.
#ifndef TESTS_LAB_LAB_CLIENT_H
#define TESTS_LAB_LAB_CLIENT_H

#include <cstdint>
#include <string>
#include <vector>

#include "codec/buffer_interface.h"
#include "transport/ntcp.h"
#include "transport/protocols.h"

namespace lab {

struct Message {
    NTCPHeader_T header{};
    std::vector<uint8_t> payload;

    // Field readers over the payload; the result of the library's reader is in *result.
    std::string text(int32_t code, int32_t *result = nullptr) const;
    int32_t number(int32_t code, int32_t *result = nullptr) const;
    // The values of every field with `code`, in order.
    std::vector<std::vector<uint8_t>> groups(int32_t code) const;
};

// A request header as the library's client writes it.
NTCPHeader_T request(int32_t command, int32_t ntcp_id = NTCP_IDENT_DEVICE);
// The header's MAC field for "00:50:C2:52:88:99" (octets reversed on the wire).
void setTargetMac(NTCPHeader_T &header, const std::string &mac);

// A payload built with the library's field writers.
class Fields final {
public:
    Fields() = default;
    ~Fields();
    Fields(const Fields &) = delete;
    Fields &operator=(const Fields &) = delete;
    Fields &number(int32_t code, int32_t value);
    Fields &text(int32_t code, const std::string &value);
    Fields &bytes(int32_t code, const std::vector<uint8_t> &value);
    const uint8_t *data() const { return buffer_; }
    int32_t size() const { return used_; }

private:
    uint8_t *buffer_ = nullptr;
    int32_t allocated_ = 0;
    int32_t used_ = 0;
};

class Connection final {
public:
    // Connects from `local` to `camera` port 42000; ok() tells.
    Connection(const std::string &local, const std::string &camera, uint16_t port = 42000);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;
    bool ok() const { return socket_ != nullptr; }

    int32_t send(NTCPHeader_T header, const uint8_t *payload = nullptr, int32_t size = 0);
    // One message; `wait` as Protocol_recv_ext. Gives the library's result.
    int32_t receive(Message &message, int32_t wait = 1);
    // Sends and takes the next message.
    int32_t exchange(const NTCPHeader_T &header, Message &answer, const Fields *payload = nullptr);

private:
    CrossSocket_T *socket_ = nullptr;
    ProtocolContext_T context_;
};

// Broadcasts one message from `local` to 255.255.255.255 at `port` and collects the
// answers for `window_ms`. `results` (optional) receives each failed receive's result.
std::vector<Message> broadcast(const std::string &local, const NTCPHeader_T &header, int32_t window_ms,
                               const Fields *payload = nullptr, std::vector<int32_t> *results = nullptr,
                               uint16_t port = 42000);

} // namespace lab

#endif
