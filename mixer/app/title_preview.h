/*
 * CTitlePreviewDlg (dialog 278): a small skinned window where the operator
 * sees the title being edited, with its motion, before it goes on air.
 * "&Show" has the title-box control write its preview export and the engine
 * draw it into the preview area, then 30 times a second from one periodic
 * multimedia timer (33 ms, 33 ms resolution).
 *
 * The timer callback runs on the multimedia-timer thread and only fetches a
 * device context of the preview area and calls the engine's PreviewTitle
 * there; everything else runs on the user-interface thread.
 */
#ifndef CORV_MIXER_TITLE_PREVIEW_H
#define CORV_MIXER_TITLE_PREVIEW_H

#include "buttons.h"
#include "dialog.h"
#include <atomic>

class CLumicard;

constexpr UINT IDD_TITLE_PREVIEW = 278;
constexpr UINT IDC_PREVIEW_AREA = 1098;
constexpr UINT IDC_PREVIEW_SHOW = 1099;
constexpr UINT IDC_PREVIEW_EXIT = 1127;
constexpr UINT kPreviewTimerMs = 33;

/* The window's outline (40 corners). */
extern const POINT kTitlePreviewOutline[40];

class CTitlePreviewDlg : public cl::CDialog {
public:
    /* box: the title-box control; the work-space size decides the area's height. */
    CTitlePreviewDlg(CLumicard &box, const int &surfaceWidth, const int &surfaceHeight);
    ~CTitlePreviewDlg() override;

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override { OnExit(); }

    /* "&Show": export, draw once, (re)start the timer. */
    void OnShow();
    /* "exit": hides; the timer keeps running. */
    void OnExit();
    /* Places the controls for the current work-space size. */
    void Layout();

    UINT TimerId() const { return timer_; }
    /* Timers of this kind running in the process (tests). */
    static int LiveTimers() { return live_; }
    /* Frames drawn by the timer so far. */
    long TimerFrames() const { return frames_; }

private:
    void StopTimer();
    static void CALLBACK OnTimer(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

    CLumicard &box_;
    const int &surfaceWidth_, &surfaceHeight_;
    UINT timer_ = 0;
    HWND area_ = nullptr;
    HBITMAP background_ = nullptr;
    HBITMAP showUp_ = nullptr, showDown_ = nullptr, exitUp_ = nullptr, exitDown_ = nullptr;
    CHoverButton show_, exit_;
    std::atomic<long> frames_{0};
    static std::atomic<int> live_;
};

#endif
