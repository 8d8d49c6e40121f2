// Arbitrary bytes as one feedback message of an update stream: decoding must not
// read past the message, and a decoded text is terminated within its room.
#include <cstdlib>
#include <cstring>

#include "client/QuentixClientUpdate.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const FuzzInput message(data, size);
    UpdateFeedback_T feedback;
    const int32_t result = QuentixClientUpdate_DecodeFeedback(message.bytes(), message.size(), &feedback);
    if (memchr(feedback.text, 0, sizeof feedback.text) == nullptr)
        abort();
    if (result == NTCP_OK) {
        const int32_t kind = QuentixClientUpdate_StatusKind(feedback.status);
        if (kind < UPDATE_KIND_IN_PROGRESS || kind > UPDATE_KIND_DONE_REBOOT || kind == UPDATE_KIND_GET_FEED_ERROR ||
            QuentixClientUpdate_StatusName(feedback.status) == nullptr)
            abort();
    }
    return 0;
}
