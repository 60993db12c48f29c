#include "project_file.h"
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

const char kProjectHeader[] = "< Corvane ver 1.0 >";
const char kImageListHeader[] = "Saffrel ImageList File";
const char kMsgFileSaveError[] = "File Save error !!";
const char kMsgFileOpenError[] = "File Open error !!";
const char kMsgNotProject[] = "This file is not CorvaneLE version 1.0 !!";
const char kMsgBlankFile[] = "This File is Blank File.";
const char kMsgNotImageList[] = "This File is not Saffrel Imagelist File.";
const char kMsgTooManyImages[] = "The image list holds at most 256 images; the rest are left out.";

namespace {

/* Bounds of what the readers take in. */
constexpr DWORD kMaxProjectBytes = 64 * 1024;
constexpr size_t kMaxProjectLine = 1040;          /* two doubled 260-character paths */
constexpr DWORD kMaxImageListBytes = 4 * 1024 * 1024;
constexpr int kProjectLines = 12;
const char kTempSuffix[] = ".~tmp";

enum class ReadStatus { Ok, OpenFailed, TooBig };

/* The whole file, at most cap bytes. */
ReadStatus ReadWholeFile(const std::string &path, DWORD cap, std::string *bytes, DWORD *error)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return ReadStatus::OpenFailed;
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(f, &size)) {
        *error = GetLastError();
        CloseHandle(f);
        return ReadStatus::OpenFailed;
    }
    if (size.QuadPart > cap) {
        CloseHandle(f);
        return ReadStatus::TooBig;
    }
    bytes->assign((size_t)size.QuadPart, '\0');
    DWORD got = 0;
    BOOL ok = bytes->empty() || ReadFile(f, &(*bytes)[0], (DWORD)bytes->size(), &got, nullptr);
    if (!ok) *error = GetLastError();
    CloseHandle(f);
    if (!ok) return ReadStatus::OpenFailed;
    bytes->resize(got);
    return ReadStatus::Ok;
}

/* Lines without their CR LF or LF; a last line without an end counts. */
std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        at = end + 1;
    }
    return lines;
}

/* A whole decimal line (blanks around allowed); false for anything else. */
bool ParseLineInt(const std::string &line, int *value)
{
    const char *s = line.c_str();
    char *end = nullptr;
    errno = 0;
    long v = strtol(s, &end, 10);
    if (end == s || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end) return false;
    *value = (int)v;
    return true;
}

std::string ChannelLine(int n, const std::string &video, const std::string &audio)
{
    return std::to_string(n) + "," + video + "," + audio + "\r\n";
}

} // namespace

std::string FileErrorText(DWORD error)
{
    char text[1024] = {};
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof(text), nullptr);
    if (!n) snprintf(text, sizeof(text), "File error %lu.", (unsigned long)error);
    return text;
}

/* ---- image-list file ---- */

std::string ImageListResult::Message() const
{
    switch (status) {
    case OpenFailed: return FileErrorText(error);
    case Blank: return kMsgBlankFile;
    case NotImageList: return kMsgNotImageList;
    case Ok: break;
    }
    return capped ? kMsgTooManyImages : "";
}

ImageListResult ReadImageList(const std::string &path, size_t limit)
{
    ImageListResult r;
    std::string bytes;
    switch (ReadWholeFile(path, kMaxImageListBytes, &bytes, &r.error)) {
    case ReadStatus::OpenFailed: r.status = ImageListResult::OpenFailed; return r;
    case ReadStatus::TooBig: r.status = ImageListResult::NotImageList; return r;
    case ReadStatus::Ok: break;
    }
    if (bytes.empty()) {
        r.status = ImageListResult::Blank;
        return r;
    }
    std::vector<std::string> lines = SplitLines(bytes);
    if (bytes.find('\0') != std::string::npos || lines.empty() || lines[0] != kImageListHeader) {
        r.status = ImageListResult::NotImageList;
        return r;
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].size() >= (size_t)kSlidePathChars) {
            r.status = ImageListResult::NotImageList;
            r.paths.clear();
            return r;
        }
        if (lines[i].empty()) continue;
        if (r.paths.size() >= limit) {
            r.capped = true;
            continue;
        }
        r.paths.push_back(lines[i]);
    }
    return r;
}

std::string ImageListText(const std::vector<std::string> &paths)
{
    std::string text = std::string(kImageListHeader) + "\r\n";
    for (const std::string &p : paths) text += p + "\r\n";
    return text;
}

bool WriteFileReplacing(const std::string &path, const std::string &text, DWORD *error)
{
    std::string temp = path + kTempSuffix;
    HANDLE f = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DWORD put = 0;
    BOOL ok = text.empty() || (WriteFile(f, text.data(), (DWORD)text.size(), &put, nullptr) && put == text.size());
    if (!ok) *error = GetLastError();
    if (!CloseHandle(f) && ok) {
        ok = FALSE;
        *error = GetLastError();
    }
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = FALSE;
        *error = GetLastError();
    }
    if (!ok) DeleteFileA(temp.c_str());
    return ok != FALSE;
}

/* ---- project file ---- */

std::string ProjectBase(const std::string &path)
{
    /* The extension is the last dot of the file name, not of a folder. */
    size_t slash = path.find_last_of("\\/");
    size_t dot = path.rfind('.');
    std::string stem = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(0, dot)
                                                                                               : path;
    std::string base;
    for (char c : stem) {
        base += c;
        if (c == '\\') base += '\\';
    }
    return base;
}

