#include "dshowbase/transform.h"
#include "dshowbase/trace.h"
#include <new>

DSB_TRACE_CHANNEL(ch, "dshow");

namespace dsb {

TransformFilter::TransformFilter(const CLSID& clsid, IUnknown* outer) : BaseFilter(clsid, outer) {}

TransformFilter::~TransformFilter() { delete seeking_; }

HRESULT TransformFilter::CreatePins(const WCHAR* inputName, const WCHAR* outputName) {
    output_ = new (std::nothrow) OutputPin(this, outputName);
    if (!output_) return E_OUTOFMEMORY;
    input_ = new (std::nothrow) InputPin(this, inputName);
    if (!input_) {
        delete output_;
        output_ = nullptr;
        return E_OUTOFMEMORY;
    }
    seeking_ = new (std::nothrow) SeekingPassThru(
        static_cast<IPin*>(output_), [](void* self) { return static_cast<TransformFilter*>(self)->UpstreamPin(); },
        this);
    if (!seeking_) {
        delete input_;
        delete output_;
        input_ = nullptr;
        output_ = nullptr;
        return E_OUTOFMEMORY;
    }
    AddPin(input_);
    AddPin(output_);
    return S_OK;
}

IPin* TransformFilter::UpstreamPin() {
    IPin* peer = nullptr;
    if (input_ && SUCCEEDED(input_->ConnectedTo(&peer))) return peer;
    return nullptr;
}

HRESULT TransformFilter::PinCheckMediaType(Pin* pin, const AM_MEDIA_TYPE* mt) {
    if (pin == input_) return CheckInputType(mt);
    if (!input_->IsConnected()) return VFW_E_NOT_CONNECTED;
    return CheckTransform(&input_->CurrentType(), mt);
}

HRESULT TransformFilter::PinGetMediaType(Pin* pin, int pos, AM_MEDIA_TYPE* mt) {
    if (pin == input_) return pos < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
    return GetMediaType(pos, mt);
}

HRESULT TransformFilter::PinDecideBufferSize(Pin* pin, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    (void)pin;
    return DecideBufferSize(alloc, props);
}

HRESULT TransformFilter::PinReceive(Pin* pin, IMediaSample* in) {
    (void)pin;
    if (!output_->IsConnected()) return S_OK;
    IMediaSample* out = nullptr;
    HRESULT hr = output_->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
    if (FAILED(hr)) {
        DSB_WARN(ch, "no output buffer: %#lx", (unsigned long)hr);
        return hr;
    }
    hr = Transform(in, out);
    if (hr == S_OK) hr = output_->Deliver(out);
    else if (hr == S_FALSE) hr = S_OK;
    out->Release();
    return hr;
}

HRESULT TransformFilter::PinQueryInterface(Pin* pin, REFIID riid, void** ppv) {
    if (pin == output_ && IsEqualIID(riid, IID_IMediaSeeking)) {
        *ppv = static_cast<IMediaSeeking*>(seeking_);
        seeking_->AddRef();
        return S_OK;
    }
    return BaseFilter::PinQueryInterface(pin, riid, ppv);
}

HRESULT TransformFilter::OnActivate() {
    AutoLock stream(streamLock_);
    const HRESULT hr = StartStreaming();
    streaming_ = SUCCEEDED(hr);
    return hr;
}

HRESULT TransformFilter::OnDeactivate() {
    // Waits for a Receive in progress: the input already refuses new ones.
    AutoLock stream(streamLock_);
    if (!streaming_) return S_OK;
    streaming_ = false;
    return StopStreaming();
}

}  // namespace dsb
