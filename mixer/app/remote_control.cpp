#include "remote_control.h"
#include "engine_calls.h"
#include "quiet_boxes.h"
#include <cstdint>
#include <memory>

using namespace remote;

bool SplitSourceDescriptor(const std::string &descriptor, std::string *video, std::string *audio, int *number)
{
    std::string v, a;
    int n = 0;
    if (!SplitSourceText(descriptor, v, a, n)) return false;
    *video = v;
    *audio = a;
    *number = n;
    return true;
}

namespace {
/* (CH << 16) | low, computed without shifting a negative value. */
LPARAM Packed(int ch, int low)
{
    return static_cast<LPARAM>(static_cast<int32_t>((static_cast<uint32_t>(ch) << 16) | static_cast<uint32_t>(low)));
}
} // namespace

void RemoteControl::Reply(int code, LPARAM arg)
{
    /* A scheduler window that has gone (or was never known) is looked up
     * again by its title, so a reply is not lost while a scheduler runs. */
    if (!scheduler_ || !IsWindow(scheduler_)) scheduler_ = hooks.findScheduler ? hooks.findScheduler() : nullptr;
    if (!scheduler_) return;
    if (hooks.post) hooks.post(scheduler_, code, arg);
    else PostMessageA(scheduler_, kMixerRemoteMessage, static_cast<WPARAM>(code), arg);
}

LRESULT RemoteControl::OnRemoteCommand(WPARAM wp, LPARAM lp)
{
    const int code = static_cast<int>(wp);
    if (code < RC_HELLO || code > RC_MAXIMIZE) return -1;
    const int32_t arg = Arg(lp);
    const int ch = arg >> 16;
    const bool chOk = ch >= 0 && ch < CHANNELS;
    std::unique_ptr<QuietBoxes> quiet;
    if (deck_.remoteMode) quiet.reset(new QuietBoxes);

    /* Steps 1-3 of a flagged request: the guarded commands may run. */
    auto flagged = [&](const std::function<void()> &action) {
        if (deck_.remoteMode) deck_.remoteCommand = 1;
        action();
        if (deck_.remoteMode) deck_.remoteCommand = 0;
    };

    switch (code) {
    case RC_HELLO:
        deck_.remoteMode = 1;
        scheduler_ = ArgWindow(lp);
        if (scheduler_) Reply(RC_HELLO_ACK, WindowArg(hooks.ownWindow ? hooks.ownWindow() : nullptr));
        break;
    case RC_PAUSE_CHANNEL:
        flagged([&] { if (chOk) deck_.OnPause(ch + 1); });
        Reply(RC_PAUSE_CHANNEL_DONE, lp);
        break;
    case RC_PLAY_CHANNEL:
        flagged([&] {
            if (playRequests == 1 && chOk) deck_.OnPlay(ch + 1);
            ++playRequests;
        });
        Reply(RC_PLAY_CHANNEL_DONE, lp);
        break;
    case RC_PLAY_CHANNEL_NOW:
        flagged([&] { if (chOk) deck_.OnPlay(ch + 1); });
        Reply(RC_PLAY_CHANNEL_NOW_DONE, lp);
        break;
    case RC_SELECT_CHANNEL:
        flagged([&] { if (chOk) deck_.OnSelectChannel(ch + 1); });
        Reply(RC_SELECT_CHANNEL_DONE, lp);
        break;
    case RC_TITLE_ON:
        flagged([&] {
            if (hooks.titleIsOn && hooks.titleIsOn()) {
                if (hooks.reapplyTitle) hooks.reapplyTitle();
            } else if (hooks.toggleTitle) {
                hooks.toggleTitle();
            }
        });
        Reply(RC_TITLE_ON_DONE, lp);
        break;
    case RC_TITLE_OFF:
        flagged([&] {
            if (hooks.titleIsOn && hooks.titleIsOn() && hooks.toggleTitle) hooks.toggleTitle();
        });
        Reply(RC_TITLE_OFF_DONE, lp);
        break;
    case RC_ENCODE_START: {
        /* Start starts (a running recording goes on); the reply says whether
         * the encoder runs. */
        bool ok = false;
        flagged([&] { ok = hooks.setEncoding && hooks.setEncoding(true); });
        Reply(ok ? RC_ENCODE_START_DONE : RC_ENCODE_START_FAILED, lp);
        break;
    }
    case RC_ENCODE_STOP:
        flagged([&] { if (hooks.setEncoding) hooks.setEncoding(false); });
        Reply(RC_ENCODE_STOP_DONE, lp);
        break;
    case RC_SWITCH:
        flagged([&] {
            int transition = arg >> 16;
            int seconds = arg & kField12Max;
            /* A pattern the engine does not have is not started. */
            if (transition < 0 || transition > kTransitionMax) return;
            switcher_.transition = transition;
            switcher_.StartSwitch(seconds ? static_cast<double>(seconds) : TRANS_TIME_MIN);
        });
        Reply(RC_SWITCH_DONE, lp);
        break;
    case RC_SEEK_CHANNEL: {
        int c = arg >> 14;
        int seconds = arg & kField12Max;
        /* The engine's seek takes channels 0-4 only. */
        if (c >= 0 && c < CHANNELS && deck_.ch[c + 1].open) g_engine.MySetPosition(c, seconds * 1000000);
        Reply(RC_SEEK_CHANNEL_DONE, lp);
        break;
    }
    case RC_MIXER_OFF:
        if (hooks.resetMixer) hooks.resetMixer();
        Reply(RC_MIXER_OFF_DONE, 0);
        break;
    case RC_ONAIR_START:
        Reply(RC_ONAIR_START_DONE, 0);
        break;
    case RC_TAKE_CONTROL:
        deck_.remoteMode = 1;
        deck_.remoteCommand = 1;
        break;
    case RC_HOLD_ON:
        flagged([&] { hold = 1; });
        break;
    case RC_HOLD_OFF:
        flagged([&] { hold = 0; });
        break;
    case RC_SCHEDULER_CLOSING:
        if (hooks.closeMixer) hooks.closeMixer();
        break;
    case RC_MINIMIZE:
        flagged([&] { if (hooks.showWindow) hooks.showWindow(SW_MINIMIZE); });
        break;
    case RC_MAXIMIZE:
        flagged([&] { if (hooks.showWindow) hooks.showWindow(SW_MAXIMIZE); });
        break;
    default:
        break;
    }
    if (quiet) quietTexts.insert(quietTexts.end(), quiet->Texts().begin(), quiet->Texts().end());
    return -1;
}

