#include <catch2/catch.hpp>

#include <cstdlib>

#include "schedule/schedule_files.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"
#include "scheduler_test_support.h"

namespace {

/* A source schedule written by hand from the file layout: thirteen fields,
 * CRLF line ends, one file, one device and one address item. */
const char kDsf[] =
    "2003/03/27,0001,10:00:00,00:01:30,00:00:05,IN FILE,Opening,@clip.avi,@clip.avi,Cut,1.0,1,0\r\n"
    "2003/03/27,0002,10:01:30,01:00:00,00:00:00,IN DEVICE,Studio,dev:Camera,dev:Microphone,CrossDissolve,2.5,2,1\r\n"
    "2003/03/27,0003,11:01:30,00:10:00,00:00:00,IN URL,Relay,http://host/live,http://host/live,PIPRightBottomBA,0.5,3,2\r\n";

const char kTsf[] =
    "2003/03/27,0001,10:00:00,00:00:30,IN CG,Logo,@logo.lmf\r\n"
    "2003/03/27,0002,10:00:30,00:01:00,DONE,Lower third,@third.lmf\r\n";

struct Files {
    std::string dir = TestFolder("schedfiles");
    Files()
    {
        WriteBytes(dir + "clip.avi", "not really a clip");
        WriteBytes(dir + "logo.lmf", "x");
        WriteBytes(dir + "third.lmf", "x");
    }
    std::string Fixture(const char *text) const { return ReplaceAll(text, "@", dir); }
};

std::string LfOnly(const std::string &s) { return ReplaceAll(s, "\r\n", "\n"); }

} // namespace

TEST_CASE(".dsf files are read and written byte for byte", "[dsf]")
{
    Files files;
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    const std::string fixture = files.Fixture(kDsf);

    for (bool lfOnly : {false, true}) {
        INFO("LF only: " << lfOnly);
        std::string in = files.dir + (lfOnly ? "lf.dsf" : "crlf.DSF");
        WriteBytes(in, lfOnly ? LfOnly(fixture) : fixture);
        REQUIRE(s.LoadScheduleFile(in) == 1);
        CHECK(prompt.warnings.empty());
        REQUIRE(s.Count() == 3);
        CHECK(s.Item(0).kind == 0);
        CHECK(s.Item(1).kind == 1);
        CHECK(s.Item(2).kind == 2);
        CHECK(s.Item(1).transition == 20);
        CHECK(s.Item(2).transition == 43);
        CHECK(s.Item(0).position == 5);
        CHECK(s.Item(1).transitionTime == Approx(2.5));
        CHECK_FALSE(s.Item(0).missing);

        /* States reached in a run are saved as the waiting state of the kind. */
        s.SetItemState(0, kStateOnAir);
        s.SetItemState(1, kStateDone);
        std::string out = files.dir + "out.dsf";
        REQUIRE(s.SaveScheduleFile(out));
        CHECK(ReadBytes(out) == fixture);
    }
    CHECK(s.LoadedLineCount() == 3);
    CHECK(s.SchedulePath() == files.dir + "lf.dsf");
}

