// The test-pattern camera and the tone microphone.
#include "capdevs.h"
#include "ext_device.h"
#include "dvcodec.h"
#include "dialogs.h"

#include <cmath>
#include <new>

namespace capdevs {

namespace {

const WCHAR kCapture[] = {'C', 'a', 'p', 't', 'u', 'r', 'e', 0};

// ---- camera ----

struct Size { int w, h; };
const Size kSizes[] = {{320, 240}, {640, 480}, {160, 120}, {720, 576}};
const REFERENCE_TIME kFrame = 400000;   // 25 pictures a second

LONG Stride(int w) { return (w * 3 + 3) & ~3; }

HRESULT MakeVideo(int w, int h, AM_MEDIA_TYPE* mt) {
    ZeroMemory(mt, sizeof(*mt));
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!vih) return E_OUTOFMEMORY;
    ZeroMemory(vih, sizeof(*vih));
    vih->AvgTimePerFrame = kFrame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = w;
    vih->bmiHeader.biHeight = h;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = Stride(w) * h;
    vih->dwBitRate = (DWORD)((LONGLONG)vih->bmiHeader.biSizeImage * 8 * 25);
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_RGB24;
    mt->formattype = FORMAT_VideoInfo;
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = vih->bmiHeader.biSizeImage;
    mt->cbFormat = sizeof(VIDEOINFOHEADER);
    mt->pbFormat = reinterpret_cast<BYTE*>(vih);
    return S_OK;
}

}  // namespace

class Camera : public LiveSource {
public:
    explicit Camera(IUnknown* outer, const CLSID& clsid = CLSID_TestPatternCamera)
        : LiveSource(clsid, outer), dialogs_(this, "Test Pattern Camera") {}
    HRESULT Start() { return Init(kCapture); }
    // The camera has the video-for-Windows source and format dialogs.
    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IAMVfwCaptureDialogs)) {
            *ppv = static_cast<IAMVfwCaptureDialogs*>(&dialogs_);
            AddRef();
            return S_OK;
        }
        return LiveSource::NonDelegatingQueryInterface(riid, ppv);
    }
    int FormatCount() const override { return (int)(sizeof(kSizes) / sizeof(kSizes[0])); }
    HRESULT MakeFormat(int i, AM_MEDIA_TYPE* mt) const override { return MakeVideo(kSizes[i].w, kSizes[i].h, mt); }
    int CapsSize() const override { return sizeof(VIDEO_STREAM_CONFIG_CAPS); }
    void MakeCaps(int i, BYTE* out) const override {
        VIDEO_STREAM_CONFIG_CAPS c = {};
        c.guid = FORMAT_VideoInfo;
        c.VideoStandard = 0;
        c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = {kSizes[i].w, kSizes[i].h};
        c.CropGranularityX = c.CropGranularityY = c.OutputGranularityX = c.OutputGranularityY = 1;
        c.MinFrameInterval = c.MaxFrameInterval = kFrame;
        c.MinBitsPerSecond = c.MaxBitsPerSecond = Stride(kSizes[i].w) * kSizes[i].h * 8 * 25;
        memcpy(out, &c, sizeof(c));
    }
    REFERENCE_TIME SampleDuration() const override { return kFrame; }
    LONG SampleBytes() const override {
        const BITMAPINFOHEADER& b = reinterpret_cast<const VIDEOINFOHEADER*>(Current().pbFormat)->bmiHeader;
        return Stride(b.biWidth) * b.biHeight;
    }
    HRESULT Render(LONGLONG n, BYTE* data, LONG size, LONG* actual) override {
        const BITMAPINFOHEADER& b = reinterpret_cast<const VIDEOINFOHEADER*>(Current().pbFormat)->bmiHeader;
        const LONG need = Stride(b.biWidth) * b.biHeight;
        if (size < need) return E_FAIL;
        RenderPattern(n, b.biWidth, b.biHeight, data);
        *actual = need;
        return S_OK;
    }

private:
    VfwDialogs dialogs_;
};


// ---- DV camcorder ----

