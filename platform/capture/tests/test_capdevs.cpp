// The stand-in capture devices: listed by the system device enumerator in
// their categories, found by the capture graph builder through their pin
// category, formats through IAMStreamConfig, live pictures of the moving
// pattern with their frame numbers, a continuous 1 kHz tone, and the
// colour converter.
#define NOMINMAX
#include <catch2/catch.hpp>
#include <windows.h>
#include <psapi.h>
#include <dshow.h>
#include <qedit.h>
#include <uuids.h>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "capdevs.h"
#include "dvcodec.h"
#include "msgbox_capture.h"
#include <ocidl.h>
#include <olectl.h>
#include "ext_device.h"

namespace {

const GUID IID_ICreateDevEnum_T = {0x29840822, 0x5b84, 0x11d0, {0xbd, 0x3b, 0x00, 0xa0, 0xc9, 0x11, 0xce, 0x86}};

struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }
    ~Com() { CoUninitialize(); }
};

template <class T> void rel(T*& p) { if (p) p->Release(); p = nullptr; }

// The friendly name both stand-in camcorders are listed under.
const char kDvName[] = "Microsoft DV Camera and VCR";

// Friendly names of a category and the filter bound from the named entry.
std::vector<std::string> Listed(REFCLSID category, const char* bindName = nullptr, IBaseFilter** bound = nullptr) {
    std::vector<std::string> names;
    ICreateDevEnum* dev = nullptr;
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum_T,
                                       (void**)&dev)));
    IEnumMoniker* en = nullptr;
    if (dev->CreateClassEnumerator(category, &en, 0) == S_OK) {
        IMoniker* m;
        while (en->Next(1, &m, nullptr) == S_OK) {
            IPropertyBag* bag = nullptr;
            char name[256] = "";
            if (SUCCEEDED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, (void**)&bag))) {
                VARIANT v;
                VariantInit(&v);
                if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && V_VT(&v) == VT_BSTR)
                    WideCharToMultiByte(CP_ACP, 0, V_BSTR(&v), -1, name, sizeof name, nullptr, nullptr);
                VariantClear(&v);
                bag->Release();
            }
            names.push_back(name);
            if (bindName && bound && !*bound && names.back() == bindName)
                m->BindToObject(nullptr, nullptr, IID_IBaseFilter, (void**)bound);
            m->Release();
        }
        en->Release();
    }
    dev->Release();
    return names;
}

class Grab : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) { *ppv = this; return S_OK; }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* s) override {
        REFERENCE_TIME a = -1, b = -1;
        s->GetTime(&a, &b);
        BYTE* p = nullptr;
        s->GetPointer(&p);
        std::lock_guard<std::mutex> l(m);
        starts.push_back(a);
        last.assign(p, p + s->GetActualDataLength());
        if (keepAll) all.insert(all.end(), p, p + s->GetActualDataLength());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
    std::mutex m;
    std::vector<REFERENCE_TIME> starts;
    std::vector<BYTE> last, all;
    bool keepAll = false;
};

