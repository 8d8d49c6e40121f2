/* Interpreter buffers: runs of tagged fields (32-bit code, 32-bit value length,
 * value padded with zero bytes to a multiple of 4), all words little-endian.
 * Every payload to and from a camera, and the variable part of the NTCP
 * header, is such a buffer.
 *
 * The functions work on caller-owned memory, keep no state and take no lock.
 * Each gives an NtcpResult (0 on success, 8 quietly when the code is absent)
 * and prints every other failure at ERROR.
 *
 * Writer state: three caller variables, the buffer pointer (heap memory from
 * calloc/realloc, or null), its allocated size and the used size. Start from
 * (NULL, 0, 0) or from own memory with its allocated size and used size 0;
 * release with free(). With grow 0 the memory is never reallocated. */
#ifndef NOLMAK_CODEC_BUFFER_INTERFACE_H
#define NOLMAK_CODEC_BUFFER_INTERFACE_H

#include <stdint.h>

#include "codec/data_codes.h"
#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

#define INTERPRETER_FIELD_HEADER_SIZE 8
/* Room added beyond what a field needs whenever a writer allocates. */
#define INTERPRETER_GROWTH_STEP 4096
#define INTERPRETER_IMAGE_HEADER_SIZE 40

/* Device clock value, carried as 12 bytes and copied unchanged. */
typedef struct DateTime_T {
    int8_t day_or_month; /* the date part printed first */
    int8_t month_or_day; /* the date part printed second */
    int16_t year;
    int16_t hour;
    int16_t minute;
    int16_t second;
    int16_t millisecond;
} DateTime_T;

/* Header at the start of an image field's value; the image bytes follow at
 * offset header_size of the value. Only the named words are read. */
typedef struct ImageHeader_T {
    uint32_t unread_0;
    uint32_t unread_4;
    uint32_t header_size; /* must be 40 */
    uint32_t image_size;  /* image bytes after the header */
    uint32_t image_word_1;
    uint32_t image_word_2;
    uint32_t unread_24[4];
} ImageHeader_T;

/* Search: offset (from the buffer start) and length word of the first field
 * with the code; either out argument may be null. */
int32_t Interpreter_SearchCode(int32_t *offset, uint32_t *length, const void *buffer,
                               int32_t size, int32_t code);

/* Removes the first field with the code found within search_size bytes,
 * moving the fields behind it down; the memory is not shrunk. */
int32_t Interpreter_DeleteField(void *buffer, int32_t search_size, int32_t *used_size,
                                int32_t code);

/* Writers: append one field at the used size. */
int32_t Interpreter_SetBuffer(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                              const void *value, int32_t length, int32_t code, int32_t grow);
int32_t Interpreter_SetLong(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                            int32_t value, int32_t code, int32_t grow);
int32_t Interpreter_SetString(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                              const char *text, int32_t code, int32_t grow);
int32_t Interpreter_SetDateTime(uint8_t **buffer, int32_t *allocated_size, int32_t *used_size,
                                const DateTime_T *date_time, int32_t code, int32_t grow);

/* Pointer readers: the pointers point into the caller's buffer. */
int32_t Interpreter_GetBufferPtr(const uint8_t **value, int32_t *length, int32_t code,
                                 const void *buffer, int32_t size);
int32_t Interpreter_GetSequentialBuffersPtr(const uint8_t **values, int32_t *lengths,
                                            int32_t *count, int32_t capacity, int32_t code,
                                            const void *buffer, int32_t size);

/* Copying readers. */
int32_t Interpreter_GetBuffer(void *destination, int32_t destination_size, int32_t *length,
                              int32_t code, const void *buffer, int32_t size);
int32_t Interpreter_GetLong(int32_t *destination, int32_t code, const void *buffer,
                            int32_t size);
int32_t Interpreter_GetString(char *destination, int32_t destination_size, int32_t code,
                              const void *buffer, int32_t size);
int32_t Interpreter_GetDateTime(DateTime_T *destination, int32_t code, const void *buffer,
                                int32_t size);

/* Image fields: an ImageHeader_T followed by the image bytes. */
int32_t Interpreter_GetImage(void *destination, uint32_t destination_size, uint32_t *image_size,
                             uint32_t *image_word_1, uint32_t *image_word_2, int32_t code,
                             const void *buffer, int32_t size);
int32_t Interpreter_GetImagePtr(const uint8_t **image, uint32_t *image_size,
                                uint32_t *image_word_1, uint32_t *image_word_2, int32_t code,
                                const void *buffer, int32_t size);

#ifdef __cplusplus
}
#endif

#endif
