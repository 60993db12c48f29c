/*
 * Transform surfaces: the transform factory, its surface factory, 32-bit ARGB
 * surfaces with sample pointers and device-context locks, and the over blend
 * of premultiplied samples.
 *
 * Wine has no transform runtime, so this library provides the objects the
 * media engine uses.  Interfaces are COM-compatible (IUnknown first, methods
 * in a fixed order); the identifiers are the public ones so that code written
 * against them finds the same objects.
 *
 * Threads: every surface may be locked from any thread.  Read locks are
 * shared, read-write locks are exclusive, and a surface has one device
 * context, so device-context locks also exclude each other.  A lock waits at
 * most its time-out (milliseconds, INFINITE = no limit) and then fails with
 * E_ABORT.  A lock is held until the returned pointer or DC lock object is
 * released.
 */
#ifndef CORV_PLATFORM_DXTRANS_H
#define CORV_PLATFORM_DXTRANS_H

#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <servprov.h>
#include <ddraw.h>

/* ---- identifiers -------------------------------------------------------- */

extern "C" {
extern const CLSID CLSID_DXTransformFactory; /* {D1FE6762-FC48-11D0-883A-3C8B00C10000} */
extern const IID IID_IDXBaseObject;
extern const IID IID_IDXTransformFactory;
extern const IID IID_IDXSurfaceFactory;
extern const IID IID_IDXSurface;
extern const IID IID_IDXDCLock;
extern const IID IID_IDXARGBReadPtr;
extern const IID IID_IDXARGBReadWritePtr;
/* Service id of the surface factory behind the transform factory. */
extern const GUID SID_SDXSurfaceFactory;
/* Pixel format of a surface: 32-bit ARGB (blue byte first in memory). */
extern const GUID DDPF_ARGB32;
}

/* ---- samples ------------------------------------------------------------ */

/* One 32-bit sample, blue byte first: as a DWORD it reads 0xAARRGGBB. */
struct DXBASESAMPLE
{
    BYTE Blue, Green, Red, Alpha;
    DXBASESAMPLE() = default;
    constexpr DXBASESAMPLE(DWORD v)
        : Blue(BYTE(v)), Green(BYTE(v >> 8)), Red(BYTE(v >> 16)), Alpha(BYTE(v >> 24)) {}
    constexpr DXBASESAMPLE(BYTE a, BYTE r, BYTE g, BYTE b) : Blue(b), Green(g), Red(r), Alpha(a) {}
    constexpr operator DWORD() const
    {
        return DWORD(Blue) | (DWORD(Green) << 8) | (DWORD(Red) << 16) | (DWORD(Alpha) << 24);
    }
};
/* A straight (not premultiplied) sample. */
struct DXSAMPLE : DXBASESAMPLE
{
    DXSAMPLE() = default;
    constexpr DXSAMPLE(DWORD v) : DXBASESAMPLE(v) {}
    constexpr DXSAMPLE(BYTE a, BYTE r, BYTE g, BYTE b) : DXBASESAMPLE(a, r, g, b) {}
};
/* A sample whose colour channels are already scaled by its alpha. */
struct DXPMSAMPLE : DXBASESAMPLE
{
    DXPMSAMPLE() = default;
    constexpr DXPMSAMPLE(DWORD v) : DXBASESAMPLE(v) {}
    constexpr DXPMSAMPLE(BYTE a, BYTE r, BYTE g, BYTE b) : DXBASESAMPLE(a, r, g, b) {}
};
static_assert(sizeof(DXBASESAMPLE) == 4 && sizeof(DXSAMPLE) == 4 && sizeof(DXPMSAMPLE) == 4,
              "samples are one 32-bit word");

/* ---- records ------------------------------------------------------------ */

