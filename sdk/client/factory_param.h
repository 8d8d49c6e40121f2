/* Factory parameter block of a camera: the record, and its conversion from and to
 * Interpreter fields. The library carries the values without interpreting them;
 * -1 marks a number that is not set, an empty text a text that is not set. */
#ifndef NOLMAK_CLIENT_FACTORY_PARAM_H
#define NOLMAK_CLIENT_FACTORY_PARAM_H

#include <stdint.h>

#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

#define FACTORY_TEXT_SIZE 16 /* at most 15 characters and the terminator */
#define FACTORY_HEAD_MAX 8   /* head groups a record holds */
#define FACTORY_NOT_SET (-1)

/* One head group (48 bytes): field HEAD_INFO_0 + i of the block. */
typedef struct HeadInfo_T {
    char text_3021[FACTORY_TEXT_SIZE];
    int32_t value_3022;
    int32_t value_3023;
    int32_t value_3024;
    int32_t value_3025;
    int32_t value_3026;
    int32_t value_3027;
    int32_t value_3028;
    int32_t value_3029;
} HeadInfo_T;

/* The block (432 bytes); part of the device information, so its layout is fixed. */
typedef struct FactoryParam_T {
    int32_t value_3001;
    char text_3002[FACTORY_TEXT_SIZE];
    int32_t value_3003;
    int32_t value_3004;
    int32_t value_3005;
    int32_t value_3006;
    int32_t value_3007;
    int32_t value_3008;
    int32_t head_count; /* groups announced; at most FACTORY_HEAD_MAX are held */
    HeadInfo_T heads[FACTORY_HEAD_MAX];
} FactoryParam_T;

/* Fills `param` from an answer of `answer_size` bytes. Absent fields read as not set.
 * 0; 2 null argument; 8 a head group that head_count announces is missing; otherwise
 * the field reader's result. A head_count above FACTORY_HEAD_MAX is stored as
 * FACTORY_HEAD_MAX and only that many groups are read. */
int32_t ExtractFactoryParam(FactoryParam_T *param, const void *answer, int32_t answer_size);

/* Encodes `param` into the payload writer state (pointer, used size, allocated size),
 * rebuilding it from its start: the memory is reused and grown as needed. Values not
 * set are left out. 0; 2 null argument; 3 out of memory; otherwise the field writer's
 * result. A head_count above FACTORY_HEAD_MAX is written as FACTORY_HEAD_MAX groups. */
int32_t PutFactoryParam(const FactoryParam_T *param, uint8_t **payload, int32_t *used_size,
                        int32_t *allocated_size);

#ifdef __cplusplus
}
#endif

#endif
