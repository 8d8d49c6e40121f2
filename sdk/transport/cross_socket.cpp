#include "transport/cross_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <new>

#include "runtime/cross_sys.h"

struct CrossSocket_T {
    uint32_t magic;
    int socket;
    std::mutex lock;
    uint32_t protocol;
    char local_address[CROSS_SOCKET_ADDRESS_SIZE];
    uint16_t local_port;
    char remote_address[CROSS_SOCKET_ADDRESS_SIZE];
    uint16_t remote_port;
    sockaddr_in remote; /* where datagrams of protocol 1 go */
    /* Ends a crossSocket_WaitReadable early: a pipe made by the first wait, its
     * read end polled beside the socket; before that a pending flag does. */
    int wake_read = -1;
    int wake_write = -1;
    bool wake_pending = false;
};

namespace {

constexpr int kInvalidSocket = -1;

// Set once the platform socket library has been started; starting it twice is harmless.
std::atomic<bool> initDone{false};

using Lock = std::lock_guard<std::mutex>;

// The three error classes the layer tells apart.
bool would_block(int e) { return e == EWOULDBLOCK || e == EAGAIN || e == EINPROGRESS; }
bool connection_reset(int e) { return e == ECONNRESET; }
bool no_longer_valid(int e) { return e == EBADF || e == ENOTSOCK; }

CrossSocket_T *_GetSocketStruct(CrossSocket_T *socket)
{
    return socket != nullptr && socket->magic == CROSS_SOCKET_MAGIC ? socket : nullptr;
}

// inet_addr semantics: strict dotted IPv4 text, and the all-ones address is refused
// because inet_addr cannot tell it from its own failure value.
bool parse_address(const char *text, in_addr *address)
{
    return text != nullptr && inet_pton(AF_INET, text, address) == 1 &&
           address->s_addr != htonl(INADDR_NONE);
}

void copy_address_text(char *dst, const char *src)
{
    strncpy(dst, src, CROSS_SOCKET_ADDRESS_SIZE - 1);
    dst[CROSS_SOCKET_ADDRESS_SIZE - 1] = '\0';
}

int clamp_ms(uint64_t ms) { return ms > INT_MAX ? INT_MAX : static_cast<int>(ms); }

// Waits for the events of `count` descriptors; poll instead of select so that
// descriptors past FD_SETSIZE are safe. A signal does not shorten the wait. >0 ready,
// 0 time-out, <0 error.
int wait_any(pollfd *p, nfds_t count, int timeout_ms)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    for (;;) {
        const int r = poll(p, count, timeout_ms);
        if (r >= 0 || errno != EINTR)
            return r;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        timeout_ms = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
}

int wait_ready(int fd, short events, int timeout_ms)
{
    pollfd p{fd, events, 0};
    return wait_any(&p, 1, timeout_ms);
}

// The wake pipe of a locked handle, made on first use; false when it cannot be made.
bool has_wake_pipe(CrossSocket_T *s)
{
    if (s->wake_read != kInvalidSocket)
        return true;
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0)
        return false;
    s->wake_read = ends[0];
    s->wake_write = ends[1];
    return true;
}

// Takes every wake byte, so that one wake ends one wait.
void drain_wake_pipe(int fd)
{
    char bytes[16];
    while (read(fd, bytes, sizeof bytes) > 0) {
    }
}

void close_wake_pipe(CrossSocket_T *s)
{
    for (int *fd : {&s->wake_read, &s->wake_write}) {
        if (*fd != kInvalidSocket)
            close(*fd);
        *fd = kInvalidSocket;
    }
}

bool set_blocking(int fd, bool blocking)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return wanted == flags || fcntl(fd, F_SETFL, wanted) == 0;
}

bool set_int_option(int fd, int level, int name, int value)
{
    return setsockopt(fd, level, name, &value, sizeof value) == 0;
}

bool set_buffer_size(int fd, int name, int32_t kib)
{
    if (kib <= 0)
        return true;
    const int64_t bytes = static_cast<int64_t>(kib) * 1024;
    return set_int_option(fd, SOL_SOCKET, name, bytes > INT_MAX ? INT_MAX : static_cast<int>(bytes));
}

