/*
 * The slide show's image list dialog (352) and the drop windows, without a
 * display: list editing, import and export through real files, OK and
 * Cancel, the 256-image limit, shell drops built by hand and sent as
 * WM_DROPFILES (shortcuts, folders, duplicates, options), the channel
 * windows' filters, and a preview that cannot render.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>
#include "box_capture.h"
#include "drop_windows.h"
#include "project_file.h"
#include "project_test_util.h"
#include "slide_show_dlg.h"

namespace {

struct ComScope {
    ComScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComScope() { CoUninitialize(); }
};

/* A running dialog on a table, with file questions answered from a queue. */
struct Dialog {
    CSlideShowDlg dlg;
    std::vector<std::vector<std::string>> answers;   /* one per question; empty = cancelled */
    std::vector<std::string> asked;                  /* "open|save title filter default" */
    explicit Dialog(const std::vector<std::string> &table) : dlg(nullptr, table)
    {
        dlg.askFiles = [this](bool open, const std::string &title, const char *filter, const char *def, bool multi,
                              std::vector<std::string> *paths) {
            asked.push_back(std::string(open ? "open" : "save") + (multi ? " multi" : "") + "|" + title + "|" +
                            filter + "|" + (def ? def : ""));
            if (answers.empty()) return false;
            *paths = answers.front();
            answers.erase(answers.begin());
            return !paths->empty();
        };
        REQUIRE(dlg.Create(nullptr));
    }
    ~Dialog()
    {
        if (dlg.m_hWnd) dlg.DestroyWindow();
    }
    void Click(UINT id) { dlg.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)dlg.GetDlgItem(id)); }
    std::string Count() { return dlg.GetDlgItemText(1148); }
    void SelectItem(int i)
    {
        LVITEMA s = {};
        s.stateMask = LVIS_SELECTED;
        s.state = 0;
        ::SendMessageA(dlg.GetDlgItem(1146), LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&s);
        s.state = LVIS_SELECTED;
        ::SendMessageA(dlg.GetDlgItem(1146), LVM_SETITEMSTATE, i, (LPARAM)&s);
    }
};

using Paths = std::vector<std::string>;

} // namespace

