/*
 * The Windows Media reader over FFmpeg, through its COM contract: a clip
 * our writer recorded, served by a small HTTP server, opens with its
 * outputs and header; samples arrive in order with the clip's colours and
 * sound; rates, pause, resume and stop; bad servers and bad bytes end in
 * an error status, never a hang.
 */
#include "stream_fixture.h"
#include <catch2/catch.hpp>
#include "wmreader.h"

#include <nserror.h>
#include <asferr.h>
#include <uuids.h>
#include <amvideo.h>
#include <condition_variable>
#include <functional>

using fixture::HttpServer;

namespace {

struct Event { int status; HRESULT hr; std::u16string text; ULONGLONG tick; };
struct Got { DWORD output; QWORD time; DWORD length; DWORD flags; DWORD centre; ULONGLONG tick; };

/* Records what the reader says; waits are bounded. */
class Recorder : public IWMReaderCallback {
public:
    HRESULT WINAPI QueryInterface(REFIID iid, void **out) override
    {
        if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IWMReaderCallback) ||
            IsEqualGUID(iid, IID_IWMStatusCallback)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override { return --refs; }
    /* A reader lets its callback go only when its thread has ended, which
     * can be after the reader's last Release on the test's side: this
     * object lives on until then (bounded), or the thread would call into
     * a callback that is gone. */
    ~Recorder()
    {
        for (int i = 0; i < 3000 && refs > 1; ++i) Sleep(10);
    }
    HRESULT WINAPI OnStatus(WMT_STATUS s, HRESULT hr, WMT_ATTR_DATATYPE type, BYTE *value, void *) override
    {
        Event e{(int)s, hr, std::u16string(), GetTickCount64()};
        if (type == WMT_TYPE_STRING && value) e.text = reinterpret_cast<const char16_t *>(value);
        std::function<void(int)> hook;
        {
            std::lock_guard<std::mutex> l(lock);
            events.push_back(e);
            hook = onStatus;
        }
        cv.notify_all();
        if (hook) hook((int)s);
        return S_OK;
    }
    HRESULT WINAPI OnSample(DWORD output, QWORD time, QWORD, DWORD flags, INSSBuffer *sample, void *) override
    {
        BYTE *p = nullptr;
        DWORD n = 0;
        sample->GetBufferAndLength(&p, &n);
        DWORD centre = 0;
        if ((int)output == videoOutput && n >= 320 * 240 * 3) {
            const BYTE *px = p + (120 * 320 + 160) * 3;   /* bottom-up rows: the middle row either way */
            centre = (DWORD)px[2] << 16 | (DWORD)px[1] << 8 | px[0];
        }
        std::function<void(const Got &)> hook;
        Got g{output, time, n, flags, centre, GetTickCount64()};
        {
            std::lock_guard<std::mutex> l(lock);
            samples.push_back(g);
            hook = onSample;
        }
        cv.notify_all();
        if (hook) hook(g);
        return S_OK;
    }

    /* Wait until a status arrives (counting from `from`); false on time-out. */
    bool WaitStatus(int status, DWORD ms = 20000, size_t from = 0)
    {
        std::unique_lock<std::mutex> l(lock);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] {
            for (size_t i = from; i < events.size(); i++)
                if (events[i].status == status) return true;
            return false;
        });
    }
    bool WaitAny(std::initializer_list<int> statuses, DWORD ms, int *which)
    {
        std::unique_lock<std::mutex> l(lock);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] {
            for (auto &e : events)
                for (int s : statuses)
                    if (e.status == s) { *which = s; return true; }
            return false;
        });
    }
    bool WaitSamples(size_t n, DWORD ms = 20000)
    {
        std::unique_lock<std::mutex> l(lock);
        return cv.wait_for(l, std::chrono::milliseconds(ms), [&] { return samples.size() >= n; });
    }
    Event Find(int status)
    {
        std::lock_guard<std::mutex> l(lock);
        for (auto &e : events)
            if (e.status == status) return e;
        return Event{-1, S_OK, std::u16string(), 0};
    }
    std::vector<Got> Samples()
    {
        std::lock_guard<std::mutex> l(lock);
        return samples;
    }
    size_t EventCount()
    {
        std::lock_guard<std::mutex> l(lock);
        return events.size();
    }

    std::atomic<ULONG> refs{1};
    std::mutex lock;
    std::condition_variable cv;
    std::vector<Event> events;
    std::vector<Got> samples;
    std::function<void(int)> onStatus;
    std::function<void(const Got &)> onSample;
    int videoOutput = -1;
};

