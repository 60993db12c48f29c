/*
 * ScheduleClock: the scheduler's time-of-day and date arithmetic.
 *
 * Times of day are whole seconds after midnight (0 to 86399).  Dates travel
 * as text in one of two forms, both read alike:
 *   "2003/01/05"            written for today's date and for list rows;
 *   " 2003 / 01 / 05"       written by the date arithmetic below.
 * A date key is the integer yyyymmdd, so keys compare as the dates do.
 *
 * Leap years follow the Gregorian rule (divisible by 4, except centuries not
 * divisible by 400).  The class holds no state; every operation is a pure
 * function of its arguments and may be called from any thread.
 */
#ifndef SCHEDULER_SCHEDULE_CLOCK_H
#define SCHEDULER_SCHEDULE_CLOCK_H

#include <string>

class ScheduleClock {
public:
    virtual ~ScheduleClock() = default;

    /* Splits a date text at '/': each part read as a number with leading
     * blanks ignored; of the third part only its last two characters count. */
    static void SplitDate(const std::string &date, int &year, int &month, int &day);
    static int DateKey(const std::string &date);

    /* "hh:mm:ss" for 0 <= seconds <= 86400 (86400 reads "00:00:00"),
     * otherwise an empty text. */
    static std::string SecondsToText(int seconds);
    /* Characters 1-2 hours, 4-5 minutes, 7-8 seconds; missing characters
     * count as 0. */
    static int TextToSeconds(const std::string &text);
    /* Strict reading for entry and file checks: exactly "hh:mm:ss" with
     * hours 00-23 and minutes, seconds 00-59.  False leaves 'seconds' alone. */
    static bool ParseTimeText(const std::string &text, int &seconds);
    static int ToSeconds(int hours, int minutes, int seconds);
    static void SplitSeconds(int total, int &hours, int &minutes, int &seconds);

    /* Day before / after a valid date, in the arithmetic form; an invalid
     * date (month outside 1-12, day outside 1-31, year not positive) gives
     * an empty text. */
    static std::string PreviousDay(const std::string &date);
    static std::string NextDay(const std::string &date);

    /* Time of day arithmetic with one wrap at midnight. */
    static int SubtractSeconds(int time, int n);
    static int AddSeconds(int time, int n);

    /* The lowest channel 1-5 that is neither a nor b. */
    static int OtherChannel(int a, int b);

    /* Component-wise difference (first minus second), no carrying. */
    static void DateDifference(const std::string &first, const std::string &second,
                               int &years, int &months, int &days);
    /* Signed number of days from 'second' to 'first'. */
    static int DaysBetween(const std::string &first, const std::string &second);
    static void DayOfYear(const std::string &date, int &year, int &dayOfYear);
    /* Adds the components, then carries once (see the .cpp). */
    static std::string AddToDate(const std::string &date, int years, int months, int days);
    static int DaysInMonth(int year, int month);
    static bool IsLeapYear(int year);
    /* Moves a valid date by a signed number of days; invalid: empty text. */
    static std::string AddDays(const std::string &date, int days);

    /* "%04d/%02d/%02d" and " %04d / %02d / %02d". */
    static std::string FormatDate(int year, int month, int day);
    static std::string FormatArithmeticDate(int year, int month, int day);
};

#endif
