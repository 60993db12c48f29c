/*
 * SchedulerMainWindow: the scheduler's one window (dialog 136), fixed at
 * 1016 x 768 with a stepped outline.  It shows the source schedule, the
 * title schedule and the run log, the clock and counters, and the skinned
 * buttons; it owns the link to the mixer and the on-air sequencer, whose
 * timers and replies it hands on.
 */
#ifndef SCHEDULER_APP_SCHEDULER_WINDOW_H
#define SCHEDULER_APP_SCHEDULER_WINDOW_H

#include <memory>
#include <string>

#include "buttons.h"
#include "capture_names.h"
#include "common/prompt.h"
#include "dialog.h"
#include "onair/onair_sequencer.h"
#include "protocol/mixer_link.h"
#include "runlog/run_log.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"
#include "skinned_controls.h"

class SchedulerMainWindow : public cl::CDialog {
public:
    static constexpr int kWidth = 1016, kHeight = 768;
    static constexpr int kButtonCount = 10, kLabelCount = 7;

    /* prompt: the operator's boxes (a message-box prompt when null);
     * autoLog: the run log's file. */
    explicit SchedulerMainWindow(OperatorPrompt *prompt = nullptr,
                                 const std::string &autoLog = RunLog::kDefaultAutoLogPath);
    ~SchedulerMainWindow() override;

    /* Start-up switches (tests turn the mixer connection off and name the
     * program file counted for the single-instance rule). */
    bool connectAtStart = true;
    std::string instanceName = "Tarnell.exe";
    CaptureDeviceNames::Enumerator deviceEnumerator;

    BOOL OnInitDialog() override;
    /* Enter and Esc never close the window. */
    void OnOK() override {}
    void OnCancel() override {}

    /* Loads a .dsf (and its companion .csf) and shows both lists. */
    bool OpenSourceSchedule(const std::string &path);
    void RefreshSourceList();
    void RefreshTitleList();
    void RefreshLog();
    BOOL CheckSourcePaths() const;
    void DeleteSelectedSource();
    /* Add title: the entry dialog proposes the last title's end. */
    void AddTitle();
    /* Add source: the entry dialog proposes the last item's end. */
    void AddSource();
    void ExitButton();
    void MenuExit();
    void ToggleLoop();
    void GoToMixer();
    void OnAirButton();
    void OnNowButton();
    void StandByButton();

    SourceSchedule &Sources() { return sources_; }
    TitleSchedule &Titles() { return titles_; }
    RunLog &Log() { return log_; }
    MixerLink &Link() { return link_; }
    OnAirSequencer &Sequencer() { return *sequencer_; }
    const CaptureDeviceNames &Devices() const { return *devices_; }
    ColorLabel &Label(UINT id);
    int ExitCode() const { return exitCode_; }
    bool SourceChanged() const { return sourceChanged_; }

private:
    MixerLinkHooks LinkHooks();
    void SetupLabels();
    void SetupButtons();
    void PlaceControls();
    void CreateColumns();
    void OnClose();
    void OnDestroy();
    void ShowPopup(int index, UINT button);
    void KillRunTimers();
    void AfterSourceEdit();
    void Post(HWND to, int code, LPARAM arg);

    std::unique_ptr<MessageBoxPrompt> ownPrompt_;
    OperatorPrompt &prompt_;
    SourceSchedule sources_;
    TitleSchedule titles_;
    RunLog log_;
    MixerLink link_;
    SystemSequencerClock clock_;
    std::unique_ptr<OnAirSequencer> sequencer_;
    std::unique_ptr<CaptureDeviceNames> devices_;
    CRegionButton buttons_[kButtonCount];
    ColorLabel labels_[kLabelCount];
    HBITMAP background_ = nullptr;
    HMENU menu_ = nullptr;
    bool loopChecked_ = false;
    bool sourceChanged_ = false, titleChanged_ = false;
    bool closing_ = false;
    int exitCode_ = 0;
};

#endif
