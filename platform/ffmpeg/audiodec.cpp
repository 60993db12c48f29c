// Audio decoder: our compressed stream in, interleaved 16-bit PCM out at the
// stream's own rate (at most two channels) or any other PCM rate and channel
// count asked by the downstream pin (for example 22050 Hz stereo).
#include "ffshell.h"

#include <vfwmsgs.h>
#include <new>

namespace ffds {

HRESULT AudioDecoderFilter::Create(IUnknown* outer, dsb::ComObject** obj) {
    auto* f = new (std::nothrow) AudioDecoderFilter(outer);
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

HRESULT AudioDecoderFilter::CheckInputType(const AM_MEDIA_TYPE* mt) {
    ffcore::CodecParams p;
    if (!ReadStreamType(mt, &p, nullptr) || p.kind != ffcore::Kind::Audio) return VFW_E_TYPE_NOT_ACCEPTED;
    if (p.sampleRate <= 0 || p.channels <= 0) return VFW_E_TYPE_NOT_ACCEPTED;
    return ffcore::hasDecoder(p.codecId) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AudioDecoderFilter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) {
    ffcore::CodecParams p;
    if (!ReadStreamType(in, &p, nullptr)) return VFW_E_TYPE_NOT_ACCEPTED;
    return ReadPcmType(out, nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT AudioDecoderFilter::GetMediaType(int pos, AM_MEDIA_TYPE* mt) {
    if (!Input()->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (pos < 0) return E_INVALIDARG;
    if (pos > 1) return VFW_S_NO_MORE_ITEMS;
    if (pos == 1) return MakePcmType(22050, 2, 16, mt);  // what the engine records
    return MakePcmType(params_.sampleRate, params_.channels > 2 ? 2 : params_.channels, 16, mt);
}

HRESULT AudioDecoderFilter::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    ffcore::PcmFormat f{44100, 2};
    ReadPcmType(&Output()->CurrentType(), &f);
    ALLOCATOR_PROPERTIES want = *props, got;
    want.cbBuffer = std::max<LONG>(want.cbBuffer, std::max(f.sampleRate * f.channels * 2 / 4, 16384));
    want.cBuffers = std::max<LONG>(want.cBuffers, 8);
    want.cbAlign = std::max<LONG>(want.cbAlign, 1);
    HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < 4096 ? E_FAIL : S_OK;
}

HRESULT AudioDecoderFilter::PinCompleteConnect(dsb::Pin* pin, IPin* peer) {
    dsb::AutoLock lock(StreamLock());
    if (pin == Input()) {
        std::vector<uint8_t> extra;
        if (!ReadStreamType(&pin->CurrentType(), &params_, &extra)) return VFW_E_TYPE_NOT_ACCEPTED;
        std::string err;
        if (!dec_.open(params_, extra, &err)) {
            DSB_WARN(ch, "%s", err.c_str());
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        open_ = true;
        seeking_.SetUpstream(peer);
    } else if (open_) {
        ffcore::PcmFormat f;
        if (ReadPcmType(&pin->CurrentType(), &f)) dec_.setOutput(f);
    }
    return TransformFilter::PinCompleteConnect(pin, peer);
}

HRESULT AudioDecoderFilter::PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) {
    if (pin == Output() && IsEqualIID(riid, IID_IMediaSeeking)) return seeking_.Query(riid, ppv);
    return TransformFilter::PinQueryInterface(pin, riid, ppv);
}

void AudioDecoderFilter::PinBreakConnect(dsb::Pin* pin) {
    if (pin == Input()) {
        seeking_.SetUpstream(nullptr);
        dsb::AutoLock lock(StreamLock());
        dec_.close();
        open_ = false;
    }
    TransformFilter::PinBreakConnect(pin);
}

HRESULT AudioDecoderFilter::DeliverPcm(const uint8_t* data, size_t size, REFERENCE_TIME start) {
    const ffcore::PcmFormat f = dec_.output();
    const size_t frameBytes = size_t(f.channels) * 2;
    size_t done = 0;
    while (done < size) {
        IMediaSample* out = nullptr;
        HRESULT hr = Output()->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* dst = nullptr;
        out->GetPointer(&dst);
        size_t n = std::min(size - done, size_t(out->GetSize()) / frameBytes * frameBytes);
        if (n == 0) {
            out->Release();
            return E_UNEXPECTED;
        }
        memcpy(dst, data + done, n);
        out->SetActualDataLength(LONG(n));
        REFERENCE_TIME a = start + REFERENCE_TIME(done / frameBytes) * 10000000 / f.sampleRate;
        REFERENCE_TIME b = start + REFERENCE_TIME((done + n) / frameBytes) * 10000000 / f.sampleRate;
        out->SetTime(&a, &b);
        out->SetSyncPoint(TRUE);
        out->SetDiscontinuity(discontinuity_ ? TRUE : FALSE);
        discontinuity_ = false;
        hr = Output()->Deliver(out);
        out->Release();
        if (hr != S_OK) return hr;
        done += n;
    }
    return S_OK;
}

HRESULT AudioDecoderFilter::Drain() {
    std::vector<uint8_t> pcm;
    ffcore::RefTime start, stop;
    const ffcore::PcmFormat f = dec_.output();
    const size_t frameBytes = size_t(f.channels) * 2;
    while (dec_.receive(&pcm, &start, &stop)) {
        if (pcm.empty() || stop <= 0) continue;  // wholly before the segment start
        size_t skip = 0;
        if (start < 0) {  // cut the part before the segment start
            skip = size_t((-start) * f.sampleRate / 10000000) * frameBytes;
            if (skip >= pcm.size()) continue;
            start = 0;
        }
        HRESULT hr = DeliverPcm(pcm.data() + skip, pcm.size() - skip, start);
        if (hr != S_OK) return hr;
    }
    return S_OK;
}

HRESULT AudioDecoderFilter::PinReceive(dsb::Pin*, IMediaSample* in) {
    if (!open_) return VFW_E_WRONG_STATE;
    BYTE* data = nullptr;
    if (FAILED(in->GetPointer(&data))) return E_POINTER;
    REFERENCE_TIME a = 0, b = 0;
    HRESULT t = in->GetTime(&a, &b);
    ffcore::RefTime start = (t == S_OK || t == VFW_S_NO_STOP_TIME) ? a : ffcore::kNoTime;
    if (in->IsDiscontinuity() == S_OK) discontinuity_ = true;
    if (!dec_.send(data, size_t(in->GetActualDataLength()), start)) return E_FAIL;
    return Drain();
}

HRESULT AudioDecoderFilter::PinEndOfStream(dsb::Pin* pin) {
    if (open_ && Output()->IsConnected()) {
        dec_.sendEnd();
        Drain();
    }
    return TransformFilter::PinEndOfStream(pin);
}

HRESULT AudioDecoderFilter::PinEndFlush(dsb::Pin* pin) {
    {
        dsb::AutoLock lock(StreamLock());
        dec_.flush();
        discontinuity_ = true;
    }
    return TransformFilter::PinEndFlush(pin);
}

HRESULT AudioDecoderFilter::StopStreaming() {
    dec_.flush();
    discontinuity_ = true;
    ffcore::PcmFormat f;
    if (ReadPcmType(&Output()->CurrentType(), &f)) dec_.setOutput(f);
    return S_OK;
}

}  // namespace ffds
