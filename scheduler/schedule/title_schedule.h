/*
 * The title schedule: dated title files that the on-air run hands to the
 * mixer at their start times and takes off after their durations, its edit
 * rules (renumbering, the optional shift of later titles) and the ".tsf"
 * file.
 *
 * Fields are the seven texts of one .tsf line:
 *   0 date   1 number "%04d"   2 start   3 duration (hh:mm:ss)
 *   4 state word   5 subject   6 title file path
 * No field may hold a comma, CR or LF.  UI thread only; display refreshes
 * elsewhere use RowSnapshot().
 */
#ifndef SCHEDULER_TITLE_SCHEDULE_H
#define SCHEDULER_TITLE_SCHEDULE_H

#include <functional>
#include <string>
#include <vector>

#include "schedule_words.h"
#include "source_schedule.h"

struct TitleItem {
    int number = 0;
    std::string date;
    int start = 0;
    int duration = 0;
    int state = kTitleInCg; /* TitleState, -1 for an unknown word */
    std::string subject, source;
    bool missing = false;   /* the title file was not found when it was added */
};

class TitleSchedule {
public:
    static constexpr int kFieldCount = 7;

    explicit TitleSchedule(OperatorPrompt &prompt);

    size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const TitleItem &Item(size_t i) const { return items_.at(i); }
    void SetItemState(size_t i, int state) { items_.at(i).state = state; }
    /* Sets the state of the item numbered 'number'; false when none is. */
    bool SetStateOfNumber(int number, int state);

    /* The shift switch: when on, the next insertion, modification or
     * rescheduling moves the later titles to follow; cleared by each. */
    void SetShift(bool on) { shift_ = on; }
    bool Shift() const { return shift_; }

    static bool CheckFields(const Fields &fields, std::string *why = nullptr);

    bool AddItemFromFields(const Fields &fields);
    bool InsertItemAt(size_t at, const Fields &fields);
    /* Later rows go back to "IN CG". */
    bool ModifyItemAt(size_t at, const Fields &fields);
    /* Later rows are renumbered; start times stay. */
    bool DeleteItemAt(size_t at);
    void ClearItems() { items_.clear(); }
    /* Row 0 at 'today' with the start of fields, every state back to
     * "IN CG"; with the shift switch on the later rows follow row 0. */
    bool RescheduleFromNow(const Fields &fields, const std::string &today);
    /* Every row from 'from' on starts where the row before it ends (row 0
     * at 00:00:00 of its date); a start past midnight moves to the next day. */
    void ChainFrom(size_t from);

    static Fields FieldsOf(const TitleItem &item);
    static std::vector<std::string> RowCells(const TitleItem &item) { return FieldsOf(item); }
    std::vector<std::vector<std::string>> RowSnapshot() const;

    /* The .tsf file.  Paths ending in ".tsf" are read and written, and so are
     * companion ".csf" files (same content).  Load: 1 when the whole file
     * was read, 0 when refused or stopped at a bad line (earlier rows stay). */
    bool SaveScheduleFile(const std::string &path);
    int LoadScheduleFile(const std::string &path);
    /* Called while a file is read: (0, lines) first, then after each line
     * kept, and (lines, lines) at the end whatever happened. */
    std::function<void(size_t done, size_t total)> readProgress;
    int LoadedLineCount() const { return loadedLines_; }

private:
    TitleItem ItemFromFields(const Fields &fields) const;
    void ShiftAfter(size_t at);

    OperatorPrompt &prompt_;
    std::vector<TitleItem> items_;
    bool shift_ = false;
    int loadedLines_ = 0;
};

#endif
