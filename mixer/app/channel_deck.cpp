#include "channel_deck.h"
#include "engine_calls.h"

int KindOfSource(const std::string &video)
{
    if (video.find("dev:") == std::string::npos) return SOURCE_FILE;
    return video.find("DV") != std::string::npos ? SOURCE_DV_DEVICE : SOURCE_DEVICE;
}

void ChannelDeck::Reset()
{
    for (int n = 1; n <= CHANNELS; ++n) ch[n] = Channel();
    preview = -1;
    onAir = 0;
    switching = 0;
    encoding = 0;
    slideShow = backgroundMusic = 0;
    imagePosition = 0;
}

void ChannelDeck::Buttons(int n, int a, int b, int c, int d, int e, int f)
{
    const int s[6] = {a, b, c, d, e, f};
    view_->SetChannelButtons(n, s);
}

void ChannelDeck::ResetChannelButtons(int n)
{
    Buttons(n, 1, 1, 1, 1, 1, 1);
}

bool ChannelDeck::Guarded(int) const
{
    /* One guard for every transport command (the operator's buttons do
     * nothing while the scheduler drives the mixer). */
    return remoteMode && !remoteCommand;
}

bool ChannelDeck::NoTransport(int n) const
{
    const Channel &c = ch[n];
    if (!c.open) return true;
    if (c.kind == SOURCE_DEVICE) return true;
    if (c.kind == SOURCE_DV_DEVICE && c.duration == 0) return true;
    if (n == 5 && backgroundMusic) return true;
    return false;
}

void ChannelDeck::RemoveFromOrder(int n)
{
    int out = 0;
    for (int i = 0; i < CHANNELS; ++i)
        if (startOrder[i] != n && startOrder[i] != 0) startOrder[out++] = startOrder[i];
    while (out < CHANNELS) startOrder[out++] = 0;
}

void ChannelDeck::ForgetStoppedChannel(int n)
{
    if (ch[n].state == CHSTATE_STOPPED && n != onAir) RemoveFromOrder(n);
}

void ChannelDeck::ForgetPausedChannel(int n)
{
    if (ch[n].state == CHSTATE_PAUSED && n != onAir) RemoveFromOrder(n);
}

void ChannelDeck::LimitPlayingChannels(int n)
{
    int running = 0;
    for (int k = 1; k <= CHANNELS; ++k)
        if (ch[k].state == CHSTATE_RUNNING && ch[k].kind == SOURCE_FILE) ++running;
    if (running > 2) {
        for (int i = CHANNELS - 1; i >= 0; --i) {
            int k = startOrder[i];
            if (k == 0 || k == onAir) continue;
            OnPause(k);
            break;
        }
    }
    if (ch[n].state == CHSTATE_RUNNING && n != onAir) {
        RemoveFromOrder(n);
        int i = 0;
        while (i < CHANNELS && startOrder[i]) ++i;
        startOrder[i < CHANNELS ? i : 0] = n;
    }
}

bool ChannelDeck::StepSlides(int n, int step)
{
    if (n != 4 || !slideShow) return false;
    if (switching && onAir == 4) {
        view_->ShowMessage("Switching is not end.");
        return true;
    }
    if (imageCount > 0) {
        if (step < 0)
            imagePosition = imagePosition <= 0 ? imageCount - 1 : imagePosition - 1;
        else
            imagePosition = imagePosition >= imageCount - 1 ? 0 : imagePosition + 1;
        view_->ShowSlideImage(imagePosition);
    }
    return true;
}

void ChannelDeck::OnRewind(int n)
{
    if (Guarded(n)) return;
    if (StepSlides(n, -1)) return;
    if (NoTransport(n)) return;
    Buttons(n, 0, 1, 1, 1, 1, 1);
    g_engine.MyRewind((WORD)(n - 1));
    Buttons(n, 1, 1, 1, 0, 1, 1);
    ch[n].state = CHSTATE_RUNNING;
}

void ChannelDeck::OnFastForward(int n)
{
    if (Guarded(n)) return;
    if (StepSlides(n, 1)) return;
    if (NoTransport(n)) return;
    Buttons(n, 1, 1, 1, 1, 0, 1);
    g_engine.MyFastForward((WORD)(n - 1));
    Buttons(n, 1, 1, 1, 0, 1, 1);
    ch[n].state = CHSTATE_RUNNING;
}

