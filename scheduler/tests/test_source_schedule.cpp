#include <catch2/catch.hpp>

#include "clock/schedule_clock.h"
#include "schedule/source_schedule.h"
#include "scheduler_test_support.h"

namespace {

Fields F(const char *date, int number, const char *start, const char *duration, int channel = 1, int kind = 0,
         const char *video = "http://host/clip.wmv", const char *transition = "Cut")
{
    char num[8], ch[4], k[4];
    snprintf(num, sizeof num, "%04d", number);
    snprintf(ch, sizeof ch, "%d", channel);
    snprintf(k, sizeof k, "%d", kind);
    return {date, num, start, duration, "00:00:00", kSourceStateWords[kind], "subject", video, video,
            transition, "1.0", ch, k};
}

/* A chain of items of the given durations from 'start' on one date. */
void Chain(SourceSchedule &s, const char *date, int start, std::initializer_list<int> durations)
{
    int n = 1, t = start;
    for (int d : durations) {
        int ch = (n - 1) % 5 + 1;
        REQUIRE(s.AddItemFromFields(F(date, n, ScheduleClock::SecondsToText(t).c_str(),
                                      ScheduleClock::SecondsToText(d).c_str(), ch)));
        t += d;
        ++n;
    }
}

std::vector<int> Channels(const SourceSchedule &s)
{
    std::vector<int> v;
    for (size_t i = 0; i < s.Count(); ++i)
        v.push_back(s.Item(i).channel);
    return v;
}

std::string Row(const SourceSchedule &s, size_t i)
{
    const auto &it = s.Item(i);
    return Num(it.number) + " " + it.date + " " + ScheduleClock::SecondsToText(it.start);
}

} // namespace

TEST_CASE("Word tables", "[source]")
{
    CHECK(FindScheduleWord("Cut", WordTable::Transitions) == 0);
    CHECK(FindScheduleWord("PIPRightBottomBA", WordTable::Transitions) == 43);
    CHECK(FindScheduleWord("CrossDissolve", WordTable::Transitions) == 20);
    CHECK(FindScheduleWord("cut", WordTable::Transitions) == -1);
    CHECK(FindScheduleWord("DONE", WordTable::SourceStates) == 6);
    CHECK(FindScheduleWord("IN CGA", WordTable::TitleStates) == 1);
    CHECK(FindScheduleWord("IN CGA", WordTable::SourceStates) == -1);
}

TEST_CASE("Appending items: fields, missing files, addresses and refused fields", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    std::string dir = TestFolder("srcsched");
    std::string present = dir + "present.avi";
    WriteBytes(present, "x");

    Fields f = F("2003/03/27", 1, "10:00:00", "00:01:30", 2, 0, present.c_str(), "Dissolve");
    f[10] = "2.45";
    REQUIRE(s.AddItemFromFields(f));
    const ScheduleItem &a = s.Item(0);
    CHECK(a.number == 1);
    CHECK(a.start == 36000);
    CHECK(a.duration == 90);
    CHECK(a.transition == 19);
    CHECK(a.transitionTime == Approx(2.5f).epsilon(1e-6)); /* kept as its one-decimal text reads */
    CHECK(a.channel == 2);
    CHECK_FALSE(a.missing);

    /* A missing file keeps its path and is marked; devices and addresses are
     * never tested as files. */
    REQUIRE(s.AddItemFromFields(F("2003/03/27", 2, "10:01:30", "00:00:10", 3, 0, "C:\\nowhere\\gone.avi")));
    CHECK(s.Item(1).missing);
    CHECK(s.Item(1).video == "C:\\nowhere\\gone.avi");
    REQUIRE(s.AddItemFromFields(F("2003/03/27", 3, "10:01:40", "00:00:10", 4, 1, "dev:Camera")));
    CHECK_FALSE(s.Item(2).missing);
    REQUIRE(s.AddItemFromFields(F("2003/03/27", 4, "10:01:50", "00:00:10", 5, 0, "mms://host/live")));
    CHECK_FALSE(s.Item(3).missing);
    REQUIRE(s.AddItemFromFields(F("2003/03/27", 5, "10:02:00", "00:00:10", 1, 0, present.c_str(), "Sparkle")));
    CHECK(s.Item(4).transition == -1);
    CHECK(s.Item(4).transitionName == "Sparkle");

    struct Bad { int field; const char *text; };
    const Bad bad[] = {
        {6, "one, two"}, {7, "C:\\a,b.avi"}, {6, "line\r\nbreak"}, {2, "24:00:00"}, {2, "23:60:00"},
        {3, "1:00:00"}, {0, "2003/02/29"}, {0, "2003/13/01"}, {1, "x001"}, {11, "6"}, {11, "0"},
        {12, "3"}, {10, "fast"}, {10, "-1.0"},
    };
    for (const auto &b : bad) {
        INFO(b.field << " = " << b.text);
        Fields g = F("2003/03/27", 6, "10:00:00", "00:00:10");
        g[b.field] = b.text;
        std::string why;
        CHECK_FALSE(SourceSchedule::CheckFields(g, &why));
        CHECK_FALSE(why.empty());
        CHECK_FALSE(s.AddItemFromFields(g));
    }
    Fields shortSet = F("2003/03/27", 6, "10:00:00", "00:00:10");
    shortSet.pop_back();
    CHECK_FALSE(s.AddItemFromFields(shortSet));
    CHECK(s.Count() == 5);
}

