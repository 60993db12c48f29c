/*
 * Transform factory, surface factory and ARGB32 surfaces.
 *
 * A surface is a top-down 32-bit GDI DIB section selected into one memory DC
 * that lives as long as the surface: sample pointers read and write the DIB's
 * bits directly, and device-context locks hand out that DC, so GDI drawing
 * (StretchDIBits, DrawDibDraw, text) lands in the same samples.  A DC keeps
 * its state (stretch mode, ...) from one lock to the next.
 */
#include "dxtrans.h"
#include "dxtrans_internal.h"

#include <wine/debug.h>

#include <new>
#include <vector>

WINE_DEFAULT_DEBUG_CHANNEL(dxtrans);

/* ---- identifiers -------------------------------------------------------- */

extern "C" {
const CLSID CLSID_DXTransformFactory = {0xD1FE6762, 0xFC48, 0x11D0, {0x88, 0x3A, 0x3C, 0x8B, 0x00, 0xC1, 0x00, 0x00}};
const IID IID_IDXBaseObject = {0x17B59B2B, 0x9CC8, 0x11D1, {0x90, 0x53, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
const IID IID_IDXTransformFactory = {0x6A950B2B, 0xA971, 0x11D1, {0x81, 0xC8, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB}};
const IID IID_IDXSurfaceFactory = {0x144946F5, 0xC4D4, 0x11D1, {0x81, 0xD1, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB}};
const IID IID_IDXSurface = {0xB39FD73F, 0xE139, 0x11D1, {0x90, 0x65, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
const IID IID_IDXDCLock = {0x0F619456, 0xCF39, 0x11D1, {0x90, 0x5E, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
const IID IID_IDXARGBReadPtr = {0xEAAAC2D6, 0xC290, 0x11D1, {0x90, 0x5D, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
const IID IID_IDXARGBReadWritePtr = {0xEAAAC2D7, 0xC290, 0x11D1, {0x90, 0x5D, 0x00, 0xC0, 0x4F, 0xD9, 0x18, 0x9D}};
const GUID SID_SDXSurfaceFactory = {0x144946F5, 0xC4D4, 0x11D1, {0x81, 0xD1, 0x00, 0x00, 0xF8, 0x75, 0x57, 0xDB}};
const GUID DDPF_ARGB32 = {0x773C9AC0, 0x3274, 0x11D0, {0xB7, 0x24, 0x00, 0xAA, 0x00, 0x6C, 0x1A, 0x01}};
}

namespace dxtrans {

/* ---- lock gate ---------------------------------------------------------- */

SurfaceGate::SurfaceGate()
{
    InitializeCriticalSection(&cs_);
    InitializeConditionVariable(&cv_);
}

SurfaceGate::~SurfaceGate() { DeleteCriticalSection(&cs_); }

bool SurfaceGate::CanTake(bool write, bool dc, DWORD self) const
{
    if (dc && dcBusy_) return false;
    if (write) return writer_ == self || (writer_ == 0 && readers_ == 0);
    return writer_ == 0 || writer_ == self;
}

bool SurfaceGate::Acquire(bool write, bool dc, DWORD timeoutMs)
{
    const DWORD self = GetCurrentThreadId();
    const ULONGLONG start = GetTickCount64();
    EnterCriticalSection(&cs_);
    while (!CanTake(write, dc, self))
    {
        DWORD wait = INFINITE;
        if (timeoutMs != INFINITE)
        {
            ULONGLONG spent = GetTickCount64() - start;
            if (spent >= timeoutMs)
            {
                LeaveCriticalSection(&cs_);
                return false;
            }
            wait = DWORD(timeoutMs - spent);
        }
        SleepConditionVariableCS(&cv_, &cs_, wait);
    }
    if (write)
    {
        writer_ = self;
        ++writeDepth_;
    }
    else
        ++readers_;
    if (dc) dcBusy_ = true;
    LeaveCriticalSection(&cs_);
    return true;
}

void SurfaceGate::Release(bool write, bool dc)
{
    EnterCriticalSection(&cs_);
    if (write)
    {
        if (writeDepth_ > 0 && --writeDepth_ == 0) writer_ = 0;
    }
    else if (readers_ > 0)
        --readers_;
    if (dc) dcBusy_ = false;
    LeaveCriticalSection(&cs_);
    WakeAllConditionVariable(&cv_);
}

/* ---- sample arithmetic -------------------------------------------------- */

static inline DWORD Scale255(DWORD c, DWORD w)
{
    DWORD v = c * w + 0x80;
    return (v + (v >> 8)) >> 8;
}

DWORD PremultiplyWord(DWORD s)
{
    DWORD a = s >> 24;
    if (a == 255) return s;
    if (a == 0) return 0;
    return (a << 24) | (Scale255((s >> 16) & 0xFF, a) << 16) | (Scale255((s >> 8) & 0xFF, a) << 8) |
           Scale255(s & 0xFF, a);
}

DWORD UnpremultiplyWord(DWORD s)
{
    DWORD a = s >> 24;
    if (a == 255) return s;
    if (a == 0) return 0;
    auto un = [a](DWORD c) {
        DWORD v = (c * 255 + a / 2) / a;
        return v > 255 ? 255u : v;
    };
    return (a << 24) | (un((s >> 16) & 0xFF) << 16) | (un((s >> 8) & 0xFF) << 8) | un(s & 0xFF);
}

DWORD OverWord(DWORD dst, DWORD src)
{
    DWORD a = src >> 24;
    if (a == 255) return src;
    if (a == 0 && src == 0) return dst;
    DWORD inv = 255 - a, out = 0;
    for (int sh = 0; sh < 32; sh += 8)
    {
        DWORD v = ((src >> sh) & 0xFF) + Scale255((dst >> sh) & 0xFF, inv);
        out |= (v > 255 ? 255u : v) << sh;
    }
    return out;
}

/* ---- surface ------------------------------------------------------------ */

class Surface;

/* A lock on a rectangle of a surface with a current position.  Read locks
 * answer IDXARGBReadPtr only; read-write locks also IDXARGBReadWritePtr. */
class SamplePointer final : public IDXARGBReadWritePtr
{
public:
    SamplePointer(Surface *s, const RECT &r, bool write);
    ~SamplePointer();

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG r = InterlockedDecrement(&ref_);
        if (r == 0) delete this;
        return r;
    }

    STDMETHODIMP GetSurface(REFIID riid, void **ppSurface) override;
    STDMETHODIMP_(DXSAMPLEFORMATENUM) GetNativeType(DXNATIVETYPEINFO *pInfo) override;
    STDMETHODIMP_(void) Move(LONG cSamples) override;
    STDMETHODIMP_(void) MoveToRow(ULONG y) override;
    STDMETHODIMP_(void) MoveToXY(ULONG x, ULONG y) override;
    STDMETHODIMP_(ULONG) MoveAndGetRunInfo(ULONG Row, const DXRUNINFO **ppInfo) override;
    STDMETHODIMP_(DXSAMPLE *) Unpack(DXSAMPLE *pSamples, ULONG cSamples, BOOL bMove) override;
    STDMETHODIMP_(DXPMSAMPLE *) UnpackPremult(DXPMSAMPLE *pSamples, ULONG cSamples, BOOL bMove) override;
    STDMETHODIMP_(void) UnpackRect(const DXPACKEDRECTDESC *pRectDesc) override;

    STDMETHODIMP_(void) PackAndMove(const DXSAMPLE *pSamples, ULONG cSamples) override;
    STDMETHODIMP_(void) PackPremultAndMove(const DXPMSAMPLE *pSamples, ULONG cSamples) override;
    STDMETHODIMP_(void) PackRect(const DXPACKEDRECTDESC *pRectDesc) override;
    STDMETHODIMP_(void) CopyAndMoveBoth(DXBASESAMPLE *pScratch, IDXARGBReadPtr *pSrc, ULONG cSamples,
                                        BOOL bIsOpaque) override;
    STDMETHODIMP_(void) CopyRect(DXBASESAMPLE *pScratch, const RECT *pDestRect, IDXARGBReadPtr *pSrc,
                                 const POINT *pSrcOrigin, BOOL bIsOpaque) override;
    STDMETHODIMP_(void) FillAndMove(DXBASESAMPLE *pScratch, DXPMSAMPLE SampVal, ULONG cSamples,
                                    BOOL bDoOver) override;
    STDMETHODIMP_(void) FillRect(const RECT *pRect, DXPMSAMPLE SampVal, BOOL bDoOver) override;
    STDMETHODIMP_(void) OverSample(const DXOVERSAMPLEDESC *pOverDesc) override;
    STDMETHODIMP_(void) OverArrayAndMove(DXBASESAMPLE *pScratch, const DXPMSAMPLE *pSrc,
                                         ULONG cSamples) override;

private:
    /* Samples left in the current row from the position, 0 off the region. */
    ULONG RunLeft() const { return (y_ < height_ && x_ < width_) ? width_ - x_ : 0; }
    DWORD *At(ULONG x, ULONG y) const { return reinterpret_cast<DWORD *>(first_ + LONG_PTR(y) * pitch_) + x; }

    LONG ref_ = 1;
    Surface *surface_;
    bool write_;
    BYTE *first_;
    LONG pitch_;
    ULONG width_, height_;
    ULONG x_ = 0, y_ = 0;
};

class DCLock final : public IDXDCLock
{
public:
    DCLock(Surface *s, bool write);
    ~DCLock();
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG r = InterlockedDecrement(&ref_);
        if (r == 0) delete this;
        return r;
    }
    STDMETHODIMP_(HDC) GetDC() override;

private:
    LONG ref_ = 1;
    Surface *surface_;
    bool write_;
};

class Surface final : public IDXSurface
{
public:
    static HRESULT Create(ULONG width, ULONG height, Surface **out);

    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDXBaseObject) ||
            IsEqualIID(riid, IID_IDXSurface))
        {
            *ppv = static_cast<IDXSurface *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG r = InterlockedDecrement(&ref_);
        WINE_TRACE("surface %p ref %ld\n", this, (long)r);
        if (r == 0) delete this;
        return r;
    }

    STDMETHODIMP GetGenerationId(ULONG *pID) override
    {
        if (!pID) return E_POINTER;
        *pID = ULONG(generation_);
        return S_OK;
    }
    STDMETHODIMP IncrementGenerationId(BOOL) override
    {
        InterlockedIncrement(&generation_);
        return S_OK;
    }
    STDMETHODIMP GetObjectSize(ULONG *pcbSize) override
    {
        if (!pcbSize) return E_POINTER;
        *pcbSize = sizeof(*this) + width_ * height_ * 4;
        return S_OK;
    }

    STDMETHODIMP GetPixelFormat(GUID *pFormatID, DXSAMPLEFORMATENUM *pEnum) override
    {
        if (pFormatID) *pFormatID = DDPF_ARGB32;
        if (pEnum) *pEnum = DXPF_ARGB32;
        return S_OK;
    }
    STDMETHODIMP GetBounds(DXBNDS *pBounds) override
    {
        if (!pBounds) return E_POINTER;
        ZeroMemory(pBounds, sizeof(*pBounds));
        pBounds->eType = DXBT_DISCRETE;
        pBounds->u.D[0].Max = LONG(width_);
        pBounds->u.D[1].Max = LONG(height_);
        pBounds->u.D[2].Max = 1;
        pBounds->u.D[3].Max = 1;
        return S_OK;
    }
    STDMETHODIMP GetStatusFlags(DWORD *p) override
    {
        if (!p) return E_POINTER;
        *p = status_;
        return S_OK;
    }
    STDMETHODIMP SetStatusFlags(DWORD f) override
    {
        status_ = f;
        return S_OK;
    }
    STDMETHODIMP LockSurface(const DXBNDS *pBounds, ULONG ulTimeOut, DWORD dwFlags, REFIID riid,
                             void **ppPointer, ULONG *pulGenerationId) override;
    STDMETHODIMP GetDirectDrawSurface(REFIID, void **pp) override
    {
        WINE_FIXME("no DirectDraw surface behind %p\n", this);
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetColorKey(DXSAMPLE *p) override
    {
        if (!p) return E_POINTER;
        *p = DXSAMPLE(colorKey_);
        return S_OK;
    }
    STDMETHODIMP SetColorKey(DXSAMPLE k) override
    {
        colorKey_ = DWORD(k);
        return S_OK;
    }
    STDMETHODIMP LockSurfaceDC(const DXBNDS *pBounds, ULONG ulTimeOut, DWORD dwFlags,
                               IDXDCLock **ppDCLock) override;
    STDMETHODIMP SetAppData(DWORD_PTR d) override
    {
        appData_ = d;
        return S_OK;
    }
    STDMETHODIMP GetAppData(DWORD_PTR *p) override
    {
        if (!p) return E_POINTER;
        *p = appData_;
        return S_OK;
    }

    SurfaceGate gate;
    HDC dc() const { return dc_; }
    BYTE *bits() const { return bits_; }
    LONG pitch() const { return LONG(width_ * 4); }
    ULONG width() const { return width_; }
    ULONG height() const { return height_; }

private:
    Surface() = default;
    ~Surface()
    {
        if (dc_)
        {
            if (oldBitmap_) SelectObject(dc_, oldBitmap_);
            DeleteDC(dc_);
        }
        if (bitmap_) DeleteObject(bitmap_);
    }
    /* Bounds to a rectangle inside the surface; false when they leave it. */
    bool ToRect(const DXBNDS *b, RECT *r) const;

    LONG ref_ = 1;
    LONG generation_ = 1;
    ULONG width_ = 0, height_ = 0;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ oldBitmap_ = nullptr;
    HDC dc_ = nullptr;
    BYTE *bits_ = nullptr;
    DWORD status_ = 0;
    DWORD colorKey_ = 0;
    DWORD_PTR appData_ = 0;
};

HRESULT Surface::Create(ULONG width, ULONG height, Surface **out)
{
    *out = nullptr;
    if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return E_INVALIDARG;
    Surface *s = new (std::nothrow) Surface();
    if (!s) return E_OUTOFMEMORY;
    s->width_ = width;
    s->height_ = height;
    BITMAPINFO bmi = {};
    bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
    bmi.bmiHeader.biWidth = LONG(width);
    bmi.bmiHeader.biHeight = -LONG(height); /* top-down: row 0 first in memory */
    bmi.bmiHeader.biPlanes = 1;
    bmi.bmiHeader.biBitCount = 32;
    bmi.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    s->bitmap_ = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);
    s->dc_ = CreateCompatibleDC(nullptr);
    if (!s->bitmap_ || !bits || !s->dc_)
    {
        WINE_ERR("cannot create a %lux%lu DIB section\n", (unsigned long)width, (unsigned long)height);
        s->Release();
        return E_OUTOFMEMORY;
    }
    s->bits_ = static_cast<BYTE *>(bits);
    s->oldBitmap_ = SelectObject(s->dc_, s->bitmap_);
    *out = s;
    WINE_TRACE("surface %p %lux%lu bits %p\n", s, (unsigned long)width, (unsigned long)height, bits);
    return S_OK;
}

bool Surface::ToRect(const DXBNDS *b, RECT *r) const
{
    if (!b)
    {
        SetRect(r, 0, 0, LONG(width_), LONG(height_));
        return true;
    }
    if (b->eType != DXBT_DISCRETE) return false;
    const DXDBND &x = b->u.D[0], &y = b->u.D[1];
    if (x.Min < 0 || y.Min < 0 || x.Min >= x.Max || y.Min >= y.Max || x.Max > LONG(width_) ||
        y.Max > LONG(height_))
        return false;
    SetRect(r, x.Min, y.Min, x.Max, y.Max);
    return true;
}

HRESULT Surface::LockSurface(const DXBNDS *pBounds, ULONG ulTimeOut, DWORD dwFlags, REFIID riid,
                             void **ppPointer, ULONG *pulGenerationId)
{
    WINE_TRACE("surface %p bounds %p time-out %lu flags %#lx\n", this, pBounds, (unsigned long)ulTimeOut,
          (unsigned long)dwFlags);
    if (!ppPointer) return E_POINTER;
    *ppPointer = nullptr;
    if (dwFlags & ~DWORD(DXLOCKF_VALIDFLAGS)) return E_INVALIDARG;
    const bool write = (dwFlags & DXLOCKF_READWRITE) != 0;
    if (IsEqualIID(riid, IID_IDXDCLock))
    {
        IDXDCLock *lock = nullptr;
        HRESULT hr = LockSurfaceDC(pBounds, ulTimeOut, dwFlags, &lock);
        if (SUCCEEDED(hr)) *ppPointer = lock;
        if (SUCCEEDED(hr) && pulGenerationId) GetGenerationId(pulGenerationId);
        return hr;
    }
    if (!IsEqualIID(riid, IID_IDXARGBReadPtr) && !IsEqualIID(riid, IID_IUnknown) &&
        !(write && IsEqualIID(riid, IID_IDXARGBReadWritePtr)))
        return E_NOINTERFACE;
    RECT r;
    if (!ToRect(pBounds, &r)) return E_INVALIDARG;
    if (!gate.Acquire(write, false, ulTimeOut))
    {
        WINE_TRACE("surface %p lock timed out\n", this);
        return E_ABORT;
    }
    SamplePointer *p = new (std::nothrow) SamplePointer(this, r, write);
    if (!p)
    {
        gate.Release(write, false);
        return E_OUTOFMEMORY;
    }
    *ppPointer = static_cast<IDXARGBReadWritePtr *>(p);
    if (pulGenerationId) *pulGenerationId = ULONG(generation_);
    return S_OK;
}

HRESULT Surface::LockSurfaceDC(const DXBNDS *pBounds, ULONG ulTimeOut, DWORD dwFlags,
                               IDXDCLock **ppDCLock)
{
    WINE_TRACE("surface %p time-out %lu flags %#lx\n", this, (unsigned long)ulTimeOut, (unsigned long)dwFlags);
    if (!ppDCLock) return E_POINTER;
    *ppDCLock = nullptr;
    if (dwFlags & ~DWORD(DXLOCKF_VALIDFLAGS)) return E_INVALIDARG;
    RECT r;
    if (!ToRect(pBounds, &r)) return E_INVALIDARG;
    const bool write = (dwFlags & DXLOCKF_READWRITE) != 0;
    if (!gate.Acquire(write, true, ulTimeOut))
    {
        WINE_TRACE("surface %p DC lock timed out\n", this);
        return E_ABORT;
    }
    DCLock *l = new (std::nothrow) DCLock(this, write);
    if (!l)
    {
        gate.Release(write, true);
        return E_OUTOFMEMORY;
    }
    *ppDCLock = l;
    return S_OK;
}

/* ---- DC lock ------------------------------------------------------------ */

DCLock::DCLock(Surface *s, bool write) : surface_(s), write_(write) { s->AddRef(); }

DCLock::~DCLock()
{
    /* Let every batched GDI call reach the bits before others read them. */
    GdiFlush();
    if (write_) surface_->IncrementGenerationId(FALSE);
    surface_->gate.Release(write_, true);
    surface_->Release();
}

HRESULT DCLock::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDXDCLock))
    {
        *ppv = static_cast<IDXDCLock *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HDC DCLock::GetDC() { return surface_->dc(); }

/* ---- sample pointer ----------------------------------------------------- */

SamplePointer::SamplePointer(Surface *s, const RECT &r, bool write)
    : surface_(s), write_(write), first_(s->bits() + LONG_PTR(r.top) * s->pitch() + r.left * 4),
      pitch_(s->pitch()), width_(ULONG(r.right - r.left)), height_(ULONG(r.bottom - r.top))
{
    s->AddRef();
    /* Samples may have been drawn through GDI just before. */
    GdiFlush();
}

SamplePointer::~SamplePointer()
{
    if (write_) surface_->IncrementGenerationId(FALSE);
    surface_->gate.Release(write_, false);
    surface_->Release();
}

HRESULT SamplePointer::QueryInterface(REFIID riid, void **ppv)
{
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDXARGBReadPtr) ||
        (write_ && IsEqualIID(riid, IID_IDXARGBReadWritePtr)))
    {
        *ppv = static_cast<IDXARGBReadWritePtr *>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT SamplePointer::GetSurface(REFIID riid, void **ppSurface)
{
    return surface_->QueryInterface(riid, ppSurface);
}

DXSAMPLEFORMATENUM SamplePointer::GetNativeType(DXNATIVETYPEINFO *pInfo)
{
    if (pInfo)
    {
        pInfo->pFirstByte = first_;
        pInfo->pCurrentData = (y_ < height_ && x_ < width_) ? reinterpret_cast<BYTE *>(At(x_, y_)) : nullptr;
        pInfo->lPitch = pitch_;
        pInfo->dwColorKey = 0;
    }
    return DXPF_ARGB32;
}

void SamplePointer::Move(LONG cSamples)
{
    LONG x = LONG(x_) + cSamples;
    x_ = x < 0 ? 0 : (ULONG(x) > width_ ? width_ : ULONG(x));
}

void SamplePointer::MoveToRow(ULONG y)
{
    x_ = 0;
    y_ = y;
    if (y >= height_) WINE_WARN("row %lu outside %lu rows\n", (unsigned long)y, (unsigned long)height_);
}

void SamplePointer::MoveToXY(ULONG x, ULONG y)
{
    x_ = x > width_ ? width_ : x;
    y_ = y;
    if (y >= height_ || x >= width_)
        WINE_WARN("point %lu,%lu outside %lux%lu\n", (unsigned long)x, (unsigned long)y, (unsigned long)width_,
             (unsigned long)height_);
}

ULONG SamplePointer::MoveAndGetRunInfo(ULONG Row, const DXRUNINFO **ppInfo)
{
    WINE_FIXME("no run information\n");
    MoveToRow(Row);
    if (ppInfo) *ppInfo = nullptr;
    return 0;
}

DXSAMPLE *SamplePointer::Unpack(DXSAMPLE *pSamples, ULONG cSamples, BOOL bMove)
{
    ULONG n = cSamples < RunLeft() ? cSamples : RunLeft();
    if (n && pSamples) memcpy(pSamples, At(x_, y_), n * 4);
    if (bMove) x_ += n;
    return pSamples;
}

DXPMSAMPLE *SamplePointer::UnpackPremult(DXPMSAMPLE *pSamples, ULONG cSamples, BOOL bMove)
{
    ULONG n = cSamples < RunLeft() ? cSamples : RunLeft();
    if (pSamples)
    {
        const DWORD *src = At(x_, y_);
        for (ULONG i = 0; i < n; ++i) pSamples[i] = DXPMSAMPLE(PremultiplyWord(src[i]));
    }
    if (bMove) x_ += n;
    return pSamples;
}

void SamplePointer::UnpackRect(const DXPACKEDRECTDESC *d)
{
    if (!d || !d->pSamples) return;
    RECT r = d->rect;
    if (r.left < 0 || r.top < 0 || r.right > LONG(width_) || r.bottom > LONG(height_) || r.left >= r.right ||
        r.top >= r.bottom)
        return;
    const ULONG w = ULONG(r.right - r.left);
    DWORD *dst = reinterpret_cast<DWORD *>(d->pSamples);
    for (LONG y = r.top; y < r.bottom; ++y, dst += w + d->lRowPadding)
    {
        const DWORD *src = At(ULONG(r.left), ULONG(y));
        if (d->bPremult)
            for (ULONG i = 0; i < w; ++i) dst[i] = PremultiplyWord(src[i]);
        else
            memcpy(dst, src, w * 4);
    }
}

void SamplePointer::PackAndMove(const DXSAMPLE *pSamples, ULONG cSamples)
{
    if (!write_) return;
    ULONG n = cSamples < RunLeft() ? cSamples : RunLeft();
    if (n && pSamples) memcpy(At(x_, y_), pSamples, n * 4);
    x_ += n;
}

void SamplePointer::PackPremultAndMove(const DXPMSAMPLE *pSamples, ULONG cSamples)
{
    if (!write_) return;
    ULONG n = cSamples < RunLeft() ? cSamples : RunLeft();
    if (pSamples)
    {
        DWORD *dst = At(x_, y_);
        for (ULONG i = 0; i < n; ++i) dst[i] = UnpremultiplyWord(DWORD(pSamples[i]));
    }
    x_ += n;
}

void SamplePointer::PackRect(const DXPACKEDRECTDESC *d)
{
    if (!write_ || !d || !d->pSamples) return;
    RECT r = d->rect;
    if (r.left < 0 || r.top < 0 || r.right > LONG(width_) || r.bottom > LONG(height_) || r.left >= r.right ||
        r.top >= r.bottom)
        return;
    const ULONG w = ULONG(r.right - r.left);
    const DWORD *src = reinterpret_cast<const DWORD *>(d->pSamples);
    for (LONG y = r.top; y < r.bottom; ++y, src += w + d->lRowPadding)
    {
        DWORD *dst = At(ULONG(r.left), ULONG(y));
        if (d->bPremult)
            for (ULONG i = 0; i < w; ++i) dst[i] = UnpremultiplyWord(src[i]);
        else
            memcpy(dst, src, w * 4);
    }
}

void SamplePointer::CopyAndMoveBoth(DXBASESAMPLE *pScratch, IDXARGBReadPtr *pSrc, ULONG cSamples,
                                    BOOL bIsOpaque)
{
    if (!write_ || !pSrc) return;
    ULONG n = cSamples < RunLeft() ? cSamples : RunLeft();
    std::vector<DXBASESAMPLE> local;
    if (!pScratch)
    {
        local.resize(n ? n : 1);
        pScratch = local.data();
    }
    /* Unpack clips to the source's row; samples it did not reach stay as they are. */
    DXSAMPLE *buf = static_cast<DXSAMPLE *>(pScratch);
    for (ULONG i = 0; i < n; ++i) buf[i] = DXSAMPLE(At(x_, y_)[i]);
    pSrc->Unpack(buf, n, TRUE);
    if (bIsOpaque)
        PackAndMove(buf, n);
    else
        OverArrayAndMove(nullptr, static_cast<const DXPMSAMPLE *>(static_cast<DXBASESAMPLE *>(buf)), n);
}

void SamplePointer::CopyRect(DXBASESAMPLE *pScratch, const RECT *pDestRect, IDXARGBReadPtr *pSrc,
                             const POINT *pSrcOrigin, BOOL bIsOpaque)
{
    if (!write_ || !pSrc) return;
    RECT r;
    if (pDestRect)
        r = *pDestRect;
    else
        SetRect(&r, 0, 0, LONG(width_), LONG(height_));
    if (r.left < 0 || r.top < 0 || r.right > LONG(width_) || r.bottom > LONG(height_) || r.left >= r.right)
        return;
    POINT o = pSrcOrigin ? *pSrcOrigin : POINT{0, 0};
    for (LONG y = r.top; y < r.bottom; ++y)
    {
        pSrc->MoveToXY(ULONG(o.x), ULONG(o.y + (y - r.top)));
        MoveToXY(ULONG(r.left), ULONG(y));
        CopyAndMoveBoth(pScratch, pSrc, ULONG(r.right - r.left), bIsOpaque);
    }
}

void SamplePointer::FillAndMove(DXBASESAMPLE *, DXPMSAMPLE SampVal, ULONG cSamples, BOOL bDoOver)
{
    if (!write_) return;
    ULONG n = cSamples < RunLeft() ? cSamples : RunLeft();
    DWORD *dst = At(x_, y_);
    if (bDoOver)
        DXConstOverArray(reinterpret_cast<DXPMSAMPLE *>(dst), SampVal, n);
    else
        for (ULONG i = 0; i < n; ++i) dst[i] = DWORD(SampVal);
    x_ += n;
}

void SamplePointer::FillRect(const RECT *pRect, DXPMSAMPLE SampVal, BOOL bDoOver)
{
    if (!write_) return;
    RECT r;
    if (pRect)
        r = *pRect;
    else
        SetRect(&r, 0, 0, LONG(width_), LONG(height_));
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    if (r.right > LONG(width_)) r.right = LONG(width_);
    if (r.bottom > LONG(height_)) r.bottom = LONG(height_);
    for (LONG y = r.top; y < r.bottom && r.left < r.right; ++y)
    {
        MoveToXY(ULONG(r.left), ULONG(y));
        FillAndMove(nullptr, SampVal, ULONG(r.right - r.left), bDoOver);
    }
}

void SamplePointer::OverSample(const DXOVERSAMPLEDESC *d)
{
    if (!write_ || !d) return;
    if (d->p.x < 0 || d->p.y < 0 || ULONG(d->p.x) >= width_ || ULONG(d->p.y) >= height_) return;
    DWORD *dst = At(ULONG(d->p.x), ULONG(d->p.y));
    *dst = OverWord(*dst, DWORD(d->Color));
}

void SamplePointer::OverArrayAndMove(DXBASESAMPLE *, const DXPMSAMPLE *pSrc, ULONG cSamples)
{
    if (!write_) return;
    ULONG n = cSamples < RunLeft() ? cSamples : RunLeft();
    /* The stored samples are blended as they are: a picture drawn through GDI
     * carries alpha 0 and keeps its colours under the over. */
    if (pSrc && n) DXOverArray(reinterpret_cast<DXPMSAMPLE *>(At(x_, y_)), pSrc, n);
    x_ += n;
}

/* ---- factories ---------------------------------------------------------- */

class TransformFactory final : public IDXTransformFactory, public IDXSurfaceFactory
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IServiceProvider) ||
            IsEqualIID(riid, IID_IDXTransformFactory))
            *ppv = static_cast<IDXTransformFactory *>(this);
        else if (IsEqualIID(riid, IID_IDXSurfaceFactory))
            *ppv = static_cast<IDXSurfaceFactory *>(this);
        else
        {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&ref_); }
    STDMETHODIMP_(ULONG) Release() override
    {
        LONG r = InterlockedDecrement(&ref_);
        WINE_TRACE("factory %p ref %ld\n", this, (long)r);
        if (r == 0) delete this;
        return r;
    }

    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void **ppv) override
    {
        WINE_TRACE("factory %p service %s\n", this, wine_dbgstr_guid(&guidService));
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualGUID(guidService, SID_SDXSurfaceFactory) || IsEqualGUID(guidService, IID_IDXSurfaceFactory) ||
            IsEqualGUID(guidService, IID_IDXTransformFactory))
            return QueryInterface(riid, ppv);
        return E_NOINTERFACE;
    }
    STDMETHODIMP SetService(REFGUID, IUnknown *, BOOL) override
    {
        WINE_FIXME("not implemented\n");
        return E_NOTIMPL;
    }
    STDMETHODIMP CreateTransform(IUnknown **, ULONG, IUnknown **, ULONG, IPropertyBag *, IErrorLog *,
                                 REFCLSID clsid, REFIID, void **pp) override
    {
        WINE_FIXME("no transform %s\n", wine_dbgstr_guid(&clsid));
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP InitializeTransform(IUnknown *, IUnknown **, ULONG, IUnknown **, ULONG, IPropertyBag *,
                                     IErrorLog *) override
    {
        WINE_FIXME("not implemented\n");
        return E_NOTIMPL;
    }

    STDMETHODIMP CreateSurface(IUnknown *pDirectDraw, const DDSURFACEDESC *pDesc, const GUID *pFormatID,
                               const DXBNDS *pBounds, DWORD dwFlags, IUnknown *punkOuter, REFIID riid,
                               void **ppDXSurface) override
    {
        WINE_TRACE("factory %p ddraw %p desc %p format %s bounds %p flags %#lx\n", this, pDirectDraw, pDesc,
              pFormatID ? wine_dbgstr_guid(pFormatID) : "(null)", pBounds, (unsigned long)dwFlags);
        if (!ppDXSurface) return E_POINTER;
        *ppDXSurface = nullptr;
        if (punkOuter) return CLASS_E_NOAGGREGATION;
        if (pDirectDraw) WINE_WARN("DirectDraw object %p ignored\n", pDirectDraw);
        if (pFormatID && !IsEqualGUID(*pFormatID, DDPF_ARGB32)) return E_INVALIDARG;
        ULONG w = 0, h = 0;
        if (pDesc && (pDesc->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT)) == (DDSD_WIDTH | DDSD_HEIGHT))
        {
            w = pDesc->dwWidth;
            h = pDesc->dwHeight;
        }
        else if (pBounds && pBounds->eType == DXBT_DISCRETE)
        {
            LONG bw = pBounds->u.D[0].Max - pBounds->u.D[0].Min;
            LONG bh = pBounds->u.D[1].Max - pBounds->u.D[1].Min;
            if (bw <= 0 || bh <= 0) return E_INVALIDARG;
            w = ULONG(bw);
            h = ULONG(bh);
        }
        else
            return E_INVALIDARG;
        Surface *s = nullptr;
        HRESULT hr = Surface::Create(w, h, &s);
        if (FAILED(hr)) return hr;
        hr = s->QueryInterface(riid, ppDXSurface);
        s->Release();
        return hr;
    }
    STDMETHODIMP CreateFromDDSurface(IUnknown *, const GUID *, DWORD, IUnknown *, REFIID, void **pp) override
    {
        return NotImpl(pp);
    }
    STDMETHODIMP LoadImage(const LPWSTR, IUnknown *, const DDSURFACEDESC *, const GUID *, REFIID, void **pp) override
    {
        return NotImpl(pp);
    }
    STDMETHODIMP LoadImageFromStream(IStream *, IUnknown *, const DDSURFACEDESC *, const GUID *, REFIID,
                                     void **pp) override
    {
        return NotImpl(pp);
    }
    STDMETHODIMP CopySurfaceToNewFormat(IDXSurface *, IUnknown *, const DDSURFACEDESC *, const GUID *,
                                        IDXSurface **pp) override
    {
        return NotImpl(reinterpret_cast<void **>(pp));
    }
    STDMETHODIMP CreateD3DRMTexture(IDXSurface *, IUnknown *, IUnknown *, REFIID, void **pp) override
    {
        return NotImpl(pp);
    }
    STDMETHODIMP BitBlt(IDXSurface *, const DXVEC *, IDXSurface *, const RECT *, DWORD) override
    {
        return NotImpl(nullptr);
    }

