#include "drop_options.h"

#include <windows.h>
#include <cctype>
#include <cstdio>

#include "clock/schedule_clock.h"

using C = ScheduleClock;

bool DropOptions::Set(int flags, const std::string &extension, Callback callback)
{
    if ((flags & kToCallback) && !callback)
        return false;
    flags_ = flags;
    extension_ = extension;
    callback_ = std::move(callback);
    return true;
}

bool DropOptions::Accepts(const std::string &path) const
{
    DWORD attr = path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attr & FILE_ATTRIBUTE_DIRECTORY)
        return (flags_ & kFolders) != 0;
    if (!(flags_ & kRegularFiles))
        return false;
    if (flags_ & kExtensionOnly) {
        if (path.size() < extension_.size())
            return false;
        std::string tail = path.substr(path.size() - extension_.size());
        for (size_t i = 0; i < tail.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(tail[i])) != std::tolower(static_cast<unsigned char>(extension_[i])))
                return false;
    }
    return true;
}

bool DropOptions::HandToCallback(const std::string &path) const
{
    if (!(flags_ & kToCallback) || !callback_)
        return false;
    callback_(path);
    return true;
}

namespace {

/* Where the last row ends, as a date and a time of day. */
void next_start(int lastStart, int lastDuration, bool empty, const std::string &today, std::string &date, int &start)
{
    date = NormalizeDate(today);
    start = empty ? 0 : lastStart + lastDuration;
    while (start > 86399) {
        start -= 86400;
        date = NormalizeDate(C::NextDay(date));
    }
}

std::string number_text(size_t count)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", static_cast<int>(count + 1));
    return buf;
}

} // namespace

Fields DroppedSourceFields(const SourceSchedule &list, const std::string &path, int duration, const std::string &today)
{
    const bool empty = list.Empty();
    std::string date;
    int start;
    next_start(empty ? 0 : list.Item(list.Count() - 1).start, empty ? 0 : list.Item(list.Count() - 1).duration,
               empty, today, date, start);
    if (duration < 0)
        duration = 0;
    if (duration > 86399)
        duration = 86399;
    const int number = static_cast<int>(list.Count()) + 1;
    char ch[8];
    std::snprintf(ch, sizeof ch, "%d", number % 5 == 0 ? 5 : number % 5);
    return {date, number_text(list.Count()), C::SecondsToText(start), C::SecondsToText(duration), "00:00:00",
            kSourceStateWords[kStateInFile], path, path, path, kTransitionNames[0], "1.0", ch, "0"};
}

Fields DroppedTitleFields(const TitleSchedule &list, const std::string &path, const std::string &today)
{
    const bool empty = list.Empty();
    std::string date;
    int start;
    next_start(empty ? 0 : list.Item(list.Count() - 1).start, empty ? 0 : list.Item(list.Count() - 1).duration,
               empty, today, date, start);
    return {date, number_text(list.Count()), C::SecondsToText(start), "00:00:30", kTitleStateWords[kTitleInCg],
            path, path};
}
