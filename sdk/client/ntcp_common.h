/* Small common routines of the device client: the PC's own IPv4 interfaces, the
 * release of answer buffers and two hexadecimal digit helpers. */
#ifndef NOLMAK_CLIENT_NTCP_COMMON_H
#define NOLMAK_CLIENT_NTCP_COMMON_H

#include <stdint.h>

#include <netinet/in.h>

#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LOCAL_INTERFACE_MAX 16
#define LOCAL_INTERFACE_NAME_SIZE 256
#define LOCAL_INTERFACE_PHYSICAL_SIZE 8
#define LOCAL_INTERFACE_MAC_BYTES 6

/* Lookup kinds of GetInterfaceBy: the field compared with the key. */
enum LocalInterfaceBy {
    IFT_BY_NAME = 0,
    IFT_BY_IP = 1,
    IFT_BY_MAC = 2
};

/* One local IPv4 interface. */
typedef struct LocalInterface_T {
    char name[LOCAL_INTERFACE_NAME_SIZE];  /* friendly name (the interface name here) */
    struct sockaddr_in address;            /* first unicast address; untouched when none */
    uint8_t physical_address[LOCAL_INTERFACE_PHYSICAL_SIZE];
    uint8_t mac_bytes[LOCAL_INTERFACE_MAC_BYTES];
    char ip[16];                           /* "0.0.0.0" when no unicast address */
    char mac[18];                          /* "00:50:C2:52:88:99"; empty without physical address */
    char netmask[16];                      /* "0.0.0.0" when no unicast address */
    char gateway[16];                      /* "0.0.0.0" when none */
    int32_t dhcp;                          /* 1 when the address comes from DHCP */
    int32_t wifi;                          /* 1 for an IEEE 802.11 adapter */
} LocalInterface_T;

typedef struct LocalInterfaceList_T {
    int32_t count;
    LocalInterface_T interfaces[LOCAL_INTERFACE_MAX];
} LocalInterfaceList_T;

/* Lists the Ethernet, wireless and loopback adapters, at most LOCAL_INTERFACE_MAX, sorted
 * by `mac`. With verbose 1 each is printed at INFO. 0; 1 the system query failed or found
 * nothing; 2 null list (nothing printed); 3 out of memory. */
int32_t GetInterfacesList(LocalInterfaceList_T *list, int32_t verbose);

/* Copies the first listed interface whose field of kind `by` (enum LocalInterfaceBy)
 * equals `key` exactly. 0; 2 null argument; 5 unknown kind; 8 none matches or the list
 * is empty; otherwise the result of GetInterfacesList. */
int32_t GetInterfaceBy(int32_t by, const char *key, LocalInterface_T *out);

/* qsort order of LocalInterface_T entries: byte-wise comparison of their `mac` texts. */
int compare_interfaces(const void *a, const void *b);

/* Releases *pointer with free() and sets it to null; does nothing for a null address or
 * a null pointer. Every answer buffer the library hands out is released with it. */
void NTCP_free(void **pointer);

/* The upper-case hexadecimal digit of the low 8 bits of `value`; 0 for 16 and above. */
char intToAscii(int32_t value);

/* Writes the two upper-case hexadecimal digits of the low 8 bits of `value` (high digit
 * first, no terminator) and gives 2, the number written; 0 and nothing written for a
 * null `out`. */
int32_t byteToHex(int32_t value, char *out);

#ifdef __cplusplus
}
#endif

#endif