private:
    static HRESULT NotImpl(void **pp)
    {
        WINE_FIXME("not implemented\n");
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    LONG ref_ = 1;
};

class FactoryClass final : public IClassFactory
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory))
        {
            *ppv = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    /* One static object for the whole process. */
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IUnknown *unk = nullptr;
        HRESULT hr = DXCreateTransformFactory(&unk);
        if (FAILED(hr)) return hr;
        hr = unk->QueryInterface(riid, ppv);
        unk->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

static FactoryClass g_factoryClass;

} // namespace dxtrans

using namespace dxtrans;

extern "C" HRESULT WINAPI DXCreateTransformFactory(IUnknown **ppUnk)
{
    if (!ppUnk) return E_POINTER;
    TransformFactory *f = new (std::nothrow) TransformFactory();
    *ppUnk = f ? static_cast<IDXTransformFactory *>(f) : nullptr;
    WINE_TRACE("factory %p\n", f);
    return f ? S_OK : E_OUTOFMEMORY;
}

extern "C" HRESULT WINAPI DXTransGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_DXTransformFactory)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factoryClass.QueryInterface(riid, ppv);
}

extern "C" HRESULT WINAPI DXRegisterTransformFactoryClass(DWORD *pdwCookie)
{
    if (!pdwCookie) return E_POINTER;
    return CoRegisterClassObject(CLSID_DXTransformFactory, &g_factoryClass, CLSCTX_INPROC_SERVER,
                                 REGCLS_MULTIPLEUSE, pdwCookie);
}

