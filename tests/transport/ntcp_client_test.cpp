// The NTCP client against a small camera of the test's own: a thread behind a
// loopback socket that reads requests and answers them with the library's own
// header and framing functions. Broadcasts go out on a veth adapter of the test's
// network namespace.
#include "transport/ntcp_client.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "loopback.h"
#include "transport/mirovant.h"

using namespace loopback;

// ---- thread creation faults ----
// Every thread of this program is created through this pthread_create, which
// passes on to the real one unless a test asked for the next creation to fail or
// to start late.

namespace {

enum ThreadFault { kNoFault, kFailCreate, kStartLate };
std::atomic<int> g_thread_fault{kNoFault};
constexpr int kLateStartMs = 700;

struct LateStart {
    void *(*routine)(void *);
    void *arg;
};

void *start_late(void *p)
{
    const LateStart late = *static_cast<LateStart *>(p);
    delete static_cast<LateStart *>(p);
    std::this_thread::sleep_for(std::chrono::milliseconds(kLateStartMs));
    return late.routine(late.arg);
}

} // namespace

extern "C" int pthread_create(pthread_t *thread, const pthread_attr_t *attr, void *(*routine)(void *), void *arg)
{
    using Create = int (*)(pthread_t *, const pthread_attr_t *, void *(*)(void *), void *);
    static const Create real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
    switch (g_thread_fault.exchange(kNoFault)) {
    case kFailCreate:
        return EAGAIN;
    case kStartLate:
        return real(thread, attr, start_late, new LateStart{routine, arg});
    default:
        return real(thread, attr, routine, arg);
    }
}

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int32_t kGetInfo = NTCP_CMD_GET_DEVICE_INFO;
constexpr int32_t kReboot = NTCP_CMD_REBOOT;
constexpr int32_t kStart = NTCP_CMD_UPDATE_START;
constexpr int32_t kData = NTCP_CMD_UPDATE_DATA;
constexpr int32_t kEnd = NTCP_CMD_UPDATE_END;
// A received NTCP header always reads with NTCP id, command and payload size.
constexpr uint32_t kReceivedFlags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_PAYLOAD_SIZE;

long ms_since(Clock::time_point t)
{
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - t).count());
}

