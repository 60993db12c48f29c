// Image import into core layers through the image filters (files made here
// byte by byte), with bad files and missing libraries.
#include "render_fixture.h"

#include <cstdio>
#include <string>

#include "fxmedia.h"

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

namespace {

typedef std::vector<unsigned char> Bytes;

void Put16(Bytes &b, unsigned v)
{
    b.push_back(v & 0xFF);
    b.push_back(v >> 8 & 0xFF);
}
void Put32(Bytes &b, unsigned v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// The picture of the import tests, top row first (0xAARRGGBB).
const DWORD kPicture[2][3] = {
    { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF },
    { 0xFFFFFFFF, 0xFF000000, 0xFF102030 },
};

// A 24-bit bottom-up BMP file of the picture (rows padded to 4 bytes).
Bytes Bmp24()
{
    Bytes b = { 'B', 'M' };
    const unsigned rowBytes = 12, size = 54 + rowBytes * 2;
    Put32(b, size);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, 3);
    Put32(b, 2);
    Put16(b, 1);
    Put16(b, 24);
    for (int i = 0; i < 6; ++i)
        Put32(b, i == 1 ? rowBytes * 2 : 0);
    for (int y = 1; y >= 0; --y) {
        for (int x = 0; x < 3; ++x) {
            DWORD c = kPicture[y][x];
            b.push_back(c & 0xFF);
            b.push_back(c >> 8 & 0xFF);
            b.push_back(c >> 16 & 0xFF);
        }
        for (int pad = 9; pad < 12; ++pad)
            b.push_back(0);
    }
    return b;
}

// A 24-bit uncompressed Targa file of the picture, stored from the top.
Bytes Tga24()
{
    Bytes b = { 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    Put16(b, 3);
    Put16(b, 2);
    b.push_back(24);
    b.push_back(0x20);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            DWORD c = kPicture[y][x];
            b.push_back(c & 0xFF);
            b.push_back(c >> 8 & 0xFF);
            b.push_back(c >> 16 & 0xFF);
        }
    return b;
}

std::string TempName(const char *stem)
{
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    char name[MAX_PATH];
    snprintf(name, sizeof name, "%.200sfxmedia_%u_%s", tmp, unsigned(GetCurrentProcessId()), stem);
    return name;
}

// A file of the given bytes, deleted with the object.
struct TempFile {
    std::string path;
    TempFile(const char *stem, const Bytes &bytes) : path(TempName(stem))
    {
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        REQUIRE(f != INVALID_HANDLE_VALUE);
        DWORD written = 0;
        if (!bytes.empty())
            WriteFile(f, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(f);
        REQUIRE(written == bytes.size());
    }
    ~TempFile() { DeleteFileA(path.c_str()); }
};

// The image filters, loaded by name as the library binds them.
struct Filters {
    HMODULE module = LoadLibraryA("Ferrix32.dll");
    Filters()
    {
        REQUIRE(module);
        g_fxFerrix.ferrixConvert =
            reinterpret_cast<decltype(g_fxFerrix.ferrixConvert)>(GetProcAddress(module, "ferrixConvert"));
        REQUIRE(g_fxFerrix.ferrixConvert);
    }
    ~Filters() { g_fxFerrix = {}; }
};

// Counts the layers the engine makes and deletes through its slots.
int g_made, g_deleted;
Layer *PIXAPI CountingCreate(LONG w, LONG h, LONG n)
{
    ++g_made;
    return CreateLayer(w, h, n);
}
LONG PIXAPI CountingDelete(Layer *layer)
{
    ++g_deleted;
    return DeleteLayer(layer);
}

} // namespace

TEST_CASE("Image files imported into layers", "[media][import]")
{
    Core core;
    Filters filters;
    struct Case {
        const char *stem;
        Bytes bytes;
    } cases[] = { { "pic.bmp", Bmp24() }, { "pic.tga", Tga24() } };
    for (const Case &c : cases) {
        DYNAMIC_SECTION(c.stem)
        {
            TempFile file(c.stem, c.bytes);
            FxImageRequest request = { file.path.c_str() };
            FxImageRecord image = { -1, -1, nullptr };
            REQUIRE(LoadImageLayer(&request, &image) == 1);
            REQUIRE(image.layer);
            CHECK(image.width == 3);
            CHECK(image.height == 2);
            for (int y = 0; y < 2; ++y)
                for (int x = 0; x < 3; ++x) {
                    INFO("pixel " << x << ", " << y);
                    CHECK(GetPelInLayer(image.layer, x, y) == kPicture[y][x]);   // opaque
                }
            DeleteLayer(image.layer);
        }
    }
}

TEST_CASE("Image import refuses what it cannot read", "[media][import][errors]")
{
    Core core;
    Filters filters;
    g_made = g_deleted = 0;
    g_fxGraphics.CreateLayer = CountingCreate;
    g_fxGraphics.DeleteLayer = CountingDelete;

    Bytes cut = Bmp24();
    cut.resize(60);   // the header promises two rows
    Bytes huge = Bmp24();
    huge[18] = 0xFF;  // width 0xFF03
    huge[19] = 0xFF;
    Bytes wrongMagic = Bmp24();
    wrongMagic[0] = 'X';
    const char *text = "this is not a picture\r\n";
    struct Case {
        const char *what;
        Bytes bytes;
    } cases[] = {
        { "empty.bmp", {} },
        { "cut.bmp", cut },
        { "huge.bmp", huge },
        { "magic.bmp", wrongMagic },
        { "text.bmp", Bytes(text, text + strlen(text)) },
    };
    for (const Case &c : cases) {
        DYNAMIC_SECTION(c.what)
        {
            TempFile file(c.what, c.bytes);
            FxImageRequest request = { file.path.c_str() };
            FxImageRecord image = { 7, 7, reinterpret_cast<Layer *>(1) };
            CHECK(LoadImageLayer(&request, &image) == 0);
            CHECK(image.width == 0);
            CHECK(image.height == 0);
            CHECK(image.layer == nullptr);
            CHECK(g_made == g_deleted);   // a layer made for a failed read is deleted
        }
    }
    SECTION("a missing file, no name, no request")
    {
        std::string missing = TempName("missing.bmp");
        FxImageRequest request = { missing.c_str() };
        FxImageRecord image = {};
        CHECK(LoadImageLayer(&request, &image) == 0);
        FxImageRequest none = { nullptr };
        CHECK(LoadImageLayer(&none, &image) == 0);
        FxImageRequest empty = { "" };
        CHECK(LoadImageLayer(&empty, &image) == 0);
        CHECK(LoadImageLayer(nullptr, &image) == 0);
        CHECK(LoadImageLayer(&request, nullptr) == 0);
        CHECK(image.layer == nullptr);
        CHECK(g_made == 0);
    }
}

TEST_CASE("Image import without the filters or the core", "[media][import][errors]")
{
    TempFile file("unbound.bmp", Bmp24());
    FxImageRequest request = { file.path.c_str() };
    FxImageRecord image = {};
    SECTION("no image filters")
    {
        Core core;
        CHECK(LoadImageLayer(&request, &image) == 0);
    }
    SECTION("no graphics core")
    {
        Filters filters;
        CHECK(LoadImageLayer(&request, &image) == 0);
    }
    CHECK(image.layer == nullptr);
}

// ---------------------------------------------------------------- movie export

namespace {

std::string UnixPath(const std::string &win)
{
    WCHAR w[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, win.c_str(), -1, w, MAX_PATH))
        return std::string();
    char *u = wine_get_unix_file_name(w);
    if (!u)
        return std::string();
    std::string out(u);
    HeapFree(GetProcessHeap(), 0, u);
    return out;
}

// Runs a command of the ffmpeg tools (a Linux program) and returns what it
// prints.
std::string Tool(const std::string &command)
{
    std::string out;
    FILE *p = popen((command + " 2>/dev/null").c_str(), "r");
    if (!p)
        return out;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

std::string Quote(const std::string &s)
{
    return "'" + s + "'";
}

// ffprobe's key=value lines about the first video stream.
std::string Probe(const std::string &win)
{
    return Tool("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                "stream=codec_type,width,height,nb_read_frames,field_order -of default=nw=1 " +
                Quote(UnixPath(win)));
}

// Every frame of a movie decoded to BGRA by the ffmpeg tool.
std::vector<unsigned char> DecodeAll(const std::string &win)
{
    std::string raw = TempName("movie.raw");
    std::string cmd = "ffmpeg -nostdin -loglevel error -y -i " + Quote(UnixPath(win)) +
                      " -f rawvideo -pix_fmt bgra " + Quote(UnixPath(raw));
    Tool(cmd);
    std::vector<unsigned char> out;
    HANDLE f = CreateFileA(raw.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD size = GetFileSize(f, nullptr), got = 0;
        out.resize(size);
        if (!size || !ReadFile(f, out.data(), size, &got, nullptr) || got != size)
            out.clear();
        CloseHandle(f);
    }
    DeleteFileA(raw.c_str());
    return out;
}

bool Exists(const std::string &win)
{
    return GetFileAttributesA(win.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A red square moving 10 pixels right per frame over frames 1..3 in a
// 48 x 32 view, with the codec library bound from beside the program.
struct MovieScene : Scene {
    FxMovieSource src;
    MovieScene() : Scene(48, 32)
    {
        FxPath *p = Add(4, 8, 8, 8, kRed);
        AddKey(p, 2, 10, 0);
        AddKey(p, 3, 10, 0);
        memset(&src, 0, sizeof src);
        src.render.view = view;
        src.render.first = list;
        src.defaultWidth = 48;
        src.defaultHeight = 32;
        src.fieldOrder = 5;
        src.thumbnailFrame = -1;
        BindVexacodec(GetModuleHandleA(nullptr));
        REQUIRE(g_fxVexacodec.EncodeStart);
    }
    ~MovieScene() { FreeLibraries(FXLIB_VEXACODEC); }
};

// The codec library's calls as the export makes them, passed on to the
// real ones.
struct Call {
    char what;       // S start, L layer, F frame, T thumbnail, E end
    LONG_PTR a, b;
};
std::vector<Call> g_calls;
FxVexacodecSlots g_real;
LONG_PTR WINAPI RecStart(LONG_PTR n, LONG_PTR n2, LONG_PTR w, LONG_PTR h, LONG_PTR fields)
{
    g_calls.push_back({ 'S', w << 16 | h, fields });
    return g_real.EncodeStart(n, n2, w, h, fields);
}
Layer *WINAPI RecLayer(LONG_PTR e, LONG_PTR word)
{
    g_calls.push_back({ 'L', 0, 0 });
    return g_real.EncodeGetLayer(e, word);
}
LONG_PTR WINAPI RecFrame(LONG_PTR e, LONG_PTR word, LONG_PTR position)
{
    g_calls.push_back({ 'F', position, 0 });
    return g_real.EncodeFrame(e, word, position);
}
LONG_PTR WINAPI RecThumb(LONG_PTR e, LONG_PTR layer)
{
    // The square's left edge in the picture taken.
    LONG_PTR edge = -1;
    for (int x = 0; x < 48 && edge < 0; ++x)
        if (GetPelInLayer(reinterpret_cast<Layer *>(layer), x, 12) == kRed)
            edge = x;
    g_calls.push_back({ 'T', edge, 0 });
    return g_real.EncodeThumbnail(e, layer);
}
LONG_PTR WINAPI RecEnd(LONG_PTR e)
{
    g_calls.push_back({ 'E', 0, 0 });
    return g_real.EncodeEnd(e);
}
void Record()
{
    g_calls.clear();
    g_real = g_fxVexacodec;
    g_fxVexacodec.EncodeStart = RecStart;
    g_fxVexacodec.EncodeGetLayer = RecLayer;
    g_fxVexacodec.EncodeFrame = RecFrame;
    g_fxVexacodec.EncodeThumbnail = RecThumb;
    g_fxVexacodec.EncodeEnd = RecEnd;
}
std::string Trace()
{
    std::string t;
    for (const Call &c : g_calls)
        t += c.what;
    return t;
}

int g_thumbWriter;
int ThumbWriter(void *, const char *, int, int, int step)
{
    g_thumbWriter = step;
    return 1;
}

} // namespace

TEST_CASE("An effect exported as a movie and read back", "[media][movie]")
{
    MovieScene m;
    std::string movie = TempName("export.vexa");
    // A file of that name is replaced.
    TempFile old("export.vexa", Bytes(5000, 0x55));
    Record();
    REQUIRE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0, 0));

    // One encoder; a layer before each frame but after the last; frames
    // marked second-to-last (4) and last (8); the thumbnail of the first
    // frame, which drew the square; the end.
    CHECK(Trace() == "SLTFLFLFE");
    CHECK(g_calls[0].a == (48 << 16 | 32));
    CHECK(g_calls[0].b == 2);   // norm settings 0: two fields per frame
    CHECK(g_calls[2].a == 4);   // the thumbnail shows frame 1
    CHECK(g_calls[3].a == 0);
    CHECK(g_calls[5].a == 4);
    CHECK(g_calls[7].a == 8);

    std::string info = Probe(movie);
    INFO(info);
    CHECK(info.find("width=48") != std::string::npos);
    CHECK(info.find("height=32") != std::string::npos);
    CHECK(info.find("nb_read_frames=3") != std::string::npos);
    CHECK(info.find("field_order=tt") != std::string::npos);

    std::vector<unsigned char> px = DecodeAll(movie);
    REQUIRE(px.size() == size_t(48) * 32 * 4 * 3);
    auto at = [&](int frame, int x, int y) {
        const unsigned char *p = &px[((size_t(frame) * 32 + y) * 48 + x) * 4];
        return DWORD(p[2]) << 16 | DWORD(p[1]) << 8 | p[0];
    };
    for (int f = 0; f < 3; ++f) {
        INFO("frame " << f + 1);
        int left = 4 + 10 * f;
        CHECK(at(f, left, 8) == 0xFF0000);       // the square's corners, both fields
        CHECK(at(f, left + 7, 15) == 0xFF0000);
        CHECK(at(f, left - 1, 12) == 0);         // beside it the cleared layer
        CHECK(at(f, left + 8, 12) == 0);
        CHECK(at(f, left, 7) == 0);
    }
    DeleteFileA(movie.c_str());
}

TEST_CASE("Movie export settings", "[media][movie]")
{
    MovieScene m;
    std::string movie = TempName("settings.vexa");
    Record();
    SECTION("progressive movies, inverted fields, a chosen thumbnail and size")
    {
        m.src.render.invertFields = 1;
        m.src.thumbnailFrame = 2;
        REQUIRE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 24, 16, 0, 1));
        CHECK(g_calls[0].a == (24 << 16 | 16));
        CHECK(g_calls[0].b == (1 | 0x200));
        REQUIRE(Trace() == "SLFLTFLFE");   // the thumbnail at frame 2
        std::string info = Probe(movie);
        INFO(info);
        CHECK(info.find("width=24") != std::string::npos);
        CHECK(info.find("nb_read_frames=3") != std::string::npos);
        CHECK(info.find("field_order=progressive") != std::string::npos);
    }
    SECTION("the norm's odd-and-even steps")
    {
        // Bit 31: no field steps, every step called back.
        REQUIRE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0, 0x80000000u));
        CHECK(Trace() == "SLTFLFLFE");
        CHECK(g_calls[5].a == 4);
        CHECK(Probe(movie).find("nb_read_frames=3") != std::string::npos);
    }
    SECTION("settings read from the host's ini section")
    {
        std::string ini = TempName("host.ini");
        WritePrivateProfileStringA("Host", "NormSettings", "1", ini.c_str());
        m.src.iniFile = ini.c_str();
        m.src.iniSection = "Host";
        REQUIRE(ExportMovieWithNorm(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0));
        CHECK(g_calls[0].b == 1);
        m.src.iniSection = "Other";   // no value: 0, two fields
        g_calls.clear();
        REQUIRE(ExportMovieWithNorm(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0));
        CHECK(g_calls[0].b == 2);
        DeleteFileA(ini.c_str());
    }
    DeleteFileA(movie.c_str());
}

