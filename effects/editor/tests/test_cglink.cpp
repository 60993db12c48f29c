// The CG link drives the real library: bound by file name through the
// link's own loading path, attached, handed one record's FX script,
// asked for a frame, released.  Its own process: the link binds once per process.
#include <catch2/catch.hpp>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fxhost_host.h"
#include "fxlink.h"

using namespace cuelink;

TEST_CASE("The CG link loads Tarvofx.dll by file name and hands it an effect's FX script", "[cglink]")
{
    // The link joins the host's directory and the record's file name.
    const std::string dir = fxtest::BinDir() + "Tarvofx\\";
    REQUIRE(FxLinkStart(GetModuleHandleA(nullptr), 419, (dir + "Host.exe").c_str()) == 1);
    CubbyNode *lib = FxLibraryNode();
    REQUIRE(lib->notify);
    CHECK(std::string(FxRecordA()->path) == dir + "Tarvofx.dll");
    CHECK(lib->module == GetModuleHandleA((dir + "Tarvofx.dll").c_str()));

    // Attached as personality 0: its entries are there for format matching.
    REQUIRE(lib->capCount == 9);
    CHECK(lib->caps[0].code == FXD_EFFECT_BLOCK);
    CHECK((lib->flags & 1) == 1);

    // The library read the link's stored video format (640 x 480).
    FxRequest size = {};
    size.marker = FXR_MARKER;
    size.code = 0x2C800008;
    CHECK(lib->notify(lib, FxOwnNode(), FXN_REQUEST, FXP_SIZE, &size) == 1);
    CHECK(size.second == ((480u << 16) | 640u));

    // One record's FX script, handed over in the old form as the link does.
    const char *script = "Path 1: Keyframe 1.1 { at frame 1 } Path 2: Keyframe 2.1 { at frame 5 }";
    FxRequestOld set = {};
    set.data = const_cast<char *>(script);
    set.code = FXD_EFFECT_TEXT;
    set.unit = 16;
    set.flags = 15;  // one call
    CHECK(FxExchange(&set, lib, FxOwnNode(), FxOwnNode()) == 1);

    // The effect comes back as FX script text with both paths.
    FxRequest get = {};
    get.marker = FXR_MARKER;
    get.code = FXD_EFFECT_TEXT;
    get.unit = 16;
    REQUIRE(lib->notify(lib, FxOwnNode(), FXN_REQUEST, FXP_SIZE, &get) == 1);
    std::vector<char> text(get.second);
    get.data = text.data();
    REQUIRE(lib->notify(lib, FxOwnNode(), FXN_REQUEST, FXP_TRANSFER, &get) > 0);
    const std::string back(text.data());
    CHECK(back.find("Path 1:") != std::string::npos);
    CHECK(back.find("Path 2:") != std::string::npos);

    // A frame: path 1 becomes a red picture covering the frame, rendered
    // at frame 1 into the link's 32-bit buffer.
    FxInstance *inst = static_cast<FxInstance *>(lib->privateData);
    FxPath *first = inst->host.effect->first;
    REQUIRE(first);
    const int w = 16, h = 8;
    FxKeyframe *kf = first->head;
    SetKeyframeSize(kf, w, h);
    kf->position[0] = kf->position[1] = 0;
    kf->position[2] = 1000;
    auto *px = static_cast<DWORD *>(malloc(size_t(w) * h * 4));
    for (int i = 0; i < w * h; ++i) px[i] = 0xFFFF0000;
    first->image.width = w;
    first->image.height = h;
    first->image.pixels = px;
    first->image.pixelSize = uint32_t(w * h * 4);
    first->image.layerFlags[0] |= 1;

    std::vector<uint32_t> pixels(size_t(w) * h, 0x12345678);
    FxFrameFormat format;
    FxBuildFrameFormat(&format, w, h, w * 4, 1, 10, 0);
    FxRequestOld frame = {};
    frame.data = pixels.data();
    frame.code = FXD_RENDER_FRAME;
    frame.unit = 16;
    frame.flags = 15;
    frame.second = uintptr_t(&format);
    CHECK(FxExchange(&frame, nullptr, lib, FxOwnNode()) == 1);
    CHECK((pixels[size_t(h / 2) * w + w / 2] & 0xFFFFFF) == 0xFF0000u);

    // A description the buffer cannot be sized from is declined.
    FxFrameFormat bad = format;
    bad.size = 8;
    std::vector<uint32_t> untouched(size_t(w) * h, 0x12345678);
    frame.data = untouched.data();
    frame.second = uintptr_t(&bad);
    CHECK(FxExchange(&frame, nullptr, lib, FxOwnNode()) == 0);
    CHECK(untouched[0] == 0x12345678u);

    CHECK(FxLinkRelease() == 0);
    CHECK(lib->privateData == nullptr);
    CHECK(lib->capCount == 0);
}