std::u16string u16(const std::string &s) { return std::u16string(s.begin(), s.end()); }
const WCHAR *W(const std::u16string &s) { return reinterpret_cast<const WCHAR *>(s.c_str()); }

bool near_colour(DWORD got, DWORD want)
{
    for (int k = 0; k < 24; k += 8) {
        int a = (int)((got >> k) & 255), b = (int)((want >> k) & 255);
        if (a - b > 60 || b - a > 60) return false;
    }
    return true;
}

const std::string &Clip()
{
    static std::string clip = fixture::RecordClip();
    return clip;
}

struct Opened {
    HttpServer server;
    Recorder rec;
    IWMReader *reader = nullptr;
    DWORD video = 99, audio = 99;

    explicit Opened(const std::string &path = "/clip.asf")
    {
        REQUIRE(Clip().size() > 10000);
        server.Serve("/clip.asf", Clip());
        REQUIRE(WmrCreateReader(nullptr, 0, &reader) == S_OK);
        auto url = u16(server.Url(path));
        REQUIRE(reader->Open(W(url), &rec, nullptr) == S_OK);
        REQUIRE(rec.WaitStatus(WMT_OPENED));
        DWORD n = 0;
        REQUIRE(reader->GetOutputCount(&n) == S_OK);
        for (DWORD i = 0; i < n; i++) {
            IWMOutputMediaProps *p = nullptr;
            REQUIRE(reader->GetOutputProps(i, &p) == S_OK);
            GUID major;
            p->GetType(&major);
            if (IsEqualGUID(major, MEDIATYPE_Video)) video = i;
            if (IsEqualGUID(major, MEDIATYPE_Audio)) audio = i;
            p->Release();
        }
        rec.videoOutput = (int)video;
    }
    ~Opened()
    {
        reader->Close();
        reader->Release();
    }
};

std::vector<BYTE> media_type(IWMReader *r, DWORD output)
{
    IWMOutputMediaProps *p = nullptr;
    REQUIRE(r->GetOutputProps(output, &p) == S_OK);
    DWORD size = 0;
    REQUIRE(p->GetMediaType(nullptr, &size) == S_OK);
    std::vector<BYTE> raw(size);
    DWORD tooSmall = sizeof(WM_MEDIA_TYPE);
    CHECK(p->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE *>(raw.data()), &tooSmall) == ASF_E_BUFFERTOOSMALL);
    REQUIRE(p->GetMediaType(reinterpret_cast<WM_MEDIA_TYPE *>(raw.data()), &size) == S_OK);
    p->Release();
    return raw;
}

} // namespace

