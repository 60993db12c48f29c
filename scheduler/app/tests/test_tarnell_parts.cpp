/*
 * The scheduler program's window parts without a display: the capture
 * device tables (the DV rule on stand-in devices), the process count, the
 * colour label's blinking and font, the progress bar's arithmetic and
 * painting, and the main window's outline.
 */
#include <catch2/catch.hpp>

#include <algorithm>
#include <ocidl.h>
#include <strmif.h>
#include <uuids.h>

#include <map>
#include <vector>

#include "capture_names.h"
#include "skinned_controls.h"

namespace {

/* Stand-in devices: the names of each category by position. */
CaptureDeviceNames::Enumerator Devices(std::vector<std::string> video, std::vector<std::string> audio)
{
    return [video, audio](bool isVideo, int index, std::string &name) {
        const auto &t = isVideo ? video : audio;
        if (index < 0 || static_cast<size_t>(index) >= t.size())
            return false;
        name = t[static_cast<size_t>(index)];
        return true;
    };
}

using Names = std::vector<std::string>;

} // namespace

TEST_CASE("the audio table lists the audio inputs, then the first DV camera once", "[devices]")
{
    struct Case {
        Names video, audio, wantVideo, wantAudio;
    };
    const Case cases[] = {
        /* two DV cameras, no audio input */
        {{"Microsoft DV Camera and VCR", "Microsoft DV Camera and VCR (1)"},
         {},
         {"Microsoft DV Camera and VCR", "Microsoft DV Camera and VCR (1)"},
         {"Microsoft DV Camera and VCR"}},
        /* a USB camera and a DV camera, two microphones */
        {{"USB Video", "Microsoft DV Camera and VCR"},
         {"Line In", "Microphone"},
         {"USB Video", "Microsoft DV Camera and VCR"},
         {"Line In", "Microphone", "Microsoft DV Camera and VCR"}},
        /* no DV camera: only the audio inputs */
        {{"USB Video"}, {"Line In"}, {"USB Video"}, {"Line In"}},
        /* nothing at all */
        {{}, {}, {}, {}},
    };
    for (const Case &c : cases) {
        CaptureDeviceNames names(Devices(c.video, c.audio));
        names.Fill();
        CHECK(names.VideoTable() == c.wantVideo);
        CHECK(names.AudioTable() == c.wantAudio);
        /* A second fill gives the same tables (the DV flag does not stick). */
        names.Fill();
        CHECK(names.AudioTable() == c.wantAudio);
    }
}

TEST_CASE("the DV camera is given once, then the calls answer null and start over", "[devices]")
{
    CaptureDeviceNames names(Devices({"Microsoft DV Camera and VCR"}, {}));
    const char *first = names.GetAudioDeviceName(0);
    REQUIRE(first);
    CHECK(std::string(first) == "Microsoft DV Camera and VCR");
    CHECK(names.GetAudioDeviceName(1) == nullptr);
    /* The flag is cleared by the call that found nothing. */
    const char *again = names.GetAudioDeviceName(0);
    REQUIRE(again);
    CHECK(names.GetVideoDeviceName(1) == nullptr);
    CHECK(names.GetVideoDeviceName(-1) == nullptr);
}

TEST_CASE("a long device name is cut to the table's 259 characters", "[devices]")
{
    CaptureDeviceNames names(Devices({std::string(400, 'v')}, {}));
    const char *n = names.GetVideoDeviceName(0);
    REQUIRE(n);
    CHECK(std::string(n).size() == 259u);
}

TEST_CASE("processes are counted by program name without regard to case", "[process]")
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string base = path;
    base = base.substr(base.find_last_of("\\/") + 1);
    CHECK(CountProcesses(base.c_str()) >= 1);
    std::string upper = base;
    for (char &ch : upper)
        ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
    CHECK(CountProcesses(upper.c_str()) == CountProcesses(base.c_str()));
    CHECK(CountProcesses("NoSuchProgram_4711.exe") == 0);
    CHECK(CountProcesses(nullptr) == 0);
}