// The format block of an interleaved DV stream (the DV source and control
// packs; zero where the stream itself says).
struct DvInfoBlock {
    DWORD audioSource, audioControl, audioSource1, audioControl1;
    DWORD videoSource, videoControl;
    DWORD reserved[2];
};
static_assert(sizeof(DvInfoBlock) == 32, "DVINFO is 32 bytes");

HRESULT MakeInterleavedDv(AM_MEDIA_TYPE* mt) {
    ZeroMemory(mt, sizeof(*mt));
    auto* info = static_cast<DvInfoBlock*>(CoTaskMemAlloc(sizeof(DvInfoBlock)));
    if (!info) return E_OUTOFMEMORY;
    ZeroMemory(info, sizeof(*info));
    mt->majortype = MEDIATYPE_Interleaved;
    mt->subtype = MEDIASUBTYPE_dvsd;
    mt->formattype = FORMAT_DvInfo;
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = kDvFrameBytes;
    mt->cbFormat = sizeof(DvInfoBlock);
    mt->pbFormat = reinterpret_cast<BYTE*>(info);
    return S_OK;
}

HRESULT MakeDvVideoStream(AM_MEDIA_TYPE* mt) {
    HRESULT hr = MakeVideo(kDvWidth, kDvHeight, mt);
    if (FAILED(hr)) return hr;
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
    vih->bmiHeader.biCompression = MAKEFOURCC('d', 'v', 's', 'd');
    vih->bmiHeader.biSizeImage = kDvFrameBytes;
    vih->dwBitRate = kDvFrameBytes * 8 * 25;
    mt->subtype = MEDIASUBTYPE_DVSD;
    mt->lSampleSize = kDvFrameBytes;
    return S_OK;
}

// A camcorder in VCR mode: an hour of tape whose position runs with the
// transport's mode (play at 1x, the fast modes at 10x forwards or back,
// still when stopped or frozen) and reads as timecode.  It sends an
// interleaved DV stream (625/50): the camera's pattern at 720x576 with a
// 1 kHz tone at 48000 Hz stereo in each frame, for a DV splitter and a DV
// decoder to take apart.
class Camcorder : public Camera {
public:
    explicit Camcorder(IUnknown* outer) : Camera(outer, CLSID_DVCamcorder), extras_(this) {}

    // The frames go as a DV video stream ("DVSD": its frames still carry
    // their sound) by default, or as the interleaved stream.  A capture
    // graph builder that renders only video and audio streams takes the
    // first; either way the DV splitter takes the frames apart.
    int FormatCount() const override { return 2; }
    HRESULT MakeFormat(int i, AM_MEDIA_TYPE* mt) const override {
        return i == 0 ? MakeDvVideoStream(mt) : MakeInterleavedDv(mt);
    }
    void MakeCaps(int, BYTE* out) const override {
        VIDEO_STREAM_CONFIG_CAPS c = {};
        c.guid = FORMAT_VideoInfo;
        c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = {kDvWidth, kDvHeight};
        c.CropGranularityX = c.CropGranularityY = c.OutputGranularityX = c.OutputGranularityY = 1;
        c.MinFrameInterval = c.MaxFrameInterval = kFrame;
        c.MinBitsPerSecond = c.MaxBitsPerSecond = kDvFrameBytes * 8 * 25;
        memcpy(out, &c, sizeof(c));
    }
    LONG SampleBytes() const override { return kDvFrameBytes; }
    HRESULT Render(LONGLONG n, BYTE* data, LONG size, LONG* actual) override {
        if (size < kDvFrameBytes) return E_FAIL;
        picture_.resize((size_t)Stride(kDvWidth) * kDvHeight);
        RenderPattern(n, kDvWidth, kDvHeight, picture_.data());
        int16_t pcm[kDvSamplesPerFrame * 2];
        const LONGLONG first = n * kDvSamplesPerFrame;
        for (int i = 0; i < kDvSamplesPerFrame; i++) {
            const double t = double(first + i) / kDvRate;
            pcm[2 * i] = pcm[2 * i + 1] = (int16_t)std::lround(8192.0 * std::sin(2.0 * 3.14159265358979323846 * 1000.0 * t));
        }
        if (!encoder_.Encode(picture_.data(), pcm, data)) {
            // The muxer holds back its first frame: an empty one goes first.
            if (!encoder_.Encode(picture_.data(), pcm, data)) return E_FAIL;
        }
        *actual = kDvFrameBytes;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IAMExtTransport_Corv)) {
            *ppv = static_cast<IExtTransport*>(&extras_);
            AddRef();
            return S_OK;
        }
        if (IsEqualIID(riid, IID_IAMTimecodeReader_Corv)) {
            *ppv = static_cast<IExtTimecodeReader*>(&extras_);
            AddRef();
            return S_OK;
        }
        // A camcorder has a property page, not the video-for-Windows dialogs.
        if (IsEqualIID(riid, IID_ISpecifyPropertyPages)) {
            *ppv = static_cast<ISpecifyPropertyPages*>(&extras_);
            AddRef();
            return S_OK;
        }
        if (IsEqualIID(riid, IID_IAMVfwCaptureDialogs)) {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return Camera::NonDelegatingQueryInterface(riid, ppv);
    }

