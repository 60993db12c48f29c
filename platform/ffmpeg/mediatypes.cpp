// Media types between our filters and towards the rest of the graph.
#include "ffshell.h"

#include <cstring>
#include <new>

namespace ffds {

dsb::TraceChannel ch = {"ffsplit", -1};

HRESULT MakeStreamType(const ffcore::StreamInfo& si, AM_MEDIA_TYPE* mt) {
    std::memset(mt, 0, sizeof *mt);
    std::vector<uint8_t> blob = ffcore::packParams(si.params, si.extradata.data(), si.extradata.size());
    mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(blob.size()));
    if (!mt->pbFormat) return E_OUTOFMEMORY;
    std::memcpy(mt->pbFormat, blob.data(), blob.size());
    mt->cbFormat = ULONG(blob.size());
    mt->majortype = si.params.kind == ffcore::Kind::Video ? MEDIATYPE_Video : MEDIATYPE_Audio;
    mt->subtype = MEDIASUBTYPE_FFStream;
    mt->formattype = FORMAT_FFCodecParams;
    mt->bFixedSizeSamples = FALSE;
    mt->bTemporalCompression = TRUE;
    mt->lSampleSize = 0;
    return S_OK;
}

bool ReadStreamType(const AM_MEDIA_TYPE* mt, ffcore::CodecParams* p, std::vector<uint8_t>* extra) {
    if (!mt || !IsEqualGUID(mt->subtype, MEDIASUBTYPE_FFStream) ||
        !IsEqualGUID(mt->formattype, FORMAT_FFCodecParams) || !mt->pbFormat)
        return false;
    if (!ffcore::unpackParams(mt->pbFormat, mt->cbFormat, p, extra)) return false;
    const GUID& major = p->kind == ffcore::Kind::Video ? MEDIATYPE_Video : MEDIATYPE_Audio;
    return IsEqualGUID(mt->majortype, major);
}

HRESULT MakeRgbType(int width, int height, ffcore::PixelOut f, ffcore::RefTime frameTime, AM_MEDIA_TYPE* mt) {
    std::memset(mt, 0, sizeof *mt);
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!vih) return E_OUTOFMEMORY;
    std::memset(vih, 0, sizeof *vih);
    const int stride = ffcore::dibStride(width, f);
    vih->AvgTimePerFrame = frameTime;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;  // positive: rows bottom-up
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = f == ffcore::PixelOut::BGR24 ? 24 : 32;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = DWORD(stride) * height;
    SetRect(&vih->rcSource, 0, 0, width, height);
    SetRect(&vih->rcTarget, 0, 0, width, height);
    if (frameTime > 0) vih->dwBitRate = DWORD(uint64_t(vih->bmiHeader.biSizeImage) * 8 * 10000000 / frameTime);
    mt->majortype = MEDIATYPE_Video;
    mt->subtype = f == ffcore::PixelOut::BGR24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
    mt->formattype = FORMAT_VideoInfo;
    mt->bFixedSizeSamples = TRUE;
    mt->bTemporalCompression = FALSE;
    mt->lSampleSize = vih->bmiHeader.biSizeImage;
    mt->cbFormat = sizeof(VIDEOINFOHEADER);
    mt->pbFormat = reinterpret_cast<BYTE*>(vih);
    return S_OK;
}

bool ReadRgbType(const AM_MEDIA_TYPE* mt, int width, int height, ffcore::PixelOut* f) {
    if (!mt || !IsEqualGUID(mt->majortype, MEDIATYPE_Video)) return false;
    ffcore::PixelOut pf;
    if (IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24)) pf = ffcore::PixelOut::BGR24;
    else if (IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB32)) pf = ffcore::PixelOut::BGRA32;
    else return false;
    if (!IsEqualGUID(mt->formattype, FORMAT_VideoInfo) || !mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
    const BITMAPINFOHEADER& bi = vih->bmiHeader;
    if (bi.biWidth != width || bi.biHeight != height || bi.biCompression != BI_RGB ||
        bi.biBitCount != (pf == ffcore::PixelOut::BGR24 ? 24 : 32))
        return false;
    if (f) *f = pf;
    return true;
}

HRESULT MakePcmType(int rate, int channels, int bits, AM_MEDIA_TYPE* mt) {
    std::memset(mt, 0, sizeof *mt);
    auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (!wf) return E_OUTOFMEMORY;
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = WORD(channels);
    wf->nSamplesPerSec = DWORD(rate);
    wf->wBitsPerSample = WORD(bits);
    wf->nBlockAlign = WORD(channels * bits / 8);
    wf->nAvgBytesPerSec = DWORD(rate) * wf->nBlockAlign;
    wf->cbSize = 0;
    mt->majortype = MEDIATYPE_Audio;
    mt->subtype = MEDIASUBTYPE_PCM;
    mt->formattype = FORMAT_WaveFormatEx;
    mt->bFixedSizeSamples = TRUE;
    mt->bTemporalCompression = FALSE;
    mt->lSampleSize = wf->nBlockAlign;
    mt->cbFormat = sizeof(WAVEFORMATEX);
    mt->pbFormat = reinterpret_cast<BYTE*>(wf);
    return S_OK;
}

