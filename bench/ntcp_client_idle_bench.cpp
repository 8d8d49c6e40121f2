// CPU time of the receiver thread of an idle NTCP client: one client connected to a
// camera thread on loopback that answers keep-alives (period 1000 ms) and nothing
// else, left alone for a while. The receiver thread's own CPU clock is read before
// and after; the figure is its share of one core.
//
//   unshare --net -- bash -c 'ip link set lo up && ntcp_client_idle_bench [seconds]'
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "runtime/cross_sys.h"
#include "transport/ntcp_client.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kAddress = "127.0.0.1";
constexpr uint16_t kPort = 42000;

double thread_cpu_ms(pthread_t thread)
{
    clockid_t clock;
    timespec t{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &t) != 0) {
        perror("thread CPU clock");
        exit(1);
    }
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double process_cpu_ms()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// The camera: accepts one connection and answers every keep-alive.
class Camera {
public:
    Camera()
    {
        if (crossSocket_OpenSocket(kAddress, kPort, CROSS_SOCKET_TCP, CROSS_SOCKET_OPTION_REUSE_ADDRESS, &listener_,
                                   0, 0) != 0 ||
            crossSocket_ListenSocketTCP(listener_) != 0)
            exit(1);
        context_.ntcp_id = NTCP_IDENT_DEVICE;
        context_.receive_timeout = 2000;
        thread_ = std::thread([this] { run(); });
    }
    ~Camera()
    {
        stop_ = true;
        thread_.join();
        if (context_.socket != nullptr)
            crossSocket_CloseSocket(&context_.socket);
        crossSocket_CloseSocket(&listener_);
    }
    int answered() const { return answered_; }

private:
    void run()
    {
        while (!stop_ && context_.socket == nullptr)
            if (crossSocket_AcceptSocketTCP(listener_, &context_.socket, nullptr) != 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        while (!stop_) {
            NTCPHeader_T h{};
            uint8_t *payload = nullptr;
            int32_t size = 0;
            std::lock_guard<std::mutex> guard(context_.lock);
            // Waits up to the receive time-out, so the camera itself stays cheap.
            const int32_t rc = Protocol_recv_ext(&context_, &h, &payload, &size, 1);
            free(payload);
            if (rc == NTCP_ERR_TIMEOUT)
                continue;
            if (rc != 0)
                return;
            if (h.command == NTCP_CMD_KEEPALIVE) {
                NTCPHeader_T answer{};
                answer.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_RESPONSE;
                answer.ntcp_id = NTCP_IDENT_DEVICE;
                answer.command = NTCP_CMD_KEEPALIVE;
                if (Protocol_send_ext(&context_, &answer, nullptr, 0, nullptr) == 0)
                    ++answered_;
            }
        }
    }

    CrossSocket_T *listener_ = nullptr;
    ProtocolContext_T context_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> answered_{0};
};

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? atoi(argv[1]) : 10;
    ntcp_printf_set_level(0);
    Camera camera;
    int32_t error = -1;
    NTCPClient_T *client = NTCP_client_open(kAddress, kAddress, kPort, 1000, NTCP_IDENT_DEVICE, 0, 1000, &error);
    if (client == nullptr) {
        fprintf(stderr, "NTCP_client_open failed: %d\n", error);
        return 1;
    }
    const pthread_t receiver = client->thread->thread;

    const double thread_before = thread_cpu_ms(receiver);
    const double process_before = process_cpu_ms();
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall_ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const double thread_ms = thread_cpu_ms(receiver) - thread_before;
    const double process_ms = process_cpu_ms() - process_before;
    int32_t connected = 0;
    NTCP_client_is_connected(client, &connected);

    printf("idle NTCP client, %.1f s, keep-alive period 1000 ms\n", wall_ms / 1e3);
    printf("receiver thread CPU: %.1f ms = %.3f %% of one core\n", thread_ms, 100.0 * thread_ms / wall_ms);
    printf("whole process CPU (receiver thread, camera thread, main): %.1f ms = %.3f %% of one core\n", process_ms,
           100.0 * process_ms / wall_ms);
    printf("keep-alives answered by the camera: %d, client connected: %d\n", camera.answered(), connected);
    NTCP_client_close(&client);
    return 0;
}
