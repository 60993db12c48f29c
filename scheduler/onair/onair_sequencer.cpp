#include "onair_sequencer.h"

#include <cstdio>
#include <vector>

#include "clock/schedule_clock.h"
#include "common/prompt.h"
#include "common/texts.h"
#include "runlog/run_log.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"

using namespace onair;
using remote::Code;
using C = ScheduleClock;

namespace {
constexpr char kEpoch[] = "2000/01/01";
constexpr int kAheadSeconds = 7;  /* a run starts with an item more than this ahead */
constexpr int kRetimeSeconds = 8; /* re-timed first items start this far ahead */
constexpr int kLoadLead = 5, kStandByLead = 6, kLoopLead = 8, kPreloadLead = 3;
constexpr int kScrollPixels = 20, kRowPixels = 21;

std::string Format04(int v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", v);
    return buf;
}

int WholeSeconds(float t)
{
    return t > 0.0f ? static_cast<int>(t) : 0;
}
} // namespace

std::string SystemSequencerClock::Today() const
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return C::FormatDate(st.wYear, st.wMonth, st.wDay);
}

int SystemSequencerClock::Now() const
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return C::ToSeconds(st.wHour, st.wMinute, st.wSecond);
}

OnAirSequencer::OnAirSequencer(SourceSchedule &sources, TitleSchedule &titles, MixerLink &link, RunLog &log,
                               OperatorPrompt &prompt, ChannelPlan &plan, const SequencerClock &clock,
                               SequencerView view)
    : sources_(sources), titles_(titles), link_(link), log_(log), prompt_(prompt), plan_(plan), clock_(clock),
      view_(std::move(view))
{
}

long long OnAirSequencer::Moment(const std::string &date, int seconds)
{
    return static_cast<long long>(C::DaysBetween(date, kEpoch)) * 86400 + seconds;
}

long long OnAirSequencer::NowMoment() const
{
    return Moment(clock_.Today(), clock_.Now());
}

/* ---- view helpers ---- */

void OnAirSequencer::Show(int control, const std::string &text, bool blink)
{
    if (view_.showText)
        view_.showText(control, text, blink);
}
void OnAirSequencer::Button(int id, int image, int enable)
{
    if (view_.showButton)
        view_.showButton(id, image, enable);
}
void OnAirSequencer::SetTimer(int id, unsigned ms)
{
    if (view_.setTimer)
        view_.setTimer(id, ms);
}
void OnAirSequencer::KillTimer(int id)
{
    if (view_.killTimer)
        view_.killTimer(id);
}
void OnAirSequencer::EnableLists(bool on)
{
    if (view_.enableList) {
        view_.enableList(true, on);
        view_.enableList(false, on);
    }
}
void OnAirSequencer::Scroll(bool sources, int pixels)
{
    if (view_.scrollList && pixels)
        view_.scrollList(sources, pixels);
}
void OnAirSequencer::Repaint(bool sources)
{
    if (view_.repaintList)
        view_.repaintList(sources);
}
void OnAirSequencer::SetSourceState(size_t index, int state)
{
    if (index < sources_.Count()) {
        sources_.SetItemState(index, state);
        Repaint(true);
    }
}
void OnAirSequencer::SetTitleState(size_t index, int state)
{
    if (index < titles_.Count()) {
        titles_.SetItemState(index, state);
        Repaint(false);
    }
}

void OnAirSequencer::LookUpMixer()
{
    if (view_.findMixer)
        link_.SetMixerWindow(view_.findMixer());
}

void OnAirSequencer::FireLate(const char *what, int number, long long moment, long long now)
{
    /* A tick runs every second; one more than a second after its moment
     * means ticks were missed. */
    if (now - moment > 1) {
        char buf[120];
        std::snprintf(buf, sizeof buf, "%s %04d : late by %lld s", what, number, now - moment);
        log_.Add(buf, "LATE");
    }
}

/* ---- re-timing ---- */

bool OnAirSequencer::RefreshFirstSourceRow()
{
    if (sources_.Empty())
        return false;
    const ScheduleItem &first = sources_.Item(0);
    return sources_.RescheduleFromNowKeepDevices(SourceSchedule::FieldsOf(first), first.date, plan_);
}

