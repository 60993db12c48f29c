// The colour space converter: RGB24 or RGB32 pictures in, RGB24 or RGB32
// out at the same size, rows bottom-up.  Wine has none; the capture graphs
// put one before their RGB24 grabbers.
#include "capdevs.h"

#include <algorithm>
#include <new>

namespace capdevs {
namespace {

const WCHAR kIn[] = {'I', 'n', 'p', 'u', 't', 0};
const WCHAR kOut[] = {'O', 'u', 't', 'p', 'u', 't', 0};

// Width, height and bits of an uncompressed bottom-up RGB24/RGB32 type.
bool ReadRgb(const AM_MEDIA_TYPE* mt, int* w, int* h, int* bits) {
    if (!mt || !IsEqualGUID(mt->majortype, MEDIATYPE_Video) || !IsEqualGUID(mt->formattype, FORMAT_VideoInfo) ||
        !mt->pbFormat || mt->cbFormat < sizeof(VIDEOINFOHEADER))
        return false;
    const BITMAPINFOHEADER& b = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    int n = IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24) ? 24 : IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB32) ? 32 : 0;
    if (!n || b.biBitCount != n || b.biCompression != BI_RGB || b.biWidth <= 0 || b.biHeight <= 0 ||
        b.biWidth > 16384 || b.biHeight > 16384)
        return false;
    *w = b.biWidth;
    *h = b.biHeight;
    *bits = n;
    return true;
}

LONG Stride(int w, int bits) { return ((w * bits / 8) + 3) & ~3; }

class ColourConverter : public dsb::TransformFilter {
public:
    explicit ColourConverter(IUnknown* outer) : dsb::TransformFilter(CLSID_ColourConverter_Corv, outer) {}
    HRESULT Start() { return CreatePins(kIn, kOut); }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override {
        int w, h, b;
        return ReadRgb(mt, &w, &h, &b) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override {
        int w1, h1, b1, w2, h2, b2;
        if (!ReadRgb(in, &w1, &h1, &b1) || !ReadRgb(out, &w2, &h2, &b2)) return VFW_E_TYPE_NOT_ACCEPTED;
        return w1 == w2 && h1 == h2 ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int pos, AM_MEDIA_TYPE* mt) override {
        if (!Input()->IsConnected()) return VFW_E_NOT_CONNECTED;
        if (pos < 0) return E_INVALIDARG;
        if (pos > 1) return VFW_S_NO_MORE_ITEMS;
        HRESULT hr = dsb::CopyMediaType(mt, &Input()->CurrentType());
        if (FAILED(hr)) return hr;
        const int bits = pos == 0 ? 24 : 32;
        auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
        vih->bmiHeader.biBitCount = (WORD)bits;
        vih->bmiHeader.biSizeImage = Stride(vih->bmiHeader.biWidth, bits) * vih->bmiHeader.biHeight;
        mt->subtype = bits == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB32;
        mt->lSampleSize = vih->bmiHeader.biSizeImage;
        mt->bFixedSizeSamples = TRUE;
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override {
        int w, h, b;
        if (!ReadRgb(&Output()->CurrentType(), &w, &h, &b)) return E_UNEXPECTED;
        ALLOCATOR_PROPERTIES want = *props, got;
        want.cbBuffer = std::max(want.cbBuffer, Stride(w, b) * h);
        want.cBuffers = std::max(want.cBuffers, (LONG)2);
        want.cbAlign = std::max(want.cbAlign, (LONG)1);
        HRESULT hr = alloc->SetProperties(&want, &got);
        if (FAILED(hr)) return hr;
        return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override {
        int w, h, bi, bo;
        if (!ReadRgb(&Input()->CurrentType(), &w, &h, &bi) || !ReadRgb(&Output()->CurrentType(), &w, &h, &bo))
            return E_UNEXPECTED;
        BYTE *src = nullptr, *dst = nullptr;
        in->GetPointer(&src);
        out->GetPointer(&dst);
        const LONG si = Stride(w, bi), so = Stride(w, bo);
        if (in->GetActualDataLength() < si * h || out->GetSize() < so * h) return E_FAIL;
        const int pi = bi / 8, po = bo / 8;
        for (int y = 0; y < h; y++) {
            const BYTE* s = src + (LONGLONG)y * si;
            BYTE* d = dst + (LONGLONG)y * so;
            if (pi == po) {
                memcpy(d, s, (size_t)w * pi);
                continue;
            }
            for (int x = 0; x < w; x++, s += pi, d += po) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                if (po == 4) d[3] = 0;
            }
        }
        out->SetActualDataLength(so * h);
        return S_OK;
    }
};

}  // namespace

HRESULT CreateColourConverter(IUnknown* outer, dsb::ComObject** obj) {
    return CreateStarted<ColourConverter>(outer, obj);
}

}  // namespace capdevs
