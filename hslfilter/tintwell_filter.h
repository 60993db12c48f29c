// The Tintwell transform filter: RGB24 in, the same RGB24 out, every pixel
// shifted in hue, saturation and lightness by three offsets.
#pragma once
#include <dshowbase/dshowbase.h>
#include "hsl_pixel.h"
#include "ihsleffect.h"

namespace tintwell {

extern const WCHAR kFilterName[];
extern const dsb::FilterRegistration kRegistration;

class TintwellFilter : public dsb::TransformFilter, public IHSLEffect {
public:
    // The class factory's creator: E_OUTOFMEMORY when the filter or a pin
    // cannot be allocated.
    static HRESULT Create(IUnknown* outer, dsb::ComObject** out);

    DSB_DELEGATE_IUNKNOWN
    // Null out pointer: E_POINTER; IID_IHSLEffect: this filter's IHSLEffect.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IHSLEffect, under the filter lock.
    HRESULT STDMETHODCALLTYPE GetHSL(int* hue, int* saturation, int* lightness) override;
    HRESULT STDMETHODCALLTYPE SetHSL(int hue, int saturation, int lightness) override;

    // Transform filter hooks.
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override;
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;
    // With all offsets zero the input sample itself goes downstream: the same
    // bytes and properties a copy would carry, without taking an output
    // buffer.  Otherwise the transform base takes an output sample.
    HRESULT PinReceive(dsb::Pin* pin, IMediaSample* in) override;
    HRESULT PinQueryInternalConnections(dsb::Pin* pin, IPin** pins, ULONG* count) override;

    // The sample property copy on its own (used by Transform).
    static HRESULT CopySampleProperties(IMediaSample* in, IMediaSample* out);

private:
    explicit TintwellFilter(IUnknown* outer);
    hsl::Offsets Snapshot();

    // The offsets; written under the filter lock and the parameter lock, read
    // once per sample under the parameter lock alone (the streaming thread
    // never takes the filter lock).
    int32_t hue_ = 0;
    int32_t saturation_ = 0;
    int32_t lightness_ = 0;
    dsb::CritSec paramLock_;
};

}  // namespace tintwell
