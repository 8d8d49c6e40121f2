/* The thread-safe ring queue of (pointer, size) entries that carries every message
 * between the library's threads. Entries are stored as given, never copied; an entry
 * that the queue discards itself goes to the release routine given at creation. */
#ifndef NOLMAK_RUNTIME_FIFO_H
#define NOLMAK_RUNTIME_FIFO_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Fifo_T Fifo_T;

/* Receives the address of the stored pointer: releases what it points to and sets it to null. */
typedef void (*FifoRelease_T)(void **entry);

/* What a push into a full queue does, tested in this order: double the capacity,
 * drop the oldest entry, refuse. FIFO_OPT_GROW alone decides nothing, and a full
 * queue that no option decides for refuses the push. */
#define FIFO_OPT_GROW 0x01u
#define FIFO_OPT_GROW_DOUBLE 0x02u
#define FIFO_OPT_REFUSE 0x04u
#define FIFO_OPT_DROP_OLDEST 0x08u

/* Null when the capacity is 0 or less or memory runs out. */
Fifo_T *fifo_create(int32_t capacity, FifoRelease_T release);
/* Releases the remaining entries oldest first and sets *fifo to null; a null
 * fifo or *fifo does nothing. 0, or 1 for a refused queue. */
int32_t fifo_destroy(Fifo_T **fifo);
int32_t fifo_set_option(Fifo_T *fifo, uint8_t bits, int32_t on);
int32_t fifo_grow(Fifo_T *fifo);
/* 0; 1 for a refused queue; -1 when full and refused; 3 when growing runs out of memory. */
int32_t fifo_push(Fifo_T *fifo, void *data, int32_t size);
/* The oldest entry, or null (size untouched) when empty or refused. size may be null. */
void *fifo_pop(Fifo_T *fifo, int32_t *size);
/* Empties the queue, releasing all but the newest entry, and gives the newest;
 * on an empty queue null with size 0. size may be null. */
void *fifo_pop_newest(Fifo_T *fifo, int32_t *size);
int32_t fifo_get_count(Fifo_T *fifo);

#ifdef __cplusplus
}
#endif

#endif
