// A program carrying the "NOWARNING" resource of type "PIXMOOR" loads the
// board driver without any warning box, even when the driver build is
// wrong; the library is then loaded and does nothing.
#include <catch2/catch.hpp>
#include <windows.h>
#include "murnak_kit.h"
#include "msgbox_capture.h"

using namespace murnak_kit;

TEST_CASE("NOWARNING silences the wrong-build box", "[attach]")
{
    REQUIRE(FindResourceA(GetModuleHandleA(nullptr), "NOWARNING", "PIXMOOR"));
    REQUIRE(install_device());
    reset_params(2);
    set_param("Build", 346);
    MsgBoxCapture boxes;
    HMODULE m = LoadLibraryA((bin_dir() + "\\Quadrel.dll").c_str());
    REQUIRE(m);
    CHECK(boxes.count() == 0);
    auto count = (LONG(WINAPI *)(void))(void *)GetProcAddress(m, "GetNumBoards");
    CHECK(count() == 0);
    FreeLibrary(m);
    set_param("Build", 345);
}
