// Edge tracing: grey image, gradient map, runs of like direction fitted by
// least squares, the strongest kept in a min-heap (see fxedges.h).
#include "fxedges.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

int AlwaysContinue(EdgeTraceParams *)
{
    return 1;
}

const EdgeTraceParams kDefaults = { EDGE_TRACE | EDGE_WEIGHTED, 32, 25, 4, 0, 0, nullptr, AlwaysContinue, 0 };
EdgeTraceParams g_params = kDefaults;

const uint8_t kNoEdge = 255;

struct Edge {
    double x1, y1, x2, y2;
    double weight;               // squared length: the heap key
};

// Sums of one run for the least-squares line.
struct Run {
    double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
    int minX, maxX, minY, maxY;
    void Add(int x, int y, double w)
    {
        n += w;
        sx += w * x;
        sy += w * y;
        sxx += w * x * x;
        sxy += w * x * y;
        syy += w * y * y;
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    }
};

// Min-heap of the strongest edges.
class EdgeHeap {
public:
    explicit EdgeHeap(int capacity) : cap_(capacity) {}
    bool Reserve()
    {
        try {
            items_.reserve(size_t(cap_) + 1);
        } catch (const std::bad_alloc &) {
            return false;
        }
        return true;
    }
    void Offer(const Edge &e)
    {
        if (cap_ <= 0)
            return;
        if (int(items_.size()) < cap_) {
            items_.push_back(e);
            for (size_t i = items_.size() - 1; i > 0 && items_[(i - 1) / 2].weight > items_[i].weight; i = (i - 1) / 2)
                std::swap(items_[i], items_[(i - 1) / 2]);
            return;
        }
        // Full: a new edge displaces the weakest only when it is stronger.
        if (e.weight <= items_[0].weight)
            return;
        items_[0] = e;
        SiftDown(0, items_.size());
    }
    // Heap sort: the smallest goes to the back, leaving the largest first.
    std::vector<Edge> &Sorted()
    {
        for (size_t end = items_.size(); end > 1; --end) {
            std::swap(items_[0], items_[end - 1]);
            SiftDown(0, end - 1);
        }
        return items_;
    }

private:
    void SiftDown(size_t i, size_t n)
    {
        for (;;) {
            size_t l = 2 * i + 1, r = l + 1, m = i;
            if (l < n && items_[l].weight < items_[m].weight)
                m = l;
            if (r < n && items_[r].weight < items_[m].weight)
                m = r;
            if (m == i)
                return;
            std::swap(items_[i], items_[m]);
            i = m;
        }
    }
    int cap_;
    std::vector<Edge> items_;
};

// Sector within the quadrant of (gx, gy), numbered round the circle.
int Quadrant(int gx, int gy)
{
    return gx >= 0 ? (gy >= 0 ? 0 : 3) : (gy >= 0 ? 1 : 2);
}

bool Report(int percent)
{
    g_params.percent = percent;
    return !g_params.progress || g_params.progress(&g_params);
}

} // namespace

EdgeTraceParams *GetEdgeTraceParams()
{
    return &g_params;
}

void ResetEdgeTraceParams()
{
    g_params = kDefaults;
}

int QuantiseDirection(int quantiser, int gx, int gy)
{
    int ax = std::abs(gx), ay = std::abs(gy), q = Quadrant(gx, gy);
    switch (quantiser) {
    case 0: {   // 16: four sectors per quadrant, split at the halves and the diagonal
        int s = 2 * ay < ax ? 0 : ay < ax ? 1 : 2 * ax >= ay ? 2 : 3;
        return q * 4 + s;
    }
    case 1:     // 12: the four axes (one four times the other), two sectors per quadrant between
        if (ax > 4 * ay)
            return gx >= 0 ? 0 : 1;
        if (ay > 4 * ax)
            return gy >= 0 ? 2 : 3;
        return 4 + q * 2 + (ax > ay ? 0 : 1);
    case 2:     // 8: axes by the halves, else the quadrant's diagonal
    case 3: {   // 8: axes by eight times, else the diagonal
        int k = quantiser == 2 ? 2 : 8;
        if (ax > k * ay)
            return gx >= 0 ? 0 : 1;
        if (ay > k * ax)
            return gy >= 0 ? 2 : 3;
        return 4 + q;
    }
    default:    // 128 directions
        return int(std::atan2(double(gx), double(gy)) * 20.371832148864726) & 0x7F;
    }
}

