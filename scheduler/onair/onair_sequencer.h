/*
 * The on-air sequencer: runs the source and title schedules against the
 * clock and tells the mixer, through MixerLink, what to load, seek, select,
 * play and switch to, and which title to load, show and take off.
 *
 * It is driven by the main window's four timers:
 *   4000 (1000 ms) clock displays, 4001 (100 ms) countdowns,
 *   4003 (1000 ms) source triggers, 4004 (1000 ms) title triggers.
 * Every trigger is a moment (a date and a time of day, wrapping at
 * midnight into the previous or next day) and fires once, at the first
 * tick at or after it: a late tick catches up on every trigger it missed,
 * in the order of their moments, and logs how late each one was.  Moments
 * that passed while the run stood by are dropped, not caught up.
 *
 * What the window shows (texts, buttons, timers, list scrolls) goes through
 * SequencerView; the time comes from a SequencerClock, so tests drive the
 * whole run with a clock of their own.  UI thread only.
 */
#ifndef SCHEDULER_ONAIR_SEQUENCER_H
#define SCHEDULER_ONAIR_SEQUENCER_H

#include <functional>
#include <string>
#include <vector>

#include "protocol/mixer_link.h"

class ChannelPlan;
class OperatorPrompt;
class RunLog;
class SourceSchedule;
class TitleSchedule;

class SequencerClock {
public:
    virtual ~SequencerClock() = default;
    virtual std::string Today() const = 0; /* "yyyy/mm/dd" */
    virtual int Now() const = 0;           /* seconds of the day */
};

/* The local time of the machine. */
class SystemSequencerClock : public SequencerClock {
public:
    std::string Today() const override;
    int Now() const override;
};

namespace onair {
constexpr int kClockTimer = 4000, kCountdownTimer = 4001, kSourceTimer = 4003, kTitleTimer = 4004;
constexpr int kDateLabel = 1018, kTimeLabel = 1017, kWeekLabel = 1091, kCountLabel = 1020, kNumberLabel = 1041,
              kTitleCountLabel = 1021, kTitleNumberLabel = 1042;
constexpr int kOnAirNowButton = 1094, kOnAirButton = 1095, kStandByButton = 1102, kTitleStandByButton = 1105;
} // namespace onair

struct SequencerView {
    std::function<void(int id, unsigned ms)> setTimer;
    std::function<void(int id)> killTimer;
    std::function<void(int control, const std::string &text, bool blink)> showText;
    /* image: 0 keeps it, 1 normal, 2 pressed; enable: -1 keeps it. */
    std::function<void(int button, int image, int enable)> showButton;
    std::function<void(bool sources, bool enabled)> enableList;
    std::function<void(bool sources, int pixels)> scrollList;
    std::function<void(bool sources)> repaintList;
    /* The stop's column rule: source column 11 from 51 to 67 pixels, title
     * column 6 from 102 to 118. */
    std::function<void(bool sources)> restoreColumn;
    /* The window titled "Corvane", looked up at every operation and tick;
     * without it the link keeps the window it knows. */
    std::function<HWND()> findMixer;
    /* "Successfully Scheduled." at the end (an information box). */
    std::function<void(const std::string &text)> inform;
};

class OnAirSequencer {
public:
    OnAirSequencer(SourceSchedule &sources, TitleSchedule &titles, MixerLink &link, RunLog &log,
                   OperatorPrompt &prompt, ChannelPlan &plan, const SequencerClock &clock, SequencerView view);

    /* Where "ColorBar\ColorBar.bmp" is found (the program's folder, with a
     * trailing '\'). */
    void SetProgramFolder(const std::string &folder) { folder_ = folder; }

    void ToggleOnAir();
    /* The on-air-now button: take control, re-time both lists to start in
     * 8 seconds, then StartOnAirNow. */
    void OnAirNowButton();
    void StartOnAirNow();
    void StartTitleSchedule();
    void ToggleSourceStandBy();
    void ToggleTitleStandBy();
    void OnScheduleTimer(int id);

