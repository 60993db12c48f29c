// The renderer's output paths: one frame into a layer, a host's request
// into its buffer, the wireframe text dump against a hand-made text, image
// sequences written through the image filters and read back, the export
// type list, and the error box.
#include "render_fixture.h"

#include <cstdio>
#include <string>

#include "fxoutput.h"
#include "msgbox_capture.h"

namespace {

// An object moving 10 pixels right per frame over frames 1..3.
struct Moving : Scene {
    FxRenderSource src;
    Moving() : Scene(48, 32)
    {
        FxPath *p = Add(4, 8, 8, 8, kRed);
        AddKey(p, 2, 10, 0);
        AddKey(p, 3, 10, 0);
        memset(&src, 0, sizeof src);
        src.view = view;
        src.first = list;
    }
    // The left edge of the red square on a row of a pixel block, or -1.
    static int LeftEdge(const DWORD *px, int stride, int row, int width)
    {
        for (int x = 0; x < width; ++x)
            if (px[row * stride + x] == kRed)
                return x;
        return -1;
    }
};

std::string g_dump;
int __cdecl Sink(FxBufferedFile *, const void *data, int length)
{
    g_dump.append(static_cast<const char *>(data), size_t(length));
    return length;
}

// Reads an uncompressed true-colour Targa file into top-down pixels.
bool ReadTga(const std::string &path, int *w, int *h, std::vector<DWORD> *px)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    std::vector<unsigned char> b;
    unsigned char buf[4096];
    DWORD n;
    while (ReadFile(f, buf, sizeof buf, &n, nullptr) && n > 0)
        b.insert(b.end(), buf, buf + n);
    CloseHandle(f);
    if (b.size() < 18 || b[2] != 2) {
        WARN("Targa header: type " << int(b.size() > 2 ? b[2] : -1) << ", size " << b.size());
        return false;
    }
    *w = b[12] | b[13] << 8;
    *h = b[14] | b[15] << 8;
    int bpp = b[16] / 8;
    bool topDown = (b[17] & 0x20) != 0;
    size_t at = 18 + b[0];
    if (bpp < 3 || b.size() < at + size_t(*w) * *h * bpp)
        return false;
    px->assign(size_t(*w) * *h, 0);
    for (int y = 0; y < *h; ++y)
        for (int x = 0; x < *w; ++x) {
            const unsigned char *p = &b[at + (size_t(y) * *w + x) * bpp];
            DWORD a = bpp == 4 ? p[3] : 255;
            int row = topDown ? y : *h - 1 - y;
            (*px)[size_t(row) * *w + x] = a << 24 | DWORD(p[2]) << 16 | DWORD(p[1]) << 8 | p[0];
        }
    return true;
}

// The image filters, loaded by name as the library binds them.
struct Filters {
    HMODULE module = LoadLibraryA("Ferrix32.dll");
    Filters()
    {
        REQUIRE(module);
        g_fxFerrix.ferrixConvert =
            reinterpret_cast<decltype(g_fxFerrix.ferrixConvert)>(GetProcAddress(module, "ferrixConvert"));
        g_fxFerrix.ferrixEnumWriteFormats = reinterpret_cast<decltype(g_fxFerrix.ferrixEnumWriteFormats)>(
            GetProcAddress(module, "ferrixEnumWriteFormats"));
        REQUIRE(g_fxFerrix.ferrixConvert);
        REQUIRE(g_fxFerrix.ferrixEnumWriteFormats);
    }
    ~Filters() { g_fxFerrix = {}; }
};

