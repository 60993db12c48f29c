/*
 * PreviewPlayer: one medium at a time on a filter graph built by the
 * system's graph manager (RenderFile), shown in an owner window.
 * Not thread-safe: one thread, the one that made COM ready for it.
 */
#ifndef GLANCER_PREVIEW_PLAYER_H
#define GLANCER_PREVIEW_PLAYER_H

#include <windows.h>
#include <control.h>
#include <strmif.h>

class PreviewPlayer {
public:
    enum PlayState { kStopped = 0, kPaused = 1, kRunning = 2 };
    static constexpr LONGLONG kUnitsPerSecond = 10000000; /* 100 ns units */

    PreviewPlayer() = default;
    ~PreviewPlayer();
    PreviewPlayer(const PreviewPlayer &) = delete;
    PreviewPlayer &operator=(const PreviewPlayer &) = delete;

    bool Open(const char *ansiPath);
    void ReleaseAll();
    void Run();
    void Pause();
    void Stop();
    bool SetPosition(int seconds);
    void Rewind(int seconds);
    void Forward(int seconds);
    int Position();
    int Duration();
    HRESULT VideoSize(int *width, int *height);
    HWND SetOwner(HWND window);

    int State() const { return state_; }
    bool IsOpen() const { return graph_ != nullptr; }
    /* Ends COM for the thread if this player started it (library unload). */
    void Shutdown();

private:
    void Reposition(LONGLONG target);

    IGraphBuilder *graph_ = nullptr;
    IMediaControl *control_ = nullptr;
    IVideoWindow *window_ = nullptr;
    IBasicVideo *video_ = nullptr;
    IMediaSeeking *seeking_ = nullptr;
    int state_ = kStopped;
    HWND owner_ = nullptr;
    bool comStarted_ = false;
};

#endif
