// A camera family as camsim serves it: the cameras of one family share its
// protocols, sockets and threads. KORDEX V2 is served today; KORDEX (datagrams on
// port 1003) and KIVO (multicast greeting, SSH) plug in here as families of their own.
#ifndef CAMSIM_CAMERA_FAMILY_H
#define CAMSIM_CAMERA_FAMILY_H

#include <memory>
#include <string>
#include <vector>

#include "camera_config.h"

namespace camsim {

class Recorder;
struct SimOptions;

class CameraFamily {
public:
    virtual ~CameraFamily() = default;
    virtual const char *name() const = 0;
    // Binds every socket and starts the threads; false with a reason.
    virtual bool start(std::string &error) = 0;
    // Stops the threads and closes every socket; returns when all are gone.
    virtual void stop() = 0;
};

// The family `name` serving `cameras`; null with a reason when no such family is built in.
std::unique_ptr<CameraFamily> makeFamily(const std::string &name, std::vector<CameraConfig> cameras,
                                         const SimOptions &options, Recorder &recorder, std::string &error);

} // namespace camsim

#endif
