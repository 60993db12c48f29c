#include "dshowbase/source.h"
#include "dshowbase/trace.h"
#include <evcode.h>
#include <vfwmsgs.h>
#include <uuids.h>
#include <new>

DSB_TRACE_CHANNEL(ch, "dshow");

namespace dsb {

// IMediaSeeking of one source pin, in media time only.
class SourceSeeking : public IMediaSeeking {
public:
    SourceSeeking(SourceFilter* filter, OutputPin* pin) : filter_(filter), pin_(pin) {}
    virtual ~SourceSeeking() {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override { return pin_->QueryInterface(riid, ppv); }
    ULONG STDMETHODCALLTYPE AddRef() override { return pin_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return pin_->Release(); }

    HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* caps) override {
        if (!caps) return E_POINTER;
        *caps = Caps();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD* caps) override {
        if (!caps) return E_POINTER;
        const DWORD want = *caps;
        *caps &= Caps();
        return *caps == want ? S_OK : (*caps ? S_FALSE : E_FAIL);
    }
    HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID* f) override {
        if (!f) return E_POINTER;
        return IsEqualGUID(*f, TIME_FORMAT_MEDIA_TIME) ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID* f) override { return GetTimeFormat(f); }
    HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID* f) override {
        if (!f) return E_POINTER;
        *f = TIME_FORMAT_MEDIA_TIME;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID* f) override { return IsFormatSupported(f); }
    HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID* f) override {
        if (!f) return E_POINTER;
        return IsEqualGUID(*f, TIME_FORMAT_MEDIA_TIME) ? S_OK : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* d) override {
        if (!d) return E_POINTER;
        return filter_->GetDuration(d);
    }
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* p) override {
        if (!p) return E_POINTER;
        *p = filter_->SeekStop();
        if (*p == 0x7fffffffffffffffLL) {
            LONGLONG d;
            if (filter_->GetDuration(&d) == S_OK) *p = d;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* p) override {
        if (!p) return E_POINTER;
        *p = filter_->SeekStart();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* tf, LONGLONG source,
                                                const GUID* sf) override {
        if (!target) return E_POINTER;
        const bool tOk = !tf || IsEqualGUID(*tf, TIME_FORMAT_MEDIA_TIME);
        const bool sOk = !sf || IsEqualGUID(*sf, TIME_FORMAT_MEDIA_TIME);
        if (!tOk || !sOk) return E_INVALIDARG;
        *target = source;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* cur, DWORD cf, LONGLONG* stop, DWORD sf) override {
        const DWORD cpos = cf & AM_SEEKING_PositioningBitsMask, spos = sf & AM_SEEKING_PositioningBitsMask;
        if ((cpos && !cur) || (spos && !stop)) return E_POINTER;
        LONGLONG start, end;
        start = filter_->SeekStart();
        end = filter_->SeekStop();
        if (cpos == AM_SEEKING_AbsolutePositioning) start = *cur;
        else if (cpos == AM_SEEKING_RelativePositioning) start += *cur;
        if (spos == AM_SEEKING_AbsolutePositioning) end = *stop;
        else if (spos == AM_SEEKING_RelativePositioning) end += *stop;
        const HRESULT hr = filter_->Seek(start, end, cpos != 0, spos != 0);
        if (SUCCEEDED(hr)) {
            if (cpos && (cf & AM_SEEKING_ReturnTime)) *cur = start;
            if (spos && (sf & AM_SEEKING_ReturnTime)) *stop = end;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG* cur, LONGLONG* stop) override {
        if (cur) GetCurrentPosition(cur);
        if (stop) GetStopPosition(stop);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG* e, LONGLONG* l) override {
        if (e) *e = 0;
        if (l) {
            LONGLONG d = 0;
            if (filter_->GetDuration(&d) != S_OK) d = 0;
            *l = d;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override { return filter_->SetRate(rate); }
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override {
        if (!rate) return E_POINTER;
        *rate = filter_->SeekRate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG* p) override {
        if (!p) return E_POINTER;
        *p = 0;
        return S_OK;
    }

private:
    DWORD Caps() {
        DWORD c = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanSeekBackwards |
                  AM_SEEKING_CanGetCurrentPos | AM_SEEKING_CanGetStopPos;
        LONGLONG d;
        if (filter_->GetDuration(&d) == S_OK) c |= AM_SEEKING_CanGetDuration;
        return c;
    }
    SourceFilter* filter_;
    OutputPin* pin_;
};

struct SourceFilter::StreamState {
    SourceFilter* filter;
    int index;
    OutputPin* pin;
    SourceSeeking* seeking;
    HANDLE thread;
    volatile LONG stop;
};

SourceFilter::SourceFilter(const CLSID& clsid, IUnknown* outer) : BaseFilter(clsid, outer) {}

SourceFilter::~SourceFilter() {
    for (StreamState* s : streams_) {
        if (s->thread) CloseHandle(s->thread);
        delete s->seeking;
        delete s;
    }
}

HRESULT SourceFilter::AddStream(const WCHAR* name, OutputPin** pin) {
    StreamState* s = new (std::nothrow) StreamState{this, (int)streams_.size(), nullptr, nullptr, nullptr, 0};
    if (!s) return E_OUTOFMEMORY;
    s->pin = new (std::nothrow) OutputPin(this, name);
    if (s->pin) s->seeking = new (std::nothrow) SourceSeeking(this, s->pin);
    if (!s->pin || !s->seeking) {
        delete s->pin;
        delete s;
        return E_OUTOFMEMORY;
    }
    streams_.push_back(s);
    AddPin(s->pin);
    if (pin) *pin = s->pin;
    return S_OK;
}

OutputPin* SourceFilter::Stream(int index) const {
    return index >= 0 && index < (int)streams_.size() ? streams_[index]->pin : nullptr;
}

int SourceFilter::IndexOf(Pin* pin) const {
    for (StreamState* s : streams_)
        if (s->pin == pin) return s->index;
    return -1;
}

HRESULT SourceFilter::CheckMediaType(int stream, const AM_MEDIA_TYPE* mt) {
    for (int i = 0;; ++i) {
        MediaType offer;
        if (GetMediaType(stream, i, &offer) != S_OK) return S_FALSE;
        if (MediaTypesEqual(&offer, mt)) return S_OK;
    }
}

HRESULT SourceFilter::PinCheckMediaType(Pin* pin, const AM_MEDIA_TYPE* mt) {
    const int i = IndexOf(pin);
    return i < 0 ? E_UNEXPECTED : CheckMediaType(i, mt);
}

HRESULT SourceFilter::PinGetMediaType(Pin* pin, int pos, AM_MEDIA_TYPE* mt) {
    const int i = IndexOf(pin);
    if (i < 0) return E_UNEXPECTED;
    if (pos < 0) return E_INVALIDARG;
    return GetMediaType(i, pos, mt);
}

HRESULT SourceFilter::PinDecideBufferSize(Pin* pin, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    const int i = IndexOf(pin);
    return i < 0 ? E_UNEXPECTED : DecideBufferSize(i, alloc, props);
}

HRESULT SourceFilter::PinQueryInterface(Pin* pin, REFIID riid, void** ppv) {
    const int i = IndexOf(pin);
    if (i >= 0 && IsEqualIID(riid, IID_IMediaSeeking)) {
        *ppv = static_cast<IMediaSeeking*>(streams_[i]->seeking);
        pin->AddRef();
        return S_OK;
    }
    return BaseFilter::PinQueryInterface(pin, riid, ppv);
}

DWORD WINAPI SourceFilter::ThreadMain(void* param) {
    StreamState* s = static_cast<StreamState*>(param);
    s->filter->RunStream(s);
    return 0;
}

void SourceFilter::RunStream(StreamState* s) {
    HRESULT hr = OnThreadStart(s->index);
    if (SUCCEEDED(hr)) {
        s->pin->DeliverNewSegment(SeekStart(), SeekStop(), SeekRate());
        for (;;) {
            if (s->stop) break;
            IMediaSample* sample = nullptr;
            hr = s->pin->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
            if (FAILED(hr)) break;  // decommitted: we are stopping
            if (s->stop) {
                sample->Release();
                break;
            }
            hr = FillSample(s->index, sample);
            if (hr == S_OK) {
                ApplyRate(sample);
                InterlockedIncrement(&sentSinceSeek_);
                hr = s->pin->Deliver(sample);
                sample->Release();
                if (hr != S_OK) {
                    // Downstream flushing or stopping: wait to be stopped.
                    DSB_TRACE(ch, "stream %d: delivery answered %#lx", s->index, (unsigned long)hr);
                    break;
                }
                continue;
            }
            sample->Release();
            if (FAILED(hr)) {
                DSB_WARN(ch, "stream %d: fill failed %#lx", s->index, (unsigned long)hr);
                NotifyEvent(EC_ERRORABORT, hr, 0);
            }
            s->pin->DeliverEndOfStream();
            break;
        }
    } else {
        NotifyEvent(EC_ERRORABORT, hr, 0);
    }
    OnThreadStop(s->index);
}

HRESULT SourceFilter::StartThreads() {
    for (StreamState* s : streams_) {
        if (!s->pin->IsConnected() || s->thread) continue;
        s->stop = 0;
        s->thread = CreateThread(nullptr, 0, ThreadMain, s, 0, nullptr);
        if (!s->thread) return HRESULT_FROM_WIN32(GetLastError());
    }
    return S_OK;
}

void SourceFilter::StopThreads() {
    for (StreamState* s : streams_) InterlockedExchange(&s->stop, 1);
    for (StreamState* s : streams_) {
        if (!s->thread) continue;
        WaitForSingleObject(s->thread, INFINITE);
        CloseHandle(s->thread);
        s->thread = nullptr;
    }
}

HRESULT STDMETHODCALLTYPE SourceFilter::Stop() {
    for (StreamState* s : streams_) InterlockedExchange(&s->stop, 1);
    return BaseFilter::Stop();
}

HRESULT SourceFilter::OnActivate() {
    {
        // Stream time starts again at 0 from the segment start.
        AutoLock seg(segLock_);
        ResetRateAnchor();
    }
    return StartThreads();
}

void SourceFilter::ResetRateAnchor() {
    anchorMedia_ = segStart_;
    anchorStream_ = 0;
    reached_ = -1;
}

REFERENCE_TIME SourceFilter::StreamTimeOf(REFERENCE_TIME media) const {
    const double d = double(media - anchorMedia_) / segRate_;
    return anchorStream_ + REFERENCE_TIME(d < 0 ? d - 0.5 : d + 0.5);
}

void SourceFilter::ApplyRate(IMediaSample* sample) {
    REFERENCE_TIME t0 = 0, t1 = 0;
    const HRESULT th = sample->GetTime(&t0, &t1);
    if (th != S_OK && th != VFW_S_NO_STOP_TIME) return;  // untimed
    const bool hasStop = th == S_OK;
    AutoLock seg(segLock_);
    const REFERENCE_TIME m0 = segStart_ + t0, m1 = hasStop ? segStart_ + t1 : m0;
    if (m1 > reached_) reached_ = m1;
    if (segRate_ == 1.0 && anchorStream_ == 0 && anchorMedia_ == segStart_) return;
    t0 = StreamTimeOf(m0);
    t1 = StreamTimeOf(m1);
    sample->SetTime(&t0, hasStop ? &t1 : nullptr);
}

HRESULT SourceFilter::OnDeactivate() {
    StopThreads();
    return S_OK;
}

HRESULT SourceFilter::Seek(REFERENCE_TIME start, REFERENCE_TIME stop, bool setStart, bool setStop) {
    AutoLock lock(filterLock_);
    DSB_TRACE(ch, "start %s stop %s", DebugTime(start).c_str(), DebugTime(stop).c_str());
    if (start < 0) return E_INVALIDARG;
    if (!setStart) {
        // Only the stop position changes: no flush needed.
        AutoLock seg(segLock_);
        segStop_ = stop;
        return S_OK;
    }
    // The same seek reaching us through another pin is done once.
    if (seekedOnce_ && start == segStart_ && (!setStop || stop == segStop_) && sentSinceSeek_ == 0) return S_OK;
    const bool active = State() != State_Stopped;
    if (active) {
        for (StreamState* s : streams_)
            if (s->pin->IsConnected()) s->pin->DeliverBeginFlush();
        for (StreamState* s : streams_) InterlockedExchange(&s->stop, 1);
        // Decommit to free a thread waiting for a buffer, then wait for it.
        for (StreamState* s : streams_) s->pin->Inactive();
        StopThreads();
    }
    {
        AutoLock seg(segLock_);
        segStart_ = start;
        if (setStop) segStop_ = stop;
        ResetRateAnchor();
    }
    HRESULT hr = OnSeek(SeekStart(), SeekStop(), SeekRate());
    seekedOnce_ = true;
    InterlockedExchange(&sentSinceSeek_, 0);
    if (active) {
        for (StreamState* s : streams_)
            if (s->pin->IsConnected()) s->pin->DeliverEndFlush();
        for (StreamState* s : streams_) s->pin->Active();
        const HRESULT r = StartThreads();
        if (SUCCEEDED(hr)) hr = r;
    }
    return hr;
}

HRESULT SourceFilter::SetRate(double rate) {
    if (!(rate > 0.0)) return E_INVALIDARG;  // also refuses NaN
    AutoLock lock(filterLock_);
    AutoLock seg(segLock_);
    if (rate == segRate_) return S_OK;  // the same change through another pin
    if (reached_ >= 0) {
        // Later samples go on from where the media was sent to.
        anchorStream_ = StreamTimeOf(reached_);
        anchorMedia_ = reached_;
    }
    segRate_ = rate;
    return S_OK;
}

}  // namespace dsb