std::string ProjectText(const std::string &path, const ProjectSnapshot &s)
{
    const std::string base = ProjectBase(path);
    const bool images = StoresImageList(s);
    std::string t = std::string(kProjectHeader) + "\r\n";
    t += std::string(images ? "1" : "0") + "\r\n";
    t += std::string(s.backgroundMusic ? "1" : "0") + "\r\n";
    t += base + ".lmf\r\n";
    for (int n = 1; n <= 3; ++n) t += ChannelLine(n, s.video[n], s.audio[n]);
    t += images ? base + ".dat\r\n" : ChannelLine(4, s.video[4], s.audio[4]);
    t += ChannelLine(5, s.video[5], s.audio[5]);
    t += std::to_string(s.preview) + "\r\n";
    t += std::to_string(s.onAir) + "\r\n";
    t += std::to_string(s.transition) + "\r\n";
    return t;
}

bool SaveProjectFile(const std::string &path, const ProjectSnapshot &s, ProjectHost &host)
{
    const bool images = StoresImageList(s);
    /* A comma in a video path would move the audio path on reading. */
    for (int n = 1; n <= 5; ++n) {
        if (n == 4 && images) continue;
        if (s.video[n].find(',') != std::string::npos) {
            char text[700];
            snprintf(text, sizeof(text),
                     "Channel %d source, Video : %s, has a comma in its path and cannot be saved in a project.", n,
                     s.video[n].c_str());
            host.ShowMessage(text);
            return false;
        }
    }
    /* The project is written beside itself first: the old file stays whole
     * until the new one is complete. */
    const std::string temp = path + kTempSuffix;
    HANDLE f = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) {
        host.ShowMessage(kMsgFileSaveError);
        return false;
    }
    const std::string base = ProjectBase(path);
    host.SaveTitle(base + ".lmf");
    if (images) {
        DWORD error = 0;
        if (!WriteFileReplacing(base + ".dat", ImageListText(s.images), &error)) {
            CloseHandle(f);
            DeleteFileA(temp.c_str());
            host.ShowMessage(FileErrorText(error));
            return false;
        }
    }
    const std::string text = ProjectText(path, s);
    DWORD put = 0;
    BOOL ok = WriteFile(f, text.data(), (DWORD)text.size(), &put, nullptr) && put == text.size();
    ok = CloseHandle(f) && ok;
    ok = ok && MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
    if (!ok) {
        DeleteFileA(temp.c_str());
        host.ShowMessage(kMsgFileSaveError);
        return false;
    }
    return true;
}

void SplitChannelLine(const std::string &line, std::string *video, std::string *audio)
{
    video->clear();
    audio->clear();
    size_t first = line.find(',');
    if (first == std::string::npos) return;
    size_t second = line.find(',', first + 1);
    if (second == std::string::npos) {
        *video = line.substr(first + 1);
        return;
    }
    *video = line.substr(first + 1, second - first - 1);
    *audio = line.substr(second + 1);
}

ProjectLoad LoadProjectFile(const std::string &path, ProjectHost &host)
{
    std::string bytes;
    DWORD error = 0;
    ReadStatus rs = ReadWholeFile(path, kMaxProjectBytes, &bytes, &error);
    if (rs == ReadStatus::OpenFailed) {
        host.ShowMessage(kMsgFileOpenError);
        return ProjectLoad::OpenFailed;
    }
    std::vector<std::string> lines;
    bool sound = rs == ReadStatus::Ok && bytes.find('\0') == std::string::npos;
    if (sound) {
        lines = SplitLines(bytes);
        sound = !lines.empty() && lines[0] == kProjectHeader && lines.size() >= (size_t)kProjectLines;
        for (size_t i = 0; sound && i < (size_t)kProjectLines; ++i) sound = lines[i].size() <= kMaxProjectLine;
    }
    /* Nothing is changed by a file that is not a whole project. */
    if (!sound) {
        host.ShowMessage(kMsgNotProject);
        return ProjectLoad::NotProject;
    }

    host.NewProject();
    const bool slideShow = lines[1] == "1";
    host.SetSlideShowMode(slideShow);
    host.SetBackgroundMusic(lines[2] == "1");
    if (!lines[3].empty()) host.OpenTitle(lines[3]);

    auto openChannel = [&](int n) {
        std::string video, audio;
        SplitChannelLine(lines[3 + n], &video, &audio);
        if (video.empty()) return;
        if (!host.OpenChannel(n, video, audio)) {
            char text[1400];
            snprintf(text, sizeof(text), "Channel %d source, Video : %s - Audio : %s, not opened !!", n,
                     video.c_str(), audio.c_str());
            host.ShowMessage(text);
        }
    };
    for (int n = 1; n <= 3; ++n) openChannel(n);
    if (!slideShow) {
        openChannel(4);
    } else {
        host.SetImageTable({});
        ImageListResult list = ReadImageList(lines[7]);
        if (list.status == ImageListResult::OpenFailed) {
            host.ShowMessage(list.Message());
            return ProjectLoad::ImageListMissing;
        }
        if (list.status != ImageListResult::Ok) {
            host.ShowMessage(list.Message());
        } else {
            if (list.capped) host.ShowMessage(list.Message());
            host.SetImageTable(list.paths);
            host.EditSlideShow();
        }
    }
    openChannel(5);

    /* The selections name channels and a pattern: out of range is none. */
    int preview = -1, onAir = 0, transition = 0;
    if (!ParseLineInt(lines[9], &preview) || !(preview == -1 || (preview >= 1 && preview <= 5))) preview = -1;
    if (!ParseLineInt(lines[10], &onAir) || onAir < 0 || onAir > 5) onAir = 0;
    if (!ParseLineInt(lines[11], &transition) || transition < 0 || transition >= kPatternCount) transition = 0;
    host.SetSelections(preview, onAir, transition);
    return ProjectLoad::Loaded;
}
