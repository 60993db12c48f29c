#include "source_schedule.h"

#include <cstdio>
#include <cstdlib>

#include "clock/schedule_clock.h"
#include "common/prompt.h"
#include "common/numbered_rows.h"
#include "common/text_file.h"
#include "common/texts.h"

using C = ScheduleClock;

std::string NormalizeDate(const std::string &date)
{
    int y, m, d;
    C::SplitDate(date, y, m, d);
    return C::FormatDate(y, m, d);
}

bool IsValidDate(const std::string &date)
{
    if (date.empty() || date.find_first_not_of(" /0123456789") != std::string::npos)
        return false;
    int y, m, d;
    C::SplitDate(date, y, m, d);
    return y > 0 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= C::DaysInMonth(y, m);
}

bool IsPlainField(const std::string &text)
{
    return text.find_first_of(",\r\n") == std::string::npos;
}

namespace {

bool all_digits(const std::string &s, size_t maxLen)
{
    return !s.empty() && s.size() <= maxLen && s.find_first_not_of("0123456789") == std::string::npos;
}

bool is_number(const std::string &s, double &v)
{
    if (s.empty() || s.find_first_not_of("0123456789.") != std::string::npos)
        return false;
    char *end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end && *end == '\0';
}

std::string format_time_seconds(float t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%1.1f", t);
    return buf;
}

} // namespace

/* ---- channel plan ---- */

void ChannelPlan::Empty()
{
    built = false;
    deviceCount = 0;
    deviceCursor = freeCursor = 0;
    for (int i = 0; i < 5; ++i)
        device[i] = free[i] = 0;
}

bool ChannelPlan::Plan(int devices)
{
    Empty();
    if (devices < 0 || devices > kMaxDeviceChannels)
        return false;
    deviceCount = devices;
    for (int i = 0; i < devices; ++i)
        device[i] = i + 1;
    for (int i = 0; i < 5 - devices; ++i)
        free[i] = devices + i + 1;
    return true;
}

int ChannelPlan::NextPlannedChannel(int kind, int /*number*/)
{
    if (kind == kKindDevice) {
        if (deviceCount <= 0)
            return 0;
        if (deviceCursor < 0 || deviceCursor >= deviceCount)
            deviceCursor = 0;
        int ch = device[deviceCursor];
        deviceCursor = (deviceCursor + 1) % deviceCount;
        return ch;
    }
    int frees = 5 - deviceCount;
    if (frees <= 0)
        return 0;
    if (freeCursor < 0 || freeCursor >= frees)
        freeCursor = 0;
    int ch = free[freeCursor];
    freeCursor = (freeCursor + 1) % frees;
    return ch;
}

ChannelPlan &TheChannelPlan()
{
    static ChannelPlan plan;
    return plan;
}

/* ---- items ---- */

SourceSchedule::SourceSchedule(OperatorPrompt &prompt) : prompt_(prompt) {}

bool SourceSchedule::CheckFields(const Fields &f, std::string *why)
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
    if (!all_digits(f[1], 9))
        return fail("number");
    int s;
    if (!C::ParseTimeText(f[2], s))
        return fail("start time");
    if (!C::ParseTimeText(f[3], s))
        return fail("duration");
    if (!C::ParseTimeText(f[4], s))
        return fail("position");
    double tt;
    if (!is_number(f[10], tt) || tt > 4095.0)
        return fail("transition time");
    if (!all_digits(f[11], 1) || f[11][0] < '1' || f[11][0] > '5')
        return fail("channel");
    if (!all_digits(f[12], 1) || f[12][0] > '2')
        return fail("kind");
    return true;
}

