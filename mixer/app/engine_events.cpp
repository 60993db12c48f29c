#include "engine_events.h"
#include "engine_calls.h"
#include <cstdio>

void HandleEndOfStream(ChannelDeck &deck, SwitchCore &switcher, int index)
{
    if (index < 0 || index >= CHANNELS) return;
    const int n = index + 1;
    if (deck.remoteMode) {
        /* "No selection" is -1; a 0 left by older state counts the same. */
        if (deck.preview <= 0) deck.preview = deck.onAir;
        const int was = deck.remoteCommand;
        deck.remoteCommand = 1;
        deck.OnPause(n);
        deck.remoteCommand = was;
        return;
    }
    if (!deck.switching) {
        const bool otherSelected = deck.preview >= 1 && deck.preview <= CHANNELS && deck.preview != n;
        if (n == deck.onAir && n == deck.preview) {
            g_engine.MyStop(static_cast<WORD>(index));
            deck.OnPlay(n);
        } else if (n == deck.onAir && otherSelected) {
            g_engine.SetAutoTrans(TRUE);
            switcher.PlayTransition(TRANS_CUT, TRANS_TIME_MIN);
            deck.OnStop(n);
        } else {
            deck.OnPause(n);
        }
    } else if (n == deck.onAir || n == deck.preview) {
        deck.OnPlay(n);
    }
    if (index == 4 && deck.backgroundMusic) g_engine.MyPlay(4);
}

int MenuOfLetter(int letter)
{
    switch (letter) {
    case 'P': case 'p': return 0;
    case 'C': case 'c': return 1;
    case 'F': case 'f': return 2;
    case 'T': case 't': return 3;
    case 'E': case 'e': return 4;
    case 'H': case 'h': return 5;
    default: return -1;
    }
}

std::string NumberedRecordingName(const std::string &path, int n)
{
    size_t slash = path.find_last_of("\\/");
    size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    char number[16];
    snprintf(number, sizeof number, "%03d", n);
    return path.substr(0, dot) + number + path.substr(dot);
}
