/*
 * MixerProject: the main window's project commands (open, save, save as),
 * the slide-show toggle, the image table and the slide show on channel 4.
 * It is the host the project file routines (project_file.h) apply a
 * loaded project through.
 *
 * The image table (images, at most kMaxSlideImages paths) changes only by
 * the slide-show dialog's OK and by a project load; the deck's imageCount
 * follows it.  Project commands and the toggle do nothing in the
 * remote-controlled mode.
 */
#ifndef CORV_MIXER_MIXER_PROJECT_H
#define CORV_MIXER_MIXER_PROJECT_H

#include <functional>
#include <string>
#include <vector>
#include "project_file.h"

class CMixerDlg;
class CSlideShowDlg;

class MixerProject : public ProjectHost {
public:
    explicit MixerProject(CMixerDlg &dlg) : dlg_(dlg) {}

    std::string path;                    /* empty until opened or saved */
    std::vector<std::string> images;     /* the image table */
    int loaded = 0;                      /* a complete load happened */

    /* Test seams (the program leaves them empty). */
    /* Asks for a project path (save or open); false when cancelled. */
    std::function<bool(bool save, std::string *path)> askPath;
    /* Runs the slide-show dialog in place of its modal loop (IDOK/IDCANCEL). */
    std::function<INT_PTR(CSlideShowDlg &)> runSlideShow;

    void OpenProject();
    void SaveProject();
    void SaveProjectAs();
    /* The project dialog; OK stores the path and gives true, Cancel empties it. */
    bool AskProjectPath(bool save);
    /* What a save writes now. */
    ProjectSnapshot Snapshot() const;

    /* Button 1157: the slide-show mode on or off. */
    void OnSlideShowButton();
    /* Channel 4's open button in slide-show mode: the dialog, then the
     * current image on OK. */
    void OnSlideShowOpen();
    /* Opens path on channel 4 as the slide show's picture and plays it as
     * the preview; false (nothing changed) when it does not open. */
    bool ShowSlide(int index, const std::string &path);
    /* The image at a list position (the deck's channel-4 steps). */
    void ShowSlideAt(int position);

    /* ProjectHost */
    void ShowMessage(const std::string &text) override;
    void SaveTitle(const std::string &path) override;
    void OpenTitle(const std::string &path) override;
    void NewProject() override;
    void SetSlideShowMode(bool on) override;
    void SetBackgroundMusic(bool on) override;
    bool OpenChannel(int n, const std::string &video, const std::string &audio) override;
    void SetImageTable(const std::vector<std::string> &paths) override;
    void EditSlideShow() override;
    void SetSelections(int preview, int onAir, int transition) override;

private:
    /* The dialog on the table; true when closed with OK and the show started. */
    bool RunSlideShowDialog();
    CMixerDlg &dlg_;
};

#endif
