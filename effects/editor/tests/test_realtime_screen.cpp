// The realtime indicator of the tool dialog: shown only where the host's
// settings say the renderer does meshes and real time (the settings are
// read once per process, hence a program of its own).
#include <catch2/catch.hpp>

#include <string>

#include "editor_host.h"

using namespace fxtest;

TEST_CASE("The tool dialog says Realtime! in green for an effect within the realtime limit", "[editor][screen]")
{
    REQUIRE(Library());
    EditorHost e(2);
    e.host.iniPath = WriteIni("realtime.ini", "[Cubby Test]\r\nFXRDoesRealtime=TRUE\r\nFXRDoesMeshes=TRUE\r\n");
    REQUIRE(e.Open());
    HWND mark = e.Control(4400);
    REQUIRE(mark);
    char text[32] = "";
    GetWindowTextA(mark, text, sizeof text);
    CHECK(std::string(text) == "Realtime!");
    InvalidateRect(mark, nullptr, TRUE);
    UpdateWindow(mark);
    Pump(100);
    const Shot s = TakeShot(mark);
    int green = 0;
    for (unsigned px : s.px)
        if (((px >> 8) & 0xFF) > 200 && ((px >> 16) & 0xFF) < 60 && (px & 0xFF) < 60) ++green;
    CHECK(green > 5);
    SaveShot(e.frame, "editor_realtime.bmp");
}
