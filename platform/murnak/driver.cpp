// MURNAK.sys: the board device as a kernel driver of the Wine prefix.  It
// creates \Device\MURNAK (reached as "\\.\MURNAK") and answers the board
// requests with simulated boards whose count, build and frame size come
// from the service's Parameters key.  It also creates the video-effects
// device of a Pallaset backplane, \Device\PALLASFX, which accepts the
// freeze, release and capture requests.
//
// Requests run in the device's own process: buffers, lists and events named
// by a request live in the calling process, which the device reaches by its
// id (read, write and allocate its memory, duplicate its event handles).
// Every request is logged per calling process; two requests only the tests
// use read and clear that log.
#include <stdarg.h>
#include <ntstatus.h>
#define WIN32_NO_STATUS
#include <windef.h>
#include <winbase.h>
#include <winreg.h>
#include <winternl.h>
// The kernel headers carry no C++ linkage guards.
extern "C" {
#include <ddk/wdm.h>
}
#include <string.h>
#include <map>
#include <vector>
#include <algorithm>
#include "murnak_ioctl.h"
#include "murnak_log.h"
#include "playback.h"

namespace {

const DWORD kPitch = 3072;                 // bytes per line of on-board memory
const DWORD kFrameMemory = 0x400000;       // visible at 0, incoming at 2 MiB
const DWORD kIncoming = 0x200000;

struct Client {
    HANDLE process = nullptr;
    LONG handles = 0;                      // open handles on the board device
    std::vector<DWORD> log;                // entries {code, words, input words...}
};

struct Board {
    DWORD pid = 0;
    DWORD word = 0;
    LONG width = 0, height = 0;
    BYTE *memory = nullptr;                // in the client
    HANDLE events[4] = {};                 // done, roll-ready, roll-step, extra (ours)
    std::vector<std::pair<DWORD, DWORD>> queue;   // (list, offset)
    DWORD position = 0;
    LONG rollLine = 0, rollSpeed = 0;
    bool rolling = false;                  // the board steps the roll every field
    std::vector<BYTE> hostVisible;         // output of a host-buffer board
    murnak::Stage last;                    // what the last list left
};

struct List {
    DWORD pid = 0;
    std::vector<BYTE> bytes;
};

struct HostBuffer {
    BYTE *pixels = nullptr;
    DWORD bytes = 0;
};

// The device's whole state.  Made in DriverEntry: the kernel loader runs no
// static constructors of a driver.
struct DeviceState {
    std::map<DWORD, Client> clients;
    std::map<LONG, Board> boards;
    std::map<DWORD, List> lists;
    std::map<std::pair<DWORD, DWORD>, HostBuffer> hosts;   // (pid, backplane)
    std::map<std::pair<DWORD, DWORD>, DWORD> cuts;         // (pid, deck) -> cut count
    LONG nextBoard = 1;
    DWORD nextList = 1;
};

CRITICAL_SECTION g_lock;
DeviceState *g_state;
DEVICE_OBJECT *g_murnak, *g_effects;
#define g_clients (g_state->clients)
#define g_boards (g_state->boards)
#define g_lists (g_state->lists)
#define g_hosts (g_state->hosts)
#define g_cuts (g_state->cuts)
#define g_nextBoard (g_state->nextBoard)
#define g_nextList (g_state->nextList)

DWORD param(const char *name, DWORD fallback)
{
    HKEY key;
    DWORD value = fallback, type, size = sizeof value;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\MURNAK\\Parameters", 0, KEY_READ,
                      &key))
        return fallback;
    if (RegQueryValueExA(key, name, nullptr, &type, (BYTE *)&value, &size) || type != REG_DWORD) value = fallback;
    RegCloseKey(key);
    return value;
}

Client &client(DWORD pid)
{
    Client &c = g_clients[pid];
    if (!c.process)
        c.process = OpenProcess(PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_VM_OPERATION | PROCESS_DUP_HANDLE |
                                    PROCESS_QUERY_INFORMATION, FALSE, pid);
    return c;
}