TEST_CASE("the progress bar's percentage and fill use the span and survive an empty one", "[progress]")
{
    struct Case {
        int pos, low, high, extent, percent, fill;
    };
    const Case cases[] = {
        {50, 0, 100, 200, 50, 100},
        {0, 0, 100, 200, 0, 0},
        {100, 0, 100, 200, 100, 200},
        {150, 100, 200, 300, 50, 150}, /* low bound other than 0 */
        {100, 100, 200, 300, 0, 0},    /* at the low bound: no bar */
        {5, 7, 7, 300, 0, 0},          /* empty span */
        {250, 0, 100, 200, 100, 200},  /* past the high bound */
        {-5, 0, 100, 200, 0, 0},
        {3, 0, 7, 70, 42, 30},
    };
    for (const Case &c : cases) {
        INFO(c.pos << " in " << c.low << ".." << c.high);
        CHECK(ProgressPercent(c.pos, c.low, c.high) == c.percent);
        CHECK(ProgressFill(c.pos, c.low, c.high, c.extent) == c.fill);
    }

    ScheduleProgressBar bar;
    bar.SetRange(0, 100);
    CHECK(bar.Text() == "0 %");
    bar.SetPos(50);
    CHECK(bar.Text() == "50 %");
    bar.SetRange(10, 10);
    bar.SetPos(10);
    CHECK(bar.Text() == "0 %");
}

TEST_CASE("shades move a channel only while it stays inside 0..255", "[progress]")
{
    CHECK(LightenColour(RGB(0x10, 0xE0, 0xCC), 0x33) == RGB(0x43, 0xE0, 0xFF));
    CHECK(DarkenColour(RGB(0x10, 0x33, 0xCC), 0x33) == RGB(0x10, 0x00, 0x99));
    CHECK(MidColour(RGB(0x40, 0x80, 0x00), RGB(0x80, 0x40, 0x01)) == RGB(0x60, 0x60, 0x00));
}

TEST_CASE("the progress bar paints its fill and text into a bitmap", "[progress]")
{
    HWND host = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 200, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(host);
    ScheduleProgressBar bar;
    REQUIRE(bar.SubclassWindow(host));
    bar.SetRange(0, 100);
    bar.SetPos(25);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 200;
    bi.bmiHeader.biHeight = -20;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, dib);
    RECT rc = {0, 0, 200, 20};
    bar.Paint(dc, rc);
    GdiFlush();
    auto px = [&](int x, int y) {
        unsigned v = static_cast<const unsigned *>(bits)[y * 200 + x] & 0xFFFFFF;
        return RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
    };
    CHECK(px(20, 10) == bar.Shade(0));                             /* inside the bar */
    CHECK(px(190, 18) == COLORREF(ScheduleProgressBar::kTroughColour));     /* past it */
    int textPixels = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 80; x < 120; ++x)
            textPixels += px(x, y) == COLORREF(ScheduleProgressBar::kTextColour);
    CHECK(textPixels > 10);
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    bar.UnsubclassWindow();
    DestroyWindow(host);
}

TEST_CASE("a colour label blinks its text one second on, one off, and stops on request", "[label]")
{
    HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 95, 17, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(w);
    ColorLabel label;
    REQUIRE(label.SubclassWindow(w));
    auto text = [&] {
        char buf[64] = "";
        GetWindowTextA(w, buf, sizeof buf);
        return std::string(buf);
    };
    label.SetBlinkText(TRUE, "0007");
    CHECK(label.Blinking());
    CHECK(text() == "0007");
    label.OnBlinkTimer();
    CHECK(text() == "");
    label.OnBlinkTimer();
    CHECK(text() == "0007");
    label.OnBlinkTimer();
    label.SetBlinkText(FALSE, "0000");
    CHECK_FALSE(label.Blinking());
    CHECK(text() == "0000");
    /* Not blinking: FALSE changes nothing. */
    label.SetBlinkText(FALSE, "1234");
    CHECK(text() == "0000");

    label.SetFontName("Arial").SetFontSize(18).SetFontBold(TRUE).SetTextColor(RGB(0, 255, 0));
    CHECK(std::string(label.Font().lfFaceName) == "Arial");
    CHECK(label.Font().lfHeight == -18);
    CHECK(label.Font().lfWeight == FW_BOLD);
    /* A name longer than the face field is cut, not copied past it. */
    label.SetFontName(std::string(80, 'F').c_str());
    CHECK(std::string(label.Font().lfFaceName) == std::string(31, 'F'));
    label.UnsubclassWindow();
    DestroyWindow(w);
}

