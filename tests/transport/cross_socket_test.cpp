// Socket layer over real sockets. Every case runs in a network namespace of its own
// with loopback up; the cases that need an adapter add a veth pair in 198.18.0.0/15.
#include "transport/cross_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <numeric>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "loopback.h"

using namespace loopback;
using Clock = std::chrono::steady_clock;

namespace {

// A veth pair with an address on one end and nobody behind the other: anything
// sent into the subnet finds no host.
void add_lab_adapter(const char *cidr)
{
    const std::string setup = std::string("ip link add nolmak0 type veth peer name nolmak1 && ip addr add ") + cidr +
                              " dev nolmak0 && ip link set nolmak0 up && ip link set nolmak1 up";
    ASSERT_EQ(std::system(setup.c_str()), 0);
}

long elapsed_ms(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(CrossSocketOpen, RefusesBadArgumentsWithTheirTexts)
{
    struct Case {
        const char *address;
        uint32_t protocol;
        int32_t result;
        const char *text;
    } cases[] = {
        {"127.0.0.1", 0, 5, "crossSocket_OpenSocket(): invalid protocol 0"},
        {"127.0.0.1", 4, 5, "crossSocket_OpenSocket(): invalid protocol 4"},
        {"192.168.1", CROSS_SOCKET_UDP, 18, "crossSocket_OpenSocket(): inet_addr() failed"},
        {"camera", CROSS_SOCKET_TCP, 18, "crossSocket_OpenSocket(): inet_addr() failed"},
        {"255.255.255.255", CROSS_SOCKET_UDP_BROADCAST, 18, "crossSocket_OpenSocket(): inet_addr() failed"},
        {nullptr, CROSS_SOCKET_UDP, 18, "crossSocket_OpenSocket(): inet_addr() failed"},
        {"198.18.0.77", CROSS_SOCKET_UDP, 13, "crossSocket_OpenSocket(): bind() failed"}, // not an address of ours
    };
    for (const Case &c : cases) {
        CrossSocket_T *s = nullptr;
        int32_t rc = -1;
        const std::string out = printed([&] { rc = crossSocket_OpenSocket(c.address, 0, c.protocol, 0, &s, 0, 0); });
        EXPECT_EQ(rc, c.result) << c.text;
        EXPECT_EQ(out, error_line(c.text));
        EXPECT_EQ(s, nullptr);
    }
    int32_t rc = -1;
    EXPECT_EQ(printed([&] { rc = crossSocket_OpenSocket(kAddress, 0, CROSS_SOCKET_TCP, 0, nullptr, 0, 0); }),
              error_line("crossSocket_OpenSocket(): NULL pointer"));
    EXPECT_EQ(rc, 2);
}

TEST(CrossSocketOpen, EveryProtocolOpensWithBuffersAndReportsItself)
{
    for (uint32_t protocol : {CROSS_SOCKET_UDP, CROSS_SOCKET_UDP_BROADCAST, CROSS_SOCKET_TCP}) {
        CrossSocket_T *s = nullptr;
        ASSERT_EQ(crossSocket_OpenSocket(kAddress, 0, protocol, 1, &s, 64, 64), 0);
        EXPECT_EQ(crossSocket_GetSocketProtocol(s), static_cast<int32_t>(protocol));
        EXPECT_EQ(crossSocket_CloseSocket(&s), 0);
        EXPECT_EQ(s, nullptr);
    }
}

// Each function refuses a missing handle with its own result and text.
TEST(CrossSocketHandle, EveryFunctionRefusesANullHandle)
{
    uint8_t buffer[CROSS_SOCKET_READ_SIZE];
    int32_t length = 0;
    CrossSocket_T *accepted = nullptr;
    DatalinkList_T list{};
    const std::vector<std::tuple<const char *, std::function<int32_t()>, int32_t>> cases = {
        {"ConnectSocketTCP(): _GetSocketStruct() failed",
         [] { return crossSocket_ConnectSocket(nullptr, kAddress, 1, 0); }, 4},
        {"crossSocket_ListenSocketTCP(): _GetSocketStruct() failed", [] { return crossSocket_ListenSocketTCP(nullptr); }, 4},
        {"crossSocket_AcceptSocketTCP(): _GetSocketStruct() failed",
         [&] { return crossSocket_AcceptSocketTCP(nullptr, &accepted, nullptr); }, 4},
        {"crossSocket_ReadFromSocket(): _GetSocketStruct failed",
         [&] { return crossSocket_ReadFromSocket(nullptr, 10, buffer, &length, nullptr); }, 4},
        {"crossSocket_ReadFromSocketLenght(): _GetSocketStruct failed",
         [&] { return crossSocket_ReadFromSocketLenght(nullptr, 10, buffer, 4, &length); }, 4},
        {"crossSocket_WriteToSocket(): _GetSocketStruct failed", [&] { return crossSocket_WriteToSocket(nullptr, buffer, 4); }, 1},
        {"crossSocket_WriteToSocket(): _GetSocketStruct failed",
         [&] { return crossSocket_WriteDatalinkToSocket(nullptr, &list, nullptr); }, 4},
        {"crossSocket_GetSocketProtocol(): _GetSocketStruct() failed", [] { return crossSocket_GetSocketProtocol(nullptr); }, -1},
        {"crossSocket_CloseSocket(): _GetSocketStruct failed", [] { return crossSocket_CloseSocket(nullptr); }, 4},
    };
    for (const auto &[text, call, result] : cases) {
        int32_t rc = 0;
        EXPECT_EQ(printed([&] { rc = call(); }), error_line(text));
        EXPECT_EQ(rc, result) << text;
    }
}

TEST(CrossSocketClose, SecondCloseOfTheSameVariableIsRefused)
{
    CrossSocket_T *s = open_socket(CROSS_SOCKET_TCP);
    ASSERT_EQ(crossSocket_CloseSocket(&s), 0);
    ASSERT_EQ(s, nullptr);
    int32_t rc = 0;
    EXPECT_EQ(printed([&] { rc = crossSocket_CloseSocket(&s); }),
              error_line("crossSocket_CloseSocket(): _GetSocketStruct failed"));
    EXPECT_EQ(rc, 4);
}

TEST(CrossSocketRead, NothingArrivingIsNoFailure)
{
    CrossSocket_T *s = open_socket(CROSS_SOCKET_UDP);
    uint8_t buffer[CROSS_SOCKET_READ_SIZE];
    int32_t length = -1;
    const auto start = Clock::now();
    EXPECT_EQ(printed([&] { EXPECT_EQ(crossSocket_ReadFromSocket(s, 50, buffer, &length, nullptr), 0); }), "");
    EXPECT_EQ(length, 0);
    EXPECT_GE(elapsed_ms(start), 45); // it did wait for the time-out
    crossSocket_CloseSocket(&s);
}

TEST(CrossSocketRead, TcpStreamIsReadAtMost1472BytesAtATime)
{
    TcpPair pair;
    std::vector<uint8_t> sent(2000);
    std::iota(sent.begin(), sent.end(), 0);
    ASSERT_EQ(crossSocket_WriteToSocket(pair.server, sent.data(), 2000), 0);

    std::vector<uint8_t> got;
    for (int32_t expected : {1472, 528}) {
        uint8_t buffer[CROSS_SOCKET_READ_SIZE];
        int32_t length = 0;
        // One send on loopback arrives as one segment, so all 2000 bytes are ready.
        ASSERT_EQ(crossSocket_ReadFromSocket(pair.client, 1000, buffer, &length, nullptr), 0);
        EXPECT_EQ(length, expected);
        got.insert(got.end(), buffer, buffer + length);
    }
    EXPECT_EQ(got, sent);
}

TEST(CrossSocketRead, ExactLengthReadCollectsPiecesThatArriveLate)
{
    TcpPair pair;
    std::thread peer([&] {
        const uint8_t first[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        const uint8_t second[10] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
        crossSocket_WriteToSocket(pair.server, first, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        crossSocket_WriteToSocket(pair.server, second, 10);
    });
    uint8_t buffer[20] = {};
    int32_t received = 0;
    // Each piece gets the full 1000 ms again.
    EXPECT_EQ(crossSocket_ReadFromSocketLenght(pair.client, 1000, buffer, 20, &received), 0);
    peer.join();
    EXPECT_EQ(received, 20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(buffer[i], i + 1);
}

TEST(CrossSocketRead, ExactLengthReadWithStalledPeerTimesOutAndReportsNothingReceived)
{
    TcpPair pair;
    const uint8_t ten[10] = {};
    ASSERT_EQ(crossSocket_WriteToSocket(pair.server, ten, 10), 0);
    uint8_t buffer[20];
    int32_t received = -1;
    int32_t rc = 0;
    EXPECT_EQ(printed([&] { rc = crossSocket_ReadFromSocketLenght(pair.client, 100, buffer, 20, &received); }), "");
    EXPECT_EQ(rc, 15);
    EXPECT_EQ(received, 0);
}

TEST(CrossSocketRead, ExactLengthReadIsForTcpOnly)
{
    CrossSocket_T *s = open_socket(CROSS_SOCKET_UDP);
    uint8_t buffer[4];
    int32_t received = 0;
    int32_t rc = 0;
    EXPECT_EQ(printed([&] { rc = crossSocket_ReadFromSocketLenght(s, 10, buffer, 4, &received); }),
              error_line("crossSocket_ReadFromSocketLenght(): Protocolo not supported by this function"));
    EXPECT_EQ(rc, 999);
    crossSocket_CloseSocket(&s);
}

TEST(CrossSocketRead, PeerThatClosesGives16WithoutText)
{
    TcpPair pair;
    crossSocket_CloseSocket(&pair.server);
    uint8_t buffer[CROSS_SOCKET_READ_SIZE];
    int32_t length = 0;
    EXPECT_EQ(printed([&] {
                  EXPECT_EQ(crossSocket_ReadFromSocket(pair.client, 1000, buffer, &length, nullptr), 16);
                  EXPECT_EQ(crossSocket_ReadFromSocketLenght(pair.client, 1000, buffer, 8, &length), 16);
              }),
              "");
}

TEST(CrossSocketRead, PeerThatResetsGives16WithText)
{
    CrossSocket_T *listener = open_socket(CROSS_SOCKET_TCP, kAddress, kListenPort);
    ASSERT_EQ(crossSocket_ListenSocketTCP(listener), 0);

    // A peer that aborts its connection: linger with time 0 makes close send a reset.
    const int peer = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kListenPort);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(peer, reinterpret_cast<sockaddr *>(&to), sizeof to), 0);
    CrossSocket_T *server = nullptr;
    sockaddr_in from{};
    ASSERT_EQ(crossSocket_AcceptSocketTCP(listener, &server, &from), 0);
    EXPECT_EQ(from.sin_addr.s_addr, htonl(INADDR_LOOPBACK));
    const linger abort_now{1, 0};
    setsockopt(peer, SOL_SOCKET, SO_LINGER, &abort_now, sizeof abort_now);
    close(peer);

    uint8_t buffer[8];
    int32_t received = 0;
    int32_t rc = 0;
    EXPECT_EQ(printed([&] { rc = crossSocket_ReadFromSocketLenght(server, 1000, buffer, 8, &received); }),
              error_line("crossSocket_ReadFromSocketLenght(): Connection reset by peer"));
    EXPECT_EQ(rc, 16);
    crossSocket_CloseSocket(&server);
    crossSocket_CloseSocket(&listener);
}

TEST(CrossSocketAccept, NothingPendingGives21AndOtherProtocolsAreRefused)
{
    CrossSocket_T *listener = open_socket(CROSS_SOCKET_TCP, kAddress, kListenPort);
    ASSERT_EQ(crossSocket_ListenSocketTCP(listener), 0);
    CrossSocket_T *accepted = nullptr;
    EXPECT_EQ(printed([&] { EXPECT_EQ(crossSocket_AcceptSocketTCP(listener, &accepted, nullptr), 21); }), "");
    EXPECT_EQ(accepted, nullptr);
    EXPECT_EQ(printed([&] { EXPECT_EQ(crossSocket_AcceptSocketTCP(listener, nullptr, nullptr), 2); }),
              error_line("crossSocket_AcceptSocketTCP(): NULL paramter"));

    CrossSocket_T *udp = open_socket(CROSS_SOCKET_UDP);
    EXPECT_EQ(printed([&] { EXPECT_EQ(crossSocket_ListenSocketTCP(udp), 14); }),
              error_line("crossSocket_ListenSocketTCP(): Wrong protocol"));
    EXPECT_EQ(printed([&] { EXPECT_EQ(crossSocket_AcceptSocketTCP(udp, &accepted, nullptr), 14); }),
              error_line("crossSocket_AcceptSocketTCP(): Wrong protocol"));
    crossSocket_CloseSocket(&udp);
    crossSocket_CloseSocket(&listener);
}

TEST(CrossSocketAccept, AcceptedSocketIsBlockingAndTalksBothWays)
{
    TcpPair pair;
    ASSERT_EQ(crossSocket_GetSocketProtocol(pair.server), CROSS_SOCKET_TCP);
    const char hello[] = "hello";
    ASSERT_EQ(crossSocket_WriteToSocket(pair.client, hello, 6), 0);
    EXPECT_EQ(read_exactly(pair.server, 6), std::vector<uint8_t>(hello, hello + 6));
    ASSERT_EQ(crossSocket_WriteToSocket(pair.server, hello, 6), 0);
    EXPECT_EQ(read_exactly(pair.client, 6), std::vector<uint8_t>(hello, hello + 6));
}

TEST(CrossSocketConnect, RefusedConnectionIsAFailure)
{
    CrossSocket_T *s = open_socket(CROSS_SOCKET_TCP);
    int32_t rc = 0;
    EXPECT_EQ(printed([&] { rc = crossSocket_ConnectSocket(s, kAddress, kListenPort, 0); }),
              error_line("ConnectSocketTCP(): connect() failed"));
    EXPECT_EQ(rc, 2);
    EXPECT_EQ(printed([&] { rc = crossSocket_ConnectSocket(s, "127.0.0", kListenPort, 0); }),
              error_line("ConnectSocketTCP(): inet_addr() failed"));
    EXPECT_EQ(rc, 18);
    crossSocket_CloseSocket(&s);
}

// A lab address routed into an adapter with nobody behind it never answers.
TEST(CrossSocketConnect, AddressThatNeverAnswersTimesOut)
{
    add_lab_adapter("198.18.0.1/24");
    struct Case {
        uint32_t timeout_us;
        const char *text;
        long at_least_ms;
    } cases[] = {
        {0, "ConnectSocketTCP(): poll timeout (1000) 198.18.0.2", 950},
        {200000, "ConnectSocketTCP(): poll timeout (200) 198.18.0.2", 190},
    };
    for (const Case &c : cases) {
        CrossSocket_T *s = open_socket(CROSS_SOCKET_TCP, "198.18.0.1");
        int32_t rc = 0;
        const auto start = Clock::now();
        EXPECT_EQ(printed([&] { rc = crossSocket_ConnectSocket(s, "198.18.0.2", kListenPort, c.timeout_us); }),
                  error_line(c.text));
        EXPECT_EQ(rc, 15);
        EXPECT_GE(elapsed_ms(start), c.at_least_ms);
        crossSocket_CloseSocket(&s);
    }
}

TEST(CrossSocketConnect, UdpOnlyRecordsTheDestination)
{
    // No route leads to this address: a connect that went to the network would fail.
    CrossSocket_T *s = open_socket(CROSS_SOCKET_UDP);
    EXPECT_EQ(crossSocket_ConnectSocket(s, "198.18.9.9", 30000, 0), 0);
    crossSocket_CloseSocket(&s);
}

TEST(CrossSocketWrite, UdpDatagramGoesToTheRemoteEnd)
{
    CrossSocket_T *receiver = open_socket(CROSS_SOCKET_UDP, kAddress, 30000);
    CrossSocket_T *sender = open_socket(CROSS_SOCKET_UDP, kAddress, 30001);
    ASSERT_EQ(crossSocket_ConnectSocket(sender, kAddress, 30000, 0), 0);
    const uint8_t data[3] = {7, 8, 9};
    ASSERT_EQ(crossSocket_WriteToSocket(sender, data, 3), 0);

    uint8_t buffer[CROSS_SOCKET_READ_SIZE];
    int32_t length = 0;
    sockaddr_in from{};
    ASSERT_EQ(crossSocket_ReadFromSocket(receiver, 1000, buffer, &length, &from), 0);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + length), std::vector<uint8_t>(data, data + 3));
    EXPECT_EQ(ntohs(from.sin_port), 30001);
    crossSocket_CloseSocket(&sender);
    crossSocket_CloseSocket(&receiver);
}

TEST(CrossSocketWrite, BroadcastSocketSendsToAllOnesAtTheRemotePort)
{
    add_lab_adapter("198.18.1.1/24");
    CrossSocket_T *receiver = open_socket(CROSS_SOCKET_UDP, "0.0.0.0", 30000);
    CrossSocket_T *sender = open_socket(CROSS_SOCKET_UDP_BROADCAST, "198.18.1.1");
    // 192.168.1.10 has no route here: only a datagram to 255.255.255.255 can leave.
    ASSERT_EQ(crossSocket_ConnectSocket(sender, "192.168.1.10", 30000, 0), 0);
    const char text[] = "who is there";
    ASSERT_EQ(crossSocket_WriteToSocket(sender, text, sizeof text), 0);
    EXPECT_EQ(read_datagram(receiver), std::vector<uint8_t>(text, text + sizeof text));
    crossSocket_CloseSocket(&sender);
    crossSocket_CloseSocket(&receiver);
}

std::vector<std::pair<int32_t, int32_t>> g_progress;
void record_progress(int32_t sent, int32_t total) { g_progress.emplace_back(sent, total); }

TEST(CrossSocketWrite, DatalinksGoOutInOrderWithProgressAfterEachChunk)
{
    TcpPair pair;
    std::vector<uint8_t> a(100, 0xA1), b(200, 0xB2), c(50, 0xC3);
    DatalinkList_T list{};
    list.count = 3;
    list.total = 350;
    list.lengths[0] = 100, list.data[0] = a.data();
    list.lengths[1] = 200, list.data[1] = b.data();
    list.lengths[2] = 50, list.data[2] = c.data();
    g_progress.clear();
    ASSERT_EQ(crossSocket_WriteDatalinkToSocket(pair.client, &list, record_progress), 0);
    EXPECT_EQ(g_progress, (std::vector<std::pair<int32_t, int32_t>>{{100, 350}, {300, 350}, {350, 350}}));

    std::vector<uint8_t> expected = a;
    expected.insert(expected.end(), b.begin(), b.end());
    expected.insert(expected.end(), c.begin(), c.end());
    EXPECT_EQ(read_exactly(pair.server, 350), expected);
}

TEST(CrossSocketWrite, EmptyListSendsNothingAndBadListsAreRefusedWhole)
{
    TcpPair pair;
    DatalinkList_T list{};
    g_progress.clear();
    EXPECT_EQ(crossSocket_WriteDatalinkToSocket(pair.client, &list, record_progress), 0);
    EXPECT_TRUE(g_progress.empty());

    uint8_t chunk[4] = {1, 2, 3, 4};
    list.count = 2;
    list.lengths[0] = 4, list.data[0] = chunk;
    list.lengths[1] = -1, list.data[1] = chunk;
    EXPECT_EQ(printed([&] { EXPECT_EQ(crossSocket_WriteDatalinkToSocket(pair.client, &list, nullptr), 5); }),
              error_line("crossSocket_WriteToSocket(): invalid datalink 1"));
    list.count = 22;
    EXPECT_EQ(crossSocket_WriteDatalinkToSocket(pair.client, &list, nullptr), 5);

    // Nothing of the refused lists reached the peer.
    uint8_t buffer[CROSS_SOCKET_READ_SIZE];
    int32_t length = -1;
    EXPECT_EQ(crossSocket_ReadFromSocket(pair.server, 50, buffer, &length, nullptr), 0);
    EXPECT_EQ(length, 0);
}

// ---- waiting for something to read ----

int open_descriptors()
{
    int n = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// Long enough that a wait which missed its wake or its data fails the test on its
// result rather than passing late.
constexpr uint32_t kLongWaitMs = 20000;

TEST(CrossSocketWait, ReadinessIsReportedAndNothingIsTaken)
{
    TcpPair pair;
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, 0), 15);
    const uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(crossSocket_WriteToSocket(pair.server, data, 4), 0);
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, kLongWaitMs), 0);
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, kLongWaitMs), 0);
    EXPECT_EQ(read_exactly(pair.client, 4), std::vector<uint8_t>(data, data + 4));
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, 0), 15);

    // The peer's close is readable too; the read tells what it is.
    crossSocket_CloseSocket(&pair.server);
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, kLongWaitMs), 0);
    uint8_t buffer[CROSS_SOCKET_READ_SIZE];
    int32_t length = 0;
    EXPECT_EQ(crossSocket_ReadFromSocket(pair.client, 0, buffer, &length, nullptr), 16);

    CrossSocket_T *receiver = open_socket(CROSS_SOCKET_UDP, kAddress, 30000);
    CrossSocket_T *sender = open_socket(CROSS_SOCKET_UDP, kAddress, 30001);
    ASSERT_EQ(crossSocket_ConnectSocket(sender, kAddress, 30000, 0), 0);
    EXPECT_EQ(crossSocket_WaitReadable(receiver, 0), 15);
    ASSERT_EQ(crossSocket_WriteToSocket(sender, data, 4), 0);
    EXPECT_EQ(crossSocket_WaitReadable(receiver, kLongWaitMs), 0);
    EXPECT_EQ(read_datagram(receiver), std::vector<uint8_t>(data, data + 4));
    crossSocket_CloseSocket(&sender);
    crossSocket_CloseSocket(&receiver);
}