TEST_CASE("Image list dialog: the table in order, Add on top, Delete, Up and Down", "[slideshow][list]")
{
    ComScope com;
    BoxCapture boxes;
    Dialog d({"C:\\a.jpg", "C:\\b.jpg", "C:\\c.jpg"});
    CHECK(d.dlg.GetWindowText() == "Slide Show ListBox");
    CHECK(d.dlg.Items() == Paths{"C:\\a.jpg", "C:\\b.jpg", "C:\\c.jpg"});
    CHECK(d.Count() == "3");
    LVCOLUMNA col = {};
    char name[32] = {};
    col.mask = LVCF_TEXT | LVCF_WIDTH;
    col.pszText = name;
    col.cchTextMax = sizeof(name);
    ::SendMessageA(d.dlg.GetDlgItem(1146), LVM_GETCOLUMNA, 0, (LPARAM)&col);
    CHECK(std::string(name) == "FileName");
    CHECK(col.cx == 800);
    CHECK((::SendMessageA(d.dlg.GetDlgItem(1146), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_FULLROWSELECT));

    /* Three files at once: each on top, the last chosen first and selected. */
    d.answers = {{"C:\\x.bmp", "C:\\y.gif", "C:\\z.jpg"}};
    d.Click(1147);
    REQUIRE(d.asked.size() == 1);
    CHECK(d.asked[0] == "open multi|Get Still Image Files|Still Image Files(*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg|||");
    CHECK(d.dlg.Items() == Paths{"C:\\z.jpg", "C:\\y.gif", "C:\\x.bmp", "C:\\a.jpg", "C:\\b.jpg", "C:\\c.jpg"});
    CHECK(d.Count() == "6");
    CHECK(d.dlg.Selected() == 0);

    /* Up on the first and Down on the last change nothing. */
    d.Click(1150);
    CHECK(d.dlg.Items()[0] == "C:\\z.jpg");
    d.SelectItem(5);
    d.Click(1151);
    CHECK(d.dlg.Items()[5] == "C:\\c.jpg");
    /* Up swaps with the item above and the selection follows. */
    d.Click(1150);
    d.Click(1150);
    CHECK(d.dlg.Items() == Paths{"C:\\z.jpg", "C:\\y.gif", "C:\\x.bmp", "C:\\c.jpg", "C:\\a.jpg", "C:\\b.jpg"});
    CHECK(d.dlg.Selected() == 3);
    d.Click(1151);
    CHECK(d.dlg.Items()[4] == "C:\\c.jpg");
    d.Click(1149);
    CHECK(d.dlg.Items() == Paths{"C:\\z.jpg", "C:\\y.gif", "C:\\x.bmp", "C:\\a.jpg", "C:\\b.jpg"});
    CHECK(d.Count() == "5");
    /* A cancelled Add changes nothing. */
    d.Click(1147);
    CHECK(d.Count() == "5");
    CHECK(boxes.boxes().empty());
}

TEST_CASE("Image list dialog: import keeps the file's order, export writes the list's order", "[slideshow][dat]")
{
    ComScope com;
    BoxCapture boxes;
    TempFolder dir("slides");
    const std::string in = dir / "in.dat", out = dir / "ImageList.dat";
    Dialog d({"C:\\old.jpg"});

    SECTION("import A and B, then export")
    {
        WriteBytes(in, "Saffrel ImageList File\r\nC:\\A.jpg\r\nC:\\B.jpg\r\n");
        d.answers = {{in}, {out}};
        d.Click(1144);
        CHECK(d.dlg.Items() == Paths{"C:\\A.jpg", "C:\\B.jpg", "C:\\old.jpg"});
        CHECK(d.Count() == "3");
        d.Click(1145);
        REQUIRE(d.asked.size() == 2);
        CHECK(d.asked[0] == "open||ImageList Files(*.dat)|*.dat|||");
        CHECK(d.asked[1] == "save||ImageList Files(*.dat)|*.dat|||ImageList.dat");
        CHECK(ReadBytes(out) == "Saffrel ImageList File\r\nC:\\A.jpg\r\nC:\\B.jpg\r\nC:\\old.jpg\r\n");
        CHECK(boxes.boxes().empty());
    }
    SECTION("bad files are reported with their texts and change nothing")
    {
        const std::pair<std::string, std::string> cases[] = {
            {"", "This File is Blank File."},
            {"Not a list\r\nC:\\A.jpg\r\n", "This File is not Saffrel Imagelist File."},
        };
        for (const auto &c : cases) {
            WriteBytes(in, c.first);
            d.answers = {{in}};
            d.Click(1144);
        }
        d.answers = {{dir / "missing.dat"}};
        d.Click(1144);
        CHECK(boxes.texts() == Paths{"This File is Blank File.", "This File is not Saffrel Imagelist File.",
                                     FileErrorText(ERROR_FILE_NOT_FOUND)});
        CHECK(d.dlg.Items() == Paths{"C:\\old.jpg"});
    }
    SECTION("export of an empty list is refused and writes nothing; an uncreatable file shows the system's text")
    {
        d.Click(1149);
        d.SelectItem(0);
        d.Click(1149);
        REQUIRE(d.dlg.Items().empty());
        d.Click(1145);
        CHECK(d.asked.empty());
        CHECK(boxes.texts() == Paths{"You must fill tht Imagefile to list for FileSave."});
        CHECK_FALSE(FileExists(out));

        boxes.clear();
        d.answers = {{"C:\\x.jpg"}, {dir / "no folder\\x.dat"}};
        d.Click(1147);
        d.Click(1145);
        REQUIRE(boxes.texts().size() == 1);
        CHECK(boxes.texts()[0] == FileErrorText(ERROR_PATH_NOT_FOUND));
    }
}

TEST_CASE("Image list dialog: OK hands the list over in order; an empty list switches the show off", "[slideshow][ok]")
{
    ComScope com;
    BoxCapture boxes;
    {
        Dialog d({"C:\\a.jpg", "C:\\b.jpg"});
        d.answers = {{"C:\\c.jpg"}};
        d.Click(1147);
        d.Click(1143);
        CHECK(d.dlg.m_hWnd == nullptr);
        CHECK(d.dlg.images == Paths{"C:\\c.jpg", "C:\\a.jpg", "C:\\b.jpg"});
        CHECK(d.dlg.slideShowOn);
    }
    {
        Dialog d({"C:\\a.jpg"});
        d.SelectItem(0);
        d.Click(1149);
        d.Click(1143);
        CHECK(d.dlg.images.empty());
        CHECK_FALSE(d.dlg.slideShowOn);
    }
    {
        Dialog d({"C:\\a.jpg"});
        d.answers = {{"C:\\c.jpg"}};
        d.Click(1147);
        d.dlg.SendMessage(WM_COMMAND, IDCANCEL);
        CHECK(d.dlg.images == Paths{"C:\\a.jpg"});
        CHECK_FALSE(d.dlg.slideShowOn);
    }
    CHECK(boxes.boxes().empty());
}

TEST_CASE("The image list holds 256 paths: import, Add and drops stop there with a message", "[slideshow][limit]")
{
    ComScope com;
    BoxCapture boxes;
    TempFolder dir("slidecap");
    Paths many;
    for (int i = 0; i < 300; ++i) many.push_back("C:\\p\\" + std::to_string(i) + ".jpg");
    const std::string in = dir / "many.dat";
    WriteBytes(in, ImageListText(many));
    Dialog d({});
    d.answers = {{in}};
    d.Click(1144);
    CHECK(d.dlg.Items().size() == 256);
    CHECK(d.dlg.Items()[0] == "C:\\p\\0.jpg");
    CHECK(d.dlg.Items()[255] == "C:\\p\\255.jpg");
    CHECK(d.Count() == "256");
    CHECK(boxes.texts() == Paths{kMsgTooManyImages});

    boxes.clear();
    d.answers = {{"C:\\more.jpg"}};
    d.Click(1147);
    const std::string image = dir / "drop.jpg";
    WriteBytes(image, "jpg");
    d.dlg.List().SendMessage(WM_DROPFILES, (WPARAM)MakeDrop({image}));
    CHECK(d.dlg.Items().size() == 256);
    CHECK(boxes.texts() == Paths{kMsgTooManyImages, kMsgTooManyImages});
    d.Click(1143);
    CHECK(d.dlg.images.size() == 256);
}

TEST_CASE("Image drops: existing images once, shortcuts to their targets, the count field follows", "[drop][image]")
{
    ComScope com;
    BoxCapture boxes;
    TempFolder dir("imgdrop");
    const std::string a = dir / "a.jpg", b = dir / "B.BMP", c = dir / "c.gif", text = dir / "notes.txt";
    for (const auto &f : {a, b, c, text}) WriteBytes(f, "x");
    CreateDirectoryA((dir / "folder.jpg").c_str(), nullptr);
    /* A shortcut to c.gif, made through the shell. */
    const std::string link = dir / "to c.lnk";
    {
        IShellLinkA *sl = nullptr;
        REQUIRE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           (void **)&sl)));
        sl->SetPath(c.c_str());
        IPersistFile *pf = nullptr;
        REQUIRE(SUCCEEDED(sl->QueryInterface(IID_IPersistFile, (void **)&pf)));
        WCHAR wide[MAX_PATH] = {};
        MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
        REQUIRE(SUCCEEDED(pf->Save(wide, TRUE)));
        pf->Release();
        sl->Release();
    }
    CHECK(CImageDropWnd::ResolveShortcut(link) == c);

    Dialog d({});
    CHECK((GetWindowLongA(d.dlg.List().m_hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES));
    SECTION("filters and duplicates (default options)")
    {
        CHECK(d.dlg.List().options == 3);
        d.dlg.List().SendMessage(WM_DROPFILES,
                                 (WPARAM)MakeDrop({a, text, dir / "gone.jpg", dir / "folder.jpg", b, link, a}));
        CHECK(d.dlg.Items() == Paths{c, b, a});
        CHECK(d.Count() == "3");
        /* The same image again adds nothing; posted like the shell does. */
        d.dlg.List().PostMessage(WM_DROPFILES, (WPARAM)MakeDrop({a}));
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        CHECK(d.dlg.Items() == Paths{c, b, a});
        CHECK(boxes.boxes().empty());
        /* Nothing reaches the table before OK. */
        CHECK(d.dlg.images.empty());
    }
    SECTION("0x04 allows duplicates; 0x20 hands every existing item to the callback")
    {
        d.dlg.List().options = 3 | DROP_DUPLICATES;
        d.dlg.List().SendMessage(WM_DROPFILES, (WPARAM)MakeDrop({a, a}));
        CHECK(d.dlg.Items() == Paths{a, a});
        Paths handed;
        d.dlg.List().options = DROP_TO_CALLBACK;
        d.dlg.List().callback = [&](const std::string &p) { handed.push_back(p); };
        d.dlg.List().SendMessage(WM_DROPFILES, (WPARAM)MakeDrop({text, dir / "gone.txt", link}));
        CHECK(handed == Paths{text, c});
        CHECK(d.dlg.Items().size() == 2);
    }
}

