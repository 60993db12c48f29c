// A stand-in board driver library for the frame-buffer dispatch tests.  It
// binds like a real driver (EnableBoard, EnableControl, GetNumBoards) and
// records every slot call in a state block the test reads through
// TestBoardState.
//
// Board numbers choose the behaviour: 31 refuses to open, 2 opens with no
// operation slots at all (only disable), any other fills every slot.  Each
// slot returns word x 1000 + the number of its arguments.  Device number 99
// refuses remote control.
#include <windows.h>
#include "pixmoor.h"
#include "board_state.h"

static TestBoardStateBlock s_state;

namespace {

template <int Word, class... A> LONG PIXAPI slot(FrameBufferRecord *record, A... args)
{
    s_state.lastWord = Word;
    s_state.lastRecord = record;
    s_state.lastCount = (LONG)sizeof...(A);
    LONG_PTR values[] = { 0, (LONG_PTR)args... };
    for (size_t i = 0; i < sizeof...(A); ++i) s_state.lastArgs[i] = values[i + 1];
    return Word * 1000 + (LONG)sizeof...(A);
}

/* The layer and line slots answer addresses: this one lies above 4 GB, so a
 * forwarder that cut it to 32 bits would be seen. */
template <int Word, class... A> LONG_PTR PIXAPI address_slot(FrameBufferRecord *record, A... args)
{
    slot<Word, A...>(record, args...);
    return (LONG_PTR)0x7F0000000000LL + Word * 1000 + (LONG_PTR)sizeof...(A);
}

template <int Word, class... A> LONG PIXAPI rc_slot(RemoteControlRecord *record, A... args)
{
    s_state.lastWord = Word;
    s_state.lastRecord = record;
    s_state.lastCount = (LONG)sizeof...(A);
    LONG_PTR values[] = { 0, (LONG_PTR)args... };
    for (size_t i = 0; i < sizeof...(A); ++i) s_state.lastArgs[i] = values[i + 1];
    return Word * 1000 + (LONG)sizeof...(A);
}

using P = LONG_PTR;

LONG PIXAPI disable(FrameBufferRecord *record)
{
    ++s_state.disables;
    HeapFree(GetProcessHeap(), 0, record->driver);
    record->driver = nullptr;
    return 1;
}

LONG PIXAPI sdr_create(FrameBufferRecord *record, P a, P b, P c, P d, P e, P f)
{
    s_state.lastWord = FBW_SDR_CREATE;
    s_state.lastRecord = record;
    s_state.lastCount = 6;
    P v[6] = { a, b, c, d, e, f };
    for (int i = 0; i < 6; ++i) s_state.lastArgs[i] = v[i];
    return a != 0;   // a zero first argument refuses the second record
}

LONG PIXAPI sdr_delete(FrameBufferRecord *record)
{
    ++s_state.sdrDeletes;
    s_state.lastRecord = record;
    return 1;
}

LONG PIXAPI rc_disable(RemoteControlRecord *record)
{
    ++s_state.controlDisables;
    s_state.lastRecord = record;
    return 1;
}

#define S0(w) (void *)&slot<w>
#define A0(w) (void *)&address_slot<w>
#define A1(w) (void *)&address_slot<w, P>
#define A2(w) (void *)&address_slot<w, P, P>
#define S1(w) (void *)&slot<w, P>
#define S2(w) (void *)&slot<w, P, P>
#define S3(w) (void *)&slot<w, P, P, P>
#define S4(w) (void *)&slot<w, P, P, P, P>
#define S5(w) (void *)&slot<w, P, P, P, P, P>
#define S7(w) (void *)&slot<w, P, P, P, P, P, P, P>
#define S8(w) (void *)&slot<w, P, P, P, P, P, P, P, P>

// Slot of every operation word, with the arity the core forwards.
const struct { int word; void *fn; } kSlots[] = {
    { 7, A0(7) },   { 8, A1(8) },   { 9, A0(9) },   { 10, A1(10) }, { 11, S2(11) }, { 12, S2(12) },
    { 14, S2(14) }, { 15, S1(15) }, { 16, S1(16) }, { 18, S4(18) }, { 21, S3(21) }, { 22, S2(22) },
    { 23, S8(23) }, { 24, S8(24) }, { 25, S5(25) }, { 26, S1(26) }, { 27, A2(27) }, { 28, S2(28) },
    { 29, S0(29) }, { 30, S1(30) }, { 31, S1(31) }, { 32, S1(32) }, { 33, S1(33) }, { 34, S1(34) },
    { 35, S0(35) }, { 36, S5(36) }, { 37, S2(37) }, { 38, S2(38) }, { 39, S2(39) }, { 40, S1(40) },
    { 41, S1(41) }, { 42, S1(42) }, { 43, S2(43) }, { 44, S2(44) }, { 45, S3(45) }, { 46, S3(46) },
    { 47, S5(47) }, { 48, S2(48) }, { 49, S4(49) }, { 50, S2(50) }, { 51, S1(51) }, { 52, S3(52) },
    { 53, S7(53) }, { 54, S0(54) }, { 55, S0(55) }, { 56, S0(56) }, { 57, S0(57) }, { 58, S3(58) },
    { 59, S4(59) }, { 60, S4(60) }, { 61, S2(61) }, { 62, S2(62) }, { 65, S2(65) }, { 68, S2(68) },
    { 69, S0(69) },
};

} // namespace

extern "C" {

LONG PIXAPI EnableBoard(FrameBufferRecord *record)
{
    ++s_state.enables;
    s_state.boardWord = record->board;
    s_state.libraryAtEnable = record->library;
    const DWORD board = record->board & 0x1F;
    if (board == 31) return 0;
    record->driver = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, 64);
    record->caps = 0;
    record->frameWidth = 720;
    record->frameHeight = 486;
    FB_SLOT(record, FBW_DISABLE) = (void *)&disable;
    if (board == 2) return 1;
    for (const auto &s : kSlots) FB_SLOT(record, s.word) = s.fn;
    FB_SLOT(record, FBW_SDR_CREATE) = (void *)&sdr_create;
    FB_SLOT(record, FBW_SDR_DELETE) = (void *)&sdr_delete;
    return 1;
}

LONG PIXAPI EnableControl(RemoteControlRecord *record)
{
    s_state.controlDevice = record->device;
    if (record->device == 99) return 0;
    RC_SLOT(record, RCW_DISABLE) = (void *)&rc_disable;
    RC_SLOT(record, RCW_SETUP) = (void *)&rc_slot<RCW_SETUP, P, P>;
    RC_SLOT(record, RCW_CLEAR_CUTLIST) = (void *)&rc_slot<RCW_CLEAR_CUTLIST>;
    RC_SLOT(record, RCW_ADD_CUTLIST) = (void *)&rc_slot<RCW_ADD_CUTLIST, P, P, P>;
    RC_SLOT(record, RCW_PLAY_CUTLIST) = (void *)&rc_slot<RCW_PLAY_CUTLIST>;
    return 1;   // the set-up-at-time slot stays empty, as on the real board
}

LONG PIXAPI GetNumBoards(void) { return 3; }

TestBoardStateBlock *PIXAPI TestBoardState(void) { return &s_state; }

} // extern "C"
