/* Factory parameter block of a camera: the conversion of its record (declared with
 * the other records that cross the library boundary) from and to Interpreter fields.
 * The library carries the values without interpreting them; -1 marks a number that is not
 * set, an empty text a text that is not set. */
#ifndef NOLMAK_CLIENT_FACTORY_PARAM_H
#define NOLMAK_CLIENT_FACTORY_PARAM_H

#include <stdint.h>

#include "nolmak/nolmak_types.h" /* FactoryParam_T crosses the library boundary */
#include "runtime/ntcp_result.h"

#ifdef __cplusplus
extern "C" {
#endif

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