private:
    class Extras : public IExtTransport, public IExtTimecodeReader, public ISpecifyPropertyPages {
    public:
        // ISpecifyPropertyPages: the camcorder's page.
        HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override {
            if (!pages) return E_POINTER;
            pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
            if (!pages->pElems) { pages->cElems = 0; return E_OUTOFMEMORY; }
            pages->cElems = 1;
            pages->pElems[0] = CLSID_DVCamcorderPage;
            return S_OK;
        }
        explicit Extras(Camcorder* c) : c_(c) { InitializeCriticalSection(&lock_); }
        ~Extras() { DeleteCriticalSection(&lock_); }
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            return static_cast<IBaseFilter*>(c_)->QueryInterface(riid, ppv);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<IBaseFilter*>(c_)->AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return static_cast<IBaseFilter*>(c_)->Release(); }

        // IExtTransport: the mode; the rest is not offered.
        HRESULT WINAPI GetCapability(long, long*, double*) override { return E_NOTIMPL; }
        HRESULT WINAPI put_MediaState(long) override { return E_NOTIMPL; }
        HRESULT WINAPI get_MediaState(long*) override { return E_NOTIMPL; }
        HRESULT WINAPI put_LocalControl(long) override { return E_NOTIMPL; }
        HRESULT WINAPI get_LocalControl(long*) override { return E_NOTIMPL; }
        HRESULT WINAPI GetStatus(long, long*) override { return E_NOTIMPL; }
        HRESULT WINAPI GetTransportBasicParameters(long, long*, LPOLESTR*) override { return E_NOTIMPL; }
        HRESULT WINAPI SetTransportBasicParameters(long, long, LPCOLESTR) override { return E_NOTIMPL; }
        HRESULT WINAPI GetTransportVideoParameters(long, long*) override { return E_NOTIMPL; }
        HRESULT WINAPI SetTransportVideoParameters(long, long) override { return E_NOTIMPL; }
        HRESULT WINAPI GetTransportAudioParameters(long, long*) override { return E_NOTIMPL; }
        HRESULT WINAPI SetTransportAudioParameters(long, long) override { return E_NOTIMPL; }
        HRESULT WINAPI put_Mode(long mode) override {
            int speed;
            switch (mode) {
            case EXT_MODE_PLAY: speed = 1; break;
            case EXT_MODE_STOP: case EXT_MODE_FREEZE: speed = 0; break;
            case EXT_MODE_FF: case EXT_MODE_PLAY_FASTEST_FWD: speed = 10; break;
            case EXT_MODE_REW: case EXT_MODE_PLAY_FASTEST_REV: speed = -10; break;
            default: return E_INVALIDARG;
            }
            EnterCriticalSection(&lock_);
            Advance();
            mode_ = mode;
            speed_ = speed;
            LeaveCriticalSection(&lock_);
            return S_OK;
        }
        HRESULT WINAPI get_Mode(long* mode) override {
            if (!mode) return E_POINTER;
            EnterCriticalSection(&lock_);
            *mode = mode_;
            LeaveCriticalSection(&lock_);
            return S_OK;
        }

        // IExtTimecodeReader: the tape position as packed decimal hh mm ss ff.
        HRESULT WINAPI GetTCRMode(long, long*) override { return E_NOTIMPL; }
        HRESULT WINAPI SetTCRMode(long, long) override { return E_NOTIMPL; }
        HRESULT WINAPI put_VITCLine(long) override { return E_NOTIMPL; }
        HRESULT WINAPI get_VITCLine(long*) override { return E_NOTIMPL; }
        HRESULT WINAPI GetTimecode(ExtTimecodeSample* s) override {
            if (!s) return E_POINTER;
            EnterCriticalSection(&lock_);
            Advance();
            const LONGLONG frames = tapeMs_ * 25 / 1000;
            LeaveCriticalSection(&lock_);
            auto bcd = [](LONGLONG v) { return (DWORD)(((v / 10) << 4) | (v % 10)); };
            const LONGLONG secs = frames / 25;
            s->timecode.frameRate = 25;
            s->timecode.frameFraction = 0;
            s->timecode.frames = (bcd(secs / 3600) << 24) | (bcd(secs / 60 % 60) << 16) | (bcd(secs % 60) << 8) |
                                 bcd(frames % 25);
            return S_OK;
        }

    private:
        // The tape moves on from where it was, at the mode's speed.
        void Advance() {
            const DWORD now = GetTickCount();
            if (speed_) {
                tapeMs_ += (LONGLONG)(now - since_) * speed_;
                if (tapeMs_ < 0) tapeMs_ = 0;
                if (tapeMs_ > kTapeMs) tapeMs_ = kTapeMs;
            }
            since_ = now;
        }
        static const LONGLONG kTapeMs = 3600LL * 1000;
        Camcorder* c_;
        CRITICAL_SECTION lock_;
        long mode_ = EXT_MODE_STOP;
        int speed_ = 0;
        LONGLONG tapeMs_ = 0;
        DWORD since_ = GetTickCount();
    };
    Extras extras_;
    DvEncoder encoder_;              // streaming thread
    std::vector<BYTE> picture_;
};