// Sends one buffer on a locked handle: one send (TCP) or one datagram (UDP). The
// datalink writer reports a failed TCP send with the chunk's length and address.
int32_t send_locked(CrossSocket_T *s, const void *data, int32_t length, bool datalink)
{
    ssize_t n;
    if (s->protocol == CROSS_SOCKET_TCP) {
        do
            n = send(s->socket, data, static_cast<size_t>(length), MSG_NOSIGNAL);
        while (n < 0 && errno == EINTR);
        if (n < 0) {
            const int e = errno;
            if (connection_reset(e)) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): Connection reset by peer");
                return NTCP_ERR_CLOSED;
            }
            if (datalink)
                ntcp_printf(NTCP_SEVERITY_ERROR,
                            "crossSocket_WriteToSocket(): send() of %lu bytes (addr:%X) failed, errno:%lu-%s",
                            static_cast<unsigned long>(length),
                            static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)),
                            static_cast<unsigned long>(e), strerror(e));
            else
                ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): send() failed");
            return NTCP_ERR_IO;
        }
        if (n < length) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): send() %ld < %ld",
                        static_cast<long>(n), static_cast<long>(length));
            return NTCP_ERR_TIMEOUT;
        }
        return NTCP_OK;
    }

    sockaddr_in to = s->remote;
    if (s->protocol == CROSS_SOCKET_UDP_BROADCAST)
        to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    do
        n = sendto(s->socket, data, static_cast<size_t>(length), MSG_NOSIGNAL,
                   reinterpret_cast<const sockaddr *>(&to), sizeof to);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        if (connection_reset(errno)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): Connection reset by peer");
            return NTCP_ERR_CLOSED;
        }
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): sendto() failed");
        return NTCP_ERR_IO;
    }
    if (n < length) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): sendto() %ld < %ld",
                    static_cast<long>(n), static_cast<long>(length));
        return NTCP_ERR_TIMEOUT;
    }
    return NTCP_OK;
}

// Clean-up of a failed open: the socket (when made) and the record go.
int32_t discard_open(CrossSocket_T *s, int32_t result)
{
    if (s->socket != kInvalidSocket && close(s->socket) != 0)
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_CloseSocket(): close failed");
    delete s;
    return result;
}

} // namespace

extern "C" int32_t crossSocket_InitWinSock(void)
{
    // POSIX sockets need no start-up.
    return NTCP_OK;
}

extern "C" int32_t crossSocket_OpenSocket(const char *local_address, uint16_t local_port,
                                          uint32_t protocol, uint32_t options, CrossSocket_T **out,
                                          int32_t rx_kib, int32_t tx_kib)
{
    if (out == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): NULL pointer");
        return NTCP_ERR_NULL_PARAMETER;
    }
    auto *s = new (std::nothrow) CrossSocket_T{};
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): calloc failed");
        return NTCP_ERR_ALLOC;
    }
    s->magic = CROSS_SOCKET_MAGIC;
    s->socket = kInvalidSocket;

    if (!initDone.load(std::memory_order_relaxed)) {
        if (crossSocket_InitWinSock() != NTCP_OK) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): crossSocket_InitWinSock() failed");
            return discard_open(s, NTCP_ERR_SOCKET_STARTUP);
        }
        initDone.store(true, std::memory_order_relaxed);
    }

    int type;
    switch (protocol) {
    case CROSS_SOCKET_UDP:
    case CROSS_SOCKET_UDP_BROADCAST: type = SOCK_DGRAM; break;
    case CROSS_SOCKET_TCP: type = SOCK_STREAM; break;
    default:
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): invalid protocol %d", static_cast<int>(protocol));
        return discard_open(s, NTCP_ERR_RANGE);
    }

    // Close-on-exec: the library's sockets must not leak into child processes.
    s->socket = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (s->socket == kInvalidSocket) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): socket() failed");
        return discard_open(s, NTCP_ERR_SOCKET);
    }
    if (!set_buffer_size(s->socket, SO_RCVBUF, rx_kib)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): rx setsockopt() failed");
        return discard_open(s, NTCP_ERR_SOCKET);
    }
    if (!set_buffer_size(s->socket, SO_SNDBUF, tx_kib)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): tx setsockopt() failed");
        return discard_open(s, NTCP_ERR_SOCKET);
    }
    if (protocol != CROSS_SOCKET_TCP) {
        if (!set_int_option(s->socket, SOL_SOCKET, SO_BROADCAST, protocol == CROSS_SOCKET_UDP_BROADCAST)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): SO_BROADCAST setsockopt() failed");
            return discard_open(s, NTCP_ERR_SOCKET);
        }
    } else {
        if (!set_int_option(s->socket, IPPROTO_TCP, TCP_NODELAY, 1)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): TCP_NODELAY setsockopt() failed");
            return discard_open(s, NTCP_ERR_SOCKET);
        }
        if ((options & CROSS_SOCKET_OPTION_REUSE_ADDRESS) != 0 &&
            !set_int_option(s->socket, SOL_SOCKET, SO_REUSEADDR, 1)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): SO_REUSEADDR setsockopt() failed");
            return discard_open(s, NTCP_ERR_SOCKET);
        }
    }

    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(local_port);
    if (!parse_address(local_address, &local.sin_addr)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): inet_addr() failed");
        return discard_open(s, NTCP_ERR_ADDRESS);
    }
    if (bind(s->socket, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_OpenSocket(): bind() failed");
        return discard_open(s, NTCP_ERR_BIND);
    }

    copy_address_text(s->local_address, local_address);
    s->local_port = local_port;
    s->protocol = protocol;
    *out = s;
    return NTCP_OK;
}

