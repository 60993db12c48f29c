/*
 * Encoder choice and FLV settings without windows: the record's bytes, the
 * profile keys and their defaults, the menu operations and the engine calls
 * they make (recorded through the engine table).
 */
#include <catch2/catch.hpp>
#include "encoder_choice.h"
#include "encoding_ids.h"
#include "profile.h"
#include "profile_names.h"
#include "stream_entries.h"
#include "wm_settings.h"
#include <cstring>
#include <functional>
#include <tuple>
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
std::vector<std::string> profiles;
int WINAPI RecSetProfileIndex(int n) { calls.push_back("SetProfileIndex " + std::to_string(n)); return 0; }
void WINAPI RecSetHeaderInfo(const char *a, const char *v) { calls.push_back(std::string("SetHeaderInfo ") + a + "=" + v); }
int WINAPI RecSetBroadcastPort(int port) { calls.push_back("SetBroadcastPort " + std::to_string(port)); return 0; }
void WINAPI RecSetSaveFile(const char *path) { calls.push_back(std::string("SetSaveFile ") + path); }
void WINAPI RecIndexOnOff(BOOL on) { calls.push_back("IndexOnOff " + std::to_string(on)); }
void WINAPI RecSetPushServer(const char *server, const char *point, const char *copyFrom, int autoRemove)
{
    auto t = [](const char *s) { return s ? std::string(s) : std::string("(null)"); };
    calls.push_back("SetPushServer " + t(server) + "," + t(point) + "," + t(copyFrom) + "," + std::to_string(autoRemove));
}
int WINAPI RecGetProfileCount() { return (int)profiles.size(); }
const char *WINAPI RecGetProfileName(int n) { return n >= 0 && n < (int)profiles.size() ? profiles[n].c_str() : ""; }

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
        profiles.clear();
        g_encodingEngine = {RecSetEncoder,    RecSetWMFVersion, RecSetFLVEncProfile, RecSetProfileIndex,
                            RecSetHeaderInfo, RecSetBroadcastPort, RecSetSaveFile,   RecIndexOnOff,
                            RecSetPushServer, RecGetProfileCount,  RecGetProfileName};
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

TEST_CASE("Windows Media keys: the dialog's and the apply step's defaults, and a round trip", "[wm]")
{
    Fixture f;
    WmEncodingSettings d = LoadWmSettings(f.profile, WmDefaults::Dialog);
    WmEncodingSettings a = LoadWmSettings(f.profile, WmDefaults::Apply);
    CHECK((d.port == 8080 && a.port == 7000));
    CHECK((d.broadcast == 1 && a.broadcast == 0));
    CHECK((d.addIndex == 0 && a.addIndex == 1));
    CHECK((d.archiveToFile == 1 && a.archiveToFile == 1));
    /* The recording's profile is the one the dialog shows as chosen. */
    CHECK((d.wm8ProfileIndex == 9 && a.wm8ProfileIndex == 9));
    CHECK((d.userProfileIndex == 9 && a.userProfileIndex == 9));
    CHECK(a.wm9ProfileIndex == 0);
    CHECK((d.pushToServer == 0 && d.autoRemove == 0 && d.title.empty() && d.archive.empty()));
    CHECK(d.wm9Destination == 2);
    CHECK((d.wm9Video == 0 && d.wm9Audio == 0));
    CHECK(d.wm9SelBandWidthNumbers == 10);
    CHECK(d.wm9CheckedNumbers == 1);
    CHECK(d.wm9CheckBitrate == "0");

    WmEncodingSettings s;
    s.title = "Evening news"; s.author = "Studio 2"; s.copyright = "(c) us"; s.rating = "G"; s.description = "live";
    s.archive = "D:\\rec\\news.wmv"; s.pushServer = "10.0.0.5:8080"; s.publishingPoint = "news"; s.copyFrom = "proto";
    s.autoRemove = 1; s.port = 9000; s.addIndex = 1; s.pushToServer = 1; s.archiveToFile = 0; s.broadcast = 1;
    SaveWmSettings(f.profile, s);
    for (WmDefaults which : {WmDefaults::Dialog, WmDefaults::Apply}) {
        WmEncodingSettings b = LoadWmSettings(f.profile, which);
        CHECK(b.title == s.title);
        CHECK(b.author == s.author);
        CHECK(b.copyright == s.copyright);
        CHECK(b.rating == s.rating);
        CHECK(b.description == s.description);
        CHECK(b.archive == s.archive);
        CHECK(b.pushServer == s.pushServer);
        CHECK(b.publishingPoint == s.publishingPoint);
        CHECK(b.copyFrom == s.copyFrom);
        CHECK(b.autoRemove == 1);
        CHECK(b.port == 9000);
        CHECK(b.addIndex == 1);
        CHECK(b.pushToServer == 1);
        CHECK(b.archiveToFile == 0);
        CHECK(b.broadcast == 1);
    }
}