// Polls `done` every 5 ms for up to `timeout_ms`.
bool eventually(const std::function<bool()> &done, int timeout_ms = 3000)
{
    const auto start = Clock::now();
    while (!done()) {
        if (ms_since(start) > timeout_ms)
            return false;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

int entries_of(const char *folder)
{
    int n = 0;
    if (DIR *d = opendir(folder)) {
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

int thread_count()
{
    return entries_of("/proc/self/task");
}

int open_descriptors()
{
    return entries_of("/proc/self/fd") - 1; // the listing's own descriptor
}

// An answer as a camera writes it: NTCP id 4096, the request's command, the
// response field and, when refused, the error field.
NTCPHeader_T answer_header(int32_t command, int32_t error = 0)
{
    NTCPHeader_T h{};
    h.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_RESPONSE;
    h.ntcp_id = NTCP_IDENT_DEVICE;
    h.command = command;
    if (error != 0) {
        h.flags |= NTCP_FLAG_ERROR;
        h.error = error;
    }
    return h;
}

struct Message {
    NTCPHeader_T header{};
    Bytes payload;
    Clock::time_point at;
};

// The camera side of one TCP connection. `handler` runs on the camera's thread for
// every message it receives; by default keep-alives and commands are answered.
class Peer {
public:
    using Handler = std::function<void(Peer &, const Message &)>;

    static void answer_all(Peer &peer, const Message &m) { peer.send(answer_header(m.header.command)); }

    explicit Peer(Handler handler = answer_all) : handler_(std::move(handler))
    {
        listener_ = open_socket(CROSS_SOCKET_TCP, kAddress, kListenPort);
        EXPECT_EQ(crossSocket_ListenSocketTCP(listener_), 0);
        context_.ntcp_id = NTCP_IDENT_DEVICE;
        context_.receive_timeout = 2000;
        thread_ = std::thread([this] { run(); });
    }
    ~Peer()
    {
        stop_ = true;
        thread_.join();
        if (context_.socket != nullptr)
            crossSocket_CloseSocket(&context_.socket);
        crossSocket_CloseSocket(&listener_);
    }
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    void send(NTCPHeader_T header, const Bytes &payload = {})
    {
        std::lock_guard<std::mutex> guard(context_.lock);
        if (context_.socket != nullptr) {
            EXPECT_EQ(Protocol_send_ext(&context_, &header, payload.empty() ? nullptr : payload.data(),
                                        static_cast<int32_t>(payload.size()), nullptr),
                      0);
        }
    }
    void send(int32_t command, const Bytes &payload = {}) { send(answer_header(command), payload); }

    // Closes the connection from the camera's side.
    void hang_up() { hang_up_ = true; }

    std::vector<Message> received()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return log_;
    }
    std::vector<Message> received(int32_t command)
    {
        std::vector<Message> out;
        for (const Message &m : received())
            if (m.header.command == command)
                out.push_back(m);
        return out;
    }

private:
    // Serves one connection after the other, as clients open and close.
    void run()
    {
        while (!stop_) {
            CrossSocket_T *server = nullptr;
            if (crossSocket_AcceptSocketTCP(listener_, &server, nullptr) != 0) {
                std::this_thread::sleep_for(milliseconds(2));
                continue;
            }
            {
                std::lock_guard<std::mutex> guard(context_.lock);
                context_.socket = server;
            }
            serve();
            std::lock_guard<std::mutex> guard(context_.lock);
            crossSocket_CloseSocket(&context_.socket);
        }
    }

    void serve()
    {
        while (!stop_) {
            if (hang_up_.exchange(false))
                return;
            Message m;
            uint8_t *payload = nullptr;
            int32_t size = 0;
            int32_t rc;
            {
                std::lock_guard<std::mutex> guard(context_.lock);
                rc = Protocol_recv_ext(&context_, &m.header, &payload, &size, 0);
            }
            if (rc == NTCP_ERR_TIMEOUT)
                continue;
            if (rc != 0)
                return;
            m.payload.assign(payload, payload + size);
            m.at = Clock::now();
            free(payload);
            {
                std::lock_guard<std::mutex> guard(mutex_);
                log_.push_back(m);
            }
            handler_(*this, m);
        }
    }

    Handler handler_;
    CrossSocket_T *listener_ = nullptr;
    ProtocolContext_T context_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hang_up_{false};
    std::mutex mutex_;
    std::vector<Message> log_;
};

struct ClientCloser {
    void operator()(NTCPClient_T *c) const
    {
        if (c != nullptr) {
            EXPECT_EQ(NTCP_client_close(&c), 0);
        }
    }
};
using Client = std::unique_ptr<NTCPClient_T, ClientCloser>;

Client open_client(int32_t answer_timeout = 1000, int32_t keepalive = 0, int32_t ntcp_id = NTCP_IDENT_DEVICE)
{
    int32_t error = -1;
    NTCPClient_T *c = NTCP_client_open(kAddress, kAddress, kListenPort, answer_timeout, ntcp_id, 0, keepalive, &error);
    EXPECT_EQ(error, 0);
    EXPECT_NE(c, nullptr);
    return Client(c);
}

int32_t connected(NTCPClient_T *c)
{
    int32_t flag = -1;
    EXPECT_EQ(NTCP_client_is_connected(c, &flag), 0);
    return flag;
}

// Waits until the client's answer queue holds `n` entries: everything the camera
// sent before them has been routed.
void wait_for_answers(NTCPClient_T *c, int32_t n)
{
    ASSERT_TRUE(eventually([&] { return fifo_get_count(c->answers) >= n; }));
}

// ================================================================== open

TEST(NtcpClientOpen, RefusesMissingArguments)
{
    EXPECT_EQ(NTCP_client_open(kAddress, kAddress, kListenPort, 1000, 4096, 0, 0, nullptr), nullptr);
    int32_t error = -1;
    std::string out = printed([&] {
        EXPECT_EQ(NTCP_client_open(nullptr, kAddress, kListenPort, 1000, 4096, 0, 0, &error), nullptr);
    });
    EXPECT_EQ(error, NTCP_ERR_NULL_PARAMETER);
    EXPECT_EQ(out, error_line("NTCP_client_open: NULL parameters"));
    EXPECT_EQ(NTCP_client_open_send_only(kAddress, nullptr, kListenPort, 1000, 4096, 0, &error), nullptr);
    EXPECT_EQ(error, NTCP_ERR_NULL_PARAMETER);
}

TEST(NtcpClientOpen, SocketFailuresComeBackWithTheSocketLayersResult)
{
    int32_t error = -1;
    std::string out = printed([&] {
        EXPECT_EQ(NTCP_client_open("not an address", kAddress, kListenPort, 1000, 4096, 0, 0, &error), nullptr);
    });
    EXPECT_EQ(error, NTCP_ERR_ADDRESS);
    EXPECT_NE(out.find("[ERROR] - NTCP_client_open: crossSocket_OpenSocket failed\n"), std::string::npos) << out;

    // Nobody listens: the connection is refused.
    out = printed([&] { EXPECT_EQ(NTCP_client_open(kAddress, kAddress, kListenPort, 1000, 4096, 0, 0, &error), nullptr); });
    EXPECT_EQ(error, NTCP_ERR_NULL_PARAMETER);
    EXPECT_NE(out.find("[ERROR] - NTCP_client_open: ConnectSocketTCP failed\n"), std::string::npos) << out;
}

TEST(NtcpClientOpen, TimeoutsAndKeepAlivePeriodAreDerivedFromTheArguments)
{
    Peer peer;
    struct Case {
        int32_t answer_timeout, keepalive;
        int32_t receive_timeout, period;
    } cases[] = {
        {500, 0, 2000, 0},       {500, 1, 2000, 1000},    {2000, 300, 2000, 1000}, {2500, 999, 2500, 1000},
        {1000, 1000, 2000, 1000}, {1000, 2500, 2000, 2500}, {1000, -5, 2000, -5},
    };
    for (const Case &c : cases) {
        int32_t error = -1;
        NTCPClient_T *client =
            NTCP_client_open_send_only(kAddress, kAddress, kListenPort, c.answer_timeout, 4096, c.keepalive, &error);
        ASSERT_NE(client, nullptr);
        EXPECT_EQ(client->answer_timeout, c.answer_timeout);
        EXPECT_EQ(client->context->receive_timeout, c.receive_timeout);
        EXPECT_EQ(client->keepalive_period, c.period) << c.keepalive;
        EXPECT_EQ(client->thread, nullptr);
        EXPECT_EQ(connected(client), 1);
        EXPECT_EQ(NTCP_client_close(&client), 0);
        EXPECT_EQ(client, nullptr);
    }
}

// A receiver thread that cannot be created, or that comes up too late, leaves
// neither a thread nor memory behind (the sanitizer builds check the memory).
TEST(NtcpClientOpen, ReceiverThreadFailuresReleaseEverything)
{
    Peer peer;
    struct Case {
        ThreadFault fault;
        int32_t error;
        const char *text;
    } cases[] = {
        {kFailCreate, NTCP_ERR_THREAD_CREATE, "NTCP_client_open: crossThread_Create failed"},
        {kStartLate, NTCP_ERR_THREAD_START, "NTCP_client_open: thread timeout elapsed "},
    };
    for (const Case &c : cases) {
        const int threads = thread_count();
        int32_t error = -1;
        g_thread_fault = c.fault;
        const std::string out = printed([&] {
            EXPECT_EQ(NTCP_client_open(kAddress, kAddress, kListenPort, 1000, 4096, 0, 0, &error), nullptr);
        });
        g_thread_fault = kNoFault;
        EXPECT_EQ(error, c.error);
        EXPECT_NE(out.find(std::string("[ERROR] - ") + c.text), std::string::npos) << out;
        EXPECT_EQ(thread_count(), threads);
    }
    // The camera is still there for a client that opens normally.
    Client client = open_client();
    EXPECT_EQ(connected(client.get()), 1);
}

// Every open makes a receiver thread and what its waits on the socket need; close
// takes all of it back.
TEST(NtcpClientClose, LeavesNoThreadOrDescriptorBehind)
{
    Peer peer;
    const int threads = thread_count();
    const int descriptors = open_descriptors();
    for (int i = 0; i < 3; ++i) {
        Client client = open_client();
        int32_t device_error = -1;
        EXPECT_EQ(NTCP_client_send_command(client.get(), kReboot, nullptr, 0, nullptr, nullptr, &device_error), 0);
        EXPECT_EQ(NTCP_client_keep_alive(client.get(), 1), 0);
    }
    EXPECT_EQ(thread_count(), threads);
    // The camera drops its end of each connection once it sees the close.
    EXPECT_TRUE(eventually([&] { return open_descriptors() == descriptors; }));
}

// ================================================================== commands

TEST(NtcpClientCommand, AnswersDecideTheResult)
{
    constexpr int32_t kRefused = 0xFA00, kWithPayload = 0xFA01, kEmpty = 0xFA02, kOther = 0xFA03, kSilent = 0xAB00;
    const Bytes data = {1, 2, 3, 4, 5, 6, 7, 8};
    Peer peer([&](Peer &p, const Message &m) {
        switch (m.header.command) {
        case kRefused:
            p.send(answer_header(kRefused, 12), data); // the payload of a refusal is released
            break;
        case kWithPayload:
            p.send(kWithPayload, data);
            break;
        case kEmpty:
            p.send(kEmpty);
            break;
        case kOther:
            p.send(kOther + 1);
            break;
        default:
            break;
        }
    });
    Client client = open_client(500);
    struct Case {
        int32_t command;
        int32_t result, device_error;
        Bytes answer;
        const char *text;
    } cases[] = {
        {kRefused, NTCP_ERR_DEVICE, 12, {}, ""},
        {kWithPayload, 0, 0, data, ""},
        {kEmpty, 0, 0, {}, ""},
        {kOther, NTCP_ERR_WRONG_COMMAND, 0, {}, "[ERROR] - NTCP_client_send_command: Wrong command received 64004 instead of 64003\n"},
        {kSilent, NTCP_ERR_TIMEOUT, 0, {}, "[ERROR] - NTCP_client_send_command: Protocol_send_command failed\n"},
    };
    for (const Case &c : cases) {
        uint8_t *answer = reinterpret_cast<uint8_t *>(&peer); // not a pointer the client may leave behind
        int32_t size = -1, device_error = -1;
        const std::string out = printed([&] {
            EXPECT_EQ(NTCP_client_send_command(client.get(), c.command, nullptr, 0, &answer, &size, &device_error),
                      c.result)
                << std::hex << c.command;
        });
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(device_error, c.device_error);
        EXPECT_EQ(Bytes(answer, answer + (answer != nullptr ? size : 0)), c.answer);
        if (c.answer.empty()) {
            EXPECT_EQ(answer, nullptr);
            EXPECT_EQ(size, 0);
        }
        free(answer);
    }
    // Without both out pointers the answer payload is released.
    int32_t device_error = -1;
    uint8_t *answer = nullptr;
    EXPECT_EQ(NTCP_client_send_command(client.get(), kWithPayload, nullptr, 0, &answer, nullptr, &device_error), 0);
    EXPECT_EQ(answer, nullptr);
}

TEST(NtcpClientCommand, RequestCarriesCommandAndPayload)
{
    Peer peer;
    Client client = open_client();
    const Bytes payload = {9, 8, 7, 6};
    int32_t device_error = -1;
    EXPECT_EQ(NTCP_client_send_command(client.get(), kReboot, payload.data(), 4, nullptr, nullptr, &device_error), 0);
    EXPECT_EQ(NTCP_client_send_command_no_answer(client.get(), kGetInfo, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return peer.received().size() == 2; }));
    const std::vector<Message> got = peer.received();
    EXPECT_EQ(got[0].header.flags, kReceivedFlags);
    EXPECT_EQ(got[0].header.ntcp_id, NTCP_IDENT_DEVICE);
    EXPECT_EQ(got[0].header.command, kReboot);
    EXPECT_EQ(got[0].payload, payload);
    EXPECT_EQ(got[1].header.flags, kReceivedFlags);
    EXPECT_EQ(got[1].payload, Bytes{});
    EXPECT_EQ(got[1].header.command, kGetInfo);
}

// The answer time-out, not the 2000 ms receive time-out, bounds the wait; the late
// answer stays queued and the next command takes it and refuses it.
TEST(NtcpClientCommand, LateAnswerIsRefusedByTheNextCommand)
{
    Peer peer([](Peer &p, const Message &m) {
        if (m.header.command == kGetInfo)
            std::this_thread::sleep_for(milliseconds(600));
        p.send(m.header.command);
    });
    Client client = open_client(400);
    int32_t device_error = -1;
    const auto start = Clock::now();
    EXPECT_EQ(NTCP_client_send_command(client.get(), kGetInfo, nullptr, 0, nullptr, nullptr, &device_error),
              NTCP_ERR_TIMEOUT);
    const long waited = ms_since(start);
    EXPECT_GE(waited, 400);
    EXPECT_LT(waited, 2000);

    const std::string out = printed([&] {
        EXPECT_EQ(NTCP_client_send_command(client.get(), kReboot, nullptr, 0, nullptr, nullptr, &device_error),
                  NTCP_ERR_WRONG_COMMAND);
    });
    EXPECT_EQ(out, "[ERROR] - NTCP_client_send_command: Wrong command received 43523 instead of 43522\n");
    // The reboot's own answer is next in line.
    EXPECT_EQ(NTCP_client_send_command(client.get(), kReboot, nullptr, 0, nullptr, nullptr, &device_error), 0);
}

TEST(NtcpClientCommand, SendOnlyClientRefusesCommandsThatWait)
{
    Peer peer;
    int32_t error = -1;
    NTCPClient_T *c = NTCP_client_open_send_only(kAddress, kAddress, kListenPort, 500, 4096, 1000, &error);
    ASSERT_NE(c, nullptr);
    Client client(c);
    int32_t device_error = -1, stream = -1;
    std::string out = printed([&] {
        EXPECT_EQ(NTCP_client_send_command(c, kReboot, nullptr, 0, nullptr, nullptr, &device_error),
                  NTCP_ERR_UNSUPPORTED);
        EXPECT_EQ(NTCP_client_stream_start(c, kStart, nullptr, 0, kEnd, kData, -1, 5, &stream, &device_error),
                  NTCP_ERR_UNSUPPORTED);
    });
    EXPECT_EQ(out, "[ERROR] - NTCP_client_send_command: client can only send messages without answer\n"
                   "[ERROR] - NTCP_client_stream_start: client can only send messages without answer\n");
    // Only what it may send reaches the camera.
    EXPECT_EQ(NTCP_client_send_command_no_answer(c, kGetInfo, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return !peer.received().empty(); }));
    std::this_thread::sleep_for(milliseconds(50));
    ASSERT_EQ(peer.received().size(), 1u);
    EXPECT_EQ(peer.received()[0].header.command, kGetInfo);
}

TEST(NtcpClientCommand, MirovantClientWritesSenderReceiverAndError)
{
    Peer peer;
    Client client = open_client(500, 0, 0);
    std::string out = printed([&] { EXPECT_EQ(NTCP_client_set_channel(client.get(), 2), NTCP_ERR_RANGE); });
    EXPECT_EQ(out, error_line("NTCP_client_set_channel: unknown channel 2"));
    EXPECT_EQ(NTCP_client_send_command_no_answer(client.get(), kReboot, nullptr, 0), 0);
    EXPECT_EQ(NTCP_client_set_channel(client.get(), 1), 0);
    EXPECT_EQ(NTCP_client_send_command_no_answer(client.get(), kGetInfo, nullptr, 0), 0);
    ASSERT_TRUE(eventually([&] { return peer.received().size() == 2; }));
    for (const Message &m : peer.received()) {
        EXPECT_EQ(m.header.flags, MV_HEADER_FLAGS);
        EXPECT_EQ(m.header.sender, -1);
        EXPECT_EQ(m.header.error, 0);
    }
    EXPECT_EQ(peer.received()[0].header.receiver, -1);
    EXPECT_EQ(peer.received()[1].header.receiver, 1);
}

TEST(NtcpClientCommand, RefusedHandlesAndArguments)
{
    NTCPClient_T bogus; // size 0: never opened
    int32_t flag = 0, device_error = 0, stream = 0, size = 0;
    uint8_t *payload = nullptr;
    struct Case {
        std::function<int32_t()> call;
        int32_t result;
        const char *text;
    } cases[] = {
        {[&] { return NTCP_client_send_command(&bogus, 1, nullptr, 0, nullptr, nullptr, &device_error); }, 4,
         "NTCP_client_send_command: _CheckHandle failed"},
        {[&] { return NTCP_client_send_command(nullptr, 1, nullptr, 0, nullptr, nullptr, nullptr); }, 2,
         "NTCP_client_send_command: NULL pointer"},
        {[&] { return NTCP_client_send_command_no_answer(nullptr, 1, nullptr, 0); }, 4,
         "NTCP_client_send_command_no_answer: _CheckHandle failed"},
        {[&] { return NTCP_client_is_connected(&bogus, &flag); }, 4, "NTCP_client_is_connected: _CheckHandle failed"},
        {[&] { return NTCP_client_is_connected(&bogus, nullptr); }, 2, "NTCP_client_is_connected: NULL parameter"},
        {[&] { return NTCP_client_keep_alive(&bogus, 1); }, 4, "NTCP_client_keep_alive: _CheckHandle failed"},
        {[&] { return NTCP_client_set_channel(nullptr, 0); }, 4, "NTCP_client_set_channel: _CheckHandle failed"},
        {[&] { return NTCP_client_close(nullptr); }, 2, "NTCP_client_close: NULL parameter"},
        {[&] {
             NTCPClient_T *p = &bogus;
             return NTCP_client_close(&p);
         },
         4, "NTCP_client_close: _CheckHandle failed"},
        {[&] { return NTCP_client_stream_start(&bogus, kStart, nullptr, 0, kEnd, kData, -1, 5, &stream, &device_error); },
         4, "NTCP_client_stream_start: _CheckHandle failed"},
        {[&] {
             return NTCP_client_stream_start_using_callback(&bogus, kStart, nullptr, 0, kEnd, kData, -1, 5, nullptr,
                                                            &device_error, nullptr);
         },
         2, "NTCP_client_stream_start_using_callback: NULL parameters"},
        {[&] { return NTCP_client_stream_stop(nullptr, 20); }, 5, "NTCP_client_stream_stop: Invalid stream ID (20)"},
        {[&] { return NTCP_client_stream_stop(nullptr, -1); }, 5, "NTCP_client_stream_stop: Invalid stream ID (-1)"},
        {[&] { return NTCP_client_stream_stop(&bogus, 0); }, 4, "NTCP_client_stream_stop: _CheckHandle failed"},
        {[&] { return NTCP_client_stream_get(&bogus, 0, nullptr, &size); }, 2, "_ntcp_client_stream_get: NULL parameters"},
        {[&] { return NTCP_client_stream_get(&bogus, 20, &payload, &size); }, 5,
         "_ntcp_client_stream_get: Invalid stream ID (20)"},
        {[&] { return NTCP_client_stream_get_newest(&bogus, 19, &payload, &size); }, 4,
         "_ntcp_client_stream_get: _CheckHandle failed"},
    };
    for (const Case &c : cases) {
        int32_t result = -1;
        const std::string out = printed([&] { result = c.call(); });
        EXPECT_EQ(result, c.result) << c.text;
        EXPECT_EQ(out, error_line(c.text));
    }

    // The answer queue's release routine leaves foreign records alone.
    CommandInfo_T foreign{};
    void *p = &foreign;
    EXPECT_EQ(printed([&] { _FreeCommandInfo(&p); }), error_line("_FreeCommandInfo: Wrong struct size"));
    EXPECT_EQ(p, &foreign);
    p = nullptr;
    _FreeCommandInfo(&p);
    _FreeCommandInfo(nullptr);
}

// ================================================================== keep-alives

TEST(NtcpClientKeepAlive, PeriodDecidesHowOftenKeepAlivesGo)
{
    struct Case {
        int32_t period;
        size_t at_least, at_most;
    } cases[] = {{300, 2, 4}, {0, 0, 0}};
    for (const Case &c : cases) {
        Peer peer;
        {
            Client client = open_client(500, c.period);
            std::this_thread::sleep_for(milliseconds(3300));
        }
        const std::vector<Message> keepalives = peer.received(NTCP_CMD_KEEPALIVE);
        EXPECT_GE(keepalives.size(), c.at_least) << c.period;
        EXPECT_LE(keepalives.size(), c.at_most) << c.period;
        for (size_t i = 0; i < keepalives.size(); ++i) {
            EXPECT_EQ(keepalives[i].header.flags, kReceivedFlags);
            EXPECT_EQ(keepalives[i].header.ntcp_id, NTCP_IDENT_KEEPALIVE);
            if (i > 0) {
                const auto gap = std::chrono::duration_cast<milliseconds>(keepalives[i].at - keepalives[i - 1].at);
                EXPECT_GE(gap.count(), 950);
                EXPECT_LE(gap.count(), 1500);
            }
        }
    }
}

// The camera lets the 2nd and 3rd keep-alive pass unanswered and answers the 4th.
TEST(NtcpClientKeepAlive, UnansweredKeepAliveReadsAsNotConnectedUntilTheNextAnswer)
{
    std::atomic<int> seen{0};
    Peer peer([&](Peer &p, const Message &m) {
        const int n = ++seen;
        if (m.header.command != NTCP_CMD_KEEPALIVE || n == 1 || n > 3)
            p.send(m.header.command);
    });
    Client client = open_client(300, 1000);
    std::vector<int32_t> states{connected(client.get())};
    const auto start = Clock::now();
    while (ms_since(start) < 5000 && seen < 5) {
        const int32_t now = connected(client.get());
        if (now != states.back())
            states.push_back(now);
        std::this_thread::sleep_for(milliseconds(10));
    }
    EXPECT_EQ(states, (std::vector<int32_t>{1, 0, 1}));
    EXPECT_EQ(client->keepalive_overdue.load(), 0);
}

TEST(NtcpClientKeepAlive, KeepAliveOnRequest)
{
    std::atomic<bool> answer{true};
    Peer peer([&](Peer &p, const Message &m) {
        if (answer)
            p.send(m.header.command);
    });
    Client client = open_client(300);
    EXPECT_EQ(NTCP_client_keep_alive(client.get(), 1), 0);
    EXPECT_EQ(NTCP_client_keep_alive(client.get(), 0), 0);
    // The answer to the unwaited one is taken by the receiver thread.
    ASSERT_TRUE(eventually([&] { return client->keepalive_answers.load() == 2; }));
    answer = false;
    const std::string out = printed([&] { EXPECT_EQ(NTCP_client_keep_alive(client.get(), 1), NTCP_ERR_TIMEOUT); });
    EXPECT_EQ(out, error_line("NTCP_client_keep_alive: Protocol_send_command failed"));
    ASSERT_TRUE(eventually([&] { return peer.received(NTCP_CMD_KEEPALIVE).size() == 3; }));
}

TEST(NtcpClientKeepAlive, MirovantKeepAliveIsSentWithoutWaiting)
{
    Peer peer([](Peer &, const Message &) {});
    Client client = open_client(300, 0, 0);
    EXPECT_EQ(NTCP_client_keep_alive(client.get(), 1), 0);
    ASSERT_TRUE(eventually([&] { return peer.received().size() == 1; }));
    const NTCPHeader_T h = peer.received()[0].header;
    EXPECT_EQ(h.flags, MV_HEADER_FLAGS);
    EXPECT_EQ(h.command, MV_CMD_KEEPALIVE);
    EXPECT_EQ(h.sender, -1);
}

TEST(NtcpClientKeepAlive, CameraThatHangsUpEndsTheReceiverThread)
{
    Peer peer;
    Client client = open_client(300);
    EXPECT_EQ(connected(client.get()), 1);
    peer.hang_up();
    ASSERT_TRUE(eventually([&] { return connected(client.get()) == 0; }));
    EXPECT_EQ(client->stopped.load(), 1);
    int32_t device_error = -1;
    EXPECT_NE(NTCP_client_send_command(client.get(), kReboot, nullptr, 0, nullptr, nullptr, &device_error), 0);
}

// ================================================================== streams

class NtcpStream : public testing::Test {
protected:
    // The camera acknowledges every command (and, by default, with error 0).
    std::atomic<int32_t> ack_error{0};
    std::atomic<bool> ack{true};
    Peer peer{[this](Peer &p, const Message &m) {
        if (ack)
            p.send(answer_header(m.header.command, ack_error));
    }};
    Client client = open_client(300);

    int32_t start(int32_t *id, int32_t *device_error, int32_t queue_size = 10)
    {
        return NTCP_client_stream_start(client.get(), kStart, nullptr, 0, kEnd, kData, -1, queue_size, id,
                                        device_error);
    }
    int32_t started()
    {
        int32_t id = -1, device_error = -1;
        EXPECT_EQ(start(&id, &device_error), 0);
        return id;
    }
    // Sends data messages and a marker answer, and waits until the marker is queued:
    // every data message before it has been routed.
    void send_data(const std::vector<Bytes> &messages)
    {
        for (const Bytes &b : messages)
            peer.send(kData, b);
        peer.send(0x1234);
        wait_for_answers(client.get(), 1);
        void *marker = fifo_pop(client->answers, nullptr);
        _FreeCommandInfo(&marker);
    }
    int32_t get(int32_t id, Bytes *out = nullptr, bool newest = false)
    {
        uint8_t *p = nullptr;
        int32_t size = -1;
        const int32_t rc = newest ? NTCP_client_stream_get_newest(client.get(), id, &p, &size)
                                  : NTCP_client_stream_get(client.get(), id, &p, &size);
        if (rc == 0 && out != nullptr)
            out->assign(p, p + size);
        free(p);
        return rc;
    }
};

TEST_F(NtcpStream, DataComesOutInOrderThenEndsForEver)
{
    const int32_t id = started();
    EXPECT_EQ(id, 0);
    EXPECT_EQ(get(id), NTCP_ERR_STREAM_EMPTY);
    send_data({{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}});
    for (uint8_t i = 1; i <= 3; ++i) {
        Bytes b;
        EXPECT_EQ(get(id, &b), 0);
        EXPECT_EQ(b, Bytes(4, i));
    }
    EXPECT_EQ(get(id), NTCP_ERR_STREAM_EMPTY);
    EXPECT_EQ(client->stream_count, 1);
    peer.send(kEnd, {9, 9, 9, 9});
    ASSERT_TRUE(eventually([&] { return get(id) != NTCP_ERR_STREAM_EMPTY; }));
    EXPECT_EQ(get(id), NTCP_ERR_STREAM_ENDED);
    EXPECT_EQ(get(id, nullptr, true), NTCP_ERR_STREAM_ENDED);
    EXPECT_EQ(client->stream_count, 0);
    // The slot stays taken for the client's life.
    EXPECT_EQ(started(), 1);
}

TEST_F(NtcpStream, DataWaitingWhenTheEndArrivesIsStillHandedOut)
{
    const int32_t id = started();
    peer.send(kData, {5, 5, 5, 5});
    send_data({});
    peer.send(kEnd);
    send_data({});
    EXPECT_EQ(get(id), 0);
    EXPECT_EQ(get(id), NTCP_ERR_STREAM_ENDED);
}

TEST_F(NtcpStream, CameraGoneWithoutEndMessageEndsTheWaitWithClosed)
{
    // Data already routed is still handed out; after it, an end that can never come
    // must not leave the reader waiting on 53 for ever.
    const int32_t id = started();
    send_data({{7, 7, 7, 7}});
    peer.hang_up();
    ASSERT_TRUE(eventually([&] { return client->stopped.load() == 1; }));
    Bytes b;
    EXPECT_EQ(get(id, &b), 0);
    EXPECT_EQ(b, Bytes(4, 7));
    EXPECT_EQ(get(id), NTCP_ERR_CLOSED);
    EXPECT_EQ(get(id, nullptr, true), NTCP_ERR_CLOSED);
}

TEST_F(NtcpStream, NewestReleasesTheOlderMessages)
{
    const int32_t id = started();
    send_data({{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}});
    Bytes b;
    EXPECT_EQ(get(id, &b, true), 0);
    EXPECT_EQ(b, Bytes(4, 3));
    EXPECT_EQ(get(id), NTCP_ERR_STREAM_EMPTY);
}

TEST_F(NtcpStream, FullQueueDropsTheOldest)
{
    int32_t id = -1, device_error = -1;
    ASSERT_EQ(start(&id, &device_error, 2), 0);
    send_data({{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}});
    Bytes b;
    EXPECT_EQ(get(id, &b), 0);
    EXPECT_EQ(b, Bytes(4, 2));
    EXPECT_EQ(get(id, &b), 0);
    EXPECT_EQ(b, Bytes(4, 3));
    EXPECT_EQ(get(id), NTCP_ERR_STREAM_EMPTY);
}

TEST_F(NtcpStream, DataMessageWithoutPayloadIsAMessage)
{
    const int32_t id = started();
    send_data({{}});
    uint8_t *p = reinterpret_cast<uint8_t *>(this);
    int32_t size = -1;
    EXPECT_EQ(NTCP_client_stream_get(client.get(), id, &p, &size), 0);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(size, 0);
}

// Data right behind the acknowledgement belongs to the stream, even before the
// starting call has seen the acknowledgement.
TEST(NtcpStreamStart, DataRightBehindTheAcknowledgementBelongsToTheStream)
{
    Peer peer([](Peer &p, const Message &m) {
        p.send(m.header.command);
        if (m.header.command == kStart)
            for (uint8_t i = 1; i <= 3; ++i)
                p.send(kData, Bytes(4, i));
    });
    Client client = open_client(500);
    int32_t id = -1, device_error = -1;
    ASSERT_EQ(NTCP_client_stream_start(client.get(), kStart, nullptr, 0, kEnd, kData, -1, 10, &id, &device_error), 0);
    for (uint8_t i = 1; i <= 3; ++i) {
        uint8_t *p = nullptr;
        int32_t size = 0;
        ASSERT_TRUE(eventually([&] { return NTCP_client_stream_get(client.get(), id, &p, &size) == 0; }));
        EXPECT_EQ(Bytes(p, p + size), Bytes(4, i));
        free(p);
    }
    EXPECT_EQ(fifo_get_count(client->answers), 0);
}

TEST_F(NtcpStream, StartRefusals)
{
    int32_t id = -1, device_error = -1;
    ack_error = 7;
    EXPECT_EQ(start(&id, &device_error), NTCP_ERR_DEVICE);
    EXPECT_EQ(device_error, 7);
    ack_error = 0;
    ack = false;
    std::string out = printed([&] { EXPECT_EQ(start(&id, &device_error), NTCP_ERR_TIMEOUT); });
    EXPECT_EQ(out, error_line("NTCP_client_stream_start: Protocol_send_command failed"));
    out = printed([&] { EXPECT_EQ(start(&id, &device_error, 0), NTCP_ERR_RANGE); });
    EXPECT_EQ(out, error_line("NTCP_client_stream_start: Invalid queue size (0)"));
    // A wrong answer is refused.
    peer.send(kReboot);
    wait_for_answers(client.get(), 1);
    out = printed([&] { EXPECT_EQ(start(&id, &device_error), NTCP_ERR_WRONG_COMMAND); });
    EXPECT_EQ(out, error_line("NTCP_client_stream_start: Wrong command received 43522 instead of 44455"));
    // Every failed start gave its slot back.
    ack = true;
    EXPECT_EQ(started(), 0);
    EXPECT_EQ(client->stream_count, 1);
}

TEST_F(NtcpStream, TwentyStreamsAreTheMostAndTheNextSendsNothing)
{
    for (int32_t i = 0; i < NTCP_CLIENT_MAX_STREAMS; ++i)
        EXPECT_EQ(started(), i);
    const size_t sent = peer.received().size();
    int32_t id = -1, device_error = -1;
    const std::string out = printed([&] { EXPECT_EQ(start(&id, &device_error), NTCP_ERR_STREAM_LIMIT); });
    EXPECT_EQ(out, error_line("NTCP_client_stream_start: Max stream counter reached"));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(peer.received().size(), sent);
}

TEST_F(NtcpStream, StopSendsTheEndCodeToTheStreamsReceiver)
{
    int32_t id = -1, device_error = -1;
    std::string out = printed([&] { EXPECT_EQ(NTCP_client_stream_stop(client.get(), 3), NTCP_ERR_STREAM_ENDED); });
    EXPECT_EQ(out, error_line("NTCP_client_stream_stop: Stream already stopped"));
    out = printed([&] { EXPECT_EQ(get(3), NTCP_ERR_STREAM_ENDED); });
    EXPECT_EQ(out, error_line("_ntcp_client_stream_get: Stream not used"));

    ASSERT_EQ(NTCP_client_stream_start(client.get(), kStart, nullptr, 0, kEnd, kData, 1, 10, &id, &device_error), 0);
    EXPECT_EQ(NTCP_client_stream_stop(client.get(), id), 0);
    ASSERT_TRUE(eventually([&] { return peer.received(kEnd).size() == 1; }));
    const NTCPHeader_T start = peer.received(kStart)[0].header;
    const NTCPHeader_T stop = peer.received(kEnd)[0].header;
    for (const NTCPHeader_T &h : {start, stop}) {
        EXPECT_EQ(h.flags, kReceivedFlags | NTCP_FLAG_RECEIVER);
        EXPECT_EQ(h.receiver, 1);
    }
}

std::vector<std::pair<int32_t, int32_t>> g_progress;
void record_progress(int32_t sent, int32_t total) { g_progress.emplace_back(sent, total); }

TEST(NtcpStreamStart, PayloadGoesOutWithProgress)
{
    Peer peer;
    Client client = open_client(2000);
    Bytes image(600000);
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 13);
    int32_t id = -1, device_error = -1;
    g_progress.clear();
    ASSERT_EQ(NTCP_client_stream_start_using_callback(client.get(), kStart, image.data(),
                                                      static_cast<int32_t>(image.size()), kEnd, kData, -1, 50, &id,
                                                      &device_error, record_progress),
              0);
    // The 52-byte header (version and receiver fields), then the payload in chunks of 512 KiB.
    const int32_t total = 52 + 600000;
    EXPECT_EQ(g_progress, (std::vector<std::pair<int32_t, int32_t>>{{52, total}, {52 + 524288, total}, {total, total}}));
    ASSERT_EQ(peer.received(kStart).size(), 1u);
    EXPECT_EQ(peer.received(kStart)[0].payload, image);
    EXPECT_EQ(peer.received(kStart)[0].header.receiver, -1);
}

