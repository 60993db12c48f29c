/*
 * The WM9 profile editor (dialog 320) on a real (virtual) display with the
 * encoder-profile library: a profile of two stream pairs saved under
 * "UserProfiles" and read back equal, the language list, every check of
 * Add, Update and Ok, profiles whose streams do not pair up, load failures.
 * The profiles live in a folder of the temporary directory.
 */
#include <catch2/catch.hpp>
#include "app.h"
#include "encoding_ids.h"
#include "profile_dialogs.h"
#include "wm9_editor_dlg.h"
#include "wmwriter.h"
#include "dialog_script.h"
#include <functional>

namespace {
cl::CWinApp theApp("EncodingTest");
constexpr UINT WM_SCRIPT = WM_APP + 44;

struct Dlg : ScriptedDialog<Dlg, CWm9ProfileEditorDlg, WM_SCRIPT> {
    Dlg(int mode, const std::string &folder, const std::string &selected = "")
    {
        m_nMode = mode;
        m_strFolder = folder;
        m_strSelectedName = selected;
    }
    void Tab(int page) { SelectTab(IDC_ED_TAB, page); }
    int Sel(UINT combo) { return (int)::SendMessageA(GetDlgItem(combo), CB_GETCURSEL, 0, 0); }
    void PickLine(int line) { PickListLine(IDC_ED_STREAMS, line); }
    std::vector<std::string> Lines() { return ScriptedDialog::Lines(IDC_ED_STREAMS, false); }
};


/* A folder of its own holding "UserProfiles". */
struct Folder {
    std::string dir;
    Folder()
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        dir = std::string(tmp) + "wm9editor";
        CreateDirectoryA(dir.c_str(), nullptr);
        Clean();
    }
    ~Folder() { Clean(); }
    void Clean()
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "\\UserProfiles\\*.prx").c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE) return;
        do DeleteFileA((dir + "\\UserProfiles\\" + fd.cFileName).c_str());
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::string Prx(const char *name) const { return dir + "\\UserProfiles\\" + name + ".prx"; }
    bool Exists(const char *name) const { return GetFileAttributesA(Prx(name).c_str()) != INVALID_FILE_ATTRIBUTES; }
    void Write(const char *name, const WmProfile &p) const
    {
        CreateDirectoryA((dir + "\\UserProfiles").c_str(), nullptr);
        std::u16string xml = WmProfileToXml(p);
        HANDLE f = CreateFileA(Prx(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD done = 0;
        WriteFile(f, xml.data(), (DWORD)xml.size() * 2, &done, nullptr);
        CloseHandle(f);
    }
};

/* The target dialog answers with the next maximum bit rate. */
std::function<INT_PTR(CProfileTargetDlg &)> Targets(std::vector<int> *answers)
{
    return [answers](CProfileTargetDlg &t) {
        CHECK(t.m_bNameEditable == 0);
        if (answers->empty()) return (INT_PTR)IDCANCEL;
        t.m_nMaxBitrate = answers->front();
        answers->erase(answers->begin());
        return (INT_PTR)IDOK;
    };
}

bool SameEntries(const std::vector<Wm9StreamEntry> &a, const std::vector<Wm9StreamEntry> &b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const Wm9StreamEntry &x = a[i], &y = b[i];
        if (x.index != y.index || x.audioFormat != y.audioFormat || x.width != y.width || x.height != y.height ||
            x.videoBitrate != y.videoBitrate || x.keyFrameSeconds != y.keyFrameSeconds ||
            x.bufferWindow != y.bufferWindow || x.quality != y.quality || x.frameRate - y.frameRate > 0.001f ||
            y.frameRate - x.frameRate > 0.001f)
            return false;
    }
    return true;
}

} // namespace

