// One-in, one-out transform filter.
//
// The input pin receives a sample, the filter takes an output sample from the
// output pin's allocator, calls Transform and delivers the result.  A derived
// filter provides the five type/buffer/transform hooks; Transform must copy
// whatever sample properties (times, flags, length) it wants carried over.
// Its output pin answers IMediaSeeking by passing every call to the pin
// connected upstream of the input.
//
// Threads: Check*/GetMediaType/DecideBufferSize run on the application's
// thread under the filter lock; Transform runs on the upstream streaming
// thread under the stream lock; Start/StopStreaming under both.
#pragma once
#include "filter.h"
#include "seeking.h"

namespace dsb {

class TransformFilter : public BaseFilter {
public:
    TransformFilter(const CLSID& clsid, IUnknown* outer);
    ~TransformFilter() override;

    // Creates the pins, the output pin first; E_OUTOFMEMORY when one cannot
    // be made.  Enumeration order is input, output.
    HRESULT CreatePins(const WCHAR* inputName, const WCHAR* outputName);
    InputPin* Input() const { return input_; }
    OutputPin* Output() const { return output_; }

    // ---- hooks ----
    virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) = 0;
    // Output types offered by position.
    virtual HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) = 0;
    // S_OK delivers |out|; S_FALSE drops it quietly; a failure is returned to
    // the upstream pin's Receive and nothing is delivered.
    virtual HRESULT Transform(IMediaSample* in, IMediaSample* out) = 0;
    virtual HRESULT StartStreaming() { return S_OK; }
    virtual HRESULT StopStreaming() { return S_OK; }

    // BaseFilter hooks, routed to the ones above.
    HRESULT PinCheckMediaType(Pin* pin, const AM_MEDIA_TYPE* mt) override;
    HRESULT PinGetMediaType(Pin* pin, int pos, AM_MEDIA_TYPE* mt) override;
    HRESULT PinDecideBufferSize(Pin* pin, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT PinReceive(Pin* pin, IMediaSample* sample) override;
    HRESULT PinQueryInterface(Pin* pin, REFIID riid, void** ppv) override;
    HRESULT OnActivate() override;
    HRESULT OnDeactivate() override;

private:
    IPin* UpstreamPin();
    InputPin* input_ = nullptr;
    OutputPin* output_ = nullptr;
    SeekingPassThru* seeking_ = nullptr;
    bool streaming_ = false;
};

}  // namespace dsb
