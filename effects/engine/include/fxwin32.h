// Small Windows helpers of the effects library: loading a library from the
// library's own directory, file probes, the counted wait cursor, the module
// directory and instance.  All of them run on the caller's thread; the wait
// cursor's count belongs to the user-interface thread.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Loads the library `name` (a buffer of MAX_PATH characters): an absolute
// name is loaded from its own directory; a relative one from the directory
// of `module` (the program when null), then from the search path, then as
// given.  With `storePath` the full path of the loaded file replaces the
// name.  The current directory is the same afterwards.  Null on failure.
HMODULE LoadLibraryFromModuleDir(char *name, HMODULE module, int storePath);

// Deletes the file: 0 when deleted, -1 for a null or empty name or failure.
int DeleteFileByName(const char *name);

// 0 when the file can be used in the mode (0 exists, 2 write, 4 read, 6
// read and write), -1 otherwise, for an empty name or another mode.
int ProbeFile(const char *name, int mode);

// Fills buffer with the directory of the module's file (no trailing
// separator) and returns the length of the module's full file name; 0 when
// the name cannot be read or holds no backslash.
DWORD GetModuleDirectory(HMODULE module, char *buffer, DWORD size);

// Counted hourglass: the first "on" shows it, the matching last "off"
// brings back the cursor that was there.  Returns the count.
int WaitCursor(int on);

// The last child (in z-order) of the window's children, or null.
HWND LastChildWindow(HWND window);

// The module instance of the effects library, kept by its entry point
// (SetFxInstance); null until set.
HINSTANCE GetFxInstance();
void SetFxInstance(HINSTANCE instance);
