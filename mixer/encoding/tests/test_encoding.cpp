/*
 * Encoder choice and FLV settings without windows: the record's bytes, the
 * profile keys and their defaults, the menu operations and the engine calls
 * they make (recorded through the engine table).
 */
#include <catch2/catch.hpp>
#include "encoder_choice.h"
#include "encoding_ids.h"
#include "profile.h"
#include <cstring>
#include <vector>

namespace {

std::vector<std::string> calls;
std::vector<FlvSettings> handed;

int WINAPI RecSetEncoder(int kind) { calls.push_back("SetEncoder " + std::to_string(kind)); return 0; }
int WINAPI RecSetWMFVersion(int v) { calls.push_back("SetWMFVersion " + std::to_string(v)); return 0; }
int WINAPI RecSetFLVEncProfile(const FlvSettings *s)
{
    calls.push_back("SetFLVEncProfile");
    handed.push_back(*s);
    return 0;
}

struct Fixture {
    cl::CProfile profile{"Software\\Halvard\\CorvaneEncodingTest"};
    int kind = 1, version = 1, remote = 0;
    EncoderSelection sel{kind, version, remote};
    HMENU menu = CreatePopupMenu();
    Fixture()
    {
        profile.DeleteAll();
        calls.clear();
        handed.clear();
        g_encodingEngine = {RecSetEncoder, RecSetWMFVersion, RecSetFLVEncProfile};
        AppendMenuA(menu, MF_STRING, ID_ENCODER_WM8, "Windows Media 8\tCtrl+8");
        AppendMenuA(menu, MF_STRING, ID_ENCODER_WM9, "Windows Media 9\tCtrl+9");
        AppendMenuA(menu, MF_STRING, ID_ENCODER_FLV, "&FLV(Flash Video)");
        sel.profile = &profile;
        sel.menu = menu;
    }
    ~Fixture()
    {
        DestroyMenu(menu);
        profile.DeleteAll();
        g_encodingEngine = RealEncodingEngine();
    }
    std::string Checks() const
    {
        std::string s;
        for (UINT id : {ID_ENCODER_WM8, ID_ENCODER_WM9, ID_ENCODER_FLV})
            s += (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) ? '1' : '0';
        return s;
    }
};

void Put32(unsigned char *b, int at, INT32 v) { memcpy(b + at, &v, 4); }

} // namespace

TEST_CASE("FlvSettings matches a hand-made 560-byte record field by field", "[flv]")
{
    /* The engine's layout: i32 at 0, 512 name bytes at 4, three i32 at 516,
     * the double at 528, five i32 at 536, 4 tail bytes. */
    unsigned char bytes[560];
    memset(bytes, 0xEE, sizeof(bytes));
    Put32(bytes, 0, 1);
    memset(bytes + 4, 0, 512);
    memcpy(bytes + 4, "D:\\rec\\show.flv", 15);
    Put32(bytes, 516, 640);
    Put32(bytes, 520, 480);
    Put32(bytes, 524, 768);
    const unsigned char fps[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x39, 0x40}; /* 25.0 little-endian */
    memcpy(bytes + 528, fps, 8);
    Put32(bytes, 536, 44100);
    Put32(bytes, 540, 2);
    Put32(bytes, 544, 16);
    Put32(bytes, 548, 96);
    Put32(bytes, 552, 7);

    FlvSettings s;
    memcpy(&s, bytes, sizeof(s));
    CHECK(s.Format == 1);
    CHECK(std::string(s.ArchivingFileName) == "D:\\rec\\show.flv");
    CHECK(s.VideoWidth == 640);
    CHECK(s.VideoHeight == 480);
    CHECK(s.VideoBitrate == 768);
    CHECK(s.FrameRate == 25.0);
    CHECK(s.AudioSampleRate == 44100);
    CHECK(s.AudioChannel == 2);
    CHECK(s.AudioBits == 16);
    CHECK(s.AudioBitrate == 96);
    CHECK(s.RWShared == 7);

    /* Filled field by field, the record is the same bytes (tail left as it was). */
    FlvSettings t;
    memset(&t, 0xEE, sizeof(t));
    t.Format = 1;
    SetFlvFileName(&t, "D:\\rec\\show.flv");
    t.VideoWidth = 640; t.VideoHeight = 480; t.VideoBitrate = 768; t.FrameRate = 25.0;
    t.AudioSampleRate = 44100; t.AudioChannel = 2; t.AudioBits = 16; t.AudioBitrate = 96; t.RWShared = 7;
    CHECK(memcmp(&t, bytes, sizeof(bytes)) == 0);
}

