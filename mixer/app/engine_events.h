/*
 * What the mixer does when the engine reports that a channel's source has
 * reached its end (WM_ENGINE_SOURCESTATE with event 4), without a window:
 *
 *   remote mode: no selection (-1 or 0) takes the programme as the
 *                selection; the channel pauses at its end (as a remote
 *                command, the scheduler decides what follows);
 *   no transition running:
 *     on air and selected   the source loops (stop, play);
 *     on air, another channel selected
 *                           a 0.1 s cut to the selection, then the channel
 *                           stops (the transport keeps the programme
 *                           running while encoding);
 *     otherwise             the channel pauses at its end;
 *   a transition running:   the two channels of the transition play on;
 *   and channel 5 in background-music mode plays again (the music loops).
 *
 * Indexes outside 0..4 do nothing.
 */
#ifndef CORV_MIXER_ENGINE_EVENTS_H
#define CORV_MIXER_ENGINE_EVENTS_H

#include "channel_deck.h"
#include "switch_core.h"

constexpr int SOURCE_EVENT_END = 4;

void HandleEndOfStream(ChannelDeck &deck, SwitchCore &switcher, int index);

/* The skinned menu an Alt+letter opens (P, C, F, T, E, H in either case):
 * 0..5, or -1 for any other key. */
int MenuOfLetter(int letter);

/* The recording that overwrites nothing: path with n in three digits (or
 * more) before its extension, "C:\\a\\show.wmv" -> "C:\\a\\show001.wmv". */
std::string NumberedRecordingName(const std::string &path, int n);

#endif