TEST_CASE("the main window's outline cuts the corners in steps", "[region]")
{
    HRGN rgn = CreateMainWindowRegion();
    REQUIRE(rgn);
    RECT box;
    GetRgnBox(rgn, &box);
    CHECK(box.left == 0);
    CHECK(box.top == 0);
    CHECK(box.right == 1015);
    CHECK(box.bottom == 767);
    struct P {
        int x, y;
        bool in;
    };
    const P points[] = {{500, 400, true}, {0, 0, false}, {1014, 0, false}, {0, 766, false}, {1014, 766, false},
                        {10, 5, true},    {0, 20, true}, {1013, 20, true}, {500, 1, true}, {4, 4, true}};
    for (const P &p : points) {
        INFO(p.x << "," << p.y);
        CHECK(static_cast<bool>(PtInRegion(rgn, p.x, p.y)) == p.in);
    }
    DeleteObject(rgn);
}

TEST_CASE("the preview panes' outline: 13 points a corner, mirrored, inside the pane", "[region]")
{
    for (const SIZE sz : {SIZE{381, 195}, SIZE{350, 315}}) {
        INFO(sz.cx << " x " << sz.cy);
        POINT pt[kSteppedRegionPoints];
        SteppedRegionPoints(sz.cx, sz.cy, pt);
        const int r = sz.cx - 1, b = sz.cy - 1;
        /* The corner ends: each edge leaves its corner 9 pixels in. */
        const POINT ends[][2] = {{{0, 9}, {9, 0}},         {{r - 9, 0}, {r, 9}},
                                 {{r, b - 9}, {r - 9, b}}, {{9, b}, {0, b - 9}}};
        for (int c = 0; c < 4; ++c) {
            CHECK(pt[13 * c].x == ends[c][0].x);
            CHECK(pt[13 * c].y == ends[c][0].y);
            CHECK(pt[13 * c + 12].x == ends[c][1].x);
            CHECK(pt[13 * c + 12].y == ends[c][1].y);
        }
        /* Every step is one horizontal or vertical move. */
        for (int i = 0; i < kSteppedRegionPoints; ++i) {
            const POINT a = pt[i], n = pt[(i + 1) % kSteppedRegionPoints];
            CHECK((a.x == n.x) != (a.y == n.y));
            CHECK((a.x >= 0 && a.x <= r && a.y >= 0 && a.y <= b));
        }
        HRGN rgn = CreateSteppedRegion(sz.cx, sz.cy);
        CHECK_FALSE(PtInRegion(rgn, 0, 0));
        CHECK_FALSE(PtInRegion(rgn, r - 1, b - 1));
        CHECK(PtInRegion(rgn, 4, 4));
        CHECK(PtInRegion(rgn, sz.cx / 2, 1));
        CHECK(PtInRegion(rgn, 1, sz.cy / 2));
        DeleteObject(rgn);
    }
}

namespace {
/* Friendly names of one device category, read here independently. */
std::vector<std::string> CategoryNames(REFCLSID category)
{
    std::vector<std::string> names;
    ICreateDevEnum *devs = nullptr;
    IEnumMoniker *e = nullptr;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                                reinterpret_cast<void **>(&devs))))
        return names;
    if (devs->CreateClassEnumerator(category, &e, 0) == S_OK) {
        IMoniker *m = nullptr;
        while (e->Next(1, &m, nullptr) == S_OK) {
            IPropertyBag *bag = nullptr;
            if (SUCCEEDED(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)))) {
                VARIANT v;
                VariantInit(&v);
                const OLECHAR name[] = {'F', 'r', 'i', 'e', 'n', 'd', 'l', 'y', 'N', 'a', 'm', 'e', 0};
                if (SUCCEEDED(bag->Read(name, &v, nullptr)) && V_VT(&v) == VT_BSTR) {
                    char buf[260] = "";
                    WideCharToMultiByte(CP_ACP, 0, V_BSTR(&v), -1, buf, sizeof buf, nullptr, nullptr);
                    names.push_back(buf);
                }
                VariantClear(&v);
                bag->Release();
            }
            m->Release();
        }
        e->Release();
    }
    devs->Release();
    return names;
}
} // namespace

