#include <catch2/catch.hpp>

#include "clock/schedule_clock.h"
#include "schedule/title_schedule.h"
#include "scheduler_test_support.h"

namespace {

Fields T(const char *date, int number, const char *start, const char *duration, const char *state = "IN CG",
         const char *source = "http://host/title.lmf")
{
    char num[8];
    snprintf(num, sizeof num, "%04d", number);
    return {date, num, start, duration, state, "subject", source};
}

std::string Row(const TitleSchedule &s, size_t i)
{
    const auto &it = s.Item(i);
    return Num(it.number) + " " + it.date + " " + ScheduleClock::SecondsToText(it.start) + " " +
           (it.state >= 0 ? kTitleStateWords[it.state] : "?");
}

/* Four titles at 09:00, 09:30, 10:00, 10:30 of 30 s each. */
void Four(TitleSchedule &s)
{
    const char *starts[] = {"09:00:00", "09:30:00", "10:00:00", "10:30:00"};
    for (int i = 0; i < 4; ++i)
        REQUIRE(s.AddItemFromFields(T("2003/03/27", i + 1, starts[i], "00:00:30")));
}

} // namespace

TEST_CASE("Title items: fields, states and missing files", "[title]")
{
    RecordingPrompt prompt;
    TitleSchedule s(prompt);
    REQUIRE(s.AddItemFromFields(T("2003/03/27", 1, "10:00:00", "00:00:30", "DONE", "C:\\no\\such.lmf")));
    CHECK(s.Item(0).state == kTitleDone);
    CHECK(s.Item(0).missing);
    CHECK(s.Item(0).source == "C:\\no\\such.lmf");
    REQUIRE(s.AddItemFromFields(T("2003/03/27", 2, "10:00:30", "00:00:30", "Whatever")));
    CHECK(s.Item(1).state == -1);
    CHECK_FALSE(s.AddItemFromFields(T("2003/03/27", 3, "24:00:00", "00:00:30")));
    Fields comma = T("2003/03/27", 3, "10:01:00", "00:00:30");
    comma[5] = "news, sport";
    CHECK_FALSE(s.AddItemFromFields(comma));
    CHECK(s.SetStateOfNumber(2, kTitleReady));
    CHECK_FALSE(s.SetStateOfNumber(7, kTitleReady));
    CHECK(s.Item(1).state == kTitleReady);
}

TEST_CASE("Title insertion with and without the shift switch", "[title]")
{
    RecordingPrompt prompt;
    TitleSchedule s(prompt);
    Four(s);

    SECTION("shift on: a 60 s title at 10:00:00 moves the next to 10:01:00 and keeps the gaps")
    {
        s.SetShift(true);
        REQUIRE(s.InsertItemAt(2, T("2003/03/27", 3, "10:00:00", "00:01:00")));
        CHECK_FALSE(s.Shift());
        CHECK(Row(s, 2) == "3 2003/03/27 10:00:00 IN CG");
        CHECK(Row(s, 3) == "4 2003/03/27 10:01:00 IN CG");
        CHECK(Row(s, 4) == "5 2003/03/27 10:31:00 IN CG");
    }
    SECTION("shift off: numbers only")
    {
        REQUIRE(s.InsertItemAt(2, T("2003/03/27", 3, "10:00:00", "00:01:00")));
        CHECK(Row(s, 3) == "4 2003/03/27 10:00:00 IN CG");
        CHECK(Row(s, 4) == "5 2003/03/27 10:30:00 IN CG");
    }
    SECTION("shift past midnight: wrapped rows take the next day")
    {
        s.SetShift(true);
        REQUIRE(s.InsertItemAt(1, T("2003/12/31", 2, "23:00:00", "00:59:50")));
        CHECK(Row(s, 2) == "3 2003/12/31 23:59:50 IN CG");
        CHECK(Row(s, 3) == "4 2004/01/01 00:29:50 IN CG");
        CHECK(Row(s, 4) == "5 2004/01/01 00:59:50 IN CG");
    }
}

TEST_CASE("Title modification, deletion, rescheduling and chaining", "[title]")
{
    RecordingPrompt prompt;
    TitleSchedule s(prompt);
    Four(s);
    for (size_t i = 0; i < 4; ++i)
        s.SetItemState(i, kTitleDone);

    SECTION("modifying the second of four with shift off keeps times, later rows back to IN CG")
    {
        REQUIRE(s.ModifyItemAt(1, T("2003/03/27", 2, "09:30:00", "00:05:00", "DONE")));
        CHECK(Row(s, 0) == "1 2003/03/27 09:00:00 DONE");
        CHECK(Row(s, 1) == "2 2003/03/27 09:30:00 DONE");
        CHECK(Row(s, 2) == "3 2003/03/27 10:00:00 IN CG");
        CHECK(Row(s, 3) == "4 2003/03/27 10:30:00 IN CG");
    }
    SECTION("modifying with shift on moves the later rows")
    {
        s.SetShift(true);
        REQUIRE(s.ModifyItemAt(1, T("2003/03/27", 2, "09:30:00", "00:05:00")));
        CHECK(Row(s, 2) == "3 2003/03/27 09:35:00 IN CG");
        CHECK(Row(s, 3) == "4 2003/03/27 10:05:00 IN CG");
    }
    SECTION("deleting renumbers and keeps the times")
    {
        REQUIRE(s.DeleteItemAt(1));
        CHECK(Row(s, 1) == "2 2003/03/27 10:00:00 DONE");
        CHECK(Row(s, 2) == "3 2003/03/27 10:30:00 DONE");
        /* The main window then chains every row from the deleted place on. */
        s.ChainFrom(1);
        CHECK(Row(s, 1) == "2 2003/03/27 09:00:30 DONE");
        CHECK(Row(s, 2) == "3 2003/03/27 09:01:00 DONE");
        s.ChainFrom(0);
        CHECK(Row(s, 0) == "1 2003/03/27 00:00:00 DONE");
    }
    SECTION("rescheduling from now resets every state and with shift follows row 0")
    {
        s.SetShift(true);
        REQUIRE(s.RescheduleFromNow(T("2003/03/27", 1, "23:59:50", "00:00:30"), "2004/02/28"));
        CHECK(Row(s, 0) == "1 2004/02/28 23:59:50 IN CG");
        CHECK(Row(s, 1) == "2 2004/02/29 00:00:20 IN CG");
        CHECK(Row(s, 3) == "4 2004/02/29 01:00:20 IN CG");
        CHECK_FALSE(s.Shift());
    }
}
