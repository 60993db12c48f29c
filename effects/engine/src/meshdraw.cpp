// Drawing a mesh data block back to front: the walk of its tree and the
// depth sort of loose triangles.  The block comes from a plug-in: every
// index is checked against its array and each walk has a step budget, so a
// damaged tree (a cycle, a wild index) ends the walk instead of the process.
#include "fxutil.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int MAX_SORTED = 100000;
constexpr int MAX_DEPTH = 512;

struct DepthItem {
    int32_t triangle;
    float largest, smallest;
};
static_assert(sizeof(DepthItem) == 12, "depth item");

float Side(const MeshTreeWalker *w, const float normal[3], float constant)
{
    return normal[0] * w->eye[0] + normal[1] * w->eye[1] + normal[2] * w->eye[2] + constant;
}

void DrawFace(MeshTreeWalker *w, int face)
{
    if (face >= 0 && face < w->faceCount && w->drawFace)
        w->drawFace(w->context, w->faces + size_t(face) * FX_MESH_FACE_WORDS);
}

void DrawFaces(MeshTreeWalker *w, int first, int count, bool reverse)
{
    if (count <= 0)
        return;
    for (int i = 0; i < count; ++i)
        DrawFace(w, reverse ? first + count - 1 - i : first + i);
}

void Walk(MeshTreeWalker *w, int n, int depth)
{
    if (depth > MAX_DEPTH)
        return;
    while (n >= 0 && n < w->nodeCount && w->budget-- > 0) {
        const FxMeshNode &node = w->nodes[n];
        const int l1 = node.link[0], l2 = node.link[1], l3 = node.link[2];
        switch (node.kind) {
        case 0:
            Walk(w, l2, depth + 1);
            DrawFace(w, node.first);
            Walk(w, l3, depth + 1);
            n = l1;
            break;
        case 1:
        case 2: {
            bool reverse = node.kind == 2 && Side(w, node.normal, node.constant) < 0;
            Walk(w, l2, depth + 1);
            DrawFaces(w, node.first, node.count, reverse);
            Walk(w, l3, depth + 1);
            n = l1;
            break;
        }
        case 3:
            if (Side(w, node.normal2, node.constant) < 0) {
                Walk(w, l1, depth + 1);
                Walk(w, l3, depth + 1);
                n = l2;
            } else {
                Walk(w, l2, depth + 1);
                Walk(w, l3, depth + 1);
                n = l1;
            }
            break;
        case 4:
            Walk(w, l2, depth + 1);
            if (node.first >= 0 && node.first < w->faceCount) {
                int count = std::min(node.count, w->faceCount - node.first);
                DrawSortedTriangles(w, w->faces + size_t(node.first) * FX_MESH_FACE_WORDS, count);
            }
            Walk(w, l3, depth + 1);
            n = l1;
            break;
        case 6:
            n = Side(w, node.normal2, node.constant) < 0 ? l2 : l1;
            break;
        case 7: {
            bool reverse = Side(w, node.normal, node.constant) < 0;
            Walk(w, l2, depth + 1);
            for (int i = 0; i < node.count; ++i)
                Walk(w, reverse ? node.first + node.count - 1 - i : node.first + i, depth + 1);
            Walk(w, l3, depth + 1);
            n = l1;
            break;
        }
        default:   // 5 and unknown kinds end the walk
            return;
        }
    }
}

}  // namespace

int __cdecl CompareDepth(const void *a, const void *b)
{
    float za = static_cast<const float *>(a)[2];
    float zb = static_cast<const float *>(b)[2];
    return za < zb ? -1 : za > zb ? 1 : 0;
}

bool MeshTreeWalker::Attach(const void *block, size_t size)
{
    if (!block || size < sizeof(FxMeshHeader))
        return false;
    FxMeshHeader h;
    memcpy(&h, block, sizeof h);
    if (h.positions < 0 || h.normals < 0 || h.texcoords < 0 || h.nodes < 0)
        return false;
    uint64_t words = 8 + uint64_t(h.positions) * 3 + uint64_t(h.normals) * 3 + uint64_t(h.texcoords) * 2 +
                     uint64_t(h.nodes) * FX_MESH_NODE_WORDS;
    if (words * 4 > size)
        return false;
    const int32_t *w = static_cast<const int32_t *>(block) + 8;
    positions = reinterpret_cast<const float *>(w);
    w += size_t(h.positions) * 3;
    normals = reinterpret_cast<const float *>(w);
    w += size_t(h.normals) * 3;
    texcoords = reinterpret_cast<const float *>(w);
    w += size_t(h.texcoords) * 2;
    nodes = reinterpret_cast<const FxMeshNode *>(w);
    w += size_t(h.nodes) * FX_MESH_NODE_WORDS;
    faces = w;
    positionCount = h.positions;
    nodeCount = h.nodes;
    faceCount = int((size - words * 4) / (FX_MESH_FACE_WORDS * 4));
    return true;
}

void WalkMeshTree(MeshTreeWalker *walker, int node)
{
    if (!walker || !walker->nodes)
        return;
    // Every node may be reached from each of its three links and from a
    // parent's list: a sound tree never needs more steps than this.
    walker->budget = 4 * walker->nodeCount + 16;
    Walk(walker, node, 0);
}

void DrawSortedTriangles(MeshTreeWalker *walker, const int32_t *triangles, int count)
{
    if (!walker || !triangles || count <= 0)
        return;
    std::vector<DepthItem> items;
    int sorted = std::min(count, MAX_SORTED);
    items.reserve(size_t(sorted));
    for (int t = 0; t < sorted; ++t) {
        const int32_t *tri = triangles + size_t(t) * FX_MESH_FACE_WORDS;
        DepthItem item = {t, 0, 0};
        bool first = true;
        for (int c = 0; c < 3; ++c) {
            int32_t v = tri[c * 8];   // a corner record is 32 bytes
            if (v < 0 || v >= walker->positionCount || !walker->positions)
                continue;
            float z = walker->positions[size_t(v) * 3 + 2];
            if (first) {
                item.largest = item.smallest = z;
                first = false;
            } else {
                item.largest = std::max(item.largest, z);
                item.smallest = std::min(item.smallest, z);
            }
        }
        items.push_back(item);
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const DepthItem &a, const DepthItem &b) { return CompareDepth(&a, &b) < 0; });
    if (!walker->drawFace)
        return;
    for (const DepthItem &item : items)
        walker->drawFace(walker->context, triangles + size_t(item.triangle) * FX_MESH_FACE_WORDS);
    // Beyond the sort table's size the rest are drawn in their own order,
    // never dropped.
    for (int t = sorted; t < count; ++t)
        walker->drawFace(walker->context, triangles + size_t(t) * FX_MESH_FACE_WORDS);
}
