/*
 * RemoteControl: the mixer's side of the scheduler's remote control.  The
 * scheduler ("Tarnell") posts MixerRemoteMessage requests (window message
 * 3000, code in wParam, packed argument in lParam) and sends source and
 * title descriptors by WM_COPYDATA; this class carries each one out on the
 * ChannelDeck and the SwitchCore and posts the reply (see
 * scheduler/protocol/remote_protocol.h for the codes and the packing).
 *
 * What needs the window (encoding, titles, reset, closing, showing) it asks
 * through RemoteHooks; an unset hook does nothing.  Replies are posted,
 * never sent, to the scheduler window it keeps: the one RC_HELLO names,
 * refreshed by the title "Tarnell" after each source load, and looked up by
 * that title whenever the one kept is gone.
 *
 * Remote mode (deck.remoteMode) starts with "TARNELL", RC_HELLO or
 * RC_TAKE_CONTROL and lasts for the window's life.  While it is on, each
 * request runs with deck.remoteCommand raised (the transport's guard lets
 * it through) and under QuietBoxes: nothing waits on a message box, a
 * failure is answered with a failure reply.  A descriptor is read within
 * cbData and its 260 bytes, must end in a zero there and hold exactly
 * three fields; anything else is refused with RC_SOURCE_FAILED.
 *
 * UI thread only, one request at a time in message order.
 */
#ifndef CORV_MIXER_REMOTE_CONTROL_H
#define CORV_MIXER_REMOTE_CONTROL_H

#include <functional>
#include <string>
#include <vector>
#include "channel_deck.h"
#include "switch_core.h"
#include "protocol/remote_protocol.h"

struct RemoteHooks {
    /* Posts a reply (PostMessage in the program). */
    std::function<void(HWND to, int code, LPARAM arg)> post;
    /* The top-level window titled "Tarnell", or null. */
    std::function<HWND()> findScheduler;
    /* The mixer's own window (sent with RC_HELLO_ACK). */
    std::function<HWND()> ownWindow;
    /* Releases and restarts the engine with empty channels. */
    std::function<void()> resetMixer;
    /* Starts (true) or stops (false) encoding; false when it could not. */
    std::function<bool(bool start)> setEncoding;
    /* The programme title: is it on, switch it, apply it again. */
    std::function<bool()> titleIsOn;
    std::function<void()> toggleTitle, reapplyTitle;
    /* Opens a title file in the title-box control; false when it could not. */
    std::function<bool(const std::string &path)> openTitle;
    /* Ends the mixer (enable and close the main window). */
    std::function<void()> closeMixer;
    /* ShowWindow of the main window. */
    std::function<void(int cmd)> showWindow;
};

/* Splits "video,audio,nnnn" into its three fields and the item number (the
 * last four characters of the third field); false for any other form. */
bool SplitSourceDescriptor(const std::string &descriptor, std::string *video, std::string *audio, int *number);

class RemoteControl {
public:
    RemoteControl(ChannelDeck &deck, SwitchCore &switcher) : deck_(deck), switcher_(switcher) {}

    RemoteHooks hooks;

    /* The engine was (re)started: the next RC_PLAY_CHANNEL plays. */
    void OnEngineStarted() { playRequests = 1; engineReady = 1; }
    /* Before the engine's first start no source is opened. */
    int engineReady = 0;

    /* Message 3000; always -1. */
    LRESULT OnRemoteCommand(WPARAM code, LPARAM arg);
    /* WM_COPYDATA; 1 when the source or title was loaded, else 0. */
    LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT *cds);

    HWND SchedulerWindow() const { return scheduler_; }
    int hold = 0;
    int playRequests = 1;
    /* Texts of the message boxes closed while requests ran (newest last). */
    std::vector<std::string> quietTexts;

private:
    void Reply(int code, LPARAM arg);
    bool LoadSource(int index, const std::string &text, LPARAM *reply, int *replyCode);
    ChannelDeck &deck_;
    SwitchCore &switcher_;
    HWND scheduler_ = nullptr;
};

#endif