bool read_client(DWORD pid, const void *from, void *to, SIZE_T bytes)
{
    SIZE_T got = 0;
    return from && ReadProcessMemory(client(pid).process, from, to, bytes, &got) && got == bytes;
}

bool write_client(DWORD pid, void *to, const void *from, SIZE_T bytes)
{
    SIZE_T put = 0;
    return to && WriteProcessMemory(client(pid).process, to, from, bytes, &put) && put == bytes;
}

void log_request(DWORD pid, DWORD code, const BYTE *in, DWORD inLen)
{
    Client &c = client(pid);
    if (c.log.size() > MURNAK_LOG_LIMIT) return;
    DWORD words = std::min<DWORD>(inLen / 4, MURNAK_LOG_WORDS);
    c.log.push_back(code);
    c.log.push_back(words);
    for (DWORD i = 0; i < words; ++i) {
        DWORD w;
        memcpy(&w, in + 4 * i, 4);
        c.log.push_back(w);
    }
}

void set_event(Board &b, int which)
{
    if (b.events[which]) SetEvent(b.events[which]);
}

void release_board(Board &b)
{
    for (HANDLE &e : b.events)
        if (e) CloseHandle(e), e = nullptr;
    if (b.memory) VirtualFreeEx(client(b.pid).process, b.memory, 0, MEM_RELEASE);
    b.memory = nullptr;
}

// Plays everything queued on the board and signals done.
void play_queue(LONG handle, Board &b)
{
    const bool onBoard = b.word < 32;
    const size_t frameBytes = (size_t)b.height * kPitch;
    std::vector<BYTE> visible, incoming, old;
    murnak::Stage stage;
    if (onBoard && b.memory) {
        visible.resize(frameBytes);
        incoming.resize(frameBytes);
        if (!read_client(b.pid, b.memory, visible.data(), frameBytes) ||
            !read_client(b.pid, b.memory + kIncoming, incoming.data(), frameBytes))
            visible.clear();
        if (!visible.empty()) {
            old = visible;
            stage.visible = { visible.data(), b.width, b.height, (LONG)kPitch };
            stage.incoming = { incoming.data(), b.width, b.height, (LONG)kPitch };
            stage.old = { old.data(), b.width, b.height, (LONG)kPitch };
        }
    } else if (b.word >= 64 && b.word < 192) {
        auto h = g_hosts.find({ b.pid, b.word & 3 });
        const size_t bytes = (size_t)b.width * b.height * 4;
        b.hostVisible.resize(bytes);
        if (h != g_hosts.end() && h->second.bytes >= bytes) {
            incoming.resize(bytes);
            if (read_client(b.pid, h->second.pixels, incoming.data(), bytes)) {
                old = b.hostVisible;
                stage.visible = { b.hostVisible.data(), b.width, b.height, b.width * 4 };
                stage.incoming = { incoming.data(), b.width, b.height, b.width * 4 };
                stage.old = { old.data(), b.width, b.height, b.width * 4 };
            }
        }
    }
    for (auto &q : b.queue) {
        auto l = g_lists.find(q.first);
        if (l == g_lists.end() || q.second >= l->second.bytes.size()) continue;
        const BYTE *rec = l->second.bytes.data() + q.second;
        DWORD size = murnak::check_frame_record(rec, l->second.bytes.size() - q.second);
        if (!size) continue;
        b.position += (DWORD)murnak::play_frame_record(rec, size, stage);
    }
    b.queue.clear();
    if (onBoard && !visible.empty()) write_client(b.pid, b.memory, visible.data(), frameBytes);
    b.last = stage;
    b.last.visible = b.last.incoming = b.last.old = murnak::Plane();
    (void)handle;
    set_event(b, 0);
}

