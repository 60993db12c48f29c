/*
 * driver.h - internals of the conversion driver shared with the handle API
 * and the tests.
 */
#ifndef FERRIX_DRIVER_H
#define FERRIX_DRIVER_H

#include "fxcore.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Depth and size negotiation of a conversion: the target's requested depth
 * (plain, or a mask with FX_DEPTH_CHOOSE) and size become the ones written.
 * 0, FX_E_NOSOURCE (no usable depth) or FX_E_UNSUPPORTED (empty source). */
int fxNegotiate(ConvertSource *s, ConvertTarget *t);

#ifdef __cplusplus
}
#endif

#endif