TEST_CASE(".dsf refusals and bad lines", "[dsf]")
{
    Files files;
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    const std::string good = files.Fixture(kDsf);
    const std::string lines[3] = {good.substr(0, good.find("\r\n") + 2),
                                  good.substr(good.find("\r\n") + 2, good.find("0003") - 11 - good.find("\r\n") - 2),
                                  good.substr(good.find("2003/03/27,0003"))};
    REQUIRE(lines[0] + lines[1] + lines[2] == good);

    struct Case { const char *name; std::string bytes; size_t rows; std::string message; };
    const Case cases[] = {
        {"numbering break", lines[0] + ReplaceAll(lines[2], ",0003,", ",0003,"), 1,
         "AS 0002 : Next all schedule will be deleted.     "},
        {"a comma in a subject", lines[0] + ReplaceAll(lines[1], "Studio", "Studio, left"), 1,
         "Error is occurred in line 0002 : This file cannot be read because of some out of the form.      "},
        {"twelve fields", lines[0] + lines[1] + ReplaceAll(lines[2], ",3,2\r\n", ",3\r\n"), 2,
         "Error is occurred in line 0003 : This file cannot be read because of some out of the form.      "},
        {"an empty line", lines[0] + "\r\n" + lines[1], 1,
         "Error is occurred in line 0002 : This file cannot be read because of some out of the form.      "},
        {"hour 24", ReplaceAll(lines[0], "10:00:00", "24:00:00"), 0,
         "Error is occurred in line 0001 : This file cannot be read because of some out of the form.      "},
        {"cut in the middle of a line", good.substr(0, good.size() - 20), 2,
         "Error is occurred in line 0003 : This file cannot be read because of some out of the form.      "},
        {"binary bytes", std::string("\x7f" "ELF\0\0\x01\x02", 8), 0,
         "Error is occurred in line 0001 : This file cannot be read because of some out of the form.      "},
    };
    for (const auto &c : cases) {
        INFO(c.name);
        prompt.Reset();
        std::string path = files.dir + "bad.dsf";
        WriteBytes(path, c.bytes);
        CHECK(s.LoadScheduleFile(path) == 0);
        CHECK(s.Count() == c.rows);
        CHECK(prompt.warnings == std::vector<std::string>{c.message});
    }

    SECTION("a missing file keeps the list; wrong extensions are refused")
    {
        std::string path = files.dir + "good.dsf";
        WriteBytes(path, good);
        REQUIRE(s.LoadScheduleFile(path) == 1);
        prompt.Reset();
        CHECK(s.LoadScheduleFile(files.dir + "absent.dsf") == 0);
        CHECK(s.Count() == 3);
        CHECK(s.LoadScheduleFile(files.dir + "good.txt") == 0);
        CHECK_FALSE(s.SaveScheduleFile(files.dir + "x.tsf"));
        CHECK(s.Count() == 3);
        CHECK(prompt.warnings == std::vector<std::string>(3, "This file cannot be read because of some out of the form.      "));
    }
    SECTION("an oversized file is refused before it is read")
    {
        std::string path = files.dir + "huge.dsf";
        WriteBytes(path, std::string((16u << 20) + 1, 'a'));
        prompt.Reset();
        CHECK(s.LoadScheduleFile(path) == 0);
        CHECK(prompt.warnings.size() == 1);
        DeleteFileA(path.c_str());
    }
    SECTION("nothing to save, or a folder that does not exist")
    {
        s.ClearItems();
        prompt.Reset();
        CHECK_FALSE(s.SaveScheduleFile(files.dir + "empty.dsf"));
        WriteBytes(files.dir + "good.dsf", good);
        REQUIRE(s.LoadScheduleFile(files.dir + "good.dsf") == 1);
        CHECK_FALSE(s.SaveScheduleFile(files.dir + "no\\such\\folder\\x.dsf"));
        CHECK(prompt.warnings == std::vector<std::string>(2, "This file is not saved.     "));
    }
}

TEST_CASE("A missing clip keeps its path after loading and saving", "[dsf]")
{
    Files files;
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    std::string fixture = ReplaceAll(files.Fixture(kDsf), "clip.avi", "gone.avi");
    WriteBytes(files.dir + "gone.dsf", fixture);
    REQUIRE(s.LoadScheduleFile(files.dir + "gone.dsf") == 1);
    CHECK(s.Item(0).missing);
    CHECK_FALSE(s.Item(2).missing); /* an address is not a file */
    REQUIRE(s.SaveScheduleFile(files.dir + "gone2.dsf"));
    CHECK(ReadBytes(files.dir + "gone2.dsf") == fixture);
}