TEST_CASE("the installed stand-in devices: both DV camcorders listed, one of them in the sound table",
          "[devices][system]")
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        const std::vector<std::string> video = CategoryNames(CLSID_VideoInputDeviceCategory);
        const std::vector<std::string> audio = CategoryNames(CLSID_AudioInputDeviceCategory);
        CaptureDeviceNames names;
        names.Fill();
        const std::string dv = "Microsoft DV Camera and VCR";
        /* Every video input, both DV camcorders included: the system lists
         * each DV device under the same name. */
        CHECK(names.VideoTable() == video);
        CHECK(std::count(video.begin(), video.end(), dv) == 2);
        /* The sound table: every audio input (the tone microphone among
         * them), then a DV camera once, however many there are. */
        REQUIRE(std::count(audio.begin(), audio.end(), std::string("Tone Microphone")) == 1);
        std::vector<std::string> want = audio;
        want.push_back(dv);
        CHECK(names.AudioTable() == want);
        CHECK(std::count(names.AudioTable().begin(), names.AudioTable().end(), dv) == 1);
        /* A second filling gives the same tables (the DV flag starts over). */
        names.Fill();
        CHECK(names.VideoTable() == video);
        CHECK(names.AudioTable() == want);
    }
    CoUninitialize();
}

TEST_CASE("the system's enumeration fills the tables without failing", "[devices]")
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        CaptureDeviceNames names;
        names.Fill();
        CHECK(names.VideoTable().size() <= 260u);
        for (const auto &n : names.VideoTable())
            CHECK_FALSE(n.empty());
    }
    CoUninitialize();
}

#include "title_entry_rules.h"

TEST_CASE("the title entry's checks run in their order with their texts", "[titleentry]")
{
    using namespace titleentry;
    TitleEntryContext append;
    append.mode = 0;
    append.number = "3";
    append.date = "2024/05/01";
    append.earliestStart = 3600;
    append.previousSource = "C:\\t\\a.lmf";
    const TitleEntryValues good = {3600, 10, "news", "C:\\t\\b.lmf"};

    TitleEntryContext insert = append;
    insert.mode = 1;
    insert.previousDate = "2024/05/01";
    insert.previousEnd = 3600;
    insert.nextDate = "2024/05/01";
    insert.nextStart = 3700;
    insert.nextExists = true;
    insert.nextSource = "C:\\t\\c.lmf";
    insert.shuffle = false;

    struct Case {
        const char *what;
        const TitleEntryContext *ctx;
        TitleEntryValues v;
        std::string want;
    };
    TitleEntryContext firstAppend = append;
    firstAppend.number = "1";
    TitleEntryContext laterDay = insert; /* the previous title ended the day before */
    laterDay.previousDate = "2024/04/30";
    laterDay.previousEnd = 86000;
    TitleEntryContext shuffleOn = insert;
    shuffleOn.shuffle = true;
    TitleEntryContext nextTomorrow = insert;
    nextTomorrow.nextDate = "2024/05/02";
    nextTomorrow.nextStart = 10;
    TitleEntryContext pastNext = insert;
    pastNext.date = "2024/05/03";
    pastNext.previousDate = "2024/05/03";
    const Case cases[] = {
        {"accepted", &append, good, ""},
        {"subject first of all", &append, {0, 1, "", ""}, kSubjectError},
        {"2 s is too short", &append, {3600, 2, "news", ""}, kDurationError},
        {"3 s is enough", &append, {3600, 3, "news", "C:\\t\\b.lmf"}, ""},
        {"no file", &append, {3600, 10, "news", ""}, kSourceError},
        {"same file as before", &append, {3600, 10, "news", "C:\\t\\a.lmf"}, kSourceError},
        {"before the earliest start", &append, {3599, 10, "news", "C:\\t\\b.lmf"}, kStartError},
        {"the first title is taken at once", &firstAppend, {0, 10, "news", "C:\\t\\a.lmf"}, ""},
        {"an hour of 24 is no time of day", &firstAppend, {86400, 10, "news", "C:\\t\\a.lmf"}, kStartError},
        {"23:59:59 is", &firstAppend, {86399, 10, "news", "C:\\t\\a.lmf"}, ""},
        {"insert: same file as the next", &insert, {3600, 10, "news", "C:\\t\\c.lmf"}, kSourceError},
        {"insert: before the previous end", &insert, {3599, 10, "news", "C:\\t\\b.lmf"}, kStartError},
        {"insert: previous ended yesterday", &laterDay, {0, 10, "news", "C:\\t\\b.lmf"}, ""},
        {"insert: fits before the next", &insert, {3600, 100, "news", "C:\\t\\b.lmf"}, ""},
        {"insert: runs into the next", &insert, {3600, 101, "news", "C:\\t\\b.lmf"}, kMarkShuffle},
        {"insert: shuffle shifts instead", &shuffleOn, {3600, 101, "news", "C:\\t\\b.lmf"}, ""},
        {"next tomorrow, ends before it", &nextTomorrow, {86000, 400, "news", "C:\\t\\b.lmf"}, ""},
        {"next tomorrow, runs into it", &nextTomorrow, {86000, 411, "news", "C:\\t\\b.lmf"}, kMarkShuffle},
        {"a date after the next title's", &pastNext, {3600, 10, "news", "C:\\t\\b.lmf"}, kMarkShuffle},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        CHECK(CheckTitleEntry(*c.ctx, c.v) == c.want);
    }
}