namespace {

// ---- microphone ----

struct Pcm { int rate, channels; };
const Pcm kPcm[] = {{44100, 2}, {22050, 2}, {11025, 1}};
const REFERENCE_TIME kBuffer = 1000000;   // 100 ms

HRESULT MakeAudio(const Pcm& p, AM_MEDIA_TYPE* mt) {
    ZeroMemory(mt, sizeof(*mt));
    auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!wf) return E_OUTOFMEMORY;
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = (WORD)p.channels;
    wf->nSamplesPerSec = p.rate;
    wf->wBitsPerSample = 16;
    wf->nBlockAlign = (WORD)(2 * p.channels);
    wf->nAvgBytesPerSec = p.rate * wf->nBlockAlign;
    wf->cbSize = 0;
    mt->majortype = MEDIATYPE_Audio;
    mt->subtype = MEDIASUBTYPE_PCM;
    mt->formattype = FORMAT_WaveFormatEx;
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = wf->nBlockAlign;
    mt->cbFormat = sizeof(WAVEFORMATEX);
    mt->pbFormat = reinterpret_cast<BYTE*>(wf);
    return S_OK;
}

class Microphone : public LiveSource {
public:
    explicit Microphone(IUnknown* outer) : LiveSource(CLSID_ToneMicrophone, outer) {}
    HRESULT Start() { return Init(kCapture); }
    int FormatCount() const override { return (int)(sizeof(kPcm) / sizeof(kPcm[0])); }
    HRESULT MakeFormat(int i, AM_MEDIA_TYPE* mt) const override { return MakeAudio(kPcm[i], mt); }
    int CapsSize() const override { return sizeof(AUDIO_STREAM_CONFIG_CAPS); }
    void MakeCaps(int i, BYTE* out) const override {
        AUDIO_STREAM_CONFIG_CAPS c = {};
        c.guid = MEDIATYPE_Audio;
        c.MinimumChannels = c.MaximumChannels = kPcm[i].channels;
        c.ChannelsGranularity = 1;
        c.MinimumBitsPerSample = c.MaximumBitsPerSample = 16;
        c.BitsPerSampleGranularity = 8;
        c.MinimumSampleFrequency = c.MaximumSampleFrequency = kPcm[i].rate;
        c.SampleFrequencyGranularity = 1;
        memcpy(out, &c, sizeof(c));
    }
    const WAVEFORMATEX& Wave() const { return *reinterpret_cast<const WAVEFORMATEX*>(Current().pbFormat); }
    REFERENCE_TIME SampleDuration() const override { return kBuffer; }
    LONG SampleBytes() const override { return (LONG)(Wave().nAvgBytesPerSec / 10); }
    // A 1 kHz sine at a quarter of full scale, continuous from buffer to buffer.
    HRESULT Render(LONGLONG n, BYTE* data, LONG size, LONG* actual) override {
        const WAVEFORMATEX& w = Wave();
        const LONG frames = (LONG)(w.nSamplesPerSec / 10);
        if (size < frames * w.nBlockAlign) return E_FAIL;
        auto* out = reinterpret_cast<short*>(data);
        const LONGLONG first = n * frames;
        for (LONG i = 0; i < frames; i++) {
            const double t = double(first + i) / w.nSamplesPerSec;
            const short v = (short)std::lround(8192.0 * std::sin(2.0 * 3.14159265358979323846 * 1000.0 * t));
            for (int c = 0; c < w.nChannels; c++) *out++ = v;
        }
        *actual = frames * w.nBlockAlign;
        return S_OK;
    }
};

}  // namespace

