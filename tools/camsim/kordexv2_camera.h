// One KORDEX V2 camera: its state and its answers to every NTCP command, whatever
// path (a TCP connection or the discovery broadcast) the command came by.
#ifndef CAMSIM_KORDEXV2_CAMERA_H
#define CAMSIM_KORDEXV2_CAMERA_H

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

#include "camera_config.h"
#include "transport/ntcp.h"

namespace camsim {

class Recorder;

namespace kordexv2 {

// The way back to whoever sent a request.
class Replier {
public:
    virtual ~Replier() = default;
    // "tcp" or "udp", for the record.
    virtual const char *via() const = 0;
    virtual std::string peer() const = 0;
    // Sends one message, correct or spoilt as `how` says; false once the path is gone.
    virtual bool send(const NTCPHeader_T &header, const uint8_t *payload, int32_t size, Malformed how) = 0;
    // Closes the connection (TCP); a datagram path has nothing to close.
    virtual void drop() = 0;
};

struct Request {
    NTCPHeader_T header{};
    const uint8_t *payload = nullptr;
    int32_t size = 0;
};

// Error codes the camera puts into answers of its own accord.
constexpr int32_t kErrorUnknownCommand = 1;
constexpr int32_t kErrorBadRequest = 22;

class Camera final {
public:
    Camera(CameraConfig config, Recorder &recorder);

    const std::string &ip() const { return ip_; }
    // Whether a broadcast is meant for this camera: no target MAC, or its own.
    bool addressedBy(const NTCPHeader_T &header) const;
    // Changes at every reboot; connections opened before it close.
    uint32_t epoch() const { return epoch_.load(); }

    // Records the request and answers it (or not, as the camera misbehaves).
    // The update stream's feedback is sent from here too, so this may take a while;
    // `stopping` cuts it short.
    void handle(const Request &request, Replier &replier, const std::atomic<bool> &stopping);

    // A copy of the current state, e.g. for tests.
    CameraConfig snapshot() const;

private:
    bool rebooting() const;
    bool answerKeepAlive();
    void reply(Replier &replier, const NTCPHeader_T &request, int32_t error, const uint8_t *payload, int32_t size,
               Malformed how);
    void runUpdate(const Request &request, Replier &replier, const CameraConfig &state,
                   const std::atomic<bool> &stopping);

    mutable std::mutex mutex_;
    CameraConfig config_;
    const std::string ip_;
    uint8_t wire_mac_[NTCP_MAC_ADDRESS_SIZE] = {};
    Recorder &recorder_;
    std::atomic<uint32_t> epoch_{0};
    int32_t keepalives_seen_ = 0;
    std::chrono::steady_clock::time_point reboot_until_{};
};

} // namespace kordexv2
} // namespace camsim

#endif
