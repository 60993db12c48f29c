// COM contract of every class in Ffsplit.ax: created through the registry,
// the interfaces they answer, references back to zero, pins, types they
// accept and refuse, registration through the filter mapper and the
// file-extension entries, and bad files refused by the sources.
#include <catch2/catch.hpp>

#include "ffsplit.h"
#include "graph_helpers.h"

namespace {
struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

struct ClassCase {
    const char* name;
    const GUID* clsid;
    int pinsBeforeLoad;
    bool fileSource;
};
const ClassCase kClasses[] = {
    {"source", &CLSID_FFSource, 0, true},
    {"still", &CLSID_FFStillSource, 0, true},
    {"video decoder", &CLSID_FFVideoDecoder, 2, false},
    {"audio decoder", &CLSID_FFAudioDecoder, 2, false},
    {"asf reader", &CLSID_FFWMAsfReader, 0, true},
    {"synth", &CLSID_FFAudioSynth, 1, false},
    {"acm wrapper stand-in", &CLSID_ACMWrapper, 2, false},
};

int CountPins(IBaseFilter* f) {
    Ptr<IEnumPins> e;
    REQUIRE(f->EnumPins(e.out()) == S_OK);
    int n = 0;
    IPin* p;
    while (e->Next(1, &p, nullptr) == S_OK) {
        ++n;
        p->Release();
    }
    return n;
}
}  // namespace

TEST_CASE("every class is created by class id with the filter interfaces", "[com]") {
    Com com;
    const GUID bogus = {0x12345678, 0x1, 0x2, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const ClassCase& c : kClasses) {
        CAPTURE(c.name);
        IBaseFilter* f = nullptr;
        REQUIRE(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&f) == S_OK);
        CLSID got;
        CHECK(f->GetClassID(&got) == S_OK);
        CHECK(IsEqualGUID(got, *c.clsid));
        for (const IID* iid : {&IID_IUnknown, &IID_IPersist, &IID_IMediaFilter, &IID_IBaseFilter}) {
            IUnknown* u = nullptr;
            CHECK(f->QueryInterface(*iid, (void**)&u) == S_OK);
            if (u) u->Release();
        }
        IUnknown* u = (IUnknown*)0x1;
        CHECK(f->QueryInterface(bogus, (void**)&u) == E_NOINTERFACE);
        CHECK(u == nullptr);
        IFileSourceFilter* fs = nullptr;
        CHECK((f->QueryInterface(IID_IFileSourceFilter, (void**)&fs) == S_OK) == c.fileSource);
        if (fs) {
            LPOLESTR name = (LPOLESTR)0x1;
            CHECK(fs->GetCurFile(&name, nullptr) == S_OK);
            CHECK(name == nullptr);
            CHECK(fs->Load(nullptr, nullptr) == E_POINTER);
            fs->Release();
        }
        IUnknown* params = nullptr;
        CHECK((f->QueryInterface(IID_IAudioSynthParams, (void**)&params) == S_OK) == (c.clsid == &CLSID_FFAudioSynth));
        if (params) params->Release();
        CHECK(CountPins(f) == c.pinsBeforeLoad);
        FILTER_STATE st;
        CHECK(f->GetState(0, &st) == S_OK);
        CHECK(st == State_Stopped);
        f->AddRef();
        CHECK(f->Release() == 1);
        CHECK(f->Release() == 0);
    }
}

TEST_CASE("decoders refuse foreign types and offer RGB24 first / PCM", "[com]") {
    Com com;
    Ptr<IBaseFilter> vdec;
    REQUIRE(CoCreateInstance(CLSID_FFVideoDecoder, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                             (void**)vdec.out()) == S_OK);
    Ptr<IPin> in, out;
    REQUIRE(vdec->FindPin(L"Input", in.out()) == S_OK);
    REQUIRE(vdec->FindPin(L"Output", out.out()) == S_OK);
    AM_MEDIA_TYPE mt = {};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_MPEG1Payload;
    CHECK(in->QueryAccept(&mt) != S_OK);
    mt.subtype = MEDIASUBTYPE_FFStream;
    mt.formattype = FORMAT_FFCodecParams;
    BYTE junk[20] = {};
    mt.pbFormat = junk;
    mt.cbFormat = sizeof junk;
    CHECK(in->QueryAccept(&mt) != S_OK);  // truncated parameter block
    // Unconnected output offers nothing.
    Ptr<IEnumMediaTypes> e;
    REQUIRE(out->EnumMediaTypes(e.out()) == S_OK);
    AM_MEDIA_TYPE* got = nullptr;
    CHECK(e->Next(1, &got, nullptr) != S_OK);
}

