#include "preview_player.h"

#include <uuids.h>

namespace {

/* The automation "false" of the video window properties. */
constexpr long kOaFalse = 0;

template <typename T> void release(T *&p)
{
    if (p) {
        p->Release();
        p = nullptr;
    }
}

/* Signed 64-bit division truncating toward zero, as whole seconds. */
int to_seconds(LONGLONG units)
{
    return static_cast<int>(units / PreviewPlayer::kUnitsPerSecond);
}

} // namespace

PreviewPlayer::~PreviewPlayer()
{
    ReleaseAll();
}

void PreviewPlayer::Shutdown()
{
    ReleaseAll();
    if (comStarted_) {
        CoUninitialize();
        comStarted_ = false;
    }
}

void PreviewPlayer::ReleaseAll()
{
    if (window_) {
        /* The video window must not stay a child of the owner after the
         * graph goes. */
        window_->put_Visible(kOaFalse);
        window_->put_Owner(0);
    }
    release(control_);
    release(window_);
    release(video_);
    release(seeking_);
    release(graph_);
}

HWND PreviewPlayer::SetOwner(HWND window)
{
    if (window)
        owner_ = window;
    return window;
}

bool PreviewPlayer::Open(const char *ansiPath)
{
    ReleaseAll();
    if (!ansiPath)
        return false;
    if (!comStarted_) {
        HRESULT hr = CoInitialize(nullptr);
        comStarted_ = SUCCEEDED(hr); /* S_FALSE too needs its CoUninitialize */
    }

    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                  IID_IGraphBuilder, reinterpret_cast<void **>(&graph_));
    if (SUCCEEDED(hr))
        hr = graph_->QueryInterface(IID_IMediaControl, reinterpret_cast<void **>(&control_));
    if (SUCCEEDED(hr))
        hr = graph_->QueryInterface(IID_IVideoWindow, reinterpret_cast<void **>(&window_));
    if (SUCCEEDED(hr))
        hr = graph_->QueryInterface(IID_IBasicVideo, reinterpret_cast<void **>(&video_));
    if (SUCCEEDED(hr))
        hr = graph_->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void **>(&seeking_));

    if (SUCCEEDED(hr)) {
        WCHAR wide[MAX_PATH] = {0};
        /* A path that does not fit the 260-character buffer is refused
         * rather than cut. */
        hr = MultiByteToWideChar(CP_ACP, 0, ansiPath, -1, wide, MAX_PATH) ? S_OK : E_INVALIDARG;
        if (SUCCEEDED(hr))
            hr = graph_->RenderFile(wide, nullptr);
    }

    if (SUCCEEDED(hr)) {
        /* A medium without pictures has no video window to place. */
        HRESULT vw = window_->put_AutoShow(kOaFalse);
        if (SUCCEEDED(vw) && owner_) {
            RECT rc = {0, 0, 0, 0};
            GetClientRect(owner_, &rc);
            hr = window_->put_Owner(reinterpret_cast<OAHWND>(owner_));
            if (SUCCEEDED(hr))
                hr = window_->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS);
            if (SUCCEEDED(hr))
                hr = window_->SetWindowPosition(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
            if (SUCCEEDED(hr))
                hr = window_->put_MessageDrain(reinterpret_cast<OAHWND>(owner_));
        }
        if (SUCCEEDED(hr))
            hr = control_->Pause();
        if (SUCCEEDED(hr) && SUCCEEDED(vw) && owner_)
            hr = window_->put_WindowState(SW_SHOW);
    }

    if (FAILED(hr)) {
        ReleaseAll();
        return false;
    }
    return true;
}

void PreviewPlayer::Run()
{
    if (!control_)
        return;
    state_ = kRunning;
    control_->Run();
}

void PreviewPlayer::Pause()
{
    if (!control_)
        return;
    state_ = kPaused;
    control_->Pause();
}

void PreviewPlayer::Stop()
{
    if (!control_)
        return;
    state_ = kStopped;
    SetPosition(1);
    control_->Stop();
}

bool PreviewPlayer::SetPosition(int seconds)
{
    if (!seeking_)
        return false;
    LONGLONG duration = 0;
    seeking_->GetDuration(&duration);
    LONGLONG target = static_cast<LONGLONG>(seconds) * kUnitsPerSecond;
    if (target < 0 || target > duration)
        return false;
    seeking_->SetPositions(&target, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_AbsolutePositioning);
    return true;
}

void PreviewPlayer::Reposition(LONGLONG target)
{
    LONGLONG duration = 0;
    seeking_->GetDuration(&duration);
    if (target < 0)
        target = 0;
    if (target > duration)
        target = duration;
    seeking_->SetPositions(&target, AM_SEEKING_AbsolutePositioning, &duration, AM_SEEKING_AbsolutePositioning);
    if (state_ == kRunning)
        control_->Run();
    else
        control_->Pause();
}

void PreviewPlayer::Rewind(int seconds)
{
    if (!seeking_ || !control_)
        return;
    LONGLONG current = 0, stop = 0;
    seeking_->GetPositions(&current, &stop);
    Reposition(current - static_cast<LONGLONG>(seconds) * kUnitsPerSecond);
}

void PreviewPlayer::Forward(int seconds)
{
    if (!seeking_ || !control_)
        return;
    LONGLONG current = 0, stop = 0;
    seeking_->GetPositions(&current, &stop);
    Reposition(current + static_cast<LONGLONG>(seconds) * kUnitsPerSecond);
}

int PreviewPlayer::Position()
{
    if (!seeking_)
        return 0;
    LONGLONG current = 0, stop = 0;
    if (FAILED(seeking_->GetPositions(&current, &stop)))
        return 0;
    return to_seconds(current);
}

int PreviewPlayer::Duration()
{
    if (!seeking_)
        return -1;
    LONGLONG current = 0, stop = 0;
    if (FAILED(seeking_->GetPositions(&current, &stop)))
        return -1;
    return to_seconds(stop);
}

HRESULT PreviewPlayer::VideoSize(int *width, int *height)
{
    /* The outputs always hold an answer, also when nothing is open. */
    if (width)
        *width = 0;
    if (height)
        *height = 0;
    if (!video_ || !width || !height)
        return E_FAIL;
    LONG w = 0, h = 0;
    HRESULT hr = video_->GetVideoSize(&w, &h);
    if (SUCCEEDED(hr)) {
        *width = w;
        *height = h;
    }
    return hr;
}
