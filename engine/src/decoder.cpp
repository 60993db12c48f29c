/*
 * CDecoder: channel surface, frame drawing and the shared parts of every
 * source.
 */
#include "decoder.h"
#include "surface_rows.h"
#include <uuids.h>
#include <atomic>
#include <immintrin.h>
#include <cstring>

namespace {
std::atomic<bool> drawThroughGdi{false};

/* One row of 24-bit pixels (blue, green, red) into 32-bit words with a zero
 * top byte, as the GDI draw leaves it. */
void RowScalar(uint32_t *dst, const BYTE *src, LONG w)
{
    LONG x = 0;
    /* Four pixels from three words at a time, then the rest. */
    for (; x + 4 <= w; x += 4, src += 12) {
        uint32_t a, b, c;
        memcpy(&a, src, 4);
        memcpy(&b, src + 4, 4);
        memcpy(&c, src + 8, 4);
        dst[x] = a & 0xFFFFFF;
        dst[x + 1] = (a >> 24) | ((b & 0xFFFF) << 8);
        dst[x + 2] = (b >> 16) | ((c & 0xFF) << 16);
        dst[x + 3] = c >> 8;
    }
    for (; x < w; x++, src += 3)
        dst[x] = (uint32_t)src[0] | ((uint32_t)src[1] << 8) | ((uint32_t)src[2] << 16);
}

/* Sixteen pixels (48 bytes, read as four 16-byte loads that stay inside
 * them) to four stores, byte shuffles placing each pixel in its word. */
__attribute__((target("ssse3"))) void RowSsse3(uint32_t *dst, const BYTE *src, LONG w)
{
    const __m128i lo = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i hi = _mm_setr_epi8(4, 5, 6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1);
    LONG x = 0;
    for (; x + 16 <= w; x += 16, src += 48) {
        __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src));
        __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 12));
        __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 24));
        __m128i p3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 32));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + x), _mm_shuffle_epi8(p0, lo));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + x + 4), _mm_shuffle_epi8(p1, lo));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + x + 8), _mm_shuffle_epi8(p2, lo));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + x + 12), _mm_shuffle_epi8(p3, hi));
    }
    RowScalar(dst + x, src, w - x);
}

void (*const rowConvert)(uint32_t *, const BYTE *, LONG) =
    __builtin_cpu_supports("ssse3") ? RowSsse3 : RowScalar;

/* A bottom-up frame as large as the surface is a row copy: 24-bit rows
 * into the surface's 32-bit rows.  Much cheaper than the stretch through a
 * device context. */
bool CopyRows(EngineSurface *surface, DWORD timeoutMs, const BYTE *buffer, LONG w, LONG h, long stride,
              HRESULT *result)
{
    EngineRows rows;
    HRESULT hr = EngineLockRows(surface, timeoutMs, TRUE, &rows);
    if (FAILED(hr)) { *result = hr; return true; }
    if (rows.width != w || rows.height != h) { EngineUnlockRows(&rows); return false; }
    for (LONG y = 0; y < h; y++)
        rowConvert(reinterpret_cast<uint32_t *>(rows.first + (ptrdiff_t)y * rows.pitch),
                   buffer + (size_t)(h - 1 - y) * stride, w);
    EngineUnlockRows(&rows);
    return true;
}
}  // namespace

void EngineDrawFramesThroughGdi(bool on) { drawThroughGdi = on; }

const GUID IID_IHSLEffect_Corv =
    {0xdaa3f1bb, 0x4302, 0x48d5, {0xad, 0x30, 0xc7, 0x25, 0xc2, 0x62, 0x87, 0xf2}};
const GUID CLSID_TintwellFilter_Corv =
    {0xdc8fe185, 0x7122, 0x484d, {0xb8, 0x23, 0x2d, 0x0d, 0xba, 0x2f, 0xe5, 0x28}};

AM_MEDIA_TYPE *EngineCopyMediaType(const AM_MEDIA_TYPE *mt)
{
    if (!mt) return nullptr;
    auto *c = static_cast<AM_MEDIA_TYPE *>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!c) return nullptr;
    *c = *mt;
    c->pbFormat = nullptr;
    if (mt->cbFormat && mt->pbFormat) {
        c->pbFormat = static_cast<BYTE *>(CoTaskMemAlloc(mt->cbFormat));
        if (!c->pbFormat) { CoTaskMemFree(c); return nullptr; }
        memcpy(c->pbFormat, mt->pbFormat, mt->cbFormat);
    } else {
        c->cbFormat = 0;
    }
    if (c->pUnk) c->pUnk->AddRef();
    return c;
}

void EngineClearMediaType(AM_MEDIA_TYPE *mt)
{
    if (!mt) return;
    if (mt->pbFormat) CoTaskMemFree(mt->pbFormat);
    mt->pbFormat = nullptr;
    mt->cbFormat = 0;
    if (mt->pUnk) mt->pUnk->Release();
    mt->pUnk = nullptr;
}

