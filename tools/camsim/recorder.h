// The log of what the cameras received, one line per message, so that tests can
// check what reached which camera:
//   t=<ms> cam=<ip> via=<tcp|udp> peer=<ip:port> cmd=0x<hex> id=<ntcp id>
//   flags=0x<hex> error=<n> mac=<text or -> size=<payload bytes> payload=<hex or ->
// The payload is cut to the record limit; "..." marks a cut.
#ifndef CAMSIM_RECORDER_H
#define CAMSIM_RECORDER_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "transport/ntcp.h"

namespace camsim {

class Recorder final {
public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Opens (appends to) the file; an empty path records nothing.
    bool open(const std::string &path, int32_t limit, std::string &error);
    void record(const std::string &camera, const char *via, const std::string &peer, const NTCPHeader_T &header,
                const uint8_t *payload, int32_t size);

    // The line record() writes, without its time stamp.
    static std::string describe(const std::string &camera, const char *via, const std::string &peer,
                                const NTCPHeader_T &header, const uint8_t *payload, int32_t size, int32_t limit);

private:
    std::mutex mutex_;
    std::FILE *file_ = nullptr;
    int32_t limit_ = 4096;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// "00:50:C2:52:88:99" from the six octets as the header carries them (reversed).
std::string macFromWire(const uint8_t wire[NTCP_MAC_ADDRESS_SIZE]);

} // namespace camsim

#endif
