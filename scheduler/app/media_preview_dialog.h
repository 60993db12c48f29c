/*
 * MediaPreviewDialog (dialog 149): the small skinned pane in which the
 * operator looks at one source of the source schedule before it goes on
 * air.  Files play through the preview player (Glancer.dll) with rewind,
 * stop, pause, play and forward; capture devices and network addresses are
 * never opened: the colour-bar clip stands in for them.  The main window
 * owns one pane and hands it sources through ShowSource.
 */
#ifndef SCHEDULER_APP_MEDIA_PREVIEW_DIALOG_H
#define SCHEDULER_APP_MEDIA_PREVIEW_DIALOG_H

#include <string>

#include "buttons.h"
#include "dialog.h"
#include "skinned_controls.h"

class MediaPreviewDialog : public cl::CDialog {
public:
    static constexpr int kWidth = 381, kHeight = 195;
    static constexpr UINT_PTR kPositionTimer = 1;
    static constexpr UINT kClose = 1100, kVideo = 1142, kNumber = 1137, kSize = 1113, kPath = 1123,
                          kPosition = 1116, kDuration = 1114, kRewind = 1081, kStop = 1097, kPause = 1098,
                          kPlay = 1096, kForward = 1118;

    explicit MediaPreviewDialog(HWND parent = nullptr);
    ~MediaPreviewDialog() override;

    /* The clip shown for devices and addresses; by default
     * "<program folder>\ColorBar\colorbar.wmv". */
    std::string colorBarPath;

    /* Shows one source, paused on its first picture. */
    void ShowSource(const std::string &path, bool deviceOrUrl, int number);
    /* The pane goes out of sight and the player pauses. */
    void HidePane();
    /* The medium the player was last asked to open. */
    const std::string &OpenedPath() const { return opened_; }
    bool PositionTimerOn() const { return timerOn_; }
    std::string Text(UINT id) const { return GetDlgItemText(id); }

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override { HidePane(); }

    static std::string DefaultColorBarPath();

private:
    void StartTimer();
    void StopTimer();
    void ShowPosition();
    void OnDestroy();

    static constexpr int kButtons = 6;
    CRegionButton buttons_[kButtons];
    ColorLabel texts_[4];
    HBRUSH black_ = nullptr;
    HBITMAP skin_ = nullptr;
    HWND video_ = nullptr;
    bool timerOn_ = false;
    std::string opened_;
};

/* "%02d:%02d:%02d" of whole seconds (negative shows 00:00:00). */
std::string PreviewClockText(int seconds);

#endif