TEST_CASE("A served clip opens with its outputs, header and samples in order", "[wmreader]")
{
    Opened o;
    REQUIRE(o.video != 99);
    REQUIRE(o.audio != 99);
    CHECK(o.rec.Find(WMT_LOCATING).status == WMT_LOCATING);

    SECTION("media types: RGB24 bottom-up at the clip's size, 16-bit PCM at its rate")
    {
        auto v = media_type(o.reader, o.video);
        auto *vmt = reinterpret_cast<WM_MEDIA_TYPE *>(v.data());
        CHECK(IsEqualGUID(vmt->subtype, MEDIASUBTYPE_RGB24));
        REQUIRE(IsEqualGUID(vmt->formattype, FORMAT_VideoInfo));
        auto *vih = reinterpret_cast<VIDEOINFOHEADER *>(vmt->pbFormat);
        CHECK(vih->bmiHeader.biWidth == 320);
        CHECK(vih->bmiHeader.biHeight == 240);
        CHECK(vih->bmiHeader.biBitCount == 24);
        CHECK(vih->AvgTimePerFrame == 400000);
        auto a = media_type(o.reader, o.audio);
        auto *amt = reinterpret_cast<WM_MEDIA_TYPE *>(a.data());
        CHECK(IsEqualGUID(amt->subtype, MEDIASUBTYPE_PCM));
        auto *wf = reinterpret_cast<WAVEFORMATEX *>(amt->pbFormat);
        CHECK(wf->nSamplesPerSec == 44100);
        CHECK(wf->nChannels == 2);
        CHECK(wf->wBitsPerSample == 16);
    }

    SECTION("header: Duration in 100-ns units, seekable, no such attribute")
    {
        IWMHeaderInfo *h = nullptr;
        REQUIRE(o.reader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void **>(&h)) == S_OK);
        WORD stream = 0, len = 0;
        WMT_ATTR_DATATYPE type;
        REQUIRE(h->GetAttributeByName(&stream, L"Duration", &type, nullptr, &len) == S_OK);
        CHECK(type == WMT_TYPE_QWORD);
        REQUIRE(len == 8);
        QWORD d = 0;
        BYTE tiny[4];
        WORD tinyLen = sizeof(tiny);
        CHECK(h->GetAttributeByName(&stream, L"Duration", &type, tiny, &tinyLen) == ASF_E_BUFFERTOOSMALL);
        REQUIRE(h->GetAttributeByName(&stream, L"Duration", &type, reinterpret_cast<BYTE *>(&d), &len) == S_OK);
        CHECK(d >= 29000000);
        CHECK(d <= 31000000);
        BOOL seekable = FALSE;
        len = sizeof(seekable);
        REQUIRE(h->GetAttributeByName(&stream, L"Seekable", &type, reinterpret_cast<BYTE *>(&seekable), &len) == S_OK);
        CHECK(seekable);
        CHECK(h->GetAttributeByName(&stream, L"NoSuchThing", &type, nullptr, &len) == ASF_E_NOTFOUND);
        h->Release();
    }

    SECTION("sound asked for at 22050 Hz comes at 22050 Hz; other formats are refused")
    {
        IWMOutputMediaProps *p = nullptr;
        REQUIRE(o.reader->GetOutputProps(o.audio, &p) == S_OK);
        auto raw = media_type(o.reader, o.audio);
        auto *mt = reinterpret_cast<WM_MEDIA_TYPE *>(raw.data());
        auto *wf = reinterpret_cast<WAVEFORMATEX *>(mt->pbFormat);
        wf->wBitsPerSample = 8;
        REQUIRE(p->SetMediaType(mt) == S_OK);
        CHECK(o.reader->SetOutputProps(o.audio, p) == NS_E_INVALID_OUTPUT_FORMAT);
        wf->wBitsPerSample = 16;
        wf->nSamplesPerSec = 22050;
        wf->nAvgBytesPerSec = 22050 * 4;
        REQUIRE(p->SetMediaType(mt) == S_OK);
        CHECK(o.reader->SetOutputProps(o.video, p) == NS_E_INVALID_OUTPUT_FORMAT);
        REQUIRE(o.reader->SetOutputProps(o.audio, p) == S_OK);
        p->Release();

        REQUIRE(o.reader->Start(0, 0, 1.0f, nullptr) == S_OK);
        REQUIRE(o.rec.WaitStatus(WMT_EOF));
        auto got = o.rec.Samples();
        size_t soundBytes = 0, pictures = 0;
        QWORD lastVideo = 0;
        bool ordered = true;
        std::vector<std::pair<QWORD, DWORD>> colours;
        for (auto &g : got) {
            if (g.output == o.audio) soundBytes += g.length;
            if (g.output == o.video) {
                pictures++;
                CHECK(g.length == 320u * 240 * 3);
                ordered &= g.time >= lastVideo;
                lastVideo = g.time;
                colours.push_back({g.time, g.centre});
            }
        }
        CHECK(ordered);
        CHECK(pictures >= 70);
        CHECK(pictures <= 80);
        /* Three seconds of 16-bit stereo at 22050 Hz. */
        CHECK(soundBytes >= 22050u * 4 * 27 / 10);
        CHECK(soundBytes <= 22050u * 4 * 33 / 10);
        /* Each second shows its colour (away from the changes). */
        for (auto &c : colours) {
            double t = (double)c.first / 1e7;
            double frac = t - (int)t;
            if (frac < 0.2 || frac > 0.8) continue;
            INFO("picture at " << t << " s: " << std::hex << c.second);
            CHECK(near_colour(c.second, fixture::ClipColour((int)t)));
        }
        /* Samples came at their times: the last one not long before 3 s of
         * playing (the clock never runs ahead of the stream). */
        CHECK(got.back().tick - got.front().tick >= 2500);
    }
}