TEST_CASE("decoders are found through the filter mapper with their merit", "[registration]") {
    Com com;
    Ptr<IFilterMapper2> mapper;
    REQUIRE(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                             (void**)mapper.out()) == S_OK);
    struct Case { const GUID* major; const GUID* clsid; };
    for (Case c : {Case{&MEDIATYPE_Video, &CLSID_FFVideoDecoder}, Case{&MEDIATYPE_Audio, &CLSID_FFAudioDecoder}}) {
        GUID types[2] = {*c.major, MEDIASUBTYPE_FFStream};
        Ptr<IEnumMoniker> em;
        REQUIRE(mapper->EnumMatchingFilters(em.out(), 0, TRUE, MERIT_UNLIKELY, TRUE, 1, types, nullptr, nullptr,
                                            FALSE, FALSE, 0, nullptr, nullptr, nullptr) == S_OK);
        IMoniker* m = nullptr;
        REQUIRE(em->Next(1, &m, nullptr) == S_OK);  // the best match comes first
        Ptr<IPropertyBag> bag;
        REQUIRE(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, (void**)bag.out()) == S_OK);
        VARIANT v;
        VariantInit(&v);
        REQUIRE(bag->Read(L"CLSID", &v, nullptr) == S_OK);
        CLSID clsid;
        CLSIDFromString(V_BSTR(&v), &clsid);
        CHECK(IsEqualGUID(clsid, *c.clsid));
        VariantClear(&v);
        m->Release();
    }
}

TEST_CASE("the graph manager picks our source for every file the engine opens", "[registration]") {
    Com com;
    // No extension key may shadow the byte patterns (Wine then falls back to
    // its own file reader), and our any-file pattern names our source.
    const char* exts[] = {".avi", ".mov", ".mpg", ".mpeg", ".dat", ".vob", ".wmv", ".asf",
                          ".wma", ".mp3", ".wav", ".bmp", ".jpg", ".gif", ".tga"};
    for (const char* ext : exts) {
        CAPTURE(ext);
        std::string key = std::string("Media Type\\Extensions\\") + ext;
        HKEY k;
        CHECK(RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &k) == ERROR_FILE_NOT_FOUND);
    }
    struct Case { const char* clip; const char* kind; };
    const Case cases[] = {{"bars.avi", "movie"}, {"bars1.mpg", "movie"}, {"bars.dat", "movie"}, {"bars.vob", "movie"},
                          {"bars.wmv", "movie"}, {"bars.asf", "movie"}, {"bars.mov", "movie"}, {"tone.mp3", "movie"},
                          {"tone.wav", "movie"}, {"tone.wma", "movie"}, {"bars.bmp", "still"}, {"bars.jpg", "still"},
                          {"bars.gif", "still"}, {"bars.tga", "still"}};
    for (const Case& c : cases) {
        CAPTURE(c.clip);
        Ptr<IGraphBuilder> graph;
        REQUIRE(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                 (void**)graph.out()) == S_OK);
        std::u16string path = WinPath(clipPath(c.clip));
        Ptr<IBaseFilter> src;
        REQUIRE(graph->AddSourceFilter(W(path), W(path), src.out()) == S_OK);
        CLSID clsid;
        REQUIRE(src->GetClassID(&clsid) == S_OK);
        CHECK(IsEqualGUID(clsid, CLSID_FFSource));
        // A still gives one RGB pin, a movie compressed pins of ours.
        IPin* pin = FindPin(src.get(), PINDIR_OUTPUT, false);
        REQUIRE(pin);
        Ptr<IEnumMediaTypes> e;
        REQUIRE(pin->EnumMediaTypes(e.out()) == S_OK);
        AM_MEDIA_TYPE* mt = nullptr;
        REQUIRE(e->Next(1, &mt, nullptr) == S_OK);
        if (std::string(c.kind) == "still") CHECK(IsEqualGUID(mt->subtype, MEDIASUBTYPE_RGB24));
        else CHECK(IsEqualGUID(mt->subtype, MEDIASUBTYPE_FFStream));
        CoTaskMemFree(mt->pbFormat);
        CoTaskMemFree(mt);
        pin->Release();
    }
}

TEST_CASE("sources refuse bad files with an error and no pins", "[bad]") {
    Com com;
    struct Case { const char* file; const GUID* clsid; };
    const Case cases[] = {
        {"missing.avi", &CLSID_FFSource}, {"zero.avi", &CLSID_FFSource}, {"text.avi", &CLSID_FFSource},
        {"missing.jpg", &CLSID_FFStillSource}, {"text.avi", &CLSID_FFStillSource}, {"zero.avi", &CLSID_FFWMAsfReader},
        {"bars.avi", &CLSID_FFStillSource},  // a movie is no still
    };
    for (const Case& c : cases) {
        CAPTURE(c.file);
        Ptr<IBaseFilter> f;
        REQUIRE(CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)f.out()) == S_OK);
        Ptr<IFileSourceFilter> fs;
        REQUIRE(f.as(IID_IFileSourceFilter, fs) == S_OK);
        std::u16string path = WinPath(clipPath(c.file));
        CHECK(FAILED(fs->Load(W(path), nullptr)));
        CHECK(CountPins(f.get()) == 0);
    }
    SECTION("a truncated file loads with pins or fails, never crashes") {
        Ptr<IBaseFilter> f;
        REQUIRE(CoCreateInstance(CLSID_FFSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)f.out()) == S_OK);
        Ptr<IFileSourceFilter> fs;
        REQUIRE(f.as(IID_IFileSourceFilter, fs) == S_OK);
        std::u16string path = WinPath(clipPath("trunc.avi"));
        HRESULT hr = fs->Load(W(path), nullptr);
        CHECK((SUCCEEDED(hr) ? CountPins(f.get()) > 0 : CountPins(f.get()) == 0));
    }
}