// A fresh folder for one test's files.
struct Folder {
    std::string path;
    Folder()
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%.200sfxseq_%u_%u", tmp, unsigned(GetCurrentProcessId()), unsigned(GetTickCount()));
        path = name;
        CreateDirectoryA(path.c_str(), nullptr);
    }
    ~Folder()
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do
                DeleteFileA((path + "\\" + fd.cFileName).c_str());
            while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(path.c_str());
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> out;
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((path + "\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do
                if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    out.push_back(fd.cFileName);
            while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

// The toolkit's box takes its text as a format; this stand-in does the
// same for the one sequence that matters here ("%%") and shows the box.
int WINAPI ErrBox(HWND owner, LPCSTR text, LPCSTR caption, UINT style)
{
    std::string shown;
    for (const char *c = text; *c; ++c) {
        if (c[0] == '%' && c[1] == '%')
            ++c;
        shown += *c;
    }
    return MessageBoxA(owner, shown.c_str(), caption, style);
}

int WINAPI LoadText(HINSTANCE, UINT id, LPSTR buffer, int size, int)
{
    const char *text = id == 5 ? "Render of %d frames failed" : "Engine";
    lstrcpynA(buffer, text, size);
    return lstrlenA(buffer);
}

} // namespace

TEST_CASE("One frame of an effect into a layer", "[output][layer]")
{
    Moving m;
    auto edge = [&](int frame, int current) {
        m.src.currentFrame = current;
        ClearLayer(m.target);
        REQUIRE(RenderRangeToLayer(&m.src, m.target, 48, 32, 0, frame));
        for (int x = 0; x < 48; ++x)
            if (m.At(x, 12) == kRed)
                return x;
        return -1;
    };
    CHECK(edge(1, 0) == 4);
    CHECK(edge(3, 0) == 24);
    CHECK(edge(0, 2) == 14);   // frame 0: the current frame
    CHECK(edge(0, 0) == 4);    // no current frame: frame 1

    CHECK_FALSE(RenderRangeToLayer(nullptr, m.target, 48, 32, 0, 1));
    CHECK_FALSE(RenderRangeToLayer(&m.src, nullptr, 48, 32, 0, 1));
    CHECK_FALSE(RenderRangeToLayer(&m.src, m.target, 0, 32, 0, 1));
    FxRenderSource empty = m.src;
    empty.first = nullptr;
    CHECK_FALSE(RenderRangeToLayer(&empty, m.target, 48, 32, 0, 1));
}

namespace {
int g_playCalls = 0, g_playStop = 0, g_linkCodes = 0;
int PlayStep(int step, FxRenderJob *job)
{
    if (step != RS_FRAME || job->objectNumber != 0)
        return 1;
    ++g_playCalls;
    return g_playCalls != g_playStop;
}
int __cdecl PlayLink(FxRendererLink *, int code, void *)
{
    g_linkCodes = g_linkCodes * 100 + code;
    return 1;
}
} // namespace

TEST_CASE("Playing an effect in its view", "[output][play]")
{
    Moving m;
    FxPath *second = m.Add(30, 20, 4, 4, kBlue);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 48, 32, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(window);
    g_playCalls = 0;
    g_playStop = 0;
    m.src.progress = PlayStep;

    SECTION("every frame, drawn into the window; the last frame becomes current")
    {
        CHECK(RenderAllFrames(window, &m.src, 0, nullptr, false) == 3);
        CHECK(g_playCalls == 3);
        CHECK(m.view->window == window);
        CHECK(m.view->dc == nullptr);   // the device context was given back
    }
    SECTION("from the current frame, backwards")
    {
        m.src.currentFrame = 2;
        CHECK(RenderAllFrames(window, &m.src, PLAY_FROM_CURRENT | PLAY_BACKWARDS, nullptr, false) == 3);
        CHECK(g_playCalls == 2);   // frames 3 and 2
    }
    SECTION("only the current object, over the effect's length")
    {
        m.src.length = 3;
        m.src.progress = [](int step, FxRenderJob *job) {
            if (step == RS_START)
                CHECK(job->objectCount == 1);
            return 1;
        };
        CHECK(RenderAllFrames(window, &m.src, PLAY_CURRENT_OBJECT, second, false) == 3);
        CHECK(RenderAllFrames(window, &m.src, PLAY_CURRENT_OBJECT, nullptr, false) == -1);
    }
    SECTION("a cancel leaves the frame it stopped at; a loop runs until cancelled")
    {
        g_playStop = 2;
        CHECK(RenderAllFrames(window, &m.src, 0, nullptr, false) == 2);
        g_playCalls = 0;
        g_playStop = 7;   // 1 2 3 1 2 3 1
        CHECK(RenderAllFrames(window, &m.src, PLAY_LOOP, nullptr, false) == 1);
    }
    SECTION("the realtime renderer's link is told before and after; the view's flag is set only meanwhile")
    {
        FxRendererLink link = { PlayLink, nullptr };
        m.view->link = &link;
        g_linkCodes = 0;
        m.src.cancel = PlayStep;
        m.src.progress = nullptr;
        CHECK(RenderAllFrames(window, &m.src, PLAY_REALTIME, nullptr, true) == 3);
        CHECK(g_linkCodes == 1213);
        CHECK(g_playCalls == 6);   // field steps: two per frame, through the cancel poll
        CHECK((m.view->flags & VIEW_REALTIME) == 0);
        m.view->link = nullptr;
    }
    DestroyWindow(window);
}

TEST_CASE("A host's frame request into its buffer", "[output][host]")
{
    Moving m;
    const int stride = 56;   // 48 pixels and 8 spare ones per row
    std::vector<DWORD> buf(size_t(stride) * 32, 0x12345678);
    // The pixel code 0x2004 makes the indices 0-based: frame word 1 is frame 2.
    uint32_t req[10] = { 40, 0x2004 | (5u << 28), 48, 32, 0, 1, 0, stride * 4, 0, 0 };

    SECTION("step count 0 renders the frame word's frame; the spare pixels stay")
    {
        REQUIRE(RenderToHostPixels(&m.src, buf.data(), buf.size() * 4, req));
        CHECK(Moving::LeftEdge(buf.data(), stride, 12, 48) == 14);
        CHECK(buf[12 * stride + 50] == 0x12345678);
        CHECK(buf[12 * stride + 2] == 0x12345678);   // not cleared: the object goes over the picture
    }
    SECTION("a step count divides the effect's range")
    {
        req[FF_STEPS] = 5;   // times 1, 1.5, 2, 2.5, 3
        req[FF_FRAME] = 3;
        REQUIRE(RenderToHostPixels(&m.src, buf.data(), buf.size() * 4, req));
        int edge = Moving::LeftEdge(buf.data(), stride, 12, 48);
        CHECK(edge >= 19);
        CHECK(edge <= 20);
    }
    SECTION("a buffer holding one field gets half the rows")
    {
        req[FF_FLAGS] |= FF_FIELD_ROWS | RJ_FIELDS;
        req[FF_STEPS] = 6;   // field steps: step 3 is an odd field
        req[FF_FRAME] = 3;
        std::vector<DWORD> half(size_t(stride) * 16, 0);
        REQUIRE(RenderToHostPixels(&m.src, half.data(), half.size() * 4, req));
        // Rows 8..15 of the frame are rows 4..7 of the field.
        CHECK(Moving::LeftEdge(half.data(), stride, 3, 48) == -1);
        CHECK(Moving::LeftEdge(half.data(), stride, 4, 48) >= 0);
        CHECK(Moving::LeftEdge(half.data(), stride, 7, 48) >= 0);
        CHECK(Moving::LeftEdge(half.data(), stride, 8, 48) == -1);
    }
    SECTION("a short record takes rows of width x 4 bytes")
    {
        req[FF_SIZE] = 32;
        std::vector<DWORD> tight(48 * 32, 0);
        REQUIRE(RenderToHostPixels(&m.src, tight.data(), tight.size() * 4, req));
        CHECK(Moving::LeftEdge(tight.data(), 48, 12, 48) == 14);
    }
    SECTION("requests the buffer cannot hold are refused untouched")
    {
        // The last row needs only its 48 pixels.
        CHECK(31 * stride * 4 + 48 * 4 <= int(buf.size() * 4));
        CHECK_FALSE(RenderToHostPixels(&m.src, buf.data(), 31 * stride * 4 + 48 * 4 - 1, req));
        uint32_t narrow[10];
        memcpy(narrow, req, sizeof req);
        narrow[FF_STRIDE] = 40 * 4;   // shorter than a row
        CHECK_FALSE(RenderToHostPixels(&m.src, buf.data(), buf.size() * 4, narrow));
        memcpy(narrow, req, sizeof req);
        narrow[FF_WIDTH] = 0;
        CHECK_FALSE(RenderToHostPixels(&m.src, buf.data(), buf.size() * 4, narrow));
        memcpy(narrow, req, sizeof req);
        narrow[FF_SIZE] = 20;   // ends before the step word
        CHECK_FALSE(RenderToHostPixels(&m.src, buf.data(), buf.size() * 4, narrow));
        CHECK_FALSE(RenderToHostPixels(&m.src, nullptr, buf.size() * 4, req));
        for (DWORD v : buf)
            REQUIRE(v == 0x12345678);
    }
}

TEST_CASE("The wireframe text dump", "[output][wireframe]")
{
    Scene s(64, 48);
    g_dump.clear();
    g_fxStolid.bfWrite = Sink;
    FxBufferedFile file = {};
    // A full-frame object, one sheared sideways, one with a sloping top,
    // all held over frames 1 and 2.
    FxPath *full = s.Add(0, 0, 64, 48, 0);
    FxPath *side = s.Add(24, 18, 16, 12, 0);
    FxPath *slope = s.Add(24, 18, 16, 12, 0);
    const double sideCorners[4][2] = { { -8, -6 }, { 8, -6 }, { 12, 6 }, { -4, 6 } };
    const double slopeCorners[4][2] = { { -8, -6 }, { 8, -4 }, { 8, 6 }, { -8, 6 } };
    for (int i = 0; i < 4; ++i) {
        side->head->corners[i][0] = sideCorners[i][0];
        side->head->corners[i][1] = sideCorners[i][1];
        slope->head->corners[i][0] = slopeCorners[i][0];
        slope->head->corners[i][1] = slopeCorners[i][1];
    }
    for (FxPath *p : { full, side, slope }) {
        p->head->delay = 1;
        p->head->endFrame = 2;
        p->head->endTime = 2;
    }

    SECTION("byte for byte")
    {
        REQUIRE(RenderWireFrame(s.view, s.list, &file) == 0);
        std::string step;
        std::string expected = "DVEv0x100 Tarvo Works Technologies Inc\r\n\r\n"
                               "WireFrame Render: (2, 3)\r\n\r\n";
        for (int f = 1; f <= 2; ++f) {
            std::string n = std::to_string(f);
            expected += "Field " + n + " {\r\n\t1: rect 0.0000, 0.0000, 1.0000, 1.0000\r\n}\r\n";
            expected += "Field " + n + " {\r\n\t1: rectdxdw 0.3750, 0.3750, 0.2500, 0.2500, 0.0625, 0.0000\r\n}\r\n";
            expected += "Field " + n +
                        " {\r\n\t1: rectdxdwdydh 0.3750, 0.3750, 0.2500, 0.2500, 0.0000, 0.0000, 0.0417, "
                        "-0.0417\r\n}\r\n";
        }
        expected += "\r\n// End of WireFrame Render\r\n";
        CHECK(g_dump == expected);
    }
    SECTION("a step without objects still gets its group")
    {
        for (FxPath *p : { full, side, slope })
            p->head->flags |= KF_HIDDEN;
        REQUIRE(RenderWireFrame(s.view, s.list, &file) == 0);
        std::string group = "Field 1 {\r\n\t1: rect 0.0000, 0.0000, 0.0000, 0.0000\r\n}\r\n";
        CHECK(g_dump.find(group) != std::string::npos);
        CHECK(g_dump.find("Field 2 {") != std::string::npos);
    }
    SECTION("steps 3 and 4 write nothing; without the output function nothing is written")
    {
        FxRenderJob j = s.Job();
        j.user = &file;
        CHECK(WriteWireFrame(RS_PRE, &j) == 1);
        CHECK(WriteWireFrame(RS_POST, &j) == 1);
        CHECK(WriteWireFrame(6, &j) == 1);
        CHECK(g_dump.empty());
        CHECK(WriteWireFrame(RS_FRAME_EXTRA, &j) == 1);
        CHECK(g_dump.find("Field 0 {") == 0);
        g_dump.clear();
        g_fxStolid.bfWrite = nullptr;
        CHECK(WriteWireFrame(RS_START, &j) == 1);
        CHECK(RenderWireFrame(s.view, s.list, &file) == 0);
        CHECK(g_dump.empty());
    }
    g_fxStolid.bfWrite = nullptr;
}

TEST_CASE("Image sequences", "[output][sequence]")
{
    Moving m;
    Filters filters;
    Folder folder;
    SequenceExportContext ctx = {};
    snprintf(ctx.directory, sizeof ctx.directory, "%s", folder.path.c_str());

    SECTION("one numbered file per frame, read back")
    {
        strcpy(ctx.extension, "tga");
        ctx.format = 14;
        REQUIRE(ExportImageSequence(m.view, m.list, 48, 32, &ctx) == 0);
        CHECK(folder.Files() == std::vector<std::string>{ "fx000001.tga", "fx000002.tga", "fx000003.tga" });
        // Each field is rendered at its own time: the steps 1..6 cover
        // frames 1 to 3, so the object moves 4 pixels from field to field.
        const int even[3] = { 4, 12, 20 }, odd[3] = { 8, 16, 24 };
        auto edge = [](const std::vector<DWORD> &px, int row) {
            for (int x = 0; x < 48; ++x)
                if (((px[size_t(row * 48 + x)] >> 16) & 0xFF) > 128)
                    return x;
            return -1;
        };
        for (int i = 0; i < 3; ++i) {
            int w = 0, h = 0;
            std::vector<DWORD> px;
            char name[32];
            snprintf(name, sizeof name, "\\fx%06d.tga", i + 1);
            INFO(name);
            REQUIRE(ReadTga(folder.path + name, &w, &h, &px));
            REQUIRE(w == 48);
            REQUIRE(h == 32);
            CHECK(std::abs(edge(px, 12) - even[i]) <= 1);
            CHECK(std::abs(edge(px, 13) - odd[i]) <= 1);
            CHECK(edge(px, 6) == -1);
            CHECK((px[12 * 48 + 2] & 0xFFFFFF) == 0);
        }
    }
    SECTION("the callback writes on every second step, numbered by frame")
    {
        strcpy(ctx.extension, "bmp");
        ctx.format = 2;
        FxRenderJob j = m.Job();
        j.user = &ctx;
        for (int step : { 2, 4, 6 }) {
            j.currentIndex = step;
            CHECK(SaveSequenceFrame(RS_FRAME, &j) == 1);
        }
        CHECK(SaveSequenceFrame(RS_START, &j) == 1);
        CHECK(folder.Files() == std::vector<std::string>{ "fx000001.bmp", "fx000002.bmp", "fx000003.bmp" });
    }
    SECTION("preview only: nothing is written")
    {
        strcpy(ctx.extension, "tga");
        ctx.format = 14;
        ctx.preview = 1;
        REQUIRE(ExportImageSequence(m.view, m.list, 48, 32, &ctx) == 0);
        CHECK(folder.Files().empty());
    }
    SECTION("without the image filters nothing is written and the export goes on")
    {
        g_fxFerrix = {};
        strcpy(ctx.extension, "tga");
        ctx.format = 14;
        REQUIRE(ExportImageSequence(m.view, m.list, 48, 32, &ctx) == 0);
        CHECK(folder.Files().empty());
        CHECK_FALSE(SaveLayerAsImage(m.target, (folder.path + "\\one.tga").c_str(), 14));
    }
    SECTION("names that do not fit and bad input are refused")
    {
        std::string longDir(MAX_PATH - 8, 'd');
        CHECK_FALSE(SaveFrameNumbered(m.target, longDir.c_str(), "tga", 14, 1));
        CHECK_FALSE(SaveLayerAsImage(nullptr, (folder.path + "\\one.tga").c_str(), 14));
        CHECK_FALSE(SaveLayerAsImage(m.target, "", 14));
        CHECK(ExportImageSequence(m.view, m.list, 0, 32, &ctx) == -1);
        CHECK(ExportImageSequence(m.view, nullptr, 48, 32, &ctx) == -1);
        CHECK(folder.Files().empty());
    }
}

TEST_CASE("The export type list of the directory dialog", "[output][sequence][dialog]")
{
    Filters filters;
    HWND dlg = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(dlg);
    CreateWindowExA(0, "STATIC", "Files of type:", WS_CHILD, 10, 10, 100, 20, dlg, HMENU(1089), nullptr, nullptr);
    CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 120, 10, 150, 20, dlg, HMENU(1136), nullptr,
                    nullptr);
    CHECK(ExportTypeHookProc(dlg, WM_INITDIALOG, 0, 0) == 1);
    char text[64];
    GetDlgItemTextA(dlg, 1089, text, sizeof text);
    CHECK(std::string(text) == "Export Type:");
    HWND combo = GetDlgItem(dlg, IDC_EXPORT_TYPE);
    REQUIRE(combo);
    CHECK((GetWindowLongA(combo, GWL_STYLE) & 0xFFFF) == 0x0803);
    CHECK(SendMessageA(combo, CB_GETCOUNT, 0, 0) >= 2);
    LRESULT sel = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    REQUIRE(sel >= 0);
    CHECK(SendMessageA(combo, CB_GETITEMDATA, WPARAM(sel), 0) == 14);   // TGA is preselected

    char ext[16] = "";
    SECTION("OK keeps the chosen type; its extension is found")
    {
        ExportTypeHookProc(dlg, WM_COMMAND, IDOK, 0);
        CHECK(g_fxExportType == 14);
        g_fxFerrix.ferrixEnumWriteFormats(FindFormatExtension, LPARAM(ext));
        CHECK(std::string(ext) == "TGA");
    }
    SECTION("cancelling leaves no type and no extension")
    {
        ExportTypeHookProc(dlg, WM_COMMAND, IDOK, 0);
        ExportTypeHookProc(dlg, WM_COMMAND, IDCANCEL, 0);
        CHECK(g_fxExportType == 0);
        g_fxFerrix.ferrixEnumWriteFormats(FindFormatExtension, LPARAM(ext));
        CHECK(ext[0] == 0);
    }
    DestroyWindow(dlg);
}

