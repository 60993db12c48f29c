/*
 * The project file (.kvz) and the image-list file (.dat) without a window:
 * hand-made byte fixtures, save-and-load round trips through a recording
 * host, the restore order, every row of the failure table, damaged files,
 * and the selections checked on load.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <random>
#include <set>
#include "project_file.h"
#include "project_test_util.h"

namespace {

/* Records every call of the loader, in order, as one line each. */
struct Recorder : ProjectHost {
    std::vector<std::string> log;
    std::set<std::string> failing;          /* video names that do not open */
    std::vector<std::string> table;
    void ShowMessage(const std::string &t) override { log.push_back("message " + t); }
    void SaveTitle(const std::string &p) override
    {
        log.push_back("save-title " + p);
        WriteBytes(p, "title");
    }
    void OpenTitle(const std::string &p) override { log.push_back("open-title " + p); }
    void NewProject() override { log.push_back("new"); }
    void SetSlideShowMode(bool on) override { log.push_back(std::string("slide-show ") + (on ? "1" : "0")); }
    void SetBackgroundMusic(bool on) override { log.push_back(std::string("music ") + (on ? "1" : "0")); }
    bool OpenChannel(int n, const std::string &v, const std::string &a) override
    {
        log.push_back("open " + std::to_string(n) + " [" + v + "] [" + a + "]");
        return !failing.count(v);
    }
    void SetImageTable(const std::vector<std::string> &p) override
    {
        table = p;
        log.push_back("images " + std::to_string(p.size()));
    }
    void EditSlideShow() override { log.push_back("slide-show dialog"); }
    void SetSelections(int p, int o, int t) override
    {
        log.push_back("select " + std::to_string(p) + " " + std::to_string(o) + " " + std::to_string(t));
    }
};

std::string Doubled(const std::string &s)
{
    std::string d;
    for (char c : s) {
        d += c;
        if (c == '\\') d += '\\';
    }
    return d;
}

ProjectSnapshot Sample()
{
    ProjectSnapshot s;
    s.backgroundMusic = true;
    s.video[1] = s.audio[1] = "C:\\clips\\a.avi";
    s.video[2] = "dev:Camera DV";
    s.audio[2] = "dev:Line In";
    s.video[4] = "D:\\b.wmv";
    s.video[5] = s.audio[5] = "C:\\clips\\e.mpg";
    s.preview = 2;
    s.onAir = 1;
    s.transition = 7;
    return s;
}

/* A project file of twelve lines as given. */
std::string Lines(const std::vector<std::string> &lines)
{
    std::string t;
    for (const auto &l : lines) t += l + "\r\n";
    return t;
}

} // namespace

TEST_CASE("Project lines byte for byte: doubled backslashes on lines 4 and 8, channel lines as they are", "[kvz]")
{
    const std::string path = "C:\\shows\\news.kvz";
    ProjectSnapshot s = Sample();
    const std::string plain =
        "< Corvane ver 1.0 >\r\n"
        "0\r\n"
        "1\r\n"
        "C:\\\\shows\\\\news.lmf\r\n"
        "1,C:\\clips\\a.avi,C:\\clips\\a.avi\r\n"
        "2,dev:Camera DV,dev:Line In\r\n"
        "3,,\r\n"
        "4,D:\\b.wmv,\r\n"
        "5,C:\\clips\\e.mpg,C:\\clips\\e.mpg\r\n"
        "2\r\n"
        "1\r\n"
        "7\r\n";
    CHECK(ProjectText(path, s) == plain);

    SECTION("slide show on with images: line 2 is 1 and line 8 names the image list")
    {
        s.slideShow = true;
        s.images = {"C:\\pics\\a.jpg", "C:\\pics\\b.bmp"};
        std::string expected = plain;
        expected.replace(expected.find("0\r\n1\r\n"), 6, "1\r\n1\r\n");
        expected.replace(expected.find("4,D:\\b.wmv,\r\n"), 13, "C:\\\\shows\\\\news.dat\r\n");
        CHECK(ProjectText(path, s) == expected);
        CHECK(ImageListText(s.images) == "Saffrel ImageList File\r\nC:\\pics\\a.jpg\r\nC:\\pics\\b.bmp\r\n");
    }
    SECTION("slide show on with an empty table: 0 and a regular channel-4 line")
    {
        s.slideShow = true;
        CHECK(ProjectText(path, s) == plain);
    }
}

