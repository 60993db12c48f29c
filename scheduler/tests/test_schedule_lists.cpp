#include <catch2/catch.hpp>

#include "schedule/drop_options.h"
#include "schedule/list_display.h"
#include "scheduler_test_support.h"

TEST_CASE("Source rows are coloured by state and cell", "[lists]")
{
    const COLORREF dark = 0x141414;
    struct Row { int state; const char *cell; bool highlighted, missing; COLORREF text, back; };
    const Row rows[] = {
        {kStateInFile, "0001", false, false, 0xDCDCDC, dark},
        {kStateInFile, "IN FILE", false, false, 0xFF7DAF, dark},
        {kStateInDevice, "IN DEVICE", false, false, 0xFF7DAF, dark},
        {kStateInUrl, "IN URL", false, false, 0xFF7DAF, dark},
        {kStateInFile, "ERROR", false, false, 0x0000FF, dark},
        {kStateInFile, "C:\\gone.avi", false, true, 0x0000FF, dark},
        {kStateLoad, "LOAD", false, false, 0xFF7D00, dark},
        {kStateLoad, "C:\\gone.avi", false, true, 0xFF7D00, dark},
        {kStateReady, "READY", false, false, 0x009600, 0xAFFFAF},
        {kStateReady, "0002", false, false, dark, 0xAFFFAF},
        {kStateOnAir, "ON AIR", false, false, 0x000096, 0xFFAFFF},
        {kStateOnAir, "Cut", false, false, dark, 0xFFAFFF},
        {kStateDone, "DONE", false, false, 0x009696, 0xAFFFFF},
        {kStateDone, "x", false, false, dark, 0xAFFFFF},
        {-1, "x", false, false, 0xFFFFFF, 0x000000},
        {7, "DONE", false, false, 0xFFFFFF, 0x000000},
        {kStateOnAir, "ON AIR", true, false, 0xC800FF, dark},
    };
    for (const auto &r : rows) {
        INFO(r.state << " " << r.cell);
        CHECK(SourceCellColours(r.state, r.cell, r.highlighted, r.missing) == CellColours{r.text, r.back});
    }
}

TEST_CASE("Title rows are coloured by state and cell", "[lists]")
{
    const COLORREF dark = 0x141414;
    struct Row { int state; const char *cell; bool highlighted, missing; COLORREF text, back; };
    const Row rows[] = {
        {kTitleInCg, "IN CG", false, false, 0xFF7DAF, dark},
        {kTitleInCga, "IN CGA", false, false, 0xDCDCDC, dark},
        {kTitleInCg, "ERROR", false, false, 0x0000FF, dark},
        {kTitleInCga, "C:\\t.lmf", false, true, 0x0000FF, dark},
        {kTitleLoad, "LOAD", false, false, 0xFF7D00, dark},
        {kTitleReady, "READY", false, false, 0x009600, 0xAFFFAF},
        {kTitleOnAir, "ON AIR", false, false, 0x000096, 0xFFAFFF},
        {kTitleDone, "DONE", false, false, 0x009696, 0xAFFFFF},
        {kTitleDone, "0001", false, false, dark, 0xAFFFFF},
        {-1, "x", false, false, 0xFFFFFF, 0x000000},
        {kTitleInCg, "x", true, false, 0xFF00FF, dark},
    };
    for (const auto &r : rows) {
        INFO(r.state << " " << r.cell);
        CHECK(TitleCellColours(r.state, r.cell, r.highlighted, r.missing) == CellColours{r.text, r.back});
    }
    CHECK(SourceChannelColumnWidth(12) == 67);
    CHECK(SourceChannelColumnWidth(13) == 51);
    CHECK(TitleSourceColumnWidth(12) == 118);
    CHECK(TitleSourceColumnWidth(13) == 102);
}

