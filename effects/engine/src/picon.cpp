// The picon renderer and animator of the 3D mesh page: meshes drawn with
// OpenGL into a memory bitmap, copied into the slots' own bitmaps and lent
// to the page's picture buttons.
#include "fxpicon.h"

#include <GL/gl.h>

#include <cmath>
#include <cstring>
#include <new>

#include "fxutil.h"

namespace {

constexpr int BACKGROUND_TEXTURE = 1;   // the 128 x 128 sample behind every picon

struct Sample {
    int resource, size, channels;
};
const Sample kSamples[3] = {{100, 256, 3}, {101, 128, 3}, {102, 256, 4}};

HBITMAP MakeDib(HDC dc, int width, int height, uint32_t **pixels)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = height;   // bottom row first, as OpenGL reads
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits)
        memset(bits, 0, size_t(width) * height * 4);
    *pixels = static_cast<uint32_t *>(bits);
    return dib;
}

void Perspective(const PiconRenderer *r)
{
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    const double aspect = std::sqrt(double(r->width) / double(r->height));
    const double nearZ = 0.1, farZ = -3.0 * r->camera[2];
    const double top = nearZ * std::tan(15.0 * 3.14159265358979 / 180.0);
    glFrustum(-top * aspect, top * aspect, -top, top, nearZ, farZ);
    glTranslatef(r->camera[0], r->camera[1], r->camera[2]);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

// A sample texture from the module's "RAWIMAGE" resources; plain white
// when the resource is not there or too short.
void LoadSample(HMODULE module, const Sample &s, unsigned name)
{
    const size_t need = size_t(s.size) * s.size * s.channels;
    const void *data = nullptr;
    if (module)
        if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(s.resource), "RAWIMAGE"))
            if (SizeofResource(module, found) >= need)
                if (HGLOBAL g = LoadResource(module, found))
                    data = LockResource(g);
    std::vector<uint8_t> white;
    if (!data) {
        white.assign(need, 0xFF);
        data = white.data();
    }
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    const GLenum format = s.channels == 4 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), s.size, s.size, 0, format, GL_UNSIGNED_BYTE, data);
}

void Corner(const MeshTreeWalker &w, int normals, int texcoords, const int32_t *c, float opacity)
{
    const int32_t p = c[0], n = c[1], t = c[2];
    if (t >= 0 && t < texcoords)
        glTexCoord2f(w.texcoords[size_t(t) * 2], w.texcoords[size_t(t) * 2 + 1]);
    glColor4f(1.0f, 1.0f, 1.0f, opacity);
    if (n >= 0 && n < normals)
        glNormal3f(w.normals[size_t(n) * 3], w.normals[size_t(n) * 3 + 1], w.normals[size_t(n) * 3 + 2]);
    if (p >= 0 && p < w.positionCount)
        glVertex3f(w.positions[size_t(p) * 3], w.positions[size_t(p) * 3 + 1], w.positions[size_t(p) * 3 + 2]);
}

} // namespace

PiconRenderer *StartPiconRenderer(int width, int height, HMODULE resources)
{
    if (width <= 0 || height <= 0 || width > 4096 || height > 4096)
        return nullptr;
    auto *r = new (std::nothrow) PiconRenderer();
    if (!r)
        return nullptr;
    r->width = width;
    r->height = height;
    r->dc = CreateCompatibleDC(nullptr);
    if (r->dc)
        r->dib = MakeDib(r->dc, width, height, &r->pixels);
    if (!r->dib || !r->pixels) {
        StopPiconRenderer(r);
        return nullptr;
    }
    r->oldBitmap = SelectObject(r->dc, r->dib);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_BITMAP | PFD_SUPPORT_GDI | PFD_SUPPORT_OPENGL;   // 56
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 32;
    pfd.cDepthBits = 32;
    const int format = ChoosePixelFormat(r->dc, &pfd);
    if (!format || !SetPixelFormat(r->dc, format, &pfd) || !(r->context = wglCreateContext(r->dc)) ||
        !wglMakeCurrent(r->dc, r->context)) {
        StopPiconRenderer(r);
        return nullptr;
    }
    glViewport(0, 0, width, height);
    Perspective(r);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glShadeModel(GL_SMOOTH);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glEnable(GL_LIGHTING);
    glEnable(GL_COLOR_MATERIAL);
    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, GL_TRUE);
    const GLfloat specular[4] = {1, 1, 1, 1};
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 5.0f);
    const GLfloat position[4] = {0, 20, 20, 1}, ambient[4] = {0.3f, 0.3f, 0.3f, 1},
                  diffuse[4] = {0.7f, 0.7f, 0.7f, 1}, light[4] = {1, 1, 1, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, light);
    glEnable(GL_LIGHT0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glGenTextures(3, r->textures);
    for (int i = 0; i < 3; ++i)
        LoadSample(resources, kSamples[i], r->textures[i]);
    wglMakeCurrent(nullptr, nullptr);
    return r;
}