// device -> [converter ->] RGB24 / PCM grabber -> null renderer.
struct Chain {
    IGraphBuilder* g = nullptr;
    IBaseFilter *grabFilter = nullptr, *null = nullptr;
    ISampleGrabber* grabber = nullptr;
    Grab cb;
    Chain(IBaseFilter* device, bool video, IBaseFilter* between = nullptr) {
        REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&g)));
        REQUIRE(SUCCEEDED(g->AddFilter(device, L"Device")));
        REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&grabFilter)));
        grabFilter->QueryInterface(IID_ISampleGrabber, (void**)&grabber);
        AM_MEDIA_TYPE mt = {};
        mt.majortype = video ? MEDIATYPE_Video : MEDIATYPE_Audio;
        mt.subtype = video ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_PCM;
        grabber->SetMediaType(&mt);
        grabber->SetCallback(&cb, 0);
        REQUIRE(SUCCEEDED(g->AddFilter(grabFilter, L"Grabber")));
        REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&null)));
        REQUIRE(SUCCEEDED(g->AddFilter(null, L"Null")));
        IBaseFilter* up = device;
        if (between) {
            REQUIRE(SUCCEEDED(g->AddFilter(between, L"Between")));
            REQUIRE(SUCCEEDED(Join(device, between)));
            up = between;
        }
        REQUIRE(SUCCEEDED(Join(up, grabFilter)));
        REQUIRE(SUCCEEDED(Join(grabFilter, null)));
    }
    ~Chain() {
        IMediaControl* mc = nullptr;
        g->QueryInterface(IID_IMediaControl, (void**)&mc);
        mc->Stop();
        mc->Release();
        rel(grabber); rel(grabFilter); rel(null); rel(g);
    }
    static IPin* PinOf(IBaseFilter* f, PIN_DIRECTION want) {
        IEnumPins* e = nullptr;
        f->EnumPins(&e);
        IPin* p;
        while (e->Next(1, &p, nullptr) == S_OK) {
            PIN_DIRECTION d;
            p->QueryDirection(&d);
            if (d == want) { e->Release(); return p; }
            p->Release();
        }
        e->Release();
        return nullptr;
    }
    HRESULT Join(IBaseFilter* a, IBaseFilter* b) {
        IPin *o = PinOf(a, PINDIR_OUTPUT), *i = PinOf(b, PINDIR_INPUT);
        HRESULT hr = o && i ? g->ConnectDirect(o, i, nullptr) : E_FAIL;
        rel(o); rel(i);
        return hr;
    }
    void Run(DWORD ms) {
        IMediaControl* mc = nullptr;
        g->QueryInterface(IID_IMediaControl, (void**)&mc);
        REQUIRE(SUCCEEDED(mc->Run()));
        Sleep(ms);
        mc->Stop();
        mc->Release();
    }
    AM_MEDIA_TYPE Type() {
        AM_MEDIA_TYPE mt = {};
        REQUIRE(grabber->GetConnectedMediaType(&mt) == S_OK);
        return mt;
    }
};

}  // namespace

TEST_CASE("The devices are listed in their categories and bind to their filters", "[capdevs]") {
    Com com;
    IBaseFilter* cam = nullptr;
    auto video = Listed(CLSID_VideoInputDeviceCategory, "Test Pattern Camera", &cam);
    CHECK(std::count(video.begin(), video.end(), "Test Pattern Camera") == 1);
    REQUIRE(cam);
    CLSID id;
    cam->GetClassID(&id);
    CHECK(IsEqualGUID(id, CLSID_TestPatternCamera));
    IBaseFilter* mic = nullptr;
    auto audio = Listed(CLSID_AudioInputDeviceCategory, "Tone Microphone", &mic);
    CHECK(std::count(audio.begin(), audio.end(), "Tone Microphone") == 1);
    REQUIRE(mic);

    /* The capture graph builder finds the capture pin's stream configuration. */
    IGraphBuilder* g = nullptr;
    ICaptureGraphBuilder2* cgb = nullptr;
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&g)));
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2, (void**)&cgb)));
    cgb->SetFiltergraph(g);
    g->AddFilter(cam, L"Camera");
    IAMStreamConfig* cfg = nullptr;
    CHECK(SUCCEEDED(cgb->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, cam, IID_IAMStreamConfig, (void**)&cfg)));
    REQUIRE(cfg);
    int count = 0, size = 0;
    CHECK(cfg->GetNumberOfCapabilities(&count, &size) == S_OK);
    CHECK(count == 4);
    CHECK(size == (int)sizeof(VIDEO_STREAM_CONFIG_CAPS));
    VIDEO_STREAM_CONFIG_CAPS caps = {};
    AM_MEDIA_TYPE* mt = nullptr;
    REQUIRE(cfg->GetStreamCaps(1, &mt, reinterpret_cast<BYTE*>(&caps)) == S_OK);
    CHECK(caps.MaxOutputSize.cx == 640);
    CHECK(reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader.biHeight == 480);
    CHECK(cfg->GetStreamCaps(4, &mt, reinterpret_cast<BYTE*>(&caps)) == S_FALSE);
    rel(cfg);
    g->RemoveFilter(cam);
    rel(cgb); rel(g); rel(cam); rel(mic);
}

