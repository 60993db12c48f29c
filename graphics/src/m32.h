/* Internal: the core's block-memory routines (declared in pixmoor.h). */
#ifndef PIXMOOR_M32_H
#define PIXMOOR_M32_H

#include "pixmoor.h"

#ifdef __cplusplus
/* Typed zeroed allocation of one record through M32_alloc. */
template <class T> static inline T *m32_new() { return static_cast<T *>(M32_alloc(sizeof(T))); }
#endif

#endif