enum DXBNDTYPE { DXBT_DISCRETE = 0, DXBT_DISCRETE64, DXBT_CONTINUOUS, DXBT_CONTINUOUS64 };
struct DXDBND { LONG Min; LONG Max; };
struct DXDBND64 { LONGLONG Min; LONGLONG Max; };
/* Bounds: axis 0 = x, 1 = y, 2 = z, 3 = t; [Min, Max). Only discrete bounds are used. */
struct DXBNDS
{
    DXBNDTYPE eType;
    union { DXDBND D[4]; DXDBND64 LD[4]; } u;
};
/* Position of a surface, used by the blitting call (not implemented). */
struct DXVEC
{
    DXBNDTYPE eType;
    union { LONG D[4]; LONGLONG LD[4]; } u;
};

/* Lock flags. */
enum DXLOCKSURF
{
    DXLOCKF_READ = 0,
    DXLOCKF_READWRITE = 1 << 0,
    DXLOCKF_EXISTINGINFOONLY = 1 << 1,
    DXLOCKF_WANTRUNINFO = 1 << 2,
    DXLOCKF_NONPREMULT = 1 << 16,
    DXLOCKF_VALIDFLAGS = DXLOCKF_READWRITE | DXLOCKF_EXISTINGINFOONLY | DXLOCKF_WANTRUNINFO | DXLOCKF_NONPREMULT
};

/* Native sample formats. */
enum DXSAMPLEFORMATENUM
{
    DXPF_FLAGSMASK = (int)0xFFFF0000,
    DXPF_NONPREMULT = 0x00010000,
    DXPF_TRANSPARENCY = 0x00020000,
    DXPF_TRANSLUCENCY = 0x00040000,
    DXPF_NONSTANDARD = 0,
    DXPF_PMARGB32 = 1 | DXPF_TRANSPARENCY | DXPF_TRANSLUCENCY,
    DXPF_ARGB32 = 2 | DXPF_NONPREMULT | DXPF_TRANSPARENCY | DXPF_TRANSLUCENCY
};

/* Direct access to the locked pixels: first byte of the locked region, the
 * byte at the pointer's current position, and the row pitch in bytes. */
struct DXNATIVETYPEINFO
{
    BYTE *pCurrentData;
    BYTE *pFirstByte;
    LONG lPitch;
    DWORD dwColorKey;
};

struct DXRUNINFO { ULONG Bitfields; };

/* A rectangle of samples to move in one call; rows are consecutive in
 * pSamples, each followed by lRowPadding unused samples. */
struct DXPACKEDRECTDESC
{
    DXBASESAMPLE *pSamples;
    BOOL bPremult;
    RECT rect;
    LONG lRowPadding;
};

struct DXOVERSAMPLEDESC
{
    POINT p;
    DXPMSAMPLE Color;
};

/* ---- interfaces --------------------------------------------------------- */

struct IDXSurface;
struct IDXDCLock;

struct IDXBaseObject : public IUnknown
{
    STDMETHOD(GetGenerationId)(ULONG *pID) = 0;
    STDMETHOD(IncrementGenerationId)(BOOL bRefresh) = 0;
    STDMETHOD(GetObjectSize)(ULONG *pcbSize) = 0;
};

struct IDXTransformFactory : public IServiceProvider
{
    STDMETHOD(SetService)(REFGUID guidService, IUnknown *pUnkService, BOOL bWeakReference) = 0;
    STDMETHOD(CreateTransform)(IUnknown **punkInputs, ULONG ulNumInputs, IUnknown **punkOutputs,
                               ULONG ulNumOutputs, IPropertyBag *pInitProps, IErrorLog *pErrLog,
                               REFCLSID TransCLSID, REFIID TransIID, void **ppTransform) = 0;
    STDMETHOD(InitializeTransform)(IUnknown *pTransform, IUnknown **punkInputs, ULONG ulNumInputs,
                                   IUnknown **punkOutputs, ULONG ulNumOutputs,
                                   IPropertyBag *pInitProps, IErrorLog *pErrLog) = 0;
};

