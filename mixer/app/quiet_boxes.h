/*
 * QuietBoxes: while one lives, every message box that the current thread
 * opens is closed at once with its OK (else Cancel) button, and its text is
 * noted instead of shown.  The remote-controlled mode runs its requests
 * under one: a box would wait for an operator who is not there, and a
 * descriptor arrives by a synchronous SendMessage, so the scheduler would
 * wait too.  The engine's own warnings (a source not found, a capture
 * device lost) are closed the same way; the caller answers the failure.
 *
 * UI thread only; instances nest (the innermost one notes the texts).
 */
#ifndef CORV_MIXER_QUIET_BOXES_H
#define CORV_MIXER_QUIET_BOXES_H

#include <windows.h>
#include <string>
#include <vector>

class QuietBoxes {
public:
    QuietBoxes();
    ~QuietBoxes();
    QuietBoxes(const QuietBoxes &) = delete;
    QuietBoxes &operator=(const QuietBoxes &) = delete;

    /* The texts of the boxes closed so far, in order. */
    const std::vector<std::string> &Texts() const { return texts_; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp);
    HHOOK hook_ = nullptr;
    QuietBoxes *previous_ = nullptr;
    std::vector<std::string> texts_;
    std::vector<HWND> made_;
};

#endif
