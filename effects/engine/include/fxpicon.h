// Picons: the small animated previews of the 3D mesh page, drawn off-screen
// with OpenGL into a DIB section (Wine draws OpenGL into memory bitmaps
// through OSMesa, with no display), and the animator that keeps up to ten
// of them moving on the page's picture buttons.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fxbuffer.h"

// The faces of a mesh data block as the picon renderer reads them: four
// 8-word corner records {position index, normal index, texture-coordinate
// index, 5 spare words}, then the corner count (3 or 4; anything else is
// drawn as a triangle) in word 32.
constexpr int FX_FACE_CORNER_WORDS = 8;
constexpr int FX_FACE_COUNT_WORD = 32;

struct PiconRenderer {
    HDC dc = nullptr;
    HBITMAP dib = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    uint32_t *pixels = nullptr;      // width x height, bottom row first
    int width = 0, height = 0;
    HGLRC context = nullptr;
    float camera[3] = {0.0f, 0.0f, -2.0f};
    unsigned textures[3] = {0, 0, 0};
    ByteBuffer mesh;                 // the block of the mesh being drawn
    int blendMode = 0;               // 1: inverted blending
    double opacity = 1.0;
};

// A renderer of width x height picons; the sample textures are the
// "RAWIMAGE" resources 100 (256 x 256 RGB), 101 (128 x 128 RGB) and 102
// (256 x 256 RGBA) of `resources` (a texture whose resource is missing is
// plain white).  Null when the pixel format or the context cannot be made.
PiconRenderer *StartPiconRenderer(int width, int height, HMODULE resources);
void StopPiconRenderer(PiconRenderer *renderer);
// Draws a mesh data block (kind 6) over the background texture into the
// renderer's DIB; false for a block that is not one.
bool DrawPiconMesh(PiconRenderer *renderer, const void *block, size_t size, double opacity, bool inverted);
// Builds the mesh of effect `mesh` with `params` through the mesh-effect
// table's picon object and draws it.
bool RenderPicon(PiconRenderer *renderer, const GUID &mesh, const double params[16], double opacity,
                 bool inverted);

// One key of a picon's animation: the mesh's 16 values and the opacity.
struct PiconKey {
    double values[16];
    double opacity;
};

// What a picon shows: a mesh effect and its keys.
struct PiconSource {
    GUID mesh;
    bool inverted;
    std::vector<PiconKey> keys;
};

constexpr int PICON_SLOTS = 10;
constexpr UINT PICON_MESSAGE = WM_USER + 14;   // the picture buttons' property message
constexpr WPARAM PICON_LENT = 37234;          // a bitmap for every state, lent to the button
constexpr int PICON_FIRST_CONTROL = 4000;

struct PiconSlot {
    HBITMAP dib = nullptr;
    uint32_t *pixels = nullptr;
    PiconSource source;
    int key = 0, step = 0;
};

struct PiconAnimator {
    PiconRenderer *renderer = nullptr;
    HWND page = nullptr;
    PiconSlot slots[PICON_SLOTS];
    int used = 0;
    int width = 0, height = 0;
    int body = 0;                    // 0 table effects (thirds), 1 saved effects (twentieths)
    HANDLE thread = nullptr;
    HANDLE exitEvent = nullptr;
    volatile LONG rounds = 0;        // rounds the thread has drawn
    volatile LONG paused = 0;        // 1: the thread draws nothing
};

// An animator for the picture buttons 4000..4009 of `page`, the picon size
// being the size of button 4000 less 4 pixels each way.  Null without a
// renderer (the page then works without previews).
PiconAnimator *CreatePiconAnimator(HWND page, PiconRenderer *renderer);
void DestroyPiconAnimator(PiconAnimator *animator);
// Stops a running animator, draws the first key of each source into its
// slot, hands the slot's bitmap to its button and, when `animate`, starts
// the thread that steps through the keys (body 0: thirds between keys,
// body 1: twentieths).
void StartPicons(PiconAnimator *animator, const std::vector<PiconSource> &sources, int body, bool animate);
void StopPicons(PiconAnimator *animator);
// Holds the animation between frames, and lets it go on.
void PausePicons(PiconAnimator *animator);
void ResumePicons(PiconAnimator *animator);
