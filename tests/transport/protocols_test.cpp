// Message framing and exchanges over real sockets on loopback, checked against byte
// vectors written by hand from the TBP packet and datalink rules.
#include "transport/protocols.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "loopback.h"
#include "transport/mirovant.h"
#include "transport/ntcp.h"

using namespace loopback;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kM1 = 0x1A2B3C4D, kM2 = 0x3044DAE1;
constexpr int32_t kGetInfo = 0xAA03;

Bytes operator+(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes slice(const Bytes &b, size_t from, size_t to) { return Bytes(b.begin() + from, b.begin() + to); }

Bytes pattern(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + i / 251);
    return b;
}

// The 40-byte header of a device command (flags 0x03): fixed part and NTCP_ID_VERSION.
Bytes header40(uint32_t command, uint32_t payload) { return words({kM1, kM2, 0, 40, payload, 4096, command, 0x0A00, 4, 200}); }

// The 52-byte discovery header (flags 0x13, receiver 0xFFFFFF).
Bytes header52(uint32_t payload)
{
    return words({kM1, kM2, 0, 52, payload, 4096, 0xAA00, 0x0A00, 4, 200, 0x0A04, 4, 0xFFFFFF});
}

NTCPHeader_T request(int32_t command, uint32_t flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND)
{
    NTCPHeader_T h{};
    h.flags = flags;
    h.ntcp_id = NTCP_IDENT_DEVICE;
    h.command = command;
    return h;
}

NTCPHeader_T discovery()
{
    NTCPHeader_T h = request(NTCP_CMD_DISCOVERY, NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_RECEIVER);
    h.receiver = NTCP_RECEIVER_ALL;
    return h;
}

std::unique_ptr<ProtocolContext_T> context_on(CrossSocket_T *socket, int32_t ntcp_id = NTCP_IDENT_DEVICE,
                                              int32_t receive_timeout = 2000)
{
    auto c = std::make_unique<ProtocolContext_T>();
    c->socket = socket;
    c->ntcp_id = ntcp_id;
    c->receive_timeout = receive_timeout;
    return c;
}

struct Received {
    int32_t rc = -1;
    NTCPHeader_T header{};
    Bytes payload;
    int32_t payload_size = 0;
    std::string printed;
};

Received receive(ProtocolContext_T *c, int32_t wait = 1)
{
    Received r;
    uint8_t *payload = nullptr;
    r.printed = printed([&] { r.rc = Protocol_recv_ext(c, &r.header, &payload, &r.payload_size, wait); });
    if (payload != nullptr)
        r.payload.assign(payload, payload + r.payload_size);
    free(payload);
    return r;
}

// ---- UDP: TBP packets ----

// A UDP "camera" on 127.0.0.1:42000 and the library's side on 42001.
struct UdpLink : testing::Test {
    CrossSocket_T *camera = open_socket(CROSS_SOCKET_UDP, kAddress, kListenPort);
    CrossSocket_T *pc = open_socket(CROSS_SOCKET_UDP, kAddress, kListenPort + 1);
    std::unique_ptr<ProtocolContext_T> pc_context = context_on(pc, NTCP_IDENT_DEVICE, 200);

    void SetUp() override
    {
        ASSERT_EQ(crossSocket_ConnectSocket(pc, kAddress, kListenPort, 0), 0);
        ASSERT_EQ(crossSocket_ConnectSocket(camera, kAddress, kListenPort + 1, 0), 0);
    }
    void TearDown() override
    {
        crossSocket_CloseSocket(&pc);
        crossSocket_CloseSocket(&camera);
    }
    void camera_sends(const std::vector<Bytes> &datagrams)
    {
        for (const Bytes &d : datagrams)
            ASSERT_EQ(crossSocket_WriteToSocket(camera, d.data(), static_cast<int32_t>(d.size())), 0);
    }
};

struct UdpMessage {
    const char *name;
    int32_t payload_size;
    std::vector<Bytes> datagrams; // as they must appear on the wire
};

