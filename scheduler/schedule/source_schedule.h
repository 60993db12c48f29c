/*
 * The source schedule: dated media items (files, capture devices, network
 * addresses) that the on-air run loads into the mixer's channels one after
 * another, the edit rules that keep numbers, start times and channels
 * consistent, the channel plan, and the ".dsf" file.
 *
 * Items are edited from "fields": the thirteen texts of one .dsf line
 *   0 date "yyyy/mm/dd"   1 number "%04d"   2 start   3 duration
 *   4 position (hh:mm:ss)   5 state word   6 subject   7 video   8 audio
 *   9 transition name   10 transition time   11 channel 1-5   12 kind 0-2
 * A field may hold no comma, CR or LF (the file has no quoting): such fields
 * are refused at entry, so every saved schedule loads again.
 *
 * The class is used on the scheduler's user-interface thread only.  Display
 * refreshes on another thread work on RowSnapshot(), a copy of the texts,
 * never on the items themselves.
 */
#ifndef SCHEDULER_SOURCE_SCHEDULE_H
#define SCHEDULER_SOURCE_SCHEDULE_H

#include <functional>
#include <string>
#include <vector>

#include "schedule_words.h"

class OperatorPrompt;

using Fields = std::vector<std::string>;

struct ScheduleItem {
    int number = 0;
    std::string date;          /* "yyyy/mm/dd" */
    int start = 0;             /* seconds after midnight of date, 0-86399 */
    int duration = 0;          /* seconds */
    int position = 0;          /* start position inside the media, seconds */
    int state = kStateInFile;  /* SourceState, -1 for an unknown word */
    std::string subject, video, audio;
    int transition = 0;        /* index of kTransitionNames, -1 when unknown */
    std::string transitionName;/* the name as entered (kept for unknown names) */
    float transitionTime = 1.0f;
    int channel = 1;           /* mixer channel 1-5 */
    int kind = kKindFile;
    bool missing = false;      /* a file item whose video file was not found */
};

/*
 * Which mixer channels the device items and the other items use during a
 * run.  Process-wide (see TheChannelPlan), used on the UI thread only.
 * At most three device channels are planned: more are refused before any
 * table entry is written.
 */
class ChannelPlan {
public:
    static constexpr int kMaxDeviceChannels = 3;
    bool built = false;    /* set by the run when a loop round begins */
    int deviceCount = 0;
    int device[5] = {};
    int free[5] = {};
    int deviceCursor = 0, freeCursor = 0;

    void Empty();
    /* Plans d device channels 1..d and free channels d+1..5; false (and the
     * plan emptied) when d is above kMaxDeviceChannels or negative. */
    bool Plan(int devices);
    /* The next device channel for kind 1, else the next free channel; the
     * cursors wrap.  0 when the plan has no channel of that sort. */
    int NextPlannedChannel(int kind, int number);
};
ChannelPlan &TheChannelPlan();

class SourceSchedule {
public:
    static constexpr int kFieldCount = 13;

    explicit SourceSchedule(OperatorPrompt &prompt);

    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const ScheduleItem &Item(size_t i) const { return items_.at(i); }
    void SetItemState(size_t i, int state) { items_.at(i).state = state; }
    void SetItemChannel(size_t i, int channel) { items_.at(i).channel = channel; }

    /* Checks a field set; on failure 'why' names the field. */
    static bool CheckFields(const Fields &fields, std::string *why = nullptr);

    /* Appends an item (loading, dropping, the add command).  A file item
     * whose video file does not exist keeps its paths and is marked missing;
     * network addresses are never tested as files.  False: refused fields. */
    bool AddItemFromFields(const Fields &fields);
    /* Inserts before row 'at' (0..Count()); later rows are renumbered and
     * re-timed to follow the new item. */
    bool InsertItemAt(size_t at, const Fields &fields);
    /* Replaces row 'at' (its state becomes the initial state of its kind);
     * later rows are re-timed and keep their numbers. */
    bool ModifyItemAt(size_t at, const Fields &fields);
    /* Deletes row 'at'; later rows are renumbered and moved earlier by its
     * duration; a middle deletion gives the following row a channel that
     * differs from both of its new neighbours. */
    bool DeleteItemAt(size_t at);
    void ClearItems() { items_.clear(); }

    /* Row 0 from fields with 'today' as its date, later rows re-chained,
     * channels from the plan.  False (nothing changed, plan emptied) when the
     * schedule has more than three device items, or for bad fields or an
     * empty schedule. */
    bool RescheduleFromNow(const Fields &fields, const std::string &today, ChannelPlan &plan);
    bool RescheduleFromNowKeepDevices(const Fields &fields, const std::string &today, ChannelPlan &plan);
    /* Row 'row' takes the date and start of fields; later rows re-chained
     * (numbers, channels and states unchanged). */
    bool RetimeFromRow(const Fields &fields, size_t row);

    /* The main window's channel rules: item k gets channel (k mod 5) + 1;
     * every item from 'at' on moves to the next channel (5 wraps to 1). */
    void ChannelsByPosition();
    void AdvanceChannelsFrom(size_t at);

    /* The .dsf line fields of an item (state word by kind). */
    static Fields FieldsOf(const ScheduleItem &item);
    /* The twelve cell texts of a row, as the list shows them. */
    static std::vector<std::string> RowCells(const ScheduleItem &item);
    std::vector<std::vector<std::string>> RowSnapshot() const;

    /* The .dsf file.  Save: true when written.  Load: 1 when the whole file
     * was read, 0 when refused or stopped at a bad line (the rows before a
     * bad line stay; the message names the line). */
    bool SaveScheduleFile(const std::string &path);
    int LoadScheduleFile(const std::string &path);
    /* Called while a file is read: (0, lines) first, then after each line
     * kept, and (lines, lines) at the end whatever happened. */
    std::function<void(size_t done, size_t total)> readProgress;
    const std::string &SchedulePath() const { return schedulePath_; }
    /* Lines counted by the last load (the list narrows its "Ch" column from
     * 13 lines on). */
    int LoadedLineCount() const { return loadedLines_; }

private:
    ScheduleItem ItemFromFields(const Fields &fields) const;
    void RetimeAfter(size_t row, int t, std::string runningDate, bool renumber);
    bool Reschedule(const Fields &fields, const std::string &today, ChannelPlan &plan, bool keepDevicesOnly);

    OperatorPrompt &prompt_;
    std::vector<ScheduleItem> items_;
    std::string schedulePath_;
    int loadedLines_ = 0;
};

/* "yyyy/mm/dd" from either date form. */
std::string NormalizeDate(const std::string &date);
/* A valid calendar date in either form. */
bool IsValidDate(const std::string &date);
/* A text free of the characters the schedule files cannot carry. */
bool IsPlainField(const std::string &text);

#endif