void StopPiconRenderer(PiconRenderer *r)
{
    if (!r)
        return;
    if (r->context) {
        if (wglMakeCurrent(r->dc, r->context)) {
            glDeleteTextures(3, r->textures);
            wglMakeCurrent(nullptr, nullptr);
        }
        wglDeleteContext(r->context);
    }
    if (r->dc && r->oldBitmap)
        SelectObject(r->dc, r->oldBitmap);
    if (r->dib)
        DeleteObject(r->dib);
    if (r->dc)
        DeleteDC(r->dc);
    delete r;
}

bool DrawPiconMesh(PiconRenderer *r, const void *block, size_t size, double opacity, bool inverted)
{
    if (!r || !r->context || !block || size < sizeof(FxMeshHeader))
        return false;
    FxMeshHeader h;
    memcpy(&h, block, sizeof h);
    MeshTreeWalker w;
    if (h.kind != 6 || !w.Attach(block, size))
        return false;
    if (!wglMakeCurrent(r->dc, r->context))
        return false;
    r->opacity = opacity;
    r->blendMode = inverted ? 1 : 0;
    glClearColor(0, 1, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    // The background sample over the whole view, unlit.
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, r->textures[BACKGROUND_TEXTURE]);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    // The mesh, lit and blended.
    glEnable(GL_BLEND);
    glEnable(GL_LIGHTING);
    if (inverted)
        glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
    else
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, r->textures[inverted ? 2 : 0]);
    Perspective(r);
    const float alpha = float(opacity < 0 ? 0 : opacity > 1 ? 1 : opacity);
    for (int f = 0; f < w.faceCount; ++f) {
        const int32_t *face = w.faces + size_t(f) * FX_MESH_FACE_WORDS;
        const int corners = face[FX_FACE_COUNT_WORD] == 4 ? 4 : 3;
        glBegin(corners == 4 ? GL_QUADS : GL_TRIANGLES);
        for (int c = 0; c < corners; ++c)
            Corner(w, h.normals, h.texcoords, face + c * FX_FACE_CORNER_WORDS, alpha);
        glEnd();
    }
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glFinish();
    wglMakeCurrent(nullptr, nullptr);
    GdiFlush();
    return true;
}

bool RenderPicon(PiconRenderer *r, const GUID &mesh, const double params[16], double opacity, bool inverted)
{
    if (!r)
        return false;
    if (!CreateMeshData(&mesh, params, 1.0, 1.0, 1, &r->mesh))
        return false;
    const size_t size = r->mesh.Used() ? r->mesh.Used() : r->mesh.Capacity();
    return DrawPiconMesh(r, r->mesh.Data(), size, opacity, inverted);
}

// ---------------------------------------------------------------- animator

namespace {

const char kExitEventName[] = "FX Picon Animator Rendering thread exit event";

void Interpolate(const PiconKey &a, const PiconKey &b, double f, PiconKey *out)
{
    for (int i = 0; i < 16; ++i)
        out->values[i] = a.values[i] + (b.values[i] - a.values[i]) * f;
    out->opacity = a.opacity + (b.opacity - a.opacity) * f;
}

// Draws the slot's key (interpolated at f towards the next) and hands the
// picture to its button.
void DrawSlot(PiconAnimator *a, int i, double f)
{
    PiconSlot &s = a->slots[i];
    if (s.source.keys.empty() || !s.pixels)
        return;
    const int n = int(s.source.keys.size());
    const PiconKey &k0 = s.source.keys[size_t(s.key % n)];
    const PiconKey &k1 = s.source.keys[size_t((s.key + 1) % n)];
    PiconKey k;
    Interpolate(k0, k1, f, &k);
    if (!RenderPicon(a->renderer, s.source.mesh, k.values, k.opacity, s.source.inverted))
        return;
    memcpy(s.pixels, a->renderer->pixels, size_t(a->width) * a->height * 4);
    if (HWND button = GetDlgItem(a->page, PICON_FIRST_CONTROL + i)) {
        // Lent, never given: the slot keeps drawing into this bitmap.
        PostMessageA(button, PICON_MESSAGE, PICON_LENT, reinterpret_cast<LPARAM>(s.dib));
        InvalidateRect(button, nullptr, FALSE);
    }
}

DWORD WINAPI AnimatorThread(void *p)
{
    auto *a = static_cast<PiconAnimator *>(p);
    HANDLE exitEvent = OpenEventA(SYNCHRONIZE, FALSE, kExitEventName);
    if (!exitEvent)
        exitEvent = a->exitEvent;
    const int steps = a->body == 0 ? 3 : 20;
    for (;;) {
        for (int i = 0; i < a->used && !a->paused; ++i) {
            PiconSlot &s = a->slots[i];
            if (s.source.keys.size() < 2)
                continue;
            DrawSlot(a, i, double(s.step) / steps);
            if (++s.step >= steps) {
                s.step = 0;
                if (++s.key >= int(s.source.keys.size()) - 1)
                    s.key = 0;
            }
        }
        InterlockedIncrement(&a->rounds);
        if (WaitForSingleObject(a->exitEvent, 33) == WAIT_OBJECT_0)
            break;
    }
    if (exitEvent != a->exitEvent)
        CloseHandle(exitEvent);
    return 0;
}

} // namespace