TEST_CASE("Insertion renumbers and re-times the later rows across midnight", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    Chain(s, "2003/12/31", 23 * 3600, {600, 600, 600});
    /* A new first item of 1 h 30 min: the old rows now start at 00:30, 00:40, 00:50 of the next year. */
    REQUIRE(s.InsertItemAt(0, F("2003/12/31", 1, "23:00:00", "01:30:00", 1)));
    REQUIRE(s.Count() == 4);
    CHECK(Row(s, 0) == "1 2003/12/31 23:00:00");
    CHECK(Row(s, 1) == "2 2004/01/01 00:30:00");
    CHECK(Row(s, 2) == "3 2004/01/01 00:40:00");
    CHECK(Row(s, 3) == "4 2004/01/01 00:50:00");
    CHECK_FALSE(s.InsertItemAt(9, F("2003/12/31", 1, "23:00:00", "00:00:10")));
}

TEST_CASE("Modification resets the state and re-times, keeping numbers", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    Chain(s, "2003/03/27", 3600, {60, 60, 60});
    s.SetItemState(1, kStateDone);
    Fields f = F("2003/03/27", 2, "01:01:00", "00:10:00", 2);
    f[5] = "ON AIR";
    REQUIRE(s.ModifyItemAt(1, f));
    CHECK(s.Item(1).state == kStateInFile);
    CHECK(Row(s, 2) == "3 2003/03/27 01:11:00");
    CHECK_FALSE(s.ModifyItemAt(3, f));
}

TEST_CASE("Deletion rules", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);

    SECTION("first row moves the rest back, across midnight to the previous date")
    {
        REQUIRE(s.AddItemFromFields(F("2003/02/28", 1, "23:59:30", "00:01:00", 1)));
        REQUIRE(s.AddItemFromFields(F("2003/03/01", 2, "00:00:30", "00:00:10", 2)));
        REQUIRE(s.DeleteItemAt(0));
        CHECK(Row(s, 0) == "1 2003/02/28 23:59:30");
    }
    SECTION("middle row: the follower takes a channel unlike both new neighbours")
    {
        Chain(s, "2003/03/27", 0, {10, 20, 30, 40});
        for (size_t i = 0; i < 4; ++i)
            s.SetItemChannel(i, i % 2 ? 2 : 1); /* 1, 2, 1, 2 */
        REQUIRE(s.DeleteItemAt(1));
        CHECK(Channels(s) == std::vector<int>{1, 3, 2});
        CHECK(Row(s, 1) == "2 2003/03/27 00:00:10");
        CHECK(Row(s, 2) == "3 2003/03/27 00:00:40");
    }
    SECTION("middle row with nothing two after it")
    {
        Chain(s, "2003/03/27", 0, {10, 20, 30});
        for (size_t i = 0; i < 3; ++i)
            s.SetItemChannel(i, 1);
        REQUIRE(s.DeleteItemAt(1));
        CHECK(Channels(s) == std::vector<int>{1, 2});
    }
    SECTION("last row only goes")
    {
        Chain(s, "2003/03/27", 0, {10, 20});
        REQUIRE(s.DeleteItemAt(1));
        CHECK(s.Count() == 1);
        CHECK(Row(s, 0) == "1 2003/03/27 00:00:00");
    }
    SECTION("the main window's channels by position after deleting the third of seven")
    {
        Chain(s, "2003/03/27", 0, {1, 1, 1, 1, 1, 1, 1});
        REQUIRE(s.DeleteItemAt(2));
        s.ChannelsByPosition();
        CHECK(Channels(s) == std::vector<int>{1, 2, 3, 4, 5, 1});
    }
    CHECK_FALSE(s.DeleteItemAt(50));
}

TEST_CASE("Insert before item k moves the channels from k on, 5 wrapping to 1", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    Chain(s, "2003/03/27", 0, {1, 1, 1, 1, 1});
    s.AdvanceChannelsFrom(2);
    CHECK(Channels(s) == std::vector<int>{1, 2, 4, 5, 1});
}

