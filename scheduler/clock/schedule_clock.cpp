#include "schedule_clock.h"

#include <cstdio>
#include <cstdlib>

namespace {

/* atoi that skips leading blanks and stops at the first non-digit. */
int read_number(const std::string &s)
{
    return std::atoi(s.c_str());
}

bool valid_date(int y, int m, int d)
{
    return m >= 1 && m <= 12 && d >= 1 && d <= 31 && y > 0;
}

int year_length(int y)
{
    return ScheduleClock::IsLeapYear(y) ? 366 : 365;
}

} // namespace

bool ScheduleClock::IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int ScheduleClock::DaysInMonth(int year, int month)
{
    switch (month) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12: return 31;
    case 4: case 6: case 9: case 11: return 30;
    case 2: return IsLeapYear(year) ? 29 : 28;
    default: return 0;
    }
}

std::string ScheduleClock::FormatDate(int year, int month, int day)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", year, month, day);
    return buf;
}

std::string ScheduleClock::FormatArithmeticDate(int year, int month, int day)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, " %04d / %02d / %02d", year, month, day);
    return buf;
}

void ScheduleClock::SplitDate(const std::string &date, int &year, int &month, int &day)
{
    std::string parts[3];
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        size_t slash = i < 2 ? date.find('/', start) : std::string::npos;
        if (start > date.size()) {
            parts[i].clear();
        } else if (slash == std::string::npos) {
            parts[i] = date.substr(start);
            start = date.size() + 1;
        } else {
            parts[i] = date.substr(start, slash - start);
            start = slash + 1;
        }
    }
    year = read_number(parts[0]);
    month = read_number(parts[1]);
    const std::string &d = parts[2];
    day = read_number(d.size() > 2 ? d.substr(d.size() - 2) : d);
}

int ScheduleClock::DateKey(const std::string &date)
{
    int y, m, d;
    SplitDate(date, y, m, d);
    return y * 10000 + m * 100 + d;
}

std::string ScheduleClock::SecondsToText(int seconds)
{
    if (seconds < 0 || seconds > 86400)
        return std::string();
    int h, m, s;
    SplitSeconds(seconds, h, m, s);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, m, s);
    return buf;
}

int ScheduleClock::TextToSeconds(const std::string &text)
{
    auto field = [&](size_t at) {
        return at < text.size() ? read_number(text.substr(at, 2)) : 0;
    };
    return ToSeconds(field(0), field(3), field(6));
}

bool ScheduleClock::ParseTimeText(const std::string &text, int &seconds)
{
    if (text.size() != 8 || text[2] != ':' || text[5] != ':')
        return false;
    for (size_t i : {0, 1, 3, 4, 6, 7})
        if (text[i] < '0' || text[i] > '9')
            return false;
    int h = (text[0] - '0') * 10 + (text[1] - '0');
    int m = (text[3] - '0') * 10 + (text[4] - '0');
    int s = (text[6] - '0') * 10 + (text[7] - '0');
    if (h > 23 || m > 59 || s > 59)
        return false;
    seconds = ToSeconds(h, m, s);
    return true;
}

int ScheduleClock::ToSeconds(int hours, int minutes, int seconds)
{
    return seconds + (minutes + hours * 60) * 60;
}

void ScheduleClock::SplitSeconds(int total, int &hours, int &minutes, int &seconds)
{
    hours = total / 3600;
    if (hours >= 24)
        hours -= 24;
    minutes = (total / 60) % 60;
    seconds = total % 60;
}

std::string ScheduleClock::PreviousDay(const std::string &date)
{
    int y, m, d;
    SplitDate(date, y, m, d);
    if (!valid_date(y, m, d))
        return std::string();
    if (--d < 1) {
        if (--m < 1) {
            m = 12;
            --y;
        }
        d = DaysInMonth(y, m);
    }
    return FormatArithmeticDate(y, m, d);
}

std::string ScheduleClock::NextDay(const std::string &date)
{
    int y, m, d;
    SplitDate(date, y, m, d);
    if (!valid_date(y, m, d))
        return std::string();
    if (++d > DaysInMonth(y, m)) {
        d = 1;
        if (++m > 12) {
            m = 1;
            ++y;
        }
    }
    return FormatArithmeticDate(y, m, d);
}

int ScheduleClock::SubtractSeconds(int time, int n)
{
    int t = time - n;
    return t < 0 ? t + 86400 : t;
}

int ScheduleClock::AddSeconds(int time, int n)
{
    int t = time + n;
    return t >= 86400 ? t - 86400 : t;
}

int ScheduleClock::OtherChannel(int a, int b)
{
    for (int c = 1; c <= 5; ++c)
        if (c != a && c != b)
            return c;
    return b;
}

void ScheduleClock::DateDifference(const std::string &first, const std::string &second,
                                   int &years, int &months, int &days)
{
    int y1, m1, d1, y2, m2, d2;
    SplitDate(first, y1, m1, d1);
    SplitDate(second, y2, m2, d2);
    years = y1 - y2;
    months = m1 - m2;
    days = d1 - d2;
}

void ScheduleClock::DayOfYear(const std::string &date, int &year, int &dayOfYear)
{
    int m, d;
    SplitDate(date, year, m, d);
    int n = d;
    for (int i = 1; i < m && i <= 12; ++i)
        n += DaysInMonth(year, i);
    dayOfYear = n;
}

int ScheduleClock::DaysBetween(const std::string &first, const std::string &second)
{
    int y1, doy1, y2, doy2;
    DayOfYear(first, y1, doy1);
    DayOfYear(second, y2, doy2);
    if (y1 == y2)
        return doy1 - doy2;
    int lo = y1 < y2 ? y1 : y2, hi = y1 < y2 ? y2 : y1;
    long long whole = 0;
    for (int y = lo; y < hi; ++y)
        whole += year_length(y);
    return static_cast<int>(y1 > y2 ? whole + doy1 - doy2 : -(whole + doy2 - doy1));
}

std::string ScheduleClock::AddToDate(const std::string &date, int years, int months, int days)
{
    int y, m, d;
    SplitDate(date, y, m, d);
    y += years;
    m += months;
    d += days;
    /* Months are brought into 1-12 first so that the month lengths below are
     * always those of a real month. */
    while (m > 12) { m -= 12; ++y; }
    while (m < 1) { m += 12; --y; }
    if (d < 1) {
        if (--m < 1) {
            m = 12;
            --y;
        }
        d += DaysInMonth(y, m);
    } else if (d > DaysInMonth(y, m)) {
        d -= DaysInMonth(y, m);
        if (++m > 12) {
            m = 1;
            ++y;
        }
    }
    return FormatArithmeticDate(y, m, d);
}

std::string ScheduleClock::AddDays(const std::string &date, int days)
{
    int y, m, d;
    SplitDate(date, y, m, d);
    if (!valid_date(y, m, d))
        return std::string();
    long long day = static_cast<long long>(d) + days;
    while (day < 1) {
        if (--m < 1) {
            m = 12;
            --y;
        }
        day += DaysInMonth(y, m);
    }
    while (day > DaysInMonth(y, m)) {
        day -= DaysInMonth(y, m);
        if (++m > 12) {
            m = 1;
            ++y;
        }
    }
    return FormatArithmeticDate(y, m, static_cast<int>(day));
}
