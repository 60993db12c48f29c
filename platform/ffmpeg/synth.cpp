// Audio synthesizer: an endless PCM tone (or silence at amplitude 0) on one
// output pin, 50 ms per buffer, times continuous from the segment start.
#include "ffshell.h"

#include <cstring>

#include <vfwmsgs.h>
#include <cmath>
#include <new>

namespace ffds {

AudioSynth::AudioSynth(IUnknown* outer) : dsb::SourceFilter(CLSID_FFAudioSynth, outer) {}

HRESULT AudioSynth::Create(IUnknown* outer, dsb::ComObject** obj) {
    auto* f = new (std::nothrow) AudioSynth(outer);
    if (!f) return E_OUTOFMEMORY;
    static const WCHAR kOut[] = {'A', 'u', 'd', 'i', 'o', ' ', 'O', 'u', 't', 'p', 'u', 't', 0};
    HRESULT hr = f->AddStream(kOut);
    if (FAILED(hr)) {
        delete f;
        return hr;
    }
    *obj = f;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE AudioSynth::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IAudioSynthParams)) return GetInterface(static_cast<IAudioSynthParams*>(this), ppv);
    return SourceFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT AudioSynth::Set(int* field, int v, int lo, int hi) {
    DSB_TRACE(ch, "%p %d", this, v);
    if (v < lo || v > hi) return E_INVALIDARG;
    dsb::AutoLock lock(FilterLock());
    if (Stream(0)->IsConnected()) return VFW_E_ALREADY_CONNECTED;
    *field = v;
    return S_OK;
}

// Amplitude may change at any time (it does not change the format).
HRESULT WINAPI AudioSynth::SetAmplitude(int v) {
    if (v < 0 || v > 100) return E_INVALIDARG;
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&amplitude_), v);
    return S_OK;
}
HRESULT WINAPI AudioSynth::SetBitsPerSample(int v) {
    if (v != 8 && v != 16) return E_INVALIDARG;
    return Set(&bits_, v, 8, 16);
}
HRESULT WINAPI AudioSynth::SetChannels(int v) { return Set(&channels_, v, 1, 2); }
HRESULT WINAPI AudioSynth::SetFrequency(int v) {
    if (v < 1 || v > 20000) return E_INVALIDARG;
    InterlockedExchange(reinterpret_cast<volatile LONG*>(&frequency_), v);
    return S_OK;
}
HRESULT WINAPI AudioSynth::SetOutputFormat(int v) { return Set(&format_, v, 0, 0); }
HRESULT WINAPI AudioSynth::SetSamplesPerSec(int v) { return Set(&rate_, v, 8000, 96000); }
HRESULT WINAPI AudioSynth::SetWaveform(int v) { return Set(&waveform_, v, 0, 0); }

HRESULT AudioSynth::GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) {
    if (stream != 0) return E_UNEXPECTED;
    if (pos > 0) return VFW_S_NO_MORE_ITEMS;
    return MakePcmType(rate_, channels_, bits_, mt);
}

HRESULT AudioSynth::DecideBufferSize(int, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    ALLOCATOR_PROPERTIES want = *props, got;
    const LONG bytes50ms = LONG(rate_ / 20) * channels_ * bits_ / 8;
    want.cbBuffer = std::max<LONG>(want.cbBuffer, bytes50ms);
    want.cBuffers = std::max<LONG>(want.cBuffers, 4);
    want.cbAlign = std::max<LONG>(want.cbAlign, 1);
    HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < bytes50ms ? E_FAIL : S_OK;
}

HRESULT AudioSynth::OnThreadStart(int) {
    samplesSent_ = 0;
    return S_OK;
}

HRESULT AudioSynth::OnSeek(REFERENCE_TIME, REFERENCE_TIME, double) {
    samplesSent_ = 0;
    return S_OK;
}

HRESULT AudioSynth::FillSample(int, IMediaSample* sample) {
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    const int frames = rate_ / 20;
    const int frameBytes = channels_ * bits_ / 8;
    if (sample->GetSize() < frames * frameBytes) return E_UNEXPECTED;
    const double amp = amplitude_ / 100.0;
    const double step = 2.0 * 3.14159265358979323846 * frequency_ / rate_;
    if (amplitude_ == 0) {
        // Silence (what a channel without sound plays): no wave to compute.
        std::memset(data, bits_ == 16 ? 0 : 128, size_t(frames) * frameBytes);
    }
    for (int i = 0; amplitude_ != 0 && i < frames; ++i) {
        const double v = amp * std::sin(step * double((samplesSent_ + i) % rate_));
        for (int c = 0; c < channels_; ++c) {
            if (bits_ == 16) {
                reinterpret_cast<int16_t*>(data)[i * channels_ + c] = int16_t(std::lrint(v * 32767.0));
            } else {
                data[i * channels_ + c] = uint8_t(128 + std::lrint(v * 127.0));
            }
        }
    }
    REFERENCE_TIME a = samplesSent_ * 10000000 / rate_;
    samplesSent_ += frames;
    REFERENCE_TIME b = samplesSent_ * 10000000 / rate_;
    sample->SetActualDataLength(frames * frameBytes);
    sample->SetTime(&a, &b);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(a == 0 ? TRUE : FALSE);
    return S_OK;
}

}  // namespace ffds