TEST_CASE("Project base: extension off the file name only, backslashes doubled", "[kvz]")
{
    const std::pair<const char *, const char *> cases[] = {
        {"C:\\shows\\news.kvz", "C:\\\\shows\\\\news"},
        {"C:\\a.b\\proj", "C:\\\\a.b\\\\proj"},
        {"C:\\x\\y.tar.kvz", "C:\\\\x\\\\y.tar"},
        {"proj.kvz", "proj"},
        {"\\\\server\\share\\p.kvz", "\\\\\\\\server\\\\share\\\\p"},
    };
    for (const auto &c : cases) {
        INFO(c.first);
        CHECK(ProjectBase(c.first) == c.second);
    }
}

TEST_CASE("Channel lines: number skipped, video to the next comma, audio the rest", "[kvz]")
{
    const struct { const char *line, *video, *audio; } cases[] = {
        {"1,,", "", ""},
        {"2,v.avi,a.wav", "v.avi", "a.wav"},
        {"3,v.avi,a,b.wav", "v.avi", "a,b.wav"},
        {"4", "", ""},
        {"5,v.avi", "v.avi", ""},
        {"", "", ""},
    };
    for (const auto &c : cases) {
        INFO(c.line);
        std::string v, a;
        SplitChannelLine(c.line, &v, &a);
        CHECK(v == c.video);
        CHECK(a == c.audio);
    }
}

TEST_CASE("Save and open: files byte for byte, then the restore order", "[kvz][roundtrip]")
{
    TempFolder dir("kvz");
    const std::string path = dir / "news.kvz";
    const std::string base = Doubled(dir / "news");

    SECTION("without the slide show")
    {
        Recorder save;
        REQUIRE(SaveProjectFile(path, Sample(), save));
        CHECK(save.log == std::vector<std::string>{"save-title " + base + ".lmf"});
        CHECK(ReadBytes(path) == ProjectText(path, Sample()));
        /* The doubled path names the same file. */
        CHECK(ReadBytes(dir / "news.lmf") == "title");
        CHECK_FALSE(FileExists(path + ".~tmp"));

        Recorder load;
        REQUIRE(LoadProjectFile(path, load) == ProjectLoad::Loaded);
        CHECK(load.log == std::vector<std::string>{
                              "new", "slide-show 0", "music 1", "open-title " + base + ".lmf",
                              "open 1 [C:\\clips\\a.avi] [C:\\clips\\a.avi]", "open 2 [dev:Camera DV] [dev:Line In]",
                              "open 4 [D:\\b.wmv] []", "open 5 [C:\\clips\\e.mpg] [C:\\clips\\e.mpg]", "select 2 1 7"});
    }
    SECTION("with the slide show: the image list beside it, read between channels 3 and 5")
    {
        ProjectSnapshot s = Sample();
        s.slideShow = true;
        s.images = {"C:\\pics\\one.jpg", "C:\\pics\\two.gif", "C:\\pics\\three.bmp"};
        Recorder save;
        REQUIRE(SaveProjectFile(path, s, save));
        CHECK(ReadBytes(path) == ProjectText(path, s));
        CHECK(ReadBytes(dir / "news.dat") ==
              "Saffrel ImageList File\r\nC:\\pics\\one.jpg\r\nC:\\pics\\two.gif\r\nC:\\pics\\three.bmp\r\n");

        Recorder load;
        REQUIRE(LoadProjectFile(path, load) == ProjectLoad::Loaded);
        CHECK(load.log == std::vector<std::string>{
                              "new", "slide-show 1", "music 1", "open-title " + base + ".lmf",
                              "open 1 [C:\\clips\\a.avi] [C:\\clips\\a.avi]", "open 2 [dev:Camera DV] [dev:Line In]",
                              "images 0", "images 3", "slide-show dialog",
                              "open 5 [C:\\clips\\e.mpg] [C:\\clips\\e.mpg]", "select 2 1 7"});
        CHECK(load.table == s.images);   /* file order */
    }
    SECTION("an audio path with commas and line ends of either kind load back as saved")
    {
        ProjectSnapshot s;
        s.video[3] = "C:\\v.avi";
        s.audio[3] = "C:\\music, live\\a.wav";
        Recorder save;
        REQUIRE(SaveProjectFile(path, s, save));
        for (bool lfOnly : {false, true}) {
            if (lfOnly) {
                std::string t = ReadBytes(path), lf;
                for (char c : t)
                    if (c != '\r') lf += c;
                WriteBytes(path, lf);
            }
            Recorder load;
            REQUIRE(LoadProjectFile(path, load) == ProjectLoad::Loaded);
            CHECK(load.log[4] == "open 3 [C:\\v.avi] [C:\\music, live\\a.wav]");
        }
    }
}

