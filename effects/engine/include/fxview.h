// Views: creating an effect's render and display context, fitting its
// virtual space into a window's client area (scale, picture and title-safe
// outlines) and mapping window points back into a given space.
#pragma once

#include "fxeval.h"

constexpr uint32_t VIEW_CREATE_MASK = 0xCFFFF;
constexpr uint32_t VIEW_RECT_SET = 0x4000000;
constexpr uint32_t VIEW_NO_LAYER = 0x80000000u;   // at creation: no core layer

// Descriptor words.
enum {
    VD_FRAME_W = 0, VD_FRAME_H = 1, VD_ASPECT_X = 4, VD_ASPECT_Y = 5,
    VD_SAFE_L = 6, VD_SAFE_T = 7, VD_SAFE_R = 8, VD_SAFE_B = 9
};

// The realtime renderer's binding as the view sees it: a command entry and
// a destroy entry (command 2 tells it the view goes).
struct FxRendererLink {
    int(__cdecl *command)(FxRendererLink *link, int code, void *data);
    void(__cdecl *destroy)(FxRendererLink *link);
    // Set while the realtime renderer draws the frames itself: the raster
    // step hands it the target and the job (command 11) instead of drawing.
    int32_t draws;
    Layer *target;
};

FxView *CreateView(const int32_t descriptor[13], void *styleTable, uint32_t flags, HWND window, const SIZE *client,
                   void *reserved);
void DestroyView(FxView *view);
int AttachViewToWindow(FxView *view, HWND window);
int SetViewRect(FxView *view, const SIZE *size);
void WindowToVirtual(const FxView *view, POINT *pt, int width, int height);
