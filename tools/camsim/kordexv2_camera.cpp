#include "kordexv2_camera.h"

#include <algorithm>
#include <thread>

#include "kordexv2_answers.h"
#include "recorder.h"
#include "transport/mirovant.h"

namespace camsim::kordexv2 {

namespace {

bool isKeepAlive(int32_t command) { return command == NTCP_CMD_KEEPALIVE || command == MV_CMD_KEEPALIVE; }

// A switch given a command list applies to those commands; without a list to every
// command but keep-alives (whose own switches are separate).
bool appliesTo(const std::vector<int32_t> &commands, int32_t command)
{
    if (commands.empty())
        return !isKeepAlive(command);
    return std::find(commands.begin(), commands.end(), command) != commands.end();
}

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Sleeps in short slices so that a stop request is seen at once; false when stopping.
bool pause(int32_t ms, const std::atomic<bool> &stopping)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        if (stopping.load())
            return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            std::chrono::milliseconds(10), until - std::chrono::steady_clock::now()));
    }
    return !stopping.load();
}

// An unused data code that carries the spoilt field of a "field" malformed answer.
constexpr int32_t kFillerCode = 1;

} // namespace

Camera::Camera(CameraConfig config, Recorder &recorder) : config_(std::move(config)), ip_(config_.ip), recorder_(recorder)
{
    if (const auto octets = parseMac(config_.mac))
        for (size_t i = 0; i < NTCP_MAC_ADDRESS_SIZE; ++i)
            wire_mac_[i] = (*octets)[NTCP_MAC_ADDRESS_SIZE - 1 - i];
}

CameraConfig Camera::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return config_;
}

bool Camera::addressedBy(const NTCPHeader_T &header) const
{
    if ((header.flags & NTCP_FLAG_MAC_ADDRESS) == 0)
        return true;
    return std::equal(std::begin(wire_mac_), std::end(wire_mac_), header.mac_address);
}

bool Camera::rebooting() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return std::chrono::steady_clock::now() < reboot_until_;
}

bool Camera::answerKeepAlive()
{
    std::lock_guard<std::mutex> lock(mutex_);
    const Misbehaviour &m = config_.misbehave;
    const int32_t seen = keepalives_seen_++;
    if (m.keepalive_ignore == 0 || seen < m.keepalive_answer_first)
        return true;
    return m.keepalive_ignore > 0 && seen >= m.keepalive_answer_first + m.keepalive_ignore;
}

void Camera::reply(Replier &replier, const NTCPHeader_T &request, int32_t error, const uint8_t *payload, int32_t size,
                   Malformed how)
{
    NTCPHeader_T answer{};
    answer.command = request.command;
    answer.error = error;
    if ((request.flags & NTCP_FLAG_NTCP_ID) != 0 && request.ntcp_id > 0) {
        // The MAC lets a PC that addressed one camera by MAC recognise its answer.
        answer.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_RESPONSE | NTCP_FLAG_MAC_ADDRESS;
        answer.ntcp_id = request.ntcp_id;
        std::copy(std::begin(wire_mac_), std::end(wire_mac_), answer.mac_address);
        if (error != 0)
            answer.flags |= NTCP_FLAG_ERROR;
    } else {
        answer.flags = NTCP_FLAG_COMMAND | NTCP_FLAG_ERROR | NTCP_FLAG_SENDER | NTCP_FLAG_RECEIVER;
        answer.sender = request.receiver;
        answer.receiver = request.sender;
    }
    replier.send(answer, payload, size, how);
}