struct IDXSurfaceFactory : public IUnknown
{
    /* Creates a surface of the description's width and height (flags
     * DDSD_WIDTH | DDSD_HEIGHT) or of pBounds; pFormatID must be DDPF_ARGB32
     * (or null).  No DirectDraw object is needed; pDirectDraw is ignored. */
    STDMETHOD(CreateSurface)(IUnknown *pDirectDraw, const DDSURFACEDESC *pDDSurfaceDesc,
                             const GUID *pFormatID, const DXBNDS *pBounds, DWORD dwFlags,
                             IUnknown *punkOuter, REFIID riid, void **ppDXSurface) = 0;
    STDMETHOD(CreateFromDDSurface)(IUnknown *pDDrawSurface, const GUID *pFormatID, DWORD dwFlags,
                                   IUnknown *punkOuter, REFIID riid, void **ppDXSurface) = 0;
    STDMETHOD(LoadImage)(const LPWSTR pszFileName, IUnknown *pDirectDraw,
                         const DDSURFACEDESC *pDDSurfaceDesc, const GUID *pFormatID, REFIID riid,
                         void **ppDXSurface) = 0;
    STDMETHOD(LoadImageFromStream)(IStream *pStream, IUnknown *pDirectDraw,
                                   const DDSURFACEDESC *pDDSurfaceDesc, const GUID *pFormatID,
                                   REFIID riid, void **ppDXSurface) = 0;
    STDMETHOD(CopySurfaceToNewFormat)(IDXSurface *pSrc, IUnknown *pDirectDraw,
                                      const DDSURFACEDESC *pDDSurfaceDesc,
                                      const GUID *pDestFormatID, IDXSurface **ppNewSurface) = 0;
    STDMETHOD(CreateD3DRMTexture)(IDXSurface *pSrc, IUnknown *pDirectDraw, IUnknown *pD3DRM3,
                                  REFIID riid, void **ppTexture3) = 0;
    STDMETHOD(BitBlt)(IDXSurface *pDest, const DXVEC *pPlacement, IDXSurface *pSrc,
                      const RECT *pClipBounds, DWORD dwFlags) = 0;
};

struct IDXSurface : public IDXBaseObject
{
    STDMETHOD(GetPixelFormat)(GUID *pFormatID, DXSAMPLEFORMATENUM *pSampleFormatEnum) = 0;
    STDMETHOD(GetBounds)(DXBNDS *pBounds) = 0;
    STDMETHOD(GetStatusFlags)(DWORD *pdwStatusFlags) = 0;
    STDMETHOD(SetStatusFlags)(DWORD dwStatusFlags) = 0;
    /* Locks pBounds (null = whole surface) for reading (DXLOCKF_READ) or
     * reading and writing (DXLOCKF_READWRITE) and returns IDXARGBReadPtr,
     * IDXARGBReadWritePtr (read-write locks only) or IDXDCLock. */
    STDMETHOD(LockSurface)(const DXBNDS *pBounds, ULONG ulTimeOut, DWORD dwFlags, REFIID riid,
                           void **ppPointer, ULONG *pulGenerationId) = 0;
    STDMETHOD(GetDirectDrawSurface)(REFIID riid, void **ppSurface) = 0;
    STDMETHOD(GetColorKey)(DXSAMPLE *pColorKey) = 0;
    STDMETHOD(SetColorKey)(DXSAMPLE ColorKey) = 0;
    /* Locks the surface's device context; GDI drawing into it lands in the
     * surface's samples. */
    STDMETHOD(LockSurfaceDC)(const DXBNDS *pBounds, ULONG ulTimeOut, DWORD dwFlags,
                             IDXDCLock **ppDCLock) = 0;
    STDMETHOD(SetAppData)(DWORD_PTR dwAppData) = 0;
    STDMETHOD(GetAppData)(DWORD_PTR *pdwAppData) = 0;
};

struct IDXDCLock : public IUnknown
{
    STDMETHOD_(HDC, GetDC)() = 0;
};

/* Read access to the locked samples.  The pointer has a current position
 * (x, y) inside the locked region; a run never crosses the end of a row. */
