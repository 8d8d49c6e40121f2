// The KORDEX V2 family's network service: one UDP socket on the camera host's
// wildcard address hears the discovery broadcast for every camera, each camera
// answers from its own address, and each camera listens for TCP connections on
// its own address.
#ifndef CAMSIM_KORDEXV2_SERVER_H
#define CAMSIM_KORDEXV2_SERVER_H

#include <memory>
#include <string>
#include <vector>

#include "camera_family.h"

namespace camsim {

std::unique_ptr<CameraFamily> makeKordexV2Family(std::vector<CameraConfig> cameras, const SimOptions &options,
                                                 Recorder &recorder);

} // namespace camsim

#endif