TEST_CASE("Saving refuses what could not be read back; failed saves leave the old files whole", "[kvz][failures]")
{
    TempFolder dir("kvzsave");
    const std::string path = dir / "show.kvz";
    const std::string old = "old project";
    WriteBytes(path, old);

    SECTION("a video path with a comma: a message, nothing written")
    {
        ProjectSnapshot s = Sample();
        s.video[2] = "C:\\a,b.avi";
        Recorder r;
        CHECK_FALSE(SaveProjectFile(path, s, r));
        REQUIRE(r.log.size() == 1);
        CHECK(r.log[0] == "message Channel 2 source, Video : C:\\a,b.avi, has a comma in its path and cannot be "
                          "saved in a project.");
        CHECK(ReadBytes(path) == old);
        CHECK_FALSE(FileExists(dir / "show.lmf"));
    }
    SECTION("project file cannot be created: \"File Save error !!\", nothing written")
    {
        Recorder r;
        CHECK_FALSE(SaveProjectFile(dir / "no such folder\\x.kvz", Sample(), r));
        CHECK(r.log == std::vector<std::string>{"message File Save error !!"});
    }
    SECTION("image-list file cannot be created: the system's text; the old project stays whole")
    {
        /* A folder in the way of the image list's temporary file. */
        REQUIRE(CreateDirectoryA((dir / "show.dat.~tmp").c_str(), nullptr));
        ProjectSnapshot s = Sample();
        s.slideShow = true;
        s.images = {"C:\\a.jpg"};
        Recorder r;
        CHECK_FALSE(SaveProjectFile(path, s, r));
        REQUIRE(r.log.size() == 2);
        CHECK(r.log[1].rfind("message ", 0) == 0);
        CHECK(r.log[1].size() > 8);
        CHECK(r.log[1] != "message File Save error !!");
        CHECK(ReadBytes(path) == old);
        CHECK_FALSE(FileExists(path + ".~tmp"));
        CHECK_FALSE(FileExists(dir / "show.dat"));
    }
}

TEST_CASE("Opening: every row of the failure table", "[kvz][failures]")
{
    TempFolder dir("kvzopen");
    const std::string path = dir / "p.kvz";
    const std::string dat = dir / "p.dat";
    auto project = [&](const std::string &slide, const std::string &line8) {
        return Lines({"< Corvane ver 1.0 >", slide, "0", "", "1,one.avi,one.wav", "2,bad.avi,bad.wav", "3,,", line8,
                      "5,five.avi,", "3", "0", "12"});
    };

    SECTION("project file cannot be opened")
    {
        Recorder r;
        CHECK(LoadProjectFile(dir / "missing.kvz", r) == ProjectLoad::OpenFailed);
        CHECK(r.log == std::vector<std::string>{"message File Open error !!"});
    }
    SECTION("header differs: version 1.1 refused before anything changes")
    {
        std::string t = project("0", "4,,");
        t.replace(t.find("1.0"), 3, "1.1");
        WriteBytes(path, t);
        Recorder r;
        CHECK(LoadProjectFile(path, r) == ProjectLoad::NotProject);
        CHECK(r.log == std::vector<std::string>{"message This file is not CorvaneLE version 1.0 !!"});
    }
    SECTION("a channel's source does not open: its message, and loading goes on")
    {
        WriteBytes(path, project("0", "4,,"));
        Recorder r;
        r.failing = {"bad.avi"};
        CHECK(LoadProjectFile(path, r) == ProjectLoad::Loaded);
        CHECK(r.log == std::vector<std::string>{
                           "new", "slide-show 0", "music 0", "open 1 [one.avi] [one.wav]", "open 2 [bad.avi] [bad.wav]",
                           "message Channel 2 source, Video : bad.avi - Audio : bad.wav, not opened !!",
                           "open 5 [five.avi] []", "select 3 0 12"});
    }
    SECTION("image-list file missing: the system's text and the load ends there")
    {
        WriteBytes(path, project("1", Doubled(dat)));
        Recorder r;
        CHECK(LoadProjectFile(path, r) == ProjectLoad::ImageListMissing);
        REQUIRE(r.log.size() == 7);
        CHECK(r.log[5] == "images 0");
        CHECK(r.log[6] == "message " + FileErrorText(ERROR_FILE_NOT_FOUND));
    }
    SECTION("image-list file empty or with another first line: its message, an empty table, loading goes on")
    {
        const std::pair<std::string, std::string> cases[] = {
            {"", "message This File is Blank File."},
            {"Saffrel ImageList File 2\r\na.jpg\r\n", "message This File is not Saffrel Imagelist File."},
            {"a.jpg\r\n", "message This File is not Saffrel Imagelist File."},
        };
        for (const auto &c : cases) {
            WriteBytes(path, project("1", Doubled(dat)));
            WriteBytes(dat, c.first);
            Recorder r;
            CHECK(LoadProjectFile(path, r) == ProjectLoad::Loaded);
            CHECK(r.log == std::vector<std::string>{"new", "slide-show 1", "music 0", "open 1 [one.avi] [one.wav]",
                                                    "open 2 [bad.avi] [bad.wav]", "images 0", c.second,
                                                    "open 5 [five.avi] []", "select 3 0 12"});
        }
    }
    SECTION("an image list of 300 paths keeps the first 256 and says so")
    {
        std::vector<std::string> paths;
        for (int i = 0; i < 300; ++i) paths.push_back("C:\\p\\" + std::to_string(i) + ".jpg");
        WriteBytes(path, project("1", Doubled(dat)));
        WriteBytes(dat, ImageListText(paths));
        Recorder r;
        CHECK(LoadProjectFile(path, r) == ProjectLoad::Loaded);
        REQUIRE(r.table.size() == 256);
        CHECK(r.table.back() == "C:\\p\\255.jpg");
        CHECK(std::count(r.log.begin(), r.log.end(), std::string("message ") + kMsgTooManyImages) == 1);
    }
}