std::vector<UdpMessage> udp_messages()
{
    const Bytes p2000 = pattern(1948), p2912 = pattern(2860);
    return {
        {"header only, 52 bytes", 0, {words({1, 0, 68, 52}) + header52(0)}},
        {"2000 bytes",
         1948,
         {words({2, 0, 1472, 2000}) + header52(1948) + slice(p2000, 0, 1404),
          words({2, 1, 560, 2000}) + slice(p2000, 1404, 1948)}},
        {"2912 bytes, two full packets",
         2860,
         {words({2, 0, 1472, 2912}) + header52(2860) + slice(p2912, 0, 1404),
          words({2, 1, 1472, 2912}) + slice(p2912, 1404, 2860)}},
    };
}

TEST_F(UdpLink, MessagesGoOutAsTbpDatagrams)
{
    for (const UdpMessage &m : udp_messages()) {
        SCOPED_TRACE(m.name);
        NTCPHeader_T h = discovery();
        const Bytes payload = pattern(static_cast<size_t>(m.payload_size));
        ASSERT_EQ(Protocol_send_ext(pc_context.get(), &h, m.payload_size ? payload.data() : nullptr, m.payload_size,
                                    nullptr),
                  0);
        for (const Bytes &expected : m.datagrams)
            EXPECT_EQ(read_datagram(camera), expected);
        uint8_t buffer[CROSS_SOCKET_READ_SIZE];
        int32_t length = -1;
        EXPECT_EQ(crossSocket_ReadFromSocket(camera, 20, buffer, &length, nullptr), 0);
        EXPECT_EQ(length, 0) << "no datagram beyond the message";
    }
}

TEST_F(UdpLink, TbpDatagramsAreReassembled)
{
    for (const UdpMessage &m : udp_messages()) {
        SCOPED_TRACE(m.name);
        camera_sends(m.datagrams);
        const Received r = receive(pc_context.get());
        ASSERT_EQ(r.rc, 0) << r.printed;
        EXPECT_EQ(r.header.command, NTCP_CMD_DISCOVERY);
        EXPECT_EQ(r.header.receiver, NTCP_RECEIVER_ALL);
        EXPECT_EQ(r.payload, pattern(static_cast<size_t>(m.payload_size)));
    }
}