TEST_CASE("Movie export without a name writes fx.vexa", "[media][movie]")
{
    MovieScene m;
    char old[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, old);
    char tmp[MAX_PATH];
    GetTempPathA(MAX_PATH, tmp);
    std::string dir = TempName("cwd");
    CreateDirectoryA(dir.c_str(), nullptr);
    REQUIRE(SetCurrentDirectoryA(dir.c_str()));
    {
        TempFile stale((std::string("cwd\\fx.vexa")).c_str(), Bytes(100, 1));
        REQUIRE(Exists(dir + "\\fx.vexa"));
        REQUIRE(ExportMovie(nullptr, &m.src, 0, nullptr, 0, 0, 0, 0));
        std::string info = Probe(dir + "\\fx.vexa");
        INFO(info);
        CHECK(info.find("nb_read_frames=3") != std::string::npos);
        REQUIRE(ExportMovie(nullptr, &m.src, 0, "", 0, 0, 0, 0));
        CHECK(Probe(dir + "\\fx.vexa").find("nb_read_frames=3") != std::string::npos);
    }
    SetCurrentDirectoryA(old);
    RemoveDirectoryA(dir.c_str());
}

TEST_CASE("Movie export refuses what it cannot do", "[media][movie][errors]")
{
    MovieScene m;
    std::string movie = TempName("bad.vexa");
    SECTION("an encoder that does not start cancels the render")
    {
        std::string where = TempName("no_such_folder\\x.vexa");
        CHECK_FALSE(ExportMovie(nullptr, &m.src, 0, where.c_str(), 0, 0, 0, 0));
        CHECK_FALSE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 20000, 16, 0, 0));
        CHECK_FALSE(Exists(movie));
    }
    SECTION("no codec library")
    {
        FxVexacodecSlots saved = g_fxVexacodec;
        g_fxVexacodec = {};
        CHECK_FALSE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0, 0));
        g_fxVexacodec = saved;
    }
    SECTION("no size, no effect, no source")
    {
        m.src.defaultWidth = 0;
        CHECK_FALSE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0, 0));
        FxMovieSource empty = m.src;
        empty.render.first = nullptr;
        CHECK_FALSE(ExportMovie(nullptr, &empty, 0, movie.c_str(), 48, 32, 0, 0));
        CHECK_FALSE(ExportMovie(nullptr, nullptr, 0, movie.c_str(), 48, 32, 0, 0));
    }
    SECTION("an effect with no frames drawn still gives a complete movie")
    {
        // The square is hidden: every frame is empty, the thumbnail is the last.
        m.list->head->flags |= KF_HIDDEN;
        Record();
        REQUIRE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0, 0));
        CHECK(Trace() == "SLFLFLTFE");
        CHECK(Probe(movie).find("nb_read_frames=3") != std::string::npos);
    }
    SECTION("no thumbnail from the encoder: the tool pages write one")
    {
        g_fxVexacodec.EncodeThumbnail = nullptr;
        g_thumbWriter = -2;
        g_fxWriteMovieThumbnail = ThumbWriter;
        REQUIRE(ExportMovie(nullptr, &m.src, 0, movie.c_str(), 0, 0, 0, 0));
        CHECK(g_thumbWriter == 1);   // step 2 of the field steps: frame 1
        g_fxWriteMovieThumbnail = nullptr;
    }
    DeleteFileA(movie.c_str());
}

