/*
 * The word tables of the schedules: source states, title states and the 44
 * transition names, whose index is the transition number sent to the mixer.
 */
#ifndef SCHEDULER_SCHEDULE_WORDS_H
#define SCHEDULER_SCHEDULE_WORDS_H

#include <string>

enum SourceKind { kKindFile = 0, kKindDevice = 1, kKindNetwork = 2 };

enum SourceState {
    kStateInFile = 0, kStateInDevice, kStateInUrl, kStateLoad, kStateReady, kStateOnAir, kStateDone,
    kSourceStateCount
};

enum TitleState {
    kTitleInCg = 0, kTitleInCga, kTitleLoad, kTitleReady, kTitleOnAir, kTitleDone, kTitleStateCount
};

constexpr int kTransitionCount = 44;

extern const char *const kSourceStateWords[kSourceStateCount];
extern const char *const kTitleStateWords[kTitleStateCount];
extern const char *const kTransitionNames[kTransitionCount];

enum class WordTable { SourceStates, TitleStates, Transitions };

/* Index of the first entry equal to 'word' (exact, case-sensitive), or -1. */
int FindScheduleWord(const std::string &word, WordTable table);

#endif
