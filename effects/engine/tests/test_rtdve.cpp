// Realtime DVE descriptions: the layer records and matrix samples against
// hand-worked words, the storages and streams of both writers byte for
// byte (read back from an in-memory compound file), the output
// connection's reset-and-retry and stop, memory blocks, and bad input.
#include <catch2/catch.hpp>

#include <cstring>
#include <string>
#include <vector>

#include "fxrender.h"
#include "fxrtdve.h"
#include "fxview.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Hex(const char *text)
{
    Bytes out;
    for (const char *p = text; *p;) {
        if (*p == ' ' || *p == '\n') {
            ++p;
            continue;
        }
        out.push_back(uint8_t(std::stoi(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return out;
}

Bytes Slice(const Bytes &b, size_t from, size_t n)
{
    REQUIRE(from + n <= b.size());
    return Bytes(b.begin() + from, b.begin() + from + n);
}

int32_t Word(const Bytes &b, size_t index)
{
    int32_t v;
    REQUIRE((index + 1) * 4 <= b.size());
    std::memcpy(&v, b.data() + index * 4, 4);
    return v;
}

// A compound file as a host would pass it.  It is read back through a
// fresh open of the file, as the engine on the far side would read it.
struct HostStorage {
    WCHAR path[MAX_PATH] = {};
    IStorage *root = nullptr;
    bool reading = false;
    HostStorage()
    {
        WCHAR dir[MAX_PATH];
        REQUIRE(GetTempPathW(MAX_PATH, dir));
        REQUIRE(GetTempFileNameW(dir, L"rtd", 0, path));
        REQUIRE(SUCCEEDED(
            StgCreateDocfile(path, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &root)));
    }
    ~HostStorage()
    {
        if (root)
            root->Release();
        DeleteFileW(path);
    }
    void Reopen()
    {
        if (reading)
            return;
        root->Release();
        root = nullptr;
        REQUIRE(SUCCEEDED(StgOpenStorage(path, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &root)));
        reading = true;
    }
    bool Has(const WCHAR *name)
    {
        Reopen();
        IStorage *s = nullptr;
        HRESULT hr = root->OpenStorage(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &s);
        if (s)
            s->Release();
        return SUCCEEDED(hr);
    }
    CLSID ClassOf(const WCHAR *name)
    {
        Reopen();
        IStorage *s = nullptr;
        STATSTG st = {};
        REQUIRE(SUCCEEDED(root->OpenStorage(name, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &s)));
        s->Stat(&st, STATFLAG_NONAME);
        s->Release();
        return st.clsid;
    }
    Bytes Read(const WCHAR *storage, const WCHAR *stream)
    {
        Reopen();
        IStorage *s = nullptr;
        IStream *st = nullptr;
        REQUIRE(SUCCEEDED(root->OpenStorage(storage, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &s)));
        // A stream lives only as long as the storage it was opened from.
        HRESULT hr = s->OpenStream(stream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &st);
        if (FAILED(hr))
            s->Release();
        REQUIRE(SUCCEEDED(hr));
        Bytes out;
        uint8_t buf[4096];
        ULONG got = 0;
        while (SUCCEEDED(st->Read(buf, sizeof buf, &got)) && got)
            out.insert(out.end(), buf, buf + got);
        st->Release();
        s->Release();
        return out;
    }
};

// An output connection that records what it is given.
struct RecordingOutput : public IRtOutput {
    LONG refs = 1;
    int formats = 0, resets = 0, stops = 0;
    int resetsWanted = 0;      // answers RT_E_RESET_WANTED this many times
    std::vector<Bytes> samples;
    Bytes format;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void **out) override
    {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT Answer()
    {
        if (resetsWanted > 0) {
            --resetsWanted;
            return RT_E_RESET_WANTED;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetFormat(const RtMediaType *type, const void *block) override
    {
        HRESULT hr = Answer();
        if (hr == S_OK) {
            ++formats;
            format.assign(static_cast<const uint8_t *>(block), static_cast<const uint8_t *>(block) + 1008);
            CHECK(type->formatSize == 1008);
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Deliver(const void *sample, uint32_t size) override
    {
        HRESULT hr = Answer();
        if (hr == S_OK)
            samples.emplace_back(static_cast<const uint8_t *>(sample), static_cast<const uint8_t *>(sample) + size);
        return hr;
    }
    HRESULT STDMETHODCALLTYPE GetFormatBlock(void **block) override
    {
        *block = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Reset() override
    {
        ++resets;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stop() override
    {
        ++stops;
        return S_OK;
    }
};

// An effect of two objects; the first keyframe carries the attribute mode.
struct SmallEffect {
    FxPath *first = nullptr;
    explicit SmallEffect(int32_t attributeMode = 0)
    {
        REQUIRE(AppendNewPath(&first));
        FxPath *second = first;
        REQUIRE(AppendNewPath(&second));   // appended after the first, numbered 2
        REQUIRE(first->next == second);
        first->head->attributeMode = attributeMode;
    }
    ~SmallEffect() { FreeEffect(first); }
};

// The evaluated state used by the record tests: binary-exact fractions.
void FillState(FxKeyframe *kf)
{
    kf->crop[0] = 25;     // left
    kf->crop[1] = 25;     // right
    kf->crop[2] = 12.5;   // top
    kf->crop[3] = 37.5;   // bottom
    kf->cropMode = 0;
    kf->borderWidth = 4;
    kf->borderColour = 0x00FFFFFF;
    kf->fade = 25;
    kf->shadowRect[0] = 10;
    kf->shadowRect[1] = 20;
    kf->shadowRect[2] = 50;
    kf->shadowRect[3] = 50;
    kf->shadowColour = 0;
    kf->shadowFade = 100;
}

FxRtJob PlacedJob(FxKeyframe *state, FxPath *first)
{
    FxRtJob job = {};
    job.width = 512;
    job.height = 256;
    job.frameRate = 25;
    job.frameCount = 3;
    job.x0 = 64;
    job.y0 = 32;
    job.topDx = 256;
    job.leftDy = 128;
    job.objectNumber = 1;
    job.state = state;
    job.firstObject = first;
    return job;
}

const CLSID kHostClass = { 0x1234ABCD, 0x0001, 0x0002, { 1, 2, 3, 4, 5, 6, 7, 8 } };

} // namespace

TEST_CASE("Frame rates become field-rate pairs; colours pack as alpha and YCbCr", "[rtdve]")
{
    struct {
        int fps;
        uint32_t num, den;
    } rates[] = { { 30, 1001, 60000 }, { 60, 1001, 60000 }, { 25, 1, 50 }, { 24, 1, 24 } };
    for (auto &r : rates) {
        uint32_t n = 0, d = 0;
        RtFrameRate(r.fps, &n, &d);
        INFO(r.fps);
        CHECK(n == r.num);
        CHECK(d == r.den);
    }
    // White, black and red worked by hand; red's Cr (241) is clamped to 240.
    CHECK(RtPackColour(0x00FFFFFF, 1.0) == 0xFFEB8080u);
    CHECK(RtPackColour(0x00000000, 0.0) == 0x00108080u);
    CHECK(RtPackColour(0x000000FF, 0.5) == 0x80525AF0u);
    // Fixed point adds one half and truncates toward zero.
    CHECK(RtFixed1616(-180) == -11796479);
    CHECK(RtFixed1616(-0.5) == -32767);
    CHECK(RtFixed824(0.75) == 0xC00000);
}

TEST_CASE("Layer records of a placed object", "[rtdve]")
{
    SmallEffect fx;
    FxKeyframe *s = &fx.first->work;
    FillState(s);
    FxRtJob job = PlacedJob(s, fx.first);
    RtDveRecord dve;
    RtWindowRecord mask, chroma;

    SECTION("crop mode 0 without the chroma mask: the placement moves by the crop, the mask is the crop window")
    {
        BuildDveRecord(&job, s, 0, &dve);
        // x = 0.125 - 0.25 x 0.5, y = 0.125 - 0.125 x 0.5
        const int32_t expect[12] = { 0, 0, 0x100000, 0x800000, 0x800000, 4, int32_t(0xBFEB8080), 0x00108080,
                                     1677722, 1677722, 128 << 16, 64 << 16 };
        CHECK(std::memcmp(&dve, expect, sizeof expect) == 0);
        BuildMaskRecord(&job, s, 0, &mask);
        CHECK(mask.left == 0x400000);
        CHECK(mask.top == 0x200000);
        CHECK(mask.width == 0x800000);
        CHECK(mask.height == 0x800000);
        BuildChromaMaskRecord(&job, s, 0, &chroma);
        CHECK(chroma.left == 0);
        CHECK(chroma.width == 0x1000000);
    }
    SECTION("the chroma mask keeps the placement and takes the crop inside the object")
    {
        BuildDveRecord(&job, s, RT_CHROMA_MASK_FLAG, &dve);
        CHECK(dve.x == 0x200000);
        CHECK(dve.y == 0x200000);
        BuildMaskRecord(&job, s, RT_CHROMA_MASK_FLAG, &mask);
        CHECK(mask.width == 0x1000000);
        BuildChromaMaskRecord(&job, s, RT_CHROMA_MASK_FLAG, &chroma);
        CHECK(chroma.left == 0x400000);    // 0.125 + 0.5 x 0.25
        CHECK(chroma.top == 0x300000);     // 0.125 + 0.5 x 0.125
        CHECK(chroma.width == 0x400000);   // 0.5 - 0.5 x 0.5
        CHECK(chroma.height == 0x400000);
        // Snapped to whole pixels: left up, width down.
        job.x0 = 64.5;
        BuildChromaMaskRecord(&job, s, RT_CHROMA_MASK_FLAG, &chroma);
        CHECK(chroma.left == RtFixed824(129.0 / 512));
        CHECK(chroma.width == 0x400000);
    }
    SECTION("crop mode 1: full-frame placement, scaled border, the object's rectangle as mask")
    {
        s->cropMode = 1;
        job.x0 = -64;
        BuildDveRecord(&job, s, 0, &dve);
        CHECK(dve.x == 0);
        CHECK(dve.w == 0x1000000);
        CHECK(dve.borderWidth == 2);
        BuildMaskRecord(&job, s, 0, &mask);
        CHECK(mask.left == 0);             // -0.125 is taken off the width
        CHECK(mask.width == 0x600000);
        CHECK(mask.top == 0x200000);
    }
    SECTION("shadows are clamped to the frame's reach")
    {
        s->shadowRect[0] = 500;
        s->shadowRect[2] = -300;
        BuildDveRecord(&job, s, 0, &dve);
        CHECK(dve.shadow[0] == 1024 << 16);
        CHECK(dve.shadow[2] == -512 * 65536 + 1);
    }
    SECTION("a frame of zero size is not placed")
    {
        job.width = 0;
        BuildDveRecord(&job, s, 0, &dve);
        CHECK(dve.x == 0);
        CHECK(dve.w == 0x1000000);
        CHECK(dve.borderColour == 0);
    }
}

TEST_CASE("Filter records: PAINT, Procamp, TBC and Fader", "[rtdve]")
{
    SmallEffect fx;
    FxKeyframe *s = &fx.first->work;
    RtPaintRecord paint;
    s->monoFlags = 7;
    s->monoColour = 0x000000FF;
    s->posterize = 13;
    s->mosaic[0] = 5;
    s->mosaic[1] = 5;
    BuildPaintRecord(s, &paint);
    CHECK(Hex("03000000 F05A52FF 0500 0000 0400 0600") ==
          Bytes(reinterpret_cast<uint8_t *>(&paint), reinterpret_cast<uint8_t *>(&paint) + 16));
    s->monoColour = MONO_NO_COLOUR;
    s->mosaic[0] = 1;
    s->mosaic[1] = 1;
    BuildPaintRecord(s, &paint);
    CHECK(paint.monoColour == 0);
    CHECK(paint.mosaicWidth == 0);
    CHECK(paint.mosaicHeight == 2);

    RtProcampRecord pa;
    s->procamp[0] = 3.0;
    s->procamp[1] = -0.5;
    s->procamp[2] = 1.0;
    s->procamp[3] = -200;
    BuildProcampRecord(s, &pa);
    CHECK(pa.videoGain == 0x20000);
    CHECK(pa.videoSetup == -32767);
    CHECK(pa.chromaGain == 0x10000);
    CHECK(pa.hue == -11796479);
    CHECK(s->procamp[0] == 2.0);     // the state keeps the clamped values
    CHECK(s->procamp[3] == -180.0);

    RtPairRecord tbc, fader;
    s->strobeFlags = 6;
    s->strobeValue = 300;
    BuildTbcRecord(s, &tbc);
    CHECK(tbc.a == 2);
    CHECK(tbc.b == 255);
    CHECK(s->strobeValue == 255);
    s->fade = 25;
    BuildFaderRecord(s, &fader);
    CHECK(fader.b == 0xC00000);

    // An empty frame's neutral records.
    BuildPaintRecord(nullptr, &paint);
    CHECK(paint.monoFlags == 0);
    CHECK(paint.mosaicHeight == 0);
    BuildProcampRecord(nullptr, &pa);
    CHECK((pa.videoGain == 0x10000 && pa.videoSetup == 0 && pa.chromaGain == 0x10000 && pa.hue == 0));
    BuildTbcRecord(nullptr, &tbc);
    BuildFaderRecord(nullptr, &fader);
    CHECK((tbc.a == 0 && tbc.b == 1 && fader.a == 0 && fader.b == 0));
}

TEST_CASE("The layered description: sub-storages, headers and one record per layer and frame", "[rtdve]")
{
    HostStorage stg;
    SmallEffect fx(RT_FADER_FLAG);
    FxKeyframe *s = &fx.first->work;
    FillState(s);
    FxRtJob job = PlacedJob(s, fx.first);
    RecordingOutput dveOut, maskOut, chromaOut;
    dveOut.resetsWanted = 1;
    RtOutputItem items[] = { { { 0x29E9AEA4, 0x12FC, 0x11CF, { 0x97, 0xE5, 0x00, 0x20, 0xAF, 0x39, 0xE2, 0x54 } }, &dveOut },
                             { { 0x29E9AEA2, 0x12FC, 0x11CF, { 0x97, 0xE5, 0x00, 0x20, 0xAF, 0x39, 0xE2, 0x54 } }, &maskOut },
                             { { 0x29E9AEA2, 0x12FC, 0x11CF, { 0x97, 0xE5, 0x00, 0x20, 0xAF, 0x39, 0xE2, 0x54 } }, &chromaOut },
                             { GUID_NULL, nullptr } };
    RtWriter *w = CreateRealtimeParamFromList(items, &job, RT_LAYERED, stg.root, kHostClass, nullptr);
    REQUIRE(w);
    CHECK(job.originMode == 5);
    job.width = 512;
    job.height = 256;
    REQUIRE(w->BeginDescription(&job) == 1);

    CHECK(w->Write(&job) == 1);                // frame 1, object 1
    job.objectNumber = 2;
    CHECK(w->WriteFrame(&job) == 1);           // object 2: nothing
    job.positionFlags = RT_EMPTY_FRAME;
    job.state = nullptr;
    CHECK(w->WriteFrame(&job) == 1);           // frame 2: empty
    job.positionFlags = 0;
    job.objectNumber = 1;
    CHECK(w->WriteFrame(&job) == 0);           // objects without a state
    CHECK(w->EndDescription(&job) == 1);
    DeleteRealtimeParam(w);

    const WCHAR *names[] = { L"2D-DVE", L"Mask", L"ChromaMask", L"PAINT", L"Procamp", L"TBC", L"Fader" };
    const uint32_t sizes[] = { 48, 20, 20, 16, 20, 8, 8 };
    for (int i = 0; i < 7; ++i) {
        INFO(i);
        REQUIRE(stg.Has(names[i]));
        CHECK(stg.ClassOf(names[i]) == kHostClass);
        Bytes head = stg.Read(names[i], L"FX_HEADER");
        REQUIRE(head.size() == 68);
        CHECK(Word(head, 13) == int32_t(sizes[i]));
        Bytes data = stg.Read(names[i], L"FX_DATA");
        CHECK(data.size() == 2 * sizes[i]);
    }
    CHECK(stg.Read(L"2D-DVE", L"FX_HEADER") ==
          Hex("90EDE451 D9F9 CE11 B95D0020AF0FFEAB  A4AEE929 FC12 CF11 97E50020AF39E254"
              "01000000 01000000 01000000 32000000 03000000 30000000 01000000  02000000 03000000"));
    CHECK(Slice(stg.Read(L"Fader", L"FX_HEADER"), 0, 20) == Hex("90EDE451 D9F9 CE11 B95D0020AF0FFEAB A9AEE929"));
    Bytes dve = stg.Read(L"2D-DVE", L"FX_DATA");
    CHECK(Word(dve, 2) == 0x100000);
    CHECK(Slice(dve, 48, 48) == Hex("00000000 00000000 00000000 00000001 00000001 00000000 00000000 00000000"
                                    "00000000 00000000 00000000 00000000"));
    Bytes procamp = stg.Read(L"Procamp", L"FX_DATA");
    CHECK(Slice(procamp, 20, 20) == Hex("00000000 00000100 00000000 00000100 00000000"));
    CHECK(Slice(stg.Read(L"Mask", L"FX_DATA"), 20, 20) == Hex("00000000 00000000 00000000 00000001 00000001"));

    // The first 2D-DVE record was refused once, reset and offered again.
    CHECK(dveOut.resets == 1);
    REQUIRE(dveOut.samples.size() == 2);
    CHECK(dveOut.samples[0] == Slice(dve, 0, 48));
    CHECK(maskOut.samples.size() == 2);
    CHECK(chromaOut.samples.size() == 2);
    CHECK(maskOut.samples[0] != chromaOut.samples[0]);   // the crop window, the full frame
}

TEST_CASE("The layered description leaves the Fader out without the fader flag", "[rtdve]")
{
    HostStorage stg;
    SmallEffect fx(0);
    FxRtJob job = PlacedJob(&fx.first->work, fx.first);
    RtWriter *w = CreateRealtimeParam(RT_LAYERED, stg.root, kHostClass, &job);
    REQUIRE(w);
    REQUIRE(w->BeginDescription(&job) == 1);
    CHECK(w->WriteFrame(&job) == 1);
    w->EndDescription(&job);
    DeleteRealtimeParam(w);
    CHECK(stg.Has(L"TBC"));
    CHECK_FALSE(stg.Has(L"Fader"));
    CHECK(stg.Read(L"TBC", L"FX_DATA").size() == 8);
}

namespace {
void EdgeAndMesh(const FxPath *, FxRtObjectInfo *info)
{
    info->meshType = 2;
    info->edgeColour = 0x00102030;
    info->edgeKind = 3;
    info->edgeWidth = 1.25;
}
} // namespace

TEST_CASE("The matrix description: header stream, catalogue and samples", "[rtdve]")
{
    HostStorage stg;
    SmallEffect fx;
    FxKeyframe *s = &fx.first->work;
    s->blur[0] = 2;
    s->blur[1] = 3;
    s->crop[0] = 10;
    s->crop[1] = 20;
    s->crop[2] = 5;
    s->crop[3] = 15;
    s->fade = 25;
    s->softness = 1.5;
    s->shadowRect[0] = s->shadowRect[1] = 0;
    s->shadowColour = 0x00302010;
    s->shadowFade = 40;
    s->warpParams[0] = 7.4;
    FxRtJob job = {};
    job.frameRate = 30;
    job.frameCount = 2;
    job.objectNumber = 1;
    job.firstObject = fx.first;
    job.state = s;
    RecordingOutput out;
    RtOutputItem items[] = {
        { { 0xE83E5A81, 0x7760, 0x11CF, { 0xA9, 0xD1, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00 } }, &out },
        { GUID_NULL, nullptr } };
    bool withEdge = GENERATE(false, true);
    g_fxRtObjectInfo = withEdge ? EdgeAndMesh : nullptr;
    RtWriter *w = CreateRealtimeParamFromList(items, &job, RT_MATRIX, stg.root, kHostClass, nullptr);
    REQUIRE(w);
    CHECK(job.width == 8.0);
    CHECK(job.height == 6.0);
    // The object covers x -1..3, y -1..2 of the -4..4 by -3..3 view box.
    job.x0 = -1;
    job.y0 = -1;
    job.topDx = 4;
    job.leftDy = 3;
    REQUIRE(w->BeginDescription(&job) == 1);
    job.currentIndex = 1;
    CHECK(w->Write(&job) == 1);
    job.currentIndex = 2;
    job.positionFlags = RT_EMPTY_FRAME;
    job.state = nullptr;
    CHECK(w->WriteFrame(&job) == 1);
    CHECK(w->EndDescription(&job) == 1);
    DeleteRealtimeParam(w);
    g_fxRtObjectInfo = nullptr;

    CHECK(stg.ClassOf(L"Wishkit.DVE 1") == kHostClass);
    Bytes head = stg.Read(L"Wishkit.DVE 1", L"FX_HEADER");
    REQUIRE(head.size() == 60 + 72 + 1008 + 8);
    CHECK(Slice(head, 0, 132) ==
          Hex("21A7DE77 7776 CF11 A9D1444553540000  815A3EE8 6077 CF11 A9D1444553540000"
              "02000000 01000000 E9030000 60EA0000 02000000 B8000000 01000000"
              "21A7DE77 7776 CF11 A9D1444553540000  815A3EE8 6077 CF11 A9D1444553540000"
              "01000000 00000000 B8000000  C1DA4F62 6077 CF11 A9D1444553540000 00000000 F0030000 00000000"));
    Bytes block = Slice(head, 132, 1008);
    CHECK(Slice(block, 0, 28) == Hex("F0030000 01000000 2E000000 01787649 4E7B CF11 A9D1444553540000"));
    CHECK(out.format == block);
    CHECK(Slice(head, 1140, 8) == Hex("02000000 02000000"));
    const Bytes blank = Hex("40043021 1463 CF11 BF5C00608C52C6A3");
    auto param = [&](int i) { return Slice(block, 12 + 16 * i, 16); };
    CHECK(param(23) == Hex("E21ED07F 56C0 CF11 A9D1444553540000"));
    CHECK(param(29) == Hex("6B1DD461 0546 D111 9E8100A0C914114E"));
    CHECK(param(38) == Hex("B2264188 7F5B D111 ADA80060083DFC7C"));
    CHECK(param(45) == Hex("01060C6F 635F D111 ADAF0060083DFC7C"));
    // Seven groups at their first indices.
    CHECK(Word(block, 187) == 7);
    CHECK(Slice(block, 752, 36) == Hex("E298E10D 7CAE CF11 A9D1444553540000 00000000 12000000 00000000 00000000 00000000"));
    CHECK(Slice(block, 752 + 3 * 36, 36) ==
          Hex("4202347B 3DC8 CF11 A9D1444553540000 00000000 09000000 1D000000 00000000 00000000"));
    CHECK(Slice(block, 752 + 6 * 36 + 16, 12) == Hex("00000000 04000000 2A000000"));

    Bytes data = stg.Read(L"Wishkit.DVE 1", L"FX_DATA");
    REQUIRE(data.size() == 2 * 184);
    REQUIRE(out.samples.size() == 2);
    CHECK(out.samples[0] == Slice(data, 0, 184));
    CHECK(out.stops == 1);
    const int32_t matrix[12] = { 5000, 0, 0, 0, 5000, 0, 0, 0, 0, 10000, 5000, 10000 };
    for (int i = 0; i < 12; ++i) {
        INFO("matrix word " << i);
        CHECK(Word(data, i) == matrix[i]);
    }
    const int32_t crop[10] = { 2000, 8500, 1000, 9500, 2, 3, 7500, 100, 0, 0 };
    for (int i = 0; i < 10; ++i) {
        INFO("word " << 12 + i);
        CHECK(Word(data, 12 + i) == crop[i]);
    }
    CHECK(Word(data, 22) == 150);
    const int32_t offset[9] = { 1, 16, 32, 48, 0, 0, 6000, 1, 0 };
    for (int i = 0; i < 9; ++i)
        CHECK(Word(data, 37 + i) == offset[i]);
    if (!withEdge) {
        for (int i = 24; i <= 28; ++i)
            CHECK(param(i) == blank);
        for (int i = 23; i <= 27; ++i)
            CHECK(Word(data, i) == 0);
        CHECK(Word(data, 28) == 0);   // type 0: its fixed sub-kind
        CHECK(Word(data, 29) == 7);
        CHECK(Word(data, 30) == 0);
        for (int i = 31; i <= 37; ++i)
            CHECK(param(i) == blank);
    } else {
        CHECK(param(24) == Hex("E11ED07F 56C0 CF11 A9D1444553540000"));
        CHECK(param(26) == Hex("0154F01A 78C0 CF11 A9D1444553540000"));
        // edge width x 100, kind, red, green x 125 x 80 / 256, blue x 100
        const int32_t edge[5] = { 125, 3, 0x30, 0x20 * 125 * 80 / 256, 0x10 * 100 };
        for (int i = 0; i < 5; ++i)
            CHECK(Word(data, 23 + i) == edge[i]);
        // Type 2 has four parameters of its own, then blanks up to nine.
        CHECK(param(31) != blank);
        CHECK(param(34) != blank);
        CHECK(param(35) == blank);
        CHECK(Word(data, 28) == 2);
        CHECK(Word(data, 29) == 7);
    }
}

TEST_CASE("The matrix writer keeps its edge group for six frames", "[rtdve]")
{
    SmallEffect fx;
    FxKeyframe *s = &fx.first->work;
    uint8_t buffer[184 * 3];
    RtParamBlock block = {};
    block.buffer = buffer;
    block.capacity = sizeof buffer;
    FxRtJob job = {};
    job.objectNumber = 1;
    job.firstObject = fx.first;
    job.state = s;
    RtWriter *w = CreateRealtimeParamEx(RT_MATRIX_MEMORY, &block, &job);
    REQUIRE(w);
    REQUIRE(w->BeginDescription(&job) == 1);
    const struct {
        int frame;
        double softness;
        int32_t written;
    } steps[] = { { 1, 1.5, 150 }, { 7, 3.0, 150 }, { 8, 3.0, 300 } };
    for (auto &st : steps) {
        s->softness = st.softness;
        job.currentIndex = st.frame;
        REQUIRE(w->WriteFrame(&job) == 1);
    }
    for (int i = 0; i < 3; ++i) {
        int32_t v;
        std::memcpy(&v, buffer + 184 * i + 22 * 4, 4);
        CHECK(v == steps[i].written);
    }
    DeleteRealtimeParam(w);
}

TEST_CASE("Memory blocks, sizes and bad input", "[rtdve]")
{
    SmallEffect fx;
    FxRtJob job = {};
    job.objectNumber = 1;
    job.firstObject = fx.first;
    job.state = &fx.first->work;

    SECTION("samples beyond the block's room are dropped, never written past it")
    {
        uint8_t buffer[184 + 16];
        std::memset(buffer, 0xAB, sizeof buffer);
        RtParamBlock block = {};
        block.buffer = buffer;
        block.capacity = 184;
        RtWriter *w = CreateRealtimeParamEx(RT_MATRIX_MEMORY, &block, &job);
        REQUIRE(w);
        REQUIRE(w->BeginDescription(&job) == 1);
        for (int i = 0; i < 5; ++i)
            CHECK(w->WriteFrame(&job) == 1);
        CHECK(block.used == 184);
        for (int i = 184; i < 200; ++i)
            CHECK(buffer[i] == 0xAB);
        // A restart writes from the block's start again.
        std::memset(buffer, 0, 184);
        CHECK(w->RestartAndWrite(&job) == 1);
        CHECK(Word(Bytes(buffer, buffer + 184), 19) == 100);
        CHECK(w->EndDescription(&job) == 1);
        DeleteRealtimeParam(w);
    }
    SECTION("sizes per kind")
    {
        RtParamBlock block = {};
        CHECK(GetRealtimeParamSize(&block, 10, RT_MATRIX_MEMORY) == 1840);
        CHECK(block.formatSize == 1008);
        RtParamEntry entries[3] = { { 0, 0, nullptr, 0, 0 }, { 1, 0, nullptr, 0, 0 }, { 0, 50, nullptr, 0, 0 } };
        block.entries = entries;
        block.entryCount = 3;
        CHECK(GetRealtimeParamSize(&block, 2, RT_PARAM_LIST) == 2 * (72 + 104 + 50));
        CHECK(GetRealtimeParamSize(&block, 2, RT_MATRIX) == 0);
        RtWriter *w = CreateRealtimeParamEx(RT_PARAM_LIST, &block, &job);
        REQUIRE(w);
        CHECK(w->kind == RT_PARAM_LIST);
        DeleteRealtimeParam(w);
    }
    SECTION("no storage, no job, unknown kinds")
    {
        for (uint32_t kind : { RT_MATRIX, RT_LAYERED }) {
            RtWriter *w = CreateRealtimeParam(kind, nullptr, kHostClass, &job);
            REQUIRE(w);
            CHECK(w->BeginDescription(&job) == 0);
            CHECK(w->BeginDescription(nullptr) == 0);
            CHECK(w->WriteFrame(nullptr) == 0);
            CHECK(w->EndDescription(&job) == 1);
            DeleteRealtimeParam(w);
        }
        CHECK(CreateRealtimeParam(0x40000, nullptr, kHostClass, &job) == nullptr);
        CHECK(CreateRealtimeParamEx(RT_MATRIX, nullptr, &job) == nullptr);
        DeleteRealtimeParam(nullptr);
    }
    SECTION("an empty effect still describes its empty frames")
    {
        HostStorage stg;
        FxRtJob empty = {};
        empty.frameCount = 1;
        empty.positionFlags = RT_EMPTY_FRAME;
        RtWriter *w = CreateRealtimeParam(RT_LAYERED, stg.root, kHostClass, &empty);
        REQUIRE(w->BeginDescription(&empty) == 1);
        CHECK(w->WriteFrame(&empty) == 1);
        w->EndDescription(&empty);
        DeleteRealtimeParam(w);
        CHECK(stg.Read(L"TBC", L"FX_DATA") == Hex("00000000 01000000"));
        CHECK_FALSE(stg.Has(L"Fader"));
    }
    SECTION("a host of the keeping kind does not stop its output")
    {
        RecordingOutput out;
        RtOutputItem items[] = {
            { { 0xE83E5A81, 0x7760, 0x11CF, { 0xA9, 0xD1, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00 } }, &out },
            { GUID_NULL, nullptr } };
        job.hostKind = RT_HOST_KEEPS_OUTPUT;
        RtWriter *w = CreateRealtimeParamFromList(items, &job, RT_MATRIX, nullptr, kHostClass, nullptr);
        REQUIRE(w->BeginDescription(&job) == 1);   // the connection alone is enough
        CHECK(out.formats == 1);
        CHECK(w->WriteFrame(&job) == 1);
        CHECK(out.samples.size() == 1);
        w->EndDescription(&job);
        DeleteRealtimeParam(w);
        CHECK(out.stops == 0);
    }
}

TEST_CASE("The renderer drives a layered description frame by frame", "[rtdve][render]")
{
    // A 64 x 32 view rendered at its own size: object 1 (32 x 16, centred)
    // moves 8 pixels right from frame 1 to frame 3; object 2 is not described.
    int32_t d[13] = {};
    d[0] = 64;
    d[1] = 32;
    SIZE client = { 64, 32 };
    FxView *view = CreateView(d, nullptr, VIEW_NO_LAYER, nullptr, &client, nullptr);
    REQUIRE(view);
    SmallEffect fx;
    FxPath *a = fx.first;
    SetKeyframeSize(a->head, 32, 16);
    SetKeyframeSize(a->next->head, 8, 8);
    FxKeyframe *last = NewKeyframe();
    REQUIRE(last);
    CopyKeyframe(last, a->head);
    a->head->next = a->head->prev = last;
    last->next = last->prev = a->head;
    last->index = 2;
    last->startFrame = last->endFrame = 3;
    last->startTime = last->endTime = 3;
    last->position[0] += 8;
    NoteKeyframeChange(a, FXC_POSITION);

    HostStorage stg;
    FxRenderJob job;
    std::memset(&job, 0, sizeof job);
    job.width = 64;
    job.height = 32;
    FxRtJob rt = {};
    RtWriter *w = CreateRealtimeParam(RT_LAYERED, stg.root, kHostClass, &rt);
    REQUIRE(w);
    RtPrepareRenderJob(&job, RT_LAYERED);
    CHECK(job.originMode == 5);
    FxRtRenderContext ctx = { w, 0 };
    job.user = &ctx;
    job.object = RealtimeFrameCallback;
    REQUIRE(RenderFrames(view, fx.first, nullptr, &job) == 0);
    DeleteRealtimeParam(w);
    DestroyView(view);

    Bytes head = stg.Read(L"2D-DVE", L"FX_HEADER");
    CHECK(Slice(head, 40, 8) == Hex("E9030000 60EA0000"));   // the effect's default 30 frames per second
    CHECK(Word(head, 12) == 3);
    Bytes dve = stg.Read(L"2D-DVE", L"FX_DATA");
    REQUIRE(dve.size() == 3 * 48);
    CHECK(Slice(dve, 4, 16) == Hex("00004000 00004000 00008000 00008000"));
    CHECK(Word(dve, 12 + 1) > 0x400000);
    CHECK(Word(dve, 12 + 1) < 0x600000);
    CHECK(Word(dve, 24 + 1) == 0x600000);
    CHECK(stg.Read(L"TBC", L"FX_DATA").size() == 3 * 8);

    // Without a writer the converter stops the render at once.
    FxRtRenderContext none = { nullptr, 0 };
    job.user = &none;
    CHECK(RealtimeFrameCallback(RS_START, &job) == 0);
    CHECK(RealtimeFrameCallback(RS_START, nullptr) == 0);
}

namespace {
std::vector<Bytes> g_packed;
LONG_PTR g_packedCodec = 0;
LONG_PTR WINAPI RecordPacked(LONG_PTR codec, void *block, LONG_PTR zero)
{
    CHECK(zero == 0);
    g_packedCodec = codec;
    g_packed.emplace_back(static_cast<uint8_t *>(block), static_cast<uint8_t *>(block) + 128);
    return 1;
}
} // namespace

TEST_CASE("Packed thumbnail frames: crop window and 2D-DVE record as chunks for the codec", "[rtdve][packed]")
{
    REQUIRE(FxBindStolid() == 1);
    SmallEffect fx;
    FxKeyframe *s = &fx.first->work;
    FillState(s);
    s->cropMode = 1;
    FxRenderJob job;
    std::memset(&job, 0, sizeof job);
    job.width = 512;
    job.height = 256;
    job.corners.x0 = 64;
    job.corners.y0 = 32;
    job.corners.topDx = 256;
    job.corners.leftDy = 128;
    job.corners.state = s;
    job.objectNumber = 2;      // every object is handed over
    job.firstObject = fx.first;
    FxRtRenderContext ctx = { nullptr, 0, 0x5150 };
    job.user = &ctx;
    g_packed.clear();
    g_fxRtPackFrame = RecordPacked;

    for (int step : { RS_START, RS_END, RS_PRE, RS_POST })
        CHECK(WritePackedFrame(step, &job) == 1);
    CHECK(g_packed.empty());
    REQUIRE(WritePackedFrame(RS_FRAME, &job) == 1);
    REQUIRE(g_packed.size() == 1);
    CHECK(g_packedCodec == 0x5150);
    CHECK(g_packed[0] ==
          Hex("6C000000 93FFFFFF"                                                 // outer chunk: 92 data bytes
              "20000000 260000C0 00140000"                                        // crop window
              "00000000 00004000 00003000 00004000 00004000"
              "3C000000 260000C0 00180000"                                        // 2D-DVE, crop mode 1
              "00000000 00000000 00000000 00000001 00000001 02000000 8080EBBF 80801000"
              "9A991900 9A991900 00008000 00004000"
              "08000000 00000000"                                                 // trailer
              "00000000 00000000"                                                 // end of stream
              "00000000 00000000 00000000"));
    // With crop mode 0 the window is the crop margins.
    s->cropMode = 0;
    REQUIRE(WritePackedFrame(RS_FRAME_EXTRA, &job) == 1);
    REQUIRE(g_packed.size() == 2);
    CHECK(Slice(g_packed[1], 24, 16) == Hex("00004000 00002000 00008000 00008000"));

    g_fxRtPackFrame = nullptr;
    CHECK(WritePackedFrame(RS_FRAME, &job) == 1);   // no codec: built and dropped
    CHECK(WritePackedFrame(RS_FRAME, nullptr) == 1);
    CHECK(g_packed.size() == 2);
}

TEST_CASE("An effect with more frames than the caller's block holds fills the block and no more", "[rtdve][render]")
{
    int32_t d[13] = {};
    d[0] = 64;
    d[1] = 48;
    SIZE client = { 64, 48 };
    FxView *view = CreateView(d, nullptr, VIEW_NO_LAYER, nullptr, &client, nullptr);
    REQUIRE(view);
    SmallEffect fx;
    FxPath *a = fx.first;
    // 40 keyframes, one per frame.
    for (int k = 2; k <= 40; ++k) {
        FxKeyframe *last = a->head->prev;
        FxKeyframe *kf = NewKeyframe();
        REQUIRE(kf);
        CopyKeyframe(kf, last);
        last->next = kf;
        kf->prev = last;
        kf->next = a->head;
        a->head->prev = kf;
        kf->index = k;
        kf->startFrame = kf->endFrame = k;
        kf->startTime = kf->endTime = k;
        kf->delay = 0;
    }
    NoteKeyframeChange(a, FXC_POSITION);

    std::vector<uint8_t> buffer(184 * 10 + 64, 0xEE);
    RtParamBlock block = {};
    block.buffer = buffer.data();
    block.capacity = 184 * 10;
    FxRtJob rt = {};
    RtWriter *w = CreateRealtimeParamEx(RT_MATRIX_MEMORY, &block, &rt);
    REQUIRE(w);
    FxRenderJob job;
    std::memset(&job, 0, sizeof job);
    RtPrepareRenderJob(&job, RT_MATRIX_MEMORY);
    CHECK(job.width == 8.0);
    FxRtRenderContext ctx = { w, 0, 0 };
    job.user = &ctx;
    job.object = RealtimeFrameCallback;
    CHECK(RenderFrames(view, fx.first, nullptr, &job) == 0);
    CHECK(job.frameCount == 40);
    CHECK(block.used == 184 * 10);
    for (size_t i = 184 * 10; i < buffer.size(); ++i)
        REQUIRE(buffer[i] == 0xEE);
    // Every stored sample describes object 1 (visibility word 100).
    for (int i = 0; i < 10; ++i)
        CHECK(Word(Bytes(buffer.begin() + 184 * i, buffer.begin() + 184 * (i + 1)), 19) == 100);
    DeleteRealtimeParam(w);
    DestroyView(view);
}
