#include <catch2/catch.hpp>

#include "protocol/mixer_link.h"
#include "runlog/run_log.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"
#include "scheduler_test_support.h"

using namespace remote;

TEST_CASE("Packing of every argument form at its limits", "[protocol]")
{
    struct Row { const char *what; bool ok; LPARAM packed; int a, b; };
    LPARAM l;

    /* channel and item: CH = l >> 16, item = l & 0xFFF */
    const Row ci[] = {
        {"ch1 item0", true, 0x00000, 1, 0},      {"ch3 item75", true, 0x2004B, 3, 75},
        {"ch5 item4095", true, 0x40FFF, 5, 4095}, {"item 4096", false, 0, 1, 4096},
        {"item -1", false, 0, 1, -1},            {"ch0", false, 0, 0, 1}, {"ch6", false, 0, 6, 1},
    };
    for (const auto &r : ci) {
        INFO(r.what);
        l = 12345;
        REQUIRE(PackChannelItem(r.a, r.b, l) == r.ok);
        if (!r.ok) {
            CHECK(l == 12345);
            continue;
        }
        CHECK(l == r.packed);
        CHECK(UnpackChannel16(l) == r.a - 1);
        CHECK(UnpackLow12(l) == r.b);
    }

    /* channel and position: CH = l >> 14 */
    REQUIRE(PackChannelPosition(3, 75, l));
    CHECK(l == 32843);
    CHECK(UnpackChannel14(l) + 1 == 3);
    CHECK(UnpackLow12(l) == 75);
    REQUIRE(PackChannelPosition(5, 4095, l));
    CHECK(UnpackChannel14(l) == 4);
    CHECK(UnpackLow12(l) == 4095);
    CHECK_FALSE(PackChannelPosition(1, 4096, l));
    CHECK_FALSE(PackChannelPosition(1, 16384, l));
    CHECK_FALSE(PackChannelPosition(0, 10, l));

    /* transition and time: whole seconds travel */
    REQUIRE(PackTransitionTime(43, 4095.9, l));
    CHECK(UnpackChannel16(l) == 43);
    CHECK(UnpackLow12(l) == 4095);
    REQUIRE(PackTransitionTime(19, 2.5, l));
    CHECK(l == ((19 << 16) | 2));
    REQUIRE(PackTransitionTime(0, 0.5, l));
    CHECK(l == 0);
    CHECK_FALSE(PackTransitionTime(44, 1, l));
    CHECK_FALSE(PackTransitionTime(-1, 1, l));
    CHECK_FALSE(PackTransitionTime(1, 4096, l));
    CHECK_FALSE(PackTransitionTime(1, -0.5, l));

    /* Receivers unpack a signed 32-bit value. */
    CHECK(UnpackChannel16(static_cast<LPARAM>(static_cast<uint32_t>(0xFFFF0001u))) == -1);
}

TEST_CASE("Source descriptors", "[protocol]")
{
    std::string text;
    REQUIRE(BuildSourceText("C:\\clips\\a.avi", "C:\\clips\\a.wav", 7, false, text));
    CHECK(text == "C:\\clips\\a.avi,C:\\clips\\a.wav,0007");
    REQUIRE(BuildSourceText("Camera", "Microphone", 12, true, text));
    CHECK(text == "dev:Camera,dev:Microphone,0012");
    CHECK_FALSE(BuildSourceText("a,b.avi", "x", 1, false, text));
    CHECK_FALSE(BuildSourceText("a", "x", 10000, false, text));

    /* 259 characters travel, 260 do not. */
    std::string v(259 - 7, 'v');
    REQUIRE(BuildSourceText(v, "a", 1, false, text));
    CHECK(text.size() == 259);
    CHECK_FALSE(BuildSourceText(v + "v", "a", 1, false, text));

    SourceDescriptorBuffer buf;
    REQUIRE(FillDescriptor(buf, text));
    COPYDATASTRUCT cds = {DescriptorData(4, kDescriptorSource), kDescriptorBytes, buf.text};
    ParsedDescriptor d;
    REQUIRE(ParseDescriptor(&cds, d));
    CHECK(d.kind == 0);
    CHECK(d.upper == 4);
    CHECK(d.video == v);
    CHECK(d.audio == "a");
    CHECK(d.number == 1);

    REQUIRE(FillDescriptor(buf, "C:\\titles\\news.lmf"));
    cds = {DescriptorData(513, kDescriptorTitle), kDescriptorBytes, buf.text};
    REQUIRE(ParseDescriptor(&cds, d));
    CHECK(d.kind == 1);
    CHECK(d.upper == 513);
    CHECK(d.path == "C:\\titles\\news.lmf");

    /* What a receiver refuses. */
    struct Bad { const char *what; std::string bytes; DWORD cb; };
    const Bad bad[] = {
        {"two fields", std::string("a,b,\0", 5), 5},
        {"four fields", std::string("a,b,c,0001\0", 11), 11},
        {"number not digits", std::string("a,b,00x1\0", 9), 9},
        {"short number", std::string("a,b,01\0", 7), 7},
        {"no terminator within cbData", std::string("a,b,0001\0", 9), 8},
        {"no terminator within 260 bytes", std::string(300, 'x'), 300},
        {"empty", std::string("\0", 1), 0},
    };
    for (const auto &b : bad) {
        INFO(b.what);
        cds = {DescriptorData(0, kDescriptorSource), b.cb, const_cast<char *>(b.bytes.data())};
        CHECK_FALSE(ParseDescriptor(&cds, d));
    }
    CHECK_FALSE(ParseDescriptor(nullptr, d));
}

