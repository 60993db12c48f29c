// PCM format converter registered under the ACM wrapper's class id.  The
// engine connects a decoder's PCM to it and sets 16-bit stereo 22050 Hz on
// its output pin through IAMStreamConfig; Wine's own wrapper refuses PCM in.
#include "ffshell.h"

#include <vfwmsgs.h>
#include <cstring>
#include <new>

namespace ffds {

HRESULT PcmConverterFilter::Create(IUnknown* outer, dsb::ComObject** obj) {
    auto* f = new (std::nothrow) PcmConverterFilter(outer);
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

HRESULT PcmConverterFilter::CheckInputType(const AM_MEDIA_TYPE* mt) {
    return ReadAnyPcmType(mt, nullptr, nullptr) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT PcmConverterFilter::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) {
    if (!ReadAnyPcmType(in, nullptr, nullptr)) return VFW_E_TYPE_NOT_ACCEPTED;
    ffcore::PcmFormat f;
    if (!ReadPcmType(out, &f)) return VFW_E_TYPE_NOT_ACCEPTED;
    if (haveWanted_ && (f.sampleRate != wanted_.sampleRate || f.channels != wanted_.channels))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

// The wanted format first, then the input's own rate and channels in 16 bits.
HRESULT PcmConverterFilter::GetMediaType(int pos, AM_MEDIA_TYPE* mt) {
    if (!Input()->IsConnected()) return VFW_E_NOT_CONNECTED;
    if (pos < 0) return E_INVALIDARG;
    ffcore::PcmFormat in;
    ReadAnyPcmType(&Input()->CurrentType(), &in, nullptr);
    if (haveWanted_) {
        if (pos > 0) return VFW_S_NO_MORE_ITEMS;
        return MakePcmType(wanted_.sampleRate, wanted_.channels, 16, mt);
    }
    if (pos > 0) return VFW_S_NO_MORE_ITEMS;
    return MakePcmType(in.sampleRate, in.channels, 16, mt);
}

HRESULT PcmConverterFilter::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
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

HRESULT PcmConverterFilter::PinCompleteConnect(dsb::Pin* pin, IPin* peer) {
    if (pin == Input()) seeking_.SetUpstream(peer);
    return TransformFilter::PinCompleteConnect(pin, peer);
}

void PcmConverterFilter::PinBreakConnect(dsb::Pin* pin) {
    if (pin == Input()) seeking_.SetUpstream(nullptr);
    TransformFilter::PinBreakConnect(pin);
}

HRESULT PcmConverterFilter::PinQueryInterface(dsb::Pin* pin, REFIID riid, void** ppv) {
    if (pin == Output()) {
        if (IsEqualIID(riid, IID_IMediaSeeking)) return seeking_.Query(riid, ppv);
        if (IsEqualIID(riid, IID_IAMStreamConfig)) {
            *ppv = static_cast<IAMStreamConfig*>(&config_);
            pin->AddRef();
            return S_OK;
        }
    }
    return TransformFilter::PinQueryInterface(pin, riid, ppv);
}

HRESULT PcmConverterFilter::StartStreaming() {
    ffcore::PcmFormat in;
    int bits = 16;
    if (!ReadAnyPcmType(&Input()->CurrentType(), &in, &bits) || !ReadPcmType(&Output()->CurrentType(), &out_))
        return VFW_E_NOT_CONNECTED;
    if (!conv_.open(in, bits, out_)) return E_FAIL;
    restart_ = true;
    return S_OK;
}

HRESULT PcmConverterFilter::StopStreaming() {
    conv_.close();
    return S_OK;
}

HRESULT PcmConverterFilter::Deliver(const std::vector<uint8_t>& pcm) {
    const size_t frameBytes = size_t(out_.channels) * 2;
    size_t done = 0;
    while (done < pcm.size()) {
        IMediaSample* out = nullptr;
        HRESULT hr = Output()->GetDeliveryBuffer(&out, nullptr, nullptr, 0);
        if (FAILED(hr)) return hr;
        BYTE* dst = nullptr;
        out->GetPointer(&dst);
        size_t n = std::min(pcm.size() - done, size_t(out->GetSize()) / frameBytes * frameBytes);
        if (!n) {
            out->Release();
            return E_UNEXPECTED;
        }
        memcpy(dst, pcm.data() + done, n);
        out->SetActualDataLength(LONG(n));
        REFERENCE_TIME a = base_ + samplesOut_ * 10000000 / out_.sampleRate;
        // The first block after a start, a flush or a gap starts a new run.
        const bool first = samplesOut_ == 0;
        samplesOut_ += int64_t(n / frameBytes);
        REFERENCE_TIME b = base_ + samplesOut_ * 10000000 / out_.sampleRate;
        out->SetTime(&a, &b);
        out->SetSyncPoint(TRUE);
        out->SetDiscontinuity(first ? TRUE : FALSE);
        hr = Output()->Deliver(out);
        out->Release();
        if (hr != S_OK) return hr;
        done += n;
    }
    return S_OK;
}

HRESULT PcmConverterFilter::PinReceive(dsb::Pin*, IMediaSample* in) {
    if (!Output()->IsConnected()) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(in->GetPointer(&data))) return E_POINTER;
    REFERENCE_TIME a = 0, b = 0;
    HRESULT t = in->GetTime(&a, &b);
    // Times count on from the first input after a start, a flush or a gap
    // marked as discontinuity, so rounding never drifts.
    if ((restart_ || in->IsDiscontinuity() == S_OK) && (t == S_OK || t == VFW_S_NO_STOP_TIME)) {
        base_ = a;
        samplesOut_ = 0;
        restart_ = false;
    }
    std::vector<uint8_t> pcm;
    if (!conv_.convert(data, size_t(in->GetActualDataLength()), &pcm)) return E_FAIL;
    return Deliver(pcm);
}

HRESULT PcmConverterFilter::PinEndOfStream(dsb::Pin* pin) {
    if (Output()->IsConnected()) {
        std::vector<uint8_t> pcm;
        if (conv_.drain(&pcm)) Deliver(pcm);
    }
    return TransformFilter::PinEndOfStream(pin);
}

HRESULT PcmConverterFilter::PinEndFlush(dsb::Pin* pin) {
    {
        dsb::AutoLock lock(StreamLock());
        conv_.flush();
        restart_ = true;
    }
    return TransformFilter::PinEndFlush(pin);
}

HRESULT PcmConverterFilter::SetWanted(const AM_MEDIA_TYPE* mt) {
    ffcore::PcmFormat f;
    if (!ReadPcmType(mt, &f)) return VFW_E_INVALIDMEDIATYPE;
    dsb::AutoLock lock(FilterLock());
    if (State() != State_Stopped) return VFW_E_NOT_STOPPED;
    const bool had = haveWanted_;
    const ffcore::PcmFormat old = wanted_;
    haveWanted_ = true;
    wanted_ = f;
    if (!Output()->IsConnected()) return S_OK;
    ffcore::PcmFormat cur;
    if (ReadPcmType(&Output()->CurrentType(), &cur) && cur.sampleRate == f.sampleRate && cur.channels == f.channels)
        return S_OK;
    // Connected in another format: connect again in the new one.
    IPin* peer = Output()->Peer();
    peer->AddRef();
    dsb::MediaType previous;
    previous.Set(&Output()->CurrentType());
    Output()->Disconnect();
    peer->Disconnect();
    AM_MEDIA_TYPE want;
    MakePcmType(f.sampleRate, f.channels, 16, &want);
    HRESULT hr = Output()->Connect(peer, &want);
    dsb::FreeMediaType(&want);
    if (FAILED(hr)) {  // keep the old connection and the old wish
        haveWanted_ = had;
        wanted_ = old;
        Output()->Connect(peer, &previous);
    }
    peer->Release();
    return hr;
}

HRESULT PcmConverterFilter::CurrentFormat(AM_MEDIA_TYPE* mt) {
    dsb::AutoLock lock(FilterLock());
    if (Output()->IsConnected()) return dsb::CopyMediaType(mt, &Output()->CurrentType());
    return GetMediaType(0, mt);
}

// ---- IAMStreamConfig (its IUnknown is the output pin's) ----
HRESULT STDMETHODCALLTYPE PcmStreamConfig::QueryInterface(REFIID riid, void** ppv) {
    return static_cast<IPin*>(f_->Output())->QueryInterface(riid, ppv);
}
ULONG STDMETHODCALLTYPE PcmStreamConfig::AddRef() { return static_cast<IPin*>(f_->Output())->AddRef(); }
ULONG STDMETHODCALLTYPE PcmStreamConfig::Release() { return static_cast<IPin*>(f_->Output())->Release(); }

HRESULT STDMETHODCALLTYPE PcmStreamConfig::SetFormat(AM_MEDIA_TYPE* mt) {
    DSB_TRACE(ch, "%p %s", this, dsb::DebugMediaType(mt).c_str());
    if (!mt) return E_POINTER;
    return f_->SetWanted(mt);
}

HRESULT STDMETHODCALLTYPE PcmStreamConfig::GetFormat(AM_MEDIA_TYPE** mt) {
    if (!mt) return E_POINTER;
    *mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!*mt) return E_OUTOFMEMORY;
    std::memset(*mt, 0, sizeof **mt);
    HRESULT hr = f_->CurrentFormat(*mt);
    if (hr != S_OK) {
        CoTaskMemFree(*mt);
        *mt = nullptr;
        return FAILED(hr) ? hr : VFW_E_NOT_CONNECTED;
    }
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PcmStreamConfig::GetNumberOfCapabilities(int* count, int* size) {
    if (!count || !size) return E_POINTER;
    *count = 1;
    *size = sizeof(AUDIO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE PcmStreamConfig::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) {
    if (!mt || !caps) return E_POINTER;
    if (index != 0) return S_FALSE;
    *mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (!*mt) return E_OUTOFMEMORY;
    HRESULT hr = MakePcmType(22050, 2, 16, *mt);
    if (FAILED(hr)) {
        CoTaskMemFree(*mt);
        *mt = nullptr;
        return hr;
    }
    auto* c = reinterpret_cast<AUDIO_STREAM_CONFIG_CAPS*>(caps);
    std::memset(c, 0, sizeof *c);
    c->guid = MEDIATYPE_Audio;
    c->MinimumChannels = 1;
    c->MaximumChannels = 2;
    c->ChannelsGranularity = 1;
    c->MinimumBitsPerSample = 16;
    c->MaximumBitsPerSample = 16;
    c->BitsPerSampleGranularity = 1;
    c->MinimumSampleFrequency = 8000;
    c->MaximumSampleFrequency = 192000;
    c->SampleFrequencyGranularity = 1;
    return S_OK;
}

}  // namespace ffds