namespace {
std::string g_chosenDir;
bool g_chooseOk = true;
std::string g_dialogTitle;
// Stands in for the toolkit's directory dialog: the hook sees its
// initialisation, then the user's choice.
int WINAPI ChooseDir(HWND, LPSTR buffer, int size, LPCSTR title, void *hook, LPCSTR, LPARAM, LPARAM, LPCSTR)
{
    g_dialogTitle = title;
    auto proc = reinterpret_cast<INT_PTR(CALLBACK *)(HWND, UINT, WPARAM, LPARAM)>(hook);
    HWND dlg = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    CreateWindowExA(0, "STATIC", "", WS_CHILD, 10, 10, 100, 20, dlg, HMENU(1089), nullptr, nullptr);
    CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 120, 10, 150, 20, dlg, HMENU(1136), nullptr,
                    nullptr);
    proc(dlg, WM_INITDIALOG, 0, 0);
    proc(dlg, WM_COMMAND, g_chooseOk ? IDOK : IDCANCEL, 0);
    DestroyWindow(dlg);
    if (!g_chooseOk)
        return 0;
    lstrcpynA(buffer, g_chosenDir.c_str(), size);
    return 1;
}
} // namespace

TEST_CASE("The image-sequence request through the directory dialog", "[output][sequence][dialog]")
{
    Moving m;
    Filters filters;
    Folder folder;
    g_fxTundrix.iGetDirName = ChooseDir;
    g_chosenDir = folder.path;

    SECTION("the chosen directory gets TGA frames")
    {
        g_chooseOk = true;
        CHECK(ExportSequenceWithDialog(nullptr, m.view, m.list, 48, 32));
        CHECK(g_dialogTitle == "Select an Image Directory");
        CHECK(folder.Files() == std::vector<std::string>{ "fx000001.TGA", "fx000002.TGA", "fx000003.TGA" });
    }
    SECTION("a cancelled dialog writes nothing")
    {
        g_chooseOk = false;
        CHECK_FALSE(ExportSequenceWithDialog(nullptr, m.view, m.list, 48, 32));
        CHECK(g_fxExportType == 0);
        CHECK(folder.Files().empty());
    }
    g_fxTundrix = {};
}

