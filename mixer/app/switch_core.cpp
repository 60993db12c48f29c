#include "switch_core.h"
#include <cmath>
#include <cstdio>
#include "engine_calls.h"

std::string TransTimeText(double seconds)
{
    char text[32];
    snprintf(text, sizeof text, "%2.1f", seconds);
    return text;
}

double CorrectTransTime(double seconds)
{
    if (!(seconds >= 0)) return TRANS_TIME_MIN;
    if (seconds > TRANS_TIME_MAX) return TRANS_TIME_MAX;
    return seconds;
}

int SwitchCore::TBarToEngine(int pos, bool pip)
{
    if (pos < 0) pos = 0;
    if (pos > TBAR_TOP) pos = TBAR_TOP;
    if (pip) {
        if (pos % 2) ++pos;   /* 1->2 .. 9->10 */
        return pos / 2;
    }
    if (pos >= 9) return 9;   /* the bar alone never completes it */
    if (pos % 2) ++pos;
    return pos;
}

void SwitchCore::PlayTransition(int index, double seconds)
{
    g_engine.SetTransEffect(index, seconds);
    if (deck_.preview >= 1 && deck_.preview <= CHANNELS) deck_.OnPlay(deck_.preview);
}

void SwitchCore::EndPip(bool markAfterPipEnd)
{
    view_->SetSwitchButton(0);
    g_engine.SetAutoTrans(TRUE);
    g_engine.SetTransEffect(TRANS_CUT, TRANS_TIME_MIN);
    deck_.switching = 0;
    manual_ = 0;
    tbarDone = 1;
    if (markAfterPipEnd) afterPipEnd = 1;
}

void SwitchCore::Switch(double editTime, bool remote)
{
    if (deck_.switching && IsPip(transition)) {
        EndPip(!remote);
        return;
    }
    int n = deck_.preview;
    if (deck_.switching || n < 1 || n > CHANNELS || n == deck_.onAir) return;
    double t = editTime;
    if (!(t >= TRANS_TIME_MIN)) t = TRANS_TIME_MIN;   /* also not a number */
    if (t > TRANS_TIME_MAX) t = TRANS_TIME_MAX;
    transTime = t;
    view_->ShowTransTime(TransTimeText(transTime));
    deck_.switching = 1;
    manual_ = 0;
    view_->SetSwitchButton(1);
    g_engine.SetAutoTrans(TRUE);
    if (transition == TRANS_CUT)
        g_engine.SetTransEffect(TRANS_CUT, TRANS_TIME_MIN);
    else
        g_engine.SetTransEffect(transition, transTime);
    if (remote) return;   /* the remote side plays the channel itself */
    deck_.OnPlay(n);
    deck_.RemoveFromOrder(n);
}

void SwitchCore::OnSwitch(double editTime)
{
    if (deck_.remoteMode) return;
    Switch(editTime, false);
}

void SwitchCore::StartSwitch(double editTime) { Switch(editTime, true); }

double SwitchCore::OnTransTimeMinus(double editTime)
{
    if (deck_.remoteMode) return transTime;
    double t = CorrectTransTime(editTime) - 0.5;
    if (t < TRANS_TIME_MIN) t = TRANS_TIME_MIN;
    transTime = t;
    view_->ShowTransTime(TransTimeText(transTime));
    return transTime;
}

double SwitchCore::OnTransTimePlus(double editTime)
{
    if (deck_.remoteMode) return transTime;
    double t = CorrectTransTime(editTime);
    /* From 0.1 the step lands on 0.5, so the values stay on the half seconds. */
    t = std::fabs(t - TRANS_TIME_MIN) < 1e-6 ? 0.5 : t + 0.5;
    if (t >= TRANS_TIME_MAX) t = TRANS_TIME_MAX;
    transTime = t;
    view_->ShowTransTime(TransTimeText(transTime));
    return transTime;
}

void SwitchCore::OnTBarScroll(int pos)
{
    if (deck_.preview == deck_.onAir) return;
    /* An automatic transition (the switch, or the rest after a release at
     * the top) runs on the engine's clock: the bar does not restart it. */
    if (tbarDone || (deck_.switching && !manual_)) return;
    if (deck_.preview < 1 || deck_.preview > CHANNELS) return;
    int enginePos = TBarToEngine(pos, IsPip(transition));
    if (!manual_) {
        g_engine.SetAutoTrans(FALSE);
        PlayTransition(transition, 1.0);
        deck_.switching = 1;
        manual_ = 1;
        view_->SetSwitchButton(1);
    }
    /* While dragging, every position goes to the engine. */
    g_engine.SetTransPosition(enginePos);
}

void SwitchCore::OnTBarRelease(int pos)
{
    if (deck_.remoteMode) return;
    bool pip = IsPip(transition);
    if (pos >= TBAR_TOP && !pip) {
        if (deck_.preview == deck_.onAir || !manual_) {
            view_->SetTBar(0);
            return;
        }
        view_->SetSwitchButton(0);
        tbarDone = 1;
        deck_.switching = 0;
        manual_ = 0;
        g_engine.SetAutoTrans(TRUE);
        view_->SetTBar(0);
    } else if (pos >= TBAR_TOP && pip) {
        tbarDone = 0;
        g_engine.SetAutoTrans(FALSE);
    } else if (pos <= 0 && pip && deck_.switching) {
        EndPip(true);
    }
}

void SwitchCore::OnTransitionProgress(int percent)
{
    if (percent < 100) return;
    deck_.switching = 0;
    manual_ = 0;
    tbarDone = 0;
    if (afterPipEnd)
        FinishPipEnd();
    else
        FinishSwitch();
    view_->SetTBar(0);
}

void SwitchCore::FinishSwitch()
{
    view_->SetSwitchButton(0);
    int wasRemoteCommand = deck_.remoteCommand;
    if (deck_.remoteMode) deck_.remoteCommand = 1;
    int k = deck_.onAir;
    int next = deck_.preview;
    if (k >= 1 && k <= CHANNELS && k != next) deck_.OnPause(k);
    deck_.onAir = next >= 1 && next <= CHANNELS ? next : 0;
    deck_.preview = k >= 1 && k <= CHANNELS ? k : -1;
    if (!deck_.OnSelectChannel(deck_.preview)) deck_.SetChannelIndicators(deck_.preview);
    deck_.remoteCommand = wasRemoteCommand;
}

void SwitchCore::FinishPipEnd()
{
    if (!afterPipEnd) return;
    if (deck_.preview >= 1 && deck_.preview <= CHANNELS) deck_.OnPause(deck_.preview);
    afterPipEnd = 0;
}
