// A KORDEX V2 camera handling whatever payload comes with each command.
// Input: 2 bytes choosing the command, then the payload.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kordexv2_camera.h"
#include "recorder.h"
#include "runtime/cross_sys.h"

namespace {

class NullReplier final : public camsim::kordexv2::Replier {
public:
    const char *via() const override { return "fuzz"; }
    std::string peer() const override { return "fuzz"; }
    bool send(const NTCPHeader_T &, const uint8_t *payload, int32_t size, camsim::Malformed) override
    {
        // Copy every byte handed out, so that a bad length shows.
        if (payload != nullptr && size > 0)
            copy_.assign(payload, payload + size);
        return true;
    }
    void drop() override {}

private:
    std::vector<uint8_t> copy_;
};

const int32_t kCommands[] = {NTCP_CMD_DISCOVERY,        NTCP_CMD_SET_NETWORK_INTERFACE, NTCP_CMD_REBOOT,
                             NTCP_CMD_GET_DEVICE_INFO,  NTCP_CMD_EXECUTE_ASYNC,         NTCP_CMD_GET_FACTORY_PARAM,
                             NTCP_CMD_SET_FACTORY_PARAM, NTCP_CMD_GET_FACTORY_CODES,    NTCP_CMD_SET_FACTORY_CODES,
                             NTCP_CMD_UPDATE_START,     NTCP_CMD_KEEPALIVE};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The readers' diagnostics of refused payloads would drown the fuzzer's output.
    ntcp_printf_set_level(NTCP_PRINTF_LEVEL_OFF);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    static camsim::Recorder recorder;
    std::string error;
    auto config = camsim::defaultCamera(0, "198.18.1.10", error);
    config->update_interval_ms = 0;
    camsim::kordexv2::Camera camera(*config, recorder);

    camsim::kordexv2::Request request;
    request.header.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND;
    request.header.ntcp_id = NTCP_IDENT_DEVICE;
    request.header.command = kCommands[data[0] % (sizeof kCommands / sizeof kCommands[0])];
    // Received payloads start 4-aligned, as the framing hands them over.
    std::vector<uint32_t> aligned((size - 2 + 3) / 4);
    if (size > 2)
        std::memcpy(aligned.data(), data + 2, size - 2);
    request.payload = size > 2 ? reinterpret_cast<const uint8_t *>(aligned.data()) : nullptr;
    request.size = static_cast<int32_t>(size - 2);

    NullReplier replier;
    std::atomic<bool> stopping{false};
    camera.handle(request, replier, stopping);
    // The command's effect shows in the next information answer.
    request.header.command = NTCP_CMD_GET_DEVICE_INFO;
    request.payload = nullptr;
    request.size = 0;
    camera.handle(request, replier, stopping);
    return 0;
}