namespace {

struct Posted { HWND to; int code; LPARAM arg; };

struct Rig {
    RecordingPrompt prompt;
    SourceSchedule sources{prompt};
    TitleSchedule titles{prompt};
    std::string dir = TestFolder("remote");
    RunLog log{prompt, dir + "autolog.txt"};
    std::vector<Posted> posts;
    std::vector<std::string> events;
    std::vector<std::pair<std::string, ULONG_PTR>> sent;
    MixerLink link;
    HWND self = reinterpret_cast<HWND>(0x1234);
    HWND mixer = reinterpret_cast<HWND>(0x5678);
    bool sourceChanged = false;

    Rig() : link(sources, titles, log, prompt, Hooks())
    {
        link.SetOwnWindow(self);
        DeleteFileA((dir + "autolog.txt").c_str());
    }
    MixerLinkHooks Hooks()
    {
        MixerLinkHooks h;
        h.post = [this](HWND to, int code, LPARAM arg) { posts.push_back({to, code, arg}); };
        h.sendCopyData = [this](HWND, HWND, const COPYDATASTRUCT &c) {
            sent.emplace_back(std::string(static_cast<const char *>(c.lpData)), c.dwData);
            CHECK(c.cbData == 260);
        };
        h.showSourceNumberBlinking = [this](int i) { events.push_back("source label " + Num(i)); };
        h.showTitleNumberBlinking = [this](int i) { events.push_back("title label " + Num(i)); };
        h.stopTitleNumberBlinking = [this] { events.push_back("title label stop"); };
        h.closeWindow = [this] { events.push_back("close"); };
        h.stopTimer = [this](int t) { events.push_back("kill " + Num(t)); };
        h.resetSourceRun = [this] { events.push_back("reset source"); };
        h.resetTitleRun = [this] { events.push_back("reset title"); };
        h.finishSchedule = [this] { events.push_back("finish"); };
        h.sourceChanged = [this] { return sourceChanged; };
        h.titleChanged = [] { return true; };
        h.saveSource = [this] { events.push_back("save source"); };
        h.saveTitle = [this] { events.push_back("save title"); };
        return h;
    }
    void LoadSchedules()
    {
        REQUIRE(sources.AddItemFromFields({"2003/03/27", "0001", "10:00:00", "00:00:10", "00:00:00", "IN URL", "s",
                                           "http://h/a", "http://h/a", "Cut", "1.0", "1", "2"}));
        REQUIRE(titles.AddItemFromFields({"2003/03/27", "0001", "10:00:00", "00:00:10", "IN CG", "t", "http://h/t.lmf"}));
        REQUIRE(titles.AddItemFromFields({"2003/03/27", "0002", "10:00:10", "00:00:10", "IN CG", "t", "http://h/t.lmf"}));
    }
    std::string LastLine() const { return log.Count() ? log.Line(log.Count() - 1).text : "<none>"; }
};

} // namespace

