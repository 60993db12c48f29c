#include "dshowbase/seeking.h"

namespace dsb {

IMediaSeeking* SeekingPassThru::Upstream() {
    IPin* pin = upstream_(context_);
    if (!pin) return nullptr;
    IMediaSeeking* s = nullptr;
    if (FAILED(pin->QueryInterface(IID_IMediaSeeking, (void**)&s))) s = nullptr;
    pin->Release();
    return s;
}

// Each method forwards to the upstream pin's IMediaSeeking.
#define DSB_FORWARD(call)                      \
    IMediaSeeking* s = Upstream();             \
    if (!s) return E_NOTIMPL;                  \
    const HRESULT hr = s->call;                \
    s->Release();                              \
    return hr;

HRESULT STDMETHODCALLTYPE SeekingPassThru::GetCapabilities(DWORD* caps) { DSB_FORWARD(GetCapabilities(caps)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::CheckCapabilities(DWORD* caps) { DSB_FORWARD(CheckCapabilities(caps)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::IsFormatSupported(const GUID* f) { DSB_FORWARD(IsFormatSupported(f)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::QueryPreferredFormat(GUID* f) { DSB_FORWARD(QueryPreferredFormat(f)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetTimeFormat(GUID* f) { DSB_FORWARD(GetTimeFormat(f)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::IsUsingTimeFormat(const GUID* f) { DSB_FORWARD(IsUsingTimeFormat(f)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::SetTimeFormat(const GUID* f) { DSB_FORWARD(SetTimeFormat(f)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetDuration(LONGLONG* d) { DSB_FORWARD(GetDuration(d)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetStopPosition(LONGLONG* p) { DSB_FORWARD(GetStopPosition(p)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetCurrentPosition(LONGLONG* p) { DSB_FORWARD(GetCurrentPosition(p)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::ConvertTimeFormat(LONGLONG* target, const GUID* tf, LONGLONG source,
                                                            const GUID* sf) {
    DSB_FORWARD(ConvertTimeFormat(target, tf, source, sf))
}
HRESULT STDMETHODCALLTYPE SeekingPassThru::SetPositions(LONGLONG* cur, DWORD cf, LONGLONG* stop, DWORD sf) {
    DSB_FORWARD(SetPositions(cur, cf, stop, sf))
}
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetPositions(LONGLONG* cur, LONGLONG* stop) {
    DSB_FORWARD(GetPositions(cur, stop))
}
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetAvailable(LONGLONG* e, LONGLONG* l) { DSB_FORWARD(GetAvailable(e, l)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::SetRate(double rate) { DSB_FORWARD(SetRate(rate)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetRate(double* rate) { DSB_FORWARD(GetRate(rate)) }
HRESULT STDMETHODCALLTYPE SeekingPassThru::GetPreroll(LONGLONG* p) { DSB_FORWARD(GetPreroll(p)) }

#undef DSB_FORWARD

}  // namespace dsb