TEST_CASE("Damaged project files are refused with the header's text before anything changes", "[kvz][damaged]")
{
    TempFolder dir("kvzbad");
    const std::string path = dir / "p.kvz";
    const std::vector<std::string> good = {"< Corvane ver 1.0 >", "0", "0", "t.lmf", "1,a.avi,a.wav", "2,,", "3,,",
                                           "4,,", "5,,", "1", "1", "0"};
    const std::string goodText = Lines(good);
    std::vector<std::pair<std::string, std::string>> cases = {
        {"empty", ""},
        {"eleven lines", goodText.substr(0, goodText.rfind("0\r\n"))},
        {"header only", "< Corvane ver 1.0 >\r\n"},
        {"header with trailing blank", Lines({"< Corvane ver 1.0 > "}) + goodText.substr(21)},
        {"NUL byte", goodText.substr(0, 30) + std::string(1, '\0') + goodText.substr(30)},
        {"line over 1040 characters", goodText.substr(0, 27) + std::string(1100, 'x') + goodText.substr(27)},
        {"over 64 KiB", goodText + std::string(70000, '\n')},
    };
    for (const auto &c : cases) {
        INFO(c.first);
        WriteBytes(path, c.second);
        Recorder r;
        CHECK(LoadProjectFile(path, r) == ProjectLoad::NotProject);
        CHECK(r.log == std::vector<std::string>{std::string("message ") + kMsgNotProject});
    }

    SECTION("every cut and random damage: refused or loaded, never a crash")
    {
        std::mt19937 rng(15);
        const char *env = getenv("CORV_FUZZ_ROUNDS");
        int rounds = env ? atoi(env) : 300;
        for (int i = 0; i <= (int)goodText.size() + rounds; ++i) {
            std::string t = goodText;
            if (i <= (int)goodText.size()) t.resize(i);
            else
                for (int k = 0; k < 3; ++k) t[rng() % t.size()] = (char)(rng() & 0xff);
            WriteBytes(path, t);
            Recorder r;
            ProjectLoad got = LoadProjectFile(path, r);
            CHECK((got == ProjectLoad::Loaded || got == ProjectLoad::NotProject));
            CHECK(r.log.size() <= 16);
        }
    }
}

TEST_CASE("Selections on load: values outside their ranges are none", "[kvz][selections]")
{
    TempFolder dir("kvzsel");
    const std::string path = dir / "p.kvz";
    const struct { const char *preview, *onAir, *transition, *expected; } cases[] = {
        {"5", "5", "43", "select 5 5 43"},
        {"-1", "0", "0", "select -1 0 0"},
        {"0", "0", "0", "select -1 0 0"},
        {"6", "-1", "44", "select -1 0 0"},
        {"2147483648", "3", "-5", "select -1 3 0"},
        {"abc", "3x", "", "select -1 0 0"},
        {" 4 ", "2", "9", "select 4 2 9"},
    };
    for (const auto &c : cases) {
        INFO(c.expected);
        WriteBytes(path, Lines({"< Corvane ver 1.0 >", "0", "0", "", "1,,", "2,,", "3,,", "4,,", "5,,", c.preview,
                                c.onAir, c.transition}));
        Recorder r;
        REQUIRE(LoadProjectFile(path, r) == ProjectLoad::Loaded);
        CHECK(r.log.back() == c.expected);
    }
}

