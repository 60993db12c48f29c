// The source/splitter: one output pin for the main video stream and one for
// the main audio stream, compressed packets in our own stream type.
//
// Each pin has its own streaming thread (the base class); a thread that needs
// a packet reads the file under the demux lock and queues packets of the other
// pin on the way, so the file is read once, in order, whatever pin pulls.
#include "ffshell.h"

#include <vfwmsgs.h>
#include <cstring>
#include <new>

namespace ffds {

// IMediaSeeking of one pin.  Renderers ask for positions from the streaming
// thread at end of stream while Stop may hold the filter lock waiting for
// that thread, so the getters read the segment without the filter lock (the
// values are aligned 64-bit words, changed only by Seek); changes go through
// the base class's Seek and SetRate.
class PinSeeking : public IMediaSeeking {
public:
    PinSeeking(Splitter* f, IPin* pin) : f_(f), pin_(pin) {}
    virtual ~PinSeeking() {}
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
        return f_->GetDuration(d);
    }
    HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* p) override {
        if (!p) return E_POINTER;
        *p = f_->SeekStop();
        LONGLONG d;
        if (*p == 0x7fffffffffffffffLL && f_->GetDuration(&d) == S_OK) *p = d;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG* p) override {
        if (!p) return E_POINTER;
        *p = f_->SeekStart();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG* target, const GUID* tf, LONGLONG source,
                                                const GUID* sf) override {
        if (!target) return E_POINTER;
        if ((tf && !IsEqualGUID(*tf, TIME_FORMAT_MEDIA_TIME)) || (sf && !IsEqualGUID(*sf, TIME_FORMAT_MEDIA_TIME)))
            return E_INVALIDARG;
        *target = source;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* cur, DWORD cf, LONGLONG* stop, DWORD sf) override {
        const DWORD cpos = cf & AM_SEEKING_PositioningBitsMask, spos = sf & AM_SEEKING_PositioningBitsMask;
        if ((cpos && !cur) || (spos && !stop)) return E_POINTER;
        LONGLONG start = f_->SeekStart(), end = f_->SeekStop();
        if (cpos == AM_SEEKING_AbsolutePositioning) start = *cur;
        else if (cpos == AM_SEEKING_RelativePositioning) start += *cur;
        if (spos == AM_SEEKING_AbsolutePositioning) end = *stop;
        else if (spos == AM_SEEKING_RelativePositioning) end += *stop;
        DSB_TRACE(ch, "%p start %s stop %s", this, dsb::DebugTime(start).c_str(), dsb::DebugTime(end).c_str());
        HRESULT hr = f_->Seek(start, end, cpos != 0, spos != 0);
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
        if (l && f_->GetDuration(l) != S_OK) *l = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetRate(double rate) override { return f_->SetRate(rate); }
    HRESULT STDMETHODCALLTYPE GetRate(double* rate) override {
        if (!rate) return E_POINTER;
        *rate = f_->SeekRate();
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
        if (f_->GetDuration(&d) == S_OK) c |= AM_SEEKING_CanGetDuration;
        return c;
    }
    Splitter* f_;
    IPin* pin_;
};

Splitter::~Splitter() {
    for (IMediaSeeking* s : seeking_) delete static_cast<PinSeeking*>(s);
}

HRESULT Splitter::AddPinSeeking(int index) {
    auto* s = new (std::nothrow) PinSeeking(this, static_cast<IPin*>(Stream(index)));
    if (!s) return E_OUTOFMEMORY;
    seeking_.push_back(s);
    return S_OK;
}

HRESULT Splitter::PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) {
    if (IsEqualIID(riid, IID_IMediaSeeking))
        for (int i = 0; i < int(seeking_.size()); ++i)
            if (Stream(i) == pin) {
                *ppv = seeking_[i];
                pin->AddRef();
                return S_OK;
            }
    return FileSourceBase::PinQueryInterface(pin, riid, ppv);
}

HRESULT Splitter::Create(IUnknown* outer, dsb::ComObject** obj) {
    *obj = new (std::nothrow) Splitter(CLSID_FFSource, outer, false);
    return *obj ? S_OK : E_OUTOFMEMORY;
}

// The Windows Media ASF reader stand-in is the same splitter under the class
// identifier the engine creates for .wmv and .asf files.
HRESULT Splitter::CreateAsfReader(IUnknown* outer, dsb::ComObject** obj) {
    *obj = new (std::nothrow) Splitter(CLSID_FFWMAsfReader, outer, false);
    return *obj ? S_OK : E_OUTOFMEMORY;
}

// A source that opens still pictures only.
HRESULT Splitter::CreateStill(IUnknown* outer, dsb::ComObject** obj) {
    *obj = new (std::nothrow) Splitter(CLSID_FFStillSource, outer, true);
    return *obj ? S_OK : E_OUTOFMEMORY;
}

