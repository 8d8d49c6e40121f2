// Upload throughput of a firmware update of 64 MiB to a camsim camera across the lab,
// beside plain TCP throughput over the same veth link in the same run, and their
// ratio. Runs inside the lab, which names the hosts in its environment:
//
//   unshare --net -- bash -c 'ip link set lo up && scripts/lab
//       --camsim build/default/tools/camsim/camsim --cameras 1 --set update_interval_ms=0
//       -- build/default/bench/update_upload_bench [rounds]'
//
// Update: from QuentixClientUpdate_Start returning (connection open, payload built)
// until the first feedback item, which the camera sends once it has taken the whole
// payload and acknowledged the stream (feedback interval 0). Plain TCP: a receiver
// thread on the camera host drains one connection; from the first send until it holds
// every byte. Best of several rounds each.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "client/QuentixClientUpdate.h"
#include "runtime/cross_sys.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t kFileSize = 64 * 1024 * 1024;
constexpr int32_t kPort = 42000;
constexpr uint16_t kRawPort = 42100;

[[noreturn]] void die(const char *what)
{
    perror(what);
    exit(1);
}

std::string env(const char *name)
{
    const char *v = getenv(name);
    if (v == nullptr || *v == '\0') {
        fprintf(stderr, "update_upload_bench: %s not set; run it inside scripts/lab\n", name);
        exit(2);
    }
    return v;
}

sockaddr_in address(const std::string &ip, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (inet_pton(AF_INET, ip.c_str(), &a.sin_addr) != 1)
        die("inet_pton");
    return a;
}

// Plain TCP over the lab link: a listener on the camera host (its thread enters the
// camera namespace), a sender on the PC host.
// With `keep`, the receiver stores every byte in a fresh buffer of the whole size, as
// a camera taking a firmware image must; without, it drains into one reused MiB.
double raw_seconds(const std::string &cam_ns, const std::string &camera_ip, const std::string &pc_ip,
                   const std::vector<uint8_t> &data, bool keep)
{
    std::atomic<int> listening{0};
    std::atomic<uint64_t> received{0};
    std::thread receiver([&] {
        const int ns = open(("/run/netns/" + cam_ns).c_str(), O_RDONLY | O_CLOEXEC);
        if (ns < 0 || setns(ns, CLONE_NEWNET) != 0)
            die("setns");
        close(ns);
        const int l = socket(AF_INET, SOCK_STREAM, 0);
        const int one = 1;
        setsockopt(l, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        const sockaddr_in a = address(camera_ip, kRawPort);
        if (bind(l, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 || listen(l, 1) != 0)
            die("bind/listen");
        listening = 1;
        const int fd = accept(l, nullptr, nullptr);
        close(l);
        std::vector<uint8_t> drain(1 << 20);
        // Uninitialised on purpose: its pages are first touched by the receive.
        std::unique_ptr<uint8_t[]> whole(keep ? new uint8_t[data.size()] : nullptr);
        size_t at = 0;
        for (;;) {
            uint8_t *into = keep ? whole.get() + at : drain.data();
            const size_t room = keep ? data.size() - at : drain.size();
            const ssize_t n = room == 0 ? 0 : recv(fd, into, room, 0);
            if (n <= 0)
                break;
            at += static_cast<size_t>(n);
            received.fetch_add(static_cast<uint64_t>(n), std::memory_order_release);
        }
        close(fd);
    });
    while (listening.load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in local = address(pc_ip, 0);
    const sockaddr_in remote = address(camera_ip, kRawPort);
    if (bind(fd, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0 ||
        connect(fd, reinterpret_cast<const sockaddr *>(&remote), sizeof remote) != 0)
        die("connect");
    const auto start = Clock::now();
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, 0);
        if (n <= 0)
            die("send");
        sent += static_cast<size_t>(n);
    }
    while (received.load(std::memory_order_acquire) < data.size())
        std::this_thread::yield();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    receiver.join();
    return seconds;
}

// The update's upload; a negative value when the update did not get to its feedback.
double update_seconds(const std::string &camera_ip, const std::string &pc_ip, const std::vector<uint8_t> &file)
{
    QuentixUpdate_T *update = QuentixClientUpdate_Start(pc_ip.c_str(), camera_ip.c_str(), kPort, 20000, nullptr,
                                                         file.data(), static_cast<int32_t>(file.size()));
    if (update == nullptr)
        return -1;
    const auto start = Clock::now();
    double seconds = -1;
    const auto deadline = start + std::chrono::seconds(60);
    while (Clock::now() < deadline) {
        UpdateProgress_T item;
        const int32_t result = QuentixClientUpdate_GetProgress(update, &item);
        if (result == 0 && item.kind != UPDATE_KIND_UPLOAD) {
            if (item.kind == UPDATE_KIND_IN_PROGRESS || item.kind == UPDATE_KIND_DONE)
                seconds = std::chrono::duration<double>(Clock::now() - start).count();
            break;
        }
        if (result != 0 && result != NTCP_ERR_STREAM_EMPTY)
            break;
        if (result == NTCP_ERR_STREAM_EMPTY)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    QuentixClientUpdate_Destroy(&update);
    return seconds;
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const std::string pc_ip = env("LAB_PC_IP");
    const std::string cam_ns = env("LAB_CAM_NS");
    std::string camera_ip = env("LAB_CAMERA_IPS");
    camera_ip = camera_ip.substr(0, camera_ip.find(' '));
    ntcp_printf_set_level(NTCP_PRINTF_LEVEL_OFF);

    std::vector<uint8_t> file(kFileSize);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>(i * 131 + 7);

    double best_update = 0, best_raw = 0, best_kept = 0;
    for (int r = 0; r < rounds; ++r) {
        const double u = update_seconds(camera_ip, pc_ip, file);
        if (u <= 0) {
            fprintf(stderr, "update_upload_bench: the update did not reach its feedback\n");
            return 1;
        }
        const double t = raw_seconds(cam_ns, camera_ip, pc_ip, file, false);
        const double k = raw_seconds(cam_ns, camera_ip, pc_ip, file, true);
        best_update = r == 0 ? u : std::min(best_update, u);
        best_raw = r == 0 ? t : std::min(best_raw, t);
        best_kept = r == 0 ? k : std::min(best_kept, k);
    }
    const double mib = static_cast<double>(kFileSize) / (1024.0 * 1024.0);
    const double update_rate = mib / best_update;
    const double raw_rate = mib / best_raw;
    printf("update upload of %.0f MiB to camsim %s: %.3f s, %.1f MiB/s (best of %d)\n", mib, camera_ip.c_str(),
           best_update, update_rate, rounds);
    printf("raw TCP of %.0f MiB over the same link:   %.3f s, %.1f MiB/s (best of %d)\n", mib, best_raw, raw_rate,
           rounds);
    printf("raw TCP of %.0f MiB kept in a fresh buffer:  %.3f s, %.1f MiB/s (best of %d)\n", mib, best_kept,
           mib / best_kept, rounds);
    printf("ratio update/raw: %.2f (target at least 0.80)\n", update_rate / raw_rate);
    printf("ratio update/raw kept in memory: %.2f\n", update_rate / (mib / best_kept));
    return 0;
}