extern "C" int32_t crossSocket_ConnectSocket(CrossSocket_T *socket, const char *remote_address,
                                             uint16_t remote_port, uint32_t timeout_us)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): _GetSocketStruct() failed");
        return NTCP_ERR_HANDLE;
    }
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(remote_port);
    if (!parse_address(remote_address, &remote.sin_addr)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): inet_addr() failed");
        return NTCP_ERR_ADDRESS;
    }

    Lock lock(s->lock);
    if (s->protocol == CROSS_SOCKET_TCP) {
        if (!set_blocking(s->socket, false)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): ioctlsocket() failed");
            return NTCP_ERR_SOCKET;
        }
        if (connect(s->socket, reinterpret_cast<const sockaddr *>(&remote), sizeof remote) != 0) {
            const int e = errno;
            // Already connecting or connected: nothing to wait for. An interrupted
            // connect goes on in the background, so it is waited for like one in progress.
            if (e != EALREADY && e != EISCONN) {
                if (!would_block(e) && e != EINTR) {
                    ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): connect() failed");
                    return NTCP_ERR_NULL_PARAMETER;
                }
                if (timeout_us == 0)
                    timeout_us = CROSS_SOCKET_DEFAULT_CONNECT_TIMEOUT_US;
                const int r = wait_ready(s->socket, POLLOUT, clamp_ms((uint64_t{timeout_us} + 999) / 1000));
                if (r < 0) {
                    ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): select failed %d", errno);
                    return NTCP_ERR_SOCKET;
                }
                if (r == 0) {
                    ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): poll timeout (%d) %s",
                                static_cast<int>(timeout_us / 1000), remote_address);
                    return NTCP_ERR_TIMEOUT;
                }
                // A POSIX socket also turns writable when the connect failed; a refused
                // connection must not be reported as made.
                int pending = 0;
                socklen_t len = sizeof pending;
                if (getsockopt(s->socket, SOL_SOCKET, SO_ERROR, &pending, &len) != 0 || pending != 0) {
                    ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): connect() failed");
                    return NTCP_ERR_NULL_PARAMETER;
                }
            }
        }
        if (!set_blocking(s->socket, true)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "ConnectSocketTCP(): ioctlsocket() failed");
            return NTCP_ERR_SOCKET;
        }
    }
    copy_address_text(s->remote_address, remote_address);
    s->remote_port = remote_port;
    s->remote = remote;
    return NTCP_OK;
}

extern "C" int32_t crossSocket_ListenSocketTCP(CrossSocket_T *socket)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ListenSocketTCP(): _GetSocketStruct() failed");
        return NTCP_ERR_HANDLE;
    }
    Lock lock(s->lock);
    if (s->protocol != CROSS_SOCKET_TCP) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ListenSocketTCP(): Wrong protocol");
        return NTCP_ERR_IO;
    }
    return listen(s->socket, 0) == 0 ? NTCP_OK : NTCP_ERR_IO;
}

extern "C" int32_t crossSocket_AcceptSocketTCP(CrossSocket_T *socket, CrossSocket_T **out,
                                               struct sockaddr_in *peer)
{
    if (out == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_AcceptSocketTCP(): NULL paramter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_AcceptSocketTCP(): _GetSocketStruct() failed");
        return NTCP_ERR_HANDLE;
    }
    Lock lock(s->lock);
    if (s->protocol != CROSS_SOCKET_TCP) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_AcceptSocketTCP(): Wrong protocol");
        return NTCP_ERR_IO;
    }
    if (!set_blocking(s->socket, false)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_AcceptSocketTCP(): ioctlsocket() failed");
        return NTCP_ERR_SOCKET;
    }
    sockaddr_in from{};
    socklen_t from_len = sizeof from;
    int fd;
    do
        fd = accept4(s->socket, reinterpret_cast<sockaddr *>(&from), &from_len, SOCK_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    const int e = errno;
    if (!set_blocking(s->socket, true)) {
        if (fd >= 0)
            close(fd);
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_AcceptSocketTCP(): ioctlsocket() failed");
        return NTCP_ERR_SOCKET;
    }
    if (fd < 0) {
        if (would_block(e))
            return NTCP_ERR_NO_CONNECTION;
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_AcceptSocketTCP(): no connection available (errno: %d)", e);
        return NTCP_ERR_IO;
    }
    auto *a = new (std::nothrow) CrossSocket_T{};
    if (a == nullptr) {
        close(fd);
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_AcceptSocketTCP(): calloc failed");
        return NTCP_ERR_ALLOC;
    }
    a->magic = CROSS_SOCKET_MAGIC;
    a->socket = fd;
    a->protocol = s->protocol;
    memcpy(a->local_address, s->local_address, sizeof a->local_address);
    a->local_port = s->local_port;
    inet_ntop(AF_INET, &from.sin_addr, a->remote_address, sizeof a->remote_address);
    a->remote_port = ntohs(from.sin_port);
    a->remote = from;
    if (peer != nullptr)
        *peer = from;
    *out = a;
    return NTCP_OK;
}

