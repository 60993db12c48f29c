#include "source_entry_rules.h"

#include "clock/schedule_clock.h"
#include "schedule/source_schedule.h"

using namespace sourceentry;

int NewItemChannel(int number)
{
    const int r = ((number % 5) + 5) % 5;
    return r == 0 ? 5 : r;
}

std::string CheckSourceEntry(const SourceEntryContext &c, const SourceEntryValues &v, int *channel)
{
    if (v.duration < kMinDuration)
        return kDurationError;
    if (v.subject.empty())
        return kSubjectError;
    const int ch = c.mode == 2 ? c.ownChannel : NewItemChannel(c.number);
    const SourceSlot &first = c.mode == 2 ? c.c : c.a;
    if (v.video == first.video || v.audio == first.audio || v.video == c.b.video || v.audio == c.b.audio ||
        v.video.empty() || v.audio.empty())
        return kSourceError;
    if (channel)
        *channel = ch;
    return "";
}

int PageOfTransition(int transition)
{
    if (transition < 0)
        return 0;
    const int p = transition / kPagePictures;
    return p > kLastPage ? kLastPage : p;
}

int PageLeft(int page)
{
    return page > 0 ? page - 1 : 0;
}

int PageRight(int page)
{
    return page < kLastPage ? page + 1 : kLastPage;
}

void ProposeAddedStart(const std::string &lastDate, int lastStart, int lastDuration, std::string &date, int &start)
{
    start = lastStart + lastDuration;
    date = NormalizeDate(lastDate);
    while (start > 86399) {
        start -= 86400;
        date = NormalizeDate(ScheduleClock::NextDay(date));
    }
}