void Camera::handle(const Request &request, Replier &replier, const std::atomic<bool> &stopping)
{
    recorder_.record(ip_, replier.via(), replier.peer(), request.header, request.payload, request.size);
    const CameraConfig state = snapshot();
    const Misbehaviour &m = state.misbehave;
    const int32_t command = request.header.command;
    if (rebooting() || m.silent)
        return;
    if (isKeepAlive(command)) {
        if (answerKeepAlive())
            reply(replier, request.header, 0, nullptr, 0, Malformed::None);
        return;
    }
    if (m.delay_ms > 0 && !pause(m.delay_ms, stopping))
        return;
    const Malformed how = appliesTo(m.malformed_commands, command) ? m.malformed : Malformed::None;
    if (m.refuse != 0 && appliesTo(m.refuse_commands, command)) {
        reply(replier, request.header, m.refuse, nullptr, 0, how);
        return;
    }

    Payload out(m.omit_codes);
    int32_t error = 0;
    switch (command) {
    case NTCP_CMD_DISCOVERY:
        writeDescription(out, state);
        break;
    case NTCP_CMD_GET_DEVICE_INFO:
        writeDeviceInfo(out, state, nowMs());
        break;
    case NTCP_CMD_SET_NETWORK_INTERFACE: {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!applySetInterface(config_, request.payload, request.size))
            error = kErrorBadRequest;
        break;
    }
    case NTCP_CMD_REBOOT:
        reply(replier, request.header, 0, nullptr, 0, how);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reboot_until_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(m.reboot_ms);
        }
        ++epoch_;
        replier.drop();
        return;
    case NTCP_CMD_EXECUTE_ASYNC:
        // The command text is only recorded: a simulated camera runs nothing.
        break;
    case NTCP_CMD_GET_FACTORY_PARAM:
        out.putFactory(state.factory);
        break;
    case NTCP_CMD_SET_FACTORY_PARAM: {
        FactoryParam_T block{};
        if (!readFactory(block, request.payload, request.size)) {
            error = kErrorBadRequest;
            break;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        config_.factory = block;
        break;
    }
    case NTCP_CMD_GET_FACTORY_CODES:
        out.putText(MV_DATA_CODE_FACTORY_CODES, state.factory_codes);
        break;
    case NTCP_CMD_SET_FACTORY_CODES: {
        const auto codes = readFactoryCodes(request.payload, request.size);
        if (!codes) {
            error = kErrorBadRequest;
            break;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        config_.factory_codes = *codes;
        break;
    }
    case NTCP_CMD_UPDATE_START:
        runUpdate(request, replier, state, stopping);
        return;
    default:
        error = kErrorUnknownCommand;
        break;
    }
    if (how == Malformed::Field) {
        if (out.size() == 0)
            out.putLong(kFillerCode, 0);
        out.corruptLastField();
    }
    reply(replier, request.header, error, out.data(), out.size(), how);
}

void Camera::runUpdate(const Request &request, Replier &replier, const CameraConfig &state,
                       const std::atomic<bool> &stopping)
{
    const Misbehaviour &m = state.misbehave;
    const Malformed start_how = appliesTo(m.malformed_commands, NTCP_CMD_UPDATE_START) ? m.malformed : Malformed::None;
    if (!readUpdate(request.payload, request.size)) {
        reply(replier, request.header, kErrorBadRequest, nullptr, 0, start_how);
        return;
    }
    reply(replier, request.header, 0, nullptr, 0, start_how);

    const Malformed feedback_how = appliesTo(m.malformed_commands, NTCP_CMD_UPDATE_DATA) ? m.malformed : Malformed::None;
    const uint32_t started_epoch = epoch();
    NTCPHeader_T message{};
    message.flags = NTCP_FLAG_NTCP_ID | NTCP_FLAG_COMMAND | NTCP_FLAG_MAC_ADDRESS;
    message.ntcp_id = request.header.ntcp_id > 0 ? request.header.ntcp_id : NTCP_IDENT_DEVICE;
    std::copy(std::begin(wire_mac_), std::end(wire_mac_), message.mac_address);
    for (size_t i = 0; i <= state.update_steps.size(); ++i) {
        if (m.drop_stream_after >= 0 && static_cast<size_t>(m.drop_stream_after) == i) {
            replier.drop();
            return;
        }
        if (i == state.update_steps.size())
            break;
        if (!pause(state.update_interval_ms, stopping) || epoch() != started_epoch)
            return;
        Payload feedback(m.omit_codes);
        writeFeedback(feedback, state.update_steps[i]);
        if (feedback_how == Malformed::Field)
            feedback.corruptLastField();
        message.command = NTCP_CMD_UPDATE_DATA;
        if (!replier.send(message, feedback.data(), feedback.size(), feedback_how))
            return;
    }
    if (!state.update_end)
        return;
    message.command = NTCP_CMD_UPDATE_END;
    replier.send(message, nullptr, 0, Malformed::None);
}

} // namespace camsim::kordexv2