// ================================================================== broadcast

constexpr const char *kLabAddress = "198.18.1.1";
constexpr uint16_t kCameraPort = 42000;

// The camera side of a broadcast: a datagram socket on the camera port of a veth
// adapter; each request is decoded and handed to `handler` with a way to answer
// the sender.
class BroadcastPeer {
public:
    struct Answerer {
        CrossSocket_T *socket;
        void send(NTCPHeader_T h, const Bytes &payload = {}) const
        {
            ProtocolContext_T c;
            c.socket = socket;
            c.ntcp_id = NTCP_IDENT_DEVICE;
            EXPECT_EQ(Protocol_send_ext(&c, &h, payload.empty() ? nullptr : payload.data(),
                                        static_cast<int32_t>(payload.size()), nullptr),
                      0);
        }
        void raw(const Bytes &datagram) const
        {
            EXPECT_EQ(crossSocket_WriteToSocket(socket, datagram.data(), static_cast<int32_t>(datagram.size())), 0);
        }
    };
    using Handler = std::function<void(const Answerer &, const Message &)>;

    explicit BroadcastPeer(Handler handler) : handler_(std::move(handler))
    {
        const int rc = std::system("ip link show nolmak0 >/dev/null 2>&1 || "
                                   "(ip link add nolmak0 type veth peer name nolmak1 && "
                                   "ip addr add 198.18.1.1/24 dev nolmak0 && "
                                   "ip link set nolmak0 up && ip link set nolmak1 up)");
        EXPECT_EQ(rc, 0);
        socket_ = open_socket(CROSS_SOCKET_UDP, "0.0.0.0", kCameraPort);
        thread_ = std::thread([this] { run(); });
    }
    ~BroadcastPeer()
    {
        stop_ = true;
        thread_.join();
        crossSocket_CloseSocket(&socket_);
    }
    BroadcastPeer(const BroadcastPeer &) = delete;
    BroadcastPeer &operator=(const BroadcastPeer &) = delete;