void EngineFreeMediaType(AM_MEDIA_TYPE *mt)
{
    if (!mt) return;
    EngineClearMediaType(mt);
    CoTaskMemFree(mt);
}

CDecoder::CDecoder()
{
    lastResult = EngineCreateSurface(g_engine.surfaceFactory, g_engine.width, g_engine.height,
                                     0x80800, &surface);
    if (FAILED(lastResult)) {
        EngineWarning("Could not CreateSurface g_pSurfB. (hr=0x%08x).\n", (unsigned)lastResult);
        return;
    }
    HDC dc;
    void *token;
    HRESULT hr = EngineSurfaceLockDC(surface, g_engine.framePeriod, TRUE, &dc, &token);
    if (FAILED(hr)) {
        EngineWarning("Could not LockSurfaceDC (hr=0x%08x).\n", (unsigned)hr);
    } else {
        SetStretchBltMode(dc, COLORONCOLOR);
        EngineSurfaceUnlockDC(token);
    }
    drawDib = DrawDibOpen();
}

CDecoder::~CDecoder()
{
    if (drawDib) DrawDibClose(drawDib);
    drawDib = nullptr;
    AcquireSRWLockExclusive(&hslLock);
    if (hslFilter) hslFilter->Release();
    hslFilter = nullptr;
    ReleaseSRWLockExclusive(&hslLock);
    EngineSurfaceRelease(surface);
    surface = nullptr;
    EngineFreeMediaType(audioType);
    EngineFreeMediaType(videoType);
    audioType = videoType = nullptr;
    if (mediaEvent) mediaEvent->Release();
    if (videoWindow) videoWindow->Release();
    if (basicAudio) basicAudio->Release();
    mediaEvent = nullptr; videoWindow = nullptr; basicAudio = nullptr;
}

void CDecoder::PostState(int s)
{
    EnginePost(WM_ENGINE_SOURCESTATE, ((WPARAM)channelIndex << 16) + s, 0);
}

void CDecoder::ApplyHSL(int hue, int sat, int light)
{
    AcquireSRWLockShared(&hslLock);
    if (hslFilter) hslFilter->SetHSL(hue, sat, light);
    ReleaseSRWLockShared(&hslLock);
}

void CDecoder::DrawFrame(const BYTE *buffer, long length)
{
    const AM_MEDIA_TYPE *vt = videoType;
    if (!vt || !surface || !buffer) return;
    if (vt->cbFormat < sizeof(VIDEOINFOHEADER) || !vt->pbFormat) return;
    const BITMAPINFOHEADER *bih = &reinterpret_cast<const VIDEOINFOHEADER *>(vt->pbFormat)->bmiHeader;
    LONG w = bih->biWidth, h = bih->biHeight < 0 ? -bih->biHeight : bih->biHeight;
    if (w <= 0 || h <= 0 || bih->biBitCount != 24) return;
    /* A buffer shorter than the frame the type describes is not drawn: the
     * draw would read past its end. */
    long stride = ((w * 3) + 3) & ~3L;
    if (length < stride * h) return;

    int sw, sh;
    EngineSurfaceSize(surface, &sw, &sh);
    if (sw == w && sh == h && bih->biHeight > 0 && !drawThroughGdi) {
        HRESULT hr = S_OK;
        if (CopyRows(surface, g_engine.framePeriod, buffer, w, h, stride, &hr)) {
            if (FAILED(hr)) { lastResult = hr; return; }
            sourceWidth = w;
            sourceHeight = h;
            drawnWidth = sw;
            drawnHeight = sh;
            aspect = sw > sh ? (double)sw / sh : (double)sh / sw;
            return;
        }
    }

    HDC dc;
    void *token;
    HRESULT hr = EngineSurfaceLockDC(surface, g_engine.framePeriod, TRUE, &dc, &token);
    if (FAILED(hr)) { lastResult = hr; return; }
    sourceWidth = w;
    sourceHeight = h;
    EngineSurfaceSize(surface, &sw, &sh);
    drawnWidth = sw;
    drawnHeight = sh;
    aspect = sw > sh ? (double)sw / sh : (double)sh / sw;
    SetStretchBltMode(dc, COLORONCOLOR);
    BITMAPINFOHEADER hdr = *bih;
    hdr.biSize = sizeof(hdr);
    if (drawDib)
        DrawDibDraw(drawDib, dc, 0, 0, sw, sh, &hdr, const_cast<BYTE *>(buffer), 0, 0, w, h, 0);
    else
        StretchDIBits(dc, 0, 0, sw, sh, 0, 0, w, h, buffer,
                      reinterpret_cast<const BITMAPINFO *>(&hdr), DIB_RGB_COLORS, SRCCOPY);
    EngineSurfaceUnlockDC(token);
}