bool OnAirSequencer::CheckDeviceChannels()
{
    if (RefreshFirstSourceRow())
        return true;
    int d = 0;
    for (size_t i = 0; i < sources_.Count(); ++i)
        d += sources_.Item(i).kind == kKindDevice;
    if (d > ChannelPlan::kMaxDeviceChannels) {
        plan_.Empty();
        prompt_.Warn(texts::kDeviceChannelOverflow);
        return false;
    }
    return true;
}

void OnAirSequencer::RetimeFirstSource()
{
    if (sources_.Empty())
        return;
    Fields f = SourceSchedule::FieldsOf(sources_.Item(0));
    const std::string today = clock_.Today();
    f[0] = today;
    f[2] = C::SecondsToText(C::AddSeconds(clock_.Now(), kRetimeSeconds));
    /* Past midnight the first item belongs to tomorrow. */
    const bool tomorrow = clock_.Now() + kRetimeSeconds >= 86400;
    const std::string day = tomorrow ? NormalizeDate(C::NextDay(today)) : today;
    f[0] = day;
    sources_.RescheduleFromNow(f, day, plan_);
    Repaint(true);
}

void OnAirSequencer::RetimeFirstTitle()
{
    if (titles_.Empty())
        return;
    Fields f = TitleSchedule::FieldsOf(titles_.Item(0));
    const std::string today = clock_.Today();
    const bool tomorrow = clock_.Now() + kRetimeSeconds >= 86400;
    const std::string day = tomorrow ? NormalizeDate(C::NextDay(today)) : today;
    f[0] = day;
    f[2] = C::SecondsToText(C::AddSeconds(clock_.Now(), kRetimeSeconds));
    titles_.SetShift(true);
    titles_.RescheduleFromNow(f, day);
    Repaint(false);
}

void OnAirSequencer::RetimeSelectedSource()
{
    const int p = link_.CurrentSourceItem();
    if (p < 0) {
        prompt_.Warn(texts::kCannotModify);
        return;
    }
    const size_t row = static_cast<size_t>(p); /* the item after P */
    if (row >= sources_.Count())
        return;
    Fields f = SourceSchedule::FieldsOf(sources_.Item(row));
    const long long start = NowMoment() + srcCount_.remaining;
    const long long day = start >= 0 ? start / 86400 : (start - 86399) / 86400;
    f[0] = NormalizeDate(C::AddDays(kEpoch, static_cast<int>(day)));
    f[2] = C::SecondsToText(static_cast<int>(start - day * 86400));
    sources_.RetimeFromRow(f, row);
    Repaint(true);
}

/* List index of the first item starting more than 7 seconds from now, or
 * -1. */
int OnAirSequencer::FirstAhead(bool titles) const
{
    const long long now = NowMoment();
    const size_t n = titles ? titles_.Count() : sources_.Count();
    for (size_t i = 0; i < n; ++i) {
        const long long m = titles ? Moment(titles_.Item(i).date, titles_.Item(i).start)
                                   : Moment(sources_.Item(i).date, sources_.Item(i).start);
        if (m - now > kAheadSeconds)
            return static_cast<int>(i);
    }
    return -1;
}

void OnAirSequencer::MarkAllDone(bool titles)
{
    if (titles) {
        for (size_t i = 0; i < titles_.Count(); ++i)
            titles_.SetItemState(i, kTitleDone);
    } else {
        for (size_t i = 0; i < sources_.Count(); ++i)
            sources_.SetItemState(i, kStateDone);
    }
    Repaint(!titles);
}

/* ---- start and stop ---- */

void OnAirSequencer::OnSourceLoadAnswer(int item, bool loaded)
{
    if (item < 1 || static_cast<size_t>(item) >= loadAnswers_.size())
        return;
    loadAnswers_[static_cast<size_t>(item)] = loaded ? 1 : 2;
}

bool OnAirSequencer::LoadedForAir(int number)
{
    if (!ackLoads_)
        return true;
    const int answer =
        number >= 1 && static_cast<size_t>(number) < loadAnswers_.size() ? loadAnswers_[static_cast<size_t>(number)] : 0;
    if (answer == 1)
        return true;
    char buf[120];
    std::snprintf(buf, sizeof buf, "AS %04d : %s, skipped", number,
                  answer == 2 ? "Corvane could not load it" : "no answer to the load");
    log_.Add(buf, "FAIL");
    return false;
}

