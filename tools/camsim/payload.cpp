#include "payload.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace camsim {

Payload::Payload(std::vector<int32_t> omitted) : omitted_(std::move(omitted)) {}

Payload::Payload(Payload &&other) noexcept
    : omitted_(std::move(other.omitted_)), buffer_(std::exchange(other.buffer_, nullptr)),
      allocated_(std::exchange(other.allocated_, 0)), used_(std::exchange(other.used_, 0)),
      last_field_(other.last_field_), ok_(other.ok_)
{
}

Payload::~Payload() { std::free(buffer_); }

bool Payload::omitted(int32_t code) const
{
    return std::find(omitted_.begin(), omitted_.end(), code) != omitted_.end();
}

void Payload::check(int32_t result)
{
    if (result != NTCP_OK)
        ok_ = false;
}

void Payload::putLong(int32_t code, int32_t value)
{
    if (omitted(code))
        return;
    const int32_t start = used_;
    check(Interpreter_SetLong(&buffer_, &allocated_, &used_, value, code, 1));
    last_field_ = start;
}

void Payload::putText(int32_t code, const std::string &text)
{
    if (omitted(code))
        return;
    const int32_t start = used_;
    check(Interpreter_SetString(&buffer_, &allocated_, &used_, text.c_str(), code, 1));
    last_field_ = start;
}

void Payload::putBytes(int32_t code, const void *bytes, int32_t length)
{
    if (omitted(code))
        return;
    const int32_t start = used_;
    check(Interpreter_SetBuffer(&buffer_, &allocated_, &used_, bytes, length, code, 1));
    last_field_ = start;
}

void Payload::putDateTime(int32_t code, const DateTime_T &value)
{
    if (omitted(code))
        return;
    const int32_t start = used_;
    check(Interpreter_SetDateTime(&buffer_, &allocated_, &used_, &value, code, 1));
    last_field_ = start;
}

void Payload::putGroup(int32_t code, const Payload &group)
{
    // An empty group still needs a value pointer that the writer accepts.
    static const uint8_t nothing[4] = {};
    putBytes(code, group.size() > 0 ? group.data() : nothing, group.size());
}

void Payload::putFactory(const FactoryParam_T &factory)
{
    if (used_ != 0) {
        ok_ = false;
        return;
    }
    check(PutFactoryParam(&factory, &buffer_, &used_, &allocated_));
    for (int32_t code : omitted_)
        while (ok_ && used_ > 0 && Interpreter_DeleteField(buffer_, used_, &used_, code) == NTCP_OK) {
        }
    last_field_ = -1;
}

void Payload::corruptLastField()
{
    if (last_field_ < 0)
        return;
    // The length word follows the code word; claim 64 bytes beyond the buffer's end.
    const uint32_t claimed = static_cast<uint32_t>(used_ - last_field_) + 64u;
    uint8_t *length = buffer_ + last_field_ + 4;
    for (int i = 0; i < 4; ++i)
        length[i] = static_cast<uint8_t>(claimed >> (8 * i));
}

} // namespace camsim
