/*
 * Glancer.dll: the scheduler's preview player.  One process-wide player on a
 * DirectShow filter graph; every export works on it.  Positions and
 * durations are whole seconds.  Call every export from the thread that
 * loaded the library (the scheduler's user-interface thread).
 *
 *   SetMyVideoWindows(window)  the window that shows the next opened medium
 *                              (null keeps the current one); returns it
 *   MyFileOpen(path)           opens an ANSI path, paused on its first frame;
 *                              1 when open, 0 when not (then closed)
 *   MyRun / MyPause / MyStop   transport; stop leaves the position at 1 s
 *   SetMyPosition(seconds)     seeks within 0..duration, else nothing; 1 done
 *   MyRewind / MyForward(s)    moves by s seconds, clamped to 0..duration,
 *                              keeping the transport state (stopped: paused)
 *   GetMyPosition()            seconds, 0 when closed
 *   GetMyVideoDuration()       seconds, -1 when closed
 *   GetMyVideoSize(&w, &h)     the picture size and S_OK; closed or without
 *                              video: 0 x 0 and E_FAIL
 *   MyReleaseAll()             closes the medium
 */
#ifndef GLANCER_H
#define GLANCER_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

void WINAPI MyStop(void);
void WINAPI MyRun(void);
void WINAPI MyPause(void);
int WINAPI SetMyPosition(int seconds);
int WINAPI GetMyVideoDuration(void);
HWND WINAPI SetMyVideoWindows(HWND window);
int WINAPI MyFileOpen(const char *path);
void WINAPI MyReleaseAll(void);
HRESULT WINAPI GetMyVideoSize(int *width, int *height);
int WINAPI GetMyPosition(void);
void WINAPI MyRewind(int seconds);
void WINAPI MyForward(int seconds);

#ifdef __cplusplus
}
#endif

#endif
