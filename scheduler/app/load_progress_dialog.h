/*
 * LoadProgressDialog (dialog 144): the small window with one progress bar
 * that is shown while a schedule file is read.  Enter and Esc do not close
 * it; the reader's progress makes it, moves it and takes it down.
 */
#ifndef SCHEDULER_APP_LOAD_PROGRESS_DIALOG_H
#define SCHEDULER_APP_LOAD_PROGRESS_DIALOG_H

#include <cstddef>

#include "dialog.h"
#include "skinned_controls.h"

class LoadProgressDialog : public cl::CDialog {
public:
    static constexpr UINT kBar = 1103;

    explicit LoadProgressDialog(HWND parent = nullptr) : cl::CDialog(144, parent) {}

    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}

    /* A reader's step: (0, n) opens the dialog, (n, n) closes it. */
    void Step(size_t done, size_t total);
    /* While open: a strip without caption over the bottom edge of 'list'
     * (its client area's left edge, 21 pixels above its bottom), 'width' by
     * 21 pixels, the bar at 0,0, 'width' by 17. */
    void LieOver(HWND list, int width);
    ScheduleProgressBar &Bar() { return bar_; }
    /* Windows opened so far and the last percentage shown (for tests). */
    int Opened() const { return opened_; }
    int LastPercent() const { return lastPercent_; }

private:
    ScheduleProgressBar bar_;
    int opened_ = 0, lastPercent_ = 0;
};

#endif
