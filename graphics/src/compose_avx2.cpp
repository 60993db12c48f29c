// The packed kernels of the over operator on AVX2 registers, sixteen pixels
// a block.  The whole file is compiled for AVX2 and only called after the
// run-time probe in compose.cpp; the kernels have internal linkage, so none
// of this code can stand in for an SSE2 caller.  Results are word for word
// those of the SSE2 kernels and of the scalar definitions.
#include <windows.h>
#include "compose.h"

#pragma GCC target("avx2")
#include <immintrin.h>
#define PIXMOOR_OVER_AVX2
#include "over_kernels.h"

typedef OverKernels<V256> K256;
typedef const unsigned *CPix;

void pm_fast_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    K256::run<K256::fast_block>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}

void pm_guarded_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    K256::run<K256::over_guarded, true>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}

void pm_table_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    K256::run<K256::over_table, true>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}

void pm_mixed_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    K256::run<K256::over_mixed, true>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}
