/*
 * The writer and the file sink: files the ffmpeg tools open and decode to
 * what was written; writing that ends at any moment; bad input.
 */
#include <catch2/catch.hpp>

#include "wmwriter.h"
#include "media_probe.h"
#include <algorithm>

using namespace probe;

namespace {

const unsigned kBarsA[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
const unsigned kBarsB[4] = {0xFFFF00, 0x00FFFF, 0xFF00FF, 0x000000};

/* Four vertical bars as bottom-up BGR rows. */
std::vector<BYTE> Bars(int w, int h, const unsigned *colours)
{
    std::vector<BYTE> v((size_t)w * h * 3);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            unsigned c = colours[x * 4 / w];
            BYTE *p = &v[((size_t)y * w + x) * 3];
            p[0] = (BYTE)c;
            p[1] = (BYTE)(c >> 8);
            p[2] = (BYTE)(c >> 16);
        }
    return v;
}

/* A recording of pictures w x h (bottom-up RGB24) and sound to a file
 * with a system profile, whose frame size (ow x oh) the file gets. */
struct Recording {
    WmWriter writer;
    WmFileSink sink;
    std::u16string path;
    int w, h, ow = 0, oh = 0;
    explicit Recording(const char16_t *name, int width = 320, int height = 240, int rate = 22050, int profile = 9)
        : path(TempPath(name)), w(width), h(height)
    {
        WmProfile p;
        REQUIRE(WmSystemProfile(profile, &p));
        ow = p.streams[1].width;
        oh = p.streams[1].height;
        REQUIRE(writer.SetProfile(p) == S_OK);
        REQUIRE(writer.InputCount() == 2);
        WmInputFormat a, v;
        REQUIRE(writer.GetInputFormat(0, &a) == S_OK);
        REQUIRE(writer.GetInputFormat(1, &v) == S_OK);
        REQUIRE(!a.video);
        REQUIRE(v.video);
        if (profile == 9) CHECK(v.avgTimePerFrame == 400000);
        a.sampleRate = rate;
        a.channels = 2;
        v.width = w;
        v.height = h;
        REQUIRE(writer.SetInputFormat(0, a) == S_OK);
        REQUIRE(writer.SetInputFormat(1, v) == S_OK);
        REQUIRE(sink.Open(W(path)) == S_OK);
        REQUIRE(writer.AddSink(&sink) == S_OK);
        REQUIRE(writer.SetLiveSource(TRUE) == S_OK);
    }
    ~Recording() { if (!getenv("KEEP_MEDIA")) DeleteFileW(W(path)); }
    std::string file() const { return UnixPath(W(path)); }
};

} // namespace

