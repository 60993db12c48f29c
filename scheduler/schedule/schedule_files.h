/*
 * The "Project" menu's file commands: new, open, save and save as for the
 * source schedule (.dsf) and the title schedule (.tsf), and the companion
 * title schedule (.csf) found beside an opened source schedule.
 *
 * The window supplies the file dialogs and the run-state hooks; questions and
 * warnings go through the OperatorPrompt.  UI thread only.
 */
#ifndef SCHEDULER_SCHEDULE_FILES_H
#define SCHEDULER_SCHEDULE_FILES_H

#include <functional>
#include <string>

class OperatorPrompt;
class SourceSchedule;
class TitleSchedule;

enum class ScheduleDialog {
    OpenSource,      /* "File Open", "*.dsf" */
    SaveSource,      /* "Save files" */
    SaveSourceAs,    /* "Save As files" */
    OpenTitle,       /* "Open files", "*.tsf" */
    SaveTitle,       /* "Save Title Schedule files" */
    SaveTitleAs,     /* "Save As Title Schedule files" */
};

struct ScheduleDialogText {
    const char *title, *defaultExtension, *filter;
};
/* Title, default extension and filter ('|'-separated) of each dialog. */
ScheduleDialogText DialogText(ScheduleDialog which);

struct ScheduleFileHooks {
    /* Shows the dialog; returns the chosen path, or an empty text on Cancel. */
    std::function<std::string(ScheduleDialog)> choosePath;
    /* Run-state resets of the on-air sequencer and the window's reactions. */
    std::function<void()> resetSourceRun, resetTitleRun, clearRunLog, hidePreviews;
    /* After a source schedule was read: enable "On" and "On Air", the on-air
     * commands, and the pending loop reset. */
    std::function<void()> sourceLoaded, loopReset;
};

class ScheduleFiles {
public:
    ScheduleFiles(SourceSchedule &sources, TitleSchedule &titles, OperatorPrompt &prompt, ScheduleFileHooks hooks);

    /* While a schedule is on air or on stand-by, new and open refuse. */
    void SetRunActive(bool on) { runActive_ = on; }

    /* Set by every edit; cleared by a successful save or load. */
    void MarkSourceChanged() { sourceChanged_ = true; }
    void MarkTitleChanged() { titleChanged_ = true; }
    bool SourceChanged() const { return sourceChanged_; }
    bool TitleChanged() const { return titleChanged_; }

    const std::string &SourcePath() const { return sourcePath_; }
    const std::string &TitlePath() const { return titlePath_; }

    void NewSourceSchedule();
    void NewTitleSchedule();
    void OpenSourceSchedule();
    void OpenTitleSchedule();
    void SaveSourceSchedule();
    void SaveSourceScheduleAs();
    void SaveTitleSchedule();
    void SaveTitleScheduleAs();

    /* The file named like dsfPath with the extension ".csf", when the folder
     * holds an entry of exactly that name (case-sensitive); it becomes the
     * title schedule path. */
    bool FindCompanionTitleSchedule(const std::string &dsfPath);

private:
    void Call(const std::function<void()> &f) { if (f) f(); }
    bool RefusedOnAir();
    std::string Choose(ScheduleDialog d) { return hooks_.choosePath ? hooks_.choosePath(d) : std::string(); }

    SourceSchedule &sources_;
    TitleSchedule &titles_;
    OperatorPrompt &prompt_;
    ScheduleFileHooks hooks_;
    bool runActive_ = false, sourceChanged_ = false, titleChanged_ = false;
    std::string sourcePath_, titlePath_;
};

#endif