void ChannelDeck::OnStop(int n)
{
    if (Guarded(n)) return;
    if (n == 4 && slideShow) return;
    if (NoTransport(n)) return;
    if (encoding && n == onAir) return;
    Buttons(n, 1, 0, 1, 1, 1, 1);
    g_engine.MyStop((WORD)(n - 1));
    view_->ShowChannelTime(n, 0);
    ch[n].state = CHSTATE_STOPPED;
    ForgetStoppedChannel(n);
}

void ChannelDeck::OnPause(int n)
{
    if (Guarded(n)) return;
    if (n == 4 && slideShow) return;
    if (NoTransport(n)) return;
    Buttons(n, 1, 1, 0, 1, 1, 1);
    g_engine.MyPause((WORD)(n - 1));
    ch[n].state = CHSTATE_PAUSED;
    if (!remoteMode) ForgetPausedChannel(n);
}

void ChannelDeck::OnPlay(int n)
{
    if (Guarded(n)) return;
    if (NoTransport(n)) return;
    ch[n].state = CHSTATE_RUNNING;
    if (!remoteMode) LimitPlayingChannels(n);
    if (!(n == 4 && slideShow)) Buttons(n, 1, 1, 1, 0, 1, 1);
    g_engine.MyPlay((WORD)(n - 1));
}

void ChannelDeck::ResumeOnAirChannel()
{
    if (onAir >= 1 && onAir <= CHANNELS && ch[onAir].state != CHSTATE_RUNNING) OnPlay(onAir);
}

void ChannelDeck::SetChannelIndicators(int n)
{
    for (int k = 1; k <= CHANNELS; ++k) view_->SetIndicator(k, 1);
    if (n >= 1 && n <= CHANNELS) view_->SetIndicator(n, 0);
    if (onAir >= 1 && onAir <= CHANNELS) view_->SetIndicator(onAir, 2);
}

bool ChannelDeck::OnSelectChannel(int n)
{
    if (n < 1 || n > CHANNELS || !ch[n].open || switching) return false;
    if (n == 5 && backgroundMusic) return false;
    SetChannelIndicators(n);
    g_engine.SelectChannel((WORD)(n - 1));
    preview = n;
    return true;
}

bool ChannelDeck::MayOpen(int n) const
{
    if (Guarded(n)) return false;
    return onAir != n && !switching;
}

void ChannelDeck::EmptyChannel(int n)
{
    /* The engine dropped the old source before it tried the new one. */
    ch[n] = Channel();
    RemoveFromOrder(n);
    view_->ShowChannelTime(n, 0);
    view_->ShowChannelDuration(n, 0);
    if (preview == n) preview = -1;
    if (onAir == n) onAir = 0;
    SetChannelIndicators(preview);
}

bool ChannelDeck::OpenOnChannel(int n, const std::string &video, const std::string &audio)
{
    if (!g_engine.OpenSource((WORD)(n - 1), video.c_str(), audio.c_str())) {
        ResetChannelButtons(n);
        EmptyChannel(n);
        return false;
    }
    ResetChannelButtons(n);
    Channel &c = ch[n];
    c.video = video;
    c.audio = audio;
    c.open = 1;
    c.state = 0;
    c.duration = g_engine.MyGetDuration(n - 1);
    c.kind = KindOfSource(video);
    view_->ShowChannelTime(n, 0);
    if (c.kind == SOURCE_FILE) view_->ShowChannelDuration(n, c.duration);
    if (c.duration) OnPause(n);
    else OnPlay(n);
    if (preview == -1) {
        OnSelectChannel(n);
        onAir = n;
        SetChannelIndicators(n);
    } else {
        OnSelectChannel(preview);
    }
    return true;
}

void ChannelDeck::OnPosition(int index, int seconds)
{
    if (skipNextPosition) {
        skipNextPosition = 0;
        return;
    }
    if (index >= 0 && index < CHANNELS) view_->ShowChannelTime(index + 1, seconds);
}

void ChannelDeck::ReadyChannel(int index, const std::string &video)
{
    if (index < 0 || index >= CHANNELS) return;
    int n = index + 1;
    Channel &c = ch[n];
    ResetChannelButtons(n);
    view_->ShowChannelTime(n, 0);
    c.video = video;
    c.open = 1;
    c.state = 0;
    c.duration = g_engine.MyGetDuration(index);
    c.kind = KindOfSource(video);
    if (c.kind == SOURCE_FILE) {
        view_->ShowChannelDuration(n, c.duration);
        OnPause(n);
    } else if (c.duration) {
        OnPause(n);
    } else {
        OnPlay(n);
    }
    if (preview == -1) {
        OnSelectChannel(n);
        onAir = n;
        SetChannelIndicators(n);
    }
}