void OnAirSequencer::LoadSource(size_t index, bool seek)
{
    const ScheduleItem &it = sources_.Item(index);
    if (ackLoads_) {
        if (loadAnswers_.size() < sources_.Count() + 1)
            loadAnswers_.resize(sources_.Count() + 1, 0);
        if (it.number >= 1 && static_cast<size_t>(it.number) < loadAnswers_.size())
            loadAnswers_[static_cast<size_t>(it.number)] = 0;
    }
    if (!link_.SendSource(it.channel, it.video, it.audio, it.number, it.kind == kKindDevice))
        return;
    SetSourceState(index, kStateReady);
    if (seek)
        link_.SeekChannel(it.channel, it.position);
}

void OnAirSequencer::BeginRun(size_t k)
{
    EnableLists(false);
    Button(kStandByButton, 0, 1);
    onAir_ = true;
    current_ = sources_.Item(k).number;
    lastStarted_ = 0;
    flags_ = ItemFlags();
    floor_ = NowMoment();
    recording_ = false;
    link_.Plain(remote::RC_ONAIR_START);
    LoadSource(k, true);
}

void OnAirSequencer::ToggleOnAir()
{
    if (sources_.Empty())
        return;
    LookUpMixer();
    if (!CheckDeviceChannels())
        return;
    if (sourceStandBy_)
        return;
    if (!link_.MixerWindow()) {
        prompt_.Warn(texts::kMixerNotOperated);
        return;
    }
    if (onAir_) {
        StopRun();
        return;
    }
    if (FirstAhead(false) != 0) {
        MarkAllDone(false);
        Scroll(true, static_cast<int>(sources_.Count()) * kRowPixels);
        prompt_.Warn(texts::kOutOfDate);
        return;
    }
    Button(kOnAirNowButton, 1, 0);
    Button(kOnAirButton, 2, 1);
    BeginRun(0);
    if (!titles_.Empty())
        StartTitleSchedule();
    SetTimer(kCountdownTimer, 100);
    SetTimer(kSourceTimer, 1000);
}

void OnAirSequencer::OnAirNowButton()
{
    LookUpMixer();
    link_.Plain(remote::RC_TAKE_CONTROL);
    if (sources_.Empty())
        return;
    for (size_t i = 0; i < sources_.Count(); ++i)
        if (sources_.Item(i).video == "ERROR") {
            prompt_.Warn(texts::kFilePathError);
            return;
        }
    if (!onAir_) {
        if (!titles_.Empty())
            RetimeFirstTitle();
        RetimeFirstSource();
        if (!CheckDeviceChannels())
            return;
        if (!titles_.Empty() && enabled_ && !sourceStandBy_ && link_.MixerWindow())
            StartTitleSchedule();
    }
    StartOnAirNow();
}

void OnAirSequencer::StartOnAirNow()
{
    if (sources_.Empty() || !enabled_ || sourceStandBy_)
        return;
    LookUpMixer();
    if (!link_.MixerWindow()) {
        prompt_.Warn(texts::kMixerNotOperated);
        return;
    }
    if (onAir_) {
        StopRun();
        return;
    }
    Button(kOnAirButton, 0, 0);
    const int k = FirstAhead(false);
    if (k < 0) {
        MarkAllDone(false);
        Scroll(true, static_cast<int>(sources_.Count()) * kRowPixels);
        prompt_.Warn(texts::kOutOfDate);
        return;
    }
    Button(kOnAirNowButton, 2, -1);
    for (int i = 0; i < k; ++i)
        sources_.SetItemState(static_cast<size_t>(i), kStateDone);
    Scroll(true, k * kRowPixels);
    BeginRun(static_cast<size_t>(k));
    SetTimer(kCountdownTimer, 100);
    SetTimer(kSourceTimer, 1000);
}