TEST_CASE("A recording is a standard ASF file with the profile's codecs, size, rate, pictures and sound", "[writer]")
{
    Recording r(u"wmw_bars.wmv");     /* 320 x 240 pictures, profile 9 of 720 x 576 */
    REQUIRE(r.writer.SetAttribute(0, W(u"Title"), W(u"Evening news")) == S_OK);
    REQUIRE(r.writer.BeginWriting() == S_OK);
    auto a = Bars(r.w, r.h, kBarsA), b = Bars(r.w, r.h, kBarsB);
    long long sent = 0;
    for (int f = 0; f < 50; f++) {
        auto &pic = f < 25 ? a : b;
        REQUIRE(r.writer.WriteSample(1, (ULONGLONG)f * 400000, WMW_SF_CLEANPOINT, pic.data(), (DWORD)pic.size()) == S_OK);
        /* 40 ms of sound per frame, 1 kHz. */
        int n = (int)((f + 1) * 22050LL * 40 / 1000 - sent);
        auto tone = Tone(1000, 22050, 2, n, sent);
        REQUIRE(r.writer.WriteSample(0, (ULONGLONG)f * 400000, 0, reinterpret_cast<BYTE *>(tone.data()),
                                     (DWORD)(tone.size() * 2)) == S_OK);
        sent += n;
    }
    REQUIRE(r.writer.Flush() == S_OK);
    REQUIRE(r.writer.EndWriting() == S_OK);
    REQUIRE(r.sink.Close() == S_OK);

    Info info = Probe(r.file());
    CHECK(info.format["format_name"] == "asf");
    CHECK(info.format["TAG:title"] == "Evening news");
    REQUIRE(info.Count("video") == 1);
    REQUIRE(info.Count("audio") == 1);
    CHECK(info.Get("video", "codec_name") == "wmv2");
    CHECK(info.Get("video", "width") == "720");
    CHECK(info.Get("video", "height") == "576");
    CHECK(info.Get("video", "r_frame_rate") == "25/1");
    CHECK(info.Get("audio", "codec_name") == "wmav2");
    CHECK(info.Get("audio", "sample_rate") == "44100");
    CHECK(info.Get("audio", "channels") == "2");
    CHECK(std::fabs(VideoSpan(r.file(), 0.04) - 2.0) <= 0.04 + 0.0001);
    CHECK(CountFrames(r.file()) == 50);

    /* Pictures: the bars of each second, stretched over the coded size. */
    for (int half = 0; half < 2; half++) {
        auto pic = FrameAt(r.file(), half ? 1.5 : 0.5, r.ow, r.oh);
        REQUIRE(!pic.empty());
        for (int bar = 0; bar < 4; bar++) {
            int rgb[3];
            MeanColour(pic, r.ow, bar * r.ow / 4 + r.ow / 16, r.oh / 2 - r.oh / 12, r.ow / 8, r.oh / 6, rgb);
            INFO("half " << half << " bar " << bar << " rgb " << rgb[0] << "," << rgb[1] << "," << rgb[2]);
            CHECK(Near(rgb, (half ? kBarsB : kBarsA)[bar], 24));
        }
    }
    /* Sound: the tone at its pitch, all the way through. */
    double rms = 0;
    auto snd = SoundAt(r.file(), 0.3, 1.4, 44100);
    CHECK(std::fabs(Frequency(snd, 44100, &rms) - 1000) < 15);
    CHECK(rms > 3000);
}

TEST_CASE("Bit-rate alternatives share one input per kind and every one of them is coded", "[writer][alternatives]")
{
    WmProfile p;
    REQUIRE(WmSystemProfile(9, &p));
    WmStreamConfig low = p.streams[1];
    low.width = 176;
    low.height = 144;
    low.bitrate = 150000;
    low.streamNumber = 3;
    WmStreamConfig lowSound = p.streams[0];
    lowSound.bitrate = 32000;
    lowSound.sampleRate = 22050;
    lowSound.streamNumber = 4;
    p.streams.push_back(low);
    p.streams.push_back(lowSound);

    WmWriter refused;
    CHECK(refused.SetProfile(p) == E_INVALIDARG);   /* two of a kind, no exclusion */

    p.mutualExclusion = true;
    WmWriter w;
    REQUIRE(w.SetProfile(p) == S_OK);
    REQUIRE(w.InputCount() == 2);
    WmInputFormat a, v;
    REQUIRE(w.GetInputFormat(0, &a) == S_OK);
    REQUIRE(w.GetInputFormat(1, &v) == S_OK);
    REQUIRE(!a.video);
    REQUIRE(v.video);
    a.sampleRate = 22050;
    a.channels = 2;
    v.width = 320;
    v.height = 240;
    REQUIRE(w.SetInputFormat(0, a) == S_OK);
    REQUIRE(w.SetInputFormat(1, v) == S_OK);
    const std::u16string path = TempPath(u"wmw_ladder.wmv");
    WmFileSink sink;
    REQUIRE(sink.Open(W(path)) == S_OK);
    REQUIRE(w.AddSink(&sink) == S_OK);
    REQUIRE(w.BeginWriting() == S_OK);
    auto pic = Bars(320, 240, kBarsA);
    long long sent = 0;
    for (int f = 0; f < 25; f++) {
        REQUIRE(w.WriteSample(1, (ULONGLONG)f * 400000, WMW_SF_CLEANPOINT, pic.data(), (DWORD)pic.size()) == S_OK);
        int n = (int)((f + 1) * 22050LL * 40 / 1000 - sent);
        auto tone = Tone(1000, 22050, 2, n, sent);
        REQUIRE(w.WriteSample(0, (ULONGLONG)f * 400000, 0, reinterpret_cast<BYTE *>(tone.data()),
                              (DWORD)(tone.size() * 2)) == S_OK);
        sent += n;
    }
    CHECK(w.videoFrames() == 25);
    REQUIRE(w.EndWriting() == S_OK);
    REQUIRE(sink.Close() == S_OK);

    const std::string file = UnixPath(W(path));
    Info info = Probe(file);
    REQUIRE(info.Count("video") == 2);
    REQUIRE(info.Count("audio") == 2);
    std::vector<std::string> seen;
    for (auto &st : info.streams)
        seen.push_back(st["codec_type"] == "video" ? st["width"] + "x" + st["height"] : st["sample_rate"]);
    std::sort(seen.begin(), seen.end());
    CHECK(seen == std::vector<std::string>{"176x144", "22050", "44100", "720x576"});
    /* Each picture stream decodes to its own 25 frames. */
    for (int stream = 0; stream < 2; stream++) {
        std::string frames = Run("ffprobe -v error -select_streams v:" + std::to_string(stream) +
                                 " -count_frames -show_entries stream=nb_read_frames -of csv=p=0 " + Quote(file));
        INFO("video stream " << stream);
        CHECK(atoi(frames.c_str()) == 25);
    }
    if (!getenv("KEEP_MEDIA")) DeleteFileW(W(path));
}