TEST_CASE("The camera sends the moving pattern live, numbered and stamped on the graph clock", "[capdevs]") {
    Com com;
    IBaseFilter* cam = nullptr;
    Listed(CLSID_VideoInputDeviceCategory, "Test Pattern Camera", &cam);
    REQUIRE(cam);
    struct Case { int w, h; };
    for (Case c : {Case{320, 240}, Case{640, 480}}) {
        INFO(c.w << " x " << c.h);
        if (c.w != 320) {
            /* A format chosen through the stream configuration before connecting. */
            IEnumPins* e = nullptr;
            cam->EnumPins(&e);
            IPin* pin = nullptr;
            e->Next(1, &pin, nullptr);
            e->Release();
            IAMStreamConfig* cfg = nullptr;
            REQUIRE(SUCCEEDED(pin->QueryInterface(IID_IAMStreamConfig, (void**)&cfg)));
            VIDEO_STREAM_CONFIG_CAPS caps;
            AM_MEDIA_TYPE* mt = nullptr;
            REQUIRE(cfg->GetStreamCaps(1, &mt, reinterpret_cast<BYTE*>(&caps)) == S_OK);
            CHECK(cfg->SetFormat(mt) == S_OK);
            CoTaskMemFree(mt->pbFormat);
            CoTaskMemFree(mt);
            rel(cfg);
            rel(pin);
        }
        Chain chain(cam, true);
        AM_MEDIA_TYPE mt = chain.Type();
        const BITMAPINFOHEADER b = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
        CoTaskMemFree(mt.pbFormat);
        CHECK(b.biWidth == c.w);
        CHECK(b.biHeight == c.h);
        chain.Run(1000);
        std::lock_guard<std::mutex> l(chain.cb.m);
        const auto& t = chain.cb.starts;
        CHECK(t.size() >= 15);        /* about 25 a second, whatever the load */
        CHECK(t.size() <= 30);
        for (size_t i = 1; i < t.size(); i++) CHECK(t[i] > t[i - 1]);
        REQUIRE(chain.cb.last.size() == (size_t)c.w * c.h * 3);
        /* The last picture is the pattern of its frame number. */
        std::vector<DWORD> px((size_t)c.w * c.h);
        for (int y = 0; y < c.h; y++)
            for (int x = 0; x < c.w; x++) {
                const BYTE* s = &chain.cb.last[((size_t)(c.h - 1 - y) * c.w + x) * 3];
                px[(size_t)y * c.w + x] = (s[2] << 16) | (s[1] << 8) | s[0];
            }
        const LONGLONG n = capdevs::ReadPatternCounter(px.data(), c.w, c.h, c.w);
        CHECK(n == (LONGLONG)t.size() - 1);
        std::vector<BYTE> want((size_t)c.w * c.h * 3);
        capdevs::RenderPattern(n, c.w, c.h, want.data());
        CHECK(want == chain.cb.last);
    }
    rel(cam);
}

