// The MPEG-2 video decoder filter: made through the registry by its class
// id, registered so no intelligent connect picks it, it takes the FFmpeg
// source's MPEG-2 video pin and refuses other video, and a graph of source
// -> decoder -> RGB24 grabber decodes the program stream's picture.
#include <catch2/catch.hpp>

#include "ffsplit.h"
#include "mpeg2dec_ids.h"
#include "graph_helpers.h"

namespace {
struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

std::u16string Clip(const char* name) {
    const char* d = std::getenv("MPEG2CLIPS");
    return WinPath(std::string(d && *d ? d : "/tmp/mpeg2clips") + "/" + name);
}

// A graph holding the FFmpeg source loaded with the clip and the decoder.
struct Graph {
    Ptr<IGraphBuilder> g;
    Ptr<IBaseFilter> source, decoder;
    explicit Graph(const char* clip) {
        REQUIRE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                 (void**)g.out()) == S_OK);
        REQUIRE(CoCreateInstance(CLSID_FFSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                 (void**)source.out()) == S_OK);
        REQUIRE(g->AddFilter(source.get(), L"Source") == S_OK);
        Ptr<IFileSourceFilter> fs;
        REQUIRE(source.as(IID_IFileSourceFilter, fs) == S_OK);
        REQUIRE(fs->Load(W(Clip(clip)), nullptr) == S_OK);
        REQUIRE(CoCreateInstance(CLSID_Mpeg2VideoDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                 (void**)decoder.out()) == S_OK);
        REQUIRE(g->AddFilter(decoder.get(), L"MPEG-2 decoder") == S_OK);
    }
    HRESULT ConnectVideo() {
        Ptr<IPin> out, in;
        *out.out() = FindPin(source.get(), PINDIR_OUTPUT, true, &MEDIATYPE_Video);
        *in.out() = FindPin(decoder.get(), PINDIR_INPUT, true);
        if (!out || !in) return E_FAIL;
        return g->ConnectDirect(out.get(), in.get(), nullptr);
    }
};
}  // namespace

TEST_CASE("The decoder is made by its class id and registered for no intelligent connect", "[mpeg2dec]") {
    Com com;
    Ptr<IBaseFilter> f;
    REQUIRE(CoCreateInstance(CLSID_Mpeg2VideoDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             (void**)f.out()) == S_OK);
    CLSID id;
    REQUIRE(f->GetClassID(&id) == S_OK);
    CHECK(IsEqualGUID(id, CLSID_Mpeg2VideoDecoder));

    Ptr<IFilterMapper2> mapper;
    REQUIRE(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                             (void**)mapper.out()) == S_OK);
    Ptr<IEnumMoniker> e;
    GUID types[] = {MEDIATYPE_Video, MEDIASUBTYPE_FFStream};
    REQUIRE(SUCCEEDED(mapper->EnumMatchingFilters(e.out(), 0, FALSE, MERIT_UNLIKELY, TRUE, 1, types, nullptr, nullptr,
                                                  FALSE, FALSE, 0, nullptr, nullptr, nullptr)));
    bool listed = false;
    IMoniker* m = nullptr;
    while (e->Next(1, &m, nullptr) == S_OK) {
        Ptr<IPropertyBag> bag;
        if (SUCCEEDED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, (void**)bag.out()))) {
            VARIANT v;
            VariantInit(&v);
            if (SUCCEEDED(bag->Read(L"CLSID", &v, nullptr)) && V_VT(&v) == VT_BSTR) {
                CLSID c;
                if (SUCCEEDED(CLSIDFromString(V_BSTR(&v), &c)) && IsEqualGUID(c, CLSID_Mpeg2VideoDecoder)) listed = true;
            }
            VariantClear(&v);
        }
        m->Release();
    }
    CHECK_FALSE(listed);
}

TEST_CASE("MPEG-2 video from a program stream connects; other video is refused", "[mpeg2dec]") {
    Com com;
    {
        Graph g("halves.vob");
        CHECK(g.ConnectVideo() == S_OK);
    }
    {
        Graph g("halves.avi");   // MPEG-4 part 2
        CHECK(FAILED(g.ConnectVideo()));
    }
}

TEST_CASE("The program stream's pictures arrive as RGB24 with their colours", "[mpeg2dec]") {
    Com com;
    Graph g("halves.vob");
    REQUIRE(g.ConnectVideo() == S_OK);
    Recorder rec;
    Ptr<IBaseFilter> grabFilter, renderer;
    Ptr<ISampleGrabber> grabber;
    REQUIRE(MakeGrabber(g.g.get(), true, &rec, L"Video Grabber", grabFilter, grabber) == S_OK);
    REQUIRE(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             (void**)renderer.out()) == S_OK);
    REQUIRE(g.g->AddFilter(renderer.get(), L"Null") == S_OK);
    {
        Ptr<IPin> out, in, gout, rin;
        *out.out() = FindPin(g.decoder.get(), PINDIR_OUTPUT, true);
        *in.out() = FindPin(grabFilter.get(), PINDIR_INPUT, true);
        REQUIRE(g.g->Connect(out.get(), in.get()) == S_OK);
        *gout.out() = FindPin(grabFilter.get(), PINDIR_OUTPUT, true);
        *rin.out() = FindPin(renderer.get(), PINDIR_INPUT, true);
        REQUIRE(g.g->Connect(gout.get(), rin.get()) == S_OK);
    }
    AM_MEDIA_TYPE mt = {};
    REQUIRE(grabber->GetConnectedMediaType(&mt) == S_OK);
    CHECK(IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB24));
    REQUIRE(IsEqualGUID(mt.formattype, FORMAT_VideoInfo));
    const BITMAPINFOHEADER bih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
    CoTaskMemFree(mt.pbFormat);
    CHECK(bih.biWidth == 320);
    CHECK(bih.biHeight == 240);

    // The audio pin is left to a null renderer of its own.
    Ptr<IPin> aout;
    *aout.out() = FindPin(g.source.get(), PINDIR_OUTPUT, true, &MEDIATYPE_Audio);
    if (aout) g.g->Render(aout.get());

    Ptr<IMediaControl> mc;
    REQUIRE(g.g.as(IID_IMediaControl, mc) == S_OK);
    REQUIRE(SUCCEEDED(mc->Run()));
    CHECK(WaitForCompletion(g.g.get(), 20000) == EC_COMPLETE);
    mc->Stop();
    const auto got = rec.snapshot();
    CHECK(got.size() >= 40);   // 2 s at 25 pictures a second, give or take the ends
    REQUIRE(rec.first.size() >= (size_t)320 * 240 * 3);
    // Bottom-up BGR rows: the middle row, a quarter and three quarters across.
    const BYTE* row = rec.first.data() + (size_t)120 * 320 * 3;
    const BYTE* left = row + 80 * 3;
    const BYTE* right = row + 240 * 3;
    INFO("left " << int(left[2]) << "," << int(left[1]) << "," << int(left[0]) << " right " << int(right[2]) << ","
                 << int(right[1]) << "," << int(right[0]));
    CHECK((left[2] > 200 && left[1] < 50 && left[0] < 50));
    CHECK((right[0] > 200 && right[1] < 50 && right[2] < 50));
}
