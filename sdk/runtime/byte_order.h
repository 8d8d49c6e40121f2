/* Little-endian 32-bit words in wire bytes, whatever the host order: the one
 * reader and writer that the codec and the transport headers share. */
#ifndef NOLMAK_RUNTIME_BYTE_ORDER_H
#define NOLMAK_RUNTIME_BYTE_ORDER_H

#include <stdint.h>

static inline uint32_t le32_load(const uint8_t *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static inline void le32_store(uint8_t *p, uint32_t v)
{
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

#endif
