#include "dshowbase/allocator.h"
#include "dshowbase/filter.h"
#include "dshowbase/trace.h"
#include <uuids.h>
#include <new>

DSB_TRACE_CHANNEL(ch, "dshow");

namespace dsb {

namespace {

// Media types offered by a pin, asked from the filter one position at a time.
class TypeEnum : public SimpleUnknown<IEnumMediaTypes, &IID_IEnumMediaTypes> {
public:
    TypeEnum(Pin* pin, ULONG pos) : pin_(pin), pos_(pos) { pin_->AddRef(); }
    virtual ~TypeEnum() { pin_->Release(); }

    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
        if (!types) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        ULONG n = 0;
        AutoLock lock(pin_->Filter()->FilterLock());
        while (n < count) {
            MediaType mt;
            if (pin_->Filter()->PinGetMediaType(pin_, (int)pos_, &mt) != S_OK) break;
            types[n] = CreateMediaType(&mt);
            if (!types[n]) break;
            ++n;
            ++pos_;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        AutoLock lock(pin_->Filter()->FilterLock());
        for (ULONG i = 0; i < count; ++i) {
            MediaType mt;
            if (pin_->Filter()->PinGetMediaType(pin_, (int)pos_, &mt) != S_OK) return S_FALSE;
            ++pos_;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        pos_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) TypeEnum(pin_, pos_);
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    Pin* pin_;
    ULONG pos_;
};

HRESULT AcceptResult(HRESULT hr) { return hr == S_OK ? S_OK : (FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED); }

}  // namespace

// ---------------------------------------------------------------- Pin

Pin::Pin(BaseFilter* filter, PIN_DIRECTION dir, const WCHAR* name) : filter_(filter), dir_(dir) {
    lstrcpynW(name_, name, MAX_PIN_NAME);
}

Pin::~Pin() {
    if (peer_) peer_->Release();
}

HRESULT STDMETHODCALLTYPE Pin::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPin)) {
        *ppv = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    return filter_->PinQueryInterface(this, riid, ppv);
}

ULONG STDMETHODCALLTYPE Pin::AddRef() { return filter_->AddRef(); }
ULONG STDMETHODCALLTYPE Pin::Release() { return filter_->Release(); }

void Pin::SetConnection(IPin* peer, const AM_MEDIA_TYPE* mt) {
    AutoLock conn(connLock_);
    if (peer) peer->AddRef();
    if (peer_) peer_->Release();
    peer_ = peer;
    if (peer) mt_.Set(mt);
    else mt_.Clear();
}

