// Reports a test run's failures in a file as well as in the exit code.
//
// Wine can lose a program's exit code: when a worker thread of the program
// ends while the main thread is ending the process, the process may leave
// with that thread's code (0) instead of the one main returned.  winrun names
// a file in CORV_TEST_RESULT; the count of failures written here at the end
// of the run is what it goes by when the exit code says nothing went wrong.
#include <windows.h>
#define CATCH_CONFIG_EXTERNAL_INTERFACES
#include <catch2/catch.hpp>
#include <cstdio>

namespace {

struct RunResultListener : Catch::TestEventListenerBase {
    using TestEventListenerBase::TestEventListenerBase;

    void testRunEnded(Catch::TestRunStats const &stats) override
    {
        char path[MAX_PATH];
        DWORD n = GetEnvironmentVariableA("CORV_TEST_RESULT", path, sizeof path);
        if (n == 0 || n >= sizeof path) return;
        unsigned long long failed = stats.totals.assertions.failed + stats.totals.testCases.failed;
        char text[32];
        int len = snprintf(text, sizeof text, "%llu\n", failed);
        HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return;
        DWORD written = 0;
        WriteFile(h, text, (DWORD)len, &written, nullptr);
        CloseHandle(h);
    }
};

} // namespace

CATCH_REGISTER_LISTENER(RunResultListener)