ScheduleItem SourceSchedule::ItemFromFields(const Fields &f) const
{
    ScheduleItem it;
    it.number = std::atoi(f[1].c_str());
    it.date = NormalizeDate(f[0]);
    it.start = C::TextToSeconds(f[2]);
    it.duration = C::TextToSeconds(f[3]);
    it.position = C::TextToSeconds(f[4]);
    it.state = FindScheduleWord(f[5], WordTable::SourceStates);
    it.subject = f[6];
    it.video = f[7];
    it.audio = f[8];
    it.transitionName = f[9];
    it.transition = FindScheduleWord(f[9], WordTable::Transitions);
    /* The time is kept as its one-decimal text reads. */
    it.transitionTime = static_cast<float>(std::atof(format_time_seconds(static_cast<float>(std::atof(f[10].c_str()))).c_str()));
    it.channel = std::atoi(f[11].c_str());
    it.kind = std::atoi(f[12].c_str());
    if (it.kind == kKindFile && !textfile::IsNetworkAddress(it.video))
        it.missing = !textfile::PathExists(it.video);
    return it;
}

bool SourceSchedule::AddItemFromFields(const Fields &fields)
{
    if (!CheckFields(fields))
        return false;
    items_.push_back(ItemFromFields(fields));
    return true;
}

void SourceSchedule::RetimeAfter(size_t row, int t, std::string running, bool renumber)
{
    running = NormalizeDate(running);
    for (size_t i = row + 1; i < items_.size(); ++i) {
        ScheduleItem &it = items_[i];
        if (renumber)
            it.number = static_cast<int>(i) + 1;
        it.start = t;
        if (it.start > 86399) {
            running = NormalizeDate(C::NextDay(running));
            it.start -= 86400;
        }
        it.date = running;
        t = it.start + it.duration;
    }
}

bool SourceSchedule::InsertItemAt(size_t at, const Fields &fields)
{
    if (at > items_.size() || !CheckFields(fields))
        return false;
    ScheduleItem it = ItemFromFields(fields);
    items_.insert(items_.begin() + at, it);
    RetimeAfter(at, it.start + it.duration, it.date, true);
    return true;
}

bool SourceSchedule::ModifyItemAt(size_t at, const Fields &fields)
{
    if (at >= items_.size() || !CheckFields(fields))
        return false;
    ScheduleItem it = ItemFromFields(fields);
    it.state = it.kind; /* the initial state of its kind */
    items_[at] = it;
    RetimeAfter(at, it.start + it.duration, it.date, false);
    return true;
}

bool SourceSchedule::DeleteItemAt(size_t s)
{
    size_t n = items_.size();
    if (s >= n)
        return false;
    if (s + 1 < n) {
        if (s > 0) {
            int before = items_[s - 1].channel;
            int twoAfter = s + 2 < n ? items_[s + 2].channel : 0;
            items_[s + 1].channel = C::OtherChannel(before, twoAfter);
        }
        int gone = items_[s].duration;
        for (size_t i = s + 1; i < n; ++i) {
            ScheduleItem &it = items_[i];
            it.number -= 1;
            it.start -= gone;
            while (it.start < 0) {
                it.date = NormalizeDate(C::PreviousDay(it.date));
                it.start += 86400;
            }
        }
    }
    items_.erase(items_.begin() + s);
    return true;
}

bool SourceSchedule::Reschedule(const Fields &fields, const std::string &today, ChannelPlan &plan,
                                bool keepDevicesOnly)
{
    if (items_.empty() || !CheckFields(fields))
        return false;
    const bool built = plan.built;
    if (!built) {
        int d = 0;
        for (const auto &it : items_)
            d += it.kind == kKindDevice;
        /* Counted first: a schedule needing more device channels than the
         * mixer can give is refused before the plan is filled. */
        if (!plan.Plan(d))
            return false;
    }
    const size_t n = items_.size();
    auto channel_for = [&](const ScheduleItem &it) {
        if (!built)
            return plan.NextPlannedChannel(it.kind, it.number);
        bool keep = it.kind == kKindDevice || (!keepDevicesOnly && n <= 5);
        return keep ? it.channel : plan.NextPlannedChannel(it.kind, it.number);
    };

    ScheduleItem first = ItemFromFields(fields);
    first.date = NormalizeDate(today);
    first.channel = items_[0].channel;
    first.channel = channel_for(first);
    items_[0] = first;
    std::string running = first.date;
    int t = first.start + first.duration;
    for (size_t i = 1; i < n; ++i) {
        ScheduleItem &it = items_[i];
        it.channel = channel_for(it);
        it.start = t;
        if (it.start > 86399) {
            running = NormalizeDate(C::NextDay(running));
            it.start -= 86400;
        }
        it.date = running;
        it.state = it.kind;
        t = it.start + it.duration;
    }
    return true;
}