TEST_CASE("time list texts: one or two digits inside the list's range", "[titleentry]")
{
    struct Case {
        const char *text;
        bool hours, valid;
    };
    const Case cases[] = {{"00", false, true}, {"0", false, true},  {"59", false, true}, {"75", false, false},
                          {"60", false, false}, {"23", true, true}, {"24", true, false}, {"", false, false},
                          {"007", false, false}, {"ab", false, false}, {"5x", false, false}};
    for (const Case &c : cases) {
        INFO(c.text);
        CHECK(TimeListTextValid(c.text, c.hours) == c.valid);
    }
}

TEST_CASE("typed time texts keep the digits typed last, overwriting, and refuse the rest", "[titleentry]")
{
    struct Case {
        const char *text;
        int caret;
        bool hours;
        const char *kept;
        int caretAfter;
    };
    const Case cases[] = {
        {"001", 3, false, "01", 2}, /* typed at the end of "00" */
        {"012", 3, false, "12", 2},
        {"100", 1, false, "10", 1}, /* typed at the start: overwrites the next digit */
        {"010", 2, false, "01", 2},
        {"1", 1, false, "1", 1},    /* all selected, then typed over */
        {"12", 2, false, "12", 2},
        {"", 0, false, "", 0},      /* left empty while typing */
        {"235", 3, true, "00", 2},  /* no hour 35 */
        {"0235", 4, true, "00", 2}, /* pasted: refused */
        {"023", 3, true, "23", 2},  {"024", 3, true, "00", 2}, {"075", 3, false, "00", 2},
        {"75", 2, false, "00", 2},  {"1a", 2, false, "00", 2},
    };
    for (const Case &c : cases) {
        INFO(c.text << " caret " << c.caret);
        int caret = c.caret;
        CHECK(TypedTimeText(c.text, c.hours, caret) == c.kept);
        CHECK(caret == c.caretAfter);
    }
}

#include "source_entry_rules.h"

