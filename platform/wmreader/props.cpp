/*
 * Output media types, the media-props and buffer objects, header
 * attribute values.
 */
#include "wmreader_int.h"

#include <uuids.h>
#include <amvideo.h>
#include <mmreg.h>
#include <nserror.h>
#include <asferr.h>
#include <cstring>

namespace wmr {

OutputFormat OutputFormat::Video(int width, int height, int bits, AVRational frameRate)
{
    OutputFormat f;
    f.video = true;
    f.width = width;
    f.height = height;
    f.bitCount = bits;
    if (frameRate.num > 0 && frameRate.den > 0)
        f.frameTime = (LONGLONG)(10000000.0 * frameRate.den / frameRate.num + 0.5);
    return f;
}

OutputFormat OutputFormat::Audio(int rate, int channels)
{
    OutputFormat f;
    f.sampleRate = rate;
    f.channels = channels;
    return f;
}

std::vector<BYTE> OutputFormat::MediaType() const
{
    DWORD cb = video ? sizeof(VIDEOINFOHEADER) : sizeof(WAVEFORMATEX);
    std::vector<BYTE> raw(sizeof(WM_MEDIA_TYPE) + cb);
    auto *mt = reinterpret_cast<WM_MEDIA_TYPE *>(raw.data());
    BYTE *fb = raw.data() + sizeof(WM_MEDIA_TYPE);
    mt->bFixedSizeSamples = TRUE;
    mt->cbFormat = cb;
    mt->pbFormat = fb;
    if (video) {
        mt->majortype = MEDIATYPE_Video;
        mt->subtype = bitCount == 32 ? MEDIASUBTYPE_RGB32 : MEDIASUBTYPE_RGB24;
        mt->formattype = FORMAT_VideoInfo;
        mt->lSampleSize = FrameBytes();
        auto *vih = reinterpret_cast<VIDEOINFOHEADER *>(fb);
        vih->AvgTimePerFrame = frameTime;
        vih->rcSource = {0, 0, width, height};
        vih->rcTarget = vih->rcSource;
        vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih->bmiHeader.biWidth = width;
        vih->bmiHeader.biHeight = height;
        vih->bmiHeader.biPlanes = 1;
        vih->bmiHeader.biBitCount = (WORD)bitCount;
        vih->bmiHeader.biCompression = BI_RGB;
        vih->bmiHeader.biSizeImage = FrameBytes();
        if (frameTime > 0) vih->dwBitRate = (DWORD)((double)FrameBytes() * 8 * 10000000.0 / frameTime);
    } else {
        mt->majortype = MEDIATYPE_Audio;
        mt->subtype = MEDIASUBTYPE_PCM;
        mt->formattype = FORMAT_WaveFormatEx;
        mt->lSampleSize = (ULONG)(channels * 2);
        auto *wf = reinterpret_cast<WAVEFORMATEX *>(fb);
        wf->wFormatTag = WAVE_FORMAT_PCM;
        wf->nChannels = (WORD)channels;
        wf->nSamplesPerSec = (DWORD)sampleRate;
        wf->wBitsPerSample = 16;
        wf->nBlockAlign = (WORD)(channels * 2);
        wf->nAvgBytesPerSec = (DWORD)(sampleRate * channels * 2);
    }
    return raw;
}

HRESULT OutputFormat::FromMediaType(const WM_MEDIA_TYPE &mt, OutputFormat *out)
{
    if (IsEqualGUID(mt.majortype, MEDIATYPE_Video)) {
        int bits = IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB24) ? 24 : IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB32) ? 32 : 0;
        if (!bits || !IsEqualGUID(mt.formattype, FORMAT_VideoInfo) || !mt.pbFormat ||
            mt.cbFormat < sizeof(VIDEOINFOHEADER))
            return NS_E_INVALID_OUTPUT_FORMAT;
        auto *vih = reinterpret_cast<const VIDEOINFOHEADER *>(mt.pbFormat);
        LONG w = vih->bmiHeader.biWidth, h = vih->bmiHeader.biHeight;
        if (w <= 0 || w > 4096 || h <= 0 || h > 4096 || vih->bmiHeader.biCompression != BI_RGB ||
            vih->bmiHeader.biBitCount != bits)
            return NS_E_INVALID_OUTPUT_FORMAT;
        *out = Video(w, h, bits, AVRational{0, 0});
        out->frameTime = vih->AvgTimePerFrame;
        return S_OK;
    }
    if (IsEqualGUID(mt.majortype, MEDIATYPE_Audio)) {
        if (!IsEqualGUID(mt.subtype, MEDIASUBTYPE_PCM) || !IsEqualGUID(mt.formattype, FORMAT_WaveFormatEx) ||
            !mt.pbFormat || mt.cbFormat < sizeof(PCMWAVEFORMAT))
            return NS_E_INVALID_OUTPUT_FORMAT;
        auto *wf = reinterpret_cast<const WAVEFORMATEX *>(mt.pbFormat);
        if (wf->wFormatTag != WAVE_FORMAT_PCM || wf->wBitsPerSample != 16 || wf->nChannels < 1 ||
            wf->nChannels > 2 || wf->nSamplesPerSec < 4000 || wf->nSamplesPerSec > 192000)
            return NS_E_INVALID_OUTPUT_FORMAT;
        *out = Audio((int)wf->nSamplesPerSec, wf->nChannels);
        return S_OK;
    }
    return NS_E_INVALID_OUTPUT_FORMAT;
}

