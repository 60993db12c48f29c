/*
 * ChannelDeck: the mixing state of the main window's five channels and the
 * rules of their transport, sources and selection, without a window.
 *
 * Channels are numbered 1..5 here; the engine gets index = number - 1.  The
 * deck calls the engine through g_engine and tells its view what to show
 * (button states, time labels, indicators, messages); the main window is
 * one view, the tests record another.
 *
 * Guards: every transport command and the open command do nothing in the
 * remote-controlled mode unless a remote command runs (remoteCommand), on a
 * channel without a source, on a live capture channel (SOURCE_DEVICE) and on
 * a DV channel of duration 0; on channel 5 while the background music is on.
 * At most two file channels play at once: a third pauses the last started
 * channel that is not on air (startOrder).
 */
#ifndef CORV_MIXER_CHANNEL_DECK_H
#define CORV_MIXER_CHANNEL_DECK_H

#include <string>

constexpr int SOURCE_FILE = 1;
constexpr int SOURCE_DEVICE = 0x10000000;
constexpr int SOURCE_DV_DEVICE = 0x10000001;
constexpr int CHSTATE_STOPPED = 1, CHSTATE_PAUSED = 2, CHSTATE_RUNNING = 3;
constexpr int CHANNELS = 5;

/* Button numbers of a channel, in the order of SetChannelButtons. */
enum { BTN_REWIND, BTN_STOP, BTN_PAUSE, BTN_PLAY, BTN_FORWARD, BTN_OPEN };

/* What the deck shows. */
class DeckView {
public:
    virtual ~DeckView() = default;
    /* Each of the six buttons: 0 down, 1 up. */
    virtual void SetChannelButtons(int n, const int states[6]) = 0;
    virtual void ShowChannelTime(int n, int seconds) = 0;
    virtual void ShowChannelDuration(int n, int seconds) = 0;
    /* Indicator n: 0 down (selected), 1 up, 2 on air. */
    virtual void SetIndicator(int n, int state) = 0;
    virtual void ShowMessage(const char *text) = 0;
    /* The slide-show image at the list position on channel 4. */
    virtual void ShowSlideImage(int position) = 0;
};

/* The kind a source name gives ("dev:" device, "DV" in it a DV device). */
int KindOfSource(const std::string &video);

class ChannelDeck {
public:
    explicit ChannelDeck(DeckView *view) : view_(view) {}

    struct Channel {
        int open = 0;
        int kind = SOURCE_FILE;
        int state = 0;
        int duration = 0;
        std::string video, audio;
    };
    Channel ch[CHANNELS + 1];   /* 1..5 */
    int preview = -1;           /* selected channel, -1 none */
    int onAir = 0;              /* programme channel, 0 none */
    int switching = 0;
    int remoteMode = 0, remoteCommand = 0;
    int encoding = 0;
    int slideShow = 0, backgroundMusic = 0;
    int imageCount = 0, imagePosition = 0;
    int skipNextPosition = 0;
    int startOrder[CHANNELS] = {};

    /* Back to the state after a start (channels empty, nothing selected);
     * the start order is kept, as the window's reset keeps it. */
    void Reset();

    void OnRewind(int n);
    void OnStop(int n);
    void OnPause(int n);
    void OnPlay(int n);
    void OnFastForward(int n);
    void ResumeOnAirChannel();
    void ResetChannelButtons(int n);

    void LimitPlayingChannels(int n);
    void ForgetStoppedChannel(int n);
    void ForgetPausedChannel(int n);

    /* Selection as preview (and the indicators). */
    bool OnSelectChannel(int n);
    void SetChannelIndicators(int n);

    /* Takes channel n out of the start order (the others move up). */
    void RemoveFromOrder(int n);

    /* Whether the operator may open a source on channel n now. */
    bool MayOpen(int n) const;
    /* Opens video/audio on channel n as the source dialog or a drop does:
     * on success records it, stands a file at its first frame (paused) or
     * plays a source of no duration, and selects; on failure the engine
     * has told why and the channel is left empty.  True on success. */
    bool OpenOnChannel(int n, const std::string &video, const std::string &audio);
    /* An engine position report (channel index, seconds). */
    void OnPosition(int index, int seconds);
    /* The bookkeeping after the engine has opened a source on channel
     * index 0..4 for a remote load or a project: buttons and times shown,
     * duration and kind recorded, a file (or a source with a duration)
     * paused, a live source played; the first channel readied becomes the
     * selection and the programme.  Other indexes do nothing. */
    void ReadyChannel(int index, const std::string &video);
    /* Forgets channel n's source (the engine has dropped it already). */
    void EmptyChannel(int n);

private:
    bool Guarded(int n) const;
    bool NoTransport(int n) const;
    /* Channel 4 showing slides steps one image back (step < 0) or on
     * instead of moving the clip; answers whether the slides took the key. */
    bool StepSlides(int n, int step);
    void Buttons(int n, int a, int b, int c, int d, int e, int f);
    DeckView *view_;
};

#endif
