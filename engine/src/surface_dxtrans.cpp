/*
 * Engine surfaces over the transform surfaces: an EngineSurface* is the
 * surface's IDXSurface*, so code that needs the surface interfaces (the
 * frame clock, the combiner) casts with EngineSurfaceObject.
 */
#include "surface_access.h"

#ifdef CORV_HAVE_DXTRANS

#include <dxtrans.h>

static IDXSurface *dx(EngineSurface *s) { return reinterpret_cast<IDXSurface *>(s); }

HRESULT EngineCreateSurfaceFactory(IUnknown **out)
{
    *out = nullptr;
    static DWORD cookie;
    if (!cookie) DXRegisterTransformFactoryClass(&cookie);
    IServiceProvider *tf = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DXTransformFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IServiceProvider, (void **)&tf);
    if (FAILED(hr) || !tf) {
        IUnknown *unk = nullptr;
        hr = DXCreateTransformFactory(&unk);
        if (FAILED(hr)) return hr;
        hr = unk->QueryInterface(IID_IServiceProvider, (void **)&tf);
        unk->Release();
        if (FAILED(hr)) return hr;
    }
    IDXSurfaceFactory *sf = nullptr;
    hr = tf->QueryService(SID_SDXSurfaceFactory, IID_IDXSurfaceFactory, (void **)&sf);
    tf->Release();
    if (FAILED(hr)) return hr;
    *out = sf;
    return S_OK;
}

HRESULT EngineCreateSurface(IUnknown *factory, int width, int height, DWORD caps, EngineSurface **out)
{
    *out = nullptr;
    if (!factory) return E_POINTER;
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_WIDTH | DDSD_HEIGHT;
    desc.dwWidth = width;
    desc.dwHeight = height;
    desc.ddsCaps.dwCaps = caps;
    IDXSurface *s = nullptr;
    HRESULT hr = static_cast<IDXSurfaceFactory *>(factory)->CreateSurface(
        nullptr, &desc, &DDPF_ARGB32, nullptr, 0, nullptr, IID_IDXSurface, (void **)&s);
    if (FAILED(hr)) return hr;
    *out = reinterpret_cast<EngineSurface *>(s);
    return S_OK;
}

void EngineSurfaceAddRef(EngineSurface *s) { if (s) dx(s)->AddRef(); }
void EngineSurfaceRelease(EngineSurface *s) { if (s) dx(s)->Release(); }

void EngineSurfaceSize(EngineSurface *s, int *w, int *h)
{
    DXBNDS b = {};
    dx(s)->GetBounds(&b);
    *w = b.u.D[0].Max - b.u.D[0].Min;
    *h = b.u.D[1].Max - b.u.D[1].Min;
}

IUnknown *EngineSurfaceObject(EngineSurface *s) { return dx(s); }

HRESULT EngineSurfaceLockDC(EngineSurface *s, DWORD timeout, BOOL readWrite, HDC *dc, void **token)
{
    if (!s) return E_POINTER;
    IDXDCLock *lock = nullptr;
    HRESULT hr = dx(s)->LockSurfaceDC(nullptr, timeout, readWrite ? DXLOCKF_READWRITE : DXLOCKF_READ, &lock);
    if (FAILED(hr)) return hr;
    *dc = lock->GetDC();
    *token = lock;
    return S_OK;
}

void EngineSurfaceUnlockDC(void *token)
{
    if (token) static_cast<IDXDCLock *>(token)->Release();
}

HRESULT EngineSurfaceRead(EngineSurface *s, DWORD timeout, DWORD *dst, int stride)
{
    IDXARGBReadPtr *p = nullptr;
    HRESULT hr = dx(s)->LockSurface(nullptr, timeout, DXLOCKF_READ, IID_IDXARGBReadPtr, (void **)&p, nullptr);
    if (FAILED(hr)) return hr;
    int w, h;
    EngineSurfaceSize(s, &w, &h);
    for (int y = 0; y < h; y++) {
        p->MoveToRow(y);
        p->Unpack(reinterpret_cast<DXSAMPLE *>(reinterpret_cast<BYTE *>(dst) + (size_t)y * stride), w, FALSE);
    }
    p->Release();
    return S_OK;
}

HRESULT EngineSurfaceFill(EngineSurface *s, DWORD timeout, DWORD argb)
{
    IDXARGBReadWritePtr *p = nullptr;
    HRESULT hr = dx(s)->LockSurface(nullptr, timeout, DXLOCKF_READWRITE, IID_IDXARGBReadWritePtr,
                                    (void **)&p, nullptr);
    if (FAILED(hr)) return hr;
    int w, h;
    EngineSurfaceSize(s, &w, &h);
    p->FillRect(nullptr, DXPMSAMPLE(argb), FALSE);
    p->Release();
    return S_OK;
}

#endif
