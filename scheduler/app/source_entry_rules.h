/*
 * The checks and small rules of the source entry: the validation order of
 * OK with its texts, the channel of a new item, the transition palette's
 * pages and the defaults proposed for an added item.
 */
#ifndef SCHEDULER_APP_SOURCE_ENTRY_RULES_H
#define SCHEDULER_APP_SOURCE_ENTRY_RULES_H

#include <string>

namespace sourceentry {
constexpr char kDurationError[] = "DurationTime Error"; /* 57 */
constexpr char kSubjectError[] = "Subject Error";       /* 59 */
constexpr char kSourceError[] = "Source Error";         /* 60 */
constexpr int kMinDuration = 5;
constexpr int kLastPage = 8;        /* five pictures a page, 44 transitions */
constexpr int kPagePictures = 5;
} // namespace sourceentry

struct SourceSlot {
    std::string video, audio;
    int channel = 0;
};

struct SourceEntryContext {
    int mode = 0;         /* 0 add, 1 insert, 2 modify */
    int number = 0;
    int ownChannel = 0;   /* the modified item's channel */
    SourceSlot a, b, c;   /* at the edit's place, after it, before the edited item */
};

struct SourceEntryValues {
    int duration = 0;
    std::string subject, video, audio;
};

/* "" when accepted (then 'channel' holds the item's channel), else the
 * message of the first failing check. */
std::string CheckSourceEntry(const SourceEntryContext &c, const SourceEntryValues &v, int *channel);

/* Channel of a new item: number mod 5, 5 for a remainder of 0. */
int NewItemChannel(int number);

/* Palette paging: the page holding a transition, and the page moves
 * ("Left" not below 0, "Right" not above the last page). */
int PageOfTransition(int transition);
int PageLeft(int page);
int PageRight(int page);

/* The start and date proposed for an item added after one starting at
 * 'lastStart' on 'lastDate' for 'lastDuration' seconds ("yyyy/mm/dd"). */
void ProposeAddedStart(const std::string &lastDate, int lastStart, int lastDuration, std::string &date,
                       int &start);

#endif