void OnAirSequencer::StopRun()
{
    if (!prompt_.AskYesNo(texts::kStopOnAir))
        return;
    if (view_.restoreColumn)
        view_.restoreColumn(true);
    KillTimer(kCountdownTimer);
    KillTimer(kSourceTimer);
    const bool wasRecording = recording_;
    ResetSourceRun();
    if (!titles_.Empty()) {
        if (view_.restoreColumn)
            view_.restoreColumn(false);
        KillTimer(kTitleTimer);
        ResetTitleRun();
    }
    /* Only a recording this run started is stopped: the mixer's request
     * toggles nothing else. */
    if (wasRecording)
        link_.Plain(remote::RC_ENCODE_STOP);
    link_.Plain(remote::RC_MIXER_OFF);
    plan_.Empty();
    enabled_ = true;
    EnableLists(true);
}

void OnAirSequencer::ResetSourceRun()
{
    onAir_ = false;
    sourceStandBy_ = false;
    enabled_ = false;
    loopMode_ = false;
    looped_ = false;
    recording_ = false;
    flags_ = ItemFlags();
    srcCount_ = Countdown();
    scrollSources_ = false;
    current_ = 0;
    lastStarted_ = 0;
    Button(kOnAirNowButton, 1, 1);
    Button(kOnAirButton, 1, 1);
    Button(kStandByButton, 1, 1);
    SetTimer(kClockTimer, 1000);
    Show(kCountLabel, "00:00:00");
    Show(kNumberLabel, "0000");
}

void OnAirSequencer::ResetTitleRun()
{
    titleRun_ = false;
    titleStandBy_ = false;
    titleCount_ = Countdown();
    preloaded_ = shown_ = lastTitle_ = false;
    haveShown_ = shownOff_ = false;
    scrollTitles_ = false;
    Button(kTitleStandByButton, 1, 1);
    Show(kTitleCountLabel, "00:00:00");
    Show(kTitleNumberLabel, "0000");
}

void OnAirSequencer::FinishSchedule()
{
    KillTimer(kCountdownTimer);
    KillTimer(kSourceTimer);
    ResetSourceRun();
    if (!titles_.Empty()) {
        if (view_.restoreColumn)
            view_.restoreColumn(false);
        KillTimer(kTitleTimer);
        ResetTitleRun();
    }
    enabled_ = true;
    SetTimer(kClockTimer, 1000);
    EnableLists(true);
    log_.AddLine({RunLog::Today(), log_.NextNumber(), texts::kScheduleTheEnd, "SUCCESS"});
    if (view_.inform)
        view_.inform(texts::kSuccessfullyScheduled);
}

void OnAirSequencer::EnableOnAirButtons()
{
    enabled_ = true;
    Button(kOnAirButton, 0, 1);
    Button(kOnAirNowButton, 0, 1);
}

/* ---- the title run ---- */

void OnAirSequencer::StartTitleSchedule()
{
    LookUpMixer();
    link_.Plain(remote::RC_TITLE_OFF);
    Button(kTitleStandByButton, 0, 0);
    titleRun_ = true;
    preloaded_ = shown_ = lastTitle_ = false;
    haveShown_ = shownOff_ = false;
    titleFloor_ = NowMoment();
    const int k = FirstAhead(true);
    if (k < 0) {
        MarkAllDone(true);
        Scroll(false, (static_cast<int>(titles_.Count()) - 1) * kRowPixels);
        return;
    }
    for (int i = 0; i < k; ++i)
        titles_.SetItemState(static_cast<size_t>(i), kTitleDone);
    Repaint(false);
    Scroll(false, k * kRowPixels);
    titlePointer_ = static_cast<size_t>(k);
    const TitleItem &t = titles_.Item(titlePointer_);
    link_.SendTitle(t.number, t.source);
    SetTimer(kTitleTimer, 1000);
}

