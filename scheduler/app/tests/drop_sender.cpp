/*
 * drop_sender.exe EVENT WINDOW X Y PATH...: what the shell does when files are
 * dropped on a window that accepts them, from a process of its own: the
 * DROPFILES block (ANSI paths, the drop point in client pixels) is placed in
 * the window's process and WM_DROPFILES posted to the window.  WINDOW is the
 * handle in decimal.  Exit code 0 when the message was posted; the named
 * event EVENT is set then too (a waiting test need not see the exit).
 */
#include <windows.h>
#include <shlobj.h>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char **argv)
{
    if (argc < 6)
        return 2;
    const char *event = argv[1];
    ++argv;
    --argc;
    HWND target = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(argv[1], nullptr, 10)));
    if (!IsWindow(target))
        return 3;
    std::vector<char> block(sizeof(DROPFILES));
    for (int i = 4; i < argc; ++i)
        block.insert(block.end(), argv[i], argv[i] + std::strlen(argv[i]) + 1);
    block.push_back('\0');
    DROPFILES head = {};
    head.pFiles = sizeof(DROPFILES);
    head.pt.x = std::atoi(argv[2]);
    head.pt.y = std::atoi(argv[3]);
    head.fNC = FALSE;
    head.fWide = FALSE;
    std::memcpy(block.data(), &head, sizeof head);

    DWORD pid = 0;
    GetWindowThreadProcessId(target, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    if (!process)
        return 4;
    void *remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T put = 0;
    const bool written = remote && WriteProcessMemory(process, remote, block.data(), block.size(), &put) &&
                         put == block.size();
    CloseHandle(process);
    if (!written)
        return 5;
    if (!PostMessageA(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0))
        return 6;
    if (HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, event)) {
        SetEvent(done);
        CloseHandle(done);
    }
    return 0;
}