// A thread waits on the client socket while another sends on it: the send goes out
// and the answer ends the wait. A wait that held the handle's lock would keep the
// send back until the wait gave up.
TEST(CrossSocketWait, SendingGoesOnWhileAnotherThreadWaits)
{
    TcpPair pair;
    auto waited = std::async(std::launch::async, [&] { return crossSocket_WaitReadable(pair.client, kLongWaitMs); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // let the wait begin
    const char ping[] = "ping";
    ASSERT_EQ(crossSocket_WriteToSocket(pair.client, ping, 4), 0);
    EXPECT_EQ(read_exactly(pair.server, 4, 1000), std::vector<uint8_t>(ping, ping + 4));
    ASSERT_EQ(crossSocket_WriteToSocket(pair.server, ping, 4), 0);
    EXPECT_EQ(waited.get(), 0);
}

TEST(CrossSocketWait, OneWakeEndsOneWait)
{
    TcpPair pair;
    // Before any wait, and then during one on another thread.
    EXPECT_EQ(crossSocket_WakeWaiter(pair.client), 0);
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, kLongWaitMs), 15);
    auto waited = std::async(std::launch::async, [&] { return crossSocket_WaitReadable(pair.client, kLongWaitMs); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(crossSocket_WakeWaiter(pair.client), 0);
    EXPECT_EQ(waited.get(), 15);

    // Wakes do not pile up: two wakes end the next wait only, and the wait after it
    // lasts until data comes.
    EXPECT_EQ(crossSocket_WakeWaiter(pair.client), 0);
    EXPECT_EQ(crossSocket_WakeWaiter(pair.client), 0);
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, kLongWaitMs), 15);
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(crossSocket_WriteToSocket(pair.server, "x", 1), 0);
    });
    EXPECT_EQ(crossSocket_WaitReadable(pair.client, kLongWaitMs), 0);
    writer.join();
}