void OnAirSequencer::TitleTick()
{
    if (!titleRun_ || titleStandBy_ || titlePointer_ >= titles_.Count())
        return;
    const long long now = NowMoment();
    for (int guard = 0; guard < 3 * static_cast<int>(titles_.Count()) + 6; ++guard) {
        if (!titleRun_)
            break;
        const TitleItem &t = titles_.Item(titlePointer_);
        const long long tStart = Moment(t.date, t.start);
        enum { kOff, kOn, kPreload, kNone } which = kNone;
        long long best = 0;
        auto consider = [&](bool pending, long long m, decltype(which) w) {
            if (!pending || m > now)
                return;
            if (which == kNone || m < best) {
                which = w;
                best = m;
            }
        };
        consider(haveShown_ && !shownOff_, Moment(shownDate_, shownStart_ + shownDuration_), kOff);
        consider(!shown_, tStart, kOn);
        consider(!preloaded_, tStart + t.duration - kPreloadLead, kPreload);
        if (which == kNone)
            break;
        const bool dropped = best < titleFloor_;
        if (!dropped)
            FireLate("CG", which == kOff ? shownNumber_ : t.number, best, now);
        switch (which) {
        case kOff: {
            shownOff_ = true;
            if (dropped)
                break;
            link_.Plain(remote::RC_TITLE_OFF);
            for (size_t i = 0; i < titles_.Count(); ++i)
                if (titles_.Item(i).number == shownNumber_)
                    SetTitleState(i, kTitleDone);
            if (lastTitle_) {
                KillTimer(kTitleTimer);
                scrollTitles_ = true;
                Show(kTitleNumberLabel, "0000");
                titleRun_ = false;
            }
            break;
        }
        case kOn:
            shown_ = true;
            if (dropped)
                break;
            StartCountdown(titleCount_, tStart + t.duration, kTitleCountLabel);
            link_.TitleOn(t.number);
            SetTitleState(titlePointer_, kTitleOnAir);
            break;
        case kPreload:
            preloaded_ = true;
            if (t.number < static_cast<int>(titles_.Count()) && titlePointer_ + 1 < titles_.Count()) {
                const TitleItem &next = titles_.Item(titlePointer_ + 1);
                link_.SendTitle(next.number, next.source);
            }
            haveShown_ = true;
            shownOff_ = false;
            shownNumber_ = t.number;
            shownStart_ = t.start;
            shownDuration_ = t.duration;
            shownDate_ = t.date;
            if (titlePointer_ + 1 < titles_.Count()) {
                shown_ = preloaded_ = lastTitle_ = false;
                ++titlePointer_;
            } else {
                shown_ = preloaded_ = lastTitle_ = true;
            }
            break;
        default:
            break;
        }
    }
}

void OnAirSequencer::ToggleTitleStandBy()
{
    if (!titleRun_)
        return;
    if (!titleStandBy_) {
        titleStandBy_ = true;
        Button(kTitleStandByButton, 2, -1);
        SetTitleStandBy(false);
    } else {
        titleStandBy_ = false;
        Button(kTitleStandByButton, 1, -1);
        SetTitleStandBy(true);
    }
}

void OnAirSequencer::SetTitleStandBy(bool backOnAir)
{
    if (!backOnAir) {
        KillTimer(kTitleTimer);
        Show(kTitleNumberLabel, "HOLD", true);
        titleCount_.on = false;
        return;
    }
    SetTimer(kTitleTimer, 1000);
    titleFloor_ = NowMoment();
    if (titleCount_.remaining > 0)
        StartCountdown(titleCount_, NowMoment() + titleCount_.remaining, kTitleCountLabel);
    /* The title after the showing one starts when the showing one's kept
     * time is over; the rest follow it as before. */
    const int showing = link_.CurrentTitle();
    if (showing < 0) {
        prompt_.Warn(texts::kCannotModify);
    } else if (showing > 0 && static_cast<size_t>(showing) < titles_.Count() && titlePointer_ < titles_.Count() &&
               titles_.Item(titlePointer_).number == showing + 1) {
        const long long start = NowMoment() + titleCount_.remaining;
        const long long shift = start - Moment(titles_.Item(titlePointer_).date, titles_.Item(titlePointer_).start);
        if (haveShown_ && shownNumber_ == showing) {
            const long long end = Moment(shownDate_, shownStart_ + shownDuration_) + shift;
            const long long d = end >= 0 ? end / 86400 : (end - 86399) / 86400;
            shownDate_ = NormalizeDate(C::AddDays(kEpoch, static_cast<int>(d)));
            shownStart_ = static_cast<int>(end - d * 86400) - shownDuration_;
        }
        for (size_t i = titlePointer_; i < titles_.Count(); ++i) {
            const TitleItem &t = titles_.Item(i);
            const long long m = Moment(t.date, t.start) + shift;
            const long long d = m >= 0 ? m / 86400 : (m - 86399) / 86400;
            Fields f = TitleSchedule::FieldsOf(t);
            f[0] = NormalizeDate(C::AddDays(kEpoch, static_cast<int>(d)));
            f[2] = C::SecondsToText(static_cast<int>(m - d * 86400));
            titles_.SetShift(false);
            titles_.ModifyItemAt(i, f);
        }
        Repaint(false);
    }
    if (showing > 0)
        Show(kTitleNumberLabel, Format04(showing), true);
}

