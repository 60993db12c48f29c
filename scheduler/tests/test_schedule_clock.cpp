#include <catch2/catch.hpp>

#include "clock/schedule_clock.h"

using C = ScheduleClock;

TEST_CASE("Date texts split and key alike in both forms", "[clock]")
{
    struct Row { const char *text; int y, m, d, key; };
    const Row rows[] = {
        {"2003/01/05", 2003, 1, 5, 20030105},
        {" 2003 / 01 / 05", 2003, 1, 5, 20030105},
        {"2024/12/31", 2024, 12, 31, 20241231},
        {" 1999 / 07 / 123", 1999, 7, 23, 19990723},   /* only the last two characters of the day */
        {"2003/1/5", 2003, 1, 5, 20030105},
        {"", 0, 0, 0, 0},
        {"2003", 2003, 0, 0, 20030000},
    };
    for (const auto &r : rows) {
        INFO(r.text);
        int y, m, d;
        C::SplitDate(r.text, y, m, d);
        CHECK(y == r.y);
        CHECK(m == r.m);
        CHECK(d == r.d);
        CHECK(C::DateKey(r.text) == r.key);
    }
    CHECK(C::DateKey("2003/12/31") < C::DateKey(" 2004 / 01 / 01"));
}

TEST_CASE("Seconds and time text", "[clock]")
{
    struct Row { int seconds; const char *text; };
    const Row rows[] = {
        {0, "00:00:00"}, {59, "00:00:59"}, {3661, "01:01:01"}, {86399, "23:59:59"},
        {86400, "00:00:00"}, {86401, ""}, {100000, ""}, {-1, ""},
    };
    for (const auto &r : rows) {
        INFO(r.seconds);
        CHECK(C::SecondsToText(r.seconds) == r.text);
    }
    CHECK(C::TextToSeconds("23:59:59") == 86399);
    CHECK(C::TextToSeconds("01:02:03") == 3723);
    CHECK(C::TextToSeconds("") == 0);
    CHECK(C::TextToSeconds("01:0") == 3600);
    CHECK(C::ToSeconds(1, 2, 3) == 3723);

    int h, m, s;
    C::SplitSeconds(90061, h, m, s); /* 25:01:01 wraps its hours once */
    CHECK((h == 1 && m == 1 && s == 1));
}

TEST_CASE("Strict time text accepts hours 00 to 23 only", "[clock]")
{
    struct Row { const char *text; bool ok; int seconds; };
    const Row rows[] = {
        {"00:00:00", true, 0}, {"23:59:59", true, 86399}, {"12:30:05", true, 45005},
        {"24:00:00", false, 0}, {"23:60:00", false, 0}, {"23:00:60", false, 0},
        {"1:00:00", false, 0}, {"01-00-00", false, 0}, {"01:00:0x", false, 0}, {"", false, 0},
        {"01:00:00 ", false, 0},
    };
    for (const auto &r : rows) {
        INFO(r.text);
        int s = -7;
        CHECK(C::ParseTimeText(r.text, s) == r.ok);
        CHECK(s == (r.ok ? r.seconds : -7));
    }
}

TEST_CASE("Next and previous day across months, year ends and leap years", "[clock]")
{
    struct Row { const char *date, *next, *previous; };
    const Row rows[] = {
        {"2004/02/28", " 2004 / 02 / 29", " 2004 / 02 / 27"},
        {"2004/02/29", " 2004 / 03 / 01", " 2004 / 02 / 28"},
        {"2003/02/28", " 2003 / 03 / 01", " 2003 / 02 / 27"},
        {"2003/01/01", " 2003 / 01 / 02", " 2002 / 12 / 31"},
        {"2003/12/31", " 2004 / 01 / 01", " 2003 / 12 / 30"},
        {"2000/02/28", " 2000 / 02 / 29", " 2000 / 02 / 27"},   /* divisible by 400 */
        {"2024/03/01", " 2024 / 03 / 02", " 2024 / 02 / 29"},
        {"2100/02/28", " 2100 / 03 / 01", " 2100 / 02 / 27"},   /* a century: no 29th */
        {"2100/03/01", " 2100 / 03 / 02", " 2100 / 02 / 28"},
        {" 2003 / 04 / 30", " 2003 / 05 / 01", " 2003 / 04 / 29"},
        {"2003/05/01", " 2003 / 05 / 02", " 2003 / 04 / 30"},
    };
    for (const auto &r : rows) {
        INFO(r.date);
        CHECK(C::NextDay(r.date) == r.next);
        CHECK(C::PreviousDay(r.date) == r.previous);
    }
    for (const char *bad : {"2003/13/01", "2003/00/10", "2003/01/32", "0000/01/01", "2003/01/00", ""}) {
        INFO(bad);
        CHECK(C::NextDay(bad).empty());
        CHECK(C::PreviousDay(bad).empty());
        CHECK(C::AddDays(bad, 1).empty());
    }
}

