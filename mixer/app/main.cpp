/* Corvane.exe: the operator's mixing program. */
#include "mixer_app.h"

static CMixerApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int)
{
    return theApp.RunApp(instance, cmdLine);
}