TEST_CASE("The microphone sends a continuous 1 kHz tone in 100 ms buffers", "[capdevs]") {
    Com com;
    IBaseFilter* mic = nullptr;
    Listed(CLSID_AudioInputDeviceCategory, "Tone Microphone", &mic);
    REQUIRE(mic);
    {
        Chain chain(mic, false);
        chain.cb.keepAll = true;
        AM_MEDIA_TYPE mt = chain.Type();
        const WAVEFORMATEX wf = *reinterpret_cast<WAVEFORMATEX*>(mt.pbFormat);
        CoTaskMemFree(mt.pbFormat);
        CHECK(wf.nSamplesPerSec == 44100);
        CHECK(wf.nChannels == 2);
        chain.Run(700);
        std::lock_guard<std::mutex> l(chain.cb.m);
        REQUIRE(chain.cb.starts.size() >= 3);
        for (size_t i = 1; i < chain.cb.starts.size(); i++) CHECK(chain.cb.starts[i] - chain.cb.starts[i - 1] >= 1000000);
        const short* s = reinterpret_cast<const short*>(chain.cb.all.data());
        const size_t frames = chain.cb.all.size() / 4;
        size_t rises = 0;
        for (size_t i = 1; i < frames; i++) rises += s[2 * (i - 1)] < 0 && s[2 * i] >= 0;
        const double seconds = double(frames) / 44100;
        CHECK(std::fabs(rises / seconds - 1000.0) < 15.0);
        CHECK(chain.cb.all.size() == chain.cb.starts.size() * 17640);
    }
    rel(mic);
}

TEST_CASE("The colour converter passes RGB24 through and offers RGB32", "[capdevs]") {
    Com com;
    IBaseFilter *cam = nullptr, *conv = nullptr;
    Listed(CLSID_VideoInputDeviceCategory, "Test Pattern Camera", &cam);
    REQUIRE(cam);
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_ColourConverter_Corv, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&conv)));
    {
        Chain chain(cam, true, conv);
        chain.Run(400);
        std::lock_guard<std::mutex> l(chain.cb.m);
        REQUIRE(!chain.cb.starts.empty());
        std::vector<BYTE> want(320 * 240 * 3);
        capdevs::RenderPattern((LONGLONG)chain.cb.starts.size() - 1, 320, 240, want.data());
        CHECK(want == chain.cb.last);
    }
    rel(conv);
    rel(cam);
}

TEST_CASE("The DV camcorder's tape runs with its transport mode and reads as timecode", "[capdevs][dv]") {
    Com com;
    IBaseFilter* dv = nullptr;
    auto video = Listed(CLSID_VideoInputDeviceCategory, kDvName, &dv);
    REQUIRE(dv);
    IExtTransport* t = nullptr;
    IExtTimecodeReader* tc = nullptr;
    REQUIRE(SUCCEEDED(dv->QueryInterface(IID_IAMExtTransport_Corv, (void**)&t)));
    REQUIRE(SUCCEEDED(dv->QueryInterface(IID_IAMTimecodeReader_Corv, (void**)&tc)));
    auto seconds = [&]() {
        ExtTimecodeSample s = {};
        REQUIRE(tc->GetTimecode(&s) == S_OK);
        const DWORD v = s.timecode.frames;
        auto d = [](DWORD b) { return (int)((b >> 4) & 15) * 10 + (int)(b & 15); };
        CHECK(d(v & 0xFF) < 25);
        return d(v >> 24) * 3600 + d((v >> 16) & 0xFF) * 60 + d((v >> 8) & 0xFF);
    };
    long mode = 0;
    CHECK(t->get_Mode(&mode) == S_OK);
    CHECK(mode == EXT_MODE_STOP);
    CHECK(seconds() == 0);
    CHECK(t->put_Mode(EXT_MODE_PLAY_FASTEST_FWD) == S_OK);
    Sleep(1200);
    CHECK(t->put_Mode(EXT_MODE_FREEZE) == S_OK);
    const int at = seconds();
    CHECK(at >= 11);                 /* ten times as fast */
    Sleep(300);
    CHECK(seconds() == at);          /* frozen */
    CHECK(t->put_Mode(EXT_MODE_REW) == S_OK);
    Sleep(1500);
    CHECK(seconds() == 0);           /* not before the start of the tape */
    CHECK(t->put_Mode(12345) == E_INVALIDARG);
    t->get_Mode(&mode);
    CHECK(mode == EXT_MODE_REW);
    t->Release();
    tc->Release();
    rel(dv);
}

