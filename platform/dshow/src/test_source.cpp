#include "dshowbase/test_source.h"
#include <amvideo.h>
#include <uuids.h>
#include <new>
#include <cstring>
#include <cstdint>

namespace dsb {

const GUID CLSID_CorvTestSource = {0x5a1c0c5e, 0x3e9b, 0x4c1d, {0x9e, 0x0a, 0x7b, 0x2f, 0x61, 0xd0, 0xa0, 0x01}};

TestSource::TestSource(const TestSourceConfig& cfg) : SourceFilter(CLSID_CorvTestSource, nullptr), cfg_(cfg) {}

HRESULT TestSource::Create(const TestSourceConfig& cfg, TestSource** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (cfg.width <= 0 || cfg.height <= 0 || cfg.frameDuration <= 0) return E_INVALIDARG;
    TestSource* s = new (std::nothrow) TestSource(cfg);
    if (!s) return E_OUTOFMEMORY;
    s->NonDelegatingAddRef();
    const HRESULT hr = s->AddStream(L"Out");
    if (FAILED(hr)) {
        s->NonDelegatingRelease();
        return hr;
    }
    *out = s;
    return S_OK;
}

void TestSource::RenderFrame(const TestSourceConfig& cfg, int index, BYTE* dst) {
    // Colour bars: white, yellow, cyan, green, magenta, red, blue, black,
    // moving one column to the right per frame (stored blue, green, red).
    static const BYTE bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                    {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    if (cfg.pattern == TestSourceConfig::ColourBars) {
        for (int y = 0; y < cfg.height; ++y) {
            BYTE* row = dst + (size_t)y * cfg.width * 3;
            for (int x = 0; x < cfg.width; ++x) {
                const int bar = (((x + index) % cfg.width) * 8) / cfg.width;
                memcpy(row + 3 * x, bars[bar], 3);
            }
        }
        return;
    }
    // Noise: a fixed hash of position and frame, so every byte differs.
    uint32_t state = 0x9e3779b9u * (uint32_t)(index + 1);
    const size_t n = (size_t)FrameBytes(cfg);
    for (size_t i = 0; i < n; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        dst[i] = (BYTE)(state >> 7);
    }
}

HRESULT TestSource::MakeMediaType(const TestSourceConfig& cfg, AM_MEDIA_TYPE* mt) {
    ZeroMemory(mt, sizeof(*mt));
    VIDEOINFOHEADER* vih = (VIDEOINFOHEADER*)CoTaskMemAlloc(sizeof(VIDEOINFOHEADER));
    if (!vih) return E_OUTOFMEMORY;
    ZeroMemory(vih, sizeof(*vih));
    vih->AvgTimePerFrame = cfg.frameDuration;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = cfg.width;
    vih->bmiHeader.biHeight = cfg.height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = FrameBytes(cfg);
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = MEDIASUBTYPE_RGB24;
    mt->formattype = FORMAT_VideoInfo;
    mt->bFixedSizeSamples = TRUE;
    mt->lSampleSize = FrameBytes(cfg);
    mt->cbFormat = sizeof(VIDEOINFOHEADER);
    mt->pbFormat = (BYTE*)vih;
    return S_OK;
}

HRESULT TestSource::GetMediaType(int stream, int pos, AM_MEDIA_TYPE* mt) {
    (void)stream;
    if (pos > 0) return VFW_S_NO_MORE_ITEMS;
    return MakeMediaType(cfg_, mt);
}

HRESULT TestSource::DecideBufferSize(int stream, IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    (void)stream;
    ALLOCATOR_PROPERTIES want = *props, got;
    if (want.cBuffers < 2) want.cBuffers = 2;
    if (want.cbBuffer < FrameBytes(cfg_) + cfg_.bufferPadding) want.cbBuffer = FrameBytes(cfg_) + cfg_.bufferPadding;
    if (want.cbAlign < 1) want.cbAlign = 1;
    const HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer >= FrameBytes(cfg_) ? S_OK : E_FAIL;
}

HRESULT TestSource::OnThreadStart(int stream) {
    (void)stream;
    discontinuity_ = true;
    return S_OK;
}

HRESULT TestSource::FillSample(int stream, IMediaSample* sample) {
    (void)stream;
    const LONG i = next_;
    if (cfg_.frameCount >= 0 && i >= cfg_.frameCount) return S_FALSE;
    BYTE* p = nullptr;
    HRESULT hr = sample->GetPointer(&p);
    if (FAILED(hr)) return hr;
    if (sample->GetSize() < FrameBytes(cfg_)) return E_UNEXPECTED;
    RenderFrame(cfg_, i, p);
    // Times are relative to the segment start (the last seek position).
    const REFERENCE_TIME base = SeekStart();
    REFERENCE_TIME t0 = i * cfg_.frameDuration - base, t1 = t0 + cfg_.frameDuration;
    LONGLONG m0 = i, m1 = i + 1;
    sample->SetTime(&t0, &t1);
    sample->SetMediaTime(&m0, &m1);
    sample->SetSyncPoint(cfg_.syncEvery > 0 && i % cfg_.syncEvery == 0);
    sample->SetDiscontinuity(discontinuity_);
    sample->SetPreroll(FALSE);
    sample->SetActualDataLength(FrameBytes(cfg_));
    discontinuity_ = false;
    InterlockedExchange(&next_, i + 1);
    InterlockedIncrement(&sent_);
    return S_OK;
}

HRESULT TestSource::OnSeek(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
    (void)stop; (void)rate;
    // First frame at or after the target.
    InterlockedExchange(&next_, (LONG)((start + cfg_.frameDuration - 1) / cfg_.frameDuration));
    return S_OK;
}

HRESULT TestSource::GetDuration(REFERENCE_TIME* duration) {
    if (cfg_.frameCount < 0) return E_NOTIMPL;
    *duration = cfg_.frameCount * cfg_.frameDuration;
    return S_OK;
}

}  // namespace dsb
