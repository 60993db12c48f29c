// What the stand-in board driver records, read by the dispatch tests.
#pragma once
#include <windows.h>

struct TestBoardStateBlock {
    LONG enables;
    LONG disables;
    LONG sdrDeletes;
    LONG controlDisables;
    DWORD boardWord;          // as EnableBoard saw it
    HMODULE libraryAtEnable;
    DWORD controlDevice;      // as EnableControl saw it
    LONG lastWord;            // word of the last slot called
    void *lastRecord;
    LONG lastCount;           // its number of arguments
    LONG_PTR lastArgs[8];
};