TEST_CASE("DV frames carry the picture and the sound; bad frames are refused", "[capdevs][dv]") {
    using namespace capdevs;
    DvEncoder enc;
    DvDecoder dec;
    const LONG stride = (kDvWidth * 3 + 3) & ~3;
    std::vector<BYTE> pic((size_t)stride * kDvHeight), frame(kDvFrameBytes);
    std::vector<int16_t> pcm(kDvSamplesPerFrame * 2);
    int made = 0;
    for (int n = 0; n < 4; n++) {
        RenderPattern(1000 + n, kDvWidth, kDvHeight, pic.data());
        for (int i = 0; i < kDvSamplesPerFrame; i++)
            pcm[2 * i] = pcm[2 * i + 1] =
                (int16_t)std::lround(8192.0 * std::sin(2.0 * 3.14159265358979 * 1000.0 * (n * kDvSamplesPerFrame + i) / kDvRate));
        if (enc.Encode(pic.data(), pcm.data(), frame.data())) made++;
    }
    REQUIRE(made >= 3);
    /* The last frame made: its picture's counter and its sound. */
    std::vector<BYTE> rgb((size_t)(320 * 4) * 240);
    REQUIRE(dec.Picture(frame.data(), kDvFrameBytes, rgb.data(), 320, 240, 4));
    std::vector<DWORD> top(320 * 240);
    for (int y = 0; y < 240; y++) memcpy(&top[(size_t)y * 320], &rgb[(size_t)(239 - y) * 320 * 4], 320 * 4);
    const LONGLONG counter = ReadPatternCounter(top.data(), 320, 240, 320);
    CHECK(counter >= 1001);
    CHECK(counter <= 1003);
    std::vector<int16_t> sound;
    int rate = 0, channels = 0;
    REQUIRE(dec.Sound(frame.data(), kDvFrameBytes, &sound, &rate, &channels));
    CHECK(rate == kDvRate);
    CHECK(channels == 2);
    CHECK(sound.size() == (size_t)kDvSamplesPerFrame * 2);
    int crossings = 0;
    for (size_t i = 1; i < sound.size() / 2; i++) crossings += (sound[(i - 1) * 2] < 0) != (sound[i * 2] < 0);
    CHECK(crossings >= 76);   /* 1 kHz over 40 ms: 80 sign changes */
    CHECK(crossings <= 84);

    /* Short, empty and garbage frames: refused, nothing written past the buffers. */
    CHECK_FALSE(dec.Picture(frame.data(), kDvFrameBytes - 1, rgb.data(), 320, 240, 4));
    CHECK_FALSE(dec.Picture(nullptr, kDvFrameBytes, rgb.data(), 320, 240, 4));
    CHECK_FALSE(dec.Sound(frame.data(), 1000, &sound, &rate, &channels));
    std::vector<BYTE> junk(kDvFrameBytes, 0x5A);
    std::vector<int16_t> none;
    CHECK_FALSE(dec.Sound(junk.data(), kDvFrameBytes, &none, &rate, &channels));
    CHECK(none.empty());
    dec.Picture(junk.data(), kDvFrameBytes, rgb.data(), 320, 240, 4);   /* no crash, whatever it answers */
}