TEST_CASE("Drop options", "[lists]")
{
    std::string dir = TestFolder("drops");
    WriteBytes(dir + "news.LMF", "x");
    WriteBytes(dir + "notes.txt", "x");
    CreateDirectoryA((dir + "folder").c_str(), nullptr);

    DropOptions d;
    CHECK(d.Flags() == 3);
    CHECK(d.Accepts(dir + "notes.txt"));
    CHECK(d.Accepts(dir + "folder"));
    CHECK_FALSE(d.Accepts(dir + "absent.avi"));
    CHECK_FALSE(d.Accepts(""));

    REQUIRE(d.Set(0x11, ".lmf", nullptr));
    CHECK(d.Accepts(dir + "news.LMF"));
    CHECK_FALSE(d.Accepts(dir + "notes.txt"));
    CHECK_FALSE(d.Accepts(dir + "folder"));
    CHECK_FALSE(d.HandToCallback(dir + "news.LMF"));

    CHECK_FALSE(d.Set(0x21, "", nullptr));
    CHECK(d.Flags() == 0x11);
    std::vector<std::string> handed;
    REQUIRE(d.Set(0x21, "", [&](const std::string &p) { handed.push_back(p); }));
    CHECK(d.HandToCallback(dir + "notes.txt"));
    CHECK(handed == std::vector<std::string>{dir + "notes.txt"});
}

TEST_CASE("Dropped files become rows", "[lists]")
{
    RecordingPrompt prompt;
    std::string dir = TestFolder("drops");
    SourceSchedule s(prompt);
    const int durations[] = {90, -1, 45};
    for (int i = 0; i < 3; ++i) {
        std::string path = dir + "clip" + Num(i) + ".avi";
        WriteBytes(path, "x");
        REQUIRE(s.AddItemFromFields(DroppedSourceFields(s, path, durations[i], "2003/03/27")));
    }
    REQUIRE(s.Count() == 3);
    const int starts[] = {0, 90, 90};
    for (size_t i = 0; i < 3; ++i) {
        INFO(i);
        CHECK(s.Item(i).number == static_cast<int>(i) + 1);
        CHECK(s.Item(i).start == starts[i]);
        CHECK(s.Item(i).channel == static_cast<int>(i) + 1);
        CHECK(s.Item(i).state == kStateInFile);
        CHECK(s.Item(i).transition == 0);
        CHECK(s.Item(i).subject == s.Item(i).video);
        CHECK_FALSE(s.Item(i).missing);
    }
    CHECK(s.Item(1).duration == 0); /* an unknown length counts 0 */

    /* The fifth row takes channel 5, the sixth 1; past midnight the next day. */
    REQUIRE(s.AddItemFromFields(DroppedSourceFields(s, dir + "clip0.avi", 86399, "2003/03/27")));
    REQUIRE(s.AddItemFromFields(DroppedSourceFields(s, dir + "clip0.avi", 10, "2003/03/27")));
    REQUIRE(s.AddItemFromFields(DroppedSourceFields(s, dir + "clip0.avi", 10, "2003/03/27")));
    CHECK(s.Item(4).channel == 5);
    CHECK(s.Item(5).channel == 1);
    CHECK(s.Item(4).date == "2003/03/28");
    CHECK(s.Item(4).start == 135 - 1);

    TitleSchedule t(prompt);
    WriteBytes(dir + "a.lmf", "x");
    REQUIRE(t.AddItemFromFields(DroppedTitleFields(t, dir + "a.lmf", "2003/03/27")));
    REQUIRE(t.AddItemFromFields(DroppedTitleFields(t, dir + "a.lmf", "2003/03/27")));
    CHECK(TitleSchedule::FieldsOf(t.Item(1)) ==
          Fields{"2003/03/27", "0002", "00:00:30", "00:00:30", "IN CG", dir + "a.lmf", dir + "a.lmf"});

    /* A path the file cannot carry is refused, not added. */
    WriteBytes(dir + "a,b.avi", "x");
    CHECK_FALSE(s.AddItemFromFields(DroppedSourceFields(s, dir + "a,b.avi", 5, "2003/03/27")));
}
