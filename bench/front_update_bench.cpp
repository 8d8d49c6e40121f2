// nolmak_update_gpg of a 64 MiB file to a camsim camera, beside a plain TCP send of
// the same bytes to the camera host over the same veth link. Runs on the PC host of
// a lab with one camera whose feedback is a single DONE:
//
//   scripts/lab --camsim build/default/tools/camsim/camsim --cameras 1
//       --set 'update_feedback=256:100:done' --set update_interval_ms=1 --
//       build/default/bench/front_update_bench [rounds]
// (one command line)
//
// Figures per round:
// - upload: from the call of nolmak_update_gpg until camsim holds the whole update
//   message (file read, payload build, connection and transfer). camsim's record
//   gives its arrival; a nolmak_get_info just before the update ties camsim's clock
//   to ours (both are the system's monotonic clock counted from different starts).
// - update: the whole call, which polls the camera's progress every 500 ms and so
//   lasts at least one poll.
// - raw TCP: connect, send the same bytes with plain send() and wait for the
//   receiver's one-byte acknowledgement; the receiver runs on the camera host.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <csignal>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "nolmak/nolmak.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kFileBytes = 64u * 1024u * 1024u;
constexpr uint16_t kSinkPort = 42100;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

sockaddr_in addressOf(const char *ip, uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

// The receiver of the raw TCP transfer: takes `bytes` from each connection and
// answers with one byte.
int sink(const char *ip, size_t bytes)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in a = addressOf(ip, kSinkPort);
    if (bind(listener, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0 || listen(listener, 4) != 0) {
        perror("sink");
        return 1;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const int fd = accept(listener, nullptr, nullptr);
        if (fd < 0)
            return 1;
        size_t got = 0;
        ssize_t n = 0;
        while (got < bytes && (n = recv(fd, buffer.data(), buffer.size(), 0)) > 0)
            got += static_cast<size_t>(n);
        const char ack = 1;
        send(fd, &ack, 1, MSG_NOSIGNAL);
        close(fd);
    }
}

// Milliseconds of one raw transfer of `data` to the sink, or a negative value.
double rawTransfer(const char *ip, const std::vector<uint8_t> &data)
{
    const Clock::time_point start = Clock::now();
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in a = addressOf(ip, kSinkPort);
    if (connect(fd, reinterpret_cast<const sockaddr *>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        sent += static_cast<size_t>(n);
    }
    char ack = 0;
    const bool acknowledged = recv(fd, &ack, 1, 0) == 1;
    close(fd);
    return acknowledged ? msSince(start) : -1;
}

// camsim's time (t=) of its last record line with `command`, or -1.
long long recordTime(const std::string &record, const char *command)
{
    std::ifstream in(record);
    long long found = -1;
    for (std::string line; std::getline(in, line);) {
        if (line.find(command) == std::string::npos)
            continue;
        long long t = 0;
        if (std::sscanf(line.c_str(), "t=%lld", &t) == 1)
            found = t;
    }
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "--sink") == 0)
        return sink(argv[2], kFileBytes);

    const char *pcIp = std::getenv("LAB_PC_IP");
    const char *cameras = std::getenv("LAB_CAMERA_IPS");
    const char *camNs = std::getenv("LAB_CAM_NS");
    const char *record = std::getenv("LAB_RECORD");
    const char *dir = std::getenv("LAB_DIR");
    if (pcIp == nullptr || cameras == nullptr || camNs == nullptr || record == nullptr || dir == nullptr) {
        std::fprintf(stderr, "run it on the PC host of a lab: scripts/lab --cameras 1 -- %s\n", argv[0]);
        return 2;
    }
    const std::string camera = std::string(cameras).substr(0, std::string(cameras).find(' '));
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;

    const std::vector<uint8_t> data(kFileBytes, 0x5A);
    const std::string file = std::string(dir) + "/update.gpg";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char *>(data.data()),
                                                static_cast<std::streamsize>(data.size()));

    // The raw receiver on the camera host, beside camsim: this program again.
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0)
        return 2;
    const pid_t sinkPid = fork();
    if (sinkPid == 0) {
        execlp("ip", "ip", "netns", "exec", camNs, self, "--sink", camera.c_str(), nullptr);
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    // Standard output goes to a file while the library reports, so the figures stay readable.
    std::printf("64 MiB update to %s beside raw TCP on the same link, %d rounds\n", camera.c_str(), rounds);
    std::fflush(stdout);
    for (int round = 1; round <= rounds; ++round) {
        const double rawMs = rawTransfer(camera.c_str(), data);

        void *sdk = nolmak_create();
        nolmak_set_local_ip(sdk, pcIp);
        const Clock::time_point before = Clock::now();
        nolmak_get_info(sdk, camera.c_str(), nullptr, 0);
        const double infoMs = msSince(before);
        const Clock::time_point start = Clock::now();
        const double offsetMs = std::chrono::duration<double, std::milli>(start - before).count() - infoMs / 2;
        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        const std::string log = std::string(dir) + "/update.log";
        (void)!std::freopen(log.c_str(), "w", stdout);
        const int32_t ok = nolmak_update_gpg(sdk, camera.c_str(), 42000, 120000, file.c_str());
        const double updateMs = msSince(start);
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        nolmak_destroy(sdk);

        const long long infoAt = recordTime(record, "cmd=0xAA03");
        const long long uploadAt = recordTime(record, "cmd=0xADA7");
        const double uploadMs = infoAt >= 0 && uploadAt >= 0 ? static_cast<double>(uploadAt - infoAt) - offsetMs : -1;
        const double mib = static_cast<double>(kFileBytes) / (1024.0 * 1024.0);
        std::printf("round %d: result %d; upload %.1f ms (%.0f MiB/s), whole update %.1f ms (%.0f MiB/s); "
                    "raw TCP %.1f ms (%.0f MiB/s); upload throughput / raw: %.2f\n",
                    round, ok, uploadMs, mib / (uploadMs / 1000.0), updateMs, mib / (updateMs / 1000.0), rawMs,
                    mib / (rawMs / 1000.0), rawMs / uploadMs);
        std::fflush(stdout);
    }
    kill(sinkPid, SIGTERM);
    waitpid(sinkPid, nullptr, 0);
    return 0;
}
