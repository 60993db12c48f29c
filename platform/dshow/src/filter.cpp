#include "dshowbase/filter.h"
#include "dshowbase/trace.h"
#include <new>

DSB_TRACE_CHANNEL(ch, "dshow");

namespace dsb {

namespace {

// Pin enumerator over a filter's pin list; holds a reference on the filter.
class PinEnum : public SimpleUnknown<IEnumPins, &IID_IEnumPins> {
public:
    PinEnum(BaseFilter* filter, ULONG pos) : filter_(filter), pos_(pos) { filter_->AddRef(); }
    virtual ~PinEnum() { filter_->Release(); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
        if (!pins) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        ULONG n = 0;
        while (n < count && (int)pos_ < filter_->PinCount()) {
            pins[n] = filter_->GetPin(pos_++);
            pins[n]->AddRef();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const ULONG total = (ULONG)filter_->PinCount();
        if (pos_ + count > total) {
            pos_ = total;
            return S_FALSE;
        }
        pos_ += count;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) PinEnum(filter_, pos_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    BaseFilter* filter_;
    ULONG pos_;
};

}  // namespace

BaseFilter::BaseFilter(const CLSID& clsid, IUnknown* outer) : ComObject(outer), clsid_(clsid) {}

BaseFilter::~BaseFilter() {
    for (Pin* p : pins_) delete p;
    if (clock_) clock_->Release();
}

HRESULT STDMETHODCALLTYPE BaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IBaseFilter)) return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    if (IsEqualIID(riid, IID_IMediaFilter)) return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    if (IsEqualIID(riid, IID_IPersist)) return GetInterface(static_cast<IPersist*>(this), ppv);
    return ComObject::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE BaseFilter::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = clsid_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::Stop() {
    AutoLock lock(filterLock_);
    DSB_TRACE(ch, "filter %p state %d", this, (int)state_);
    if (state_ == State_Stopped) return S_OK;
    HRESULT result = S_OK;
    for (Pin* p : pins_)
        if (p->Direction() == PINDIR_INPUT) p->Inactive();
    for (Pin* p : pins_)
        if (p->Direction() == PINDIR_OUTPUT) p->Inactive();
    const HRESULT hr = OnDeactivate();
    if (FAILED(hr)) result = hr;
    state_ = State_Stopped;
    return result;
}

HRESULT STDMETHODCALLTYPE BaseFilter::Pause() {
    AutoLock lock(filterLock_);
    DSB_TRACE(ch, "filter %p state %d", this, (int)state_);
    if (state_ == State_Paused) return S_OK;
    if (state_ == State_Stopped) {
        HRESULT hr = S_OK;
        for (Pin* p : pins_) {
            hr = p->Active();
            if (FAILED(hr)) break;
        }
        if (SUCCEEDED(hr)) hr = OnActivate();
        if (FAILED(hr)) {
            DSB_WARN(ch, "activation failed: %#lx", (unsigned long)hr);
            for (Pin* p : pins_) p->Inactive();
            return hr;
        }
    } else {
        OnPauseFromRun();
    }
    state_ = State_Paused;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::Run(REFERENCE_TIME start) {
    AutoLock lock(filterLock_);
    DSB_TRACE(ch, "filter %p start %s", this, DebugTime(start).c_str());
    if (state_ == State_Running) return S_OK;
    if (state_ == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr)) return hr;
    }
    start_ = start;
    const HRESULT hr = OnRun(start);
    if (FAILED(hr)) return hr;
    state_ = State_Running;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::GetState(DWORD timeoutMs, FILTER_STATE* state) {
    (void)timeoutMs;
    if (!state) return E_POINTER;
    *state = state_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::SetSyncSource(IReferenceClock* clock) {
    AutoLock lock(filterLock_);
    if (clock) clock->AddRef();
    if (clock_) clock_->Release();
    clock_ = clock;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::GetSyncSource(IReferenceClock** clock) {
    if (!clock) return E_POINTER;
    AutoLock lock(filterLock_);
    *clock = clock_;
    if (clock_) clock_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::EnumPins(IEnumPins** e) {
    if (!e) return E_POINTER;
    *e = new (std::nothrow) PinEnum(this, 0);
    return *e ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE BaseFilter::FindPin(LPCWSTR id, IPin** pin) {
    if (!id || !pin) return E_POINTER;
    for (Pin* p : pins_) {
        if (!lstrcmpW(p->Name(), id)) {
            *pin = p;
            p->AddRef();
            return S_OK;
        }
    }
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
}

HRESULT STDMETHODCALLTYPE BaseFilter::QueryFilterInfo(FILTER_INFO* info) {
    if (!info) return E_POINTER;
    AutoLock lock(filterLock_);
    lstrcpynW(info->achName, name_, MAX_FILTER_NAME);
    info->pGraph = graph_;
    if (graph_) graph_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
    AutoLock lock(filterLock_);
    DSB_TRACE(ch, "filter %p graph %p name %s", this, graph, DebugWide(name).c_str());
    graph_ = graph;
    sink_ = nullptr;
    if (graph && SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, (void**)&sink_))) {
        sink_->Release();  // weak: the graph owns the filter
    }
    if (name) lstrcpynW(name_, name, MAX_FILTER_NAME);
    else name_[0] = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE BaseFilter::QueryVendorInfo(LPWSTR* info) {
    (void)info;
    return E_NOTIMPL;
}

void BaseFilter::AddPin(Pin* pin) { pins_.push_back(pin); }

Pin* BaseFilter::GetPin(int index) const {
    return index >= 0 && index < (int)pins_.size() ? pins_[index] : nullptr;
}

HRESULT BaseFilter::NotifyEvent(LONG code, LONG_PTR p1, LONG_PTR p2) {
    IMediaEventSink* sink = sink_;
    if (!sink) return E_NOTIMPL;
    return sink->Notify(code, p1, p2);
}

HRESULT BaseFilter::PinCheckMediaType(Pin* pin, const AM_MEDIA_TYPE* mt) {
    (void)pin; (void)mt;
    return S_OK;
}

HRESULT BaseFilter::PinGetMediaType(Pin* pin, int pos, AM_MEDIA_TYPE* mt) {
    (void)pin; (void)mt;
    return pos < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT BaseFilter::PinCompleteConnect(Pin* pin, IPin* peer) {
    (void)pin; (void)peer;
    return S_OK;
}

void BaseFilter::PinBreakConnect(Pin* pin) { (void)pin; }

HRESULT BaseFilter::PinDecideBufferSize(Pin* pin, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    (void)pin; (void)alloc; (void)props;
    return E_NOTIMPL;
}

HRESULT BaseFilter::PinReceive(Pin* pin, IMediaSample* sample) {
    (void)pin; (void)sample;
    return S_OK;
}

HRESULT BaseFilter::PinEndOfStream(Pin* pin) {
    (void)pin;
    for (Pin* p : pins_)
        if (p->Direction() == PINDIR_OUTPUT) static_cast<OutputPin*>(p)->DeliverEndOfStream();
    return S_OK;
}

HRESULT BaseFilter::PinNewSegment(Pin* pin, REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    (void)pin;
    for (Pin* p : pins_)
        if (p->Direction() == PINDIR_OUTPUT) static_cast<OutputPin*>(p)->DeliverNewSegment(start, stop, rate);
    return S_OK;
}

HRESULT BaseFilter::PinBeginFlush(Pin* pin) {
    (void)pin;
    for (Pin* p : pins_)
        if (p->Direction() == PINDIR_OUTPUT) static_cast<OutputPin*>(p)->DeliverBeginFlush();
    return S_OK;
}

HRESULT BaseFilter::PinEndFlush(Pin* pin) {
    (void)pin;
    for (Pin* p : pins_)
        if (p->Direction() == PINDIR_OUTPUT) static_cast<OutputPin*>(p)->DeliverEndFlush();
    return S_OK;
}

HRESULT BaseFilter::PinQueryInterface(Pin* pin, REFIID riid, void** ppv) {
    (void)pin; (void)riid;
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT BaseFilter::PinQueryInternalConnections(Pin* pin, IPin** pins, ULONG* count) {
    (void)pin; (void)pins; (void)count;
    return E_NOTIMPL;
}

}  // namespace dsb
