// Video decoder: our compressed stream in, bottom-up RGB24 or RGB32 out.
// One packet may give no picture (decoder delay) or several; each picture
// takes its own output buffer.  Pictures before the segment start (decoded
// from the keyframe before a seek target) are dropped.
#include "ffshell.h"

#include <vfwmsgs.h>
#include <new>

namespace ffds {

HRESULT VideoDecoderFilter::Create(IUnknown* outer, dsb::ComObject** obj) {
    return Finish(new (std::nothrow) VideoDecoderFilter(outer), obj);
}

HRESULT VideoDecoderFilter::Finish(VideoDecoderFilter* f, dsb::ComObject** obj) {
    if (!f) return E_OUTOFMEMORY;
    static const WCHAR kIn[] = {'I', 'n', 'p', 'u', 't', 0};
    static const WCHAR kOut[] = {'O', 'u', 't', 'p', 'u', 't', 0};
    HRESULT hr = f->CreatePins(kIn, kOut);
    if (SUCCEEDED(hr)) hr = f->seeking_.Init(static_cast<IPin*>(f->Output()));
    if (FAILED(hr)) {
        delete f;
        return hr;
    }
    *obj = f;
    return S_OK;
}

HRESULT VideoDecoderFilter::CheckInputType(const AM_MEDIA_TYPE* mt) {
    ffcore::CodecParams p;
    if (!ReadStreamType(mt, &p, nullptr) || p.kind != ffcore::Kind::Video) return VFW_E_TYPE_NOT_ACCEPTED;
    if (p.width <= 0 || p.height <= 0 || p.width > 16384 || p.height > 16384) return VFW_E_TYPE_NOT_ACCEPTED;
    return AcceptsCodec(p.codecId) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT VideoDecoderFilter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) {
    ffcore::CodecParams p;
    if (!ReadStreamType(in, &p, nullptr)) return VFW_E_TYPE_NOT_ACCEPTED;
    return ReadRgbType(out, p.width, p.height, nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT VideoDecoderFilter::GetMediaType(int pos, AM_MEDIA_TYPE* mt) {
    if (!Input()->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (pos < 0) return E_INVALIDARG;
    if (pos > 1) return VFW_S_NO_MORE_ITEMS;
    // RGB24 first: the engine's grabber and colour filter work in RGB24.
    return MakeRgbType(params_.width, params_.height, pos == 0 ? ffcore::PixelOut::BGR24 : ffcore::PixelOut::BGRA32,
                       ffcore::frameLength(params_.frameRate), mt);
}

HRESULT VideoDecoderFilter::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    ffcore::PixelOut f = ffcore::PixelOut::BGR24;
    ReadRgbType(&Output()->CurrentType(), params_.width, params_.height, &f);
    ALLOCATOR_PROPERTIES want = *props, got;
    want.cbBuffer = std::max<LONG>(want.cbBuffer, LONG(ffcore::dibStride(params_.width, f)) * params_.height);
    want.cBuffers = std::max<LONG>(want.cBuffers, 3);
    want.cbAlign = std::max<LONG>(want.cbAlign, 1);
    HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

HRESULT VideoDecoderFilter::PinCompleteConnect(dsb::Pin* pin, IPin* peer) {
    if (pin == Input()) {
        std::vector<uint8_t> extra;
        if (!ReadStreamType(&pin->CurrentType(), &params_, &extra)) return VFW_E_TYPE_NOT_ACCEPTED;
        std::string err;
        dsb::AutoLock lock(StreamLock());
        if (!dec_.open(params_, extra, &err)) {
            DSB_WARN(ch, "%s", err.c_str());
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        open_ = true;
        seeking_.SetUpstream(peer);
    }
    return TransformFilter::PinCompleteConnect(pin, peer);
}

HRESULT VideoDecoderFilter::PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) {
    if (pin == Output() && IsEqualIID(riid, IID_IMediaSeeking)) return seeking_.Query(riid, ppv);
    return TransformFilter::PinQueryInterface(pin, riid, ppv);
}

void VideoDecoderFilter::PinBreakConnect(dsb::Pin* pin) {
    if (pin == Input()) {
        seeking_.SetUpstream(nullptr);
        dsb::AutoLock lock(StreamLock());
        dec_.close();
        open_ = false;
    }
    TransformFilter::PinBreakConnect(pin);
}

static void ReadTimes(IMediaSample* s, ffcore::RefTime* start, ffcore::RefTime* stop) {
    REFERENCE_TIME a = 0, b = 0;
    HRESULT hr = s->GetTime(&a, &b);
    *start = *stop = ffcore::kNoTime;
    if (hr == S_OK) {
        *start = a;
        *stop = b;
    } else if (hr == VFW_S_NO_STOP_TIME) {
        *start = a;
    }
}

HRESULT VideoDecoderFilter::Drain() {
    ffcore::PixelOut f;
    const int w = params_.width, h = params_.height;
    if (!ReadRgbType(&Output()->CurrentType(), w, h, &f)) return VFW_E_NOT_CONNECTED;
    ffcore::RefTime start, stop;
    while (dec_.pull(&start, &stop)) {
        // Before the segment start, or untimed before the first timed picture
        // since a flush (it cannot be placed against the seek target).
        if ((start != ffcore::kNoTime && start < 0) || (start == ffcore::kNoTime && !timed_)) {
            dec_.drop();
            continue;
        }
        timed_ = true;
        IMediaSample* out = nullptr;
        HRESULT hr = Output()->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
        if (FAILED(hr)) {
            dec_.drop();
            return hr;
        }
        BYTE* data = nullptr;
        out->GetPointer(&data);
        const LONG need = LONG(ffcore::dibStride(w, f)) * h;
        if (out->GetSize() < need || !dec_.convert(f, w, h, data)) {
            dec_.drop();
            out->Release();
            return E_UNEXPECTED;
        }
        out->SetActualDataLength(need);
        if (start != ffcore::kNoTime) {
            REFERENCE_TIME a = start, b = stop;
            out->SetTime(&a, &b);
        }
        out->SetSyncPoint(TRUE);
        out->SetPreroll(FALSE);
        out->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
        discontinuity_ = false;
        hr = Output()->Deliver(out);
        out->Release();
        if (hr != S_OK) return hr;
    }
    return S_OK;
}

HRESULT VideoDecoderFilter::PinReceive(dsb::Pin*, IMediaSample* in) {
    if (!open_) return VFW_E_WRONG_STATE;
    BYTE* data = nullptr;
    if (FAILED(in->GetPointer(&data))) return E_POINTER;
    ffcore::RefTime start, stop;
    ReadTimes(in, &start, &stop);
    if (in->IsDiscontinuity() == S_OK) discontinuity_ = true;
    if (!dec_.send(data, size_t(in->GetActualDataLength()), start, stop)) return E_FAIL;
    return Drain();
}

HRESULT VideoDecoderFilter::PinEndOfStream(dsb::Pin* pin) {
    if (open_ && Output()->IsConnected()) {
        dec_.sendEnd();
        Drain();
    }
    return TransformFilter::PinEndOfStream(pin);
}

HRESULT VideoDecoderFilter::PinEndFlush(dsb::Pin* pin) {
    {
        dsb::AutoLock lock(StreamLock());
        dec_.flush();
        timed_ = false;
        discontinuity_ = true;
    }
    return TransformFilter::PinEndFlush(pin);
}

HRESULT VideoDecoderFilter::StopStreaming() {
    dec_.flush();
    timed_ = false;
    discontinuity_ = true;
    return S_OK;
}

}  // namespace ffds
