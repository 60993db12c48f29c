// Play queue and playback control: the take slots hand a command list to
// the board's play thread, which issues the play request (at once, when the
// caller's event fires, or at a time) and releases the list once the board
// says it is done.  ControlEffectBoard, the roll and the movie commands run
// under the board's critical section.
#include "quadrel.h"
#include <math.h>
#include <string.h>

static void free_list(DWORD id, BYTE *list)
{
    murnak_ioctl(IOCTL_MURNAK_FREE_LIST, &id, 4, nullptr, 0);
    if (list) M32_free(list);
}

static BOOL done_signalled(BoardState *b) { return WaitForSingleObject(b->done, 0) == WAIT_OBJECT_0; }

BYTE *board_transition_list(FrameBufferRecord *record, BoardState *b, DWORD code, DWORD second, DWORD duration,
                            DWORD *size)
{
    const DWORD cls = (code >> 16) & 0xFF;
    const DWORD option = record->board & 0xF;
    auto patterns = [&]() -> BYTE * {
        PatternWindow w = { b->x0, b->y0, b->x1 - b->x0, b->y1 - b->y0, { b->crop[0], b->crop[1], b->crop[2],
                            b->crop[3] }, b->cropSet != FALSE };
        b->cropSet = FALSE;
        return BoardTransitionList(w, code, second, duration, size, GetTickCount());
    };
    if (cls == 4 || cls == 5) {
        // Image takes: offered to the pattern generator first on a keyed
        // Quadrel board with both options.
        if (g_quadrel.optionA[option] && g_quadrel.optionB[option] && b->keying == 0 &&
            g_quadrel.quadrel[record->board & 3]) {
            BYTE *list = patterns();
            if (list) return list;
        }
        const DWORD which = (code >> 8) & 0xFF;
        if (which == 0) return BuildImageList(b->view[2], code, b->view[0], duration, size);
        if (which == 2) return BuildImageList(b->view[0], code, nullptr, duration, size);
        return BuildImageList(b->view[2], code, nullptr, duration, size);
    }
    return patterns();
}

BYTE *host_transition_list(FrameBufferRecord *, BoardState *, DWORD code, DWORD, DWORD duration, DWORD *size)
{
    return HostTransitionList(code, duration, size);
}

// Shared by the four take slots.  Returns 0, or 600 without the device.
static LONG QueueTake(FrameBufferRecord *record, DWORD code, DWORD second, LONG_PTR value, HANDLE trigger,
                      DWORD time)
{
    BoardState *b = board_of(record);
    if (((code >> 16) & 0xFF) == 0xFF) {
        if (!b || !value) return b ? 0 : 600;
        const double *v = (const double *)value;
        for (int i = 0; i < 4; ++i) b->crop[i] = fix24(v[i]);
        b->cropSet = TRUE;
        return 0;
    }
    LONG duration = (LONG)value;
    if (duration > 600) duration = 600;
    if (duration < 0) duration = 0;
    if (!b) return 600;
    wait_layer_access(record, b->memory[1], true);
    DWORD size = 0;
    BYTE *list = b->generator ? b->generator(record, b, code, second, (DWORD)duration, &size) : nullptr;
    if (!list) return 0;

    MurnakSubmitList submit = { list, size, 0 };
    DWORD id = 0;
    if (!murnak_ioctl(IOCTL_MURNAK_SUBMIT_LIST, &submit, sizeof submit, &id, sizeof id)) {
        M32_free(list);
        return 0;
    }
    // Register each frame record by its size word; a zero size ends the
    // list.  A board whose queue is full takes none of it: the list is
    // dropped and nothing plays.
    for (DWORD at = 0; at + 8 <= size;) {
        DWORD rec;
        memcpy(&rec, list + at, 4);
        if (!rec || rec > size - at) break;
        MurnakQueueFrame q = { (DWORD)b->handle, id, at };
        if (!murnak_ioctl(IOCTL_MURNAK_QUEUE_FRAME, &q, sizeof q, nullptr, 0)) {
            DWORD handle = (DWORD)b->handle;
            murnak_ioctl(IOCTL_MURNAK_STOP, &handle, 4, nullptr, 0);
            free_list(id, list);
            SetEvent(b->done);
            return 0;
        }
        at += rec;
    }
    // A list the thread has not taken yet is replaced.
    EnterCriticalSection(&b->lock);
    if (b->pendingList) free_list(b->submittedId, b->pendingList);
    b->pendingList = list;
    b->pendingSize = size;
    b->submittedId = id;
    b->state = PLAY_TAKE;
    ResetEvent(b->done);
    b->trigger = trigger;
    b->playTime = time;
    LeaveCriticalSection(&b->lock);
    SetEvent(b->queue);
    Sleep(1);
    return 0;
}