LRESULT RemoteControl::OnCopyData(HWND, const COPYDATASTRUCT *cds)
{
    /* A descriptor is sent synchronously: the sender waits for us, so no
     * box may wait for an operator here, whatever the mode. */
    QuietBoxes quiet;
    const int32_t data = cds ? static_cast<int32_t>(cds->dwData) : 0;
    const int kind = data & kField12Max;
    const int index = data >> 16;
    std::string text;
    const bool readable = DescriptorText(cds, text);
    const int wasCommand = deck_.remoteCommand;
    if (deck_.remoteMode) deck_.remoteCommand = 1;
    LRESULT result = 0;

    if (kind == kDescriptorSource) {
        std::string video, audio;
        int number = 0;
        if (!readable || !SplitSourceDescriptor(text, &video, &audio, &number) || index < 0 || index >= CHANNELS ||
            !engineReady) {
            Reply(RC_SOURCE_FAILED, Packed(index, 0));
        } else if (!g_engine.OpenSource(static_cast<WORD>(index), video.c_str(), audio.c_str())) {
            /* The engine dropped the old source before it tried the new one. */
            deck_.ResetChannelButtons(index + 1);
            deck_.EmptyChannel(index + 1);
            Reply(RC_SOURCE_FAILED, Packed(index, number));
        } else {
            deck_.ReadyChannel(index, video);
            deck_.ch[index + 1].audio = audio;
            scheduler_ = hooks.findScheduler ? hooks.findScheduler() : nullptr;
            if (number) Reply(RC_SOURCE_LOADED_ITEM, Packed(index, number));
            else Reply(RC_SOURCE_LOADED, index);
            result = 1;
        }
    } else {
        if (readable && !text.empty() && hooks.openTitle && hooks.openTitle(text)) {
            Reply(RC_TITLE_LOADED, index);
            result = 1;
        } else {
            Reply(RC_TITLE_FAILED, index);
        }
    }
    deck_.remoteCommand = wasCommand;
    quietTexts.insert(quietTexts.end(), quiet.Texts().begin(), quiet.Texts().end());
    return result;
}