    void ResetSourceRun();
    void ResetTitleRun();
    void FinishSchedule();
    void EnableOnAirButtons();

    /* With acknowledgement on, an item is switched to only when the mixer
     * answered its load before the switch moment; one that failed or was
     * not answered in time is skipped (the item on air stays) and logged. */
    void SetLoadAcknowledgement(bool on) { ackLoads_ = on; }
    void OnSourceLoadAnswer(int item, bool loaded);
    void SetLoopMode(bool on) { loopMode_ = on; }
    bool LoopMode() const { return loopMode_; }
    bool OnAir() const { return onAir_; }
    bool SourceStandBy() const { return sourceStandBy_; }
    bool TitleRunOn() const { return titleRun_; }
    bool TitleStandBy() const { return titleStandBy_; }
    bool Recording() const { return recording_; }
    bool Looped() const { return looped_; }
    int CurrentItem() const { return current_; }
    int LastStarted() const { return lastStarted_; }
    int SourceRemaining() const { return srcCount_.remaining; }
    int TitleRemaining() const { return titleCount_.remaining; }

    /* Seconds since 2000/01/01 00:00 of a date and a time of day (the time
     * may lie outside the day). */
    static long long Moment(const std::string &date, int seconds);

private:
    struct ItemFlags {
        bool first = false, standByOff = false, loaded = false, switched = false, countdown = false,
             handedOver = false, loop = false, end = false;
    };
    struct Countdown {
        bool on = false;
        long long end = 0;
        int remaining = 0;
    };

    long long NowMoment() const;
    void LookUpMixer();
    bool CheckDeviceChannels();
    bool RefreshFirstSourceRow();
    void RetimeFirstSource();
    void RetimeFirstTitle();
    void RetimeSelectedSource();
    int FirstAhead(bool titles) const;
    void MarkAllDone(bool titles);
    void BeginRun(size_t k);
    void LoadSource(size_t index, bool seek);
    void StopRun();
    void SourceTick();
    void TitleTick();
    void CountdownTick();
    void ClockTick();
    void FireLate(const char *what, int number, long long moment, long long now);
    void SetSourceStandBy(bool backOnAir);
    void SetTitleStandBy(bool backOnAir);
    void StartCountdown(Countdown &c, long long end, int label);
    void ShowCountdown(const Countdown &c, int label);
    void Show(int control, const std::string &text, bool blink = false);
    void Button(int id, int image, int enable);
    void SetTimer(int id, unsigned ms);
    void KillTimer(int id);
    void EnableLists(bool on);
    void Scroll(bool sources, int pixels);
    void Repaint(bool sources);
    void SetSourceState(size_t index, int state);
    void SetTitleState(size_t index, int state);
    /* False when acknowledgement is on and item 'number' did not load (logs
     * the skip). */
    bool LoadedForAir(int number);

    SourceSchedule &sources_;
    TitleSchedule &titles_;
    MixerLink &link_;
    RunLog &log_;
    OperatorPrompt &prompt_;
    ChannelPlan &plan_;
    const SequencerClock &clock_;
    SequencerView view_;
    std::string folder_;

    bool onAir_ = false, sourceStandBy_ = false, titleRun_ = false, titleStandBy_ = false;
    bool loopMode_ = false, enabled_ = false, looped_ = false, recording_ = false;
    int current_ = 0, lastStarted_ = 0;
    ItemFlags flags_;
    bool ackLoads_ = false;
    /* Per item number: 0 asked, 1 loaded, 2 failed (only while acknowledging). */
    std::vector<int> loadAnswers_;
    long long floor_ = 0;          /* moments before it are not caught up */
    Countdown srcCount_, titleCount_;
    bool scrollSources_ = false, scrollTitles_ = false;

    /* Title run. */
    size_t titlePointer_ = 0;
    bool preloaded_ = false, shown_ = false, lastTitle_ = false;
    bool haveShown_ = false, shownOff_ = false;
    int shownNumber_ = 0, shownStart_ = 0, shownDuration_ = 0;
    std::string shownDate_;
    long long titleFloor_ = 0;
};

#endif
