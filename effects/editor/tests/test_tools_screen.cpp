// The editor's tool dialog on a real display: a host that answers the
// window request with its own windows gets the bind window in its view
// area and the tool dialog in its bottom area, with the pages of the
// node's personality; values typed into the pages' positioners reach the
// current keyframe and the undo list.  Screenshots are kept as artefacts.
#include <catch2/catch.hpp>

#include <cstdio>
#include <string>

#include "editor_host.h"

using namespace fxtest;

TEST_CASE("A host that answers the window request gets the editor in its own windows", "[editor][screen]")
{
    REQUIRE(Library());
    EditorHost e(1);
    REQUIRE(e.Open());
    CHECK(e.windowRequests >= 2);
    CHECK(GetParent(e.Bind()) == e.view);
    REQUIRE(IsWindow(e.Tool()));
    CHECK(IsChild(e.bottom, e.Tool()));
    CHECK(IsWindowVisible(e.Tool()));
    CHECK_FALSE(e.Shot("editor_host_dve.bmp").empty());
}
