// KORDEX V2 answer payloads built from a camera's state with the field writers,
// and the request payloads a camera takes apart with the field readers.
#ifndef CAMSIM_KORDEXV2_ANSWERS_H
#define CAMSIM_KORDEXV2_ANSWERS_H

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "camera_config.h"
#include "payload.h"

namespace camsim::kordexv2 {

// The description every answer to discovery and to the information request starts with.
void writeDescription(Payload &out, const CameraConfig &camera);
// Description, versions, clocks, factory block and interfaces; `now` is the host's
// clock in milliseconds since 1970 (used unless the camera's clock is fixed).
void writeDeviceInfo(Payload &out, const CameraConfig &camera, int64_t now_ms);
void writeFeedback(Payload &out, const UpdateStep &step);

// The two clocks as the camera reports them.
DateTime_T toDateTime(const ClockTime &time, bool month_first);
ClockTime gmtClock(const CameraConfig &camera, int64_t now_ms);
ClockTime localClock(const CameraConfig &camera, int64_t now_ms);

// Applies a set-interface request to the camera; gives false when the request names
// no interface or one the camera does not have.
bool applySetInterface(CameraConfig &camera, const uint8_t *payload, int32_t size);
// Reads a factory block; false when a field is malformed or an announced head is missing.
bool readFactory(FactoryParam_T &out, const uint8_t *payload, int32_t size);
// The factory codes text of a set request; nullopt when absent or malformed.
std::optional<std::string> readFactoryCodes(const uint8_t *payload, int32_t size);
// Checks an update payload: header 10 and the file field; gives the file size or nullopt.
std::optional<int32_t> readUpdate(const uint8_t *payload, int32_t size);

} // namespace camsim::kordexv2

#endif