/* ---- stand-by of sources ---- */

void OnAirSequencer::ToggleSourceStandBy()
{
    if (!enabled_)
        return;
    LookUpMixer();
    if (!sourceStandBy_) {
        if (!onAir_)
            return;
        flags_.first = flags_.standByOff = flags_.loaded = flags_.switched = flags_.countdown = true;
        flags_.handedOver = flags_.loop = flags_.end = true;
        scrollSources_ = false;
        sourceStandBy_ = true;
        Button(kStandByButton, 2, 1);
        if (view_.enableList)
            view_.enableList(true, true);
        SetSourceStandBy(false);
        if (titleRun_ && !titleStandBy_)
            ToggleTitleStandBy();
    } else {
        flags_ = ItemFlags();
        sourceStandBy_ = false;
        Button(kStandByButton, 1, -1);
        if (view_.enableList)
            view_.enableList(true, false);
        SetSourceStandBy(true);
        if (titleRun_ && titleStandBy_)
            ToggleTitleStandBy();
    }
}

void OnAirSequencer::SetSourceStandBy(bool backOnAir)
{
    const size_t n = sources_.Count();
    const int p = link_.CurrentSourceItem() > 0 ? link_.CurrentSourceItem() : current_;
    if (!backOnAir) {
        if (current_ >= 1 && static_cast<size_t>(current_) <= n)
            link_.PauseChannel(sources_.Item(current_ - 1).channel);
        link_.Plain(remote::RC_HOLD_ON);
        Show(kNumberLabel, "HOLD", true);
        if (srcCount_.on) {
            srcCount_.remaining = static_cast<int>(srcCount_.end - NowMoment());
            if (srcCount_.remaining < 0)
                srcCount_.remaining = 0;
        }
        srcCount_.on = false;
        KillTimer(kCountdownTimer);
        KillTimer(kSourceTimer);
        if (n == 0)
            return;
        const size_t r = p >= 1 && static_cast<size_t>(p) < n ? static_cast<size_t>(p) : 0;
        const ScheduleItem &ri = sources_.Item(r);
        const std::string bar = folder_ + texts::kColorBarFile;
        link_.SendSource(ri.channel, bar, bar, ri.number, false);
        link_.SelectChannel(ri.channel);
        link_.Switch(0, 1.0);
        return;
    }
    StartCountdown(srcCount_, NowMoment() + srcCount_.remaining, kCountLabel);
    floor_ = NowMoment();
    SetTimer(kCountdownTimer, 100);
    SetTimer(kSourceTimer, 1000);
    if (p >= 1 && static_cast<size_t>(p) < n)
        RetimeSelectedSource();
    if (p >= 1 && static_cast<size_t>(p) <= n)
        link_.SelectChannel(sources_.Item(p - 1).channel);
    link_.Switch(0, 1.0);
    link_.Plain(remote::RC_HOLD_OFF);
    Show(kNumberLabel, Format04(p), true);
}

/* ---- ticks ---- */

void OnAirSequencer::OnScheduleTimer(int id)
{
    switch (id) {
    case kClockTimer:
        ClockTick();
        return;
    case kCountdownTimer:
        CountdownTick();
        break;
    case kSourceTimer:
        LookUpMixer();
        SourceTick();
        break;
    case kTitleTimer:
        LookUpMixer();
        TitleTick();
        break;
    default:
        return;
    }
    if (scrollSources_) {
        Scroll(true, kScrollPixels);
        scrollSources_ = false;
    }
    if (scrollTitles_) {
        Scroll(false, kScrollPixels);
        scrollTitles_ = false;
    }
}