TEST_CASE("a source loads a file once and reports it", "[com]") {
    Com com;
    Ptr<IBaseFilter> f;
    REQUIRE(CoCreateInstance(CLSID_FFSource, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)f.out()) == S_OK);
    Ptr<IFileSourceFilter> fs;
    REQUIRE(f.as(IID_IFileSourceFilter, fs) == S_OK);
    std::u16string path = WinPath(clipPath("bars.avi"));
    REQUIRE(fs->Load(W(path), nullptr) == S_OK);
    CHECK(CountPins(f.get()) == 2);
    CHECK(fs->Load(W(path), nullptr) == E_UNEXPECTED);
    LPOLESTR name = nullptr;
    AM_MEDIA_TYPE mt = {};
    REQUIRE(fs->GetCurFile(&name, &mt) == S_OK);
    CHECK(lstrcmpW(name, W(path)) == 0);
    CHECK(IsEqualGUID(mt.majortype, MEDIATYPE_Stream));
    CoTaskMemFree(name);
    // Pins answer IMediaSeeking with the file's duration.
    Ptr<IPin> pin;
    REQUIRE(f->FindPin(L"Video", pin.out()) == S_OK);
    Ptr<IMediaSeeking> ms;
    REQUIRE(pin.as(IID_IMediaSeeking, ms) == S_OK);
    LONGLONG d = 0;
    REQUIRE(ms->GetDuration(&d) == S_OK);
    CHECK(std::llabs(d - 20000000) < 1000000);
}

TEST_CASE("the synthesizer checks its parameters", "[com]") {
    Com com;
    Ptr<IBaseFilter> f;
    REQUIRE(CoCreateInstance(CLSID_FFAudioSynth, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)f.out()) == S_OK);
    Ptr<IAudioSynthParams> p;
    REQUIRE(f.as(IID_IAudioSynthParams, p) == S_OK);
    struct Case { HRESULT (STDMETHODCALLTYPE IAudioSynthParams::*set)(int); int value; HRESULT expect; };
    const Case cases[] = {
        {&IAudioSynthParams::SetAmplitude, 0, S_OK},       {&IAudioSynthParams::SetAmplitude, 101, E_INVALIDARG},
        {&IAudioSynthParams::SetBitsPerSample, 16, S_OK},  {&IAudioSynthParams::SetBitsPerSample, 12, E_INVALIDARG},
        {&IAudioSynthParams::SetChannels, 2, S_OK},        {&IAudioSynthParams::SetChannels, 3, E_INVALIDARG},
        {&IAudioSynthParams::SetFrequency, 440, S_OK},     {&IAudioSynthParams::SetFrequency, 0, E_INVALIDARG},
        {&IAudioSynthParams::SetOutputFormat, 0, S_OK},    {&IAudioSynthParams::SetOutputFormat, 1, E_INVALIDARG},
        {&IAudioSynthParams::SetSamplesPerSec, 22050, S_OK}, {&IAudioSynthParams::SetSamplesPerSec, 100, E_INVALIDARG},
        {&IAudioSynthParams::SetWaveform, 0, S_OK},        {&IAudioSynthParams::SetWaveform, 7, E_INVALIDARG},
    };
    for (const Case& c : cases) {
        CAPTURE(c.value);
        CHECK((p.get()->*c.set)(c.value) == c.expect);
    }
    Ptr<IPin> out;
    REQUIRE(f->FindPin(L"Audio Output", out.out()) == S_OK);
    Ptr<IEnumMediaTypes> e;
    REQUIRE(out->EnumMediaTypes(e.out()) == S_OK);
    AM_MEDIA_TYPE* mt = nullptr;
    REQUIRE(e->Next(1, &mt, nullptr) == S_OK);
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(mt->pbFormat);
    CHECK(wf->nSamplesPerSec == 22050);
    CHECK(wf->nChannels == 2);
    CHECK(wf->wBitsPerSample == 16);
    CHECK(wf->nAvgBytesPerSec == 88200);
    CHECK(wf->nBlockAlign == 4);
    CoTaskMemFree(mt->pbFormat);
    CoTaskMemFree(mt);
}