TEST_CASE("ApplyWmEncodingSettings: the engine calls per family and option", "[wm]")
{
    const std::vector<std::string> header = {"SetHeaderInfo Title=T", "SetHeaderInfo Author=A",
                                             "SetHeaderInfo Copyright=C", "SetHeaderInfo Rating=R",
                                             "SetHeaderInfo Description=D"};
    auto with = [&](std::vector<std::string> head, std::vector<std::string> tail) {
        head.insert(head.end(), header.begin(), header.end());
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    struct Row {
        const char *name;
        int version;
        std::function<void(const cl::CProfile &)> keys;
        std::vector<std::string> trace;
        int archiveToFile;
    };
    const std::string file = "SetSaveFile D:\\out\\show.wmv";
    const std::string push = "SetPushServer srv:8080,live,proto,1";
    const std::string noPush = "SetPushServer (null),(null),(null),0";
    auto base = [](const cl::CProfile &p) {
        for (auto k : {"Title", "Author", "Copyright", "Rating", "Description"})
            p.WriteString(kWmSection, k, std::string(1, k[0]));
        p.WriteString(kWmSection, "ArchivingFileName", "D:\\out\\show.wmv");
        p.WriteString(kWmSection, "PushServer", "srv:8080");
        p.WriteString(kWmSection, "PublishingPoint", "live");
        p.WriteString(kWmSection, "CopyFrom", "proto");
        p.WriteInt(kWmSection, "AutoRemove", 0x10001);
        p.WriteInt(kWmSection, "PushToServer", 1);
        p.WriteInt(kWmSection, "Broadcast", 1);
        p.WriteInt(kWmSection, "Port", 8090);
        p.WriteInt(kWmSection, "Addindex", 0);
        p.WriteInt(kWmSection, "WM8ProfileIndex", 2);
        p.WriteInt(kWmSection, "UserProfileIndex", 1);
        p.WriteInt(kWmSection, "WM9ProfileIndex", 1);
    };
    const Row rows[] = {
        /* Never opened: port 7000 broadcast off, index on, profile 0, C:\output.wmv. */
        {"never opened, family 1", 1, [](const cl::CProfile &) {},
         {"SetWMFVersion 1", "SetEncoder 1", "SetProfileIndex 0", "SetHeaderInfo Title=", "SetHeaderInfo Author=",
          "SetHeaderInfo Copyright=", "SetHeaderInfo Rating=", "SetHeaderInfo Description=", "SetBroadcastPort 0",
          "SetSaveFile C:\\output.wmv", "IndexOnOff 1"}, 1},
        {"family 1: no push", 1, base,
         with({"SetWMFVersion 1", "SetEncoder 1", "SetProfileIndex 2"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0"}), 1},
        /* Family 16: "UserChosePrx" found by name at line 3 whatever the stored index says. */
        {"family 16: push", 16, base,
         with({"SetWMFVersion 16", "SetEncoder 1", "SetProfileIndex 3"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0", push}), 1},
        {"family 256: push too", 256, base,
         with({"SetWMFVersion 256", "SetEncoder 1", "SetProfileIndex 1"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0", push}), 1},
        {"family 16: push off", 16, [&](const cl::CProfile &p) { base(p); p.WriteInt(kWmSection, "PushToServer", 0); },
         with({"SetWMFVersion 16", "SetEncoder 1", "SetProfileIndex 3"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0", noPush}), 1},
        {"family 16: push without a server", 16, [&](const cl::CProfile &p) { base(p); p.WriteString(kWmSection, "PushServer", ""); },
         with({"SetWMFVersion 16", "SetEncoder 1", "SetProfileIndex 3"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0", noPush}), 1},
        {"broadcast off: port 0", 1, [&](const cl::CProfile &p) { base(p); p.WriteInt(kWmSection, "Broadcast", 0); },
         with({"SetWMFVersion 1", "SetEncoder 1", "SetProfileIndex 2"}, {"SetBroadcastPort 0", file, "IndexOnOff 0"}), 1},
        {"archive off: no file, no index", 256, [&](const cl::CProfile &p) { base(p); p.WriteInt(kWmSection, "ArchiveToFile", 0); },
         with({"SetWMFVersion 256", "SetEncoder 1", "SetProfileIndex 1"}, {"SetBroadcastPort 8090", push}), 0},
        {"empty archive name", 1, [&](const cl::CProfile &p) { base(p); p.WriteString(kWmSection, "ArchivingFileName", ""); },
         with({"SetWMFVersion 1", "SetEncoder 1", "SetProfileIndex 2"}, {"SetBroadcastPort 8090", "SetSaveFile C:\\output.wmv", "IndexOnOff 0"}), 1},
        /* Remembered by name: the profile moved to another line. */
        {"family 1 by name", 1, [&](const cl::CProfile &p) { base(p); p.WriteString(kWmSection, "WM8ProfileName", "Video 3"); },
         with({"SetWMFVersion 1", "SetEncoder 1", "SetProfileIndex 4"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0"}), 1},
        {"family 256: name gone, the first profile", 256, [&](const cl::CProfile &p) { base(p); p.WriteString(kWmSection, "UserProfileName", "deleted"); },
         with({"SetWMFVersion 256", "SetEncoder 1", "SetProfileIndex 0"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0", push}), 1},
        {"family 1: stored index past the list", 1, [&](const cl::CProfile &p) { base(p); p.WriteInt(kWmSection, "WM8ProfileIndex", 40); },
         with({"SetWMFVersion 1", "SetEncoder 1", "SetProfileIndex 0"}, {"SetBroadcastPort 8090", file, "IndexOnOff 0"}), 1},
    };
    for (const Row &r : rows) {
        INFO(r.name);
        Fixture f;
        profiles = {"Video 1", "Video 2", "Audio 1", "UserChosePrx", "Video 3"};
        r.keys(f.profile);
        f.version = r.version;
        f.sel.m_nArchiveToFile = 5;
        f.sel.ApplyWmEncodingSettings();
        CHECK(calls == r.trace);
        CHECK(f.sel.m_bWmSettingsApplied == 1);
        CHECK(f.sel.m_nArchiveToFile == r.archiveToFile);
    }
    SECTION("family 16 without its built profile uses the first profile, never -1")
    {
        Fixture f;
        profiles = {"Video 1"};
        f.version = 16;
        f.sel.ApplyWmEncodingSettings();
        CHECK(calls.at(2) == "SetProfileIndex 0");
    }
}

TEST_CASE("Checked bit-rate rows, the port edit and the URLs", "[wm]")
{
    struct Row { const char *text; int count, rows; std::vector<int> want; };
    const Row rows[] = {
        {"0", 1, 10, {0}},
        {"1,4,7", 3, 10, {1, 4, 7}},
        {"1,4,7", 2, 10, {1, 4}},            /* the second piece runs to the end: "4,7" reads 4 */
        {"2", 3, 10, {2}},                   /* fewer pieces than the count */
        {"3,x,12,-1,3,5", 6, 10, {3, 5}},    /* junk, rows past the list and repeats skipped */
        {"", 1, 10, {}},
        {"0", 1, 0, {}},
    };
    for (const Row &r : rows) {
        INFO(r.text << " count " << r.count);
        CHECK(ParseCheckedRows(r.text, r.count, r.rows) == r.want);
    }
    CHECK(JoinCheckedRows({0, 3, 11}) == "0,3,11");
    CHECK(JoinCheckedRows({}) == "");
    auto round = ParseCheckedRows(JoinCheckedRows({2, 5, 9}), 3, 10);
    CHECK(round == std::vector<int>{2, 5, 9});

    const std::tuple<const char *, int, int> ports[] = {
        {"", 9000, 8080}, {"9100", 8080, 9100}, {"0", 8123, 8123}, {"abc", 8123, 8123}, {"81x", 8080, 81},
        {"70000", 8080, 8080}, {"-5", 8080, 8080}};
    for (auto &p : ports) {
        INFO(std::get<0>(p));
        CHECK(PortFromEdit(std::get<0>(p), std::get<1>(p)) == std::get<2>(p));
    }
    CHECK(UrlText("studio", 8080) == "http://studio:8080");
    CHECK(UrlText("", 7000) == "http://:7000");

    std::string name, address;
    LocalHostAddresses(&name, &address);
    CHECK(!name.empty());
    if (!address.empty()) {
        int dots = 0;
        for (char c : address) dots += c == '.';
        CHECK(dots == 3);
    }
    CHECK(std::string(kWmDestinations[0]) == "File download (Computer playback)");
    CHECK(std::string(kWmDestinations[7]) == "User Define");
}

TEST_CASE("Encoding Properties: the options of the chosen kind, nothing in remote mode", "[encoder]")
{
    const std::tuple<int, int, int, int> rows[] = {
        /* kind, remote, WM options shown, FLV dialogs shown */
        {ENCODER_WM, 0, 1, 0}, {ENCODER_FLV, 0, 0, 1}, {ENCODER_WM, 1, 0, 0}, {ENCODER_FLV, 1, 0, 0}, {7, 0, 0, 0}};
    for (auto &r : rows) {
        INFO(std::get<0>(r) << " remote " << std::get<1>(r));
        Fixture f;
        f.kind = std::get<0>(r);
        f.remote = std::get<1>(r);
        int wm = 0, flv = 0;
        f.sel.showWmOptions = [&] { ++wm; };
        f.sel.runFlvDialog = [&](FlvSettings *, HWND) -> INT_PTR { ++flv; return IDCANCEL; };
        f.sel.OnEncodingProperties();
        CHECK(wm == std::get<2>(r));
        CHECK(flv == std::get<3>(r));
        CHECK(calls.empty() == (flv == 0));
    }
}

TEST_CASE("Profile manager size list: the fixed lines, lookup with added sizes, parsing lines back", "[profiles]")
{
    SizeList sizes;
    CHECK(sizes.Lookup(320, 240) == -1);   /* an empty list finds nothing and adds nothing */
    CHECK(sizes.lines.empty());
    sizes.Fill();
    CHECK(sizes.lines == std::vector<std::string>{"160 x 120", "176 x 144 (QCIF)", "320 x 240", "352 x 288 (CIF)",
                                                  "640 x 480", "Custom..."});
    CHECK(sizes.Lookup(160, 120) == 0);
    CHECK(sizes.Lookup(320, 240) == 2);
    CHECK(sizes.Lookup(640, 480) == 4);
    CHECK(sizes.Lookup(176, 144) == 6);    /* "176 x 144" is not the text "176 x 144 (QCIF)" */
    CHECK(sizes.Lookup(800, 600) == 7);
    CHECK(sizes.Lookup(800, 600) == 7);    /* added once */
    CHECK(sizes.lines.size() == 8);
    CHECK(sizes.lines[7] == "800 x 600");

    struct Row { const char *line; bool ok; int w, h; };
    const Row rows[] = {
        {"160 x 120", true, 160, 120}, {"176 x 144 (QCIF)", true, 176, 144}, {"352 x 288 (CIF)", true, 352, 288},
        {"1920 x 1080", true, 1920, 1080}, {"Custom...", false, 0, 0}, {"", false, 0, 0}, {"x", false, 0, 0},
        {"abc x 240", false, 0, 0}, {"320 x ", false, 0, 0}, {"0 x 240", false, 0, 0}, {"320x240", false, 0, 0},
        {"99999 x 240", false, 0, 0}};
    for (const Row &r : rows) {
        INFO(r.line);
        int w = -5, h = -5;
        CHECK(SizeList::Parse(r.line, &w, &h) == r.ok);
        if (r.ok) {
            CHECK(w == r.w);
            CHECK(h == r.h);
        } else {
            CHECK((w == -5 && h == -5));
        }
    }
}

TEST_CASE("Stream entries: found by name and index, removal renumbers the ones after", "[profiles]")
{
    StreamEntries list;
    for (const char *n : {"Low", "Mid", "Low", "High"}) {
        VideoStreamEntry e;
        e.index = (INT32)list.entries.size();
        e.SetName(n);
        e.maxBitrate = 100000 * (e.index + 1);
        list.entries.push_back(e);
    }
    /* Two "Low" lines: the index tells them apart. */
    REQUIRE(list.Find("Low", 2) != nullptr);
    CHECK(list.Find("Low", 2)->maxBitrate == 300000);
    CHECK(list.Find("Low", 1) == nullptr);
    CHECK_FALSE(list.Remove("Mid", 2));
    REQUIRE(list.Remove("Mid", 1));
    CHECK(list.Lines() == std::vector<std::string>{"Low", "Low", "High"});
    std::vector<int> idx;
    for (auto &e : list.entries) idx.push_back(e.index);
    CHECK(idx == std::vector<int>{0, 1, 2});
    REQUIRE(list.Remove("Low", 0));
    idx.clear();
    for (auto &e : list.entries) idx.push_back(e.index);
    CHECK(idx == std::vector<int>{0, 1});
    CHECK(list.Find("Low", 0)->maxBitrate == 300000);
    REQUIRE(list.Remove("High", 1));
    CHECK(list.Lines() == std::vector<std::string>{"Low"});
    /* Names are cut to the field with their terminator. */
    VideoStreamEntry e;
    e.SetName(std::string(400, 'n'));
    CHECK(strnlen(e.targetName, sizeof(e.targetName)) == 259);
}

TEST_CASE("Own profile names stay inside UserProfiles", "[profiles]")
{
    const std::pair<const char *, const char *> rows[] = {
        {"Studio 500k", "C:\\Corvane\\UserProfiles\\Studio 500k.prx"},
        {"a.b", "C:\\Corvane\\UserProfiles\\a.b.prx"},
        {"", ""}, {"..", ""}, {"..\\..\\Windows\\evil", ""}, {"sub\\name", ""}, {"sub/name", ""},
        {"C:name", ""}, {"what?", ""}, {"star*", ""}, {"a|b", ""}, {"<x>", ""}, {"q\"", ""},
        {"tab\there", ""}, {"trailing.", ""}, {"trailing ", ""}, {"a..b", ""}};
    for (auto &r : rows) {
        INFO(r.first);
        CHECK(UserProfilePath("C:\\Corvane\\", r.first) == r.second);
        CHECK(IsSafeProfileName(r.first) == (*r.second != 0));
    }
    CHECK(UserProfilePath("C:\\Corvane", "x") == "C:\\Corvane\\UserProfiles\\x.prx");
    CHECK_FALSE(IsSafeProfileName(std::string(201, 'n')));
    CHECK(IsSafeProfileName(std::string(200, 'n')));
}