HRESULT STDMETHODCALLTYPE Pin::ConnectedTo(IPin** pin) {
    if (!pin) return E_POINTER;
    AutoLock conn(connLock_);
    *pin = peer_;
    if (!peer_) return VFW_E_NOT_CONNECTED;
    peer_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Pin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    AutoLock conn(connLock_);
    if (!peer_) {
        ZeroMemory(mt, sizeof(*mt));
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(mt, &mt_);
}

HRESULT STDMETHODCALLTYPE Pin::QueryPinInfo(PIN_INFO* info) {
    if (!info) return E_POINTER;
    info->pFilter = filter_;
    filter_->AddRef();
    info->dir = dir_;
    lstrcpynW(info->achName, name_, MAX_PIN_NAME);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Pin::QueryDirection(PIN_DIRECTION* dir) {
    if (!dir) return E_POINTER;
    *dir = dir_;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Pin::QueryId(LPWSTR* id) {
    if (!id) return E_POINTER;
    const int bytes = (lstrlenW(name_) + 1) * sizeof(WCHAR);
    *id = (LPWSTR)CoTaskMemAlloc(bytes);
    if (!*id) return E_OUTOFMEMORY;
    memcpy(*id, name_, bytes);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE Pin::QueryAccept(const AM_MEDIA_TYPE* mt) {
    if (!mt) return E_POINTER;
    AutoLock lock(filter_->FilterLock());
    return filter_->PinCheckMediaType(this, mt) == S_OK ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE Pin::EnumMediaTypes(IEnumMediaTypes** e) {
    if (!e) return E_POINTER;
    *e = new (std::nothrow) TypeEnum(this, 0);
    return *e ? S_OK : E_OUTOFMEMORY;
}

HRESULT STDMETHODCALLTYPE Pin::QueryInternalConnections(IPin** pins, ULONG* count) {
    return filter_->PinQueryInternalConnections(this, pins, count);
}

HRESULT STDMETHODCALLTYPE Pin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    segStart_ = start;
    segStop_ = stop;
    segRate_ = rate;
    return S_OK;
}

// ---------------------------------------------------------------- InputPin

InputPin::InputPin(BaseFilter* filter, const WCHAR* name) : Pin(filter, PINDIR_INPUT, name) {}

InputPin::~InputPin() {
    if (alloc_) alloc_->Release();
}

HRESULT STDMETHODCALLTYPE InputPin::QueryInterface(REFIID riid, void** ppv) {
    if (ppv && IsEqualIID(riid, IID_IMemInputPin)) {
        *ppv = static_cast<IMemInputPin*>(this);
        AddRef();
        return S_OK;
    }
    return Pin::QueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE InputPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) {
    (void)receiver; (void)mt;
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE InputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
    if (!connector || !mt) return E_POINTER;
    AutoLock lock(filter_->FilterLock());
    DSB_TRACE(ch, "pin %s from %p, %s", DebugWide(name_).c_str(), connector, DebugMediaType(mt).c_str());
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION d;
    if (FAILED(connector->QueryDirection(&d)) || d != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    HRESULT hr = AcceptResult(filter_->PinCheckMediaType(this, mt));
    if (FAILED(hr)) return hr;
    SetConnection(connector, mt);
    hr = filter_->PinCompleteConnect(this, connector);
    if (FAILED(hr)) SetConnection(nullptr, nullptr);
    return hr;
}

HRESULT STDMETHODCALLTYPE InputPin::Disconnect() {
    AutoLock lock(filter_->FilterLock());
    if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!peer_) return S_FALSE;
    if (alloc_) {
        alloc_->Release();
        alloc_ = nullptr;
    }
    filter_->PinBreakConnect(this);
    SetConnection(nullptr, nullptr);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPin::EndOfStream() {
    AutoLock lock(filter_->StreamLock());
    if (stopped_) return VFW_E_WRONG_STATE;
    if (flushing_) return S_OK;
    eos_ = true;
    return filter_->PinEndOfStream(this);
}

HRESULT STDMETHODCALLTYPE InputPin::BeginFlush() {
    AutoLock lock(filter_->FilterLock());
    DSB_TRACE(ch, "pin %s", DebugWide(name_).c_str());
    flushing_ = true;
    return filter_->PinBeginFlush(this);
}

HRESULT STDMETHODCALLTYPE InputPin::EndFlush() {
    AutoLock lock(filter_->FilterLock());
    DSB_TRACE(ch, "pin %s", DebugWide(name_).c_str());
    {
        // Let a Receive that started before the flush finish first.
        AutoLock stream(filter_->StreamLock());
        flushing_ = false;
        eos_ = false;
    }
    return filter_->PinEndFlush(this);
}

HRESULT STDMETHODCALLTYPE InputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    AutoLock lock(filter_->StreamLock());
    Pin::NewSegment(start, stop, rate);
    return filter_->PinNewSegment(this, start, stop, rate);
}

HRESULT STDMETHODCALLTYPE InputPin::GetAllocator(IMemAllocator** alloc) {
    if (!alloc) return E_POINTER;
    AutoLock lock(filter_->FilterLock());
    if (!alloc_) {
        alloc_ = CreateMemAllocator();
        if (!alloc_) {
            *alloc = nullptr;
            return E_OUTOFMEMORY;
        }
    }
    *alloc = alloc_;
    alloc_->AddRef();
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPin::NotifyAllocator(IMemAllocator* alloc, BOOL readOnly) {
    if (!alloc) return E_POINTER;
    AutoLock lock(filter_->FilterLock());
    alloc->AddRef();
    if (alloc_) alloc_->Release();
    alloc_ = alloc;
    readOnly_ = readOnly != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE InputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props) {
    (void)props;
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE InputPin::Receive(IMediaSample* sample) {
    if (!sample) return E_POINTER;
    AutoLock lock(filter_->StreamLock());
    if (stopped_) return VFW_E_WRONG_STATE;
    if (flushing_) return S_FALSE;
    if (eos_) return VFW_E_SAMPLE_REJECTED_EOS;
    return filter_->PinReceive(this, sample);
}

HRESULT STDMETHODCALLTYPE InputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* done) {
    if (!samples || !done) return E_POINTER;
    HRESULT hr = S_OK;
    *done = 0;
    while (*done < count) {
        hr = Receive(samples[*done]);
        if (hr != S_OK) break;
        ++*done;
    }
    return hr;
}

HRESULT STDMETHODCALLTYPE InputPin::ReceiveCanBlock() {
    // Blocks when any downstream pin can block; a filter with no connected
    // output is a sink and may block.
    bool any = false;
    for (int i = 0; i < filter_->PinCount(); ++i) {
        Pin* p = filter_->GetPin(i);
        if (p->Direction() != PINDIR_OUTPUT || !p->Peer()) continue;
        any = true;
        IMemInputPin* mi = nullptr;
        if (SUCCEEDED(p->Peer()->QueryInterface(IID_IMemInputPin, (void**)&mi))) {
            const HRESULT hr = mi->ReceiveCanBlock();
            mi->Release();
            if (hr != S_FALSE) return S_OK;
        }
    }
    return any ? S_FALSE : S_OK;
}

HRESULT InputPin::Active() {
    stopped_ = false;
    eos_ = false;
    flushing_ = false;
    return S_OK;
}

HRESULT InputPin::Inactive() {
    stopped_ = true;
    return S_OK;
}

// ---------------------------------------------------------------- OutputPin

OutputPin::OutputPin(BaseFilter* filter, const WCHAR* name) : Pin(filter, PINDIR_OUTPUT, name) {}

OutputPin::~OutputPin() {
    if (alloc_) alloc_->Release();
    if (memInput_) memInput_->Release();
}

HRESULT STDMETHODCALLTYPE OutputPin::Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) {
    if (!receiver) return E_POINTER;
    AutoLock lock(filter_->FilterLock());
    DSB_TRACE(ch, "pin %s to %p, %s", DebugWide(name_).c_str(), receiver, DebugMediaType(mt).c_str());
    if (peer_) return VFW_E_ALREADY_CONNECTED;
    if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION d;
    if (FAILED(receiver->QueryDirection(&d)) || d != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;

    if (mt && !MediaTypeIsPartial(mt)) return TryConnection(receiver, mt);

    // Our own offers first, then the receiver's.
    for (int i = 0;; ++i) {
        MediaType offer;
        if (filter_->PinGetMediaType(this, i, &offer) != S_OK) break;
        if (MediaTypeMatches(&offer, mt) && SUCCEEDED(TryConnection(receiver, &offer))) return S_OK;
    }
    IEnumMediaTypes* e = nullptr;
    if (SUCCEEDED(receiver->EnumMediaTypes(&e))) {
        AM_MEDIA_TYPE* t = nullptr;
        ULONG n = 0;
        while (e->Next(1, &t, &n) == S_OK && n == 1) {
            const bool ok = MediaTypeMatches(t, mt) && SUCCEEDED(TryConnection(receiver, t));
            DeleteMediaType(t);
            if (ok) {
                e->Release();
                return S_OK;
            }
        }
        e->Release();
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT OutputPin::TryConnection(IPin* receiver, const AM_MEDIA_TYPE* mt) {
    HRESULT hr = AcceptResult(filter_->PinCheckMediaType(this, mt));
    if (FAILED(hr)) return hr;
    SetConnection(receiver, mt);
    hr = receiver->ReceiveConnection(this, mt);
    if (FAILED(hr)) {
        DSB_TRACE(ch, "receiver refused: %#lx", (unsigned long)hr);
        SetConnection(nullptr, nullptr);
        return hr;
    }
    hr = receiver->QueryInterface(IID_IMemInputPin, (void**)&memInput_);
    if (SUCCEEDED(hr)) hr = DecideAllocator(memInput_);
    if (SUCCEEDED(hr)) hr = filter_->PinCompleteConnect(this, receiver);
    if (FAILED(hr)) {
        DSB_WARN(ch, "connection failed: %#lx", (unsigned long)hr);
        receiver->Disconnect();
        if (memInput_) memInput_->Release();
        memInput_ = nullptr;
        if (alloc_) alloc_->Release();
        alloc_ = nullptr;
        SetConnection(nullptr, nullptr);
    }
    return hr;
}

HRESULT OutputPin::DecideAllocator(IMemInputPin* input) {
    ALLOCATOR_PROPERTIES props = {};
    if (FAILED(input->GetAllocatorRequirements(&props))) props = ALLOCATOR_PROPERTIES{};
    IMemAllocator* a = nullptr;
    HRESULT hr = input->GetAllocator(&a);
    if (SUCCEEDED(hr)) {
        hr = filter_->PinDecideBufferSize(this, a, &props);
        if (SUCCEEDED(hr)) hr = input->NotifyAllocator(a, FALSE);
        if (SUCCEEDED(hr)) {
            alloc_ = a;
            return S_OK;
        }
        a->Release();
        a = nullptr;
    }
    props = ALLOCATOR_PROPERTIES{};
    if (FAILED(input->GetAllocatorRequirements(&props))) props = ALLOCATOR_PROPERTIES{};
    a = CreateMemAllocator();
    if (!a) return E_OUTOFMEMORY;
    hr = filter_->PinDecideBufferSize(this, a, &props);
    if (SUCCEEDED(hr)) hr = input->NotifyAllocator(a, FALSE);
    if (FAILED(hr)) {
        a->Release();
        return hr;
    }
    alloc_ = a;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OutputPin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) {
    (void)connector; (void)mt;
    return E_UNEXPECTED;
}

HRESULT STDMETHODCALLTYPE OutputPin::Disconnect() {
    AutoLock lock(filter_->FilterLock());
    if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
    if (!peer_) return S_FALSE;
    if (alloc_) {
        alloc_->Decommit();
        alloc_->Release();
        alloc_ = nullptr;
    }
    if (memInput_) {
        memInput_->Release();
        memInput_ = nullptr;
    }
    filter_->PinBreakConnect(this);
    SetConnection(nullptr, nullptr);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE OutputPin::EndOfStream() { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE OutputPin::BeginFlush() { return E_UNEXPECTED; }
HRESULT STDMETHODCALLTYPE OutputPin::EndFlush() { return E_UNEXPECTED; }

HRESULT OutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                     DWORD flags) {
    if (!sample) return E_POINTER;
    *sample = nullptr;
    if (!alloc_) return VFW_E_NOT_CONNECTED;
    return alloc_->GetBuffer(sample, start, stop, flags);
}

HRESULT OutputPin::Deliver(IMediaSample* sample) {
    if (!memInput_) return VFW_E_NOT_CONNECTED;
    return memInput_->Receive(sample);
}

HRESULT OutputPin::DeliverEndOfStream() { return peer_ ? peer_->EndOfStream() : VFW_E_NOT_CONNECTED; }
HRESULT OutputPin::DeliverBeginFlush() { return peer_ ? peer_->BeginFlush() : VFW_E_NOT_CONNECTED; }
HRESULT OutputPin::DeliverEndFlush() { return peer_ ? peer_->EndFlush() : VFW_E_NOT_CONNECTED; }

HRESULT OutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    Pin::NewSegment(start, stop, rate);
    return peer_ ? peer_->NewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

HRESULT OutputPin::Active() { return alloc_ ? alloc_->Commit() : S_OK; }
HRESULT OutputPin::Inactive() { return alloc_ ? alloc_->Decommit() : S_OK; }

}  // namespace dsb