DWORD WINAPI board_play_thread(void *arg)
{
    FrameBufferRecord *record = (FrameBufferRecord *)arg;
    BoardState *b = (BoardState *)record->driver;
    BYTE *held = nullptr;
    DWORD heldId = 0;
    for (;;) {
        HANDLE first[2] = { b->queue, b->quit };
        if (WaitForMultipleObjects(2, first, FALSE, INFINITE) != WAIT_OBJECT_0) break;
        EnterCriticalSection(&b->lock);
        HANDLE trigger = b->trigger;
        const bool pending = b->pendingList != nullptr;
        LeaveCriticalSection(&b->lock);
        if (!pending) continue;                 // stopped before it got here
        DWORD fired = WAIT_OBJECT_0;
        if (trigger) {
            HANDLE any[3] = { trigger, b->done, b->quit };
            fired = WaitForMultipleObjects(3, any, FALSE, INFINITE);
        }
        EnterCriticalSection(&b->lock);
        held = b->pendingList;
        heldId = b->submittedId;
        b->pendingList = nullptr;
        b->pendingSize = 0;
        DWORD time = b->playTime;
        LeaveCriticalSection(&b->lock);
        if (fired == WAIT_OBJECT_0 + 2) break;
        if (!held) continue;                    // a stop took the list back
        if (fired == WAIT_OBJECT_0) {
            BOOL ok;
            if (time != 0xFFFFFFFF && time != 0) {
                DWORD in[2] = { (DWORD)b->handle, time };
                ok = murnak_ioctl(IOCTL_MURNAK_PLAY_AT_TIME, in, sizeof in, nullptr, 0);
            } else {
                EnterCriticalSection(&b->lock);
                b->trigger = nullptr;
                LeaveCriticalSection(&b->lock);
                DWORD in[2] = { (DWORD)b->handle, 1 };
                ok = murnak_ioctl(IOCTL_MURNAK_PLAY_QUEUE, in, sizeof in, nullptr, 0);
            }
            if (!ok) {
                OutputDebugStringA("Error executing IOCTL_PLAY_AT_QUEUE\n");
                SetEvent(b->done);
            }
        }
        HANDLE end[2] = { b->done, b->quit };
        DWORD r = WaitForMultipleObjects(2, end, FALSE, INFINITE);
        if (held) free_list(heldId, held);
        held = nullptr;
        if (r != WAIT_OBJECT_0) break;
    }
    if (held) free_list(heldId, held);
    return 0;
}