    std::vector<Bytes> datagrams()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return datagrams_;
    }

private:
    void run()
    {
        while (!stop_) {
            uint8_t packet[CROSS_SOCKET_READ_SIZE];
            int32_t length = 0;
            sockaddr_in from{};
            if (crossSocket_ReadFromSocket(socket_, 10, packet, &length, &from) != 0 || length < TBP_HEADER_SIZE)
                continue;
            {
                std::lock_guard<std::mutex> guard(mutex_);
                datagrams_.emplace_back(packet, packet + length);
            }
            Message m;
            uint8_t *payload = nullptr;
            int32_t count = 0, capacity = 0, filled = 0;
            if (DecodeTBPPackets(packet, 0, &count, &m.header, &payload, &capacity, &filled) == 0)
                m.payload.assign(payload, payload + filled);
            free(payload);
            char address[16];
            const uint32_t a = ntohl(from.sin_addr.s_addr);
            snprintf(address, sizeof address, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
            EXPECT_EQ(crossSocket_ConnectSocket(socket_, address, ntohs(from.sin_port), 0), 0);
            handler_(Answerer{socket_}, m);
        }
    }

    Handler handler_;
    CrossSocket_T *socket_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Bytes> datagrams_;
};

NTCPHeader_T from_mac(NTCPHeader_T h, std::initializer_list<uint8_t> wire_mac)
{
    h.flags |= NTCP_FLAG_MAC_ADDRESS;
    std::copy(wire_mac.begin(), wire_mac.end(), h.mac_address);
    return h;
}

