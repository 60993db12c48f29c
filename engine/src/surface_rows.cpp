/*
 * Row locks over the transform surfaces: the ARGB read (or read-write)
 * pointer of the whole surface and its native layout.
 */
#include "surface_rows.h"

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
