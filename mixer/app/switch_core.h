/*
 * SwitchCore: switching the selected channel onto the programme, without a
 * window.  It works on the ChannelDeck's selection (preview, onAir,
 * switching) and drives the engine's transitions through g_engine; the
 * switch button, the T-bar and the time edit are told through SwitchView.
 *
 * Transitions: 0 is a cut (always 0.1 s), 36..43 are the picture-in-picture
 * layouts, which stay on until the switch command or the T-bar at 0 ends
 * them with a 0.1 s cut.  The T-bar has positions 0..10 (tenths of a 1 s
 * transition); a drag follows the bar at every position and never completes
 * a transition by itself: the release at the top hands the rest to the
 * engine's clock.
 */
#ifndef CORV_MIXER_SWITCH_CORE_H
#define CORV_MIXER_SWITCH_CORE_H

#include <string>
#include "channel_deck.h"

constexpr int TRANS_CUT = 0;
constexpr int TRANS_PIP_FIRST = 36, TRANS_PIP_LAST = 43;
constexpr double TRANS_TIME_MIN = 0.1, TRANS_TIME_MAX = 10.0;
constexpr int TBAR_TOP = 10;

class SwitchView {
public:
    virtual ~SwitchView() = default;
    /* The switch button: 1 lit (running), 0 off. */
    virtual void SetSwitchButton(int on) = 0;
    virtual void SetTBar(int pos) = 0;
    /* The time edit's text ("%2.1f"). */
    virtual void ShowTransTime(const std::string &text) = 0;
};

/* The time edit's text for a time. */
std::string TransTimeText(double seconds);
/* The time edit's correction: not a number or below 0 becomes 0.1, above
 * 10 becomes 10. */
double CorrectTransTime(double seconds);

class SwitchCore {
public:
    SwitchCore(ChannelDeck &deck, SwitchView *view) : deck_(deck), view_(view) {}

    int transition = TRANS_CUT;
    double transTime = 1.0;
    int tbarDone = 0;
    int afterPipEnd = 0;

    static bool IsPip(int t) { return t >= TRANS_PIP_FIRST && t <= TRANS_PIP_LAST; }
    /* The engine position for a T-bar position. */
    static int TBarToEngine(int pos, bool pip);

    /* The operator's switch with the time edit's value (ignored in the
     * remote-controlled mode); StartSwitch is the remote side's. */
    void OnSwitch(double editTime);
    void StartSwitch(double editTime);
    /* The - and + buttons from the time edit's value; the new value. */
    double OnTransTimeMinus(double editTime);
    double OnTransTimePlus(double editTime);
    void OnTBarScroll(int pos);
    void OnTBarRelease(int pos);
    /* The engine's transition progress report (percent). */
    void OnTransitionProgress(int percent);
    void FinishSwitch();
    void FinishPipEnd();
    void PlayTransition(int index, double seconds);

private:
    void Switch(double editTime, bool remote);
    void EndPip(bool markAfterPipEnd);
    ChannelDeck &deck_;
    SwitchView *view_;
    int manual_ = 0;   /* the T-bar drives the running transition */
};

#endif