extern "C" int32_t crossSocket_ReadFromSocket(CrossSocket_T *socket, uint32_t timeout_ms, uint8_t *buffer,
                                              int32_t *length, struct sockaddr_in *sender)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocket(): _GetSocketStruct failed");
        return NTCP_ERR_HANDLE;
    }
    if (buffer == nullptr || length == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocket(): NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    Lock lock(s->lock);
    *length = 0;
    const int r = wait_ready(s->socket, POLLIN, clamp_ms(timeout_ms));
    if (r < 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocket(): select failed");
        return NTCP_ERR_SOCKET;
    }
    if (r == 0)
        return NTCP_OK;

    ssize_t n;
    if (s->protocol == CROSS_SOCKET_TCP) {
        do
            n = recv(s->socket, buffer, CROSS_SOCKET_READ_SIZE, 0);
        while (n < 0 && errno == EINTR);
    } else {
        sockaddr_in from{};
        socklen_t from_len = sizeof from;
        do
            n = recvfrom(s->socket, buffer, CROSS_SOCKET_READ_SIZE, 0, reinterpret_cast<sockaddr *>(&from),
                         &from_len);
        while (n < 0 && errno == EINTR);
        if (n > 0 && sender != nullptr)
            *sender = from;
    }
    if (n == 0)
        return NTCP_ERR_CLOSED;
    if (n < 0) {
        const int e = errno;
        if (would_block(e)) // readiness was spurious: nothing arrived
            return NTCP_OK;
        if (connection_reset(e)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocket(): Connection reset by peer");
            return NTCP_ERR_CLOSED;
        }
        if (s->protocol == CROSS_SOCKET_TCP)
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocket(): recv failed");
        else
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocket(): recvfrom failed errno: %d", e);
        return NTCP_ERR_IO;
    }
    *length = static_cast<int32_t>(n);
    return NTCP_OK;
}

extern "C" int32_t crossSocket_WaitReadable(CrossSocket_T *socket, uint32_t timeout_ms)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WaitReadable(): _GetSocketStruct failed");
        return NTCP_ERR_HANDLE;
    }
    pollfd p[2] = {{kInvalidSocket, POLLIN, 0}, {kInvalidSocket, POLLIN, 0}};
    {
        Lock lock(s->lock);
        if (s->wake_pending) {
            s->wake_pending = false;
            return NTCP_ERR_TIMEOUT;
        }
        if (!has_wake_pipe(s)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WaitReadable(): pipe failed");
            return NTCP_ERR_SOCKET;
        }
        p[0].fd = s->socket;
        p[1].fd = s->wake_read;
    }
    // The lock is not held while waiting: a sender on another thread goes first.
    if (wait_any(p, 2, clamp_ms(timeout_ms)) < 0) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WaitReadable(): poll failed");
        return NTCP_ERR_SOCKET;
    }
    if (p[1].revents != 0)
        drain_wake_pipe(p[1].fd);
    // A closed or failed connection counts as readable: the read reports it.
    return p[0].revents != 0 ? NTCP_OK : NTCP_ERR_TIMEOUT;
}

extern "C" int32_t crossSocket_WakeWaiter(CrossSocket_T *socket)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WakeWaiter(): _GetSocketStruct failed");
        return NTCP_ERR_HANDLE;
    }
    Lock lock(s->lock);
    if (s->wake_write == kInvalidSocket) {
        s->wake_pending = true;
        return NTCP_OK;
    }
    // A full pipe already holds a wake.
    const char byte = 1;
    ssize_t n;
    do
        n = write(s->wake_write, &byte, 1);
    while (n < 0 && errno == EINTR);
    return NTCP_OK;
}

