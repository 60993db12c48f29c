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
    int exitCode = 0;

private:
    HACCEL accel_ = nullptr;
    SchedulerMainWindow *window_ = nullptr;
};

#endif