int TraceImageEdges(const uint8_t *pixels, int width, int height, EdgeSegment *out, int capacity)
{
    if (!pixels || !out || width < 3 || height < 3 || width > 0xFFFF || height > 0xFFFF || capacity < 2)
        return 0;
    const size_t count = size_t(width) * size_t(height);
    std::vector<uint8_t> grey, code, value;
    EdgeHeap heap(capacity / 2);
    try {
        grey.resize(count);
        code.assign(count, kNoEdge);
        value.assign(count, 0);
    } catch (const std::bad_alloc &) {
        return 0;
    }
    if (!heap.Reserve())
        return 0;

    for (size_t i = 0; i < count; ++i) {
        const uint8_t *p = pixels + i * 4;
        grey[i] = uint8_t((77 * p[2] + 151 * p[1] + 28 * p[0]) >> 8);
    }
    EdgeTraceParams &P = g_params;
    P.width = uint16_t(width);
    P.height = uint16_t(height);
    P.grey = grey.data();
    P.percent = 0;
    const int threshold = std::max<int>(1, P.threshold);
    const bool trace = (P.flags & EDGE_TRACE) != 0;
    bool ok = true;

    // Gradient pass: 0 to 50 %.
    for (int y = 1; y < height - 1 && ok; ++y) {
        const uint8_t *a = &grey[size_t(y - 1) * width], *b = &grey[size_t(y + 1) * width];
        for (int x = 1; x < width - 1; ++x) {
            int gy = (b[x - 1] + 2 * b[x] + b[x + 1]) - (a[x - 1] + 2 * a[x] + a[x + 1]);
            int gx = (a[x - 1] + b[x - 1]) - (a[x + 1] + b[x + 1]);
            int strength = std::abs(gx) + std::abs(gy);
            if (trace && strength > threshold) {
                size_t i = size_t(y) * width + x;
                code[i] = uint8_t(QuantiseDirection(P.quantiser, gx, gy));
                value[i] = uint8_t(std::min(254, strength / threshold));
            }
        }
        ok = Report(y * 50 / height);
    }
    if (!ok || !trace) {
        P.grey = nullptr;
        return 0;
    }

    // Tracing pass: 50 to 100 %.
    const bool weighted = (P.flags & EDGE_WEIGHTED) != 0;
    std::vector<uint8_t> seen(count, 0);
    std::vector<int> stack;
    for (int y = 1; y < height - 1 && ok; ++y) {
        for (int x = 1; x < width - 1; ++x) {
            size_t start = size_t(y) * width + x;
            if (code[start] == kNoEdge || seen[start])
                continue;
            const int r = code[start];
            Run run;
            run.minX = run.maxX = x;
            run.minY = run.maxY = y;
            seen[start] = 1;
            stack.assign(1, int(start));
            while (!stack.empty()) {
                int i = stack.back();
                stack.pop_back();
                int px = i % width, py = i / width;
                run.Add(px, py, weighted ? value[size_t(i)] : 1.0);
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        int nx = px + dx, ny = py + dy;
                        if ((!dx && !dy) || nx < 1 || ny < 1 || nx >= width - 1 || ny >= height - 1)
                            continue;
                        size_t n = size_t(ny) * width + nx;
                        int c = code[n];
                        if (c == kNoEdge || seen[n])
                            continue;
                        bool like = weighted ? std::min(std::abs(c - r), std::abs(c + r - 127)) < 8 : c == r;
                        if (!like)
                            continue;
                        seen[n] = 1;
                        stack.push_back(int(n));
                    }
            }
            int ex = run.maxX - run.minX, ey = run.maxY - run.minY;
            if (ex * ex + ey * ey <= P.minExtent || run.n <= 0)
                continue;
            Edge e;
            if (ex > ey) {   // y on x, ends at the extreme x values
                double d = run.n * run.sxx - run.sx * run.sx;
                double b = d != 0 ? (run.n * run.sxy - run.sx * run.sy) / d : 0;
                double a = (run.sy - b * run.sx) / run.n;
                e = { double(run.minX), a + b * run.minX, double(run.maxX), a + b * run.maxX, 0 };
            } else {         // x on y, ends at the extreme y values
                double d = run.n * run.syy - run.sy * run.sy;
                double b = d != 0 ? (run.n * run.sxy - run.sx * run.sy) / d : 0;
                double a = (run.sx - b * run.sy) / run.n;
                e = { a + b * run.minY, double(run.minY), a + b * run.maxY, double(run.maxY), 0 };
            }
            auto inside = [&](double px, double py) {
                return px >= 1 && px <= width - 1 && py >= 1 && py <= height - 1;
            };
            if (!inside(e.x1, e.y1) || !inside(e.x2, e.y2))
                continue;
            e.weight = (e.x2 - e.x1) * (e.x2 - e.x1) + (e.y2 - e.y1) * (e.y2 - e.y1);
            heap.Offer(e);
        }
        ok = Report(50 + y * 50 / height);
    }
    P.grey = nullptr;
    if (!ok)
        return 0;
    Report(100);

    std::vector<Edge> &edges = heap.Sorted();
    int n = 0;
    for (const Edge &e : edges)
        out[n++] = { int32_t(e.x1 / width * 100000), int32_t(e.y1 / height * 100000), int32_t(e.x2 / width * 100000),
                     int32_t(e.y2 / height * 100000) };
    return n;
}