TEST_CASE("Rates: fast forward shows pictures only, faster than real time; negative rates step back", "[wmreader]")
{
    Opened o;
    REQUIRE(o.reader->Start(0, 0, 10.0f, nullptr) == S_OK);
    REQUIRE(o.rec.WaitStatus(WMT_EOF));
    auto ff = o.rec.Samples();
    REQUIRE(ff.size() >= 20);
    for (auto &g : ff) CHECK(g.output == o.video);
    CHECK(ff.back().time >= 28000000);
    /* Three seconds of pictures at ten times their pace. */
    CHECK(ff.back().tick - ff.front().tick < 2500);

    SECTION("rewind from the end at -10 goes back to the start, then ends")
    {
        size_t mark = o.rec.Samples().size(), events = o.rec.EventCount();
        REQUIRE(o.reader->Start(WMR_START_CURRENTPOSITION, 0, -10.0f, nullptr) == S_OK);
        REQUIRE(o.rec.WaitStatus(WMT_EOF, 20000, events));
        auto all = o.rec.Samples();
        std::vector<Got> back(all.begin() + (long)mark, all.end());
        REQUIRE(back.size() >= 3);
        for (size_t i = 1; i < back.size(); i++) CHECK(back[i].time < back[i - 1].time);
        /* A second of media a picture, down to the start itself. */
        CHECK(back.back().time == 0);
        CHECK(near_colour(back.back().centre, 0xFF0000));
    }
    SECTION("reverse at -1 from 2.5 s shows green after blue")
    {
        size_t mark = o.rec.Samples().size();
        REQUIRE(o.reader->Start(25000000, 0, -1.0f, nullptr) == S_OK);
        REQUIRE(o.rec.WaitSamples(mark + 8));
        o.reader->Stop();
        auto all = o.rec.Samples();
        std::vector<Got> back(all.begin() + (long)mark, all.end());
        /* 2.4 s, 2.3 s, ... one picture a tenth of a second back. */
        CHECK(back.front().time == 24000000);
        CHECK(near_colour(back.front().centre, 0x0000FF));
        bool green = false;
        for (auto &g : back) green |= g.time < 19000000 && g.time > 11000000 && near_colour(g.centre, 0x00FF00);
        CHECK(green);
        for (size_t i = 1; i < back.size(); i++) CHECK(back[i].time < back[i - 1].time);
    }
}

TEST_CASE("Pause from the callback holds the samples; resume and stop report", "[wmreader]")
{
    Opened o;
    std::atomic<bool> pausedOnce{false};
    o.rec.onSample = [&](const Got &g) {
        if (g.output == o.video && !pausedOnce.exchange(true)) CHECK(o.reader->Pause() == S_OK);
    };
    REQUIRE(o.reader->Start(0, 0, 1.0f, nullptr) == S_OK);
    REQUIRE(o.rec.WaitStatus(WMT_STARTED));
    /* Wait until the pause has been asked for, then see nothing more come. */
    for (int i = 0; i < 400 && !pausedOnce; i++) Sleep(10);
    REQUIRE(pausedOnce);
    size_t held = o.rec.Samples().size();
    Sleep(400);
    CHECK(o.rec.Samples().size() == held);
    size_t events = o.rec.EventCount();
    REQUIRE(o.reader->Resume() == S_OK);
    REQUIRE(o.rec.WaitStatus(WMT_STARTED, 20000, events));
    REQUIRE(o.rec.WaitSamples(held + 10));
    events = o.rec.EventCount();
    REQUIRE(o.reader->Stop() == S_OK);
    REQUIRE(o.rec.WaitStatus(WMT_STOPPED, 20000, events));
    /* Stop ends the stream's delivery: nothing comes after it. */
    Sleep(200);
    size_t after = o.rec.Samples().size();
    Sleep(300);
    CHECK(o.rec.Samples().size() == after);
}

TEST_CASE("Bad servers and bad bytes end in an error status within a bounded time", "[wmreader]")
{
    HttpServer server;
    server.Serve("/garbage.asf", std::string(50000, '\x5A'));
    server.Serve("/empty.asf", std::string());
    server.Silent("/silent.asf");
    WmrSetStallTimeout(1500);
    const std::string refused = "http://127.0.0.1:" + std::to_string(fixture::FreePort()) + "/clip.asf";

    struct Case { const char *name; std::string url; HRESULT want; };
    const Case cases[] = {
        {"404", server.Url("/missing.asf"), NS_E_FILE_NOT_FOUND},
        {"garbage body", server.Url("/garbage.asf"), NS_E_INVALID_DATA},
        {"empty body", server.Url("/empty.asf"), NS_E_INVALID_DATA},
        {"connection refused", refused, NS_E_CONNECTION_FAILURE},
        {"a server that never answers", server.Url("/silent.asf"), NS_E_TIMEOUT},
        {"a file that is not there", "C:\\no\\such\\clip.asf", NS_E_FILE_NOT_FOUND},
    };
    for (const auto &c : cases) {
        INFO(c.name);
        Recorder rec;
        IWMReader *r = nullptr;
        REQUIRE(WmrCreateReader(nullptr, 0, &r) == S_OK);
        auto url = u16(c.url);
        HRESULT opened = r->Open(W(url), &rec, nullptr);
        if (opened != S_OK) {
            /* Refused at once (a path that cannot exist here). */
            CHECK(opened == c.want);
            r->Release();
            continue;
        }
        int which = -1;
        REQUIRE(rec.WaitAny({WMT_ERROR, WMT_OPENED}, 15000, &which));
        CHECK(which == WMT_ERROR);
        CHECK(rec.Find(WMT_ERROR).hr == c.want);
        CHECK(r->Start(0, 0, 1.0f, nullptr) == NS_E_INVALID_REQUEST);
        ULONGLONG t0 = GetTickCount64();
        r->Close();
        CHECK(GetTickCount64() - t0 < 3500);
        CHECK(rec.WaitStatus(WMT_CLOSED, 5000));
        r->Release();
    }
    WmrSetStallTimeout(0);
    CHECK(WmrLiveReaders() == 0);
}