void OnAirSequencer::StartCountdown(Countdown &c, long long end, int label)
{
    c.on = true;
    c.end = end;
    c.remaining = static_cast<int>(end - NowMoment());
    if (c.remaining < 0)
        c.remaining = 0;
    ShowCountdown(c, label);
}

void OnAirSequencer::ShowCountdown(const Countdown &c, int label)
{
    int r = c.remaining < 0 ? 0 : c.remaining;
    if (r > 86399)
        r %= 86400;
    Show(label, C::SecondsToText(r));
}

void OnAirSequencer::CountdownTick()
{
    const long long now = NowMoment();
    for (int k = 0; k < 2; ++k) {
        Countdown &c = k ? titleCount_ : srcCount_;
        if (!c.on)
            continue;
        c.remaining = static_cast<int>(c.end - now);
        if (c.remaining < 1) {
            c.remaining = 0;
            c.on = false;
        }
        ShowCountdown(c, k ? kTitleCountLabel : kCountLabel);
    }
}

void OnAirSequencer::ClockTick()
{
    SYSTEMTIME st = {};
    int y, m, d;
    C::SplitDate(clock_.Today(), y, m, d);
    int hh, mm, ss;
    C::SplitSeconds(clock_.Now(), hh, mm, ss);
    st.wYear = static_cast<WORD>(y);
    st.wMonth = static_cast<WORD>(m);
    st.wDay = static_cast<WORD>(d);
    /* Sakamoto's rule: 0 = Sunday. */
    static const int t[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int yy = m < 3 ? y - 1 : y;
    st.wDayOfWeek = static_cast<WORD>((yy + yy / 4 - yy / 100 + yy / 400 + t[(m + 11) % 12] + d) % 7);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y, m, d);
    Show(kDateLabel, buf);
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", hh, mm, ss);
    Show(kTimeLabel, buf);
    char day[48] = "";
    if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDAYNAME1 + (st.wDayOfWeek + 6) % 7, day, sizeof day))
        day[0] = 0;
    std::snprintf(buf, sizeof buf, " %s ", day);
    Show(kWeekLabel, buf);
}

/*
 * The source triggers of the current item C and the next item N.  Each
 * pass fires the earliest trigger whose moment has come; handing over to
 * the next item brings that item's triggers in, so a late tick works
 * through everything it missed in order.
 */