namespace {

// A movie library of the test's own: it records what it is asked and hands
// out one layer.
struct FakeMovie {
    LONG_PTR args[8];
    int frames, ends, thumbs, closes;
    Layer *layer;
} g_movie;
LONG_PTR WINAPI MovieStart(LONG_PTR movie, LONG_PTR zero, LONG_PTR order, LONG_PTR zero2, LONG_PTR total,
                           LONG_PTR w, LONG_PTR h, LONG_PTR fields)
{
    LONG_PTR a[8] = { movie, zero, order, zero2, total, w, h, fields };
    memcpy(g_movie.args, a, sizeof a);
    return 77;
}
Layer *WINAPI MovieLayer(LONG_PTR encoder, LONG_PTR word)
{
    *reinterpret_cast<LONG_PTR *>(word) = 5;
    return encoder == 77 ? g_movie.layer : nullptr;
}
LONG_PTR WINAPI MovieFrame(LONG_PTR encoder, LONG_PTR word, LONG_PTR)
{
    g_movie.frames += encoder == 77 && word == 5;
    return 1;
}
LONG_PTR WINAPI MovieEnd(LONG_PTR)
{
    return ++g_movie.ends;
}
LONG_PTR WINAPI MovieThumb(LONG_PTR, LONG_PTR layer)
{
    g_movie.thumbs += reinterpret_cast<Layer *>(layer) == g_movie.layer;
    return 1;
}
LONG_PTR WINAPI MovieClose(LONG_PTR)
{
    return ++g_movie.closes;
}

} // namespace