TEST_CASE("Two DV camcorders are listed; the capture graph builder renders one through the DV splitter and decoder",
          "[capdevs][dv]") {
    Com com;
    IBaseFilter* cam = nullptr;
    auto video = Listed(CLSID_VideoInputDeviceCategory, kDvName, &cam);
    /* Both under the name a PC lists its DV devices by; nothing is left
     * under the camcorders' earlier name. */
    CHECK(std::count(video.begin(), video.end(), kDvName) == 2);
    CHECK(std::count(video.begin(), video.end(), "DV Camcorder") == 0);
    REQUIRE(cam);
    IGraphBuilder* g = nullptr;
    ICaptureGraphBuilder2* cgb = nullptr;
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&g)));
    REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2, (void**)&cgb)));
    cgb->SetFiltergraph(g);
    g->AddFilter(cam, L"DV");
    IAMStreamConfig* cfg = nullptr;
    CHECK(SUCCEEDED(cgb->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, cam, IID_IAMStreamConfig, (void**)&cfg)));
    rel(cfg);
    REQUIRE(SUCCEEDED(cgb->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, cam, nullptr, nullptr)));
    IBaseFilter* split = nullptr;
    IBaseFilter* dec = nullptr;
    CHECK(SUCCEEDED(g->FindFilterByName(L"DV Splitter", &split)));
    CHECK(SUCCEEDED(g->FindFilterByName(L"DV Video Decoder", &dec)));
    if (split) {
        /* Its sound pin is left for the caller. */
        IPin* audio = nullptr;
        REQUIRE(SUCCEEDED(split->FindPin(L"AudOut00", &audio)));
        IPin* peer = nullptr;
        CHECK(audio->ConnectedTo(&peer) == VFW_E_NOT_CONNECTED);
        rel(peer);
        rel(audio);
    }
    rel(split); rel(dec);
    rel(cgb); rel(g); rel(cam);
}

TEST_CASE("The camera's dialogs and the camcorder's property page answer as their devices' do", "[capdevs][dialogs]") {
    Com com;
    IBaseFilter* cam = nullptr;
    Listed(CLSID_VideoInputDeviceCategory, "Test Pattern Camera", &cam);
    REQUIRE(cam);
    IAMVfwCaptureDialogs* vfw = nullptr;
    REQUIRE(SUCCEEDED(cam->QueryInterface(IID_IAMVfwCaptureDialogs, (void**)&vfw)));
    struct Case { int dialog; HRESULT has; };
    for (const Case& c : {Case{VFW_DIALOG_SOURCE, S_OK}, Case{VFW_DIALOG_FORMAT, S_OK}, Case{VFW_DIALOG_DISPLAY, S_FALSE}}) {
        INFO("dialog " << c.dialog);
        CHECK(vfw->HasDialog(c.dialog) == c.has);
    }
    CHECK(vfw->ShowDialog(VFW_DIALOG_DISPLAY, nullptr) == E_INVALIDARG);
    {
        /* Shown while stopped; OK answers S_OK. */
        MsgBoxCapture boxes;
        CHECK(vfw->ShowDialog(VFW_DIALOG_FORMAT, nullptr) == S_OK);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].caption == "Video Format");
        CHECK(boxes.texts()[0] == "Video format: 320 x 240, RGB 24, 25 frames a second.");
    }
    /* Running, it shows nothing. */
    REQUIRE(SUCCEEDED(cam->Run(0)));
    {
        MsgBoxCapture boxes;
        CHECK(vfw->ShowDialog(VFW_DIALOG_SOURCE, nullptr) == VFW_E_NOT_STOPPED);
        CHECK(boxes.count() == 0);
    }
    cam->Stop();
    rel(vfw);

    IBaseFilter* dv = nullptr;
    Listed(CLSID_VideoInputDeviceCategory, kDvName, &dv);
    REQUIRE(dv);
    CHECK(dv->QueryInterface(IID_IAMVfwCaptureDialogs, (void**)&vfw) == E_NOINTERFACE);
    ISpecifyPropertyPages* spp = nullptr;
    REQUIRE(SUCCEEDED(dv->QueryInterface(IID_ISpecifyPropertyPages, (void**)&spp)));
    CAUUID pages = {};
    REQUIRE(spp->GetPages(&pages) == S_OK);
    REQUIRE(pages.cElems == 1);
    IPropertyPage* page = nullptr;
    REQUIRE(SUCCEEDED(CoCreateInstance(pages.pElems[0], nullptr, CLSCTX_INPROC_SERVER, IID_IPropertyPage, (void**)&page)));
    CoTaskMemFree(pages.pElems);
    PROPPAGEINFO info = {};
    REQUIRE(page->GetPageInfo(&info) == S_OK);
    char title[64] = "";
    WideCharToMultiByte(CP_ACP, 0, info.pszTitle, -1, title, sizeof title, nullptr, nullptr);
    CHECK(std::string(title) == "DV Camcorder");
    CHECK(info.size.cx > 0);
    CoTaskMemFree(info.pszTitle);

    /* The page tells the tape's mode at the time it is shown. */
    IExtTransport* t = nullptr;
    REQUIRE(SUCCEEDED(dv->QueryInterface(IID_IAMExtTransport_Corv, (void**)&t)));
    IUnknown* objects[1] = {dv};
    REQUIRE(page->SetObjects(1, objects) == S_OK);
    HWND parent = CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 400, 200, nullptr, nullptr, nullptr, nullptr);
    RECT r = {0, 0, 300, 90};
    auto shown = [&]() {
        REQUIRE(page->Activate(parent, &r, TRUE) == S_OK);
        HWND child = GetWindow(parent, GW_CHILD);
        char text[256] = "";
        if (child) GetDlgItemTextA(child, 0xFFFF, text, sizeof text);
        CHECK(page->Deactivate() == S_OK);
        return std::string(text);
    };
    CHECK(shown() == "DV Camcorder: DV 625/50, 720 x 576, 25 frames a second, 48 kHz stereo sound. Tape: stop.");
    t->put_Mode(EXT_MODE_PLAY);
    CHECK(shown() == "DV Camcorder: DV 625/50, 720 x 576, 25 frames a second, 48 kHz stereo sound. Tape: play.");
    t->put_Mode(EXT_MODE_STOP);
    CHECK(page->IsPageDirty() == S_FALSE);
    CHECK(page->Apply() == S_OK);
    page->SetObjects(0, nullptr);
    DestroyWindow(parent);
    rel(t); rel(page); rel(spp); rel(dv); rel(cam);
}

