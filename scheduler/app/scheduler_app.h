/* SchedulerApp: the scheduler's application object (accelerators, COM, the
 * main window run modally). */
#ifndef SCHEDULER_APP_SCHEDULER_APP_H
#define SCHEDULER_APP_SCHEDULER_APP_H

#include "app.h"
#include "scheduler_window.h"

class SchedulerApp : public cl::CWinApp {
public:
    SchedulerApp() : cl::CWinApp("Tarnell") {}
    BOOL InitInstance() override;
    int ExitInstance() override;
    BOOL ProcessMessageFilter(int code, MSG *msg) override;
    /* The window whose keys the accelerators (Ctrl+O, Ctrl+Alt+V, ...)
     * become commands of; null stops them. */
    void Attach(SchedulerMainWindow *window);
    int exitCode = 0;

private:
    HACCEL accel_ = nullptr;
    SchedulerMainWindow *window_ = nullptr;
};

#endif