struct Collected {
    int32_t result = -1;
    int32_t device_error = -1;
    std::vector<Bytes> answers;
    std::string printed;
};

Collected broadcast(const char *mac, int32_t max_answers = 100, int32_t timeout_ms = 300,
                    int32_t command = NTCP_CMD_DISCOVERY)
{
    Collected c;
    std::vector<uint8_t *> answers(static_cast<size_t>(max_answers > 0 ? max_answers : 1), nullptr);
    std::vector<int32_t> sizes(answers.size(), 0);
    int32_t count = -1;
    c.printed = printed([&] {
        c.result = NTCP_client_send_command_broadcast(kLabAddress, kCameraPort, mac, timeout_ms, NTCP_IDENT_DEVICE,
                                                      command, nullptr, 0, answers.data(), sizes.data(), &count,
                                                      max_answers, &c.device_error);
    });
    for (int32_t i = 0; i < count; ++i) {
        c.answers.emplace_back(answers[i], answers[i] + sizes[i]);
        free(answers[i]);
    }
    return c;
}

TEST(NtcpClientBroadcast, CollectsAnswersThatCarryAPayload)
{
    BroadcastPeer peer([](const BroadcastPeer::Answerer &a, const Message &m) {
        a.send(answer_header(m.header.command), {1, 0, 0, 0});
        a.send(answer_header(m.header.command));
        a.send(answer_header(m.header.command + 1), {7, 7, 7, 7});
        a.send(answer_header(m.header.command), {3, 0, 0, 0});
    });
    const Collected c = broadcast(nullptr);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.answers, (std::vector<Bytes>{{1, 0, 0, 0}, {3, 0, 0, 0}}));
    EXPECT_EQ(c.printed,
              "[ERROR] - NTCP_client_send_command_broadcast: Wrong command received (received 0xAA01 instead of 0xAA00)\n");
    // The discovery request as the tables lay it out: TBP header, then the 52-byte header.
    ASSERT_EQ(peer.datagrams().size(), 1u);
    EXPECT_EQ(peer.datagrams()[0], words({1, 0, 68, 52, 0x1A2B3C4D, 0x3044DAE1, 0, 52, 0, 4096, 0xAA00, 0x0A00, 4,
                                          200, 0x0A04, 4, 0xFFFFFF}));
}