TEST_CASE("Movie export into the caller's movie", "[media][movie]")
{
    Scene s(48, 32);
    FxPath *p = s.Add(4, 8, 8, 8, kRed);
    s.AddKey(p, 2, 10, 0);
    s.AddKey(p, 3, 10, 0);
    FxMovieSource src;
    memset(&src, 0, sizeof src);
    src.render.view = s.view;
    src.render.first = s.list;
    src.defaultWidth = 48;
    src.defaultHeight = 32;
    src.fieldOrder = 6;
    src.thumbnailFrame = -1;
    memset(&g_movie, 0, sizeof g_movie);
    g_movie.layer = s.target;
    g_fxVexa = {};
    g_fxVexa.EncodeStart = MovieStart;
    g_fxVexa.EncodeGetLayer = MovieLayer;
    g_fxVexa.EncodeFrame = MovieFrame;
    g_fxVexa.EncodeEnd = MovieEnd;
    g_fxVexa.EncodeThumbnail = MovieThumb;
    g_fxVexa.quibClose = MovieClose;

    // The named file is not the movie's: it is left alone.
    TempFile keep("keep.vexa", Bytes(10, 1));
    REQUIRE(ExportMovie(nullptr, &src, 1234, keep.path.c_str(), 0, 0, 0, 0));
    CHECK(g_movie.args[0] == 1234);
    CHECK(g_movie.args[2] == 6);
    CHECK(g_movie.args[4] == 3);    // six field steps called back every second one
    CHECK(g_movie.args[5] == 48);
    CHECK(g_movie.args[6] == 32);
    CHECK(g_movie.args[7] == 2);
    CHECK(g_movie.frames == 3);
    CHECK(g_movie.thumbs == 1);
    CHECK(g_movie.ends == 1);
    CHECK(g_movie.closes == 0);     // the caller's movie stays open
    CHECK(GetFileAttributesA(keep.path.c_str()) != INVALID_FILE_ATTRIBUTES);

    SECTION("without the movie library the render is cancelled")
    {
        g_fxVexa.EncodeStart = nullptr;
        CHECK_FALSE(ExportMovie(nullptr, &src, 1234, nullptr, 0, 0, 0, 0));
    }
    g_fxVexa = {};
}
