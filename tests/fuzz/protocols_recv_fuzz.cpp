// Arbitrary bytes from a camera on a real TCP connection: the camera writes the input
// and hangs up, and the library receives messages until the stream gives out. Every
// input gets a fresh connection, so no run sees the rest of another.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "fuzz_input.h"
#include "transport/protocols.h"

namespace {

constexpr const char *kAddress = "127.0.0.1";
constexpr uint16_t kPort = 42000;

CrossSocket_T *listener()
{
    static CrossSocket_T *socket = [] {
        CrossSocket_T *s = nullptr;
        if (crossSocket_OpenSocket(kAddress, kPort, CROSS_SOCKET_TCP, CROSS_SOCKET_OPTION_REUSE_ADDRESS, &s, 0, 0) !=
                NTCP_OK ||
            crossSocket_ListenSocketTCP(s) != NTCP_OK)
            abort();
        return s;
    }();
    return socket;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Small enough to sit in the socket buffers before anyone reads.
    if (size > 65536)
        return 0;
    const FuzzInput input(data, size);

    CrossSocket_T *server = listener();
    CrossSocket_T *pc = nullptr;
    CrossSocket_T *camera = nullptr;
    if (crossSocket_OpenSocket(kAddress, 0, CROSS_SOCKET_TCP, 0, &pc, 0, 0) != NTCP_OK ||
        crossSocket_ConnectSocket(pc, kAddress, kPort, 0) != NTCP_OK)
        abort();
    int32_t rc;
    for (int i = 0; (rc = crossSocket_AcceptSocketTCP(server, &camera, nullptr)) == NTCP_ERR_NO_CONNECTION && i < 1000; ++i)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    if (rc != NTCP_OK)
        abort();
    if (input.size() > 0 && crossSocket_WriteToSocket(camera, input.bytes(), input.size()) != NTCP_OK)
        abort();
    crossSocket_CloseSocket(&camera);

    ProtocolContext_T context;
    context.socket = pc;
    context.ntcp_id = NTCP_IDENT_DEVICE;
    context.receive_timeout = 1000;
    // Every message takes at least 24 bytes, so the stream gives out within this many.
    for (int32_t i = 0; i <= input.size() / 24; ++i) {
        NTCPHeader_T header{};
        uint8_t *payload = nullptr;
        int32_t payload_size = 0;
        std::lock_guard<std::mutex> lock(context.lock);
        rc = Protocol_recv_ext(&context, &header, &payload, &payload_size, 1);
        if (rc == NTCP_OK && payload != nullptr &&
            (payload_size <= 0 || payload_size != header.payload_size || payload_size % 4 != 0))
            abort();
        free(payload);
        if (rc != NTCP_OK)
            break;
    }
    crossSocket_CloseSocket(&pc);
    return 0;
}
