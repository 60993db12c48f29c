/* Tarnell.exe: the scheduler, which runs dated schedules of sources and
 * titles on the mixer unattended. */
#include "scheduler_app.h"

static SchedulerApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int)
{
    return theApp.RunApp(instance, cmdLine);
}