NTSTATUS board_request(DWORD pid, DWORD code, BYTE *buf, DWORD inLen, DWORD outLen, ULONG_PTR &info)
{
    auto in = [&](int i) -> DWORD {
        DWORD v = 0;
        if ((DWORD)(i + 1) * 4 <= inLen) memcpy(&v, buf + 4 * i, 4);
        return v;
    };
    auto out32 = [&](DWORD v) -> NTSTATUS {
        if (outLen < 4) return STATUS_BUFFER_TOO_SMALL;
        memcpy(buf, &v, 4);
        info = 4;
        return STATUS_SUCCESS;
    };
    auto board = [&](LONG h) -> Board * {
        auto it = g_boards.find(h);
        return it != g_boards.end() && it->second.pid == pid ? &it->second : nullptr;
    };

    switch (code) {
    case IOCTL_MURNAK_BUILD:
        return out32(param("Build", MURNAK_REQUIRED_BUILD));
    case IOCTL_MURNAK_BOARD_COUNT:
        return out32(param("Boards", 1));
    case IOCTL_MURNAK_OPEN_BOARD: {
        if (inLen < 4 || outLen < sizeof(MurnakOpenBoard)) return STATUS_BUFFER_TOO_SMALL;
        if (param("RefuseOpen", 0)) return STATUS_DEVICE_NOT_READY;
        MurnakOpenBoard answer = { -1, 0, 0, 0, 0 };
        DWORD w = in(0);
        // The board number is the low two bits; numbers past the count do
        // not open.
        if ((w & 3) < param("Boards", 1)) {
            Board b;
            b.pid = pid;
            b.word = w & 0xFFFF;
            b.width = (LONG)std::min<DWORD>(param("Width", 720), kPitch / 4);
            b.height = (LONG)std::min<DWORD>(param("Height", 486), kIncoming / kPitch);
            answer.handle = g_nextBoard++;
            answer.width = (DWORD)b.width;
            answer.height = (DWORD)b.height;
            answer.keying = param("Keying", 0);
            answer.aspect = param("Aspect", 0x00040003);
            g_boards[answer.handle] = b;
        }
        memcpy(buf, &answer, sizeof answer);
        info = sizeof answer;
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_CLOSE_BOARD: {
        Board *b = board((LONG)in(0));
        if (!b) return STATUS_INVALID_HANDLE;
        release_board(*b);
        g_boards.erase((LONG)in(0));
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_FRAME_MEMORY: {
        Board *b = board((LONG)in(0));
        if (!b) return STATUS_INVALID_HANDLE;
        if (outLen < sizeof(void *)) return STATUS_BUFFER_TOO_SMALL;
        if (!b->memory)
            b->memory = (BYTE *)VirtualAllocEx(client(pid).process, nullptr, kFrameMemory, MEM_COMMIT | MEM_RESERVE,
                                               PAGE_READWRITE);
        if (!b->memory) return STATUS_NO_MEMORY;
        memcpy(buf, &b->memory, sizeof(void *));
        info = sizeof(void *);
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_SUBMIT_LIST: {
        if (inLen < sizeof(MurnakSubmitList)) return STATUS_INVALID_PARAMETER;
        MurnakSubmitList s;
        memcpy(&s, buf, sizeof s);
        if (!s.size || s.size > 64u << 20) return STATUS_INVALID_PARAMETER;
        List l;
        l.pid = pid;
        l.bytes.resize(s.size);
        if (!read_client(pid, s.list, l.bytes.data(), s.size)) return STATUS_ACCESS_VIOLATION;
        DWORD id = g_nextList++;
        g_lists[id] = std::move(l);
        return out32(id);
    }
    case IOCTL_MURNAK_FREE_LIST: {
        auto it = g_lists.find(in(0));
        if (it == g_lists.end() || it->second.pid != pid) return STATUS_INVALID_PARAMETER;
        g_lists.erase(it);
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_QUEUE_FRAME: {
        Board *b = board((LONG)in(0));
        if (!b) return STATUS_INVALID_HANDLE;
        auto it = g_lists.find(in(1));
        if (it == g_lists.end() || it->second.pid != pid) return STATUS_INVALID_PARAMETER;
        if (inLen >= sizeof(MurnakQueueRange)) return STATUS_SUCCESS;   // movie frames: nothing to show
        if (b->queue.size() >= param("QueueLimit", 4096)) return STATUS_INSUFFICIENT_RESOURCES;
        b->queue.emplace_back(in(1), in(2));
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_PLAY_QUEUE:
    case IOCTL_MURNAK_PLAY_AT_TIME: {
        Board *b = board((LONG)in(0));
        if (!b) return STATUS_INVALID_HANDLE;
        if (param("RefusePlay", 0)) return STATUS_DEVICE_NOT_READY;
        play_queue((LONG)in(0), *b);
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_STOP: {
        Board *b = board((LONG)in(0));
        if (!b) return STATUS_INVALID_HANDLE;
        b->queue.clear();
        set_event(*b, 0);
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_POSITION: {
        Board *b = board((LONG)in(0));
        return b ? out32(b->position) : STATUS_INVALID_HANDLE;
    }
    case IOCTL_MURNAK_EVENT_DONE:
    case IOCTL_MURNAK_EVENT_ROLL_READY:
    case IOCTL_MURNAK_EVENT_ROLL_STEP:
    case IOCTL_MURNAK_EVENT_EXTRA: {
        if (inLen < sizeof(MurnakEvent)) return STATUS_INVALID_PARAMETER;
        MurnakEvent e;
        memcpy(&e, buf, sizeof e);
        Board *b = board((LONG)e.handle);
        if (!b) return STATUS_INVALID_HANDLE;
        int which = code == IOCTL_MURNAK_EVENT_DONE ? 0 : code == IOCTL_MURNAK_EVENT_ROLL_READY ? 1
                    : code == IOCTL_MURNAK_EVENT_ROLL_STEP ? 2 : 3;
        HANDLE mine = nullptr;
        if (!DuplicateHandle(client(pid).process, e.event, GetCurrentProcess(), &mine, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
            return STATUS_INVALID_HANDLE;
        if (b->events[which]) CloseHandle(b->events[which]);
        b->events[which] = mine;
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_ATTACH_HOST_LO:
    case IOCTL_MURNAK_ATTACH_HOST_HI: {
        if (inLen < sizeof(MurnakAttachHost)) return STATUS_INVALID_PARAMETER;
        MurnakAttachHost a;
        memcpy(&a, buf, sizeof a);
        g_hosts[{ pid, a.backplane & 3 }] = { (BYTE *)a.pixels, a.bytes };
        return STATUS_SUCCESS;
    }
    case IOCTL_MURNAK_DETACH_HOST_LO:
    case IOCTL_MURNAK_DETACH_HOST_HI:
        g_hosts.erase({ pid, in(0) & 3 });
        return STATUS_SUCCESS;
    case IOCTL_MURNAK_ROLL: {
        Board *b = board((LONG)in(0));
        if (!b) return STATUS_INVALID_HANDLE;
        switch (in(1)) {
        case 1:       // start: the board steps the roll at once
            b->rollLine = 0;
            b->rollSpeed = (LONG)std::max<DWORD>(1, in(6));
            b->rolling = true;
            set_event(*b, 2);
            return STATUS_SUCCESS;
        case 8:       // current line; the roll moves on by its speed
        {
            DWORD line = (DWORD)b->rollLine;
            b->rollLine += b->rollSpeed;
            return out32(line);
        }
        case 4:
        case 5:       // stop the roll
            b->rolling = false;
            set_event(*b, 0);
            return outLen >= 4 ? out32(0) : STATUS_SUCCESS;
        case 10:
            if (outLen < 16) return STATUS_BUFFER_TOO_SMALL;
            memset(buf, 0, 16);
            info = 16;
            return STATUS_SUCCESS;
        default:
            return outLen >= 4 ? out32(0) : STATUS_SUCCESS;
        }
    }
    case IOCTL_MURNAK_RC_ENABLE: {
        // Decks 1 to the "Decks" parameter answer.
        DWORD n = in(0);
        return out32(n >= 1 && n <= param("Decks", 2) ? n : 0);
    }
    case IOCTL_MURNAK_RC_DISABLE:
        g_cuts.erase({ pid, in(0) });
        return outLen >= 4 ? out32(1) : STATUS_SUCCESS;
    case IOCTL_MURNAK_RC_SETUP:
        return out32(in(1) + in(2));
    case IOCTL_MURNAK_CUT_CLEAR:
        g_cuts[{ pid, in(0) }] = 0;
        return out32(1);
    case IOCTL_MURNAK_CUT_ADD:
        return out32(++g_cuts[{ pid, in(0) }]);
    case IOCTL_MURNAK_CUT_PLAY:
        return out32(g_cuts[{ pid, in(0) }]);
    case IOCTL_MURNAK_CAPTURE_PARAM:
        return out32(0x10);
    case IOCTL_MURNAK_EFFECT_CONTROL:
    case IOCTL_MURNAK_EFFECT_QUERY:
    case IOCTL_MURNAK_MOVIE_QUERY:
        return outLen >= 4 ? out32(0) : STATUS_SUCCESS;
    case IOCTL_MURNAK_WINDOW:
    case IOCTL_MURNAK_HOST_WINDOW:
    case IOCTL_MURNAK_MASTER_DVE:
    case IOCTL_MURNAK_LIVE_DVE:
    case IOCTL_MURNAK_GRAB:
    case IOCTL_MURNAK_MOVIE_VALUE:
    case IOCTL_MURNAK_MOVIE_RECORD:
    case IOCTL_MURNAK_HOST_UPDATE_LO:
    case IOCTL_MURNAK_HOST_UPDATE_HI:
    case IOCTL_MURNAK_HOST_ACCESS_LO:
    case IOCTL_MURNAK_HOST_ACCESS_HI:
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

NTSTATUS log_request_for_tests(DWORD pid, DWORD code, BYTE *buf, DWORD outLen, ULONG_PTR &info)
{
    Client &c = client(pid);
    if (code == IOCTL_MURNAK_LOG_CLEAR) {
        c.log.clear();
        return STATUS_SUCCESS;
    }
    DWORD words = std::min<DWORD>((DWORD)c.log.size(), outLen / 4);
    memcpy(buf, c.log.data(), words * 4);
    info = words * 4;
    return STATUS_SUCCESS;
}

NTSTATUS WINAPI dispatch_open_close(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *st = IoGetCurrentIrpStackLocation(irp);
    DWORD pid = (DWORD)(ULONG_PTR)PsGetCurrentProcessId();
    EnterCriticalSection(&g_lock);
    if (device == g_murnak && st->MajorFunction == IRP_MJ_CREATE) ++g_clients[pid].handles;
    // The last handle of a process closes what it left open.
    if (device == g_murnak && st->MajorFunction == IRP_MJ_CLOSE && --g_clients[pid].handles <= 0) {
        for (auto it = g_boards.begin(); it != g_boards.end();)
            if (it->second.pid == pid) { release_board(it->second); it = g_boards.erase(it); }
            else ++it;
        for (auto it = g_lists.begin(); it != g_lists.end();)
            it = it->second.pid == pid ? g_lists.erase(it) : std::next(it);
        for (auto it = g_hosts.begin(); it != g_hosts.end();)
            it = it->first.first == pid ? g_hosts.erase(it) : std::next(it);
        // The log stays for the tests to read after the process let go.
        Client &c = g_clients[pid];
        if (c.process) CloseHandle(c.process);
        c.process = nullptr;
        c.handles = 0;
    }
    LeaveCriticalSection(&g_lock);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

NTSTATUS WINAPI dispatch_ioctl(DEVICE_OBJECT *device, IRP *irp)
{
    IO_STACK_LOCATION *st = IoGetCurrentIrpStackLocation(irp);
    const DWORD code = st->Parameters.DeviceIoControl.IoControlCode;
    const DWORD inLen = st->Parameters.DeviceIoControl.InputBufferLength;
    const DWORD outLen = st->Parameters.DeviceIoControl.OutputBufferLength;
    BYTE *buf = (BYTE *)irp->AssociatedIrp.SystemBuffer;
    const DWORD pid = (DWORD)(ULONG_PTR)PsGetCurrentProcessId();
    ULONG_PTR info = 0;
    NTSTATUS status;
    EnterCriticalSection(&g_lock);
    if (code == IOCTL_MURNAK_LOG_READ || code == IOCTL_MURNAK_LOG_CLEAR) {
        status = log_request_for_tests(pid, code, buf, outLen, info);
    } else {
        log_request(pid, code, buf, inLen);
        if (device == g_effects)
            status = code == IOCTL_EFFECTS_CAPTURE || code == IOCTL_EFFECTS_FREEZE || code == IOCTL_EFFECTS_RELEASE
                         ? STATUS_SUCCESS : STATUS_INVALID_DEVICE_REQUEST;
        else
            status = board_request(pid, code, buf, inLen, outLen, info);
    }
    LeaveCriticalSection(&g_lock);
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = status == STATUS_SUCCESS ? info : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// The boards' field clock: a rolling board signals its roll-step event
// every field.
HANDLE g_clock, g_clockQuit;

DWORD WINAPI field_clock(void *)
{
    while (WaitForSingleObject(g_clockQuit, 20) == WAIT_TIMEOUT) {
        EnterCriticalSection(&g_lock);
        for (auto &b : g_boards)
            if (b.second.rolling) set_event(b.second, 2);
        LeaveCriticalSection(&g_lock);
    }
    return 0;
}

NTSTATUS make_device(DRIVER_OBJECT *driver, const WCHAR *name, const WCHAR *link, DEVICE_OBJECT **out)
{
    UNICODE_STRING dn, ln;
    RtlInitUnicodeString(&dn, name);
    RtlInitUnicodeString(&ln, link);
    NTSTATUS s = IoCreateDevice(driver, 0, &dn, 0x22 /* unknown device */, 0, FALSE, out);
    if (s) return s;
    return IoCreateSymbolicLink(&ln, &dn);
}

const WCHAR kMurnak[] = L"\\Device\\MURNAK", kMurnakLink[] = L"\\DosDevices\\MURNAK";
const WCHAR kEffects[] = L"\\Device\\PALLASFX", kEffectsLink[] = L"\\DosDevices\\PALLASFX";

void WINAPI driver_unload(DRIVER_OBJECT *)
{
    UNICODE_STRING ln;
    RtlInitUnicodeString(&ln, kMurnakLink);
    IoDeleteSymbolicLink(&ln);
    RtlInitUnicodeString(&ln, kEffectsLink);
    IoDeleteSymbolicLink(&ln);
    if (g_clock) {
        SetEvent(g_clockQuit);
        WaitForSingleObject(g_clock, INFINITE);
        CloseHandle(g_clock);
        CloseHandle(g_clockQuit);
        g_clock = g_clockQuit = nullptr;
    }
    if (g_murnak) IoDeleteDevice(g_murnak);
    if (g_effects) IoDeleteDevice(g_effects);
    g_murnak = g_effects = nullptr;
}

} // namespace

extern "C" NTSTATUS WINAPI DriverEntry(DRIVER_OBJECT *driver, UNICODE_STRING *)
{
    InitializeCriticalSection(&g_lock);
    g_state = new DeviceState;
    g_clockQuit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    g_clock = CreateThread(nullptr, 0, field_clock, nullptr, 0, nullptr);
    driver->MajorFunction[IRP_MJ_CREATE] = dispatch_open_close;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatch_open_close;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatch_ioctl;
    driver->DriverUnload = driver_unload;
    NTSTATUS s = make_device(driver, kMurnak, kMurnakLink, &g_murnak);
    if (s) return s;
    return make_device(driver, kEffects, kEffectsLink, &g_effects);
}
