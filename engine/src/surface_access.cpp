/*
 * Engine surfaces.  With the dxtrans stand-in present the surfaces are its
 * ARGB32 surfaces (see surface_dxtrans.cpp); this file holds the small
 * built-in surface used when the module is built without it: a top-down
 * 32-bit DIB section guarded by a mutex, so locks time out like the real
 * ones.
 */
#include "surface_access.h"

#ifndef CORV_HAVE_DXTRANS

#include <atomic>

struct EngineSurface {
    std::atomic<LONG> refs{1};
    int width = 0, height = 0;
    HANDLE mutex = nullptr;
    HBITMAP dib = nullptr;
    DWORD *bits = nullptr;
    HDC dc = nullptr;
    HGDIOBJ old = nullptr;
};

namespace {
struct DCToken { EngineSurface *s; };
}

HRESULT EngineCreateSurfaceFactory(IUnknown **factory)
{
    /* The built-in surfaces need no factory object; hand back a marker. */
    static struct Marker : IUnknown {
        HRESULT WINAPI QueryInterface(REFIID, void **p) override { *p = nullptr; return E_NOINTERFACE; }
        ULONG WINAPI AddRef() override { return 2; }
        ULONG WINAPI Release() override { return 1; }
    } marker;
    *factory = &marker;
    return S_OK;
}

HRESULT EngineCreateSurface(IUnknown *factory, int width, int height, DWORD, EngineSurface **out)
{
    *out = nullptr;
    if (!factory || width <= 0 || height <= 0) return E_INVALIDARG;
    auto *s = new EngineSurface;
    s->width = width; s->height = height;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    s->dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    s->dc = CreateCompatibleDC(nullptr);
    s->mutex = CreateMutexW(nullptr, FALSE, nullptr);
    if (!s->dib || !s->dc || !s->mutex) { EngineSurfaceRelease(s); return E_OUTOFMEMORY; }
    s->bits = static_cast<DWORD *>(bits);
    s->old = SelectObject(s->dc, s->dib);
    *out = s;
    return S_OK;
}

void EngineSurfaceAddRef(EngineSurface *s) { if (s) s->refs++; }

void EngineSurfaceRelease(EngineSurface *s)
{
    if (!s || --s->refs) return;
    if (s->dc) { if (s->old) SelectObject(s->dc, s->old); DeleteDC(s->dc); }
    if (s->dib) DeleteObject(s->dib);
    if (s->mutex) CloseHandle(s->mutex);
    delete s;
}

void EngineSurfaceSize(EngineSurface *s, int *w, int *h) { *w = s->width; *h = s->height; }
IUnknown *EngineSurfaceObject(EngineSurface *) { return nullptr; }

static HRESULT lock(EngineSurface *s, DWORD timeout)
{
    DWORD r = WaitForSingleObject(s->mutex, timeout);
    if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) return S_OK;
    return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

HRESULT EngineSurfaceLockDC(EngineSurface *s, DWORD timeout, BOOL, HDC *dc, void **token)
{
    if (!s) return E_POINTER;
    HRESULT hr = lock(s, timeout);
    if (FAILED(hr)) return hr;
    GdiFlush();
    *dc = s->dc;
    *token = new DCToken{s};
    return S_OK;
}

void EngineSurfaceUnlockDC(void *token)
{
    auto *t = static_cast<DCToken *>(token);
    if (!t) return;
    GdiFlush();
    ReleaseMutex(t->s->mutex);
    delete t;
}

HRESULT EngineSurfaceRead(EngineSurface *s, DWORD timeout, DWORD *dst, int stride)
{
    HRESULT hr = lock(s, timeout);
    if (FAILED(hr)) return hr;
    GdiFlush();
    for (int y = 0; y < s->height; y++)
        memcpy(reinterpret_cast<BYTE *>(dst) + (size_t)y * stride, s->bits + (size_t)y * s->width, s->width * 4);
    ReleaseMutex(s->mutex);
    return S_OK;
}

HRESULT EngineSurfaceFill(EngineSurface *s, DWORD timeout, DWORD argb)
{
    HRESULT hr = lock(s, timeout);
    if (FAILED(hr)) return hr;
    GdiFlush();
    for (int i = 0; i < s->width * s->height; i++) s->bits[i] = argb;
    ReleaseMutex(s->mutex);
    return S_OK;
}

#endif