TEST_CASE("Every reply gives its run-log line", "[protocol]")
{
    Rig r;
    r.LoadSchedules();
    r.link.SetCurrentSourceItem(5000); /* shown in 12 bits */
    struct Row { int code; LPARAM arg; const char *line; };
    const Row rows[] = {
        {RC_HELLO_ACK, 0x5678, "Corvane ready to get the signal."},
        {RC_PLAY_CHANNEL_DONE, (2 << 16) | 4095, "PLAY AS 4095 : Ch03 : Corvane Channel On"},
        {RC_TITLE_ON_DONE, 2, "Title 0002 : Title On"},
        {RC_TITLE_LOADED, 1, "CG 0001 : Stand By"},
        {RC_TITLE_OFF_DONE, 2, "Title 0002 : Done"},
        {RC_ENCODE_START_DONE, 0, "Start ENCODING"},
        {RC_SWITCH_DONE, (19 << 16) | 3, "Effect Type 19 : Speed 03 Sec"},
        {RC_SOURCE_LOADED, 4, "AS 0000 : Ch05 : Picture tuning"},
        {RC_SELECT_CHANNEL_DONE, (1 << 16) | 12, "SELECT AS 0012 : Ch02 : Select to switch"},
        {RC_ENCODE_STOP_DONE, 0, "Stop ENCODING"},
        {RC_SEEK_CHANNEL_DONE, 32843, "AS Ch 03 : Ready to playback at the start position"},
        {RC_MIXER_OFF_DONE, 0, "OFF Corvane"},
        {RC_ONAIR_START_DONE, 0, "ON Corvane"},
        {RC_PAUSE_CHANNEL_DONE, 3 << 16, "HOLD AS 0904 : Ch04 : ON Corvane"},
        {RC_PLAY_CHANNEL_NOW_DONE, 7 << 16, "PLAY AS 0904 : Ch08 : Corvane Channel On"},
        {RC_SOURCE_LOADED_ITEM, (2 << 16) | 7, "AS 0007 : Ch03 : Picture tuning"},
    };
    for (const auto &row : rows) {
        INFO(row.code);
        if (row.code == RC_PAUSE_CHANNEL_DONE)
            r.link.SetCurrentSourceItem(5000);
        size_t before = r.log.Count();
        CHECK(r.link.OnMixerReply(row.code, row.arg) == -1);
        CHECK(r.log.Count() == before + 1);
        CHECK(r.LastLine() == row.line);
        CHECK(r.log.Line(before).statusText == "SUCCESS");
        CHECK(r.log.Line(before).number == static_cast<int>(before) + 1);
    }
    CHECK(r.link.MixerWindow() == r.mixer);
    CHECK(r.link.CurrentTitle() == 1);
    CHECK(r.link.LastLoadedTitleIndex() == 0);
    CHECK(r.titles.Item(1).state == kTitleOnAir);
    CHECK(r.titles.Item(0).state == kTitleReady);
    CHECK(r.link.LastHandledSourceIndex() == 5000);
    CHECK(r.events == std::vector<std::string>{"source label 4095", "title label 2", "title label stop",
                                               "source label 5000"});

    /* No line: codes without a row, RC_TITLE_OFF_DONE with 0, out of range. */
    size_t n = r.log.Count();
    for (int code : {int(RC_HELLO), 3003, 3087, 2999, 3093, 4000})
        r.link.OnMixerReply(code, 0);
    r.link.OnMixerReply(RC_TITLE_OFF_DONE, 0);
    CHECK(r.log.Count() == n);
}

TEST_CASE("Failure replies leave FAIL lines; a failed load answers the run", "[protocol]")
{
    Rig r;
    r.LoadSchedules();
    struct Row { int code; LPARAM arg; const char *line; };
    const Row rows[] = {
        {RC_SOURCE_FAILED, (1 << 16) | 3, "AS 0003 : Ch02 : not loaded"},
        {RC_SOURCE_FAILED, 4 << 16, "AS 0000 : Ch05 : not loaded"},
        {RC_TITLE_FAILED, 2, "CG 0002 : not loaded"},
        {RC_ENCODE_START_FAILED, 0, "Start ENCODING"},
    };
    for (const auto &row : rows) {
        INFO(row.code);
        const size_t before = r.log.Count();
        r.link.OnMixerReply(row.code, row.arg);
        REQUIRE(r.log.Count() == before + 1);
        CHECK(r.LastLine() == row.line);
        CHECK(r.log.Line(before).statusText == "FAIL");
    }
}