TEST_CASE("Channel windows take one media file of a known extension, on their own channel", "[drop][movie]")
{
    BoxCapture boxes;
    HWND parent = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(parent);
    const UINT ids[5] = {1007, 1019, 1021, 1058, 1075};
    CMovieDropWnd wnds[5];
    std::vector<std::string> opened;
    for (int i = 0; i < 5; ++i) {
        HWND w = CreateWindowExA(0, "STATIC", "", WS_CHILD | SS_NOTIFY, 0, 0, 10, 10, parent, (HMENU)(UINT_PTR)ids[i],
                                 nullptr, nullptr);
        REQUIRE(wnds[i].SubclassWindow(w));
        CHECK((GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES));
        wnds[i].openOnChannel = [&](int index, const std::string &p) {
            opened.push_back(std::to_string(index) + " " + p);
        };
    }
    auto drop = [&](int channel, const Paths &files) {
        wnds[channel - 1].SendMessage(WM_DROPFILES, (WPARAM)MakeDrop(files));
    };

    drop(2, {"C:\\a.avi", "C:\\b.avi"});
    REQUIRE(boxes.boxes().size() == 1);
    CHECK(boxes.boxes()[0].text == "please, select only one movie File");
    CHECK(boxes.boxes()[0].caption == "Check");
    CHECK(opened.empty());

    const struct { int channel; const char *file; bool ok; } cases[] = {
        {5, "C:\\clips\\show.MPEG", true}, {1, "C:\\a.asf", true},  {1, "C:\\a.wmv", true},
        {2, "C:\\a.mpg", true},            {3, "C:\\a.Avi", true},  {4, "C:\\a.dat", true},
        {4, "C:\\a.vob", true},            {3, "C:\\a.jpg", true},  {3, "C:\\a.bmp", true},
        {3, "C:\\a.gif", true},            {1, "C:\\a.mp4", false}, {1, "C:\\noext", false},
        {1, "C:\\dir.avi\\file", false},   {2, "C:\\a.avi.txt", false},
    };
    for (const auto &c : cases) {
        INFO(c.file);
        boxes.clear();
        opened.clear();
        drop(c.channel, {c.file});
        if (c.ok) {
            CHECK(boxes.boxes().empty());
            CHECK(opened == Paths{std::to_string(c.channel - 1) + " " + c.file});
        } else {
            CHECK(opened.empty());
            REQUIRE(boxes.boxes().size() == 1);
            CHECK(boxes.boxes()[0].text == "Do not support this file extension");
            CHECK(boxes.boxes()[0].caption == "check");
        }
    }
    for (auto &w : wnds) w.UnsubclassWindow();
    DestroyWindow(parent);
}