void RenderPattern(LONGLONG n, int width, int height, BYTE* dib) {
    static const BYTE bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                    {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};   // BGR
    const LONG stride = Stride(width);
    const int strip = height / 8;
    const int shift = (int)((n * 4) % (width > 0 ? width : 1));
    for (int y = 0; y < height; y++) {
        BYTE* row = dib + (LONGLONG)(height - 1 - y) * stride;   // bottom-up
        for (int x = 0; x < width; x++) {
            const BYTE* c;
            static const BYTE white[3] = {255, 255, 255}, black[3] = {0, 0, 0};
            if (y >= height - strip) {
                const int cell = x * 16 / width;
                c = ((n >> (15 - cell)) & 1) ? white : black;
            } else {
                const int bx = ((x - shift) % width + width) % width;
                c = bars[bx * 8 / width];
            }
            row[x * 3] = c[0];
            row[x * 3 + 1] = c[1];
            row[x * 3 + 2] = c[2];
        }
    }
}

LONGLONG ReadPatternCounter(const DWORD* px, int width, int height, int pitch) {
    const int strip = height / 8;
    const int y = height - strip / 2 - 1;
    LONGLONG n = 0;
    for (int cell = 0; cell < 16; cell++) {
        const int x = (2 * cell + 1) * width / 32;
        const DWORD v = px[(LONGLONG)y * pitch + x] & 0xFFFFFF;
        const int lum = ((v >> 16) & 255) + ((v >> 8) & 255) + (v & 255);
        if (lum > 600) n |= 1LL << (15 - cell);
        else if (lum > 150) return -1;
    }
    return n;
}

HRESULT CreateCamera(IUnknown* outer, dsb::ComObject** obj) { return CreateStarted<Camera>(outer, obj); }

HRESULT CreateCamcorder(IUnknown* outer, dsb::ComObject** obj) { return CreateStarted<Camcorder>(outer, obj); }

HRESULT CreateMicrophone(IUnknown* outer, dsb::ComObject** obj) { return CreateStarted<Microphone>(outer, obj); }

}  // namespace capdevs
