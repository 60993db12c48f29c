/*
 * The mixer's project file (".kvz") and image-list file (".dat"), as plain
 * routines over a host that applies what is read and shows the messages.
 *
 * Project file: twelve text lines (CR LF on disk, as a Windows text-mode
 * file; LF alone is read too):
 *    1 "< Corvane ver 1.0 >"
 *    2 slide-show flag (1 only with at least one image), 3 background music
 *    4 title file: base + ".lmf"
 *    5-7 "n,video,audio" for channels 1-3
 *    8 channel 4's line, or base + ".dat" while the slide show is on
 *    9 channel 5's line
 *   10-12 preview channel, on-air channel, transition pattern
 * base is the project path without its extension, every backslash doubled;
 * lines 4 and 8 keep that doubled form and are read back as they stand.
 *
 * Image-list file: "Saffrel ImageList File", then one path a line.
 *
 * Both are written to a temporary file beside the target and renamed over
 * it, so a failed save never leaves a cut file behind.  Readers take the
 * whole file at once with bounds: a project over 64 KiB, with fewer than
 * 12 lines, with a NUL byte or a line over 1040 characters is refused as
 * "not a project" before anything changes; an image list with a path of
 * 260 characters or more or a NUL byte is refused as "not an image list";
 * an image list longer than 256 paths keeps the first 256 and says so.
 *
 * User-interface thread only.
 */
#ifndef CORV_MIXER_PROJECT_FILE_H
#define CORV_MIXER_PROJECT_FILE_H

#include <windows.h>
#include <string>
#include <vector>

/* The image table of the slide show: at most this many paths. */
constexpr int kMaxSlideImages = 256;
/* A path in the image table holds at most this many characters (with its NUL). */
constexpr int kSlidePathChars = 260;

extern const char kProjectHeader[];          /* "< Corvane ver 1.0 >" */
extern const char kImageListHeader[];        /* "Saffrel ImageList File" */
extern const char kMsgFileSaveError[];       /* "File Save error !!" */
extern const char kMsgFileOpenError[];       /* "File Open error !!" */
extern const char kMsgNotProject[];          /* "This file is not CorvaneLE version 1.0 !!" */
extern const char kMsgBlankFile[];           /* "This File is Blank File." */
extern const char kMsgNotImageList[];        /* "This File is not Saffrel Imagelist File." */
extern const char kMsgTooManyImages[];       /* the 256-image limit */

/* The system's text for a file error (at most 1024 characters). */
std::string FileErrorText(DWORD error);

/* ---- image-list file ---- */

struct ImageListResult {
    enum Status { Ok, OpenFailed, Blank, NotImageList } status = Ok;
    DWORD error = 0;                    /* OpenFailed: the system's error */
    std::vector<std::string> paths;     /* in file order */
    bool capped = false;                /* more than limit paths; the rest left out */
    /* The message this result shows (empty for a clean Ok). */
    std::string Message() const;
};

/* Reads an image-list file, keeping at most limit paths.  Empty lines are
 * not paths and are passed over. */
ImageListResult ReadImageList(const std::string &path, size_t limit = kMaxSlideImages);
/* The bytes of an image-list file for these paths. */
std::string ImageListText(const std::vector<std::string> &paths);
/* Writes text to path through a temporary file and a rename; false with
 * the system's error in *error. */
bool WriteFileReplacing(const std::string &path, const std::string &text, DWORD *error);

/* ---- project file ---- */

/* What a project holds, as the mixer hands it to the writer. */
struct ProjectSnapshot {
    bool slideShow = false;
    bool backgroundMusic = false;
    std::string video[6], audio[6];            /* channels 1..5 */
    std::vector<std::string> images;           /* the image table in order */
    int preview = -1, onAir = 0, transition = 0;
};

/* What the loader applies, through the main window or a test's recorder. */
class ProjectHost {
public:
    virtual ~ProjectHost() = default;
    virtual void ShowMessage(const std::string &text) = 0;
    /* The title-box control saves its title to / opens it from path. */
    virtual void SaveTitle(const std::string &path) = 0;
    virtual void OpenTitle(const std::string &path) = 0;
    /* The "New Project" command. */
    virtual void NewProject() = 0;
    virtual void SetSlideShowMode(bool on) = 0;
    virtual void SetBackgroundMusic(bool on) = 0;
    /* Opens a source on channel n (1..5) and readies the channel; false
     * when the engine could not open it. */
    virtual bool OpenChannel(int n, const std::string &video, const std::string &audio) = 0;
    /* Replaces the image table. */
    virtual void SetImageTable(const std::vector<std::string> &paths) = 0;
    /* The slide-show dialog on the table; with OK the show starts. */
    virtual void EditSlideShow() = 0;
    /* Lines 10 to 12, already checked: preview -1 or 1..5, on air 0..5,
     * transition 0..kPatternCount-1. */
    virtual void SetSelections(int preview, int onAir, int transition) = 0;
};

constexpr int kPatternCount = 44;

/* The project path without its extension, every backslash doubled. */
std::string ProjectBase(const std::string &path);
/* The twelve lines for a snapshot saved at path (CR LF line ends). */
std::string ProjectText(const std::string &path, const ProjectSnapshot &s);
/* Whether line 2 says the slide show (with its image list) is stored. */
inline bool StoresImageList(const ProjectSnapshot &s) { return s.slideShow && !s.images.empty(); }

/* Saves: the title beside the project, the image list when stored, then
 * the project file.  A video path with a comma cannot be read back and
 * refuses the save before anything is written.  True when written. */
bool SaveProjectFile(const std::string &path, const ProjectSnapshot &s, ProjectHost &host);

enum class ProjectLoad {
    Loaded,             /* every line applied */
    OpenFailed,         /* "File Open error !!", nothing changed */
    NotProject,         /* wrong header or a damaged file, nothing changed */
    ImageListMissing,   /* the load stopped at the image list */
};
ProjectLoad LoadProjectFile(const std::string &path, ProjectHost &host);

/* A channel line's video and audio (the number before the first comma is
 * not used; the audio is the rest of the line). */
void SplitChannelLine(const std::string &line, std::string *video, std::string *audio);

#endif
