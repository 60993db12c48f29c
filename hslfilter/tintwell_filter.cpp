#include "tintwell_filter.h"
#include <new>
#include <cstring>

DSB_TRACE_CHANNEL(ch, "tintwell");

namespace tintwell {

const WCHAR kFilterName[] = L"Tintwell Filter";

namespace {

const REGPINTYPES kAnyType = {&GUID_NULL, &GUID_NULL};
WCHAR kInputPinName[] = L"Input";
WCHAR kOutputPinName[] = L"Output";
const REGFILTERPINS kPins[] = {
    {kInputPinName, FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, L"Output", 1, &kAnyType},
    {kOutputPinName, FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, L"Input", 1, &kAnyType},
};

// S_OK sets a flag, S_FALSE clears it, any other answer is E_UNEXPECTED.
HRESULT CopyFlag(HRESULT query, HRESULT (STDMETHODCALLTYPE IMediaSample::*set)(BOOL), IMediaSample* out) {
    if (query == S_OK) return (out->*set)(TRUE);
    if (query == S_FALSE) return (out->*set)(FALSE);
    return E_UNEXPECTED;
}

}  // namespace

const dsb::FilterRegistration kRegistration = {0x200000, 2, kPins};

TintwellFilter::TintwellFilter(IUnknown* outer) : TransformFilter(CLSID_TintwellFilter, outer) {}

HRESULT TintwellFilter::Create(IUnknown* outer, dsb::ComObject** out) {
    *out = nullptr;
    TintwellFilter* f = new (std::nothrow) TintwellFilter(outer);
    if (!f) return E_OUTOFMEMORY;
    const HRESULT hr = f->CreatePins(L"In", L"Out");
    if (FAILED(hr)) {
        delete f;
        return E_OUTOFMEMORY;
    }
    *out = f;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TintwellFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IHSLEffect)) return GetInterface(static_cast<IHSLEffect*>(this), ppv);
    return TransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE TintwellFilter::GetHSL(int* hue, int* saturation, int* lightness) {
    dsb::AutoLock lock(FilterLock());
    if (!hue || !saturation || !lightness) return E_POINTER;
    dsb::AutoLock params(paramLock_);
    *hue = hue_;
    *saturation = saturation_;
    *lightness = lightness_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TintwellFilter::SetHSL(int hue, int saturation, int lightness) {
    dsb::AutoLock lock(FilterLock());
    DSB_TRACE(ch, "%p hue %d saturation %d lightness %d", this, hue, saturation, lightness);
    dsb::AutoLock params(paramLock_);
    hue_ = hue;
    saturation_ = saturation;
    lightness_ = lightness;
    return S_OK;
}

hsl::Offsets TintwellFilter::Snapshot() {
    dsb::AutoLock params(paramLock_);
    return hsl::Offsets{hue_, saturation_, lightness_};
}

HRESULT TintwellFilter::CheckInputType(const AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    if (!IsEqualGUID(mt->majortype, MEDIATYPE_Video) || !IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24)) return E_FAIL;
    return IsEqualGUID(mt->formattype, FORMAT_VideoInfo) ? S_OK : E_INVALIDARG;
}

HRESULT TintwellFilter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) {
    if (!in || !out) return E_POINTER;
    return dsb::MediaTypesEqual(in, out) ? S_OK : E_FAIL;
}

HRESULT TintwellFilter::GetMediaType(int pos, AM_MEDIA_TYPE* mt) {
    if (!Input()->IsConnected()) return E_UNEXPECTED;
    if (pos < 0) return E_INVALIDARG;
    if (pos > 0) return VFW_S_NO_MORE_ITEMS;
    if (!mt) return E_POINTER;
    return dsb::CopyMediaType(mt, &Input()->CurrentType());
}

