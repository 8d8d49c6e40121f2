// Arbitrary text as the target MAC of a broadcast. The text ends at its terminator
// and nothing past it may be read; a MAC that reads is written out again and must
// read back to the same wire bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fuzz_input.h"
#include "transport/ntcp_client.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 4096)
        return 0;
    const FuzzInput input(data, size);
    // The text with its terminator in a block of exactly that size.
    char *text = static_cast<char *>(malloc(size + 1));
    if (text == nullptr)
        abort();
    memcpy(text, input.bytes(), size);
    text[size] = '\0';

    uint8_t mac[NTCP_MAC_ADDRESS_SIZE];
    if (NTCP_client_parse_mac(text, mac) == NTCP_OK) {
        char again[18];
        snprintf(again, sizeof again, "%02X:%02X:%02X:%02X:%02X:%02X", mac[5], mac[4], mac[3], mac[2], mac[1], mac[0]);
        uint8_t twice[NTCP_MAC_ADDRESS_SIZE];
        if (NTCP_client_parse_mac(again, twice) != NTCP_OK || memcmp(mac, twice, sizeof mac) != 0)
            abort();
    }
    free(text);
    return 0;
}