TEST(NtcpClientBroadcast, FullArraysDropFurtherAnswers)
{
    BroadcastPeer peer([](const BroadcastPeer::Answerer &a, const Message &m) {
        for (uint8_t i = 1; i <= 3; ++i)
            a.send(answer_header(m.header.command), {i, 0, 0, 0});
    });
    const Collected c = broadcast(nullptr, 1);
    EXPECT_EQ(c.result, 0);
    EXPECT_EQ(c.answers, (std::vector<Bytes>{{1, 0, 0, 0}}));
    EXPECT_NE(c.printed.find("[WARNING] - NTCP_client_send_command_broadcast: "), std::string::npos) << c.printed;
}

TEST(NtcpClientBroadcast, TargetMacTakesOnlyThatCamerasFirstAnswer)
{
    struct Case {
        int32_t error;
        int32_t result;
    } cases[] = {{0, 0}, {12, NTCP_ERR_DEVICE}};
    for (const Case &c : cases) {
        BroadcastPeer peer([&](const BroadcastPeer::Answerer &a, const Message &m) {
            a.send(from_mac(answer_header(m.header.command), {1, 2, 3, 4, 5, 6}), {1, 1, 1, 1});
            a.send(answer_header(m.header.command), {2, 2, 2, 2}); // no MAC at all
            a.send(from_mac(answer_header(m.header.command, c.error), {0x99, 0x88, 0x52, 0xC2, 0x50, 0x00}),
                   {3, 3, 3, 3});
            a.send(from_mac(answer_header(m.header.command), {0x99, 0x88, 0x52, 0xC2, 0x50, 0x00}), {4, 4, 4, 4});
        });
        const auto start = Clock::now();
        const Collected got = broadcast("00:50:c2:52:88:99", 100, 2000);
        EXPECT_LT(ms_since(start), 1500); // the camera's answer ended the collection
        EXPECT_EQ(got.result, c.result);
        EXPECT_EQ(got.device_error, c.error);
        EXPECT_EQ(got.answers, (std::vector<Bytes>{{3, 3, 3, 3}}));
        ASSERT_EQ(peer.datagrams().size(), 1u);
        EXPECT_EQ(peer.datagrams()[0], words({1, 0, 84, 68, 0x1A2B3C4D, 0x3044DAE1, 0, 68, 0, 4096, 0xAA00, 0x0A00, 4,
                                              200, 0x0A04, 4, 0xFFFFFF, 0x0A05, 6, 0xC2528899, 0x0050}));
    }
}