TEST_CASE("Handshake replies and the log's clearing", "[protocol]")
{
    Rig r;
    SECTION("an announce stores the mixer and greets it")
    {
        r.link.OnMixerReply(RC_ANNOUNCE, WindowArg(r.mixer));
        REQUIRE(r.posts.size() == 1);
        CHECK(r.posts[0].to == r.mixer);
        CHECK(r.posts[0].code == RC_HELLO);
        CHECK(ArgWindow(r.posts[0].arg) == r.self);
        r.link.OnMixerReply(RC_ANNOUNCE, 0);
        CHECK(r.posts.size() == 1);
    }
    SECTION("with no source schedule each reply is logged, then the log is cleared into the file")
    {
        r.link.OnMixerReply(RC_HELLO_ACK, WindowArg(r.mixer));
        CHECK(r.log.Count() == 0);
        CHECK(Contains(ReadBytes(r.log.AutoLogPath()), ",0001,Corvane ready to get the signal.\r\n"));
    }
    SECTION("a full log is cleared after the new line, which reaches the file")
    {
        r.LoadSchedules();
        for (int i = 0; i < 9999; ++i)
            r.log.AddLine({"2003/03/27", "0001", "x", "SUCCESS"});
        r.link.OnMixerReply(RC_MIXER_OFF_DONE, 0);
        CHECK(r.log.Count() == 0);
        std::string file = ReadBytes(r.log.AutoLogPath());
        CHECK(file.size() > 9999 * 18);
        CHECK(file.substr(file.size() - 20) == ",10000,OFF Corvane\r\n");
    }
}

TEST_CASE("Notices that end a schedule are accepted only from their sender", "[protocol]")
{
    Rig r;
    r.LoadSchedules();
    r.link.SetMixerWindow(r.mixer);

    SECTION("mixer exited: a stranger is ignored; the mixer's notice asks, and No forgets it")
    {
        r.link.OnMixerReply(RC_MIXER_EXITED, 0);
        r.link.OnMixerReply(RC_MIXER_EXITED, WindowArg(reinterpret_cast<HWND>(0x9999)));
        CHECK(r.prompt.questions.empty());
        CHECK(r.sources.Count() == 1);
        r.link.OnMixerReply(RC_MIXER_EXITED, WindowArg(r.mixer));
        CHECK(r.prompt.questions == std::vector<std::string>{"Corvane is exited. Will you exit Tarnell?     "});
        CHECK(r.link.MixerWindow() == nullptr);
        CHECK(r.sources.Empty());
        CHECK(r.titles.Empty());
        CHECK(r.events == std::vector<std::string>{"kill 4001", "kill 4003", "reset source", "kill 4004", "reset title"});
        CHECK(Contains(ReadBytes(r.log.AutoLogPath()), "Corvane is exited."));
    }
    SECTION("mixer exited, Yes closes the scheduler")
    {
        r.prompt.answers = {true};
        r.link.OnMixerReply(RC_MIXER_EXITED, WindowArg(r.mixer));
        CHECK(r.events == std::vector<std::string>{"close"});
        CHECK(r.sources.Count() == 1);
    }
    SECTION("schedule end: only the scheduler's own notice counts")
    {
        r.link.OnMixerReply(RC_SCHEDULE_END, 0);
        r.link.OnMixerReply(RC_SCHEDULE_END, WindowArg(r.mixer));
        r.link.OnMixerReply(RC_SCHEDULE_FINISHED, 0);
        r.link.OnMixerReply(RC_TITLE_SCHEDULE_END, 0);
        CHECK(r.posts.empty());
        CHECK(r.events.empty());
        r.sourceChanged = true;
        r.prompt.answers = {true};
        r.link.OnMixerReply(RC_SCHEDULE_END, WindowArg(r.self));
        CHECK(r.prompt.questions == std::vector<std::string>{"schedule the end! Would you like to save schedule ?"});
        CHECK(r.events == std::vector<std::string>{"save source", "reset source"});
        REQUIRE(r.posts.size() == 2);
        CHECK((r.posts[0].to == r.mixer && r.posts[0].code == RC_TITLE_OFF && r.posts[0].arg == 0));
        CHECK((r.posts[1].to == r.self && r.posts[1].code == RC_TITLE_SCHEDULE_END && ArgWindow(r.posts[1].arg) == r.self));
        CHECK(r.sources.Empty());
        /* The self-posted follow-up is accepted. */
        r.prompt.answers = {false};
        r.link.OnMixerReply(r.posts[1].code, r.posts[1].arg);
        CHECK(r.prompt.questions.back() == "Would you like to save Title schedule ?");
        CHECK(r.events.back() == "reset title");
        CHECK(r.titles.Empty());
    }
    SECTION("schedule finished runs the end step")
    {
        r.link.OnMixerReply(RC_SCHEDULE_FINISHED, WindowArg(r.self));
        CHECK(r.events == std::vector<std::string>{"finish"});
        REQUIRE(r.posts.size() == 1);
        CHECK(r.posts[0].code == RC_TITLE_OFF);
    }
}

