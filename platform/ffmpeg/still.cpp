// Still pictures (.bmp .jpg .gif .tga): decoded once when the file is loaded
// and sent as one RGB frame each time streaming starts or after a seek,
// followed by end of stream.  The engine keeps the picture in its channel
// surface and repaints it at the pace of the (silent) audio.
#include "ffshell.h"

#include <vfwmsgs.h>
#include <cstring>

namespace ffds {

static bool DecodePicture(const std::string& path, ffcore::PixelOut f, ffcore::Picture* pic, std::string* err) {
    ffcore::Demuxer dm;
    if (!dm.open(path, err)) return false;
    if (dm.bestVideo() < 0) {
        *err = "no picture in the file";
        return false;
    }
    const ffcore::StreamInfo& si = dm.streams()[dm.bestVideo()];
    ffcore::VideoDecoder vd;
    if (!vd.open(si.params, si.extradata, err)) return false;
    ffcore::Packet pkt;
    while (dm.read(&pkt)) {
        if (pkt.stream != si.index) continue;
        vd.send(pkt.data.data(), pkt.data.size(), 0, 1);
        if (vd.receive(f, pic)) return true;
    }
    vd.sendEnd();
    if (vd.receive(f, pic)) return true;
    *err = "the picture does not decode";
    return false;
}

HRESULT Splitter::OpenStill(const std::string& path) {
    std::string err;
    if (!DecodePicture(path, ffcore::PixelOut::BGR24, &rgb24_, &err) ||
        !DecodePicture(path, ffcore::PixelOut::BGRA32, &rgb32_, &err)) {
        DSB_WARN(ch, "%s: %s", path.c_str(), err.c_str());
        return VFW_E_UNSUPPORTED_STREAM;
    }
    still_ = true;
    static const WCHAR kVideo[] = {'V', 'i', 'd', 'e', 'o', 0};
    HRESULT hr = AddStream(kVideo);
    return hr;
}

HRESULT Splitter::StillMediaType(int pos, AM_MEDIA_TYPE* mt) {
    if (pos < 0) return E_INVALIDARG;
    if (pos > 1) return VFW_S_NO_MORE_ITEMS;
    return MakeRgbType(rgb24_.width, rgb24_.height, pos == 0 ? ffcore::PixelOut::BGR24 : ffcore::PixelOut::BGRA32,
                       400000, mt);
}

HRESULT Splitter::StillBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) {
    ALLOCATOR_PROPERTIES want = *props, got;
    want.cbBuffer = std::max<LONG>(want.cbBuffer, LONG(rgb32_.bits.size()));
    want.cBuffers = std::max<LONG>(want.cBuffers, 1);
    want.cbAlign = std::max<LONG>(want.cbAlign, 1);
    HRESULT hr = alloc->SetProperties(&want, &got);
    if (FAILED(hr)) return hr;
    return got.cbBuffer < want.cbBuffer ? E_FAIL : S_OK;
}

HRESULT Splitter::StillFill(IMediaSample* sample) {
    if (InterlockedExchange(&sent_, 1)) return S_FALSE;  // the one picture went out
    ffcore::PixelOut f;
    if (!ReadRgbType(&Stream(0)->CurrentType(), rgb24_.width, rgb24_.height, &f)) return VFW_E_INVALIDMEDIATYPE;
    const ffcore::Picture& pic = f == ffcore::PixelOut::BGR24 ? rgb24_ : rgb32_;
    BYTE* data = nullptr;
    HRESULT hr = sample->GetPointer(&data);
    if (FAILED(hr)) return hr;
    if (sample->GetSize() < LONG(pic.bits.size())) return E_UNEXPECTED;
    std::memcpy(data, pic.bits.data(), pic.bits.size());
    sample->SetActualDataLength(LONG(pic.bits.size()));
    REFERENCE_TIME s = 0, e = 400000;
    sample->SetTime(&s, &e);
    sample->SetSyncPoint(TRUE);
    sample->SetDiscontinuity(TRUE);
    return S_OK;
}

}  // namespace ffds