TEST_CASE("Writing that ends at any moment leaves a complete file", "[writer]")
{
    struct Row { int frames; bool sound; };
    const Row rows[] = {{0, false}, {1, false}, {1, true}, {12, false}, {12, true}};
    for (const Row &row : rows) {
        DYNAMIC_SECTION("frames " << row.frames << (row.sound ? " with sound" : " without sound")) {
            Recording r(u"wmw_end.wmv");
            REQUIRE(r.writer.BeginWriting() == S_OK);
            auto pic = Bars(r.w, r.h, kBarsA);
            for (int f = 0; f < row.frames; f++) {
                REQUIRE(r.writer.WriteSample(1, (ULONGLONG)f * 400000, 1, pic.data(), (DWORD)pic.size()) == S_OK);
                if (row.sound && f == 0) {
                    /* Sound stops after 100 ms: the rest is silence. */
                    auto tone = Tone(1000, 22050, 2, 2205, 0);
                    REQUIRE(r.writer.WriteSample(0, 0, 0, reinterpret_cast<BYTE *>(tone.data()),
                                                 (DWORD)(tone.size() * 2)) == S_OK);
                }
            }
            REQUIRE(r.writer.EndWriting() == S_OK);
            r.sink.Close();
            Info info = Probe(r.file());
            CHECK(info.format["format_name"] == "asf");
            CHECK(info.Count("video") == 1);
            CHECK(info.Count("audio") == 1);
            CHECK(CountFrames(r.file()) == row.frames);
            if (row.frames >= 12) {
                CHECK(std::fabs(VideoSpan(r.file(), 0.04) - row.frames * 0.04) <= 0.0401);
                auto snd = SoundAt(r.file(), 0, 1, 44100);
                /* Silence of the video's length is there, not a short track
                 * (within one sound frame of 2048 samples). */
                CHECK(std::fabs(snd.size() / 44100.0 - row.frames * 0.04) <= 0.047);
            }
        }
    }
}