TEST_CASE("Requests refuse what cannot travel, with a log line", "[protocol]")
{
    Rig r;
    r.LoadSchedules();
    r.link.SetMixerWindow(r.mixer);
    CHECK(r.link.PlayChannel(3, 75));
    CHECK(r.link.SelectChannel(5, 0));
    CHECK(r.link.PauseChannel(1));
    CHECK(r.link.Switch(20, 2.5));
    CHECK(r.link.SeekChannel(3, 75));
    CHECK(r.link.TitleOn(9));
    CHECK(r.link.Plain(RC_ENCODE_START));
    REQUIRE(r.posts.size() == 7);
    CHECK(r.posts[0].code == RC_PLAY_CHANNEL);
    CHECK(r.posts[0].arg == ((2 << 16) | 75));
    CHECK(r.posts[1].arg == (4 << 16));
    CHECK(r.posts[3].arg == ((20 << 16) | 2));
    CHECK(r.posts[4].arg == 32843);
    CHECK(r.posts[5].arg == 9);
    CHECK(r.log.Count() == 0);

    r.posts.clear();
    CHECK_FALSE(r.link.PlayChannel(1, 4096));
    CHECK_FALSE(r.link.SelectChannel(6, 1));
    CHECK_FALSE(r.link.Switch(44, 1.0));
    CHECK_FALSE(r.link.Switch(1, 5000.0));
    CHECK_FALSE(r.link.SeekChannel(2, 4096));
    CHECK(r.posts.empty());
    REQUIRE(r.log.Count() == 5);
    CHECK(r.log.Line(0).text == "PLAY item : 4096 cannot be sent");
    CHECK(r.log.Line(4).text == "Start position : 4096 cannot be sent");
    for (size_t i = 0; i < 5; ++i)
        CHECK(r.log.Line(i).statusText == "FAIL");

    CHECK(r.link.SendSource(2, "C:\\a.avi", "C:\\a.avi", 3, false));
    CHECK(r.link.SendSource(1, "Camera", "Mic", 4, true));
    CHECK(r.link.SendTitle(7, "C:\\t\\x.lmf"));
    CHECK_FALSE(r.link.SendSource(1, std::string(300, 'v'), "a", 1, false));
    CHECK_FALSE(r.link.SendSource(0, "a", "a", 1, false));
    REQUIRE(r.sent.size() == 3);
    CHECK(r.sent[0] == std::make_pair(std::string("C:\\a.avi,C:\\a.avi,0003"), ULONG_PTR(1u << 16)));
    CHECK(r.sent[1] == std::make_pair(std::string("dev:Camera,dev:Mic,0004"), ULONG_PTR(0)));
    CHECK(r.sent[2] == std::make_pair(std::string("C:\\t\\x.lmf"), ULONG_PTR((7u << 16) | 1)));
}

TEST_CASE("The descriptor reader stays inside cbData", "[protocol][fuzz]")
{
    /* Each text ends right before an inaccessible page: a read past cbData
     * faults instead of passing unnoticed. */
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    const SIZE_T page = si.dwPageSize;
    char *base = static_cast<char *>(VirtualAlloc(nullptr, page * 2, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    REQUIRE(base);
    DWORD old;
    REQUIRE(VirtualProtect(base + page, page, PAGE_NOACCESS, &old));

    unsigned long long seed = 3000;
    auto next = [&](unsigned n) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return unsigned(seed >> 33) % n;
    };
    const std::string good = "C:\\clips\\a.avi,C:\\clips\\a.wav,0042";
    int accepted = 0;
    for (int i = 0; i < 5000; ++i) {
        std::string b = good + '\0';
        for (int e = 0, n = 1 + next(3); e < n && !b.empty(); ++e) {
            size_t at = next(static_cast<unsigned>(b.size()));
            switch (next(3)) {
            case 0: b[at] = ",\0a9"[next(4)]; break;
            case 1: b.resize(at); break;
            case 2: b.insert(at, std::string(next(300), 'x')); break;
            }
        }
        if (b.size() > page)
            b.resize(page);
        char *data = base + page - b.size();
        memcpy(data, b.data(), b.size());
        COPYDATASTRUCT cds = {next(2) ? DescriptorData(next(8), 0) : DescriptorData(next(70000), 1),
                              static_cast<DWORD>(b.size()), data};
        ParsedDescriptor d;
        if (ParseDescriptor(&cds, d)) {
            ++accepted;
            if (d.kind == 0) {
                CHECK(d.number >= 0);
                CHECK(d.number <= 9999);
                CHECK_FALSE(Contains(d.video, ","));
            }
        }
    }
    CHECK(accepted > 0);
    VirtualFree(base, 0, MEM_RELEASE);
}