TEST_CASE(".tsf files are read and written byte for byte", "[tsf]")
{
    Files files;
    RecordingPrompt prompt;
    TitleSchedule t(prompt);
    const std::string fixture = files.Fixture(kTsf);
    for (bool lfOnly : {false, true}) {
        std::string in = files.dir + "t.tsf";
        WriteBytes(in, lfOnly ? LfOnly(fixture) : fixture);
        REQUIRE(t.LoadScheduleFile(in) == 1);
        REQUIRE(t.Count() == 2);
        CHECK(t.Item(1).state == kTitleDone); /* a title that has run stays DONE */
        CHECK(t.Item(1).duration == 60);
        REQUIRE(t.SaveScheduleFile(files.dir + "out.TSF"));
        CHECK(ReadBytes(files.dir + "out.TSF") == fixture);
    }
    /* The companion .csf holds the same layout and is read and written as such. */
    WriteBytes(files.dir + "Monday.csf", fixture);
    REQUIRE(t.LoadScheduleFile(files.dir + "Monday.csf") == 1);
    REQUIRE(t.SaveScheduleFile(files.dir + "Monday2.csf"));
    CHECK(ReadBytes(files.dir + "Monday2.csf") == fixture);
    CHECK(prompt.warnings.empty());

    struct Case { const char *name; std::string bytes; size_t rows; std::string message; };
    const std::string first = fixture.substr(0, fixture.find("\r\n") + 2);
    const Case cases[] = {
        {"six fields", first + "2003/03/27,0002,10:00:30,00:01:00,DONE,Lower third\r\n", 1,
         "Error is occurred in line 0002 : This file cannot be read because of some out of the form.      "},
        {"numbering break", first + ReplaceAll(fixture.substr(first.size()), ",0002,", ",0005,"), 1,
         "Error is occurred in line 0002 : Next all schedule will be deleted.     "},
    };
    for (const auto &c : cases) {
        INFO(c.name);
        prompt.Reset();
        WriteBytes(files.dir + "bad.tsf", c.bytes);
        CHECK(t.LoadScheduleFile(files.dir + "bad.tsf") == 0);
        CHECK(t.Count() == c.rows);
        CHECK(prompt.warnings == std::vector<std::string>{c.message});
    }
    prompt.Reset();
    CHECK(t.LoadScheduleFile(files.dir + "t.dsf") == 0);
    CHECK(prompt.warnings == std::vector<std::string>{"This file cannot be read because of some out of the form.      "});
}