extern "C" int32_t crossSocket_ReadFromSocketLenght(CrossSocket_T *socket, uint32_t timeout_ms,
                                                    uint8_t *buffer, int32_t wanted, int32_t *received)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocketLenght(): _GetSocketStruct failed");
        return NTCP_ERR_HANDLE;
    }
    if (received == nullptr || (buffer == nullptr && wanted > 0)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocketLenght(): NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    Lock lock(s->lock);
    if (s->protocol != CROSS_SOCKET_TCP) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocketLenght(): Protocolo not supported by this function");
        return NTCP_ERR_UNSUPPORTED;
    }
    *received = 0;
    int32_t got = 0;
    while (got < wanted) {
        // Each piece gets the full time-out again.
        const int r = wait_ready(s->socket, POLLIN, clamp_ms(timeout_ms));
        if (r < 0) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocketLenght(): select failed");
            return NTCP_ERR_IO;
        }
        if (r == 0) {
            *received = 0;
            return NTCP_ERR_TIMEOUT;
        }
        const ssize_t n = recv(s->socket, buffer + got, static_cast<size_t>(wanted - got), 0);
        if (n == 0)
            return NTCP_ERR_CLOSED;
        if (n < 0) {
            const int e = errno;
            if (e == EINTR || would_block(e))
                continue;
            if (no_longer_valid(e))
                return NTCP_ERR_CLOSED;
            if (connection_reset(e)) {
                ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocketLenght(): Connection reset by peer");
                return NTCP_ERR_CLOSED;
            }
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_ReadFromSocketLenght(): recv failed (errno: %d)", e);
            return NTCP_ERR_IO;
        }
        got += static_cast<int32_t>(n);
        *received = got;
    }
    return NTCP_OK;
}

extern "C" int32_t crossSocket_WriteToSocket(CrossSocket_T *socket, const void *data, int32_t length)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): _GetSocketStruct failed");
        return NTCP_ERR_REFUSED;
    }
    if (length < 0 || (data == nullptr && length > 0)) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    Lock lock(s->lock);
    return send_locked(s, data, length, false);
}

extern "C" int32_t crossSocket_WriteDatalinkToSocket(CrossSocket_T *socket, const DatalinkList_T *list,
                                                     CrossSocketProgress_T progress)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): _GetSocketStruct failed");
        return NTCP_ERR_HANDLE;
    }
    if (list == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): NULL parameter");
        return NTCP_ERR_NULL_PARAMETER;
    }
    // The whole list is checked before anything goes out, so a bad chunk never
    // leaves half a message on the wire.
    if (list->count < 0 || list->count > CROSS_SOCKET_MAX_DATALINKS) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): invalid datalink count %d", list->count);
        return NTCP_ERR_RANGE;
    }
    for (int32_t i = 0; i < list->count; ++i) {
        if (list->lengths[i] < 0 || (list->data[i] == nullptr && list->lengths[i] > 0)) {
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_WriteToSocket(): invalid datalink %d", i);
            return NTCP_ERR_RANGE;
        }
    }
    Lock lock(s->lock);
    int32_t sent = 0;
    for (int32_t i = 0; i < list->count; ++i) {
        const int32_t rc = send_locked(s, list->data[i], list->lengths[i], true);
        if (rc != NTCP_OK)
            return rc;
        sent += list->lengths[i];
        if (progress != nullptr)
            progress(sent, list->total);
    }
    return NTCP_OK;
}

extern "C" int32_t crossSocket_CloseSocket(CrossSocket_T **socket)
{
    CrossSocket_T *s = socket != nullptr ? _GetSocketStruct(*socket) : nullptr;
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_CloseSocket(): _GetSocketStruct failed");
        return NTCP_ERR_HANDLE;
    }
    {
        // Waits for an operation still running on another thread; starting one after
        // the close is the caller's fault and cannot be caught here.
        Lock lock(s->lock);
        if (s->socket != kInvalidSocket && close(s->socket) != 0)
            ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_CloseSocket(): close failed");
        s->socket = kInvalidSocket;
        close_wake_pipe(s);
        s->magic += 1;
    }
    delete s;
    *socket = nullptr;
    return NTCP_OK;
}

extern "C" int32_t crossSocket_GetSocketProtocol(CrossSocket_T *socket)
{
    CrossSocket_T *s = _GetSocketStruct(socket);
    if (s == nullptr) {
        ntcp_printf(NTCP_SEVERITY_ERROR, "crossSocket_GetSocketProtocol(): _GetSocketStruct() failed");
        return -1;
    }
    Lock lock(s->lock);
    return static_cast<int32_t>(s->protocol);
}