/* The camcorder's frames come from one encoder for as long as it plays: its
 * memory stays flat however long that is.  (FFmpeg's dv muxer walks a 19 MB
 * sound ring, 7680 new bytes a frame, until it wraps after 100 s.) */
TEST_CASE("The DV encoder's memory stays flat over a long run of frames", "[capdevs][dv][memory]") {
    using namespace capdevs;
    DvEncoder enc;
    const LONG stride = (kDvWidth * 3 + 3) & ~3;
    std::vector<BYTE> pic((size_t)stride * kDvHeight), frame(kDvFrameBytes);
    std::vector<int16_t> pcm(kDvSamplesPerFrame * 2, 1000);
    RenderPattern(0, kDvWidth, kDvHeight, pic.data());
    auto workingSet = [] {
        PROCESS_MEMORY_COUNTERS c = {};
        c.cb = sizeof c;
        GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
        return (long long)c.WorkingSetSize;
    };
    const int warm = 3 * DvEncoder::kMuxerFrames + 10, measured = 1000;
    int made = 0;
    for (int n = 0; n < warm; n++) made += enc.Encode(pic.data(), pcm.data(), frame.data());
    const long long before = workingSet();
    for (int n = 0; n < measured; n++) made += enc.Encode(pic.data(), pcm.data(), frame.data());
    const long long grown = workingSet() - before;
    INFO("working set grew " << grown / 1024 << " KB over " << measured << " frames");
    CHECK(made >= warm + measured - 1);
    CHECK(grown < 1024 * 1024);   /* 7.5 MB before the mend */
    /* The frames still carry the sound after the muxer was made afresh. */
    DvDecoder dec;
    std::vector<int16_t> sound;
    int rate = 0, channels = 0;
    REQUIRE(dec.Sound(frame.data(), kDvFrameBytes, &sound, &rate, &channels));
    CHECK(sound.size() == (size_t)kDvSamplesPerFrame * 2);
    CHECK(sound[100] == 1000);
}