TEST_CASE("Frame rate text: one decimal written, numbers in 1..60 read", "[flv]")
{
    const std::pair<double, const char *> written[] = {
        {30.0, "30.0"}, {29.97, "30.0"}, {25.0, "25.0"}, {14.96, "15.0"}, {59.94, "59.9"}, {1.0, "1.0"}, {12.34, "12.3"}};
    for (auto &w : written) {
        INFO(w.first);
        CHECK(FlvFrameRateText(w.first) == w.second);
    }
    const std::pair<const char *, double> read[] = {
        {"30.0", 30.0}, {"12.5", 12.5}, {" 25 ", 25.0}, {"60", 60.0}, {"1.0", 1.0},
        /* What the writer cannot use falls back to 30. */
        {"", 30.0}, {"abc", 30.0}, {"0", 30.0}, {"0.5", 30.0}, {"-25", 30.0}, {"61", 30.0}, {"25fps", 30.0}};
    for (auto &r : read) {
        INFO(r.first);
        CHECK(FlvFrameRateFromText(r.first) == r.second);
    }
}

TEST_CASE("FLV settings: defaults of a fresh profile, round trip, long names cut", "[flv]")
{
    Fixture f;
    FlvSettings s;
    memset(&s, 0xAB, sizeof(s));
    LoadFlvSettings(f.profile, &s);
    CHECK(s.Format == 0);
    CHECK(std::string(s.ArchivingFileName) == "C:\\output.flv");
    CHECK(s.VideoWidth == 320);
    CHECK(s.VideoHeight == 240);
    CHECK(s.VideoBitrate == 256);
    CHECK(s.FrameRate == 30.0);
    CHECK(s.AudioSampleRate == 22050);
    CHECK(s.AudioBitrate == 64);
    CHECK(s.AudioChannel == 2);
    CHECK(s.AudioBits == 16);
    CHECK(s.RWShared == 0);
    const unsigned char *tail = (const unsigned char *)&s + 556;
    CHECK((tail[0] == 0xAB && tail[1] == 0xAB && tail[2] == 0xAB && tail[3] == 0xAB));

    s.Format = 1;
    SetFlvFileName(&s, "E:\\out\\a.swf");
    s.VideoWidth = 176; s.VideoHeight = 144; s.VideoBitrate = 100; s.FrameRate = 29.97;
    s.AudioSampleRate = 11025; s.AudioBitrate = 32; s.AudioChannel = 1; s.AudioBits = 8; s.RWShared = 3;
    SaveFlvSettings(f.profile, s);
    CHECK(f.profile.GetString(kFlvSection, "FrameRate", "") == "30.0");
    CHECK(f.profile.GetString(kFlvSection, "ArchivingFileName", "") == "E:\\out\\a.swf");
    FlvSettings back = {};
    LoadFlvSettings(f.profile, &back);
    CHECK(back.Format == 1);
    CHECK(std::string(back.ArchivingFileName) == "E:\\out\\a.swf");
    CHECK(back.VideoWidth == 176);
    CHECK(back.VideoHeight == 144);
    CHECK(back.VideoBitrate == 100);
    CHECK(back.FrameRate == 30.0);
    CHECK(back.AudioSampleRate == 11025);
    CHECK(back.AudioBitrate == 32);
    CHECK(back.AudioChannel == 1);
    CHECK(back.AudioBits == 8);
    CHECK(back.RWShared == 3);

    /* A stored name longer than the record keeps its first 511 characters. */
    f.profile.WriteString(kFlvSection, "ArchivingFileName", "C:\\" + std::string(700, 'n') + ".flv");
    memset(&back, 0x55, sizeof(back));
    LoadFlvSettings(f.profile, &back);
    CHECK(strnlen(back.ArchivingFileName, 512) == 511);
    CHECK(back.VideoWidth == 176);
    /* A stored empty name stands for the default file. */
    f.profile.WriteString(kFlvSection, "ArchivingFileName", "");
    LoadFlvSettings(f.profile, &back);
    CHECK(std::string(back.ArchivingFileName) == "C:\\output.flv");
}