TEST(NtcpClientBroadcast, TargetMacThatNobodyHasTimesOut)
{
    BroadcastPeer peer([](const BroadcastPeer::Answerer &a, const Message &m) {
        a.send(from_mac(answer_header(m.header.command), {1, 2, 3, 4, 5, 6}), {1, 1, 1, 1});
    });
    const Collected got = broadcast("00:50:C2:52:88:99");
    EXPECT_EQ(got.result, NTCP_ERR_TIMEOUT);
    EXPECT_TRUE(got.answers.empty());
}

TEST(NtcpClientBroadcast, CorruptPacketInTheLastPollIsTheResult)
{
    std::atomic<bool> flood{true};
    BroadcastPeer peer([&](const BroadcastPeer::Answerer &a, const Message &m) {
        a.send(answer_header(m.header.command), {1, 0, 0, 0});
        // Index 2 of a one-packet message: every later poll finds a corrupt packet.
        for (int i = 0; i < 200 && flood; ++i) {
            a.raw(words({1, 2, 16, 0}));
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    const Collected got = broadcast(nullptr);
    flood = false;
    EXPECT_EQ(got.result, NTCP_ERR_TBP);
    EXPECT_EQ(got.answers, (std::vector<Bytes>{{1, 0, 0, 0}}));
}

TEST(NtcpClientBroadcast, Refusals)
{
    BroadcastPeer peer([](const BroadcastPeer::Answerer &, const Message &) {});
    uint8_t *answers[1];
    int32_t sizes[1], count = -1, device_error = -1;
    struct Case {
        const char *local;
        const char *mac;
        uint8_t **answers;
        int32_t result;
        const char *text;
    } cases[] = {
        {nullptr, nullptr, answers, 2, "[ERROR] - NTCP_client_send_command_broadcast: NULL parameters\n"},
        {kLabAddress, nullptr, nullptr, 2, "[ERROR] - NTCP_client_send_command_broadcast: NULL rx parameters\n"},
        {kLabAddress, "00-50-C2-52-88-99", answers, 5,
         "[ERROR] - NTCP_client_send_command_broadcast: wrong MAC format, found <00-50-C2-52-88-99> expected "
         "<00:50:C2:52:88:99>\n"},
        {kLabAddress, "00:50:C2:52:88", answers, 5,
         "[ERROR] - NTCP_client_send_command_broadcast: wrong MAC format, found <00:50:C2:52:88> expected "
         "<00:50:C2:52:88:99>\n"},
        {"198.18.1", nullptr, answers, 18,
         "[ERROR] - crossSocket_OpenSocket(): inet_addr() failed\n"
         "[ERROR] - NTCP_client_send_command_broadcast: crossSocket_OpenSocket failed\n"},
    };
    for (const Case &c : cases) {
        int32_t result = -1;
        const std::string out = printed([&] {
            result = NTCP_client_send_command_broadcast(c.local, kCameraPort, c.mac, 100, NTCP_IDENT_DEVICE,
                                                        NTCP_CMD_DISCOVERY, nullptr, 0, c.answers, sizes, &count, 1,
                                                        &device_error);
        });
        EXPECT_EQ(result, c.result) << c.text;
        EXPECT_EQ(out, c.text);
    }
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_TRUE(peer.datagrams().empty());
}

TEST(NtcpClientParseMac, GroupsGoToTheWireOrder)
{
    struct Case {
        const char *text;
        int32_t result;
        Bytes wire;
    } cases[] = {
        {"00:50:C2:52:88:99", 0, {0x99, 0x88, 0x52, 0xC2, 0x50, 0x00}},
        {"0:5:c2:52:88:99 and more", 0, {0x99, 0x88, 0x52, 0xC2, 0x05, 0x00}},
        {"100:1:2:3:4:5", 0, {5, 4, 3, 2, 1, 0}}, // each group cut to 8 bits
        {"00:50:C2:52:88:", 5, {}},
        {"00:50:C2:52:88", 5, {}},
        {"00-50-C2-52-88-99", 5, {}},
        {"00::C2:52:88:99", 5, {}},
        {"", 5, {}},
    };
    for (const Case &c : cases) {
        uint8_t mac[6] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
        EXPECT_EQ(NTCP_client_parse_mac(c.text, mac), c.result) << c.text;
        EXPECT_EQ(Bytes(mac, mac + 6), c.result == 0 ? c.wire : Bytes(6, 0xEE)) << c.text;
    }
    EXPECT_EQ(NTCP_client_parse_mac(nullptr, nullptr), NTCP_ERR_NULL_PARAMETER);
}

} // namespace
