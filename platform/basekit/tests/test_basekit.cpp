/* Basekit locks and counts. */
#include <catch2/catch.hpp>

#include "basekit.h"

namespace {
DWORD WINAPI TryFromOtherThread(LPVOID lock)
{
    return static_cast<DWORD>(basekitWait(static_cast<BASEKITLOCK>(lock), 0));
}
int Wait(BASEKITLOCK lock)
{
    HANDLE t = CreateThread(nullptr, 0, TryFromOtherThread, lock, 0, nullptr);
    WaitForSingleObject(t, INFINITE);
    DWORD r = 0;
    GetExitCodeThread(t, &r);
    CloseHandle(t);
    return static_cast<int>(r);
}
}  // namespace

TEST_CASE("Basekit locks exclude other threads", "[basekit]")
{
    BASEKITLOCK lock = basekitCreateLock();
    REQUIRE(lock);
    CHECK(basekitTest(lock));
    CHECK(basekitWait(lock, -1) == BASEKIT_GOT);
    CHECK(Wait(lock) == BASEKIT_BUSY);
    CHECK(basekitRelease(lock));
    CHECK(Wait(lock) == BASEKIT_GOT); /* the thread ended holding it: abandoned, taken again */
    CHECK(basekitClose(lock));
    CHECK_FALSE(basekitTest(nullptr));
    CHECK(basekitWait(nullptr, 0) == BASEKIT_BUSY);
    CHECK_FALSE(basekitRelease(nullptr));
}

TEST_CASE("Basekit interlocked counts", "[basekit]")
{
    LONG volatile n = 0;
    CHECK(basekitIncrement(&n) == 1);
    CHECK(basekitIncrement(&n) == 2);
    CHECK(basekitDecrement(&n) == 1);
    CHECK(basekitIncrement(nullptr) == 0);
}
