// Decoding speed of our filters in a real graph (source -> decoder -> RGB24
// sample grabber -> null renderer, no reference clock) and of our core
// decoder alone, next to the same FFmpeg libraries in an in-process loop
// (demux, decode, libswscale to BGR24; opening not timed).  Every figure is
// counted from the first picture.
//
//   bench_ffdecode.exe [folder]    clips are made there (default /tmp/ffbench)
//   taskset -c 2 build/winrun bench_ffdecode.exe     on one core
#define NOMINMAX
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

#include "bench_load.h"
#include "ffcore.h"
#include "ffloop.h"
#include "ffsplit.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Counter : public ISampleGrabberCB {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISampleGrabberCB)) {
            *ppv = this;
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override {
        last = Clock::now();
        if (InterlockedIncrement(&frames) == 1) first = last;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, LONG) override { return S_OK; }
    volatile LONG frames = 0;
    Clock::time_point first, last;  // the streaming thread's only
    double Fps() const {
        const double secs = std::chrono::duration<double>(last - first).count();
        return frames > 1 && secs > 0 ? (frames - 1) / secs : 0;
    }
};

std::u16string WinPath(const std::string& p) {
    std::u16string w = u"Z:";
    for (char c : p) w += c == '/' ? u'\\' : char16_t(c);
    return w;
}

IPin* Pin(IBaseFilter* f, PIN_DIRECTION dir) {
    IEnumPins* e = nullptr;
    f->EnumPins(&e);
    IPin* p = nullptr;
    while (e->Next(1, &p, nullptr) == S_OK) {
        PIN_DIRECTION d;
        p->QueryDirection(&d);
        if (d == dir) break;
        p->Release();
        p = nullptr;
    }
    e->Release();
    return p;
}

// Frames per second through the graph; 0 on failure.
double GraphFps(const std::string& clip, long* frames) {
    IGraphBuilder* g = nullptr;
    IBaseFilter *src = nullptr, *grab = nullptr, *null = nullptr;
    ISampleGrabber* sg = nullptr;
    Counter counter;
    double fps = 0;
    std::u16string path = WinPath(clip);
    const WCHAR* wpath = reinterpret_cast<const WCHAR*>(path.c_str());
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, (void**)&g)))
        return 0;
    do {
        if (FAILED(g->AddSourceFilter(wpath, wpath, &src))) break;
        if (FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&grab)))
            break;
        grab->QueryInterface(IID_ISampleGrabber, (void**)&sg);
        AM_MEDIA_TYPE mt = {};
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_RGB24;
        mt.formattype = FORMAT_VideoInfo;
        sg->SetMediaType(&mt);
        sg->SetCallback(&counter, 0);
        g->AddFilter(grab, L"Video Grabber");
        CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, (void**)&null);
        g->AddFilter(null, L"Null Renderer");
        IPin *so = Pin(src, PINDIR_OUTPUT), *gi = Pin(grab, PINDIR_INPUT), *go = Pin(grab, PINDIR_OUTPUT),
             *ni = Pin(null, PINDIR_INPUT);
        HRESULT hr = g->Connect(so, gi);
        if (SUCCEEDED(hr)) hr = g->Connect(go, ni);
        for (IPin* p : {so, gi, go, ni})
            if (p) p->Release();
        if (FAILED(hr)) break;
        IMediaFilter* mf = nullptr;
        g->QueryInterface(IID_IMediaFilter, (void**)&mf);
        mf->SetSyncSource(nullptr);  // as fast as the graph allows
        mf->Release();
        IMediaControl* mc = nullptr;
        IMediaEvent* ev = nullptr;
        g->QueryInterface(IID_IMediaControl, (void**)&mc);
        g->QueryInterface(IID_IMediaEvent, (void**)&ev);
        mc->Run();
        LONG code = 0;
        ev->WaitForCompletion(120000, &code);
        mc->Stop();
        *frames = counter.frames;
        if (code == EC_COMPLETE) fps = counter.Fps();
        mc->Release();
        ev->Release();
    } while (false);
    for (IUnknown* u : {(IUnknown*)sg, (IUnknown*)grab, (IUnknown*)null, (IUnknown*)src, (IUnknown*)g})
        if (u) u->Release();
    return fps;
}

// Frames per second of the core alone (demux, decode, convert to BGR24).
double CoreFps(const std::string& clip) {
    ffcore::Demuxer dm;
    std::string err;
    if (!dm.open(clip, &err) || dm.bestVideo() < 0) return 0;
    const ffcore::StreamInfo& si = dm.streams()[dm.bestVideo()];
    ffcore::VideoDecoder vd;
    if (!vd.open(si.params, si.extradata, &err)) return 0;
    ffcore::Picture pic;
    long n = 0;
    Clock::time_point first, last;
    auto got = [&] {
        last = Clock::now();
        if (n++ == 0) first = last;
    };
    ffcore::Packet pkt;
    while (dm.read(&pkt)) {
        if (pkt.stream != si.index) continue;
        vd.send(pkt.data.data(), pkt.data.size(), pkt.start, pkt.stop);
        while (vd.receive(ffcore::PixelOut::BGR24, &pic)) got();
    }
    vd.sendEnd();
    while (vd.receive(ffcore::PixelOut::BGR24, &pic)) got();
    double secs = std::chrono::duration<double>(last - first).count();
    return n > 1 && secs > 0 ? (n - 1) / secs : 0;
}

bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 && st.st_size > 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "/tmp/ffbench";
    system(("mkdir -p '" + dir + "'").c_str());
    struct Clip { const char* name; const char* size; };
    const Clip clips[] = {{"sd_720x576.avi", "720x576"}, {"hd_1920x1080.avi", "1920x1080"}};
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    printf("our graph (source, decoder, RGB24 grabber, null renderer; no clock) and our core decoder against\n"
           "an in-process FFmpeg loop (demux, decode, libswscale to BGR24), all counted from the first picture\n");
    PrintBenchLoad("at the start");
    printf("%-18s %8s %12s %12s %12s %12s %12s\n", "clip", "frames", "graph fps", "core fps", "loop fps", "graph/loop",
           "core/loop");
    for (const Clip& c : clips) {
        std::string path = dir + "/" + c.name;
        if (!Exists(path)) {
            std::string make = std::string("ffmpeg -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=") + c.size +
                               ":rate=25 -t 10 -c:v mpeg4 -q:v 3 -g 25 '" + path + "'";
            if (system(make.c_str()) != 0 || !Exists(path)) {
                printf("%-18s cannot make the clip (is the ffmpeg tool installed?)\n", c.name);
                continue;
            }
        }
        long frames = 0;
        GraphFps(path, &frames);  // warm-up
        double graph = GraphFps(path, &frames);
        double core = CoreFps(path);
        FfmpegLoop(path);  // warm-up
        const double loop = FfmpegLoop(path).fps;
        printf("%-18s %8ld %12.1f %12.1f %12.1f %12.2f %12.2f\n", c.name, frames, graph, core, loop,
               loop > 0 ? graph / loop : 0, loop > 0 ? core / loop : 0);
        if (graph > 0 && core > 0 && loop > 0)
            printf("%-18s ms a picture: loop %.3f, core %.3f, graph %.3f; the graph's hand-offs (buffers, samples,\n"
                   "%-18s grabber, renderer) %.3f ms, which do not spread over the decoder's threads\n",
                   "", 1e3 / loop, 1e3 / core, 1e3 / graph, "", 1e3 / graph - 1e3 / core);
    }
    PrintBenchLoad("at the end");
    printf("target: graph/loop >= 0.80\n");
    CoUninitialize();
    return 0;
}
