// The DV splitter (an interleaved DV stream in; the DV picture stream and the
// frame's sound as PCM out) and the DV video decoder (DV pictures in, RGB24
// or RGB32 out), over FFmpeg.  Wine has neither; a PC's are found by
// intelligent connect the same way, under the same class ids and names.
#include "capdevs.h"
#include "dvcodec.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>

namespace capdevs {

namespace {

const WCHAR kIn[] = {'I', 'n', 'p', 'u', 't', 0};
const WCHAR kOut[] = {'O', 'u', 't', 'p', 'u', 't', 0};
const WCHAR kVidOut[] = {'D', 'V', 'V', 'i', 'd', 'O', 'u', 't', '0', 0};
const WCHAR kAudOut[] = {'A', 'u', 'd', 'O', 'u', 't', '0', '0', 0};

LONG Stride(int w, int bits) { return ((w * bits / 8) + 3) & ~3; }

bool IsDv(const AM_MEDIA_TYPE* mt, const GUID& major) {
    return mt && IsEqualGUID(mt->majortype, major) &&
           (IsEqualGUID(mt->subtype, MEDIASUBTYPE_dvsd) || IsEqualGUID(mt->subtype, MEDIASUBTYPE_DVSD));
}

// What the splitter takes: the interleaved stream, or a device's DV video
// stream ("DVSD"), whose frames carry their sound just the same.  Its own
// picture output is "dvsd", which only the decoder takes.
bool SplitterTakes(const AM_MEDIA_TYPE* mt) {
    return IsDv(mt, MEDIATYPE_Interleaved) ||
           (mt && IsEqualGUID(mt->majortype, MEDIATYPE_Video) && IsEqualGUID(mt->subtype, MEDIASUBTYPE_DVSD));
}

// The DV picture stream as the splitter's video pin offers it.
HRESULT MakeDvVideo(AM_MEDIA_TYPE* mt) {
    ZeroMemory(mt, sizeof(*mt));
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!vih) return E_OUTOFMEMORY;
    ZeroMemory(vih, sizeof(*vih));
    vih->AvgTimePerFrame = 400000;
    vih->dwBitRate = kDvFrameBytes * 8 * 25;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = kDvWidth;
    vih->bmiHeader.biHeight = kDvHeight;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = MAKEFOURCC('d', 'v', 's', 'd');
    vih->bmiHeader.biSizeImage = kDvFrameBytes;
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_dvsd;
    mt->formattype = FORMAT_VideoInfo;
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = kDvFrameBytes;
    mt->cbFormat = sizeof(VIDEOINFOHEADER);
    mt->pbFormat = reinterpret_cast<BYTE*>(vih);
    return S_OK;
}

HRESULT MakeDvSound(AM_MEDIA_TYPE* mt) {
    ZeroMemory(mt, sizeof(*mt));
    auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!wf) return E_OUTOFMEMORY;
    ZeroMemory(wf, sizeof(*wf));
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = 2;
    wf->nSamplesPerSec = kDvRate;
    wf->wBitsPerSample = 16;
    wf->nBlockAlign = 4;
    wf->nAvgBytesPerSec = kDvRate * 4;
    mt->majortype = MEDIATYPE_Audio;
    mt->subtype = MEDIASUBTYPE_PCM;
    mt->formattype = FORMAT_WaveFormatEx;
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = 4;
    mt->cbFormat = sizeof(WAVEFORMATEX);
    mt->pbFormat = reinterpret_cast<BYTE*>(wf);
    return S_OK;
}

