// Field operations: one field of an interlaced frame rebuilt from the other,
// on small windows with odd heights; values worked out by hand.
#include <catch2/catch.hpp>
#include <vector>
#include "layer_fixture.h"

using lf::LayerPtr;
using Px = std::vector<DWORD>;

namespace {
// A one-pixel-wide layer with the given rows.
LayerPtr column(const Px &rows) { return lf::make(1, (LONG)rows.size(), rows); }
}

TEST_CASE("field average and repeat")
{
    struct Case { const char *what; LONG (PIXAPI *op)(Layer *, LONG); LONG field; Px in, out; };
    const Case cases[] = {
        {"average, field 0: odd rows from their pairs", FieldAverageLayer, 0,
         {0xFFFFFFFF, 0xFF000000, 0x00000000}, {0xFFFFFFFF, 0xFF7F7F7F, 0x00000000}},
        {"average, field 1: even rows", FieldAverageLayer, 1,
         {0xFFFFFFFF, 0xFF000000}, {0xFF7F7F7F, 0xFF000000}},
        {"average marks alpha with its lowest bit", FieldAverageLayer, 0,
         {0x00000000, 0x00000000, 0x02020202, 0x04060810}, {0x00000000, 0x01000000, 0x02020202, 0x03040509}},
        {"repeat, field 0: odd rows copy the even rows", FieldRepeatLayer, 0,
         {1, 2, 3, 4, 5}, {1, 1, 3, 3, 5}},
        {"repeat, field 1: even rows copy the odd rows, odd last row left", FieldRepeatLayer, 1,
         {1, 2, 3}, {2, 2, 3}},
        {"one row: nothing to pair", FieldAverageLayer, 0, {0x12345678}, {0x12345678}},
    };
    for (const Case &c : cases) {
        LayerPtr l = column(c.in);
        INFO(c.what);
        CHECK(c.op(l.get(), c.field) == 1);
        Px got = lf::pixels(l.get());
        for (size_t i = 0; i < got.size(); ++i) CHECK(lf::hex(got[i]) == lf::hex(c.out[i]));
    }
    // Two columns at once, in a clipped window that starts on row 1.
    LayerPtr l = lf::make(2, 4, {1, 1, 0xFF000000, 0xFFFFFFFF, 0xFF00FF00, 0xFF0000FF, 7, 7});
    LayerPtr c = lf::clip(l.get(), 0, 1, 2, 3);
    FieldRepeatLayer(c.get(), 0);
    CHECK(lf::pixels(l.get()) == Px{1, 1, 0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF, 7, 7});
    CHECK(FieldAverageLayer(NULL, 0) == 1);
}

TEST_CASE("field interpolate resamples at a quarter and three quarters")
{
    struct Case { LONG field; Px in, out; };
    const Case cases[] = {
        {1, {0xFFFFFFFF, 0x11111111, 0x00000000, 0x22222222},
            {0xBFBDBDBD, 0x3F3F3F3F, 0x00000000, 0x22222222}},
        {0, {0x11111111, 0xFFFFFFFF, 0x22222222, 0x00000000},
            {0x11111111, 0xBFBDBDBD, 0x3F3F3F3F, 0x00000000}},
        {1, {0x00000000, 0x55555555, 0x00000000, 0x66666666},     // transparent sources: alpha 3
            {0x03000000, 0x03000000, 0x00000000, 0x66666666}},
        {1, {0x80808080, 0x1, 0x40404040, 0x2, 0x00000000, 0x3},  // 6 rows: two steps
            {0x73707070, 0x53505050, 0x33303030, 0x13101010, 0x00000000, 0x3}},
        {1, {0xFFFFFFFF, 0x0, 0x0}, {0xFFFFFFFF, 0x0, 0x0}},      // under 4 rows: nothing
        {7, {0xFFFFFFFF, 0x0, 0x0, 0xFFFFFFFF, 0x0},              // any other field: odd base
            {0xFFFFFFFF, 0x3F3F3F3F, 0xBFBDBDBD, 0xFFFFFFFF, 0x0}},
    };
    for (const Case &c : cases) {
        LayerPtr l = column(c.in);
        CHECK(FieldInterpolateLayer(l.get(), c.field) == 1);
        Px got = lf::pixels(l.get());
        INFO("field " << c.field << ", " << c.in.size() << " rows");
        for (size_t i = 0; i < got.size(); ++i) CHECK(lf::hex(got[i]) == lf::hex(c.out[i]));
    }
}

TEST_CASE("field adaptive takes the vertical median by brightness")
{
    struct Case { const char *what; LONG field; Px in, out; };
    const Case cases[] = {
        {"a lone white pixel between black rows turns black", 0,
         {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFF000000}, {0xFF000000, 0xFF000000, 0xFF000000, 0xFF000000}},
        {"the whole pixel, alpha too, comes from the neighbour", 0,
         {0x12000000, 0xFFFFFFFF, 0xFF000000, 0x0}, {0x12000000, 0x12000000, 0xFF000000, 0x0}},
        {"too dark: the darker neighbour (below here)", 0,
         {0xFF808080, 0xFF000000, 0xFF404040, 0x0}, {0xFF808080, 0xFF404040, 0xFF404040, 0x0}},
        {"too bright: the brighter neighbour (below here)", 0,
         {0xFF101010, 0xFFFFFFFF, 0xFF404040, 0x0}, {0xFF101010, 0xFF404040, 0xFF404040, 0x0}},
        {"between its neighbours: kept", 0,
         {0xFF101010, 0xFF202020, 0xFF404040, 0x0}, {0xFF101010, 0xFF202020, 0xFF404040, 0x0}},
        {"ties go to the pixel above", 0,
         {0xAA000000, 0xFFFFFFFF, 0xBB000000, 0x0}, {0xAA000000, 0xAA000000, 0xBB000000, 0x0}},
        {"field 1 works on rows 2, 4, ...", 1,
         {0x0, 0xFF000000, 0xFFFFFFFF, 0xFF000000, 0x0, 0x0}, {0x0, 0xFF000000, 0xFF000000, 0xFF000000, 0x0, 0x0}},
        {"under 4 rows: nothing", 0, {0xFF000000, 0xFFFFFFFF, 0xFF000000}, {0xFF000000, 0xFFFFFFFF, 0xFF000000}},
    };
    for (const Case &c : cases) {
        LayerPtr l = column(c.in);
        INFO(c.what);
        CHECK(FieldAdaptiveLayer(l.get(), c.field) == 1);
        Px got = lf::pixels(l.get());
        for (size_t i = 0; i < got.size(); ++i) CHECK(lf::hex(got[i]) == lf::hex(c.out[i]));
    }
}

TEST_CASE("field operations update but do not refresh")
{
    LayerPtr l = lf::filled(2, 4, 0xFF808080);
    lf::Recorder rec;
    lf::NamedHandler r = {{lf::record_proc, 0, 0}, "r", &rec, 1}, u = {{lf::record_proc, 0, 0}, "u", &rec, 1};
    l->refreshHandler = &r.h;
    l->updateHandler = &u.h;
    {
        lf::Notify on;
        FieldAverageLayer(l.get(), 0);
        FieldRepeatLayer(l.get(), 0);
        FieldInterpolateLayer(l.get(), 0);
        FieldAdaptiveLayer(l.get(), 0);
    }
    CHECK(rec.calls == std::vector<std::string>{"u", "u", "u", "u"});
    l->refreshHandler = l->updateHandler = NULL;
}