struct IDXARGBReadPtr : public IUnknown
{
    STDMETHOD(GetSurface)(REFIID riid, void **ppSurface) = 0;
    STDMETHOD_(DXSAMPLEFORMATENUM, GetNativeType)(DXNATIVETYPEINFO *pInfo) = 0;
    STDMETHOD_(void, Move)(LONG cSamples) = 0;
    STDMETHOD_(void, MoveToRow)(ULONG y) = 0;
    STDMETHOD_(void, MoveToXY)(ULONG x, ULONG y) = 0;
    STDMETHOD_(ULONG, MoveAndGetRunInfo)(ULONG Row, const DXRUNINFO **ppInfo) = 0;
    STDMETHOD_(DXSAMPLE *, Unpack)(DXSAMPLE *pSamples, ULONG cSamples, BOOL bMove) = 0;
    STDMETHOD_(DXPMSAMPLE *, UnpackPremult)(DXPMSAMPLE *pSamples, ULONG cSamples, BOOL bMove) = 0;
    STDMETHOD_(void, UnpackRect)(const DXPACKEDRECTDESC *pRectDesc) = 0;
};

struct IDXARGBReadWritePtr : public IDXARGBReadPtr
{
    STDMETHOD_(void, PackAndMove)(const DXSAMPLE *pSamples, ULONG cSamples) = 0;
    STDMETHOD_(void, PackPremultAndMove)(const DXPMSAMPLE *pSamples, ULONG cSamples) = 0;
    STDMETHOD_(void, PackRect)(const DXPACKEDRECTDESC *pRectDesc) = 0;
    STDMETHOD_(void, CopyAndMoveBoth)(DXBASESAMPLE *pScratchBuffer, IDXARGBReadPtr *pSrc,
                                      ULONG cSamples, BOOL bIsOpaque) = 0;
    STDMETHOD_(void, CopyRect)(DXBASESAMPLE *pScratchBuffer, const RECT *pDestRect,
                               IDXARGBReadPtr *pSrc, const POINT *pSrcOrigin, BOOL bIsOpaque) = 0;
    STDMETHOD_(void, FillAndMove)(DXBASESAMPLE *pScratchBuffer, DXPMSAMPLE SampVal, ULONG cSamples,
                                  BOOL bDoOver) = 0;
    STDMETHOD_(void, FillRect)(const RECT *pRect, DXPMSAMPLE SampVal, BOOL bDoOver) = 0;
    STDMETHOD_(void, OverSample)(const DXOVERSAMPLEDESC *pOverDesc) = 0;
    STDMETHOD_(void, OverArrayAndMove)(DXBASESAMPLE *pScratchBuffer, const DXPMSAMPLE *pSrc,
                                       ULONG cSamples) = 0;
};

/* ---- functions ---------------------------------------------------------- */

extern "C" {
/* Creates the transform factory directly (no registry needed); *ppUnk
 * receives its IUnknown. */
HRESULT WINAPI DXCreateTransformFactory(IUnknown **ppUnk);
/* Class object of the transform factory, for a module's DllGetClassObject. */
HRESULT WINAPI DXTransGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv);
/* Makes CoCreateInstance (CLSID_DXTransformFactory, in process) work in this
 * process without registry entries; undone by DXRevokeTransformFactoryClass. */
HRESULT WINAPI DXRegisterTransformFactoryClass(DWORD *pdwCookie);
HRESULT WINAPI DXRevokeTransformFactoryClass(DWORD dwCookie);

/* Premultiplied over: dest := src + dest x (255 - src alpha) / 255 per
 * channel (rounded, clamped at 255), for nCount samples. */
void WINAPI DXOverArray(DXPMSAMPLE *pDest, const DXPMSAMPLE *pSrc, ULONG nCount);
/* The same with one constant source sample. */
void WINAPI DXConstOverArray(DXPMSAMPLE *pDest, const DXPMSAMPLE &val, ULONG nCount);
/* Straight <-> premultiplied conversions of one sample (rounded). */
DXPMSAMPLE WINAPI DXPreMultSample(const DXSAMPLE &s);
DXSAMPLE WINAPI DXUnPreMultSample(const DXPMSAMPLE &s);
}

#endif