HRESULT SetBuffers(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props, LONG size, LONG count) {
    ALLOCATOR_PROPERTIES want = *props, got;
    want.cbBuffer = std::max(want.cbBuffer, size);
    want.cBuffers = std::max(want.cBuffers, count);
    want.cbAlign = std::max(want.cbAlign, (LONG)1);
    HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

// ---- DV splitter ----

class DvSplitter : public dsb::BaseFilter {
public:
    explicit DvSplitter(IUnknown* outer) : dsb::BaseFilter(CLSID_DVSplitter, outer) {}
    HRESULT Start() {
        input_ = new (std::nothrow) dsb::InputPin(this, kIn);
        video_ = new (std::nothrow) dsb::OutputPin(this, kVidOut);
        audio_ = new (std::nothrow) dsb::OutputPin(this, kAudOut);
        if (!input_ || !video_ || !audio_) {
            delete input_;
            delete video_;
            delete audio_;
            return E_OUTOFMEMORY;
        }
        AddPin(input_);
        AddPin(video_);
        AddPin(audio_);
        return S_OK;
    }

    HRESULT PinCheckMediaType(dsb::Pin* pin, const AM_MEDIA_TYPE* mt) override {
        if (pin == input_) return SplitterTakes(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
        if (pin == video_)
            return mt && IsEqualGUID(mt->majortype, MEDIATYPE_Video) && IsEqualGUID(mt->subtype, MEDIASUBTYPE_dvsd)
                       ? S_OK
                       : VFW_E_TYPE_NOT_ACCEPTED;
        if (!mt || !IsEqualGUID(mt->majortype, MEDIATYPE_Audio) || !IsEqualGUID(mt->subtype, MEDIASUBTYPE_PCM) ||
            !IsEqualGUID(mt->formattype, FORMAT_WaveFormatEx) || !mt->pbFormat || mt->cbFormat < sizeof(PCMWAVEFORMAT))
            return VFW_E_TYPE_NOT_ACCEPTED;
        const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
        return wf->nSamplesPerSec == (DWORD)kDvRate && wf->nChannels == 2 && wf->wBitsPerSample == 16
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT PinGetMediaType(dsb::Pin* pin, int pos, AM_MEDIA_TYPE* mt) override {
        if (pos < 0) return E_INVALIDARG;
        if (pos > 0) return VFW_S_NO_MORE_ITEMS;
        if (pin == input_) return VFW_S_NO_MORE_ITEMS;
        if (!input_->IsConnected()) return VFW_E_NOT_CONNECTED;
        return pin == video_ ? MakeDvVideo(mt) : MakeDvSound(mt);
    }
    HRESULT PinDecideBufferSize(dsb::Pin* pin, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override {
        // Sound: one frame's samples, with room for the 44.1 kHz frames' share.
        return pin == video_ ? SetBuffers(alloc, props, kDvFrameBytes, 4) : SetBuffers(alloc, props, 8192, 8);
    }
    HRESULT PinReceive(dsb::Pin*, IMediaSample* sample) override {
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || !data) return S_OK;
        const LONG size = sample->GetActualDataLength();
        if (size < kDvFrameBytes) return S_OK;   // not a whole frame: passed over
        REFERENCE_TIME start = 0, stop = 0;
        const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
        if (video_->IsConnected()) {
            IMediaSample* out = nullptr;
            if (SUCCEEDED(video_->GetDeliveryBuffer(&out, nullptr, nullptr, 0))) {
                BYTE* dst = nullptr;
                out->GetPointer(&dst);
                if (dst && out->GetSize() >= kDvFrameBytes) {
                    memcpy(dst, data, kDvFrameBytes);
                    out->SetActualDataLength(kDvFrameBytes);
                    out->SetTime(timed ? &start : nullptr, timed ? &stop : nullptr);
                    out->SetSyncPoint(TRUE);
                    out->SetDiscontinuity(sample->IsDiscontinuity() == S_OK);
                    video_->Deliver(out);
                }
                out->Release();
            }
        }
        if (audio_->IsConnected()) {
            std::vector<int16_t> pcm;
            int rate = 0, channels = 0;
            if (sound_.Sound(data, size, &pcm, &rate, &channels) && rate == kDvRate && channels == 2) {
                IMediaSample* out = nullptr;
                if (SUCCEEDED(audio_->GetDeliveryBuffer(&out, nullptr, nullptr, 0))) {
                    BYTE* dst = nullptr;
                    out->GetPointer(&dst);
                    const LONG bytes = std::min((LONG)(pcm.size() * 2), out->GetSize());
                    if (dst && bytes > 0) {
                        memcpy(dst, pcm.data(), (size_t)bytes);
                        out->SetActualDataLength(bytes);
                        out->SetTime(timed ? &start : nullptr, timed ? &stop : nullptr);
                        out->SetSyncPoint(TRUE);
                        audio_->Deliver(out);
                    }
                    out->Release();
                }
            }
        }
        return S_OK;
    }

private:
    dsb::InputPin* input_ = nullptr;
    dsb::OutputPin* video_ = nullptr;
    dsb::OutputPin* audio_ = nullptr;
    DvDecoder sound_;   // streaming thread
};

// ---- DV video decoder ----

std::atomic<LONG> g_decoders{0};

bool ReadOutput(const AM_MEDIA_TYPE* mt, int* w, int* h, int* bits) {
    if (!mt || !IsEqualGUID(mt->majortype, MEDIATYPE_Video) || !IsEqualGUID(mt->formattype, FORMAT_VideoInfo) ||
        !mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const BITMAPINFOHEADER& b = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    const int n = IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24) ? 24 : IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB32) ? 32 : 0;
    if (!n || b.biBitCount != n || b.biCompression != BI_RGB || b.biWidth <= 0 || b.biHeight <= 0 ||
        b.biWidth > 4096 || b.biHeight > 4096)
        return false;
    *w = b.biWidth;
    *h = b.biHeight;
    *bits = n;
    return true;
}

class DvVideoDecoder : public dsb::TransformFilter {
public:
    explicit DvVideoDecoder(IUnknown* outer)
        : dsb::TransformFilter(CLSID_DVVideoCodec, outer), serial_(++g_decoders) {}
    HRESULT Start() { return CreatePins(kIn, kOut); }

    // Each decoder says which one it is, so a graph's owner can tell a
    // replacement from the decoder rendering put in.
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override {
        if (!info) return E_POINTER;
        char text[64];
        snprintf(text, sizeof(text), "DV Video Decoder #%ld", (long)serial_);
        const size_t n = strlen(text) + 1;
        *info = static_cast<LPWSTR>(CoTaskMemAlloc(n * sizeof(WCHAR)));
        if (!*info) return E_OUTOFMEMORY;
        for (size_t i = 0; i < n; i++) (*info)[i] = (WCHAR)text[i];
        return S_OK;
    }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override {
        return IsDv(mt, MEDIATYPE_Video) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override {
        int w, h, b;
        return IsDv(in, MEDIATYPE_Video) && ReadOutput(out, &w, &h, &b) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) override {
        if (!Input()->IsConnected()) return VFW_E_NOT_CONNECTED;
        if (pos < 0) return E_INVALIDARG;
        if (pos > 1) return VFW_S_NO_MORE_ITEMS;
        const int bits = pos == 0 ? 24 : 32;
        ZeroMemory(mt, sizeof(*mt));
        auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        if (!vih) return E_OUTOFMEMORY;
        ZeroMemory(vih, sizeof(*vih));
        vih->AvgTimePerFrame = 400000;
        vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih->bmiHeader.biWidth = kDvWidth;
        vih->bmiHeader.biHeight = kDvHeight;
        vih->bmiHeader.biPlanes = 1;
        vih->bmiHeader.biBitCount = (WORD)bits;
        vih->bmiHeader.biCompression = BI_RGB;
        vih->bmiHeader.biSizeImage = Stride(kDvWidth, bits) * kDvHeight;
        mt->majortype = MEDIATYPE_Video;
        mt->subtype = bits == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
        mt->formattype = FORMAT_VideoInfo;
        mt->bFixedSizeSamples = TRUE;
        mt->lSampleSize = vih->bmiHeader.biSizeImage;
        mt->cbFormat = sizeof(VIDEOINFOHEADER);
        mt->pbFormat = reinterpret_cast<BYTE*>(vih);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override {
        int w, h, b;
        if (!ReadOutput(&Output()->CurrentType(), &w, &h, &b)) return E_UNEXPECTED;
        return SetBuffers(alloc, props, Stride(w, b) * h, 2);
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
        int w, h, b;
        if (!ReadOutput(&Output()->CurrentType(), &w, &h, &b)) return E_UNEXPECTED;
        BYTE *src = nullptr, *dst = nullptr;
        in->GetPointer(&src);
        out->GetPointer(&dst);
        const LONG need = Stride(w, b) * h;
        if (!src || !dst || out->GetSize() < need) return E_UNEXPECTED;
        if (!decoder_.Picture(src, in->GetActualDataLength(), dst, w, h, b / 8)) return S_FALSE;
        out->SetActualDataLength(need);
        REFERENCE_TIME start, stop;
        if (SUCCEEDED(in->GetTime(&start, &stop))) out->SetTime(&start, &stop);
        out->SetSyncPoint(TRUE);
        out->SetDiscontinuity(in->IsDiscontinuity() == S_OK);
        return S_OK;
    }

private:
    LONG serial_;
    DvDecoder decoder_;   // streaming thread
};

}  // namespace

HRESULT CreateDvSplitter(IUnknown* outer, dsb::ComObject** obj) { return CreateStarted<DvSplitter>(outer, obj); }

HRESULT CreateDvVideoDecoder(IUnknown* outer, dsb::ComObject** obj) { return CreateStarted<DvVideoDecoder>(outer, obj); }

}  // namespace capdevs