HRESULT WINAPI Buffer::QueryInterface(REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_INSSBuffer)) {
        *out = static_cast<INSSBuffer *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT WINAPI OutputProps::QueryInterface(REFIID iid, void **out)
{
    if (!out) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWMMediaProps) ||
        IsEqualGUID(iid, IID_IWMOutputMediaProps)) {
        *out = static_cast<IWMOutputMediaProps *>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT WINAPI OutputProps::GetType(GUID *major)
{
    if (!major) return E_POINTER;
    *major = reinterpret_cast<const WM_MEDIA_TYPE *>(type.data())->majortype;
    return S_OK;
}

HRESULT WINAPI OutputProps::GetMediaType(WM_MEDIA_TYPE *mt, DWORD *size)
{
    if (!size) return E_POINTER;
    DWORD need = (DWORD)type.size();
    if (!mt) { *size = need; return S_OK; }
    if (*size < need) { *size = need; return ASF_E_BUFFERTOOSMALL; }
    memcpy(mt, type.data(), need);
    /* The format block sits right behind the structure in the caller's copy. */
    mt->pbFormat = reinterpret_cast<BYTE *>(mt) + sizeof(WM_MEDIA_TYPE);
    *size = need;
    return S_OK;
}

HRESULT WINAPI OutputProps::SetMediaType(WM_MEDIA_TYPE *mt)
{
    if (!mt) return E_POINTER;
    if (mt->cbFormat && !mt->pbFormat) return E_INVALIDARG;
    if (mt->cbFormat > 65536) return E_INVALIDARG;
    std::vector<BYTE> raw(sizeof(WM_MEDIA_TYPE) + mt->cbFormat);
    memcpy(raw.data(), mt, sizeof(WM_MEDIA_TYPE));
    if (mt->cbFormat) memcpy(raw.data() + sizeof(WM_MEDIA_TYPE), mt->pbFormat, mt->cbFormat);
    auto *copy = reinterpret_cast<WM_MEDIA_TYPE *>(raw.data());
    copy->pbFormat = raw.data() + sizeof(WM_MEDIA_TYPE);
    copy->pUnk = nullptr;
    type.swap(raw);
    reinterpret_cast<WM_MEDIA_TYPE *>(type.data())->pbFormat = type.data() + sizeof(WM_MEDIA_TYPE);
    return S_OK;
}

static HRESULT empty_name(WCHAR *name, WORD *length)
{
    if (!length) return E_POINTER;
    if (name && *length >= 1) name[0] = 0;
    else if (name) { *length = 1; return ASF_E_BUFFERTOOSMALL; }
    *length = 1;
    return S_OK;
}

HRESULT WINAPI OutputProps::GetStreamGroupName(WCHAR *name, WORD *length) { return empty_name(name, length); }
HRESULT WINAPI OutputProps::GetConnectionName(WCHAR *name, WORD *length) { return empty_name(name, length); }

Attribute Attribute::Qword(const char16_t *name, QWORD v)
{
    Attribute a;
    a.name = name;
    a.type = WMT_TYPE_QWORD;
    a.value.resize(sizeof(v));
    memcpy(a.value.data(), &v, sizeof(v));
    return a;
}

Attribute Attribute::Bool(const char16_t *name, bool v)
{
    Attribute a;
    a.name = name;
    a.type = WMT_TYPE_BOOL;
    BOOL b = v;
    a.value.resize(sizeof(b));
    memcpy(a.value.data(), &b, sizeof(b));
    return a;
}

Attribute Attribute::String(const char16_t *name, const std::u16string &v)
{
    Attribute a;
    a.name = name;
    a.type = WMT_TYPE_STRING;
    a.value.resize((v.size() + 1) * sizeof(WCHAR));
    memcpy(a.value.data(), v.c_str(), a.value.size());
    return a;
}

void DropSamples(std::deque<Sample> *q)
{
    for (auto &s : *q) s.buffer->Release();
    q->clear();
}

} // namespace wmr
