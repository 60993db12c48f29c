/*
 * The checks of the title entry: what the operator typed for one title
 * (start, duration, subject, file) against its neighbours in the title
 * schedule.  The first failing check names the problem on the dialog's
 * message line; an empty answer accepts the entry.
 */
#ifndef SCHEDULER_APP_TITLE_ENTRY_RULES_H
#define SCHEDULER_APP_TITLE_ENTRY_RULES_H

#include <string>

namespace titleentry {
constexpr char kSubjectError[] = "Subject Error";           /* 61 */
constexpr char kDurationError[] = "Duration Time Error.";   /* 62 */
constexpr char kSourceError[] = "Title Source Error";       /* 63 */
constexpr char kStartError[] = "Start Time Error";          /* 64 */
constexpr char kMarkShuffle[] = "Mark the Shuffle";         /* 65 */
constexpr int kMinDuration = 3;
} // namespace titleentry

struct TitleEntryContext {
    int mode = 0;              /* 0 append, 1 insert before the selection, 2 modify */
    std::string number;        /* "1" for the first title */
    std::string date;          /* the entry's date (either date form) */
    int earliestStart = 0;     /* an appended title starts no earlier */
    int nextStart = -1;
    int previousEnd = -1;
    bool nextExists = false;
    bool shuffle = true;       /* later titles are shifted instead of refused */
    std::string previousDate = "2003/ 01/ 01", nextDate = "2003/ 01/ 01";
    std::string previousSource, nextSource;
};

struct TitleEntryValues {
    int start = 0, duration = 0;
    std::string subject, source;
};

/* "" when accepted, else the message of the first failing check. */
std::string CheckTitleEntry(const TitleEntryContext &c, const TitleEntryValues &v);

/* A time list's text: one or two digits, hours 0-23 (a time of day, as the
 * lists hold them: a schedule has no hour 24), minutes and seconds 0-59.
 * Anything else is set back to the list's first entry. */
bool TimeListTextValid(const std::string &text, bool hours);

/* A time list's text as the operator types it, the caret just past the
 * typed digit: a third digit overwrites the one after the caret (the first,
 * at the end), so "00" takes "1" then "2" as "01" then "12"; an empty text
 * stays while being typed (it reads as 0).  Anything else outside the
 * list's range becomes "00".  'caret' is moved to where typing goes on. */
std::string TypedTimeText(const std::string &text, bool hours, int &caret);

#endif
