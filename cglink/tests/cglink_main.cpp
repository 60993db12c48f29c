// Main of the CG link's tests.  The library probes caller memory page by
// page under an exception guard; Catch's own handler of access violations
// would see those probes first, so it stays off here.
#define CATCH_CONFIG_NO_WINDOWS_SEH
#define CATCH_CONFIG_NO_POSIX_SIGNALS
#define CATCH_CONFIG_MAIN
#include <catch2/catch.hpp>