PiconAnimator *CreatePiconAnimator(HWND page, PiconRenderer *renderer)
{
    HWND first = GetDlgItem(page, PICON_FIRST_CONTROL);
    if (!renderer || !first)
        return nullptr;
    RECT rc;
    GetClientRect(first, &rc);
    const int w = rc.right - 4, h = rc.bottom - 4;
    if (w != renderer->width || h != renderer->height)
        return nullptr;
    auto *a = new (std::nothrow) PiconAnimator();
    if (!a)
        return nullptr;
    a->renderer = renderer;
    a->page = page;
    a->width = w;
    a->height = h;
    a->exitEvent = CreateEventA(nullptr, FALSE, FALSE, kExitEventName);
    HDC dc = GetDC(nullptr);
    for (PiconSlot &s : a->slots)
        s.dib = MakeDib(dc, w, h, &s.pixels);
    ReleaseDC(nullptr, dc);
    return a;
}

void StopPicons(PiconAnimator *a)
{
    if (!a || !a->thread)
        return;
    SetEvent(a->exitEvent);
    // The thread looks at the event between frames; a loaded machine may
    // take a while to get there, and a thread ended inside the heap or the
    // OpenGL driver would leave their locks held for good.
    if (WaitForSingleObject(a->thread, 10000) != WAIT_OBJECT_0)
        TerminateThread(a->thread, 1);
    CloseHandle(a->thread);
    a->thread = nullptr;
    ResetEvent(a->exitEvent);
    // Lends the thread posted but the page has not yet read would hand the
    // buttons a bitmap after it is taken back (or deleted): they are dropped.
    MSG m;
    for (int i = 0; i < PICON_SLOTS; ++i)
        if (HWND button = GetDlgItem(a->page, PICON_FIRST_CONTROL + i))
            while (PeekMessageA(&m, button, PICON_MESSAGE, PICON_MESSAGE, PM_REMOVE)) {
            }
}

void DestroyPiconAnimator(PiconAnimator *a)
{
    if (!a)
        return;
    StopPicons(a);
    for (int i = 0; i < PICON_SLOTS; ++i) {
        // The buttons let go of the lent bitmaps before they are deleted.
        if (HWND button = GetDlgItem(a->page, PICON_FIRST_CONTROL + i))
            SendMessageA(button, PICON_MESSAGE, PICON_LENT, 0);
        if (a->slots[i].dib)
            DeleteObject(a->slots[i].dib);
    }
    if (a->exitEvent)
        CloseHandle(a->exitEvent);
    delete a;
}

void StartPicons(PiconAnimator *a, const std::vector<PiconSource> &sources, int body, bool animate)
{
    if (!a)
        return;
    StopPicons(a);
    a->body = body;
    a->used = int(sources.size() < size_t(PICON_SLOTS) ? sources.size() : size_t(PICON_SLOTS));
    for (int i = 0; i < PICON_SLOTS; ++i) {
        PiconSlot &s = a->slots[i];
        s.key = s.step = 0;
        if (i < a->used) {
            s.source = sources[size_t(i)];
            if (s.pixels)
                memset(s.pixels, 0, size_t(a->width) * a->height * 4);
            DrawSlot(a, i, 0.0);
        } else {
            s.source = PiconSource();
            if (HWND button = GetDlgItem(a->page, PICON_FIRST_CONTROL + i)) {
                SendMessageA(button, PICON_MESSAGE, PICON_LENT, 0);
                InvalidateRect(button, nullptr, TRUE);
            }
        }
    }
    if (!animate || a->used == 0)
        return;
    DWORD id = 0;
    a->thread = CreateThread(nullptr, 0, AnimatorThread, a, 0, &id);
}

// The thread is held between frames, never suspended where it stands: a
// thread stopped inside the heap or the OpenGL driver would hold their
// locks against the page's own thread.
void PausePicons(PiconAnimator *a)
{
    if (a)
        InterlockedExchange(&a->paused, 1);
}

void ResumePicons(PiconAnimator *a)
{
    if (a)
        InterlockedExchange(&a->paused, 0);
}