TEST(CrossSocketWait, ClosingReleasesWhatTheWaitsUsed)
{
    const int before = open_descriptors();
    for (int woken_first = 0; woken_first < 2; ++woken_first) {
        CrossSocket_T *s = open_socket(CROSS_SOCKET_UDP);
        if (woken_first) {
            EXPECT_EQ(crossSocket_WakeWaiter(s), 0);
        }
        EXPECT_EQ(crossSocket_WaitReadable(s, 0), 15);
        EXPECT_EQ(crossSocket_WaitReadable(s, 0), 15);
        EXPECT_EQ(crossSocket_WakeWaiter(s), 0);
        EXPECT_EQ(crossSocket_CloseSocket(&s), 0);
    }
    EXPECT_EQ(open_descriptors(), before);
}

TEST(CrossSocketWait, RefusesABadHandle)
{
    const std::vector<std::tuple<const char *, std::function<int32_t()>>> cases = {
        {"crossSocket_WaitReadable(): _GetSocketStruct failed", [] { return crossSocket_WaitReadable(nullptr, 0); }},
        {"crossSocket_WakeWaiter(): _GetSocketStruct failed", [] { return crossSocket_WakeWaiter(nullptr); }},
    };
    for (const auto &[text, call] : cases) {
        int32_t rc = 0;
        EXPECT_EQ(printed([&] { rc = call(); }), error_line(text));
        EXPECT_EQ(rc, 4) << text;
    }
}

} // namespace
