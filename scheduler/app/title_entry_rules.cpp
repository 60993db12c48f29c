#include "title_entry_rules.h"

#include <cstdlib>

#include "clock/schedule_clock.h"

using namespace titleentry;

std::string CheckTitleEntry(const TitleEntryContext &c, const TitleEntryValues &v)
{
    /* Times the lists cannot show (an hour of 24 set from outside): the
     * schedule could not keep such a title. */
    if (v.start < 0 || v.start > 86399)
        return kStartError;
    if (v.subject.empty())
        return kSubjectError;
    if (v.duration < kMinDuration)
        return kDurationError;
    if (v.source.empty())
        return kSourceError;
    const bool first = c.number == "1";
    if (c.mode == 0) {
        if (first)
            return "";
        if (v.source == c.previousSource)
            return kSourceError;
        if (v.start < c.earliestStart)
            return kStartError;
        return "";
    }
    if (v.source == c.previousSource || (!first && v.source == c.nextSource))
        return kSourceError;
    const int dateKey = ScheduleClock::DateKey(c.date);
    if (!first) {
        const bool sameOrLater = ScheduleClock::DateKey(c.previousDate) >= dateKey;
        if (v.start < (sameOrLater ? c.previousEnd : c.previousEnd - 86400))
            return kStartError;
    }
    if (!c.shuffle && c.nextExists) {
        const int nextKey = ScheduleClock::DateKey(c.nextDate);
        const int end = v.start + v.duration;
        if (dateKey > nextKey)
            return kMarkShuffle;
        if (dateKey == nextKey ? end > c.nextStart : end - 86400 > c.nextStart)
            return kMarkShuffle;
    }
    return "";
}

bool TimeListTextValid(const std::string &text, bool hours)
{
    if (text.empty() || text.size() > 2)
        return false;
    for (char ch : text)
        if (ch < '0' || ch > '9')
            return false;
    const int v = std::atoi(text.c_str());
    return v <= (hours ? 23 : 59);
}

std::string TypedTimeText(const std::string &text, bool hours, int &caret)
{
    std::string t = text;
    if (t.size() == 3) {
        const int at = caret >= 1 && caret < 3 ? caret : 0;
        t.erase(static_cast<size_t>(at), 1);
        caret = at == 0 ? 2 : at;
    }
    if (t.empty())
        return t;
    if (!TimeListTextValid(t, hours)) {
        caret = 2;
        return "00";
    }
    if (caret > static_cast<int>(t.size()))
        caret = static_cast<int>(t.size());
    return t;
}