TEST_F(UdpLink, MirovantMessageInOnePacket)
{
    camera_sends({words({1, 0, 48, 32, 24, 0x623E, 7, 1, 0, 8}) + Bytes{1, 2, 3, 4, 5, 6, 7, 8}});
    const Received r = receive(pc_context.get());
    ASSERT_EQ(r.rc, 0) << r.printed;
    EXPECT_EQ(r.header.flags, 0x9Eu);
    EXPECT_EQ(r.header.command, 0x623E);
    EXPECT_EQ(r.header.sender, 7);
    EXPECT_EQ(r.header.receiver, 1);
    EXPECT_EQ(r.payload, (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(UdpLink, BrokenMessagesAreRefused)
{
    const Bytes p = pattern(1948);
    const Bytes first = words({2, 0, 1472, 2000}) + header52(1948) + slice(p, 0, 1404);
    const std::string decode_failed = error_line("Protocol_recv_ext: DecodeTBPPackets failed");
    const std::string corrupted = error_line("DecodeTBPPackets: Corrupted TBP header recieved") + decode_failed;
    struct Case {
        const char *name;
        std::vector<Bytes> datagrams;
        int32_t result;
        std::string text;
    } cases[] = {
        {"second packet with index 2",
         {first, words({2, 2, 560, 2000}) + slice(p, 1404, 1948)},
         17,
         error_line("DecodeTBPPackets: Wrong packet count received (2 instead of 1)") + decode_failed},
        {"index above the count", {words({1, 2, 68, 52}) + header52(0)}, 17, corrupted},
        {"packet length above 1472", {words({1, 0, 1476, 52}) + header52(0) + Bytes(1404)}, 17, corrupted},
        {"packet length below its own header", {words({1, 0, 8, 52}) + header52(0)}, 17, corrupted},
        {"packet length beyond the datagram", {words({1, 0, 100, 52}) + header52(0)}, 17, corrupted},
        {"15 bytes", {Bytes(15, 1)}, 15, error_line("Protocol_recv_ext: Not enough bytes received")},
        {"no command header", {words({1, 0, 68, 52}) + Bytes(52, 0xEE)}, 4,
         error_line("DecodeTBPPackets: No valid header found") + decode_failed},
        {"more data than the announced payload",
         {words({1, 0, 76, 60}) + header52(4) + Bytes(8, 1)},
         10,
         error_line("DecodeTBPPackets: no more memory for payload") + decode_failed},
        {"second packet never comes", {first}, 15, error_line("Protocol_recv_ext: timeout elapsed")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        camera_sends(c.datagrams);
        const Received r = receive(pc_context.get());
        EXPECT_EQ(r.rc, c.result);
        EXPECT_EQ(r.printed, c.text);
        EXPECT_TRUE(r.payload.empty());
    }
}

TEST_F(UdpLink, PollWithNothingWaitingGives15Silently)
{
    const Received r = receive(pc_context.get(), 0);
    EXPECT_EQ(r.rc, 15);
    EXPECT_EQ(r.printed, "");
}

// The one-packet decoder alone, on the hand-written first packet of the 2000-byte message.
TEST(DecodeTBPPackets, FirstPacketFillsHeaderAndStartsThePayload)
{
    const Bytes p = pattern(1948);
    Bytes packet = words({2, 0, 1472, 2000}) + header52(1948) + slice(p, 0, 1404);
    int32_t count = 0, capacity = 0, filled = 0;
    uint8_t *payload = nullptr;
    NTCPHeader_T h{};
    ASSERT_EQ(DecodeTBPPackets(packet.data(), 0, &count, &h, &payload, &capacity, &filled), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(h.flags, 0x93u);
    EXPECT_EQ(capacity, 1948);
    EXPECT_EQ(filled, 1404);
    EXPECT_EQ(Bytes(payload, payload + filled), slice(p, 0, 1404));
    free(payload);

    int32_t rc = 0;
    EXPECT_EQ(printed([&] { rc = DecodeTBPPackets(packet.data(), 0, nullptr, &h, &payload, &capacity, &filled); }),
              error_line("DecodeTBPPackets: NULL parameter"));
    EXPECT_EQ(rc, 2);
}

// ---- TCP: datalinks ----

struct TcpLink : testing::Test {
    TcpPair pair;
    // Long enough for a loaded machine; cases that expect a time-out set their own.
    std::unique_ptr<ProtocolContext_T> pc = context_on(pair.client, NTCP_IDENT_DEVICE, 5000);
    std::unique_ptr<ProtocolContext_T> camera = context_on(pair.server, NTCP_IDENT_DEVICE, 5000);

    void camera_writes(const Bytes &b)
    {
        ASSERT_EQ(crossSocket_WriteToSocket(pair.server, b.data(), static_cast<int32_t>(b.size())), 0);
    }
};

std::vector<std::pair<int32_t, int32_t>> g_progress;
void record_progress(int32_t sent, int32_t total) { g_progress.emplace_back(sent, total); }

TEST_F(TcpLink, PayloadsGoOutAsDatalinksOfTheCallersMemory)
{
    constexpr int32_t kLarge = 10 * 1024 * 1024 + 7;
    struct Case {
        int32_t payload_size;
        std::vector<int32_t> chunks; // payload chunks after the 40-byte header
    } cases[] = {
        {100, {100}},
        {1048577, {524288, 524288, 1}},
        {kLarge, [] {
             std::vector<int32_t> c(19, 524288);
             c.push_back(524288 + 7);
             return c;
         }()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.payload_size);
        const Bytes payload = pattern(static_cast<size_t>(c.payload_size));
        const int32_t total = 40 + c.payload_size;
        Bytes got;
        std::thread reader([&] { got = read_exactly(pair.server, total); });
        NTCPHeader_T h = request(kGetInfo);
        g_progress.clear();
        ASSERT_EQ(Protocol_send_ext(pc.get(), &h, payload.data(), c.payload_size, record_progress), 0);
        reader.join();

        std::vector<std::pair<int32_t, int32_t>> expected{{40, total}};
        int32_t sent = 40;
        for (int32_t n : c.chunks)
            expected.emplace_back(sent += n, total);
        EXPECT_EQ(g_progress, expected);
        EXPECT_EQ(h.flags & NTCP_FLAG_PAYLOAD_SIZE, NTCP_FLAG_PAYLOAD_SIZE);
        EXPECT_EQ(h.payload_size, c.payload_size);
        ASSERT_EQ(got.size(), static_cast<size_t>(total));
        EXPECT_EQ(slice(got, 0, 40), header40(kGetInfo, static_cast<uint32_t>(c.payload_size)));
        EXPECT_TRUE(slice(got, 40, got.size()) == payload);
    }
}

TEST_F(TcpLink, HeadersWithoutPayloadAnnounceNone)
{
    // A record that still carries an earlier answer's size must not announce a payload.
    NTCPHeader_T h = request(kGetInfo, NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_PAYLOAD_SIZE);
    h.payload_size = 99;
    ASSERT_EQ(Protocol_send_ext(pc.get(), &h, nullptr, 0, nullptr), 0);
    EXPECT_EQ(read_exactly(pair.server, 40), header40(kGetInfo, 0));

    NTCPHeader_T keepalive{};
    keepalive.flags = 0x1E;
    keepalive.command = MV_CMD_KEEPALIVE;
    keepalive.sender = -1;
    pc->ntcp_id = 0;
    ASSERT_EQ(Protocol_send_ext(pc.get(), &keepalive, nullptr, 0, nullptr), 0);
    EXPECT_EQ(read_exactly(pair.server, 24), words({24, MV_CMD_KEEPALIVE, 0xFFFFFFFF, 0, 0, 0}));
}

TEST_F(TcpLink, SendRefusals)
{
    NTCPHeader_T incomplete{};
    incomplete.flags = NTCP_FLAG_COMMAND;
    incomplete.command = MV_CMD_KEEPALIVE;
    NTCPHeader_T h = request(kGetInfo);
    const uint8_t payload[4] = {};
    auto closed = context_on(nullptr);
    struct Case {
        const char *name;
        std::function<int32_t()> call;
        int32_t result;
        std::string text;
    } cases[] = {
        {"null record", [&] { return Protocol_send_ext(pc.get(), nullptr, nullptr, 0, nullptr); }, 2,
         error_line("Protocol_send_ext: NULL parameters")},
        {"incomplete MIROVANT record", [&] { return Protocol_send_ext(pc.get(), &incomplete, nullptr, 0, nullptr); },
         5, error_line("Protocol_send_ext: Invalid parameter for MIROVANT protocol")},
        {"negative payload size", [&] { return Protocol_send_ext(pc.get(), &h, payload, -4, nullptr); }, 5,
         error_line("Protocol_send_ext: Invalid payload size -4")},
        {"invalid socket handle", [&] { return Protocol_send_ext(closed.get(), &h, nullptr, 0, nullptr); }, 4,
         error_line("crossSocket_GetSocketProtocol(): _GetSocketStruct() failed") +
             error_line("Protocol_send_ext: crossSocket_GetSocketProtocol failed")},
    };
    for (const Case &c : cases) {
        int32_t rc = 0;
        EXPECT_EQ(printed([&] { rc = c.call(); }), c.text) << c.name;
        EXPECT_EQ(rc, c.result) << c.name;
    }
}

TEST_F(TcpLink, AnswersAreDecoded)
{
    struct Case {
        const char *name;
        Bytes wire;
        uint32_t flags;
        int32_t command, error, sender, receiver;
        Bytes payload;
    } cases[] = {
        {"NTCP answer with response, error and payload",
         words({kM1, kM2, 0, 64, 8, 4096, kGetInfo, 0x0A00, 4, 200, 0x0A01, 4, 1, 0x0A02, 4, 5, 0x11, 0x22}),
         0xC7, kGetInfo, 5, 0, 0, words({0x11, 0x22})},
        {"NTCP answer without payload", header40(kGetInfo, 0), 0x83, kGetInfo, 0, 0, 0, {}},
        {"MIROVANT answer", words({24, 0x623E, 7, 1, 0, 4, 0xABCD}), 0x9E, 0x623E, 0, 7, 1, words({0xABCD})},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        camera_writes(c.wire);
        const Received r = receive(pc.get());
        ASSERT_EQ(r.rc, 0) << r.printed;
        EXPECT_EQ(r.header.flags, c.flags);
        EXPECT_EQ(r.header.command, c.command);
        EXPECT_EQ(r.header.error, c.error);
        EXPECT_EQ(r.header.sender, c.sender);
        EXPECT_EQ(r.header.receiver, c.receiver);
        EXPECT_EQ(r.payload, c.payload);
        EXPECT_EQ(r.payload_size, static_cast<int32_t>(c.payload.size()));
    }
}

TEST_F(TcpLink, LargeAnswerArrivesWhole)
{
    // Past the first steps of the receive buffer's growth.
    const int32_t size = 3 * 1024 * 1024 + 4;
    const Bytes message = header40(kGetInfo, static_cast<uint32_t>(size)) + pattern(static_cast<size_t>(size));
    std::thread writer([&] { camera_writes(message); });
    const Received r = receive(pc.get());
    writer.join();
    ASSERT_EQ(r.rc, 0) << r.printed;
    EXPECT_EQ(r.payload_size, size);
    EXPECT_TRUE(r.payload == slice(message, 40, message.size()));
}

TEST_F(TcpLink, AnnouncedPayloadThatNeverComesIsDropped)
{
    // A header alone announcing nearly 2 GiB: the connection ends before the bytes.
    camera_writes(header40(kGetInfo, 0x7FFFFFF0) + Bytes(64, 1));
    crossSocket_CloseSocket(&pair.server);
    const Received r = receive(pc.get());
    EXPECT_EQ(r.rc, 16);
    EXPECT_EQ(r.printed, error_line("Protocol_recv_ext: crossSocket_ReadFromSocketLenght failed"));
}

TEST(ProtocolRecvTcp, BrokenAnswersAreRefused)
{
    Bytes encrypted = header40(kGetInfo, 0);
    encrypted[8] = 1;
    const std::string wrong_size = error_line("Protocol_recv_ext: Wrong size received");
    struct Case {
        const char *name;
        Bytes wire;
        int32_t result;
        std::string text;
    } cases[] = {
        {"10-byte payload", header40(kGetInfo, 10) + Bytes(12, 1), 15,
         error_line("Protocol_recv_ext: Wrong payload size received")},
        {"header length above 1472", words({kM1, kM2, 0, 1476, 0, 4096}), 15, wrong_size},
        {"header length below 28", words({kM1, kM2, 0, 24, 0, 4096}), 15, wrong_size},
        {"no valid header", Bytes(24, 0x55), 4, error_line("Protocol_recv_ext: No valid header found")},
        {"header cut short", slice(header40(kGetInfo, 0), 0, 32), 15, error_line("Protocol_recv_ext: timeout elapsed")},
        {"encrypted header", encrypted, 999,
         error_line("NTCP_GetCommandHeader: Encryption functionality not supported yet") +
             error_line("Protocol_recv_ext: NTCP_GetCommandHeader failed")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // Each case on a fresh connection: a refused message leaves its rest in the stream.
        TcpPair fresh;
        auto context = context_on(fresh.client, NTCP_IDENT_DEVICE, 200);
        ASSERT_EQ(crossSocket_WriteToSocket(fresh.server, c.wire.data(), static_cast<int32_t>(c.wire.size())), 0);
        const Received r = receive(context.get());
        EXPECT_EQ(r.rc, c.result);
        EXPECT_EQ(r.printed, c.text);
        EXPECT_TRUE(r.payload.empty());
    }
}

TEST_F(TcpLink, QuietAndClosedConnections)
{
    Received r = receive(pc.get(), 0);
    EXPECT_EQ(r.rc, 15);
    EXPECT_EQ(r.printed, "");

    crossSocket_CloseSocket(&pair.server);
    r = receive(pc.get());
    EXPECT_EQ(r.rc, 16);
    EXPECT_EQ(r.printed, "");
}

TEST_F(TcpLink, PayloadWithoutPlaceForItIsDropped)
{
    camera_writes(header40(kGetInfo, 4) + words({1}));
    NTCPHeader_T h{};
    int32_t rc = 0;
    EXPECT_EQ(printed([&] { rc = Protocol_recv_ext(pc.get(), &h, nullptr, nullptr, 1); }),
              error_line("Protocol_recv_ext: Payload parameters are NULL, payload lost"));
    EXPECT_EQ(rc, 2);
}

TEST(ProtocolRecv, InvalidSocketHandleIsAFailure)
{
    auto context = context_on(nullptr);
    const Received r = receive(context.get());
    EXPECT_EQ(r.rc, 4);
    EXPECT_EQ(r.printed, error_line("crossSocket_GetSocketProtocol(): _GetSocketStruct() failed") +
                             error_line("Protocol_recv_ext: crossSocket_GetSocketProtocol failed"));
}

// ---- exchanges against a camera thread on the other end ----

// Takes one request and answers it with `answer` (and `payload`), unless `answer` is null.
struct Camera {
    Received request;
    std::thread thread;

    Camera(ProtocolContext_T *context, std::function<void(NTCPHeader_T &)> answer, Bytes payload = {})
    {
        thread = std::thread([this, context, answer, payload] {
            uint8_t *body = nullptr;
            request.rc = Protocol_recv_ext(context, &request.header, &body, &request.payload_size, 1);
            if (body != nullptr)
                request.payload.assign(body, body + request.payload_size);
            free(body);
            if (!answer)
                return;
            NTCPHeader_T reply = request.header;
            answer(reply);
            Protocol_send_ext(context, &reply, payload.empty() ? nullptr : payload.data(),
                              static_cast<int32_t>(payload.size()), nullptr);
        });
    }
    void wait()
    {
        if (thread.joinable())
            thread.join();
    }
    ~Camera() { wait(); }
};

void respond(NTCPHeader_T &h) { h.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_RESPONSE; }

TEST_F(TcpLink, SendCommandChecksTheAnswer)
{
    struct Case {
        const char *name;
        int32_t ntcp_id;
        std::function<void(NTCPHeader_T &)> answer;
        int32_t result;
        uint32_t flags;
        int32_t error;
        std::string text;
    } cases[] = {
        {"right answer", NTCP_IDENT_DEVICE, respond, 0, 0xC3, 0, ""},
        {"device error 3", NTCP_IDENT_DEVICE,
         [](NTCPHeader_T &h) {
             respond(h);
             h.flags |= NTCP_FLAG_ERROR;
             h.error = 3;
         },
         250, 0xC7, 3, ""},
        {"other command", NTCP_IDENT_DEVICE,
         [](NTCPHeader_T &h) {
             respond(h);
             h.command = NTCP_CMD_REBOOT;
         },
         7, 0x03, 0, error_line("Protocol_send_command: Wrong command received 43522 instead of 43523")},
        {"MIROVANT answer with error 0", 0,
         [](NTCPHeader_T &h) {
             h.flags = 0x1E;
             h.error = 0;
         },
         0, 0x9E, 0, ""},
        {"no answer", NTCP_IDENT_DEVICE, nullptr, 15, 0x03, 0, error_line("Protocol_send_command: fn_recv failed")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pc->ntcp_id = c.ntcp_id;
        pc->receive_timeout = c.answer ? 5000 : 200;
        camera->ntcp_id = c.ntcp_id;
        NTCPHeader_T h = c.ntcp_id > 0 ? request(kGetInfo) : NTCPHeader_T{0x1E, 0, kGetInfo, 0, -1, 0, 0, {}};
        int32_t rc = 0;
        std::string out;
        {
            Camera cam(camera.get(), c.answer);
            out = printed([&] { rc = Protocol_send_command(pc.get(), &h, 1); });
        }
        EXPECT_EQ(rc, c.result);
        EXPECT_EQ(out, c.text);
        EXPECT_EQ(h.flags, c.flags);
        EXPECT_EQ(h.error, c.error);
    }
}

TEST_F(TcpLink, AnswerPayloadsAreHandedOver)
{
    const Bytes request_payload = words({0xFA, 0xCE});
    const Bytes answer_payload = words({1, 2, 3});
    uint8_t *answer = nullptr;
    int32_t answer_size = 0;
    {
        Camera cam(camera.get(), respond, answer_payload);
        NTCPHeader_T h = request(kGetInfo);
        ASSERT_EQ(Protocol_send_receive_buffer(pc.get(), &h, request_payload.data(), 8, &answer, &answer_size), 0);
        cam.wait();
        EXPECT_EQ(cam.request.payload, request_payload);
    }
    EXPECT_EQ(Bytes(answer, answer + answer_size), answer_payload);
    free(answer);

    {
        Camera cam(camera.get(),
                   [](NTCPHeader_T &h) {
                       respond(h);
                       h.flags |= NTCP_FLAG_ERROR;
                       h.error = 12;
                   },
                   answer_payload);
        NTCPHeader_T h = request(kGetInfo);
        EXPECT_EQ(Protocol_receive_buffer(pc.get(), &h, &answer, &answer_size), 250);
        EXPECT_EQ(h.error, 12);
    }
    EXPECT_EQ(Bytes(answer, answer + answer_size), answer_payload);
    free(answer);
}

TEST_F(TcpLink, SendingWithoutWaitingReturnsAfterTheSend)
{
    const Bytes payload = pattern(600000);
    Camera cam(camera.get(), nullptr);
    NTCPHeader_T h = request(NTCP_CMD_UPDATE_START);
    g_progress.clear();
    ASSERT_EQ(Protocol_send_buffer_using_callback(pc.get(), &h, payload.data(), 600000, 0, record_progress), 0);
    EXPECT_EQ(g_progress, (std::vector<std::pair<int32_t, int32_t>>{{40, 600040}, {524328, 600040}, {600040, 600040}}));
    cam.wait();
    EXPECT_EQ(cam.request.rc, 0);
    EXPECT_TRUE(cam.request.payload == payload);
}

TEST(ProtocolExchange, NullArgumentsAreRefusedWithoutTouchingTheLock)
{
    auto context = context_on(nullptr);
    NTCPHeader_T h = request(kGetInfo);
    uint8_t *answer = reinterpret_cast<uint8_t *>(&h);
    int32_t size = 5;
    std::lock_guard<std::mutex> held(context->lock); // a call that took it would hang
    struct Case {
        std::function<int32_t()> call;
        const char *text;
    } cases[] = {
        {[&] { return Protocol_send_command(nullptr, &h, 1); }, "Protocol_send_command: NULL parameter"},
        {[&] { return Protocol_send_buffer(context.get(), &h, nullptr, 4, 1); }, "Protocol_send_buffer: NULL parameter"},
        {[&] { return Protocol_send_buffer_using_callback(context.get(), &h, nullptr, 4, 0, nullptr); },
         "Protocol_send_buffer_using_callback: NULL parameter"},
        {[&] { return Protocol_receive_buffer(context.get(), &h, &answer, nullptr); },
         "Protocol_receive_buffer: NULL parameter"},
        {[&] { return Protocol_send_receive_buffer(context.get(), &h, nullptr, 4, &answer, &size); },
         "Protocol_send_receive_buffer: NULL parameter"},
    };
    for (const Case &c : cases) {
        int32_t rc = 0;
        std::string out;
        std::thread caller([&] { out = printed([&] { rc = c.call(); }); });
        caller.join();
        EXPECT_EQ(out, error_line(c.text));
        EXPECT_EQ(rc, 2) << c.text;
    }
    EXPECT_EQ(answer, nullptr); // the receive variant clears its out pointer first
}

} // namespace
