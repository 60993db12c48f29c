/*
 * Channel sources for frame-clock and painter tests that need no decoding:
 * a CDecoder whose surface is filled with known pixels by the test (or, when
 * played, by its own thread that draws a changing picture through the
 * surface's device-context lock the way the video callbacks do and wakes the
 * channel painter), placed straight into the engine's channel table.
 */
#ifndef CORV_ENGINE_SYNTHETIC_SOURCE_H
#define CORV_ENGINE_SYNTHETIC_SOURCE_H

#include <windows.h>
#include <atomic>
#include <cstdint>
#include <vector>
#include "engine.h"
#include "decoder.h"
#include "painter.h"
#include "surface_rows.h"

/* Records the colour offsets the engine gives a source's HSL filter. */
struct FakeHSL : IHSLEffect {
    std::atomic<LONG> refs{1};
    std::atomic<int> calls{0};
    int hue = -999, sat = -999, light = -999;
    HRESULT WINAPI QueryInterface(REFIID, void **p) override { *p = nullptr; return E_NOINTERFACE; }
    ULONG WINAPI AddRef() override { return ++refs; }
    ULONG WINAPI Release() override { LONG r = --refs; if (!r) delete this; return r; }
    HRESULT WINAPI GetHSL(int *h, int *s, int *l) override { *h = hue; *s = sat; *l = light; return S_OK; }
    HRESULT WINAPI SetHSL(int h, int s, int l) override { hue = h; sat = s; light = l; calls++; return S_OK; }
};

class SyntheticSource : public CDecoder {
public:
    explicit SyntheticSource(int channel)
    {
        channelIndex = channel;
        hsl = new FakeHSL;
        hsl->AddRef();
        hslFilter = hsl;
    }
    ~SyntheticSource() override { Close(); hsl->Release(); }
    BOOL Open(const char *, const char *) override { return TRUE; }
    void Close() override
    {
        running = false;
        if (thread) { WaitForSingleObject(thread, INFINITE); CloseHandle(thread); thread = nullptr; }
    }
    int GetDuration() override { return 10; }
    int Play(int) override
    {
        plays++;
        if (!playing || thread) return 1;
        running = true;
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        return 1;
    }

    /* Put given pixels (width x height, 0xAARRGGBB) into the surface. */
    void Put(const std::vector<uint32_t> &px)
    {
        EngineRows r;
        if (FAILED(EngineLockRows(surface, INFINITE, TRUE, &r))) return;
        for (int y = 0; y < r.height; y++)
            memcpy(r.first + (ptrdiff_t)y * r.pitch, &px[(size_t)y * r.width], (size_t)r.width * 4);
        EngineUnlockRows(&r);
    }

    bool playing = false;          /* Play starts the drawing thread */
    std::atomic<int> plays{0};
    std::atomic<unsigned> drawn{0};
    FakeHSL *hsl;

private:
    static DWORD WINAPI Run(void *arg)
    {
        auto *self = static_cast<SyntheticSource *>(arg);
        unsigned n = 0;
        while (self->running) {
            HDC dc;
            void *token;
            if (SUCCEEDED(EngineSurfaceLockDC(self->surface, 40, TRUE, &dc, &token))) {
                int w, h;
                EngineSurfaceSize(self->surface, &w, &h);
                HBRUSH b = CreateSolidBrush(RGB(40 * self->channelIndex, n & 255, 255 - (n & 255)));
                RECT rc = {0, 0, w, h};
                FillRect(dc, &rc, b);
                DeleteObject(b);
                EngineSurfaceUnlockDC(token);
                self->drawn++;
            }
            if (g_channelPainter[self->channelIndex]) g_channelPainter[self->channelIndex]->Signal();
            n += 7;
            Sleep(20);
        }
        return 0;
    }
    std::atomic<bool> running{false};
    HANDLE thread = nullptr;
};

/* Place a new synthetic source on a channel (the old one is deleted). */
inline SyntheticSource *PlaceSynthetic(int channel, bool playing = false)
{
    EngineDeleteChannel(channel);
    auto *s = new SyntheticSource(channel);
    s->playing = playing;
    AcquireSRWLockExclusive(&g_engine.channelLock);
    g_engine.channel[channel] = s;
    ReleaseSRWLockExclusive(&g_engine.channelLock);
    return s;
}

/* Test pictures, distinct per seed; opaque, or with varied alpha so that
 * blends of the alpha channel show too. */
inline std::vector<uint32_t> Picture(int w, int h, unsigned seed, bool opaque = true)
{
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[(size_t)y * w + x] = (uint32_t)((x * 2654435761u) ^ (y * 40503u) ^ (seed * 0x9E3779B9u)) | (opaque ? 0xFF000000u : 0u);
    return px;
}

/* A 4 x 4 grid of opaque solid colours (seed changes them all): a stretched
 * copy can be checked at the centre of every block whatever the scaling. */
const int kBlocks = 4;

inline uint32_t BlockColour(int bx, int by, unsigned seed)
{
    static const uint32_t base[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
                                    0xFFFFFF, 0x800000, 0x008000, 0x000080, 0x808000, 0x800080,
                                    0x008080, 0xC0C0C0, 0x404040, 0xFF8000};
    return 0xFF000000u | base[(by * kBlocks + bx + seed * 5) % 16];
}

inline std::vector<uint32_t> Blocks(int w, int h, unsigned seed)
{
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            px[(size_t)y * w + x] = BlockColour(x * kBlocks / w, y * kBlocks / h, seed);
    return px;
}

/* Blocks of the grid whose centre in a w x h picture (0x..RRGGBB words, top
 * row first) is not the expected colour. */
inline int WrongBlockCount(const uint32_t *px, int w, int h, unsigned seed)
{
    int wrong = 0;
    for (int by = 0; by < kBlocks; by++)
        for (int bx = 0; bx < kBlocks; bx++) {
            int x = (2 * bx + 1) * w / (2 * kBlocks), y = (2 * by + 1) * h / (2 * kBlocks);
            if ((px[(size_t)y * w + x] & 0xFFFFFF) != (BlockColour(bx, by, seed) & 0xFFFFFF)) wrong++;
        }
    return wrong;
}

inline std::vector<uint32_t> ReadSurface(EngineSurface *s)
{
    int w, h;
    EngineSurfaceSize(s, &w, &h);
    std::vector<uint32_t> px((size_t)w * h);
    EngineSurfaceRead(s, INFINITE, reinterpret_cast<DWORD *>(px.data()), w * 4);
    return px;
}

#endif
