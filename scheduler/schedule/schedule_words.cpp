#include "schedule_words.h"

const char *const kSourceStateWords[kSourceStateCount] = {
    "IN FILE", "IN DEVICE", "IN URL", "LOAD", "READY", "ON AIR", "DONE",
};

const char *const kTitleStateWords[kTitleStateCount] = {
    "IN CG", "IN CGA", "LOAD", "READY", "ON AIR", "DONE",
};

const char *const kTransitionNames[kTransitionCount] = {
    "Cut", "LeftWipe", "RightWipe", "UpWipe", "DownWipe", "LeftScroll", "RightScroll", "UpScroll",
    "DownScroll", "LeftPush", "RightPush", "UpPush", "DownPush", "LeftStretch", "RightStretch",
    "UpStretch", "DownStretch", "FadeOut", "FadeIn", "Dissolve", "CrossDissolve", "UpperLeftInset",
    "UpperRightInset", "LowerLeftInset", "LowerRightInset", "UpperLeftOut", "UpperRightOut",
    "LowerLeftOut", "LowerRightOut", "ZoomIn", "ZoomOut", "Blind", "BanDoor", "Split", "PagePeel",
    "UpperLeftWipe", "PIPLeftTopAB", "PIPRightTopAB", "PIPLeftBottomAB", "PIPRightBottomAB",
    "PIPLeftTopBA", "PIPRightTopBA", "PIPLeftBottomBA", "PIPRightBottomBA",
};

int FindScheduleWord(const std::string &word, WordTable table)
{
    const char *const *words = kTransitionNames;
    int n = kTransitionCount;
    if (table == WordTable::SourceStates) {
        words = kSourceStateWords;
        n = kSourceStateCount;
    } else if (table == WordTable::TitleStates) {
        words = kTitleStateWords;
        n = kTitleStateCount;
    }
    for (int i = 0; i < n; ++i)
        if (word == words[i])
            return i;
    return -1;
}