void OnAirSequencer::SourceTick()
{
    const size_t n = sources_.Count();
    const long long now = NowMoment();
    for (int guard = 0; guard < 8 * static_cast<int>(n) + 8; ++guard) {
        if (!onAir_ || sourceStandBy_ || current_ < 1 || static_cast<size_t>(current_) > n)
            return;
        const size_t ci = static_cast<size_t>(current_ - 1);
        const size_t ni = n > 1 && static_cast<size_t>(current_) < n ? static_cast<size_t>(current_) : ci;
        const ScheduleItem &c = sources_.Item(ci);
        const ScheduleItem &nx = sources_.Item(ni);
        const long long cStart = Moment(c.date, c.start);
        const long long nStart = Moment(nx.date, nx.start);
        const int tr = WholeSeconds(nx.transitionTime);

        enum Kind { kFirst, kStandByOff, kLoad, kSwitch, kCount, kHandOver, kLoop, kEnd, kNone };
        Kind which = kNone;
        long long best = 0;
        auto consider = [&](bool pending, long long m, Kind k) {
            if (!pending || m > now)
                return;
            if (which == kNone || m < best) {
                which = k;
                best = m;
            }
        };
        consider(!flags_.first, cStart, kFirst);
        if (n > 1 && ni != ci) {
            consider(!flags_.standByOff, nStart - kStandByLead, kStandByOff);
            consider(!flags_.loaded, nStart - kLoadLead, kLoad);
            consider(!flags_.switched, nStart - tr, kSwitch);
            consider(!flags_.countdown, nStart, kCount);
            consider(!flags_.handedOver, nStart + tr, kHandOver);
        }
        const long long nEnd = nStart + nx.duration;
        if (loopMode_)
            consider(!flags_.loop && nx.number == static_cast<int>(n), nEnd - kLoopLead, kLoop);
        else
            consider(!flags_.end && nx.number == static_cast<int>(n), nEnd, kEnd);
        if (which == kNone)
            return;

        /* A moment that passed while the run stood by (or before it began)
         * is only marked, never caught up. */
        const bool dropped = best < floor_ && which == kFirst;
        static const char *const names[] = {"ON AIR", "HOLD OFF", "LOAD", "SWITCH", "COUNT", "NEXT", "LOOP", "END"};
        if (!dropped)
            FireLate(names[which], which == kFirst ? c.number : nx.number, best, now);

        switch (which) {
        case kFirst:
            flags_.first = true;
            if (dropped || lastStarted_ != 0)
                break;
            if (!looped_) {
                /* The recording starts even when the first item did not
                 * load: the programme goes on with the next one. */
                if (LoadedForAir(c.number)) {
                    link_.SelectChannel(c.channel);
                    link_.PlayChannel(c.channel, c.number);
                }
                link_.Plain(remote::RC_ENCODE_START);
                recording_ = true;
            } else if (c.kind == kKindDevice || LoadedForAir(c.number)) {
                link_.SelectChannel(c.channel);
                link_.Switch(c.transition < 0 ? 0 : c.transition, c.transitionTime);
            }
            SetSourceState(ci, kStateOnAir);
            Button(kStandByButton, 0, 1);
            StartCountdown(srcCount_, cStart + c.duration, kCountLabel);
            Show(kNumberLabel, Format04(c.number), true);
            break;
        case kStandByOff:
            flags_.standByOff = true;
            if (!dropped)
                Button(kStandByButton, 0, 0);
            break;
        case kLoad:
            flags_.loaded = true;
            if (dropped)
                break;
            if (nx.number <= static_cast<int>(n)) {
                if (!looped_ || nx.kind != kKindDevice)
                    LoadSource(ni, true);
                link_.SelectChannel(nx.channel, nx.number);
            }
            break;
        case kSwitch:
            flags_.switched = true;
            if (dropped)
                break;
            /* A looped device item was never reloaded: it needs no answer. */
            if (!(looped_ && nx.kind == kKindDevice) && !LoadedForAir(nx.number)) {
                SetSourceState(ni, kStateDone);
                scrollSources_ = true;
                break;
            }
            link_.Switch(nx.transition < 0 ? 0 : nx.transition, nx.transitionTime);
            link_.PlayChannel(nx.channel, nx.number);
            SetSourceState(ni, kStateOnAir);
            /* Everything before it is done (an item kept on air over a
             * skipped one included). */
            for (size_t i = 0; i < ni; ++i)
                if (i == ci || sources_.Item(i).state == kStateOnAir)
                    SetSourceState(i, kStateDone);
            scrollSources_ = true;
            break;
        case kCount:
            flags_.countdown = true;
            if (!dropped)
                StartCountdown(srcCount_, nStart + nx.duration, kCountLabel);
            break;
        case kHandOver:
            flags_.handedOver = true;
            if (nx.number < static_cast<int>(n)) {
                lastStarted_ = nx.number;
                ++current_;
                flags_ = ItemFlags();
            }
            if (!dropped)
                Button(kStandByButton, 0, 1);
            break;
        case kLoop: {
            flags_.loop = true;
            lastStarted_ = 0;
            current_ = 1;
            flags_ = ItemFlags();
            Button(kStandByButton, 0, 0);
            looped_ = true;
            plan_.built = true;
            RetimeFirstSource();
            floor_ = NowMoment();
            const ScheduleItem &first = sources_.Item(0);
            if (first.kind != kKindDevice)
                LoadSource(0, true);
            break;
        }
        case kEnd:
            flags_.end = true;
            plan_.built = false;
            for (size_t i = 0; i < n; ++i)
                if (i == ni || sources_.Item(i).state == kStateOnAir)
                    SetSourceState(i, kStateDone);
            KillTimer(kCountdownTimer);
            KillTimer(kTitleTimer);
            KillTimer(kSourceTimer);
            link_.PostSelfNotice(remote::RC_SCHEDULE_FINISHED);
            if (recording_)
                link_.Plain(remote::RC_ENCODE_STOP);
            recording_ = false;
            link_.Plain(remote::RC_MIXER_OFF);
            log_.WriteAutoLog();
            EnableLists(true);
            return;
        default:
            return;
        }
    }
}
