#include "kordexv2_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <thread>

#include "client/ntcp_common.h"
#include "kordexv2_camera.h"
#include "recorder.h"
#include "sim_options.h"
#include "transport/cross_socket.h"
#include "transport/mirovant.h"
#include "transport/protocols.h"

namespace camsim {

namespace {

using kordexv2::Camera;
using kordexv2::Replier;
using kordexv2::Request;

// How long a connection waits for the rest of a message once it has begun.
constexpr int32_t kReceiveTimeoutMs = 5000;
constexpr int32_t kTbpHeaderSize = TBP_HEADER_SIZE;
constexpr int32_t kTbpDataSize = TBP_MAX_PACKET_DATA;

std::string peerText(const sockaddr_in &peer)
{
    char ip[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
    return std::string(ip) + ":" + std::to_string(ntohs(peer.sin_port));
}

void putWord(uint8_t *at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The command header of `header` as the library writes it, then spoilt as asked:
// a wrong first magic for Malformed::Header.
std::vector<uint8_t> encodeHeader(NTCPHeader_T header, int32_t payload_size, Malformed how)
{
    std::vector<uint8_t> bytes(NTCP_SEND_HEADER_BUFFER_SIZE);
    int32_t length = 0;
    if (payload_size > 0) {
        header.flags |= NTCP_FLAG_PAYLOAD_SIZE;
        header.payload_size = payload_size;
    }
    const int32_t r = (header.flags & NTCP_FLAG_NTCP_ID) != 0
                          ? NTCP_SetCommandHeader(bytes.data(), &length, static_cast<int32_t>(bytes.size()), &header)
                          : MV_SetCommandHeader(bytes.data(), &length, static_cast<int32_t>(bytes.size()),
                                                header.command, header.sender, header.receiver, header.error,
                                                payload_size);
    if (r != NTCP_OK)
        return {};
    bytes.resize(static_cast<size_t>(length));
    if (how == Malformed::Header)
        putWord(bytes.data(), 0x0BADC0DEu);
    return bytes;
}

// ---------------------------------------------------------------- TCP

class TcpReplier final : public Replier {
public:
    TcpReplier(ProtocolContext_T &context, std::string peer) : context_(context), peer_(std::move(peer)) {}
    const char *via() const override { return "tcp"; }
    std::string peer() const override { return peer_; }
    bool dropped() const { return dropped_; }

    bool send(const NTCPHeader_T &header, const uint8_t *payload, int32_t size, Malformed how) override
    {
        if (dropped_)
            return false;
        std::lock_guard<std::mutex> lock(context_.lock);
        int32_t r = NTCP_OK;
        if (how == Malformed::Header || how == Malformed::Tbp) {
            // A stream has no packets to spoil; both spoil the header.
            const auto bytes = encodeHeader(header, payload != nullptr ? size : 0, Malformed::Header);
            r = crossSocket_WriteToSocket(context_.socket, bytes.data(), static_cast<int32_t>(bytes.size()));
            if (r == NTCP_OK && payload != nullptr && size > 0)
                r = crossSocket_WriteToSocket(context_.socket, payload, size);
        } else {
            NTCPHeader_T h = header;
            r = Protocol_send_ext(&context_, &h, payload, payload != nullptr ? size : 0, nullptr);
        }
        if (r != NTCP_OK)
            dropped_ = true;
        return r == NTCP_OK;
    }
    void drop() override { dropped_ = true; }

private:
    ProtocolContext_T &context_;
    std::string peer_;
    bool dropped_ = false;
};

// ---------------------------------------------------------------- UDP

// One datagram request queued for one camera's answering thread.
struct UdpJob {
    NTCPHeader_T header{};
    std::vector<uint8_t> payload;
    sockaddr_in peer{};
};

class UdpReplier final : public Replier {
public:
    UdpReplier(ProtocolContext_T &context, const sockaddr_in &peer) : context_(context), peer_(peer) {}
    const char *via() const override { return "udp"; }
    std::string peer() const override { return peerText(peer_); }

    bool send(const NTCPHeader_T &header, const uint8_t *payload, int32_t size, Malformed how) override
    {
        std::lock_guard<std::mutex> lock(context_.lock);
        char ip[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &peer_.sin_addr, ip, sizeof ip);
        if (crossSocket_ConnectSocket(context_.socket, ip, ntohs(peer_.sin_port), 0) != NTCP_OK)
            return false;
        if (how == Malformed::None || how == Malformed::Field) {
            NTCPHeader_T h = header;
            return Protocol_send_ext(&context_, &h, payload, payload != nullptr ? size : 0, nullptr) == NTCP_OK;
        }
        // One packet, spoilt: a wrong header magic, or an index past the packet count.
        const auto head = encodeHeader(header, payload != nullptr ? size : 0, how);
        std::vector<uint8_t> message = head;
        if (payload != nullptr && size > 0)
            message.insert(message.end(), payload, payload + size);
        const int32_t length = static_cast<int32_t>(std::min<size_t>(message.size(), kTbpDataSize));
        std::vector<uint8_t> datagram(static_cast<size_t>(kTbpHeaderSize + ((length + 3) & ~3)));
        putWord(&datagram[0], 1);
        putWord(&datagram[4], how == Malformed::Tbp ? 2 : 0);
        putWord(&datagram[8], static_cast<uint32_t>(kTbpHeaderSize + length));
        putWord(&datagram[12], static_cast<uint32_t>(message.size()));
        std::memcpy(&datagram[kTbpHeaderSize], message.data(), static_cast<size_t>(length));
        return crossSocket_WriteToSocket(context_.socket, datagram.data(), static_cast<int32_t>(datagram.size())) ==
               NTCP_OK;
    }
    void drop() override {}

private:
    ProtocolContext_T &context_;
    sockaddr_in peer_;
};

// ---------------------------------------------------------------- the family

class KordexV2Family final : public CameraFamily {
public:
    KordexV2Family(std::vector<CameraConfig> configs, const SimOptions &options, Recorder &recorder)
        : port_(options.port)
    {
        for (auto &c : configs)
            slots_.push_back(std::make_unique<Slot>(std::move(c), recorder));
    }
    ~KordexV2Family() override { stop(); }

    const char *name() const override { return "kordexv2"; }
    bool start(std::string &error) override;
    void stop() override;

private:
    struct Slot {
        Slot(CameraConfig config, Recorder &recorder) : camera(std::move(config), recorder) {}
        Camera camera;
        CrossSocket_T *listener = nullptr;
        CrossSocket_T *reply_socket = nullptr; // datagram answers leave from the camera's own address
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<UdpJob> jobs;
        std::thread worker;
    };
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };

    void receiveDatagrams();
    void acceptConnections(Slot &slot);
    void serveDatagrams(Slot &slot);
    void serveConnection(Slot &slot, CrossSocket_T *socket, std::string peer, Connection &self);
    bool readMessage(const uint8_t *first, int32_t first_length, const sockaddr_in &from, UdpJob &job);
    void reapConnections(bool all);

    uint16_t port_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::atomic<bool> stopping_{false};
    bool started_ = false;
    CrossSocket_T *broadcast_socket_ = nullptr;
    std::thread datagram_thread_;
    std::vector<std::thread> accept_threads_;
    std::mutex connections_mutex_;
    std::list<Connection> connections_;
};

void initContext(ProtocolContext_T &context, CrossSocket_T *socket)
{
    context.socket = socket;
    context.receive_timeout = kReceiveTimeoutMs;
    context.ntcp_id = NTCP_IDENT_DEVICE;
}

bool KordexV2Family::start(std::string &error)
{
    // The wildcard address is the only one that hears 255.255.255.255.
    if (crossSocket_OpenSocket("0.0.0.0", port_, CROSS_SOCKET_UDP, 0, &broadcast_socket_, 0, 0) != NTCP_OK) {
        error = "cannot bind UDP port " + std::to_string(port_);
        return false;
    }
    for (auto &slot : slots_) {
        const std::string &ip = slot->camera.ip();
        if (crossSocket_OpenSocket(ip.c_str(), 0, CROSS_SOCKET_UDP, 0, &slot->reply_socket, 0, 0) != NTCP_OK ||
            crossSocket_OpenSocket(ip.c_str(), port_, CROSS_SOCKET_TCP, CROSS_SOCKET_OPTION_REUSE_ADDRESS,
                                   &slot->listener, 0, 0) != NTCP_OK ||
            crossSocket_ListenSocketTCP(slot->listener) != NTCP_OK) {
            error = "cannot listen on " + ip + ":" + std::to_string(port_) + " (is the address on this host?)";
            stop();
            return false;
        }
    }
    started_ = true;
    for (auto &slot : slots_) {
        Slot *s = slot.get();
        s->worker = std::thread([this, s] { serveDatagrams(*s); });
    }
    datagram_thread_ = std::thread([this] { receiveDatagrams(); });
    for (auto &slot : slots_)
        accept_threads_.emplace_back([this, s = slot.get()] { acceptConnections(*s); });
    return true;
}

void KordexV2Family::stop()
{
    stopping_ = true;
    if (datagram_thread_.joinable())
        datagram_thread_.join();
    for (auto &slot : slots_)
        if (slot->listener != nullptr)
            crossSocket_WakeWaiter(slot->listener);
    for (auto &t : accept_threads_)
        t.join();
    accept_threads_.clear();
    for (auto &slot : slots_) {
        {
            std::lock_guard<std::mutex> lock(slot->mutex);
            slot->wake.notify_all();
        }
        if (slot->worker.joinable())
            slot->worker.join();
    }
    reapConnections(true);
    for (auto &slot : slots_) {
        if (slot->listener != nullptr)
            crossSocket_CloseSocket(&slot->listener);
        if (slot->reply_socket != nullptr)
            crossSocket_CloseSocket(&slot->reply_socket);
    }
    if (broadcast_socket_ != nullptr)
        crossSocket_CloseSocket(&broadcast_socket_);
}

// Reads the packets of one message that began with `first` from `from`, decoding
// each with the library's TBP decoder.
bool KordexV2Family::readMessage(const uint8_t *first, int32_t first_length, const sockaddr_in &from, UdpJob &job)
{
    uint8_t packet[CROSS_SOCKET_READ_SIZE];
    int32_t count = 0;
    uint8_t *payload = nullptr;
    int32_t capacity = 0;
    int32_t filled = 0;
    bool ok = true;
    std::memcpy(packet, first, static_cast<size_t>(first_length));
    int32_t length = first_length;
    for (int32_t index = 0; ok; ++index) {
        if (length < kTbpHeaderSize)
            ok = false;
        else
            ok = DecodeTBPPackets(packet, index, &count, &job.header, &payload, &capacity, &filled) == NTCP_OK;
        if (!ok || index + 1 >= count)
            break;
        // Later packets of the message; other senders' datagrams in between are lost.
        sockaddr_in sender{};
        do {
            length = 0;
            if (crossSocket_ReadFromSocket(broadcast_socket_, kReceiveTimeoutMs, packet, &length, &sender) != NTCP_OK ||
                length == 0)
                ok = false;
        } while (ok && (sender.sin_addr.s_addr != from.sin_addr.s_addr || sender.sin_port != from.sin_port));
    }
    if (ok && payload != nullptr)
        job.payload.assign(payload, payload + job.header.payload_size);
    NTCP_free(reinterpret_cast<void **>(&payload));
    return ok;
}

void KordexV2Family::receiveDatagrams()
{
    uint8_t datagram[CROSS_SOCKET_READ_SIZE];
    while (!stopping_) {
        int32_t length = 0;
        sockaddr_in from{};
        if (crossSocket_ReadFromSocket(broadcast_socket_, 100, datagram, &length, &from) != NTCP_OK || length == 0)
            continue;
        UdpJob job;
        job.peer = from;
        if (!readMessage(datagram, length, from, job))
            continue;
        for (auto &slot : slots_) {
            if (!slot->camera.addressedBy(job.header))
                continue;
            std::lock_guard<std::mutex> lock(slot->mutex);
            slot->jobs.push_back(job);
            slot->wake.notify_all();
        }
    }
}

// Each camera answers its datagrams on a thread of its own, so that one late or
// slow camera does not hold up the others.
void KordexV2Family::serveDatagrams(Slot &slot)
{
    ProtocolContext_T context;
    initContext(context, slot.reply_socket);
    for (;;) {
        UdpJob job;
        {
            std::unique_lock<std::mutex> lock(slot.mutex);
            slot.wake.wait(lock, [&] { return stopping_ || !slot.jobs.empty(); });
            if (stopping_)
                return;
            job = std::move(slot.jobs.front());
            slot.jobs.pop_front();
        }
        UdpReplier replier(context, job.peer);
        Request request;
        request.header = job.header;
        request.payload = job.payload.empty() ? nullptr : job.payload.data();
        request.size = static_cast<int32_t>(job.payload.size());
        slot.camera.handle(request, replier, stopping_);
    }
}

// One acceptor per camera, waiting on its listener: a connection is served the moment
// it arrives, so the simulator adds no delay of its own to a client's open.
void KordexV2Family::acceptConnections(Slot &slot)
{
    while (!stopping_) {
        reapConnections(false);
        if (crossSocket_WaitReadable(slot.listener, 100) != NTCP_OK)
            continue;
        CrossSocket_T *socket = nullptr;
        sockaddr_in peer{};
        if (crossSocket_AcceptSocketTCP(slot.listener, &socket, &peer) != NTCP_OK)
            continue;
        std::lock_guard<std::mutex> lock(connections_mutex_);
        Connection &c = connections_.emplace_back();
        Slot *s = &slot;
        c.thread = std::thread([this, s, socket, p = peerText(peer), &c] { serveConnection(*s, socket, p, c); });
    }
}

void KordexV2Family::reapConnections(bool all)
{
    std::list<Connection> finished;
    {
        std::lock_guard<std::mutex> lock(connections_mutex_);
        for (auto it = connections_.begin(); it != connections_.end();) {
            auto next = std::next(it);
            if (all || it->done)
                finished.splice(finished.end(), connections_, it);
            it = next;
        }
    }
    for (auto &c : finished)
        c.thread.join();
}

void KordexV2Family::serveConnection(Slot &slot, CrossSocket_T *socket, std::string peer, Connection &self)
{
    ProtocolContext_T context;
    initContext(context, socket);
    TcpReplier replier(context, std::move(peer));
    const uint32_t epoch = slot.camera.epoch();
    while (!stopping_ && !replier.dropped() && slot.camera.epoch() == epoch) {
        Request request;
        uint8_t *payload = nullptr;
        int32_t r = NTCP_OK;
        {
            std::lock_guard<std::mutex> lock(context.lock);
            r = Protocol_recv_ext(&context, &request.header, &payload, &request.size, 0);
        }
        if (r == NTCP_ERR_TIMEOUT)
            continue;
        if (r != NTCP_OK)
            break; // closed, or bytes that are no message: the stream cannot be trusted any more
        request.payload = payload;
        slot.camera.handle(request, replier, stopping_);
        NTCP_free(reinterpret_cast<void **>(&payload));
    }
    crossSocket_CloseSocket(&context.socket);
    self.done = true;
}

} // namespace

std::unique_ptr<CameraFamily> makeKordexV2Family(std::vector<CameraConfig> cameras, const SimOptions &options,
                                                 Recorder &recorder)
{
    return std::make_unique<KordexV2Family>(std::move(cameras), options, recorder);
}

std::unique_ptr<CameraFamily> makeFamily(const std::string &name, std::vector<CameraConfig> cameras,
                                         const SimOptions &options, Recorder &recorder, std::string &error)
{
    if (name == "kordexv2")
        return makeKordexV2Family(std::move(cameras), options, recorder);
    error = "camera family not served yet: " + name + " (served: kordexv2)";
    return nullptr;
}

} // namespace camsim
