/*
 * Files dropped from the shell onto a schedule list: which paths the list
 * takes (its drop options) and the fields of the row each one adds.
 */
#ifndef SCHEDULER_DROP_OPTIONS_H
#define SCHEDULER_DROP_OPTIONS_H

#include <functional>
#include <string>

#include "source_schedule.h"
#include "title_schedule.h"

class DropOptions {
public:
    enum Flags {
        kRegularFiles = 0x01,
        kFolders = 0x02,
        kExtensionOnly = 0x10,   /* files whose extension equals the text */
        kToCallback = 0x20,      /* hand paths to the callback, add nothing */
    };
    using Callback = std::function<void(const std::string &path)>;

    /* False (the old options kept) for kToCallback without a callback. */
    bool Set(int flags, const std::string &extension, Callback callback);
    int Flags() const { return flags_; }

    /* The path exists and passes the options. */
    bool Accepts(const std::string &path) const;
    /* With kToCallback the path goes to the callback: true when it did. */
    bool HandToCallback(const std::string &path) const;

private:
    int flags_ = kRegularFiles | kFolders;
    std::string extension_;
    Callback callback_;
};

/* The row a dropped media file adds: today's date, the next number, the
 * start where the last row ends (on the next day past midnight), the
 * measured duration (unknown, -1, counts 0; at most 23:59:59), "IN FILE",
 * the path as subject, video and audio, "Cut" at 1.0 s, channel number mod 5
 * (0 read as 5), kind 0. */
Fields DroppedSourceFields(const SourceSchedule &list, const std::string &path, int durationSeconds,
                           const std::string &today);
/* The row a dropped title file adds: 30 s, "IN CG", the path as subject and
 * source. */
Fields DroppedTitleFields(const TitleSchedule &list, const std::string &path, const std::string &today);

#endif