bool SourceSchedule::RescheduleFromNow(const Fields &fields, const std::string &today, ChannelPlan &plan)
{
    return Reschedule(fields, today, plan, false);
}

bool SourceSchedule::RescheduleFromNowKeepDevices(const Fields &fields, const std::string &today,
                                                   ChannelPlan &plan)
{
    return Reschedule(fields, today, plan, true);
}

bool SourceSchedule::RetimeFromRow(const Fields &fields, size_t row)
{
    if (row >= items_.size() || !CheckFields(fields))
        return false;
    ScheduleItem &it = items_[row];
    it.date = NormalizeDate(fields[0]);
    it.start = C::TextToSeconds(fields[2]);
    RetimeAfter(row, it.start + it.duration, it.date, false);
    return true;
}

void SourceSchedule::ChannelsByPosition()
{
    for (size_t k = 0; k < items_.size(); ++k)
        items_[k].channel = static_cast<int>(k % 5) + 1;
}

void SourceSchedule::AdvanceChannelsFrom(size_t at)
{
    for (size_t k = at; k < items_.size(); ++k)
        items_[k].channel = items_[k].channel >= 5 ? 1 : items_[k].channel + 1;
}

/* ---- texts ---- */

Fields SourceSchedule::FieldsOf(const ScheduleItem &it)
{
    char num[16], ch[16], kind[16];
    std::snprintf(num, sizeof num, "%04d", it.number);
    std::snprintf(ch, sizeof ch, "%d", it.channel);
    std::snprintf(kind, sizeof kind, "%d", it.kind);
    const char *word = it.kind >= 0 && it.kind <= 2 ? kSourceStateWords[it.kind] : kSourceStateWords[0];
    return {it.date, num, C::SecondsToText(it.start), C::SecondsToText(it.duration),
            C::SecondsToText(it.position), word, it.subject, it.video, it.audio, it.transitionName,
            format_time_seconds(it.transitionTime), ch, kind};
}

std::vector<std::string> SourceSchedule::RowCells(const ScheduleItem &it)
{
    Fields f = FieldsOf(it);
    f.pop_back(); /* the kind is not shown */
    f[5] = it.state >= 0 && it.state < kSourceStateCount ? kSourceStateWords[it.state] : "";
    return f;
}

std::vector<std::vector<std::string>> SourceSchedule::RowSnapshot() const
{
    std::vector<std::vector<std::string>> rows;
    rows.reserve(items_.size());
    for (const auto &it : items_)
        rows.push_back(RowCells(it));
    return rows;
}

/* ---- the .dsf file ---- */

bool SourceSchedule::SaveScheduleFile(const std::string &path)
{
    if (!textfile::HasExtension(path, "DSF")) {
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
        /* Only what loads again is written: a field set that fails the
         * entry checks would make the whole file unreadable. */
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

int SourceSchedule::LoadScheduleFile(const std::string &path)
{
    schedulePath_ = path;
    loadedLines_ = 0;
    if (!textfile::HasExtension(path, "DSF")) {
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
        lines, "AS %04d : %s", prompt_, [](const Fields &f) { return CheckFields(f); },
        [&](const Fields &f) {
            items_.push_back(ItemFromFields(f));
            if (readProgress)
                readProgress(++done, total);
        });
    if (readProgress && done != total)
        readProgress(total, total);
    return whole;
}
