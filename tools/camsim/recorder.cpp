#include "recorder.h"

namespace camsim {

std::string macFromWire(const uint8_t wire[NTCP_MAC_ADDRESS_SIZE])
{
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", wire[5], wire[4], wire[3], wire[2], wire[1],
                  wire[0]);
    return text;
}

Recorder::~Recorder()
{
    if (file_ != nullptr)
        std::fclose(file_);
}

bool Recorder::open(const std::string &path, int32_t limit, std::string &error)
{
    limit_ = limit;
    if (path.empty())
        return true;
    file_ = std::fopen(path.c_str(), "a");
    if (file_ == nullptr) {
        error = "cannot open record file " + path;
        return false;
    }
    return true;
}

std::string Recorder::describe(const std::string &camera, const char *via, const std::string &peer,
                               const NTCPHeader_T &header, const uint8_t *payload, int32_t size, int32_t limit)
{
    char head[256];
    const bool has_mac = (header.flags & NTCP_FLAG_MAC_ADDRESS) != 0;
    std::snprintf(head, sizeof head, "cam=%s via=%s peer=%s cmd=0x%X id=%d flags=0x%X error=%d mac=%s size=%d payload=",
                  camera.c_str(), via, peer.c_str(), static_cast<unsigned>(header.command), header.ntcp_id,
                  header.flags, header.error, has_mac ? macFromWire(header.mac_address).c_str() : "-",
                  payload != nullptr ? size : 0);
    std::string line = head;
    if (payload == nullptr || size <= 0)
        return line + "-";
    static const char digits[] = "0123456789abcdef";
    const int32_t shown = size < limit ? size : limit;
    line.reserve(line.size() + 2 * static_cast<size_t>(shown) + 3);
    for (int32_t i = 0; i < shown; ++i) {
        line += digits[payload[i] >> 4];
        line += digits[payload[i] & 0xF];
    }
    if (shown < size)
        line += "...";
    return line;
}

void Recorder::record(const std::string &camera, const char *via, const std::string &peer, const NTCPHeader_T &header,
                      const uint8_t *payload, int32_t size)
{
    if (file_ == nullptr)
        return;
    const std::string line = describe(camera, via, peer, header, payload, size, limit_);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(file_, "t=%lld %s\n", static_cast<long long>(ms), line.c_str());
    std::fflush(file_);
}

} // namespace camsim
