/*
 * CDXSurfCombiner: lays the current title over the programme picture (the
 * output surface, on every frame-clock tick while titles are on) and over
 * the title preview (its own preview surface, from PreviewTitle).
 *
 * The title-box control exports a page as "~lmTemp.lme" (programme) or
 * "~lmPrevTemp.LME" (preview) in the user's temporary folder; loading reads
 * one of them into the matching slot and premultiplies its pixels; drawing
 * blends image layers and soft text shadows over the target, draws text
 * layers with GDI through the target's device-context lock, moves moving
 * layers one step per draw and plays CG clips one frame per 50 ms.
 *
 * Threads: the host thread loads both slots and draws the preview; the
 * frame-clock thread draws the programme slot.  Each slot has its own lock,
 * held while a load installs the new title and while a draw runs, so a tick
 * never draws from a slot half replaced (files are read and message boxes
 * shown outside it).  The clip timers only set the slot's next-frame flag.
 */
#ifndef CORVENGINE_COMBINER_H
#define CORVENGINE_COMBINER_H

#include <windows.h>
#include <atomic>
#include <memory>
#include <vector>
#include "surface_access.h"
#include "title_file.h"
#include "cga_file.h"
#include "title_font_bounds.h"

/* The clip timer: a periodic multimedia timer that only raises a flag. */
class CMultimediaTimer2 {
public:
    virtual ~CMultimediaTimer2();
    /* Begin a timer period and start the periodic event; 0 or the error. */
    MMRESULT Start();
    /* Kill the event (waits for a running callback) and end the period. */
    void Stop();

    std::atomic<int32_t> nextFrame{0};   /* set by the callback, cleared by the drawer */
    int periodBegun = 0;
    std::atomic<UINT> eventId{0};        /* 0 while stopped */
    int period = 50;                     /* milliseconds */
};

enum { COMBINER_PROGRAMME = 0, COMBINER_PREVIEW = 1 };

/* Where a layer's pixel block holds anything: for each block row (in the
 * block's own bottom-up order) the columns [first, end) from its first to
 * its last non-zero pixel; first == end for a row of nothing.  Worked out
 * once when the title loads, so a draw reads only what can change the
 * picture (a soft shadow is mostly empty). */
struct BlockSpans {
    std::vector<int32_t> first, end;
};

/* What a text layer's GDI passes (shadow, outline, text) do to the pixels
 * under it, learnt once by drawing them over known backgrounds: each byte
 * is either set to a value or left as it was, so a draw is
 * dst = (dst & keep) | value over the region, whatever the picture under
 * it.  Text that blends with what is under it (smoothed glyphs) cannot be
 * learnt that way and is drawn with GDI every time (exact stays false), as
 * is learnt text whose region reaches past the frame's left or top edge. */
struct TextCoverage {
    bool exact = false;
    int forW = 0, forH = 0;              /* working size it was made for */
    int left = 0, top = 0;               /* region's corner from the layer's position */
    int width = 0, height = 0;
    std::vector<uint32_t> keep, value;   /* per pixel, top row first */
    std::vector<int32_t> first, end;     /* per row, the columns touched */
};

/* One title slot.  Everything below is guarded by lock. */
struct TitleSlot {
    TitleSlot() { InitializeCriticalSection(&lock); }
    ~TitleSlot() { timer.Stop(); DeleteCriticalSection(&lock); }

    CRITICAL_SECTION lock;
    TitleData title;
    std::vector<int32_t> counters;       /* motion steps; -1 = finished */
    std::vector<BlockSpans> spans;       /* per layer; empty for a layer without pixels */
    std::vector<TextCoverage> text;      /* per layer; exact only for text layers learnt */

    /* CG clip of the slot (the last clip layer of the title owns it). */
    std::unique_ptr<CgaReader> clip;     /* open while an animated clip plays */
    CgaFileHeader clipHeader = {};
    int clipLayer = -1;                  /* layer index, -1 = none */
    bool clipStill = false;              /* a still frame sits in frame */
    bool clipShown = false;              /* frame holds a picture to blend */
    int frameCounter = 0, loopCounter = 0;
    std::vector<uint32_t> frame;         /* premultiplied, 320 x 240, top row first */
    CMultimediaTimer2 timer;
};

class CDXSurfCombiner {
public:
    CDXSurfCombiner() = default;
    virtual ~CDXSurfCombiner();

    /* Make the transform and surface factories and the preview surface
     * (working width x height); shows the failure and returns its error. */
    HRESULT Init(int width, int height);
    /* Stop both clips, empty both slots, release the surfaces. */
    void Release();

    /* Read the slot's title export file.  0 when loaded, also when the file
     * could not be opened (after its message); -1 for a file that is not a
     * title export file or does not hold what it claims (after its
     * message).  A failed load leaves the slot empty. */
    int LoadTitle(int slot);
    int LoadProgramme() { return LoadTitle(COMBINER_PROGRAMME); }
    int LoadPreview() { return LoadTitle(COMBINER_PREVIEW); }

    /* Draw the slot's layers over target; S_OK when nothing was to draw,
     * else the last surface result (a failed lock ends the pass). */
    HRESULT DrawTitles(int slot, EngineSurface *target);
    HRESULT DrawProgramme(EngineSurface *target) { return DrawTitles(COMBINER_PROGRAMME, target); }
    HRESULT DrawPreview() { return DrawTitles(COMBINER_PREVIEW, preview); }

    /* A text layer's passes drawn with GDI at (x, y), as when its coverage
     * is not learnt. */
    HRESULT DrawText(const TitleLayer &l, int x, int y, EngineSurface *target);

    /* The frame clock's title hook. */
    static void DrawProgrammeHook(EngineSurface *output);

    /* Full path of the slot's file in the temporary folder. */
    static void TitlePath(int slot, char *path, size_t size);

    EngineSurface *preview = nullptr;
    int w = 0, h = 0;                    /* working size */
    std::atomic<int> lastSlot{COMBINER_PROGRAMME};
    TitleSlot slots[2];

private:
    void Clear(TitleSlot &s);
    HRESULT DrawLayer(TitleSlot &s, size_t index, EngineSurface *target);
    /* Learn a text layer's coverage for working size w x h (left not exact
     * when it cannot be learnt). */
    static void LearnText(const TitleLayer &l, int w, int h, TextCoverage *cov);
    HRESULT DrawClip(TitleSlot &s, EngineSurface *target);
};

extern CDXSurfCombiner g_combiner;

/* Position of a layer for this draw, advancing its motion counter (see the
 * combiner's notes): still layers stand at from, moving layers step from
 * from to to in duration x 30 draws and then stay at to (counter -1). */
void TitleLayerPosition(const TitleLayerRecord &r, int32_t *counter, int *x, int *y);

#endif