TEST_CASE("Preview: a file the graph cannot show writes its debug line; 32770 previews like a click",
          "[slideshow][preview]")
{
    ComScope com;
    BoxCapture boxes;
    TempFolder dir("preview");
    const std::string bad = dir / "broken.jpg";
    WriteBytes(bad, "not a picture");
    Dialog d({bad});
    CHECK(d.dlg.HasGraph());
    CHECK(d.dlg.GetDlgItemText(1154).empty());
    d.SelectItem(0);
    d.dlg.SendMessage(WM_SLIDE_PREVIEW);
    REQUIRE(d.dlg.debugLines.size() == 1);
    CHECK(d.dlg.debugLines[0].rfind("*** Failed(", 0) == 0);
    CHECK(d.dlg.debugLines[0].find(") in RenderFile(" + bad + ")!\r\n") != std::string::npos);
    /* A click on the item does the same; editing goes on. */
    NMHDR nm = {d.dlg.GetDlgItem(1146), 1146, (UINT)NM_CLICK};
    d.dlg.SendMessage(WM_NOTIFY, 1146, (LPARAM)&nm);
    CHECK(d.dlg.debugLines.size() == 2);
    d.dlg.SendMessage(WM_SLIDE_GRAPHNOTIFY);
    CHECK(d.dlg.Items() == Paths{bad});
    CHECK(boxes.boxes().empty());
}