HRESULT Splitter::OpenFile(const std::string& path) {
    std::string err;
    if (!demux_.open(path, &err)) {
        DSB_WARN(ch, "%s", err.c_str());
        return VFW_E_UNSUPPORTED_STREAM;
    }
    if (stillOnly_ && !demux_.isStill()) {
        demux_.close();
        return VFW_E_UNSUPPORTED_STREAM;
    }
    if (demux_.isStill()) {
        demux_.close();
        return OpenStill(path);
    }
    static const WCHAR kVideo[] = {'V', 'i', 'd', 'e', 'o', 0};
    static const WCHAR kAudio[] = {'A', 'u', 'd', 'i', 'o', 0};
    for (int which : {demux_.bestVideo(), demux_.bestAudio()}) {
        if (which < 0) continue;
        const bool video = demux_.streams()[which].params.kind == ffcore::Kind::Video;
        HRESULT hr = AddStream(video ? kVideo : kAudio);
        if (SUCCEEDED(hr)) hr = AddPinSeeking(int(pins_.size()));
        if (FAILED(hr)) return hr;
        PinStream ps;
        ps.stream = which;
        pins_.push_back(std::move(ps));
        DSB_TRACE(ch, "pin %d: stream %d %s", int(pins_.size()) - 1, which,
                  demux_.streams()[which].codecName.c_str());
    }
    return S_OK;
}

HRESULT Splitter::GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) {
    if (still_) return stream == 0 ? StillMediaType(pos, mt) : E_UNEXPECTED;
    if (stream < 0 || stream >= int(pins_.size())) return E_UNEXPECTED;
    if (pos > 0) return VFW_S_NO_MORE_ITEMS;
    return MakeStreamType(demux_.streams()[pins_[stream].stream], mt);
}

HRESULT Splitter::DecideBufferSize(int stream, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    if (still_) return StillBufferSize(alloc, props);
    const ffcore::CodecParams& p = demux_.streams()[pins_[stream].stream].params;
    ALLOCATOR_PROPERTIES want = *props, got;
    if (p.kind == ffcore::Kind::Video) {
        // A compressed picture never exceeds the raw 32-bit picture plus headers.
        want.cbBuffer = std::max<LONG>(want.cbBuffer, LONG(p.width) * p.height * 4 + 65536);
        want.cBuffers = std::max<LONG>(want.cBuffers, 4);
    } else {
        want.cbBuffer = std::max<LONG>(want.cbBuffer, 256 * 1024);
        want.cBuffers = std::max<LONG>(want.cBuffers, 16);
    }
    want.cbAlign = std::max<LONG>(want.cbAlign, 1);
    HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

bool Splitter::NextPacket(int pin, ffcore::Packet* pkt) {
    dsb::AutoLock lock(demuxLock_);
    dirty_ = true;
    std::deque<ffcore::Packet>& q = pins_[pin].queue;
    while (q.empty()) {
        ffcore::Packet p;
        if (!demux_.read(&p)) return false;
        for (size_t i = 0; i < pins_.size(); ++i)
            if (pins_[i].stream == p.stream && Stream(int(i))->IsConnected()) {
                pins_[i].queue.push_back(std::move(p));
                break;
            }
    }
    *pkt = std::move(q.front());
    q.pop_front();
    return true;
}

HRESULT Splitter::FillSample(int pin, IMediaSample* sample) {
    if (still_) return StillFill(sample);
    ffcore::Packet pkt;
    if (!NextPacket(pin, &pkt)) return S_FALSE;  // end of the file
    const REFERENCE_TIME segStart = SeekStart(), segStop = SeekStop();
    if (pkt.start != ffcore::kNoTime && pkt.start >= segStop) return S_FALSE;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    LONG size = sample->GetSize();
    if (LONG(pkt.data.size()) > size) {
        DSB_WARN(ch, "packet of %u bytes does not fit a %ld-byte buffer; cut", unsigned(pkt.data.size()), long(size));
    } else {
        size = LONG(pkt.data.size());
    }
    std::memcpy(data, pkt.data.data(), size);
    sample->SetActualDataLength(size);
    if (pkt.start != ffcore::kNoTime) {
        REFERENCE_TIME s = pkt.start - segStart;
        if (pkt.stop != ffcore::kNoTime) {
            REFERENCE_TIME e = pkt.stop - segStart;
            sample->SetTime(&s, &e);
        } else {
            sample->SetTime(&s, nullptr);
        }
    } else {
        sample->SetTime(nullptr, nullptr);
    }
    sample->SetSyncPoint(pkt.keyframe ? TRUE : FALSE);
    sample->SetDiscontinuity(pins_[pin].discontinuity ? TRUE : FALSE);
    sample->SetPreroll(FALSE);
    pins_[pin].discontinuity = false;
    return S_OK;
}

HRESULT Splitter::OnThreadStart(int pin) {
    InterlockedExchange(&sent_, 0);
    if (still_) return S_OK;
    pins_[pin].discontinuity = true;
    return S_OK;
}

HRESULT Splitter::OnSeek(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    (void)stop;
    (void)rate;
    if (still_) return S_OK;
    dsb::AutoLock lock(demuxLock_);
    DSB_TRACE(ch, "%p to %s", this, dsb::DebugTime(start).c_str());
    for (PinStream& ps : pins_) {
        ps.queue.clear();
        ps.discontinuity = true;
    }
    dirty_ = false;
    return demux_.seek(start) ? S_OK : E_FAIL;
}

// Starting again after a stop replays from the current segment start.
HRESULT Splitter::OnActivate() {
    {
        dsb::AutoLock lock(demuxLock_);
        if (dirty_) {
            for (PinStream& ps : pins_) ps.queue.clear();
            demux_.seek(SeekStart());
            dirty_ = false;
        }
    }
    return SourceFilter::OnActivate();
}

HRESULT Splitter::GetDuration(REFERENCE_TIME* duration) {
    if (still_) {  // a still has no length of its own
        *duration = 0;
        return S_OK;
    }
    if (demux_.duration() == ffcore::kNoTime) return E_NOTIMPL;
    *duration = demux_.duration();
    return S_OK;
}

}  // namespace ffds