TEST_CASE("Encoder menu: kind, family, check marks, engine calls and ProfileVersion", "[encoder]")
{
    struct Row {
        const char *name;
        void (EncoderSelection::*op)();
        int remote;
        int kind, version;
        const char *checks;
        std::vector<std::string> calls;
        int profileVersion;
    };
    const Row rows[] = {
        {"WM8", &EncoderSelection::OnEncoderWm8, 0, 1, 1, "100", {"SetWMFVersion 1", "SetEncoder 1"}, 0},
        {"WM9", &EncoderSelection::OnEncoderWm9, 0, 1, 16, "010", {"SetWMFVersion 16", "SetEncoder 1"}, 1},
        {"user", &EncoderSelection::SelectUserProfileEncoder, 0, 1, 256, "011", {"SetWMFVersion 256", "SetEncoder 1"}, 2},
        {"FLV", &EncoderSelection::OnEncoderFlv, 0, 0x1000000, 7, "001", {"SetEncoder 16777216"}, 3},
        /* Remote mode: only FLV switches. */
        {"WM8 remote", &EncoderSelection::OnEncoderWm8, 1, 0x1000000, 7, "001", {}, -1},
        {"WM9 remote", &EncoderSelection::OnEncoderWm9, 1, 0x1000000, 7, "001", {}, -1},
        {"user remote", &EncoderSelection::SelectUserProfileEncoder, 1, 0x1000000, 7, "001", {}, -1},
        {"FLV remote", &EncoderSelection::OnEncoderFlv, 1, 0x1000000, 7, "001", {"SetEncoder 16777216"}, 3},
    };
    for (const Row &r : rows) {
        INFO(r.name);
        Fixture f;
        /* Start from FLV with a family the menu does not show. */
        f.kind = 0x1000000;
        f.version = 7;
        CheckMenuItem(f.menu, ID_ENCODER_FLV, MF_BYCOMMAND | MF_CHECKED);
        f.remote = r.remote;
        (f.sel.*r.op)();
        CHECK(f.kind == r.kind);
        CHECK(f.version == r.version);
        CHECK(f.Checks() == r.checks);
        CHECK(calls == r.calls);
        CHECK(f.profile.GetInt("EncodingOption", "ProfileVersion", -1) == r.profileVersion);
    }
}

TEST_CASE("Start-up restores the encoder ProfileVersion names", "[encoder]")
{
    const std::pair<int, std::vector<std::string>> rows[] = {
        {-99, {"SetWMFVersion 1", "SetEncoder 1"}},   /* no value: WM8 */
        {0, {"SetWMFVersion 1", "SetEncoder 1"}},
        {1, {"SetWMFVersion 16", "SetEncoder 1"}},
        {2, {"SetWMFVersion 256", "SetEncoder 1"}},
        {3, {"SetEncoder 16777216"}},
        {9, {"SetWMFVersion 1", "SetEncoder 1"}},
    };
    for (auto &r : rows) {
        INFO(r.first);
        Fixture f;
        if (r.first != -99) f.profile.WriteInt("EncodingOption", "ProfileVersion", r.first);
        f.sel.RestoreFromProfile();
        CHECK(calls == r.second);
        CHECK(f.kind == (r.first == 3 ? 0x1000000 : 1));
        int expect = r.first == 1 ? 16 : r.first == 2 ? 256 : 1;
        CHECK(f.version == expect);
    }
}