TEST_CASE("The error box", "[output][errors]")
{
    MsgBoxCapture boxes;

    SECTION("without the UI toolkit nothing is shown")
    {
        g_fxTundrix = {};
        CHECK(ShowErrorBox(nullptr, "FX", MB_OK, "text %d", 1) == 0);
        ReportOutOfMemory("RenderFrames");
        CHECK(boxes.count() == 0);
    }
    SECTION("out of memory names the place, titled FX, with the stop icon")
    {
        g_fxTundrix.iErrMessageBox = ErrBox;
        ReportOutOfMemory("RenderFrames");
        ReportOutOfMemory("a 50% block");
        REQUIRE(boxes.count() == 2);
        CHECK(boxes.boxes()[0].text == "Out of Memory in RenderFrames");
        CHECK(boxes.boxes()[0].caption == "FX");
        CHECK(boxes.boxes()[1].text == "Out of Memory in a 50% block");
    }
    SECTION("string resources for title and text, formatted with the arguments")
    {
        g_fxTundrix.iErrMessageBox = ErrBox;
        g_fxTundrix.iLoadString = LoadText;
        CHECK(ShowErrorBox(nullptr, MAKEINTRESOURCEA(4), MB_OK, MAKEINTRESOURCEA(5), 12) == IDOK);
        REQUIRE(boxes.count() == 1);
        CHECK(boxes.boxes()[0].text == "Render of 12 frames failed");
        CHECK(boxes.boxes()[0].caption == "Engine");
    }
    g_fxTundrix = {};
}