TEST_CASE("Image-list files: fixtures, bounds and bad input", "[dat]")
{
    TempFolder dir("dat");
    const std::string path = dir / "list.dat";
    SECTION("good lists in file order, with either line end and without the last one")
    {
        const std::pair<std::string, std::vector<std::string>> cases[] = {
            {"Saffrel ImageList File\r\nA.jpg\r\nB.bmp\r\n", {"A.jpg", "B.bmp"}},
            {"Saffrel ImageList File\nA.jpg\nB.bmp", {"A.jpg", "B.bmp"}},
            {"Saffrel ImageList File\r\n", {}},
            {"Saffrel ImageList File\r\n\r\nA.jpg\r\n\r\n", {"A.jpg"}},
            {"Saffrel ImageList File\r\n" + std::string(259, 'p') + "\r\n", {std::string(259, 'p')}},
        };
        for (const auto &c : cases) {
            WriteBytes(path, c.first);
            ImageListResult r = ReadImageList(path);
            CHECK(r.status == ImageListResult::Ok);
            CHECK(r.paths == c.second);
            CHECK(r.Message().empty());
        }
    }
    SECTION("refusals with their texts")
    {
        const std::pair<std::string, std::string> cases[] = {
            {"", kMsgBlankFile},
            {"\r\n", kMsgNotImageList},
            {"saffrel imagelist file\r\nA.jpg\r\n", kMsgNotImageList},
            {"Saffrel ImageList File\r\n" + std::string(260, 'p') + "\r\n", kMsgNotImageList},
            {"Saffrel ImageList File\r\nA" + std::string(1, '\0') + ".jpg\r\n", kMsgNotImageList},
            {"Saffrel ImageList File\r\n" + std::string(5 * 1024 * 1024, 'x'), kMsgNotImageList},
        };
        for (const auto &c : cases) {
            WriteBytes(path, c.first);
            ImageListResult r = ReadImageList(path);
            CHECK(r.status != ImageListResult::Ok);
            CHECK(r.paths.empty());
            CHECK(r.Message() == c.second);
        }
        ImageListResult missing = ReadImageList(dir / "none.dat");
        CHECK(missing.status == ImageListResult::OpenFailed);
        CHECK(missing.Message() == FileErrorText(ERROR_FILE_NOT_FOUND));
        CHECK_FALSE(missing.Message().empty());
    }
    SECTION("every cut and random damage of a list: a clear answer within the table's bounds")
    {
        const std::string good = ImageListText({"C:\\p\\a.jpg", "C:\\p\\b.bmp", "D:\\c.gif"});
        std::mt19937 rng(126);
        const char *env = getenv("CORV_FUZZ_ROUNDS");
        int rounds = env ? atoi(env) : 300;
        for (int i = 0; i <= (int)good.size() + rounds; ++i) {
            std::string t = good;
            if (i <= (int)good.size()) t.resize(i);
            else
                for (int k = 0; k < 4; ++k) t[rng() % t.size()] = (char)(rng() & 0xff);
            WriteBytes(path, t);
            ImageListResult r = ReadImageList(path);
            const bool whole = t.find('\0') == std::string::npos;
            if (r.status == ImageListResult::Ok) CHECK((whole && t.rfind("Saffrel ImageList File", 0) == 0));
            if (whole && t.compare(0, 24, "Saffrel ImageList File\r\n") == 0) CHECK(r.status == ImageListResult::Ok);
            CHECK(r.paths.size() <= 7);   /* three paths, at most four new line ends */
            for (const auto &p : r.paths) CHECK((p.size() < 260 && !p.empty()));
        }
    }
    SECTION("writing replaces the file whole; a failed write leaves the old one")
    {
        DWORD error = 0;
        REQUIRE(WriteFileReplacing(path, ImageListText({"x.jpg"}), &error));
        CHECK(ReadBytes(path) == "Saffrel ImageList File\r\nx.jpg\r\n");
        REQUIRE(CreateDirectoryA((path + ".~tmp").c_str(), nullptr));
        CHECK_FALSE(WriteFileReplacing(path, ImageListText({"y.jpg"}), &error));
        CHECK(error != 0);
        CHECK(ReadBytes(path) == "Saffrel ImageList File\r\nx.jpg\r\n");
    }
}