TEST_CASE("Rescheduling from now and the channel plan", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    ChannelPlan plan;

    SECTION("two device rows plan device channels 1-2 and free 3-5, the same each time")
    {
        REQUIRE(s.AddItemFromFields(F("2003/03/27", 1, "10:00:00", "00:10:00", 1, 1, "dev:Cam")));
        REQUIRE(s.AddItemFromFields(F("2003/03/27", 2, "10:10:00", "00:10:00", 2, 0)));
        REQUIRE(s.AddItemFromFields(F("2003/03/27", 3, "10:20:00", "00:10:00", 3, 1, "dev:Cam2")));
        REQUIRE(s.AddItemFromFields(F("2003/03/27", 4, "10:30:00", "00:10:00", 4, 0)));
        REQUIRE(s.AddItemFromFields(F("2003/03/27", 5, "10:40:00", "00:10:00", 5, 0)));
        REQUIRE(s.AddItemFromFields(F("2003/03/27", 6, "10:50:00", "00:10:00", 1, 0)));
        s.SetItemState(3, kStateDone);
        for (int round = 0; round < 2; ++round) {
            REQUIRE(s.RescheduleFromNow(F("2003/03/27", 1, "23:55:00", "00:10:00", 1, 1, "dev:Cam"), "2004/02/28", plan));
            CHECK(plan.deviceCount == 2);
            CHECK(Channels(s) == std::vector<int>{1, 3, 2, 4, 5, 3});
        }
        CHECK(Row(s, 0) == "1 2004/02/28 23:55:00");
        CHECK(Row(s, 1) == "2 2004/02/29 00:05:00");
        CHECK(s.Item(3).state == kStateInFile);
    }
    SECTION("a built plan keeps channels of small schedules and of devices")
    {
        Chain(s, "2003/03/27", 0, {10, 10, 10});
        REQUIRE(plan.Plan(0));
        plan.built = true;
        REQUIRE(s.RescheduleFromNow(F("2003/03/27", 1, "01:00:00", "00:00:10", 1), "2003/03/28", plan));
        CHECK(Channels(s) == std::vector<int>{1, 2, 3});
        /* The twin moves every row that is not a device. */
        REQUIRE(s.RescheduleFromNowKeepDevices(F("2003/03/27", 1, "01:00:00", "00:00:10", 1), "2003/03/28", plan));
        CHECK(Channels(s) == std::vector<int>{1, 2, 3});
        s.SetItemChannel(0, 4);
        REQUIRE(s.RescheduleFromNowKeepDevices(F("2003/03/27", 1, "01:00:00", "00:00:10", 4), "2003/03/28", plan));
        CHECK(Channels(s) == std::vector<int>{4, 5, 1});
    }
    SECTION("more than three device rows are refused before the plan is filled")
    {
        for (int n = 1; n <= 5; ++n)
            REQUIRE(s.AddItemFromFields(F("2003/03/27", n, "10:00:00", "00:00:10", n, 1, "dev:Cam")));
        REQUIRE_FALSE(s.RescheduleFromNow(F("2003/03/27", 1, "11:00:00", "00:00:10", 1, 1, "dev:Cam"), "2003/03/28", plan));
        CHECK(plan.deviceCount == 0);
        CHECK(Row(s, 0) == "1 2003/03/27 10:00:00");
        /* An empty plan never indexes its tables. */
        CHECK(plan.NextPlannedChannel(1, 1) == 0);
        CHECK(plan.NextPlannedChannel(0, 1) == 0);
    }
    SECTION("an empty schedule is refused")
    {
        CHECK_FALSE(s.RescheduleFromNow(F("2003/03/27", 1, "11:00:00", "00:00:10"), "2003/03/28", plan));
    }
}

TEST_CASE("Channel plan cursors wrap", "[source]")
{
    ChannelPlan p;
    REQUIRE(p.Plan(3));
    std::vector<int> dev, fre;
    for (int i = 0; i < 4; ++i) {
        dev.push_back(p.NextPlannedChannel(1, 0));
        fre.push_back(p.NextPlannedChannel(0, 0));
    }
    CHECK(dev == std::vector<int>{1, 2, 3, 1});
    CHECK(fre == std::vector<int>{4, 5, 4, 5});
    CHECK_FALSE(p.Plan(4));
    CHECK_FALSE(p.Plan(5));
    CHECK(p.NextPlannedChannel(0, 0) == 0); /* a refused plan is empty */
}

TEST_CASE("Re-timing from a row keeps numbers, channels and states", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    Chain(s, "2003/03/27", 0, {100, 100, 100});
    s.SetItemState(2, kStateReady);
    REQUIRE(s.RetimeFromRow(F("2003/03/28", 2, "23:59:00", "00:01:40", 2), 1));
    CHECK(Row(s, 1) == "2 2003/03/28 23:59:00");
    CHECK(Row(s, 2) == "3 2003/03/29 00:00:40");
    CHECK(s.Item(2).state == kStateReady);
    CHECK(Channels(s) == std::vector<int>{1, 2, 3});
}

TEST_CASE("Row snapshots are copies, untouched by later edits", "[source]")
{
    RecordingPrompt prompt;
    SourceSchedule s(prompt);
    Chain(s, "2003/03/27", 0, {100, 100});
    s.SetItemState(0, kStateOnAir);
    auto rows = s.RowSnapshot();
    s.ClearItems();
    REQUIRE(rows.size() == 2);
    CHECK(rows[0] == std::vector<std::string>{"2003/03/27", "0001", "00:00:00", "00:01:40", "00:00:00", "ON AIR",
                                              "subject", "http://host/clip.wmv", "http://host/clip.wmv", "Cut", "1.0", "1"});
}