TEST_CASE("Leap years and month lengths", "[clock]")
{
    CHECK(C::IsLeapYear(2000));
    CHECK(C::IsLeapYear(2024));
    CHECK_FALSE(C::IsLeapYear(2100));
    CHECK_FALSE(C::IsLeapYear(2003));
    const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    for (int m = 1; m <= 12; ++m)
        CHECK(C::DaysInMonth(2003, m) == lengths[m - 1]);
    CHECK(C::DaysInMonth(2024, 2) == 29);
    CHECK(C::DaysInMonth(2100, 2) == 28);
    CHECK(C::DaysInMonth(2003, 13) == 0);
}

TEST_CASE("Time of day wraps once at midnight", "[clock]")
{
    CHECK(C::AddSeconds(86399, 2) == 1);
    CHECK(C::AddSeconds(100, 200) == 300);
    CHECK(C::AddSeconds(0, 86400) == 0);
    CHECK(C::SubtractSeconds(3, 5) == 86398);
    CHECK(C::SubtractSeconds(5, 3) == 2);
    CHECK(C::SubtractSeconds(0, 86400) == 0);
}

TEST_CASE("Other channel is the lowest free one", "[clock]")
{
    CHECK(C::OtherChannel(1, 2) == 3);
    CHECK(C::OtherChannel(2, 1) == 3);
    CHECK(C::OtherChannel(3, 4) == 1);
    CHECK(C::OtherChannel(1, 0) == 2);
    CHECK(C::OtherChannel(0, 0) == 1);
}

TEST_CASE("Day counts, day of year and differences", "[clock]")
{
    CHECK(C::DaysBetween("2004/01/01", "2003/01/01") == 365);
    CHECK(C::DaysBetween("2003/01/01", "2004/01/01") == -365);
    CHECK(C::DaysBetween("2005/01/01", "2004/01/01") == 366);
    CHECK(C::DaysBetween("2101/01/01", "2100/01/01") == 365);
    CHECK(C::DaysBetween("2001/01/01", "2000/01/01") == 366);
    CHECK(C::DaysBetween("2003/03/01", "2003/02/27") == 2);
    CHECK(C::DaysBetween("2004/01/02", "2003/12/31") == 2);
    CHECK(C::DaysBetween("2003/12/31", "2004/01/02") == -2);
    CHECK(C::DaysBetween(" 2024 / 03 / 01", "2024/02/28") == 2);

    int y, doy;
    C::DayOfYear("2003/12/31", y, doy);
    CHECK((y == 2003 && doy == 365));
    C::DayOfYear("2024/12/31", y, doy);
    CHECK(doy == 366);
    C::DayOfYear("2100/03/01", y, doy);
    CHECK(doy == 60);

    int dy, dm, dd;
    C::DateDifference("2004/01/10", "2003/12/31", dy, dm, dd);
    CHECK((dy == 1 && dm == -11 && dd == -21));
}

TEST_CASE("Adding to dates", "[clock]")
{
    struct Row { const char *date; int days; const char *result; };
    const Row rows[] = {
        {"2003/12/31", 1, " 2004 / 01 / 01"},
        {"2004/01/01", -1, " 2003 / 12 / 31"},
        {"2024/02/28", 1, " 2024 / 02 / 29"},
        {"2100/02/28", 1, " 2100 / 03 / 01"},
        {"2000/02/28", 1, " 2000 / 02 / 29"},
        {"2003/01/01", 365, " 2004 / 01 / 01"},
        {"2004/01/01", 366, " 2005 / 01 / 01"},
        {"2004/03/01", -366, " 2003 / 03 / 01"},
        {"2003/06/15", 0, " 2003 / 06 / 15"},
    };
    for (const auto &r : rows) {
        INFO(r.date << " + " << r.days);
        CHECK(C::AddDays(r.date, r.days) == r.result);
    }

    CHECK(C::AddToDate("2003/01/31", 0, 0, 1) == " 2003 / 02 / 01");
    CHECK(C::AddToDate("2003/12/31", 0, 0, 1) == " 2004 / 01 / 01");
    CHECK(C::AddToDate("2003/01/01", 0, 0, -1) == " 2002 / 12 / 31");
    CHECK(C::AddToDate("2003/03/01", 0, 0, -1) == " 2003 / 02 / 28");
    CHECK(C::AddToDate("2024/03/01", 0, 0, -1) == " 2024 / 02 / 29");
    CHECK(C::AddToDate("2003/11/15", 0, 2, 0) == " 2004 / 01 / 15");
    CHECK(C::AddToDate("2003/05/10", 1, 1, 1) == " 2004 / 06 / 11");
}
