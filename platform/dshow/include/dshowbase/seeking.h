// IMediaSeeking objects for pins.
//
// SeekingPassThru forwards every call to the IMediaSeeking of a pin found by
// a callback (the pin upstream of a transform); E_NOTIMPL when there is none.
// Its IUnknown counts on the owning filter.
#pragma once
#include <windows.h>
#include <strmif.h>
#include <vfwmsgs.h>

namespace dsb {

class SeekingPassThru : public IMediaSeeking {
public:
    // |owner| answers QueryInterface/AddRef/Release (the pin); |upstream|
    // returns the pin to forward to (counted) or null.
    typedef IPin* (*UpstreamFn)(void* context);
    SeekingPassThru(IUnknown* owner, UpstreamFn upstream, void* context)
        : owner_(owner), upstream_(upstream), context_(context) {}
    virtual ~SeekingPassThru() {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return owner_->QueryInterface(riid, ppv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return owner_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return owner_->Release(); }

    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* caps) override;
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* caps) override;
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* format) override;
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* format) override;
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override;
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* current) override;
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                                const GUID* sourceFormat) override;
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                           DWORD stopFlags) override;
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* current, LONGLONG* stop) override;
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override;
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override;
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* preroll) override;

private:
    IMediaSeeking* Upstream();  // counted or null
    IUnknown* owner_;
    UpstreamFn upstream_;
    void* context_;
};

}  // namespace dsb
