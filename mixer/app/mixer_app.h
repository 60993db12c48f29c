/*
 * CMixerApp: the mixer program's application object.  It loads accelerator
 * table 237, reads the command line ("TARNELL" exactly selects the
 * remote-controlled mode) and runs the main window modally; the program
 * ends with it.  Accelerators are translated in the message filter, so they
 * work inside the main window's modal loop.
 */
#ifndef CORV_MIXER_MIXER_APP_H
#define CORV_MIXER_MIXER_APP_H

#include "app.h"
#include <string>

class CMixerDlg;

/* The accelerator table's handle (table 237), once loaded. */
extern HACCEL g_hAccelTable;

/* True only for the exact word "TARNELL" (no blanks, case as written). */
bool IsRemoteCommandLine(const std::string &line);

/* Wraps the engine table with a recorder that appends each call's name to
 * the named file (the engine-call trace of CORVANE_ENGINE_TRACE). */
void TraceEngineCalls(const char *path);

class CMixerApp : public cl::CWinApp {
public:
    CMixerApp() : CWinApp("Corvane") {}
    BOOL InitInstance() override;
    BOOL ProcessMessageFilter(int code, MSG *msg) override;
    /* Prepares a main window as InitInstance does (tests run it themselves). */
    void Prepare(CMixerDlg &dlg);
};

#endif