extern "C" HRESULT WINAPI DXRevokeTransformFactoryClass(DWORD dwCookie)
{
    return CoRevokeClassObject(dwCookie);
}

extern "C" void WINAPI DXOverArray(DXPMSAMPLE *pDest, const DXPMSAMPLE *pSrc, ULONG nCount)
{
    if (!pDest || !pSrc) return;
    DWORD *d = reinterpret_cast<DWORD *>(pDest);
    const DWORD *s = reinterpret_cast<const DWORD *>(pSrc);
    for (ULONG i = 0; i < nCount; ++i) d[i] = OverWord(d[i], s[i]);
}

extern "C" void WINAPI DXConstOverArray(DXPMSAMPLE *pDest, const DXPMSAMPLE &val, ULONG nCount)
{
    if (!pDest) return;
    DWORD *d = reinterpret_cast<DWORD *>(pDest);
    const DWORD v = DWORD(val);
    for (ULONG i = 0; i < nCount; ++i) d[i] = OverWord(d[i], v);
}

extern "C" DXPMSAMPLE WINAPI DXPreMultSample(const DXSAMPLE &s) { return DXPMSAMPLE(PremultiplyWord(DWORD(s))); }

extern "C" DXSAMPLE WINAPI DXUnPreMultSample(const DXPMSAMPLE &s) { return DXSAMPLE(UnpremultiplyWord(DWORD(s))); }
