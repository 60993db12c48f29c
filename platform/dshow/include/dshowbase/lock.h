// Critical section and its scoped holder.
#pragma once
#include <windows.h>

namespace dsb {

// A recursive Win32 critical section.  Not copyable.
class CritSec {
public:
    CritSec() { InitializeCriticalSection(&cs_); }
    ~CritSec() { DeleteCriticalSection(&cs_); }
    CritSec(const CritSec&) = delete;
    CritSec& operator=(const CritSec&) = delete;
    void Lock() { EnterCriticalSection(&cs_); }
    void Unlock() { LeaveCriticalSection(&cs_); }
    // True when the calling thread holds the section (for assertions).
    bool OwnedByMe() const { return (DWORD)(DWORD_PTR)cs_.OwningThread == GetCurrentThreadId(); }

private:
    CRITICAL_SECTION cs_;
};

// Holds a CritSec for the lifetime of the scope.
class AutoLock {
public:
    explicit AutoLock(CritSec& cs) : cs_(cs) { cs_.Lock(); }
    ~AutoLock() { cs_.Unlock(); }
    AutoLock(const AutoLock&) = delete;
    AutoLock& operator=(const AutoLock&) = delete;

private:
    CritSec& cs_;
};

}  // namespace dsb