TEST_CASE("the source entry's checks run in their order with their texts", "[sourceentry]")
{
    using namespace sourceentry;
    SourceEntryContext add;
    add.mode = 0;
    add.number = 10;
    add.a = {"C:\\m\\last.avi", "C:\\m\\last.avi", 4};
    SourceEntryContext modify = add;
    modify.mode = 2;
    modify.ownChannel = 3;
    modify.a = {"C:\\m\\here.avi", "C:\\m\\here.avi", 3};
    modify.b = {"C:\\m\\next.avi", "C:\\m\\next.avi", 4};
    modify.c = {"C:\\m\\before.avi", "C:\\m\\before.avi", 2};

    struct Case {
        const char *what;
        const SourceEntryContext *ctx;
        SourceEntryValues v;
        std::string want;
        int channel;
    };
    const Case cases[] = {
        {"accepted: item 10 on channel 5", &add, {5, "s", "C:\\m\\new.avi", "C:\\m\\new.avi"}, "", 5},
        {"4 s is too short", &add, {4, "s", "C:\\m\\new.avi", "C:\\m\\new.avi"}, kDurationError, 0},
        {"duration before subject", &add, {4, "", "", ""}, kDurationError, 0},
        {"empty subject", &add, {5, "", "C:\\m\\new.avi", "C:\\m\\new.avi"}, kSubjectError, 0},
        {"the last item's video", &add, {5, "s", "C:\\m\\last.avi", "C:\\m\\new.avi"}, kSourceError, 0},
        {"the last item's audio", &add, {5, "s", "C:\\m\\new.avi", "C:\\m\\last.avi"}, kSourceError, 0},
        {"no video", &add, {5, "s", "", "C:\\m\\new.avi"}, kSourceError, 0},
        {"no audio", &add, {5, "s", "C:\\m\\new.avi", ""}, kSourceError, 0},
        {"comparison is case-sensitive", &add, {5, "s", "C:\\M\\LAST.AVI", "C:\\M\\LAST.AVI"}, "", 5},
        {"modify keeps its channel", &modify, {5, "s", "C:\\m\\here.avi", "C:\\m\\here.avi"}, "", 3},
        {"modify: same as the item before", &modify, {5, "s", "C:\\m\\before.avi", "x"}, kSourceError, 0},
        {"modify: same as the item after", &modify, {5, "s", "y", "C:\\m\\next.avi"}, kSourceError, 0},
    };
    for (const Case &c : cases) {
        INFO(c.what);
        int ch = 0;
        CHECK(CheckSourceEntry(*c.ctx, c.v, &ch) == c.want);
        CHECK(ch == c.channel);
    }
    CHECK(NewItemChannel(10) == 5);
    CHECK(NewItemChannel(11) == 1);
    CHECK(NewItemChannel(4) == 4);
}

TEST_CASE("the palette pages stay inside 0..8; an added item follows the last", "[sourceentry]")
{
    CHECK(PageLeft(0) == 0);
    CHECK(PageRight(8) == 8);
    CHECK(PageRight(3) == 4);
    CHECK(PageOfTransition(0) == 0);
    CHECK(PageOfTransition(19) == 3);
    CHECK(PageOfTransition(43) == 8);
    std::string date;
    int start = 0;
    ProposeAddedStart("2024/12/31", 23 * 3600 + 50 * 60, 15 * 60, date, start);
    CHECK(date == "2025/01/01");
    CHECK(start == 5 * 60);
    ProposeAddedStart("2024/12/31", 3600, 60, date, start);
    CHECK(date == "2024/12/31");
    CHECK(start == 3660);
}

TEST_CASE("DrawBitmap copies at its own size clipped, or stretched; a null bitmap draws nothing", "[draw]")
{
    /* A 4 x 2 picture: red on the left half, blue on the right. */
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = 4;
    bi.bmiHeader.biHeight = -2;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    REQUIRE(picture);
    auto *p = static_cast<DWORD *>(bits);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            p[y * 4 + x] = x < 2 ? 0xFF0000 : 0x0000FF;

    bi.bmiHeader.biWidth = 8;
    bi.bmiHeader.biHeight = -8;
    void *targetBits = nullptr;
    HBITMAP target = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &targetBits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, target);
    auto *t = static_cast<DWORD *>(targetBits);
    auto at = [&](int x, int y) {
        GdiFlush();
        return t[y * 8 + x] & 0xFFFFFF;
    };
    std::fill(t, t + 64, 0x00FF00u);

    DrawBitmap(dc, nullptr, 0, 0, 8, 8, TRUE);
    CHECK(at(0, 0) == 0x00FF00u);
    /* Own size, clipped to a 3 x 1 rectangle at (1, 1). */
    DrawBitmap(dc, picture, 1, 1, 4, 2, FALSE);
    CHECK(at(1, 1) == 0xFF0000u);
    CHECK(at(3, 1) == 0x0000FFu);
    CHECK(at(4, 1) == 0x00FF00u); /* the fourth column is clipped */
    CHECK(at(1, 2) == 0x00FF00u); /* so is the second row */
    /* Stretched over 8 x 4. */
    DrawBitmap(dc, picture, 0, 4, 8, 8, TRUE);
    CHECK(at(0, 4) == 0xFF0000u);
    CHECK(at(3, 7) == 0xFF0000u);
    CHECK(at(4, 7) == 0x0000FFu);
    CHECK(at(7, 4) == 0x0000FFu);
    /* An empty rectangle draws nothing. */
    DrawBitmap(dc, picture, 6, 0, 6, 3, TRUE);
    CHECK(at(6, 0) == 0x00FF00u);

    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(target);
    DeleteObject(picture);
}