HRESULT TintwellFilter::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    if (!Input()->IsConnected()) return E_UNEXPECTED;
    if (!alloc || !props) return E_POINTER;
    IMemAllocator* inAlloc = Input()->Allocator();
    if (!inAlloc) return E_UNEXPECTED;
    ALLOCATOR_PROPERTIES in = {};
    HRESULT hr = inAlloc->GetProperties(&in);
    if (FAILED(hr)) return hr;
    props->cBuffers = in.cBuffers < 1 ? 1 : in.cBuffers;
    props->cbBuffer = in.cbBuffer < 1 ? (LONG)Input()->CurrentType().lSampleSize : in.cbBuffer;
    if (props->cbBuffer < 1) return E_FAIL;  // no size to ask for
    if (props->cbAlign < 1) props->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual = {};
    hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) return hr;
    DSB_TRACE(ch, "asked %ld x %ld align %ld, got %ld x %ld align %ld", (long)props->cBuffers, (long)props->cbBuffer,
              (long)props->cbAlign, (long)actual.cBuffers, (long)actual.cbBuffer, (long)actual.cbAlign);
    if (actual.cBuffers < props->cBuffers || actual.cbBuffer < props->cbBuffer || actual.cbAlign < props->cbAlign)
        return E_FAIL;
    return S_OK;
}

HRESULT TintwellFilter::CopySampleProperties(IMediaSample* in, IMediaSample* out) {
    HRESULT hr;
    // 1. time stamps.  A start time without a stop time is carried as well.
    REFERENCE_TIME t0 = 0, t1 = 0;
    hr = in->GetTime(&t0, &t1);
    if (hr == S_OK) hr = out->SetTime(&t0, &t1);
    else if (hr == VFW_S_NO_STOP_TIME) hr = out->SetTime(&t0, nullptr);
    else hr = S_OK;
    if (FAILED(hr)) return hr;
    // 2. media times.
    LONGLONG m0 = 0, m1 = 0;
    if (in->GetMediaTime(&m0, &m1) == S_OK) {
        hr = out->SetMediaTime(&m0, &m1);
        if (FAILED(hr)) return hr;
    }
    // 3. sync point.
    hr = CopyFlag(in->IsSyncPoint(), &IMediaSample::SetSyncPoint, out);
    if (FAILED(hr)) return hr;
    // 4. media type (possibly null), freed after setting it.
    AM_MEDIA_TYPE* mt = nullptr;
    if (FAILED(in->GetMediaType(&mt))) mt = nullptr;
    hr = out->SetMediaType(mt);
    dsb::DeleteMediaType(mt);
    if (FAILED(hr)) return hr;
    // 5. preroll.
    hr = CopyFlag(in->IsPreroll(), &IMediaSample::SetPreroll, out);
    if (FAILED(hr)) return hr;
    // 6. discontinuity.
    hr = CopyFlag(in->IsDiscontinuity(), &IMediaSample::SetDiscontinuity, out);
    if (FAILED(hr)) return hr;
    // 7. actual data length.
    return out->SetActualDataLength(in->GetActualDataLength());
}

HRESULT TintwellFilter::Transform(IMediaSample* in, IMediaSample* out) {
    if (!in || !out) return E_POINTER;
    HRESULT hr = CopySampleProperties(in, out);
    if (FAILED(hr)) {
        DSB_WARN(ch, "property copy failed: %#lx", (unsigned long)hr);
        return hr;
    }
    BYTE *src = nullptr, *dst = nullptr;
    if (FAILED(hr = in->GetPointer(&src)) || FAILED(hr = out->GetPointer(&dst))) return hr;
    // Offsets are read once per sample, so a frame is never half old, half new.
    const hsl::Offsets o = Snapshot();
    const LONG outSize = out->GetSize();
    if (o.IsZero()) {
        // The data length as claimed, within both buffers.
        LONG n = in->GetActualDataLength();
        if (n > in->GetSize()) n = in->GetSize();
        if (n > outSize) n = outSize;
        if (n > 0) memcpy(dst, src, n);
        return S_OK;
    }
    // Every whole pixel of the input buffer, never more than the output holds.
    LONG bytes = in->GetSize();
    if (bytes > outSize) bytes = outSize;
    if (bytes > 0) hsl::ShiftPixels(src, dst, (size_t)bytes / 3, o);
    return S_OK;
}

HRESULT TintwellFilter::PinReceive(dsb::Pin* pin, IMediaSample* in) {
    if (!in) return E_POINTER;
    if (!Output()->IsConnected()) return S_OK;
    if (!Snapshot().IsZero()) return TransformFilter::PinReceive(pin, in);
    return Output()->Deliver(in);
}

HRESULT TintwellFilter::PinQueryInternalConnections(dsb::Pin* pin, IPin** pins, ULONG* count) {
    (void)pin; (void)pins; (void)count;
    return E_NOTIMPL;
}

}  // namespace tintwell