extern "C" {

LONG PIXAPI TakeBoard(FrameBufferRecord *record, LONG_PTR code, LONG_PTR value)
{
    return QueueTake(record, (DWORD)code, ((DWORD)code >> 8) & 0xFF, value, nullptr, 0xFFFFFFFF);
}

LONG PIXAPI TakeBoardEvent(FrameBufferRecord *record, LONG_PTR code, LONG_PTR value, LONG_PTR event)
{
    return QueueTake(record, (DWORD)code, ((DWORD)code >> 8) & 0xFF, value, (HANDLE)event, 0xFFFFFFFF);
}

LONG PIXAPI TakeBoardEventEx(FrameBufferRecord *record, LONG_PTR code, LONG_PTR second, LONG_PTR value,
                             LONG_PTR event)
{
    return QueueTake(record, (DWORD)code, (DWORD)second, value, (HANDLE)event, 0xFFFFFFFF);
}

LONG PIXAPI TakeBoardAtTime(FrameBufferRecord *record, LONG_PTR code, LONG_PTR second, LONG_PTR value,
                            LONG_PTR time)
{
    return QueueTake(record, (DWORD)code, (DWORD)second, value, nullptr, (DWORD)time);
}

LONG PIXAPI ControlEffectBoard(FrameBufferRecord *record, LONG_PTR type, LONG_PTR inout)
{
    BoardState *b = board_of(record);
    if (!b) return -1;
    void **io = (void **)inout;
    EnterCriticalSection(&b->lock);
    LONG state = b->state;
    if (state == PLAY_TAKE && done_signalled(b)) state = PLAY_IDLE;
    b->state = state;
    const DWORD handle = (DWORD)b->handle;
    if (type == 7) {
        LONG r = state == PLAY_IDLE ? 1 : (done_signalled(b) ? 1 : 0);
        LeaveCriticalSection(&b->lock);
        return r;
    }
    switch (type) {
    case 1:
        if (state == PLAY_TAKE) {
            ResetEvent(b->done);
            murnak_ioctl(IOCTL_MURNAK_STOP, &handle, 4, nullptr, 0);
            b->trigger = nullptr;
            // A list the play thread has not taken yet is cancelled here.
            BYTE *cancelled = b->pendingList;
            const DWORD cancelledId = b->submittedId;
            b->pendingList = nullptr;
            b->pendingSize = 0;
            // The lock is not held while the thread and the board finish.
            LeaveCriticalSection(&b->lock);
            if (cancelled) free_list(cancelledId, cancelled);
            WaitForSingleObject(b->done, INFINITE);
            wait_layer_access(record, b->memory[1], true);
            EnterCriticalSection(&b->lock);
            state = PLAY_IDLE;
        } else if (state == PLAY_ROLL) {
            LeaveCriticalSection(&b->lock);
            RollBoard(record, 3, 0);
            RollBoard(record, 14, 0);
            EnterCriticalSection(&b->lock);
            state = b->state;
        } else if (state == PLAY_MOVIE) {
            LeaveCriticalSection(&b->lock);
            VexaBoard(record, 5, 0);
            VexaBoard(record, 6, 0);
            EnterCriticalSection(&b->lock);
            state = b->state;
        }
        break;
    case 2:
        if (state == PLAY_ROLL) RollBoard(record, 1, inout);
        else if (state == PLAY_MOVIE) VexaBoard(record, 20, inout);
        break;
    case 3:
        if (!io) break;
        if (state == PLAY_TAKE || state == PLAY_MOVIE) {
            DWORD pos = 0;
            murnak_ioctl(IOCTL_MURNAK_POSITION, &handle, 4, &pos, 4);
            *(DWORD *)io = pos;
        } else if (state == PLAY_ROLL) {
            *(LONG *)io = b->rollPosition;
        }
        break;
    case 4:
        if (state == PLAY_TAKE || state == PLAY_ROLL || state == PLAY_MOVIE) {
            LeaveCriticalSection(&b->lock);
            WaitForSingleObject(b->done, INFINITE);
            EnterCriticalSection(&b->lock);
            if (state == PLAY_TAKE) state = PLAY_IDLE;
        }
        break;
    case 5:
        if (io) {
            DWORD bp = backplane_of(record), v = 0;
            murnak_ioctl(IOCTL_MURNAK_EFFECT_QUERY, &bp, 4, &v, 4);
            *(DWORD *)io = v;
        }
        break;
    case 6:
        if (io) *io = state == PLAY_IDLE ? nullptr : b->done;
        break;
    case 10:
        if (io) *io = b->done;
        break;
    }
    if (type == 11 && io && b->view[2]) CopyLayer((Layer *)io, b->view[2]);
    if (type == 12 || type == 13) {
        DWORD in[2] = { handle, type == 12 ? 0u : 2u }, out = 0;
        murnak_ioctl(IOCTL_MURNAK_EFFECT_CONTROL, in, sizeof in, &out, 4);
    }
    b->state = state;
    LeaveCriticalSection(&b->lock);
    return state;
}

// ---- Rolls -------------------------------------------------------------------

static LONG roll_request(BoardState *b, const DWORD *words, DWORD count, void *out, DWORD outLen)
{
    DWORD in[8] = { (DWORD)b->handle };
    for (DWORD i = 0; i < count && i < 7; ++i) in[1 + i] = words[i];
    DWORD answer[4] = {};
    BOOL ok = murnak_ioctl(IOCTL_MURNAK_ROLL, in, 4 * (1 + count), out ? out : answer, out ? outLen : outLen);
    return ok ? 1 : 0;
}

static void free_roll(BoardState *b)
{
    for (Layer *&l : b->rollLayer)
        if (l) DeleteLayer(l), l = nullptr;
    if (b->rollView) DeleteLayer(b->rollView);
    b->rollView = nullptr;
}

LONG PIXAPI RollBoard(FrameBufferRecord *record, LONG_PTR command, LONG_PTR arg)
{
    BoardState *b = board_of(record);
    if (!b) return 0;
    EnterCriticalSection(&b->lock);
    LONG result = 1;
    DWORD out[4] = {};
    switch (command) {
    case 0:
    case 1:
    case 20:
        if (!done_signalled(b)) {
            DWORD w[2] = { command == 0 ? 3u : command == 1 ? 6u : 11u, (DWORD)arg };
            roll_request(b, w, 2, out, 4);
        }
        break;
    case 3: {
        DWORD w[1] = { 4 };
        roll_request(b, w, 1, out, 4);
        LeaveCriticalSection(&b->lock);
        WaitForSingleObject(b->done, INFINITE);
        return 1;
    }
    case 6:
        result = done_signalled(b) ? 0 : 1;
        break;
    case 14: {
        free_roll(b);
        DWORD w[1] = { 5 };
        roll_request(b, w, 1, out, 4);
        b->state = PLAY_IDLE;
        LeaveCriticalSection(&b->lock);
        WaitForSingleObject(b->done, INFINITE);
        return 1;
    }
    case 15:
        b->rollRequest.speed[0] = (DWORD)arg;
        break;
    case 16: {
        if (!arg) {
            result = 0;
            break;
        }
        const MurnakRollStart *req = (const MurnakRollStart *)arg;
        b->state = PLAY_ROLL;
        LeaveCriticalSection(&b->lock);
        wait_layer_access(record, b->memory[1], true);
        EnterCriticalSection(&b->lock);
        ResetEvent(b->rollReady);
        ResetEvent(b->rollStep);
        ResetEvent(b->done);
        const bool across = req->mode & 1;
        const LONG ww = b->x1 - b->x0, wh = b->y1 - b->y0;
        const LONG lw = across ? 5 * ww : ww, lh = across ? wh : 4 * wh, travel = across ? ww : wh;
        free_roll(b);
        b->rollLayer[0] = CreateLayer(lw, lh, 1);
        b->rollLayer[1] = CreateLayer(lw, lh, 1);
        b->rollView = b->rollLayer[0] ? CreateClippedLayer(b->rollLayer[0]) : nullptr;
        b->rollRequest = *req;
        b->rollPeriod = req->period ? (LONG)req->period : travel;
        b->rollWrap = req->wrap ? (LONG)req->wrap : b->rollPeriod;
        b->rollFlags = (LONG)req->mode;
        MurnakRollStart start = *req;
        start.handle = (DWORD)b->handle;
        start.sub = 1;
        start.lineBytes = (DWORD)lw * 4;
        start.remaining = travel ? fix24((double)(travel - (LONG)req->start % travel) / travel) : 0;
        start.rest = FIX24_ONE - start.remaining;
        start.width = (DWORD)lw;
        start.height = (DWORD)lh;
        start.period = (DWORD)b->rollPeriod;
        start.wrap = (DWORD)b->rollWrap;
        start.layer[0] = b->rollLayer[0] ? b->rollLayer[0]->pixels : nullptr;
        start.layer[1] = b->rollLayer[1] ? b->rollLayer[1]->pixels : nullptr;
        murnak_ioctl(IOCTL_MURNAK_ROLL, &start, sizeof start, out, 4);
        b->rollPosition = 0;
        break;
    }
    case 17:
        if (!done_signalled(b)) {
            DWORD w[5] = { 7, b->rollRequest.speed[0], b->rollRequest.speed[1], b->rollRequest.speed[2],
                           b->rollRequest.speed[3] };
            roll_request(b, w, 5, nullptr, 0);
        }
        break;
    case 18: {
        DWORD w[2] = { 9, (DWORD)arg };
        roll_request(b, w, 2, nullptr, 0);
        break;
    }
    case 19: {
        DWORD w[1] = { 10 };
        DWORD answer[4] = {};
        roll_request(b, w, 1, answer, 16);
        if (arg) memcpy((void *)arg, answer, 16);
        break;
    }
    case 21: {
        DWORD w[1] = { 12 };
        roll_request(b, w, 1, out, 4);
        if (arg) *(DWORD *)arg = out[0];
        break;
    }
    }
    LeaveCriticalSection(&b->lock);
    return result;
}

Layer *PIXAPI RollBoardLayer(FrameBufferRecord *record, LONG_PTR position)
{
    BoardState *b = board_of(record);
    if (!b || !b->rollView) return nullptr;
    const bool across = b->rollFlags & 1;
    if (position) {
        if (b->rollCredits > 0) {
            SetEvent(b->rollStep);
            --b->rollCredits;
        }
        HANDLE events[2] = { b->rollReady, b->rollStep };
        DWORD r = WaitForMultipleObjects(2, events, FALSE, INFINITE);
        if (r == WAIT_OBJECT_0 + 1) {
            DWORD w[1] = { 8 }, line = 0;
            EnterCriticalSection(&b->lock);
            roll_request(b, w, 1, &line, 4);
            LeaveCriticalSection(&b->lock);
            ResetEvent(b->rollStep);
            LONG l = (LONG)line;
            *(LONG *)position = l;
            const LONG period = b->rollPeriod > 0 ? b->rollPeriod : 1;
            if (l < 0) l += b->rollWrap;
            l %= period;
            if (l < 0) l += period;
            b->lastRollLine = l;
            b->rollPosition = l;
            const LONG ww = b->x1 - b->x0, wh = b->y1 - b->y0;
            if (across) ClipLayerXYWH(b->rollView, l, 0, ww, wh);
            else ClipLayerXYWH(b->rollView, 0, l, ww, wh);
        }
        AddRefCountLayer(b->rollView);
        return b->rollView;
    }
    if (b->lastRollLine == 0 && across && b->rollLayer[0]) {
        Layer *tail = CreateClippedLayer(b->rollLayer[0]);
        if (tail) {
            ClipLayerXYWH(tail, b->rollPeriod, 0, b->rollPeriod, b->y1 - b->y0);
            Layer *head = CreateClippedLayer(b->rollLayer[0]);
            if (head) {
                ClipLayerXYWH(head, 0, 0, b->rollPeriod, b->y1 - b->y0);
                CopyLayer(tail, head);
                DeleteLayer(head);
            }
            DeleteLayer(tail);
        }
    }
    return b->rollView;
}

// ---- Movies --------------------------------------------------------------------

LONG PIXAPI VexaBoard(FrameBufferRecord *record, LONG_PTR command, LONG_PTR arg)
{
    BoardState *b = board_of(record);
    if (!b) return 0;
    const DWORD handle = (DWORD)b->handle;
    const LONG_PTR *a = (const LONG_PTR *)arg;
    EnterCriticalSection(&b->lock);
    const bool movie = b->state == PLAY_MOVIE;
    LONG result = 1;
    switch (command) {
    case 0:
        b->state = PLAY_MOVIE;
        LeaveCriticalSection(&b->lock);
        wait_layer_access(record, b->memory[1], true);
        EnterCriticalSection(&b->lock);
        b->movieId = -1;
        if (a && a[0]) {
            MurnakSubmitList s = { (const void *)a[0], (DWORD)a[1], 0 };
            DWORD id = 0;
            if (murnak_ioctl(IOCTL_MURNAK_SUBMIT_LIST, &s, sizeof s, &id, 4)) b->movieId = (LONG)id;
            else b->state = PLAY_IDLE;
        }
        break;
    case 1:
        if (movie && a) {
            MurnakQueueRange q = { handle, (DWORD)b->movieId, (DWORD)a[0], (DWORD)a[1], 1 };
            murnak_ioctl(IOCTL_MURNAK_QUEUE_FRAME, &q, sizeof q, nullptr, 0);
        }
        break;
    case 2: {
        DWORD pos = 0;
        if (movie) murnak_ioctl(IOCTL_MURNAK_POSITION, &handle, 4, &pos, 4);
        result = (LONG)pos;
        break;
    }
    case 3:
        if (movie) {
            DWORD in[2] = { handle, 1 };
            murnak_ioctl(IOCTL_MURNAK_PLAY_QUEUE, in, sizeof in, nullptr, 0);
        }
        break;
    case 4:
    case 20:
        if (movie && a) {
            DWORD in[2] = { handle, command == 4 ? (DWORD)a[0] : (DWORD)!a[0] };
            murnak_ioctl(IOCTL_MURNAK_MOVIE_VALUE, in, sizeof in, nullptr, 0);
        }
        break;
    case 5:
        if (movie) {
            murnak_ioctl(IOCTL_MURNAK_STOP, &handle, 4, nullptr, 0);
            LeaveCriticalSection(&b->lock);
            WaitForSingleObject(b->done, INFINITE);
            EnterCriticalSection(&b->lock);
            if (b->movieId >= 0) {
                DWORD id = (DWORD)b->movieId;
                murnak_ioctl(IOCTL_MURNAK_FREE_LIST, &id, 4, nullptr, 0);
            }
            b->movieId = -1;
            b->state = PLAY_IDLE;
        }
        break;
    case 7:
        ResetEvent(b->done);
        break;
    case 8:
        if (movie) {
            DWORD in[2] = { handle, (DWORD)arg };
            murnak_ioctl(IOCTL_MURNAK_MOVIE_RECORD, in, sizeof in, nullptr, 0);
        }
        break;
    case 12: {
        DWORD v = 0;
        murnak_ioctl(IOCTL_MURNAK_MOVIE_QUERY, &handle, 4, &v, 4);
        result = (LONG)v;
        break;
    }
    case 13:
        MessageBoxA(nullptr, "Get a newer vexacodec.dll (version >= 4.0.0.13)", "Get a newer vexacodec", MB_OK);
        break;
    case 14:
        result = 0;
        if (movie && a) {
            MurnakSubmitList s = { (const void *)a[0], (DWORD)a[1], 0 };
            DWORD id = 0;
            if (murnak_ioctl(IOCTL_MURNAK_SUBMIT_LIST, &s, sizeof s, &id, 4)) result = (LONG)id;
        }
        break;
    case 15:
        if (arg) {
            DWORD id = *(const DWORD *)arg;
            murnak_ioctl(IOCTL_MURNAK_FREE_LIST, &id, 4, nullptr, 0);
        }
        break;
    case 16:
        if (movie && a) {
            MurnakQueueRange q = { handle, (DWORD)a[0], (DWORD)a[1], (DWORD)a[2], 1 };
            murnak_ioctl(IOCTL_MURNAK_QUEUE_FRAME, &q, sizeof q, nullptr, 0);
        }
        break;
    case 17:
    case 18:
        if (arg) *(HANDLE *)arg = movie ? (command == 17 ? b->done : b->extra) : nullptr;
        break;
    case 19:
        if (movie && a) {
            DWORD in[2] = { handle, (DWORD)a[0] };
            murnak_ioctl(IOCTL_MURNAK_PLAY_AT_TIME, in, sizeof in, nullptr, 0);
        }
        break;
    case 21:
        if (movie && a) {
            MurnakQueueRange q = { handle, (DWORD)a[1], (DWORD)a[2], (DWORD)a[3], (DWORD)a[4] };
            murnak_ioctl(IOCTL_MURNAK_QUEUE_FRAME, &q, sizeof q, nullptr, 0);
        }
        break;
    }
    LeaveCriticalSection(&b->lock);
    return result;
}

} // extern "C"