bool ReadPcmType(const AM_MEDIA_TYPE* mt, ffcore::PcmFormat* f) {
    if (!mt || !IsEqualGUID(mt->majortype, MEDIATYPE_Audio) || !IsEqualGUID(mt->subtype, MEDIASUBTYPE_PCM) ||
        !IsEqualGUID(mt->formattype, FORMAT_WaveFormatEx) || !mt->pbFormat || mt->cbFormat < 16)
        return false;
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
    if (wf->wFormatTag != WAVE_FORMAT_PCM || wf->wBitsPerSample != 16 || wf->nChannels < 1 || wf->nChannels > 2 ||
        wf->nSamplesPerSec < 8000 || wf->nSamplesPerSec > 192000 || wf->nBlockAlign != wf->nChannels * 2)
        return false;
    if (f) *f = {int(wf->nSamplesPerSec), int(wf->nChannels)};
    return true;
}

bool ReadAnyPcmType(const AM_MEDIA_TYPE* mt, ffcore::PcmFormat* f, int* bits) {
    if (!mt || !IsEqualGUID(mt->majortype, MEDIATYPE_Audio) || !IsEqualGUID(mt->subtype, MEDIASUBTYPE_PCM) ||
        !IsEqualGUID(mt->formattype, FORMAT_WaveFormatEx) || !mt->pbFormat || mt->cbFormat < 16)
        return false;
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
    if (wf->wFormatTag != WAVE_FORMAT_PCM || (wf->wBitsPerSample != 8 && wf->wBitsPerSample != 16) ||
        wf->nChannels < 1 || wf->nChannels > 2 || wf->nSamplesPerSec < 8000 || wf->nSamplesPerSec > 192000 ||
        wf->nBlockAlign != wf->nChannels * wf->wBitsPerSample / 8)
        return false;
    if (f) *f = {int(wf->nSamplesPerSec), int(wf->nChannels)};
    if (bits) *bits = wf->wBitsPerSample;
    return true;
}

extern "C" char* CDECL wine_get_unix_file_name(LPCWSTR dos);

std::string UnixPath(const WCHAR* path) {
    if (!path || !*path) return {};
    char* u = wine_get_unix_file_name(path);
    if (!u) return {};
    std::string s(u);
    HeapFree(GetProcessHeap(), 0, u);
    return s;
}

// ---------------------------------------------------------------------------
UpstreamSeeking::~UpstreamSeeking() {
    SetUpstream(nullptr);
    delete seeking_;
}

HRESULT UpstreamSeeking::Init(IUnknown* outputPin) {
    owner_ = outputPin;
    seeking_ = new (std::nothrow) dsb::SeekingPassThru(outputPin, Upstream, this);
    return seeking_ ? S_OK : E_OUTOFMEMORY;
}

void UpstreamSeeking::SetUpstream(IPin* pin) {
    dsb::AutoLock lock(lock_);
    if (pin) pin->AddRef();
    if (upstream_) upstream_->Release();
    upstream_ = pin;
}

IPin* UpstreamSeeking::Upstream(void* self) {
    auto* me = static_cast<UpstreamSeeking*>(self);
    dsb::AutoLock lock(me->lock_);
    if (me->upstream_) me->upstream_->AddRef();
    return me->upstream_;
}

HRESULT UpstreamSeeking::Query(REFIID riid, void** ppv) {
    if (!IsEqualIID(riid, IID_IMediaSeeking) || !seeking_) return E_NOINTERFACE;
    *ppv = static_cast<IMediaSeeking*>(seeking_);
    owner_->AddRef();
    return S_OK;
}

FileSourceBase::~FileSourceBase() { CoTaskMemFree(fileName_); }

HRESULT STDMETHODCALLTYPE FileSourceBase::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IFileSourceFilter)) return GetInterface(static_cast<IFileSourceFilter*>(this), ppv);
    return SourceFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT STDMETHODCALLTYPE FileSourceBase::Load(LPCOLESTR name, const AM_MEDIA_TYPE* mt) {
    (void)mt;
    DSB_TRACE(ch, "%p %s", this, dsb::DebugWide(name).c_str());
    if (!name) return E_POINTER;
    dsb::AutoLock lock(FilterLock());
    if (fileName_) return E_UNEXPECTED;  // one file per filter
    if (GetFileAttributesW(name) == INVALID_FILE_ATTRIBUTES) {
        DWORD e = GetLastError();
        return HRESULT_FROM_WIN32(e ? e : ERROR_FILE_NOT_FOUND);
    }
    std::string unix = UnixPath(name);
    if (unix.empty()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    HRESULT hr = OpenFile(unix);
    if (FAILED(hr)) return hr;
    size_t n = (lstrlenW(name) + 1) * sizeof(WCHAR);
    fileName_ = static_cast<WCHAR*>(CoTaskMemAlloc(n));
    if (!fileName_) return E_OUTOFMEMORY;
    std::memcpy(fileName_, name, n);
    return S_OK;
}

HRESULT STDMETHODCALLTYPE FileSourceBase::GetCurFile(LPOLESTR* name, AM_MEDIA_TYPE* mt) {
    if (!name) return E_POINTER;
    dsb::AutoLock lock(FilterLock());
    *name = nullptr;
    if (fileName_) {
        size_t n = (lstrlenW(fileName_) + 1) * sizeof(WCHAR);
        *name = static_cast<WCHAR*>(CoTaskMemAlloc(n));
        if (!*name) return E_OUTOFMEMORY;
        std::memcpy(*name, fileName_, n);
    }
    if (mt) {
        std::memset(mt, 0, sizeof *mt);
        mt->majortype = MEDIATYPE_Stream;
        mt->bFixedSizeSamples = TRUE;
        mt->lSampleSize = 1;
    }
    return S_OK;
}

}  // namespace ffds
