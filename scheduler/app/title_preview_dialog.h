/*
 * TitlePreviewDialog (dialog 150): the pane in which the operator looks at a
 * title of the title schedule.  A hidden title-box control (Lumicard.ocx)
 * loads the title file; "Show" has it write the preview export file and the
 * media engine draws that title into the 320 x 240 preview area, again every
 * 33 ms on a multimedia timer until the pane closes.
 */
#ifndef SCHEDULER_APP_TITLE_PREVIEW_DIALOG_H
#define SCHEDULER_APP_TITLE_PREVIEW_DIALOG_H

#include <atomic>
#include <string>

#include "buttons.h"
#include "dialog.h"
#include "skinned_controls.h"

struct IDispatch;

/* What the pane asks of the title-box control for a title file: the
 * control opens only ".lmf" files (any case) and refuses everything else
 * with a box, so other files give an empty page instead. */
enum class TitleLoad { OpenFile, EmptyPage, Nothing };
TitleLoad TitleLoadFor(const std::string &path);

class TitlePreviewDialog : public cl::CDialog {
public:
    static constexpr int kWidth = 350, kHeight = 315;
    static constexpr UINT kClose = 1122, kArea = 1139, kShow = 1081, kControl = 1144;

    explicit TitlePreviewDialog(HWND parent = nullptr);
    ~TitlePreviewDialog() override;

    /* Loads a title file into the hidden control (see TitleLoadFor). */
    void ShowTitle(const std::string &path);
    /* Export, one drawing with reload, then the 33 ms animation. */
    void Show();
    /* Stops the animation and hides the pane. */
    void HidePane();

    bool Animating() const { return timer_ != 0; }
    /* Drawings made so far (the first Show's and every tick's). */
    long Drawings() const { return drawings_.load(); }
    /* The control's dispatch interface (null when it could not be made). */
    IDispatch *Control() const { return control_; }

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override { HidePane(); }

private:
    static void CALLBACK Tick(UINT id, UINT, DWORD_PTR self, DWORD_PTR, DWORD_PTR);
    void Draw(bool reload);
    void StopAnimation();
    bool Call(int dispid, const std::string *text);

    CRegionButton close_, show_;
    HBITMAP skin_ = nullptr;
    IDispatch *control_ = nullptr;
    bool engineOn_ = false;
    UINT timer_ = 0;
    CRITICAL_SECTION drawing_;
    std::atomic<long> drawings_{0};
    std::atomic<bool> stopping_{false};
};

#endif
