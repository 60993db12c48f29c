// Progress and cancel polling for long renders.  The frame renderer calls
// its progress callback with a step code (1 start, 0 and 5 a frame done,
// 2 end); these routines keep the editor responsive between frames by
// handling pending messages, and answer 0 to cancel the render.
//
// They read a few fields of the render job and use a few editor windows;
// the effects library's callbacks fill the two records below from its
// render job and instance and call them.  Editor thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "fxrender.h"

// Job flag bits read here.
constexpr uint32_t FXP_SHOW_BOX = 0x200;
constexpr uint32_t FXP_UNIT_FIELDS = 0x8002;
constexpr uint32_t FXP_UNIT_STEPS = 0x4;

// Control ids.
constexpr int FX_ID_PROGRESS_BOX = 3060;   // dialog template
constexpr int FX_ID_GO = 3081;             // tool bar "Go!" / the box's cancel button
constexpr int FX_ID_PROGRESS_TEXT = 3717;

// What the callbacks read of a render job.
struct FxProgressJob {
    uint32_t flags;
    int32_t current;     // steps done
    int32_t total;       // steps in all
    int32_t frame;       // the frame just rendered
    HWND target;         // the window the render draws into (its paints wait)
};

// The progress state between steps 1 and 2: the box (null when the tool
// bar's button serves) and the cancel button.
struct FxProgressState {
    HWND box;
    HWND cancel;
};

// The editor's side.
struct FxProgressEditor {
    HINSTANCE module;          // holds dialog 3060 and strings 121-123, else built-in
    HWND mainWindow;           // the box is a child of its parent
    HWND toolBar;              // holds button 3081 "Go!"
    FxProgressState *state;    // allocated at step 1, freed at step 2
    // Shows the frame on the frame control and the time bars.
    void (*showFrame)(void *context, int frame);
    void *context;
};

// The progress callback's work: 1 continue, 0 cancel.
int RenderProgressStep(FxProgressEditor *editor, int step, const FxProgressJob *job);
// The cancel-only callback's work: handles pending messages; 1 / 0.
int RenderCancelStep(const FxProgressJob *job);
// Takes at most one pending message of the thread and answers whether it
// cancels the render: Enter or Esc pressed, or command 3081 queued for the
// box, the cancel button's parent or the main window.  Paints of windows
// other than `target` are dispatched, mouse messages for the cancel button
// passed to it, everything else dropped.
int PollRenderMessages(HWND target, const FxProgressState *state, HWND mainWindow);

// The job fields these routines read, from a render job: the step reached,
// the last step, the frame time (rounded) and the target window.
FxProgressJob FxProgressJobOf(const FxRenderJob *job);

// The render callbacks themselves, as handed to the frame renderer.  The
// editor record of the job's instance comes from g_fxProgressEditor, which
// the effects library sets; while it is empty the progress callback only
// polls, like the cancel callback.
extern FxProgressEditor *(*g_fxProgressEditor)(void *instance);
int RenderProgressProc(int step, FxRenderJob *job);
int RenderCancelProc(int step, FxRenderJob *job);