TEST_CASE("Preview of a picture the graph can show: paused in the preview area, with its date, size and resolution",
          "[slideshow][preview]")
{
    ComScope com;
    BoxCapture boxes;
    TempFolder dir("preview2");
    const std::string clip = dir / "still.avi";
    REQUIRE(WriteRawAvi(clip, 32, 24, 2, 0x00FF00));
    Dialog d({clip});
    d.SelectItem(0);
    d.dlg.SendMessage(WM_SLIDE_PREVIEW);
    const std::string firstDebug = d.dlg.debugLines.empty() ? std::string() : d.dlg.debugLines[0];
    INFO(firstDebug);
    CHECK(d.dlg.debugLines.empty());
    WIN32_FILE_ATTRIBUTE_DATA fa = {};
    REQUIRE(GetFileAttributesExA(clip.c_str(), GetFileExInfoStandard, &fa));
    FILETIME local;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&fa.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &st);
    char date[32];
    snprintf(date, sizeof(date), " %02d/%02d/%d", st.wMonth, st.wDay, st.wYear);
    CHECK(d.dlg.GetDlgItemText(1154) == date);
    CHECK(d.dlg.GetDlgItemText(1155) == " " + std::to_string(fa.nFileSizeLow) + " bytes");
    CHECK(d.dlg.GetDlgItemText(1156) == " 32 x 24");
    /* The graph's events are taken when it reports. */
    d.dlg.SendMessage(WM_SLIDE_GRAPHNOTIFY);
    CHECK(boxes.boxes().empty());
}

namespace {

struct OleProbe {
    bool freshStarted = false, freshReleased = false;
    bool mtaStarted = true;
    std::vector<std::string> mtaBoxes;
};

DWORD WINAPI OleFreshThread(void *arg)
{
    auto *p = static_cast<OleProbe *>(arg);
    {
        CImageDropWnd w;
        p->freshStarted = w.StartedOle();
    }
    /* OLE is gone with the window object: the thread may choose again. */
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    p->freshReleased = hr == S_OK;
    if (SUCCEEDED(hr)) CoUninitialize();
    return 0;
}

DWORD WINAPI OleMtaThread(void *arg)
{
    auto *p = static_cast<OleProbe *>(arg);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        BoxCapture boxes;
        {
            CMovieDropWnd w;
            p->mtaStarted = w.StartedOle();
        }
        p->mtaBoxes = boxes.texts();
    }
    CoUninitialize();
    return 0;
}

void RunThread(LPTHREAD_START_ROUTINE fn, OleProbe *p)
{
    HANDLE t = CreateThread(nullptr, 0, fn, p, 0, nullptr);
    REQUIRE(t);
    CHECK(WaitForSingleObject(t, 30000) == WAIT_OBJECT_0);
    CloseHandle(t);
}

} // namespace

TEST_CASE("Drop windows start OLE only where they can, end only what they started, and say when it fails",
          "[drop][ole]")
{
    OleProbe p;
    RunThread(OleFreshThread, &p);
    CHECK(p.freshStarted);
    CHECK(p.freshReleased);
    RunThread(OleMtaThread, &p);
    CHECK_FALSE(p.mtaStarted);
    CHECK(p.mtaBoxes == Paths{kMsgOleInitFailed});
}
