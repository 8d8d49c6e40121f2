// An answer payload under construction: the library's field writer state with
// the camera's list of data codes that it leaves out (a misbehaviour switch).
#ifndef CAMSIM_PAYLOAD_H
#define CAMSIM_PAYLOAD_H

#include <cstdint>
#include <string>
#include <vector>

#include "client/factory_param.h"
#include "codec/buffer_interface.h"

namespace camsim {

class Payload final {
public:
    explicit Payload(std::vector<int32_t> omitted = {});
    ~Payload();
    Payload(const Payload &) = delete;
    Payload &operator=(const Payload &) = delete;

    void putLong(int32_t code, int32_t value);
    void putText(int32_t code, const std::string &text);
    void putBytes(int32_t code, const void *bytes, int32_t length);
    void putDateTime(int32_t code, const DateTime_T &value);
    void putGroup(int32_t code, const Payload &group);
    // The factory block as the library encodes it; only on an empty payload, whose
    // first fields it becomes.
    void putFactory(const FactoryParam_T &factory);

    // A nested payload that leaves out the same codes.
    Payload group() const { return Payload(omitted_); }

    const uint8_t *data() const { return buffer_; }
    int32_t size() const { return used_; }
    // False once a write failed (the answer is then sent as far as it was built).
    bool ok() const { return ok_; }
    // Makes the last field declare more bytes than follow it.
    void corruptLastField();

    Payload(Payload &&other) noexcept;

private:
    bool omitted(int32_t code) const;
    void check(int32_t result);

    std::vector<int32_t> omitted_;
    uint8_t *buffer_ = nullptr;
    int32_t allocated_ = 0;
    int32_t used_ = 0;
    int32_t last_field_ = -1;
    bool ok_ = true;
};

} // namespace camsim

#endif
