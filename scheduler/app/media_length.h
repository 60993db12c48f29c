/*
 * The length of a media file through the preview player (Glancer.dll),
 * measured out of sight: the player's picture goes to a hidden child window
 * of 'owner' made for the measurement, never to a preview pane.
 */
#ifndef SCHEDULER_APP_MEDIA_LENGTH_H
#define SCHEDULER_APP_MEDIA_LENGTH_H

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <string>

/* Whole seconds; -1 when the player cannot open the file.  UI thread. */
int MeasureMediaSeconds(HWND owner, const std::string &path);

#endif