TEST_CASE("ApplyFlvSettings: OK saves and hands over, Cancel and remote mode hand over the stored settings", "[flv]")
{
    SECTION("OK: the dialog's record is kept, written back and handed to the engine")
    {
        Fixture f;
        int shown = 0;
        f.sel.runFlvDialog = [&](FlvSettings *s, HWND) -> INT_PTR {
            ++shown;
            CHECK(s->VideoWidth == 320);
            CHECK(std::string(s->ArchivingFileName) == "C:\\output.flv");
            s->VideoWidth = 352; s->VideoHeight = 288; s->FrameRate = 29.97f; s->AudioSampleRate = 44100;
            SetFlvFileName(s, "C:\\rec\\take1.flv");
            return IDOK;
        };
        f.sel.ApplyFlvSettings();
        CHECK(shown == 1);
        CHECK(f.sel.m_bFlvSettingsApplied == 1);
        CHECK(calls == std::vector<std::string>{"SetEncoder 16777216", "SetFLVEncProfile"});
        REQUIRE(handed.size() == 1);
        CHECK(handed[0].VideoWidth == 352);
        CHECK(memcmp(&handed[0], &f.sel.m_FlvSettings, sizeof(FlvSettings)) == 0);
        CHECK(f.profile.GetInt(kFlvSection, "VideoWidth", 0) == 352);
        CHECK(f.profile.GetInt(kFlvSection, "VideoHeight", 0) == 288);
        CHECK(f.profile.GetString(kFlvSection, "FrameRate", "") == "30.0");
        CHECK(f.profile.GetInt(kFlvSection, "AudioSampleRate", 0) == 44100);
        CHECK(f.profile.GetString(kFlvSection, "ArchivingFileName", "") == "C:\\rec\\take1.flv");
    }
    SECTION("Cancel: nothing written, the writer still gets the stored settings")
    {
        Fixture f;
        f.profile.WriteInt(kFlvSection, "VideoWidth", 160);
        f.profile.WriteInt(kFlvSection, "VideoHeight", 120);
        f.sel.runFlvDialog = [&](FlvSettings *s, HWND) -> INT_PTR {
            s->VideoWidth = 999;
            return IDCANCEL;
        };
        f.sel.ApplyFlvSettings();
        CHECK(f.sel.m_bFlvSettingsApplied == 1);
        CHECK(calls == std::vector<std::string>{"SetEncoder 16777216", "SetFLVEncProfile"});
        REQUIRE(handed.size() == 1);
        CHECK(handed[0].VideoWidth == 160);
        CHECK(handed[0].VideoHeight == 120);
        CHECK(f.profile.GetInt(kFlvSection, "VideoWidth", 0) == 160);
        CHECK(f.profile.GetString(kFlvSection, "FrameRate", "none") == "none");
    }
    SECTION("Remote mode: no dialog, the stored settings go to the engine")
    {
        Fixture f;
        f.remote = 1;
        f.profile.WriteString(kFlvSection, "FrameRate", "15.0");
        f.sel.runFlvDialog = [&](FlvSettings *, HWND) -> INT_PTR {
            FAIL("no dialog in remote mode");
            return IDCANCEL;
        };
        f.sel.ApplyFlvSettings();
        CHECK(f.sel.m_bFlvSettingsApplied == 1);
        CHECK(calls == std::vector<std::string>{"SetEncoder 16777216", "SetFLVEncProfile"});
        REQUIRE(handed.size() == 1);
        CHECK(handed[0].FrameRate == 15.0);
        CHECK(handed[0].VideoWidth == 320);
        CHECK(std::string(handed[0].ArchivingFileName) == "C:\\output.flv");
    }
}