TEST_CASE("WM9 editor: two stream pairs saved under UserProfiles and read back equal", "[wm9editor]")
{
    Folder folder;
    BoxCapture boxes;
    std::vector<int> answers = {500000, 100000};
    std::vector<Wm9StreamEntry> saved;
    LCID chosen = 0;
    {
        Dlg dlg(0, folder.dir);
        dlg.runTarget = Targets(&answers);
        dlg.script = [&](Dlg &d) {
            CHECK(d.GetWindowText() == "WM9ProfileEditor");
            RECT r = d.GetWindowRect();
            CHECK((r.right - r.left == 425 && r.bottom - r.top == 395));
            CHECK(::SendMessageA(d.GetDlgItem(IDC_ED_ACODEC), CB_GETCOUNT, 0, 0) == 2);
            CHECK(d.Sel(IDC_ED_VCODEC) == -1);          /* no video codec until the operator picks one */
            CHECK(!d.Enabled(IDC_ED_AMODE));
            CHECK(::SendMessageA(d.GetDlgItem(IDC_ED_AFORMAT), CB_GETCOUNT, 0, 0) == 12);
            /* Languages: "name [tag]", each locale once, the system's own chosen. */
            HWND langs = d.GetDlgItem(IDC_ED_LANG);
            int n = (int)::SendMessageA(langs, CB_GETCOUNT, 0, 0);
            CHECK(n > 10);
            std::vector<LCID> ids;
            for (int i = 0; i < n; ++i) {
                char text[200] = {};
                ::SendMessageA(langs, CB_GETLBTEXT, i, (LPARAM)text);
                std::string t = text;
                INFO(t);
                CHECK((t.find(" [") != std::string::npos && t.back() == ']'));
                LCID id = (LCID)::SendMessageA(langs, CB_GETITEMDATA, i, 0);
                CHECK(std::find(ids.begin(), ids.end(), id) == ids.end());
                ids.push_back(id);
            }
            int sel = d.Sel(IDC_ED_LANG);
            REQUIRE(sel >= 0);
            CHECK((LCID)::SendMessageA(langs, CB_GETITEMDATA, sel, 0) == GetSystemDefaultLCID());
            chosen = (LCID)::SendMessageA(langs, CB_GETITEMDATA, sel, 0);
            CHECK(d.GetDlgItemText(IDC_ED_FPS) == "30");
            CHECK((d.Visible(IDC_ED_NAME) && !d.Visible(IDC_ED_STREAMS)));
            Photograph(d.m_hWnd, "wm9_editor_general.bmp", 5);
            d.Tab(1);
            CHECK((d.Visible(IDC_ED_STREAMS) && !d.Visible(IDC_ED_NAME)));
            /* First pair: 500 kbit/s with the 128 kbit/s format. */
            d.Pick(IDC_ED_AFORMAT, 2);
            d.Click(IDC_ED_ADD);
            CHECK(d.Lines() == std::vector<std::string>{"500 Kbps"});
            REQUIRE(d.m_entries.size() == 1);
            CHECK(d.m_entries[0].videoBitrate == 500000 - 128000 - 9000);
            CHECK(d.GetDlgItemText(IDC_ED_FPS) == "29.97");
            CHECK(d.GetDlgItemText(IDC_ED_VBITRATE) == "363");
            d.SetDlgItemText(IDC_ED_WIDTH, "640");
            d.SetDlgItemText(IDC_ED_HEIGHT, "480");
            d.SetDlgItemText(IDC_ED_FPS, "25");
            d.SetDlgItemText(IDC_ED_KEY, "4");
            d.SetDlgItemText(IDC_ED_BUFFER, "3");
            d.SetDlgItemText(IDC_ED_VBITRATE, "350");
            ::SendMessageA(d.GetDlgItem(IDC_ED_QUALITY), TBM_SETPOS, TRUE, 60);
            d.Click(IDC_ED_UPDATE);
            CHECK(d.Lines() == std::vector<std::string>{"487 Kbps"});
            CHECK(d.GetDlgItemText(IDC_ED_PERCENT) == "60%");
            /* Ok with one line and no video codec says so. */
            d.SetDlgItemText(IDC_ED_NAME, "Evening pairs");
            d.Click(IDC_ED_OK);
            CHECK(boxes.texts() == std::vector<std::string>{"Please choose the audio and video codecs."});
            boxes.clear();
            d.Pick(IDC_ED_VCODEC, 0);
            /* Second pair: 100 kbit/s with the 20 kbit/s format; two lines lock the shared lists. */
            d.Pick(IDC_ED_AFORMAT, 9);
            d.Click(IDC_ED_ADD);
            CHECK(d.Lines() == std::vector<std::string>{"487 Kbps", "100 Kbps"});
            CHECK((!d.Enabled(IDC_ED_ACODEC) && !d.Enabled(IDC_ED_VCODEC) && !d.Enabled(IDC_ED_LANG)));
            Photograph(d.m_hWnd, "wm9_editor_setting.bmp", 5);
            /* The name checks, then the save. */
            for (const char *bad : {"", "Profile_copy", "..\\outside", "a:b"}) {
                d.SetDlgItemText(IDC_ED_NAME, bad);
                d.Click(IDC_ED_OK);
            }
            CHECK(boxes.texts() == std::vector<std::string>{"Profile Name is Empty!", "Please, change the profile name ",
                                                            "The profile name cannot be a file name.",
                                                            "The profile name cannot be a file name."});
            boxes.clear();
            d.SetDlgItemText(IDC_ED_NAME, "Evening pairs");
            d.SetDlgItemText(IDC_ED_DESC, "Broadband and modem");
            saved = d.m_entries;
            d.Click(IDC_ED_OK);
        };
        REQUIRE(dlg.DoModal() == IDOK);
    }
    CHECK(boxes.boxes().empty());
    REQUIRE(folder.Exists("Evening pairs"));
    /* The file is a profile the writer's layer reads: four streams, bit-rate alternatives. */
    HANDLE f = CreateFileA(folder.Prx("Evening pairs").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    REQUIRE(f != INVALID_HANDLE_VALUE);
    std::u16string xml(GetFileSize(f, nullptr) / 2, u'\0');
    DWORD got = 0;
    ReadFile(f, &xml[0], (DWORD)xml.size() * 2, &got, nullptr);
    CloseHandle(f);
    WmProfile p;
    REQUIRE(WmProfileFromXml(xml, &p) == S_OK);
    CHECK(p.streams.size() == 4);
    CHECK(p.mutualExclusion);
    CHECK(p.streams[1].width == 640);
    CHECK(p.streams[0].language == (int)chosen);

    Dlg again(2, folder.dir, "Evening pairs");
    again.script = [&](Dlg &d) {
        CHECK(d.GetDlgItemText(IDC_ED_NAME) == "Evening pairs");
        CHECK(!d.Enabled(IDC_ED_NAME));
        CHECK(d.GetDlgItemText(IDC_ED_DESC) == "Broadband and modem");
        CHECK(SameEntries(d.m_entries, saved));
        CHECK(d.Lines() == std::vector<std::string>{"487 Kbps", "100 Kbps"});
        CHECK(d.Sel(IDC_ED_VCODEC) == 0);
        CHECK((LCID)::SendMessageA(d.GetDlgItem(IDC_ED_LANG), CB_GETITEMDATA, d.Sel(IDC_ED_LANG), 0) == chosen);
        /* The first line is shown. */
        CHECK(d.GetDlgItemText(IDC_ED_WIDTH) == "640");
        CHECK(d.GetDlgItemText(IDC_ED_FPS) == "25.00");
        CHECK(d.GetDlgItemText(IDC_ED_BUFFER) == "3");
        /* Deleting down to one line frees the shared lists again. */
        d.PickLine(0);
        d.Click(IDC_ED_DELETE);
        CHECK(d.Lines() == std::vector<std::string>{"100 Kbps"});
        CHECK(d.m_entries[0].index == 0);
        CHECK((d.Enabled(IDC_ED_ACODEC) && d.Enabled(IDC_ED_LANG)));
        d.Click(IDC_ED_CANCEL);
    };
    CHECK(again.DoModal() == IDCANCEL);
    CHECK(boxes.boxes().empty());
}

TEST_CASE("WM9 editor: Add and Update refuse values that make no stream, an empty profile is not saved", "[wm9editor]")
{
    Folder folder;
    BoxCapture boxes;
    std::vector<int> answers = {150000, 400000};
    Dlg dlg(0, folder.dir);
    dlg.runTarget = Targets(&answers);
    dlg.script = [&](Dlg &d) {
        d.SetDlgItemText(IDC_ED_NAME, "Nothing");
        d.Click(IDC_ED_OK);
        CHECK(boxes.texts() == std::vector<std::string>{"This Profile is Empty!"});
        boxes.clear();
        /* 150 kbit/s cannot carry the 192 kbit/s sound: no line, never a negative video bit rate. */
        d.Pick(IDC_ED_AFORMAT, 0);
        d.Click(IDC_ED_ADD);
        CHECK(d.Lines().empty());
        CHECK(boxes.texts() == std::vector<std::string>{"The maximum bit rate must be above 202000 bps for this audio format."});
        boxes.clear();
        d.Click(IDC_ED_ADD);
        REQUIRE(d.m_entries.size() == 1);
        CHECK(d.m_entries[0].videoBitrate == 400000 - 192000 - 9000);
        Wm9StreamEntry before = d.m_entries[0];
        struct Edit { const char *w, *h, *fps, *kbps; };
        const Edit edits[] = {{"320", "240", "0", "100"}, {"320", "240", "0.5", "100"}, {"320", "240", "fast", "100"},
                              {"0", "240", "25", "100"}, {"320", "9000", "25", "100"}, {"320", "240", "25", "0"},
                              {"320", "240", "25", "-5"}};
        for (const Edit &e : edits) {
            INFO(e.w << " x " << e.h << " at " << e.fps << " fps, " << e.kbps << " kbps");
            d.PickLine(0);
            d.SetDlgItemText(IDC_ED_WIDTH, e.w);
            d.SetDlgItemText(IDC_ED_HEIGHT, e.h);
            d.SetDlgItemText(IDC_ED_FPS, e.fps);
            d.SetDlgItemText(IDC_ED_VBITRATE, e.kbps);
            d.Click(IDC_ED_UPDATE);
            CHECK(SameEntries(d.m_entries, {before}));
        }
        CHECK(boxes.boxes().size() == sizeof(edits) / sizeof(edits[0]));
        d.Click(IDC_ED_CANCEL);
    };
    CHECK(dlg.DoModal() == IDCANCEL);
    CHECK(!folder.Exists("Nothing"));
}

TEST_CASE("WM9 editor: streams that do not pair up, a refused pair, files that cannot be read", "[wm9editor]")
{
    Folder folder;
    BoxCapture boxes;
    auto audio = [](int number, int bitrate, int rate, int channels) {
        WmStreamConfig c;
        c.codec = "wmav2";
        c.bitrate = bitrate;
        c.sampleRate = rate;
        c.channels = channels;
        c.streamNumber = number;
        return c;
    };
    auto video = [](int number, int w, int h, int bitrate) {
        WmStreamConfig c;
        c.video = true;
        c.codec = "wmv2";
        c.width = w;
        c.height = h;
        c.bitrate = bitrate;
        c.avgTimePerFrame = 400000;
        c.streamNumber = number;
        return c;
    };
    WmProfile moreVideo;
    moreVideo.name = u"More video";
    moreVideo.streams = {audio(1, 64000, 44100, 2), video(2, 320, 240, 300000), video(3, 160, 120, 80000)};
    folder.Write("More video", moreVideo);
    WmProfile moreAudio;
    moreAudio.name = u"More audio";
    moreAudio.streams = {audio(1, 64000, 44100, 2), video(2, 320, 240, 300000), audio(3, 16000, 16000, 1)};
    folder.Write("More audio", moreAudio);

    SECTION("More video than audio streams: one entry for every line")
    {
        Dlg dlg(2, folder.dir, "More video");
        dlg.script = [](Dlg &d) {
            CHECK(d.Lines().size() == 2);
            REQUIRE(d.m_entries.size() == 2);
            CHECK((d.m_entries[1].index == 1 && d.m_entries[1].width == 160 && d.m_entries[1].audioFormat == 5));
            d.Click(IDC_ED_OK);        /* both pairs encodable: saved over the file */
        };
        CHECK(dlg.DoModal() == IDOK);
        CHECK(boxes.boxes().empty());
    }
    SECTION("An audio stream without video: the pair is refused and nothing is saved")
    {
        HANDLE f = CreateFileA(folder.Prx("More audio").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                               nullptr);
        DWORD sizeBefore = GetFileSize(f, nullptr);
        CloseHandle(f);
        Dlg dlg(2, folder.dir, "More audio");
        dlg.script = [&](Dlg &d) {
            CHECK(d.Lines().size() == 2);
            REQUIRE(d.m_entries.size() == 2);
            CHECK(d.m_entries[1].frameRate == 0.0f);
            d.Click(IDC_ED_OK);
            CHECK(boxes.texts() == std::vector<std::string>{"Add Stream Error"});
            CHECK(d.IsModalRunning());
            d.Click(IDC_ED_CANCEL);
        };
        CHECK(dlg.DoModal() == IDCANCEL);
        f = CreateFileA(folder.Prx("More audio").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr);
        CHECK(GetFileSize(f, nullptr) == sizeBefore);
        CloseHandle(f);
    }
    SECTION("Missing, broken and outside names: the editor stays empty")
    {
        CreateDirectoryA((folder.dir + "\\UserProfiles").c_str(), nullptr);
        HANDLE f = CreateFileA(folder.Prx("Broken").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD done = 0;
        WriteFile(f, "<pro", 4, &done, nullptr);
        CloseHandle(f);
        for (const char *name : {"Nobody", "Broken", "..\\UserProfiles\\More video"}) {
            INFO(name);
            boxes.clear();
            Dlg dlg(3, folder.dir, name);
            dlg.script = [](Dlg &d) {
                CHECK(d.Lines().empty());
                CHECK(d.GetDlgItemText(IDC_ED_NAME) == "Profile_copy");
                d.Click(IDC_ED_CANCEL);
            };
            CHECK(dlg.DoModal() == IDCANCEL);
            CHECK(boxes.texts() == std::vector<std::string>{"Profile Load Failed."});
        }
    }
}
