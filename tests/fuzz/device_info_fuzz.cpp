// Arbitrary bytes as a camera's information answer, read as the generic part:
// no read past the answer, terminated version texts, at most two FPGA values.
#include <cstdlib>
#include <cstring>

#include "client/QuentixClientInternal.h"
#include "fuzz_input.h"

namespace {

bool terminated(const char *text, size_t size)
{
    return memchr(text, 0, size) != nullptr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const FuzzInput answer(data, size);
    DeviceInfo_T info;
    memset(&info, 0, sizeof info);
    ExtractDeviceInfoGeneric(&info, answer.bytes(), answer.size());
    if (info.fpga_count < 0 || info.fpga_count > 2 || info.fpga_versions[2] != 0 || info.fpga_versions[3] != 0)
        abort();
    if (!terminated(info.boot_version, sizeof info.boot_version) ||
        !terminated(info.image_version, sizeof info.image_version) ||
        !terminated(info.kernel_version, sizeof info.kernel_version) ||
        !terminated(info.filesystem_version, sizeof info.filesystem_version) ||
        !terminated(info.driver_version, sizeof info.driver_version) ||
        !terminated(info.timezone, sizeof info.timezone))
        abort();
    return 0;
}
