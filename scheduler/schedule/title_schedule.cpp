#include "title_schedule.h"

#include <cstdio>
#include <cstdlib>

#include "clock/schedule_clock.h"
#include "common/prompt.h"
#include "common/numbered_rows.h"
#include "common/text_file.h"
#include "common/texts.h"

using C = ScheduleClock;

TitleSchedule::TitleSchedule(OperatorPrompt &prompt) : prompt_(prompt) {}

bool TitleSchedule::CheckFields(const Fields &f, std::string *why)
{
    auto fail = [&](const char *what) {
        if (why)
            *why = what;
        return false;
    };
    if (f.size() != kFieldCount)
        return fail("field count");
    for (const auto &t : f)
        if (!IsPlainField(t))
            return fail("a comma or line break in a field");
    if (!IsValidDate(f[0]))
        return fail("date");
    if (f[1].empty() || f[1].size() > 9 || f[1].find_first_not_of("0123456789") != std::string::npos)
        return fail("number");
    int s;
    if (!C::ParseTimeText(f[2], s))
        return fail("start time");
    if (!C::ParseTimeText(f[3], s))
        return fail("duration");
    return true;
}

TitleItem TitleSchedule::ItemFromFields(const Fields &f) const
{
    TitleItem it;
    it.number = std::atoi(f[1].c_str());
    it.date = NormalizeDate(f[0]);
    it.start = C::TextToSeconds(f[2]);
    it.duration = C::TextToSeconds(f[3]);
    it.state = FindScheduleWord(f[4], WordTable::TitleStates);
    it.subject = f[5];
    it.source = f[6];
    if (!textfile::IsNetworkAddress(it.source))
        it.missing = !textfile::PathExists(it.source);
    return it;
}

bool TitleSchedule::SetStateOfNumber(int number, int state)
{
    for (auto &it : items_)
        if (it.number == number) {
            it.state = state;
            return true;
        }
    return false;
}

bool TitleSchedule::AddItemFromFields(const Fields &fields)
{
    if (!CheckFields(fields))
        return false;
    items_.push_back(ItemFromFields(fields));
    return true;
}

void TitleSchedule::ShiftAfter(size_t at)
{
    if (at + 1 >= items_.size())
        return;
    /* The first later title starts where the reference ends; the others keep
     * their distances to it.  Times are counted from the reference's date,
     * so a title that lands after midnight (one or more) takes the right
     * day, also when the reference itself ends after midnight. */
    const TitleItem ref = items_[at];
    const TitleItem first = items_[at + 1];
    const long long target = static_cast<long long>(ref.start) + ref.duration;
    for (size_t i = at + 1; i < items_.size(); ++i) {
        TitleItem &it = items_[i];
        long long gap = static_cast<long long>(C::DaysBetween(it.date, first.date)) * 86400 + it.start - first.start;
        long long moved = target + gap;
        long long days = moved >= 0 ? moved / 86400 : -((-moved + 86399) / 86400);
        it.start = static_cast<int>(moved - days * 86400);
        it.date = NormalizeDate(C::AddDays(ref.date, static_cast<int>(days)));
    }
}

bool TitleSchedule::InsertItemAt(size_t at, const Fields &fields)
{
    if (at > items_.size() || !CheckFields(fields))
        return false;
    items_.insert(items_.begin() + at, ItemFromFields(fields));
    for (size_t i = at + 1; i < items_.size(); ++i)
        items_[i].number = static_cast<int>(i) + 1;
    if (shift_)
        ShiftAfter(at);
    shift_ = false;
    return true;
}

bool TitleSchedule::ModifyItemAt(size_t at, const Fields &fields)
{
    if (at >= items_.size() || !CheckFields(fields))
        return false;
    items_[at] = ItemFromFields(fields);
    for (size_t i = at + 1; i < items_.size(); ++i)
        items_[i].state = kTitleInCg;
    if (shift_)
        ShiftAfter(at);
    shift_ = false;
    return true;
}

