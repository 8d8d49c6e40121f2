// Throughput of Protocol_send_ext for one 64 MiB payload over TCP on loopback, beside
// a plain send loop of the same number of bytes on a second connection, in the same
// run. Each side's receiver drains on a thread of its own; a send counts as done when
// its receiver has every byte. Best of several rounds.
//
//   unshare --net -- bash -c 'ip link set lo up && protocol_send_bench [rounds]'
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/cross_sys.h"
#include "transport/protocols.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kPayload = 64 * 1024 * 1024;
constexpr uint16_t kPort = 42000;

[[noreturn]] void die(const char *what)
{
    perror(what);
    exit(1);
}

sockaddr_in loopback(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// Counts every byte that arrives on one accepted connection until it closes.
struct Drain {
    std::atomic<uint64_t> bytes{0};
    std::thread thread;

    explicit Drain(int fd)
    {
        thread = std::thread([this, fd] {
            std::vector<uint8_t> buffer(1 << 20);
            for (;;) {
                const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
                if (n <= 0)
                    break;
                bytes.fetch_add(static_cast<uint64_t>(n), std::memory_order_release);
            }
            close(fd);
        });
    }
    ~Drain() { thread.join(); }

    void wait_for(uint64_t total) const
    {
        while (bytes.load(std::memory_order_acquire) < total)
            std::this_thread::yield();
    }
};

// Seconds from the start of `send` until `drain` holds `count` more bytes.
template <typename F> double timed(Drain &drain, uint64_t count, F &&send)
{
    const uint64_t target = drain.bytes.load() + count;
    const auto start = Clock::now();
    send();
    drain.wait_for(target);
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 && atoi(argv[1]) > 0 ? atoi(argv[1]) : 21;
    ntcp_printf_set_level(0);

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in at = loopback(kPort);
    if (bind(listener, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0 || listen(listener, 4) != 0)
        die("listen");

    // Connection of the library: a socket of its own layer, as the NTCP client opens it.
    CrossSocket_T *socket = nullptr;
    if (crossSocket_OpenSocket("127.0.0.1", 0, CROSS_SOCKET_TCP, 0, &socket, 0, 0) != NTCP_OK ||
        crossSocket_ConnectSocket(socket, "127.0.0.1", kPort, 0) != NTCP_OK)
        die("library connection");
    Drain library_drain(accept(listener, nullptr, nullptr));

    // Plain connection with the same no-delay option.
    const int plain_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    setsockopt(plain_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (connect(plain_fd, reinterpret_cast<sockaddr *>(&at), sizeof at) != 0)
        die("plain connection");
    Drain plain_drain(accept(listener, nullptr, nullptr));

    std::vector<uint8_t> payload(kPayload);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 131);

    ProtocolContext_T context;
    context.socket = socket;
    context.ntcp_id = NTCP_IDENT_DEVICE;
    context.receive_timeout = 2000;

    // The message: the 40-byte header of the update command, then the payload.
    int32_t header_length = 0;
    {
        NTCPHeader_T probe{};
        probe.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_PAYLOAD_SIZE;
        probe.ntcp_id = NTCP_IDENT_DEVICE;
        probe.command = NTCP_CMD_UPDATE_START;
        probe.payload_size = kPayload;
        uint8_t head[NTCP_SEND_HEADER_BUFFER_SIZE];
        NTCP_SetCommandHeader(head, &header_length, sizeof head, &probe);
    }
    const uint64_t message = static_cast<uint64_t>(header_length) + kPayload;

    std::vector<double> library_s, plain_s;
    for (int round = 0; round < rounds; ++round) {
        const double library = timed(library_drain, message, [&] {
            NTCPHeader_T h{};
            h.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND;
            h.ntcp_id = NTCP_IDENT_DEVICE;
            h.command = NTCP_CMD_UPDATE_START;
            std::lock_guard<std::mutex> lock(context.lock);
            if (Protocol_send_ext(&context, &h, payload.data(), kPayload, nullptr) != NTCP_OK)
                die("Protocol_send_ext");
        });
        const double plain = timed(plain_drain, message, [&] {
            // Header bytes are part of the count; the payload memory stands in for them.
            uint64_t left = message;
            const uint8_t *p = payload.data();
            uint64_t off = 0;
            while (left > 0) {
                const size_t n = left > payload.size() - off ? payload.size() - off : left;
                const ssize_t sent = send(plain_fd, p + off, n, MSG_NOSIGNAL);
                if (sent <= 0)
                    die("send");
                left -= static_cast<uint64_t>(sent);
                off = (off + static_cast<uint64_t>(sent)) % payload.size();
            }
        });
        library_s.push_back(library);
        plain_s.push_back(plain);
    }
    std::sort(library_s.begin(), library_s.end());
    std::sort(plain_s.begin(), plain_s.end());

    const double mib = static_cast<double>(message) / (1024.0 * 1024.0);
    const double best_library = library_s.front(), best_plain = plain_s.front();
    const double median_library = library_s[library_s.size() / 2], median_plain = plain_s[plain_s.size() / 2];
    printf("message: %d-byte header + %d-byte payload, %d rounds\n", header_length, kPayload, rounds);
    printf("                   %12s %12s\n", "best", "median");
    printf("Protocol_send_ext: %7.1f MiB/s %7.1f MiB/s\n", mib / best_library, mib / median_library);
    printf("plain send loop:   %7.1f MiB/s %7.1f MiB/s\n", mib / best_plain, mib / median_plain);
    printf("ratio:             %12.3f %12.3f\n", best_plain / best_library, median_plain / median_library);

    crossSocket_CloseSocket(&socket);
    close(plain_fd);
    close(listener);
    return 0;
}
