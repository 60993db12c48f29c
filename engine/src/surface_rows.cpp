/*
 * Row locks over the transform surfaces: the ARGB read (or read-write)
 * pointer of the whole surface and its native layout.
 */
#include "surface_rows.h"
#include <immintrin.h>

namespace {

void RowTo24Scalar(uint8_t *dst, const uint32_t *src, int w)
{
    for (int x = 0; x < w; x++, dst += 3) {
        const uint32_t p = src[x];
        dst[0] = (uint8_t)p;
        dst[1] = (uint8_t)(p >> 8);
        dst[2] = (uint8_t)(p >> 16);
    }
}

__attribute__((target("ssse3"))) void RowTo24Ssse3(uint8_t *dst, const uint32_t *src, int w)
{
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 4 <= w; x += 4, dst += 12)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + x)), pack));
    RowTo24Scalar(dst, src + x, w - x);
}

const auto rowTo24 = __builtin_cpu_supports("ssse3") ? RowTo24Ssse3 : RowTo24Scalar;

}  // namespace

void EngineRowTo24(uint8_t *dst, const uint32_t *src, int w) { rowTo24(dst, src, w); }

#ifdef CORV_HAVE_DXTRANS
#include <dxtrans.h>

HRESULT EngineLockRows(EngineSurface *s, DWORD timeoutMs, BOOL readWrite, EngineRows *rows)
{
    *rows = EngineRows();
    if (!s) return E_POINTER;
    auto *surface = static_cast<IDXSurface *>(EngineSurfaceObject(s));
    IDXARGBReadPtr *p = nullptr;
    HRESULT hr = surface->LockSurface(nullptr, timeoutMs, readWrite ? DXLOCKF_READWRITE : DXLOCKF_READ,
                                      readWrite ? IID_IDXARGBReadWritePtr : IID_IDXARGBReadPtr,
                                      reinterpret_cast<void **>(&p), nullptr);
    if (FAILED(hr)) return hr;
    DXNATIVETYPEINFO info = {};
    p->GetNativeType(&info);
    EngineSurfaceSize(s, &rows->width, &rows->height);
    rows->first = info.pFirstByte;
    rows->pitch = info.lPitch;
    rows->token = p;
    if (!rows->first) {
        EngineUnlockRows(rows);
        return E_FAIL;
    }
    return S_OK;
}

void EngineUnlockRows(EngineRows *rows)
{
    if (rows->token) rows->token->Release();
    *rows = EngineRows();
}

#else

HRESULT EngineLockRows(EngineSurface *s, DWORD, BOOL, EngineRows *rows)
{
    *rows = EngineRows();
    return s ? E_NOTIMPL : E_POINTER;
}

void EngineUnlockRows(EngineRows *rows) { *rows = EngineRows(); }

#endif