TEST_CASE("Every system profile records pictures and sound", "[writer]")
{
    for (int profile = 0; profile < WmSystemProfileCount(); profile++) {
        DYNAMIC_SECTION("system profile " << profile) {
            Recording r(u"wmw_profile.wmv", 320, 240, 22050, profile);
            REQUIRE(r.writer.BeginWriting() == S_OK);
            WmInputFormat v;
            REQUIRE(r.writer.GetInputFormat(1, &v) == S_OK);
            auto pic = Bars(r.w, r.h, kBarsA);
            auto tone = Tone(1000, 22050, 2, 2205, 0);
            for (int f = 0; f < 5; f++) {
                REQUIRE(r.writer.WriteSample(1, (ULONGLONG)f * v.avgTimePerFrame, WMW_SF_CLEANPOINT, pic.data(),
                                             (DWORD)pic.size()) == S_OK);
                REQUIRE(r.writer.WriteSample(0, (ULONGLONG)f * v.avgTimePerFrame, 0,
                                             reinterpret_cast<BYTE *>(tone.data()), (DWORD)(tone.size() * 2)) == S_OK);
            }
            REQUIRE(r.writer.EndWriting() == S_OK);
            REQUIRE(r.sink.Close() == S_OK);
            Info info = Probe(r.file());
            CHECK(info.Count("video") == 1);
            CHECK(info.Count("audio") == 1);
            CHECK(info.Get("video", "width") == std::to_string(r.ow));
            CHECK(info.Get("video", "height") == std::to_string(r.oh));
            CHECK(CountFrames(r.file()) == 5);
        }
    }
}