TEST_CASE("A stream cut short, a close from the callback, a codec nobody has", "[wmreader]")
{
    HttpServer server;
    server.Cut("/cut.asf", Clip(), Clip().size() * 2 / 5);
    server.Serve("/odd.asf", fixture::WithUnknownVideoCodec(Clip()));

    SECTION("a server that hangs up mid-stream gives an error, not an end")
    {
        Recorder rec;
        IWMReader *r = nullptr;
        REQUIRE(WmrCreateReader(nullptr, 0, &r) == S_OK);
        auto url = u16(server.Url("/cut.asf"));
        REQUIRE(r->Open(W(url), &rec, nullptr) == S_OK);
        REQUIRE(rec.WaitStatus(WMT_OPENED));
        REQUIRE(r->Start(0, 0, 10.0f, nullptr) == S_OK);
        int which = -1;
        REQUIRE(rec.WaitAny({WMT_ERROR, WMT_EOF}, 20000, &which));
        CHECK(which == WMT_ERROR);
        CHECK(rec.Find(WMT_ERROR).hr == NS_E_CONNECTION_FAILURE);
        auto got = rec.Samples();
        REQUIRE(!got.empty());
        CHECK(got.back().time < 25000000);
        r->Close();
        r->Release();
    }
    SECTION("Close called from the reader's own status callback does not wait on itself")
    {
        Recorder rec;
        IWMReader *r = nullptr;
        REQUIRE(WmrCreateReader(nullptr, 0, &r) == S_OK);
        std::atomic<HRESULT> closed{E_FAIL};
        rec.onStatus = [&](int s) { if (s == WMT_EOF) closed = r->Close(); };
        auto url = u16(server.Url("/cut.asf"));
        server.Serve("/clip.asf", Clip());
        url = u16(server.Url("/clip.asf"));
        REQUIRE(r->Open(W(url), &rec, nullptr) == S_OK);
        REQUIRE(rec.WaitStatus(WMT_OPENED));
        REQUIRE(r->Start(0, 0, 10.0f, nullptr) == S_OK);
        REQUIRE(rec.WaitStatus(WMT_CLOSED));
        CHECK(closed == S_OK);
        /* The same reader opens again once the closing thread is gone, and
         * that thread, still unwinding, never runs on into the new open. */
        {
            std::lock_guard<std::mutex> l(rec.lock);
            rec.onStatus = nullptr;
        }
        size_t before = rec.Samples().size();
        size_t mark = rec.EventCount();
        REQUIRE(r->Open(W(url), &rec, nullptr) == S_OK);
        REQUIRE(rec.WaitStatus(WMT_OPENED, 20000, mark));
        REQUIRE(r->Start(0, 0, 10.0f, nullptr) == S_OK);
        REQUIRE(rec.WaitStatus(WMT_EOF, 20000, mark));
        CHECK(rec.Samples().size() > before);
        CHECK(r->Close() == S_OK);
        r->Release();
    }
    SECTION("a video codec no decoder knows is reported by its class identifier; the sound still opens")
    {
        Recorder rec;
        IWMReader *r = nullptr;
        REQUIRE(WmrCreateReader(nullptr, 0, &r) == S_OK);
        auto url = u16(server.Url("/odd.asf"));
        REQUIRE(r->Open(W(url), &rec, nullptr) == S_OK);
        REQUIRE(rec.WaitStatus(WMT_OPENED));
        Event missing = rec.Find(WMT_MISSING_CODEC);
        REQUIRE(missing.status == WMT_MISSING_CODEC);
        CHECK(missing.text == u"{395A5A5A-0000-0010-8000-00AA00389B71}");
        DWORD n = 0;
        REQUIRE(r->GetOutputCount(&n) == S_OK);
        CHECK(n == 1);
        r->Close();
        r->Release();
    }
    CHECK(WmrLiveReaders() == 0);
}