TEST_CASE("File commands", "[files]")
{
    Files files;
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    TitleSchedule t(prompt);
    std::vector<std::string> events;
    std::deque<std::string> choices;
    ScheduleFileHooks hooks;
    hooks.choosePath = [&](ScheduleDialog d) {
        events.push_back(std::string("dialog ") + DialogText(d).title);
        std::string p = choices.empty() ? "" : choices.front();
        if (!choices.empty())
            choices.pop_front();
        return p;
    };
    hooks.resetSourceRun = [&] { events.push_back("reset source"); };
    hooks.resetTitleRun = [&] { events.push_back("reset title"); };
    hooks.clearRunLog = [&] { events.push_back("clear log"); };
    hooks.sourceLoaded = [&] { events.push_back("loaded"); };
    ScheduleFiles cmd(s, t, prompt, hooks);

    WriteBytes(files.dir + "Monday.dsf", files.Fixture(kDsf));
    WriteBytes(files.dir + "Monday.csf", files.Fixture(kTsf));
    WriteBytes(files.dir + "Tuesday.dsf", files.Fixture(kDsf));
    WriteBytes(files.dir + "tuesday.csf", files.Fixture(kTsf));

    SECTION("opening Monday.dsf loads the companion Monday.csf")
    {
        choices = {files.dir + "Monday.dsf"};
        cmd.OpenSourceSchedule();
        CHECK(s.Count() == 3);
        CHECK(t.Count() == 2);
        CHECK(cmd.SourcePath() == files.dir + "Monday.dsf");
        CHECK(cmd.TitlePath() == files.dir + "Monday.csf");
        CHECK(events == std::vector<std::string>{"dialog File Open", "loaded", "clear log", "reset title"});
        CHECK(prompt.warnings.empty());
    }
    SECTION("a companion differing in case is not taken")
    {
        choices = {files.dir + "Tuesday.dsf"};
        cmd.OpenSourceSchedule();
        CHECK(s.Count() == 3);
        CHECK(t.Count() == 0);
        CHECK(cmd.TitlePath().empty());
        CHECK(events.back() == "reset title");
    }
    SECTION("open asks before dropping unsaved changes, with one item too")
    {
        choices = {files.dir + "Monday.dsf"};
        cmd.OpenSourceSchedule();
        REQUIRE(s.Count() == 3);
        s.DeleteItemAt(2);
        s.DeleteItemAt(1);
        cmd.MarkSourceChanged();
        events.clear();
        prompt.answers = {false};
        cmd.OpenSourceSchedule();
        CHECK(prompt.questions == std::vector<std::string>{"Current schedule list will be deleted.     "});
        CHECK(events.empty());
        CHECK(s.Count() == 1);
        /* Unchanged: no question. */
        prompt.Reset();
        cmd.SaveSourceSchedule();
        CHECK_FALSE(cmd.SourceChanged());
        choices = {files.dir + "Monday.dsf"};
        cmd.OpenSourceSchedule();
        CHECK(prompt.questions.empty());
        CHECK(s.Count() == 1); /* the one-item schedule saved over Monday.dsf */
    }
    SECTION("title open asks the title question")
    {
        choices = {files.dir + "Monday.dsf"};
        cmd.OpenSourceSchedule();
        cmd.MarkTitleChanged();
        prompt.answers = {true};
        choices = {files.dir + "Monday.csf"};
        cmd.OpenTitleSchedule();
        CHECK(prompt.questions == std::vector<std::string>{"Current Title schedule list will be deleted."});
        CHECK(t.Count() == 2);
    }
    SECTION("save asks for a name once, then writes silently; the title save follows")
    {
        REQUIRE(s.AddItemFromFields({"2003/03/27", "0001", "10:00:00", "00:00:10", "00:00:00", "IN URL", "x",
                                     "http://h/a", "http://h/a", "Cut", "1.0", "1", "2"}));
        REQUIRE(t.AddItemFromFields({"2003/03/27", "0001", "10:00:00", "00:00:10", "IN CG", "x", "http://h/t.lmf"}));
        cmd.MarkSourceChanged();
        choices = {files.dir + "new.dsf", files.dir + "new.tsf"};
        cmd.SaveSourceSchedule();
        CHECK(events == std::vector<std::string>{"dialog Save files", "dialog Save Title Schedule files"});
        CHECK(ReadBytes(files.dir + "new.dsf").substr(0, 16) == "2003/03/27,0001,");
        CHECK(ReadBytes(files.dir + "new.tsf").substr(0, 16) == "2003/03/27,0001,");
        CHECK_FALSE(cmd.SourceChanged());
        events.clear();
        cmd.SaveSourceSchedule();
        CHECK(events.empty());
        /* Save As keeps the current paths. */
        choices = {"", files.dir + "copy.tsf"};
        cmd.SaveSourceScheduleAs();
        CHECK(events == std::vector<std::string>{"dialog Save As files", "dialog Save As Title Schedule files"});
        CHECK(cmd.SourcePath() == files.dir + "new.dsf");
        CHECK(cmd.TitlePath() == files.dir + "new.tsf");
        CHECK(ReadBytes(files.dir + "copy.tsf") == ReadBytes(files.dir + "new.tsf"));
    }
    SECTION("an empty source schedule saves nothing, even with titles")
    {
        REQUIRE(t.AddItemFromFields({"2003/03/27", "0001", "10:00:00", "00:00:10", "IN CG", "x", "http://h/t.lmf"}));
        cmd.SaveSourceSchedule();
        cmd.SaveSourceScheduleAs();
        CHECK(events.empty());
    }
    SECTION("new and open refuse while a run is active")
    {
        cmd.SetRunActive(true);
        cmd.NewSourceSchedule();
        cmd.OpenSourceSchedule();
        cmd.OpenTitleSchedule();
        CHECK(prompt.warnings == std::vector<std::string>(3, "On Air"));
        CHECK(events.empty());
    }
    SECTION("new source schedule asks, clears both on Yes")
    {
        choices = {files.dir + "Monday.dsf"};
        cmd.OpenSourceSchedule();
        events.clear();
        prompt.answers = {true, true};
        cmd.NewSourceSchedule();
        CHECK(prompt.questions == std::vector<std::string>{"Current schedule list will be deleted.     ",
                                                           "Current Title schedule list will be deleted."});
        CHECK(events == std::vector<std::string>{"reset source", "clear log", "reset title"});
        CHECK(s.Empty());
        CHECK(t.Empty());
    }
}

