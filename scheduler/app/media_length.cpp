#include "media_length.h"

#include "glancer.h"

int MeasureMediaSeconds(HWND owner, const std::string &path)
{
    HWND hidden = CreateWindowExA(0, "STATIC", "", owner ? WS_CHILD : WS_POPUP, 0, 0, 1, 1, owner, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    SetMyVideoWindows(hidden);
    int seconds = -1;
    if (MyFileOpen(path.c_str()))
        seconds = GetMyVideoDuration();
    MyReleaseAll();
    if (hidden)
        DestroyWindow(hidden);
    return seconds;
}
