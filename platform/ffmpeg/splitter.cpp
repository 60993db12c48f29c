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
