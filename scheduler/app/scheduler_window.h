/*
 * SchedulerMainWindow: the scheduler's one window (dialog 136), fixed at
 * 1016 x 768 with a stepped outline.  It shows the source schedule, the
 * title schedule and the run log, the clock and counters, and the skinned
 * buttons; it owns the link to the mixer and the on-air sequencer, whose
 * timers and replies it hands on.
 */
#ifndef SCHEDULER_APP_SCHEDULER_WINDOW_H
#define SCHEDULER_APP_SCHEDULER_WINDOW_H

#include <functional>
#include <memory>
#include <string>

#include "buttons.h"
#include "capture_names.h"
#include "common/prompt.h"
#include "dialog.h"
#include "load_progress_dialog.h"
#include "media_preview_dialog.h"
#include "onair/onair_sequencer.h"
#include "protocol/mixer_link.h"
#include "runlog/run_log.h"
#include "schedule_list_ctrl.h"
#include "schedule/drop_options.h"
#include "schedule/schedule_files.h"
#include "schedule/source_schedule.h"
#include "schedule/title_schedule.h"
#include "skinned_controls.h"
#include "title_preview_dialog.h"

class SourceEntryDialog;

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
    /* Items whose load the mixer did not answer are skipped. */
    bool acknowledgeLoads = true;
    CaptureDeviceNames::Enumerator deviceEnumerator;
    /* The file dialogs of the Project menu (tests answer them); an empty
     * text is Cancel.  Unset: the system's file dialogs. */
    std::function<std::string(ScheduleDialog)> choosePath;

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
    /* Insert before / modify the selected item through the entry dialogs. */
    void InsertSource();
    void ModifySource();
    void InsertTitle();
    void ModifyTitle();
    void DeleteSelectedTitle();
    /* The preview panes: the source or title at 'row' is shown. */
    void PreviewSource(int row);
    void PreviewTitleItem(int row);
    void HidePreviews();
    /* Files dropped from the shell on the lists (shortcuts resolved, the
     * lists' drop options applied): each becomes an item at the end, a
     * source with its length measured through the preview player. */
    void DropSources(const std::vector<std::string> &paths);
    void DropTitles(const std::vector<std::string> &paths);
    DropOptions &SourceDrops() { return sourceDrops_; }
    DropOptions &TitleDrops() { return titleDrops_; }
    MediaPreviewDialog &MediaPreview() { return mediaPreview_; }
    TitlePreviewDialog &TitlePreview() { return titlePreview_; }
    LoadProgressDialog &Progress() { return progress_; }
    ScheduleFiles &Files() { return files_; }
    /* Selects one row of a list (-1: none). */
    void SelectRow(UINT list, int row);
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
    /* The three lists as the window draws them. */
    ScheduleListCtrl &List(UINT id);
    int ExitCode() const { return exitCode_; }
    bool SourceChanged() const { return files_.SourceChanged(); }
    bool TitleChanged() const { return files_.TitleChanged(); }

private:
    MixerLinkHooks LinkHooks();
    ScheduleFileHooks FileHooks();
    void FileCommand(void (ScheduleFiles::*command)());
    int SelectedRow(UINT list) const;
    void ContextMenu(UINT list);
    void AfterTitleEdit();
    /* The source list takes no edit while the sources run on air (not
     * standing by); the title list none while any run is active. */
    bool SourcesLocked() const;
    bool RunActive() const;
    /* The entry dialog offers the capture devices found at start-up. */
    void OfferDevices(SourceEntryDialog &dlg) const;
    void SetupLabels();
    void SetupButtons();
    void PlaceControls();
    void CreateColumns();
    void SetupLists();
    /* The widths the lists' last columns take after a load or a clear. */
    void FitColumns(bool sourceLoaded, bool titleLoaded);
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
    ScheduleListCtrl sourceList_, titleList_, logList_;
    DropOptions sourceDrops_, titleDrops_;
    HBITMAP background_ = nullptr;
    HMENU menu_ = nullptr;
    bool loopChecked_ = false;
    ScheduleFiles files_;
    MediaPreviewDialog mediaPreview_;
    TitlePreviewDialog titlePreview_;
    LoadProgressDialog progress_;
    HMENU listMenu_ = nullptr;
    bool previewFollow_ = false;
    bool lastLoadOk_ = false;
    size_t sourceLoads_ = 0, titleLoads_ = 0;
    bool closing_ = false;
    int exitCode_ = 0;
};

#endif