namespace {

/* A w x h picture in four colours: left and right half, top and bottom
 * half; RGB24 or RGB32 rows, bottom-up unless `topDown`. */
std::vector<BYTE> Quarters(int w, int h, int bitCount, bool topDown, const unsigned colours[4])
{
    const int bpp = bitCount / 8;
    std::vector<BYTE> v((size_t)w * h * bpp);
    for (int y = 0; y < h; y++) {
        int row = topDown ? y : h - 1 - y;       /* y counts from the top */
        for (int x = 0; x < w; x++) {
            unsigned c = colours[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
            BYTE *p = &v[((size_t)row * w + x) * bpp];
            p[0] = (BYTE)c;
            p[1] = (BYTE)(c >> 8);
            p[2] = (BYTE)(c >> 16);
            if (bpp == 4) p[3] = 0xFF;
        }
    }
    return v;
}

} // namespace

TEST_CASE("Pictures of any size are coded at the profile's frame size, the right way up", "[writer][scale]")
{
    /* Top left, top right, bottom left, bottom right. */
    const unsigned colours[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    struct Row {
        const char *what;
        int inW, inH, bitCount;
        bool topDown;
        int profileW, profileH;   /* 0: no size in the profile */
        int wantW, wantH;
    };
    const Row rows[] = {
        {"smaller: 320 x 240 to QCIF", 320, 240, 24, false, 176, 144, 176, 144},
        {"larger, 32-bit rows top-down", 160, 120, 32, true, 640, 480, 640, 480},
        {"another shape", 320, 240, 24, false, 720, 576, 720, 576},
        {"the same size", 240, 176, 32, false, 240, 176, 240, 176},
        {"no size in the profile keeps the input's", 200, 150, 24, true, 0, 0, 200, 150},
        {"an odd width is coded one narrower", 320, 240, 24, false, 175, 143, 174, 143},
        {"an odd input width without a profile size", 161, 121, 32, false, 0, 0, 160, 121},
    };
    for (const Row &row : rows) {
        DYNAMIC_SECTION(row.what) {
            WmProfile p;
            REQUIRE(WmSystemProfile(4, &p));
            p.streams.erase(p.streams.begin());    /* pictures only */
            p.streams[0].width = row.profileW;
            p.streams[0].height = row.profileH;
            WmWriter w;
            WmFileSink sink;
            std::u16string path = TempPath(u"wmw_scale.wmv");
            REQUIRE(w.SetProfile(p) == S_OK);
            WmInputFormat v;
            REQUIRE(w.GetInputFormat(0, &v) == S_OK);
            v.width = row.inW;
            v.height = row.topDown ? -row.inH : row.inH;
            v.bitCount = row.bitCount;
            REQUIRE(w.SetInputFormat(0, v) == S_OK);
            REQUIRE(sink.Open(W(path)) == S_OK);
            REQUIRE(w.AddSink(&sink) == S_OK);
            REQUIRE(w.BeginWriting() == S_OK);
            auto pic = Quarters(row.inW, row.inH, row.bitCount, row.topDown, colours);
            for (int f = 0; f < 5; f++)
                REQUIRE(w.WriteSample(0, (ULONGLONG)f * 400000, WMW_SF_CLEANPOINT, pic.data(), (DWORD)pic.size()) ==
                        S_OK);
            REQUIRE(w.EndWriting() == S_OK);
            REQUIRE(sink.Close() == S_OK);

            std::string file = UnixPath(W(path));
            Info info = Probe(file);
            CHECK(info.Get("video", "width") == std::to_string(row.wantW));
            CHECK(info.Get("video", "height") == std::to_string(row.wantH));
            CHECK(CountFrames(file) == 5);
            /* Each quarter where it was, filling its quarter of the coded picture. */
            auto got = FrameAt(file, 0.1, row.wantW, row.wantH);
            REQUIRE(!got.empty());
            for (int q = 0; q < 4; q++) {
                int x = (q % 2) * row.wantW / 2 + row.wantW / 8, y = (q / 2) * row.wantH / 2 + row.wantH / 8;
                int rgb[3];
                MeanColour(got, row.wantW, x, y, row.wantW / 4, row.wantH / 4, rgb);
                INFO("quarter " << q << " rgb " << rgb[0] << "," << rgb[1] << "," << rgb[2]);
                CHECK(Near(rgb, colours[q], 24));
            }
            if (!getenv("KEEP_MEDIA")) DeleteFileW(W(path));
        }
    }
}

TEST_CASE("The writer refuses bad requests and input with clear results", "[writer]")
{
    WmWriter w;
    WmInputFormat f;
    CHECK(w.BeginWriting() == WMW_E_NOT_CONFIGURED);
    CHECK(w.GetInputFormat(0, &f) == E_INVALIDARG);

    WmProfile bad;
    CHECK(w.SetProfile(bad) == E_INVALIDARG);                 /* no streams */
    REQUIRE(WmSystemProfile(9, &bad));
    bad.streams[1].codec = "nosuchcodec";
    CHECK(w.SetProfile(bad) == E_INVALIDARG);
    for (int size : {-320, 8193}) {                          /* frame sizes out of range */
        REQUIRE(WmSystemProfile(9, &bad));
        bad.streams[1].width = size;
        CHECK(w.SetProfile(bad) == E_INVALIDARG);
        REQUIRE(WmSystemProfile(9, &bad));
        bad.streams[1].height = size;
        CHECK(w.SetProfile(bad) == E_INVALIDARG);
    }
    CHECK(!WmSystemProfile(-1, &bad));
    CHECK(!WmSystemProfile(WmSystemProfileCount(), &bad));

    WmProfile p;
    REQUIRE(WmSystemProfile(4, &p));
    REQUIRE(w.SetProfile(p) == S_OK);
    REQUIRE(w.GetInputFormat(1, &f) == S_OK);
    WmInputFormat audio = f;
    audio.video = false;
    CHECK(w.SetInputFormat(1, audio) == WMW_E_INVALID_INPUT_FORMAT);   /* wrong kind */
    f.bitCount = 16;
    CHECK(w.SetInputFormat(1, f) == WMW_E_INVALID_INPUT_FORMAT);
    f.bitCount = 24;
    f.width = -5;
    CHECK(w.SetInputFormat(1, f) == WMW_E_INVALID_INPUT_FORMAT);
    CHECK(w.SetInputFormat(7, f) == E_INVALIDARG);
    CHECK(w.WriteSample(1, 0, 0, nullptr, 0) == WMW_E_INVALID_REQUEST);  /* not writing */

    /* An output path that cannot be written. */
    WmFileSink sink;
    CHECK(sink.Open(W(u"C:\\no such folder\\x.wmv")) == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    CHECK(sink.Open(nullptr) == E_INVALIDARG);

    REQUIRE(w.BeginWriting() == S_OK);                        /* no sink: writes to nowhere */
    CHECK(w.BeginWriting() == WMW_E_INVALID_REQUEST);
    std::vector<BYTE> shortFrame(100);
    CHECK(w.WriteSample(1, 0, 0, shortFrame.data(), (DWORD)shortFrame.size()) == E_INVALIDARG);
    std::vector<BYTE> pic((size_t)320 * 240 * 3);
    CHECK(w.WriteSample(1, 0, 0, pic.data(), (DWORD)pic.size()) == S_OK);
    CHECK(w.WriteSample(9, 0, 0, pic.data(), (DWORD)pic.size()) == E_INVALIDARG);
    CHECK(w.SetProfile(p) == WMW_E_INVALID_REQUEST);
    CHECK(w.EndWriting() == S_OK);
    CHECK(w.EndWriting() == WMW_E_INVALID_REQUEST);
}

namespace {

const BYTE kSimpleIndex[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                               0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};

std::string ReadAll(const std::u16string &path)
{
    std::string s;
    HANDLE h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return s;
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    s.resize((size_t)size.QuadPart);
    DWORD got = 0;
    if (!s.empty()) ReadFile(h, &s[0], (DWORD)s.size(), &got, nullptr);
    CloseHandle(h);
    return s;
}

void WriteAll(const std::u16string &path, const std::string &s)
{
    HANDLE h = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD done = 0;
    WriteFile(h, s.data(), (DWORD)s.size(), &done, nullptr);
    CloseHandle(h);
}

struct Statuses {
    std::vector<std::pair<int, HRESULT>> seen;
    static void On(void *ctx, int status, HRESULT hr) { static_cast<Statuses *>(ctx)->seen.emplace_back(status, hr); }
    std::vector<int> codes() const
    {
        std::vector<int> c;
        for (auto &s : seen)
            if (c.empty() || c.back() != s.first) c.push_back(s.first);
        return c;
    }
};

} // namespace

TEST_CASE("The indexer gives a file a simple index that seeking lands on", "[indexer]")
{
    const unsigned colours[5] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF};
    std::u16string path = TempPath(u"wmw_index.wmv");
    {
        WmWriter w;
        WmFileSink sink;
        WmProfile p;
        REQUIRE(WmSystemProfile(9, &p));
        p.streams[1].keySpacingMs = 1000;
        REQUIRE(w.SetProfile(p) == S_OK);
        WmInputFormat v;
        w.GetInputFormat(1, &v);
        v.width = 320;
        v.height = 240;
        REQUIRE(w.SetInputFormat(1, v) == S_OK);
        REQUIRE(sink.Open(W(path)) == S_OK);
        REQUIRE(w.AddSink(&sink) == S_OK);
        REQUIRE(w.BeginWriting() == S_OK);
        for (int f = 0; f < 125; f++) {
            unsigned c = colours[f / 25];
            unsigned four[4] = {c, c, c, c};
            auto pic = Bars(320, 240, four);
            REQUIRE(w.WriteSample(1, (ULONGLONG)f * 400000, 1, pic.data(), (DWORD)pic.size()) == S_OK);
        }
        REQUIRE(w.EndWriting() == S_OK);
        sink.Close();
    }
    /* Take the index the file was written with away. */
    std::string bytes = ReadAll(path);
    if (getenv("KEEP_MEDIA")) WriteAll(TempPath(u"wmw_index_orig.wmv"), bytes);
    size_t at = bytes.rfind(std::string(reinterpret_cast<const char *>(kSimpleIndex), 16));
    REQUIRE(at != std::string::npos);
    WriteAll(path, bytes.substr(0, at));

    Statuses st;
    REQUIRE(WmIndexFile(W(path), &Statuses::On, &st) == S_OK);
    std::vector<int> codes = st.codes();
    REQUIRE(codes.size() >= 4);
    CHECK(codes.front() == WMW_STATUS_OPENED);
    CHECK(codes[1] == WMW_STATUS_STARTED);
    CHECK(codes.back() == WMW_STATUS_CLOSED);
    CHECK(std::find(codes.begin(), codes.end(), (int)WMW_STATUS_INDEX_PROGRESS) != codes.end());

    bytes = ReadAll(path);
    at = bytes.rfind(std::string(reinterpret_cast<const char *>(kSimpleIndex), 16));
    REQUIRE(at != std::string::npos);
    const BYTE *ix = reinterpret_cast<const BYTE *>(bytes.data() + at);
    ULONGLONG size, interval;
    DWORD count;
    memcpy(&size, ix + 16, 8);
    memcpy(&interval, ix + 40, 8);
    memcpy(&count, ix + 52, 4);
    CHECK(at + size == bytes.size());           /* the index ends the file */
    CHECK(interval == 10000000);
    CHECK((count >= 8 && count <= 10));    /* 5 s and the 3.1 s preroll */
    DWORD previous = 0;
    for (DWORD i = 0; i < count; i++) {
        DWORD packet;
        memcpy(&packet, ix + 56 + i * 6, 4);
        UNSCOPED_INFO("entry " << i << ": packet " << packet);
        CHECK(packet >= previous);
        previous = packet;
    }
    /* Seeking by the index lands on the right second's pictures. */
    std::string file = UnixPath(W(path));
    CHECK(CountFrames(file) == 125);
    for (int second = 1; second < 5; second++) {
        auto pic = FrameAt(file, second + 0.2, 320, 240, true);
        REQUIRE(!pic.empty());
        int rgb[3];
        MeanColour(pic, 320, 100, 80, 100, 80, rgb);
        INFO("second " << second << " rgb " << rgb[0] << "," << rgb[1] << "," << rgb[2]);
        CHECK(Near(rgb, colours[second], 24));
    }

    /* Indexing again replaces the index rather than adding one. */
    size_t before = bytes.size();
    if (getenv("KEEP_MEDIA")) WriteAll(TempPath(u"wmw_index_ours.wmv"), bytes);
    REQUIRE(WmIndexFile(W(path), nullptr, nullptr) == S_OK);
    CHECK(ReadAll(path).size() == before);
    DeleteFileW(W(path));
}

TEST_CASE("The indexer refuses what is not a whole ASF file and always closes", "[indexer][bad]")
{
    std::u16string path = TempPath(u"wmw_notasf.wmv");
    struct Row { const char *name; std::string bytes; HRESULT want; };
    std::string asfStart("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
    const Row rows[] = {
        {"text", std::string("This is a plain text file, not a video.\n") + std::string(200, 'x'), WMW_E_INVALID_INPUT_FORMAT},
        {"empty", "", WMW_E_INVALID_INPUT_FORMAT},
        {"header only", asfStart + std::string(8, '\xff') + std::string(200, '\0'), WMW_E_INVALID_INPUT_FORMAT},
    };
    for (const Row &r : rows) {
        INFO(r.name);
        WriteAll(path, r.bytes);
        Statuses st;
        CHECK(WmIndexFile(W(path), &Statuses::On, &st) == r.want);
        CHECK(st.codes() == std::vector<int>{WMW_STATUS_ERROR, WMW_STATUS_CLOSED});
        CHECK(ReadAll(path) == r.bytes);         /* nothing written */
    }
    DeleteFileW(W(path));
    Statuses st;
    CHECK(WmIndexFile(W(path), &Statuses::On, &st) == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    CHECK(st.codes() == std::vector<int>{WMW_STATUS_ERROR, WMW_STATUS_CLOSED});
    CHECK(WmStartIndexing(nullptr, nullptr, nullptr) == E_INVALIDARG);
}