namespace {

/* A small fixed-seed generator: the same mutations on every run. */
struct Lcg {
    unsigned long long s;
    unsigned Next(unsigned n) { s = s * 6364136223846793005ull + 1442695040888963407ull; return unsigned(s >> 33) % n; }
};

std::string Mutate(std::string b, Lcg &r)
{
    static const char interesting[] = ",\r\n:/0 9\x00\xff";
    int edits = 1 + r.Next(4);
    for (int e = 0; e < edits && !b.empty(); ++e) {
        size_t at = r.Next(static_cast<unsigned>(b.size()));
        switch (r.Next(5)) {
        case 0: b[at] = static_cast<char>(r.Next(256)); break;
        case 1: b[at] = interesting[r.Next(sizeof interesting - 1)]; break;
        case 2: b.resize(at); break;
        case 3: b.erase(at, 1 + r.Next(8)); break;
        case 4: b.insert(at, b.substr(r.Next(static_cast<unsigned>(b.size())), 1 + r.Next(40))); break;
        }
    }
    return b;
}

int Rounds()
{
    const char *env = std::getenv("SCHEDULE_FUZZ_ROUNDS");
    return env ? std::atoi(env) : 600;
}

} // namespace

TEST_CASE("Mutated schedule files are read or refused cleanly", "[dsf][tsf][fuzz]")
{
    Files files;
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    TitleSchedule t(prompt);
    const std::string dsf = files.Fixture(kDsf), tsf = files.Fixture(kTsf);
    Lcg r{20030327};
    int accepted = 0, refused = 0;
    for (int i = 0; i < Rounds(); ++i) {
        const bool source = i % 2 == 0;
        std::string bytes = Mutate(source ? dsf : tsf, r);
        std::string in = files.dir + (source ? "fuzz.dsf" : "fuzz.tsf");
        WriteBytes(in, bytes);
        prompt.Reset();
        int got = source ? s.LoadScheduleFile(in) : t.LoadScheduleFile(in);
        INFO("round " << i);
        if (got == 1) {
            ++accepted;
            REQUIRE(prompt.warnings.empty());
            /* What was read is written so that it reads back the same. */
            if (source ? s.Empty() : t.Empty())
                continue;
            std::string out = files.dir + (source ? "fuzz_out.dsf" : "fuzz_out.tsf");
            REQUIRE((source ? s.SaveScheduleFile(out) : t.SaveScheduleFile(out)));
            std::string first = ReadBytes(out);
            REQUIRE((source ? s.LoadScheduleFile(out) : t.LoadScheduleFile(out)) == 1);
            REQUIRE((source ? s.SaveScheduleFile(out) : t.SaveScheduleFile(out)));
            REQUIRE(ReadBytes(out) == first);
        } else {
            ++refused;
            REQUIRE(got == 0);
            REQUIRE(prompt.warnings.size() == 1);
            REQUIRE((source ? s.Count() : t.Count()) <= 3);
        }
    }
    CHECK(accepted > 0);
    CHECK(refused > 0);
}
