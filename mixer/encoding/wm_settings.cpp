/* Winsock before anything that includes windows.h. */
#define NOMINMAX
#include <winsock2.h>
#include "wm_settings.h"
#include "profile.h"
#include <cstdlib>
#include <cstring>

const char kWmSection[] = "EncodingOption\\WindowsMedia";
const char kDefaultWmFile[] = "C:\\output.wmv";
const char kUserChosePrx[] = "UserChosePrx";
const char *const kWmDestinations[8] = {"File download (Computer playback)",
                                        "Hardware devices (CD, DVD, portable)",
                                        "Windows Media Server (Streaming)",
                                        "Web Server (Progressive download)",
                                        "Windows Media Hardware profiles",
                                        "Pocket PC",
                                        "File archive",
                                        "User Define"};

WmEncodingSettings LoadWmSettings(const cl::CProfile &p, WmDefaults which)
{
    const bool dlg = which == WmDefaults::Dialog;
    const char *sec = kWmSection;
    WmEncodingSettings s;
    s.title = p.GetString(sec, "Title", "");
    s.author = p.GetString(sec, "Author", "");
    s.copyright = p.GetString(sec, "Copyright", "");
    s.rating = p.GetString(sec, "Rating", "");
    s.description = p.GetString(sec, "Description", "");
    s.archive = p.GetString(sec, "ArchivingFileName", "");
    s.pushServer = p.GetString(sec, "PushServer", "");
    s.publishingPoint = p.GetString(sec, "PublishingPoint", "");
    s.copyFrom = p.GetString(sec, "CopyFrom", "");
    s.autoRemove = p.GetInt(sec, "AutoRemove", 0);
    s.port = p.GetInt(sec, "Port", dlg ? 8080 : 7000);
    s.addIndex = p.GetInt(sec, "Addindex", dlg ? 0 : 1);
    s.pushToServer = p.GetInt(sec, "PushToServer", 0);
    s.archiveToFile = p.GetInt(sec, "ArchiveToFile", 1);
    s.broadcast = p.GetInt(sec, "Broadcast", dlg ? 1 : 0);
    /* The profile line the dialog shows as chosen is the one recorded with,
     * whether or not the dialog was ever opened. */
    s.wm8ProfileIndex = p.GetInt(sec, "WM8ProfileIndex", 9);
    s.wm9ProfileIndex = p.GetInt(sec, "WM9ProfileIndex", 0);
    s.userProfileIndex = p.GetInt(sec, "UserProfileIndex", 9);
    s.wm8ProfileName = p.GetString(sec, "WM8ProfileName", "");
    s.userProfileName = p.GetString(sec, "UserProfileName", "");
    if (dlg) {
        s.wm9Destination = p.GetInt(sec, "WM9Destination", 2);
        s.wm9Video = p.GetInt(sec, "WM9Video", 0);
        s.wm9Audio = p.GetInt(sec, "WM9Audio", 0);
        s.wm9SelBandWidthNumbers = p.GetInt(sec, "WM9SelBandWidthNumbers", 10);
        s.wm9CheckedNumbers = p.GetInt(sec, "WM9CheckedNumbers", 1);
        s.wm9CheckBitrate = p.GetString(sec, "WM9CheckBitrate", "0");
    }
    return s;
}

void SaveWmSettings(const cl::CProfile &p, const WmEncodingSettings &s)
{
    const char *sec = kWmSection;
    p.WriteString(sec, "Title", s.title);
    p.WriteString(sec, "Author", s.author);
    p.WriteString(sec, "Copyright", s.copyright);
    p.WriteString(sec, "Rating", s.rating);
    p.WriteString(sec, "Description", s.description);
    p.WriteString(sec, "ArchivingFileName", s.archive);
    p.WriteString(sec, "PushServer", s.pushServer);
    p.WriteString(sec, "PublishingPoint", s.publishingPoint);
    p.WriteString(sec, "CopyFrom", s.copyFrom);
    p.WriteInt(sec, "AutoRemove", s.autoRemove);
    p.WriteInt(sec, "Port", s.port);
    p.WriteInt(sec, "Addindex", s.addIndex);
    p.WriteInt(sec, "PushToServer", s.pushToServer);
    p.WriteInt(sec, "ArchiveToFile", s.archiveToFile);
    p.WriteInt(sec, "Broadcast", s.broadcast);
}

namespace {
/* The leading decimal value of a text (blanks and a sign allowed), 0 when
 * it has none; ok tells whether digits were found. */
long LeadingDecimal(const std::string &text, bool *ok)
{
    const char *t = text.c_str();
    char *end = nullptr;
    long v = strtol(t, &end, 10);
    *ok = end != t;
    return *ok ? v : 0;
}
} // namespace

std::vector<int> ParseCheckedRows(const std::string &text, int count, int rowCount)
{
    std::vector<int> rows;
    size_t at = 0;
    for (int i = 0; i < count && at <= text.size(); ++i) {
        size_t comma = i + 1 < count ? text.find(',', at) : std::string::npos;
        std::string piece = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        at = comma == std::string::npos ? text.size() + 1 : comma + 1;
        bool ok = false;
        long v = LeadingDecimal(piece, &ok);
        if (!ok || v < 0 || v >= rowCount) continue;
        bool seen = false;
        for (int r : rows) seen = seen || r == v;
        if (!seen) rows.push_back((int)v);
    }
    return rows;
}

std::string JoinCheckedRows(const std::vector<int> &rows)
{
    std::string text;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (i) text += ",";
        text += std::to_string(rows[i]);
    }
    return text;
}

int PortFromEdit(const std::string &text, int current)
{
    if (text.empty()) return 8080;
    bool ok = false;
    long v = LeadingDecimal(text, &ok);
    if (!ok || v == 0 || v < 0 || v > 65535) return current;
    return (int)v;
}

std::string UrlText(const std::string &host, int port)
{
    return "http://" + host + ":" + std::to_string(port);
}

void LocalHostAddresses(std::string *name, std::string *address)
{
    name->clear();
    address->clear();
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 0), &data) != 0) return;
    /* Winsock's own gethostname (the C library's is declared in its place
     * here), taken from the Winsock module itself. */
    typedef int(WINAPI * HostNameFn)(char *, int);
    HostNameFn hostName = (HostNameFn)(void *)GetProcAddress(GetModuleHandleA("ws2_32.dll"), "gethostname");
    char host[255] = {};
    if (hostName && hostName(host, sizeof(host) - 1) == 0) {
        *name = host;
        hostent *he = gethostbyname(host);
        if (he && he->h_addrtype == AF_INET && he->h_addr_list) {
            in_addr last = {};
            bool any = false;
            for (char **a = he->h_addr_list; *a; ++a) {
                memcpy(&last, *a, sizeof(last));
                any = true;
            }
            if (any) *address = inet_ntoa(last);
        }
    }
    WSACleanup();
}
