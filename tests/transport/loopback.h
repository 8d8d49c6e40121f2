// Helpers of the transport tests: a connected TCP pair on loopback made with the
// library's own socket layer, and the diagnostic lines a call prints. The tests run
// each case in a network namespace of its own, so fixed ports cannot collide.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "transport/cross_socket.h"

namespace loopback {

constexpr const char *kAddress = "127.0.0.1";
constexpr uint16_t kListenPort = 42000;

inline CrossSocket_T *open_socket(uint32_t protocol, const char *address = kAddress, uint16_t port = 0)
{
    CrossSocket_T *s = nullptr;
    EXPECT_EQ(crossSocket_OpenSocket(address, port, protocol, CROSS_SOCKET_OPTION_REUSE_ADDRESS, &s, 0, 0), 0);
    return s;
}

// A client socket connected to an accepted server-side socket.
struct TcpPair {
    CrossSocket_T *listener = nullptr;
    CrossSocket_T *client = nullptr;
    CrossSocket_T *server = nullptr;

    TcpPair()
    {
        listener = open_socket(CROSS_SOCKET_TCP, kAddress, kListenPort);
        EXPECT_EQ(crossSocket_ListenSocketTCP(listener), 0);
        client = open_socket(CROSS_SOCKET_TCP);
        EXPECT_EQ(crossSocket_ConnectSocket(client, kAddress, kListenPort, 0), 0);
        for (int i = 0; i < 200 && server == nullptr; ++i) {
            if (crossSocket_AcceptSocketTCP(listener, &server, nullptr) == NTCP_ERR_NO_CONNECTION)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_NE(server, nullptr);
    }
    ~TcpPair()
    {
        for (CrossSocket_T **s : {&client, &server, &listener})
            if (*s != nullptr)
                crossSocket_CloseSocket(s);
    }
    TcpPair(const TcpPair &) = delete;
    TcpPair &operator=(const TcpPair &) = delete;
};

// Reads exactly `n` bytes from a TCP socket.
inline std::vector<uint8_t> read_exactly(CrossSocket_T *s, int32_t n, uint32_t timeout_ms = 5000)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    int32_t got = 0;
    EXPECT_EQ(crossSocket_ReadFromSocketLenght(s, timeout_ms, bytes.data(), n, &got), 0);
    EXPECT_EQ(got, n);
    return bytes;
}

// Reads one datagram.
inline std::vector<uint8_t> read_datagram(CrossSocket_T *s, uint32_t timeout_ms = 2000)
{
    uint8_t buffer[CROSS_SOCKET_READ_SIZE];
    int32_t length = 0;
    EXPECT_EQ(crossSocket_ReadFromSocket(s, timeout_ms, buffer, &length, nullptr), 0);
    return {buffer, buffer + length};
}

// The diagnostic lines printed while `f` runs.
template <typename F> std::string printed(F &&f)
{
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

inline std::string error_line(const std::string &text) { return "[ERROR] - " + text + "\n"; }

// Little-endian words, as they go on the wire.
inline void append_words(std::vector<uint8_t> &out, std::initializer_list<uint32_t> words)
{
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

inline std::vector<uint8_t> words(std::initializer_list<uint32_t> w)
{
    std::vector<uint8_t> out;
    append_words(out, w);
    return out;
}

} // namespace loopback