bool TitleSchedule::DeleteItemAt(size_t at)
{
    if (at >= items_.size())
        return false;
    for (size_t i = at + 1; i < items_.size(); ++i)
        items_[i].number -= 1;
    items_.erase(items_.begin() + at);
    return true;
}

bool TitleSchedule::RescheduleFromNow(const Fields &fields, const std::string &today)
{
    if (items_.empty() || !CheckFields(fields))
        return false;
    TitleItem &first = items_[0];
    first.date = NormalizeDate(today);
    first.start = C::TextToSeconds(fields[2]);
    for (auto &it : items_)
        it.state = kTitleInCg;
    if (shift_)
        ShiftAfter(0);
    shift_ = false;
    return true;
}

void TitleSchedule::ChainFrom(size_t from)
{
    for (size_t i = from; i < items_.size(); ++i) {
        TitleItem &it = items_[i];
        if (i == 0) {
            it.start = 0;
            continue;
        }
        const TitleItem &before = items_[i - 1];
        int s = before.start + before.duration;
        it.date = before.date;
        if (s > 86399) {
            s -= 86400;
            it.date = NormalizeDate(C::NextDay(before.date));
        }
        it.start = s;
    }
}

Fields TitleSchedule::FieldsOf(const TitleItem &it)
{
    char num[16];
    std::snprintf(num, sizeof num, "%04d", it.number);
    const char *word = it.state >= 0 && it.state < kTitleStateCount ? kTitleStateWords[it.state] : "";
    return {it.date, num, C::SecondsToText(it.start), C::SecondsToText(it.duration), word, it.subject, it.source};
}

std::vector<std::vector<std::string>> TitleSchedule::RowSnapshot() const
{
    std::vector<std::vector<std::string>> rows;
    rows.reserve(items_.size());
    for (const auto &it : items_)
        rows.push_back(RowCells(it));
    return rows;
}

static bool title_path(const std::string &path)
{
    return textfile::HasExtension(path, "TSF") || textfile::HasExtension(path, "CSF");
}

bool TitleSchedule::SaveScheduleFile(const std::string &path)
{
    if (!title_path(path)) {
        prompt_.Warn(texts::kFileOutOfForm);
        return false;
    }
    if (items_.empty()) {
        prompt_.Warn(texts::kFileNotSaved);
        return false;
    }
    std::string out;
    for (const auto &it : items_) {
        Fields f = FieldsOf(it);
        /* A state that has no word is saved as waiting. */
        if (f[4].empty())
            f[4] = kTitleStateWords[kTitleInCg];
        if (!CheckFields(f)) {
            prompt_.Warn(texts::kFileNotSaved);
            return false;
        }
        for (size_t i = 0; i < f.size(); ++i) {
            out += f[i];
            out += i + 1 < f.size() ? "," : "\r\n";
        }
    }
    if (!textfile::ReplaceWith(path, out)) {
        prompt_.Warn(texts::kFileNotSaved);
        return false;
    }
    return true;
}

int TitleSchedule::LoadScheduleFile(const std::string &path)
{
    loadedLines_ = 0;
    if (!title_path(path)) {
        prompt_.Warn(texts::kFileOutOfForm);
        return 0;
    }
    std::string bytes;
    if (textfile::ReadAll(path, bytes) != textfile::ReadResult::Ok) {
        prompt_.Warn(texts::kFileOutOfForm);
        return 0;
    }
    items_.clear();
    std::vector<std::string> lines = textfile::SplitLines(bytes);
    loadedLines_ = static_cast<int>(lines.size());
    const size_t total = lines.size();
    size_t done = 0;
    if (readProgress)
        readProgress(0, total);
    const int whole = textfile::ReadNumberedRows(
        lines, "Error is occurred in line %04d : %s", prompt_, [](const Fields &f) { return CheckFields(f); },
        [&](const Fields &f) {
            items_.push_back(ItemFromFields(f));
            if (readProgress)
                readProgress(++done, total);
        });
    if (readProgress && done != total)
        readProgress(total, total);
    return whole;
}
