/*
 * Codec information and the .prx profile text.
 *
 * A .prx file is UTF-16 XML: a <profile> element with name and description,
 * one <streamconfig> per stream (major type, stream number, names, bit
 * rate), audio streams carrying a <waveformatex>, video streams
 * <videomediaprops> and a <videoinfoheader> with its rectangles and
 * <bitmapinfoheader>.  The reader takes what it needs and refuses a text
 * that is not well formed or leaves a stream without its format.
 */
#include "wmwriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <map>

namespace {

struct Codec { const char16_t *name; const char *encoder; int tag; const char *fourcc; };
const Codec kVideo[] = {
    {u"Windows Media Video 8", "wmv2", 0, "WMV2"},
    {u"Windows Media Video 7", "wmv1", 0, "WMV1"},
};
const Codec kAudio[] = {
    {u"Windows Media Audio 8", "wmav2", 0x161, nullptr},
    {u"Windows Media Audio 7", "wmav1", 0x160, nullptr},
};
const WmAudioFormat kFormats[] = {
    {24000, 44100, 2}, {20000, 44100, 2}, {16000, 44100, 2}, {12000, 44100, 2}, {10000, 44100, 2},
    {8000, 44100, 2},  {6000, 44100, 2},  {6000, 32000, 2},  {4000, 22050, 2},  {2500, 22050, 2},
    {2000, 22050, 1},  {2000, 16000, 1},
};
const int kFormatCount = (int)(sizeof(kFormats) / sizeof(kFormats[0]));

const char *const kAudioMajor = "{73647561-0000-0010-8000-00AA00389B71}";
const char *const kVideoMajor = "{73646976-0000-0010-8000-00AA00389B71}";
const char *const kScriptMajor = "{73636D64-0000-0010-8000-00AA00389B71}";

std::string utf8(const std::u16string &s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); i++) {
        unsigned c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        }
        if (c < 0x80) out += (char)c;
        else if (c < 0x800) { out += (char)(0xC0 | c >> 6); out += (char)(0x80 | (c & 63)); }
        else if (c < 0x10000) {
            out += (char)(0xE0 | c >> 12); out += (char)(0x80 | (c >> 6 & 63)); out += (char)(0x80 | (c & 63));
        } else {
            out += (char)(0xF0 | c >> 18); out += (char)(0x80 | (c >> 12 & 63));
            out += (char)(0x80 | (c >> 6 & 63)); out += (char)(0x80 | (c & 63));
        }
    }
    return out;
}

std::u16string utf16(const std::string &s)
{
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        unsigned char c = (unsigned char)s[i];
        unsigned v = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) v = c & (0x3F >> extra);
        i++;
        for (int k = 0; k < extra && i < s.size(); k++, i++) v = v << 6 | ((unsigned char)s[i] & 63);
        if (v >= 0x10000) {
            v -= 0x10000;
            out += (char16_t)(0xD800 + (v >> 10));
            out += (char16_t)(0xDC00 + (v & 0x3FF));
        } else out += (char16_t)v;
    }
    return out;
}

std::string escape(const std::string &s)
{
    std::string o;
    for (char c : s) {
        switch (c) {
        case '&': o += "&amp;"; break;
        case '<': o += "&lt;"; break;
        case '>': o += "&gt;"; break;
        case '"': o += "&quot;"; break;
        default: o += c;
        }
    }
    return o;
}

/* A flat view of the XML: each element with its attributes and depth. */
struct Element { std::string tag; std::map<std::string, std::string> attr; int depth; };

bool unescape(const std::string &in, std::string *out)
{
    out->clear();
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] != '&') { *out += in[i]; continue; }
        size_t e = in.find(';', i);
        if (e == std::string::npos) return false;
        std::string ent = in.substr(i + 1, e - i - 1);
        if (ent == "amp") *out += '&';
        else if (ent == "lt") *out += '<';
        else if (ent == "gt") *out += '>';
        else if (ent == "quot") *out += '"';
        else if (ent == "apos") *out += '\'';
        else return false;
        i = e;
    }
    return true;
}

bool parse(const std::string &x, std::vector<Element> *out)
{
    std::vector<std::string> open;
    size_t i = 0;
    while (i < x.size()) {
        size_t lt = x.find('<', i);
        if (lt == std::string::npos) break;
        if (x.compare(lt, 4, "<!--") == 0) {
            size_t e = x.find("-->", lt);
            if (e == std::string::npos) return false;
            i = e + 3;
            continue;
        }
        if (x.compare(lt, 2, "<?") == 0) {
            size_t e = x.find("?>", lt);
            if (e == std::string::npos) return false;
            i = e + 2;
            continue;
        }
        size_t gt = lt + 1;
        char quote = 0;
        for (; gt < x.size(); gt++) {
            if (quote) { if (x[gt] == quote) quote = 0; }
            else if (x[gt] == '"' || x[gt] == '\'') quote = x[gt];
            else if (x[gt] == '>') break;
            else if (x[gt] == '<') return false;
        }
        if (gt >= x.size()) return false;
        std::string body = x.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        if (!body.empty() && body[0] == '/') {
            std::string tag = body.substr(1);
            while (!tag.empty() && isspace((unsigned char)tag.back())) tag.pop_back();
            if (open.empty() || open.back() != tag) return false;
            open.pop_back();
            continue;
        }
        bool selfClosing = !body.empty() && body.back() == '/';
        if (selfClosing) body.pop_back();
        Element el;
        size_t p = 0;
        while (p < body.size() && !isspace((unsigned char)body[p])) p++;
        el.tag = body.substr(0, p);
        if (el.tag.empty()) return false;
        for (auto &c : el.tag) c = (char)tolower((unsigned char)c);
        for (;;) {
            while (p < body.size() && isspace((unsigned char)body[p])) p++;
            if (p >= body.size()) break;
            size_t eq = body.find('=', p);
            if (eq == std::string::npos) return false;
            std::string name = body.substr(p, eq - p);
            while (!name.empty() && isspace((unsigned char)name.back())) name.pop_back();
            p = eq + 1;
            while (p < body.size() && isspace((unsigned char)body[p])) p++;
            if (p >= body.size() || (body[p] != '"' && body[p] != '\'')) return false;
            char q = body[p];
            size_t end = body.find(q, p + 1);
            if (end == std::string::npos) return false;
            std::string value;
            if (!unescape(body.substr(p + 1, end - p - 1), &value)) return false;
            for (auto &c : name) c = (char)tolower((unsigned char)c);
            el.attr[name] = value;
            p = end + 1;
        }
        el.depth = (int)open.size();
        out->push_back(el);
        if (!selfClosing) open.push_back(body.substr(0, body.find_first_of(" \t\r\n")));
    }
    return open.empty();
}

bool number(const std::map<std::string, std::string> &a, const char *name, long long *out)
{
    auto it = a.find(name);
    if (it == a.end() || it->second.empty()) return false;
    char *end = nullptr;
    long long v = strtoll(it->second.c_str(), &end, 10);
    if (*end) return false;
    *out = v;
    return true;
}

std::string text(const std::map<std::string, std::string> &a, const char *name)
{
    auto it = a.find(name);
    return it == a.end() ? std::string() : it->second;
}

} // namespace

int WmCodecCount(bool video) { return video ? 2 : 2; }

const char16_t *WmCodecName(bool video, int n)
{
    if (n < 0 || n >= WmCodecCount(video)) return nullptr;
    return video ? kVideo[n].name : kAudio[n].name;
}

const char *WmCodecEncoder(bool video, int n)
{
    if (n < 0 || n >= WmCodecCount(video)) return nullptr;
    return video ? kVideo[n].encoder : kAudio[n].encoder;
}

int WmCodecIndex(bool video, const std::string &encoder)
{
    for (int i = 0; i < WmCodecCount(video); i++)
        if (encoder == WmCodecEncoder(video, i)) return i;
    return -1;
}

int WmCodecFormatCount(int audioCodec)
{
    return audioCodec >= 0 && audioCodec < WmCodecCount(false) ? kFormatCount : 0;
}

bool WmCodecFormat(int audioCodec, int n, WmAudioFormat *out)
{
    if (!out || n < 0 || n >= WmCodecFormatCount(audioCodec)) return false;
    *out = kFormats[n];
    return true;
}

std::u16string WmProfileToXml(const WmProfile &p)
{
    std::string x;
    char buf[512];
    x += "<profile version=\"589824\" storageformat=\"1\" name=\"" + escape(utf8(p.name)) +
         "\" description=\"" + escape(utf8(p.description)) + "\">\r\n";
    for (const WmStreamConfig &c : p.streams) {
        snprintf(buf, sizeof(buf), "  <streamconfig majortype=\"%s\" streamnumber=\"%d\" ",
                 c.video ? kVideoMajor : kAudioMajor, c.streamNumber);
        x += buf;
        x += "streamname=\"" + escape(utf8(c.streamName)) + "\" inputname=\"" + escape(utf8(c.connectionName)) + "\" ";
        if (c.language) {
            snprintf(buf, sizeof(buf), "language=\"%d\" ", c.language);
            x += buf;
        }
        snprintf(buf, sizeof(buf), "bitrate=\"%d\" bufferwindow=\"%d\" reliabletransport=\"0\">\r\n", c.bitrate,
                 c.bufferWindow);
        x += buf;
        if (c.video) {
            int codec = std::max(0, WmCodecIndex(true, c.codec));
            snprintf(buf, sizeof(buf),
                     "    <videomediaprops maxkeyframespacing=\"%lld\" quality=\"%d\"/>\r\n"
                     "    <wmmediatype subtype=\"{%02X%02X%02X%02X-0000-0010-8000-00AA00389B71}\" "
                     "bfixedsizesamples=\"0\" btemporalcompression=\"1\" lsamplesize=\"0\">\r\n",
                     (long long)c.keySpacingMs * 10000, c.quality,
                     kVideo[codec].fourcc[3], kVideo[codec].fourcc[2], kVideo[codec].fourcc[1], kVideo[codec].fourcc[0]);
            x += buf;
            snprintf(buf, sizeof(buf),
                     "      <videoinfoheader dwbitrate=\"%d\" dwbiterrorrate=\"0\" avgtimeperframe=\"%lld\">\r\n"
                     "        <rcsource left=\"0\" top=\"0\" right=\"%d\" bottom=\"%d\"/>\r\n"
                     "        <rctarget left=\"0\" top=\"0\" right=\"%d\" bottom=\"%d\"/>\r\n",
                     c.bitrate, (long long)c.avgTimePerFrame, c.width, c.height, c.width, c.height);
            x += buf;
            snprintf(buf, sizeof(buf),
                     "        <bitmapinfoheader biwidth=\"%d\" biheight=\"%d\" biplanes=\"1\" bibitcount=\"24\" "
                     "bicompression=\"%s\" bisizeimage=\"0\" bixpelspermeter=\"0\" biypelspermeter=\"0\" "
                     "biclrused=\"0\" biclrimportant=\"0\"/>\r\n"
                     "      </videoinfoheader>\r\n    </wmmediatype>\r\n",
                     c.width, c.height, kVideo[codec].fourcc);
            x += buf;
        } else {
            int codec = std::max(0, WmCodecIndex(false, c.codec));
            int avg = c.bitrate / 8;
            int block = std::max(1, avg * 2048 / std::max(1, c.sampleRate));
            snprintf(buf, sizeof(buf),
                     "    <wmmediatype subtype=\"{%08X-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"1\" "
                     "btemporalcompression=\"0\" lsamplesize=\"%d\">\r\n"
                     "      <waveformatex wFormatTag=\"%d\" nChannels=\"%d\" nSamplesPerSec=\"%d\" "
                     "nAvgBytesPerSec=\"%d\" nBlockAlign=\"%d\" wBitsPerSample=\"16\"/>\r\n"
                     "    </wmmediatype>\r\n",
                     kAudio[codec].tag, block, kAudio[codec].tag, c.channels, c.sampleRate, avg, block);
            x += buf;
        }
        x += "  </streamconfig>\r\n";
    }
    if (p.scriptBitrate > 0) {
        snprintf(buf, sizeof(buf),
                 "  <streamconfig majortype=\"%s\" streamnumber=\"%d\" streamname=\"Corvane Script Stream\" "
                 "inputname=\"Corvane Script\" bitrate=\"%d\" bufferwindow=\"-1\" reliabletransport=\"0\"/>\r\n",
                 kScriptMajor, (int)p.streams.size() + 1, p.scriptBitrate);
        x += buf;
    }
    if (p.mutualExclusion) x += "  <mutualexclusion type=\"{D6E22A01-35DA-11D1-9034-00A0C90349BE}\"/>\r\n";
    x += "</profile>\r\n";
    return utf16(x);
}

HRESULT WmProfileFromXml(const std::u16string &xml, WmProfile *out)
{
    if (!out) return E_POINTER;
    std::vector<Element> els;
    if (!parse(utf8(xml), &els) || els.empty() || els[0].tag != "profile" || els[0].depth != 0)
        return WMW_E_INVALID_PROFILE;
    WmProfile p;
    p.name = utf16(text(els[0].attr, "name"));
    p.description = utf16(text(els[0].attr, "description"));
    int videos = 0, audios = 0;
    for (size_t i = 1; i < els.size(); i++) {
        const Element &e = els[i];
        if (e.tag == "mutualexclusion") { p.mutualExclusion = true; continue; }
        if (e.tag != "streamconfig") continue;
        std::string major = text(e.attr, "majortype");
        long long number = 0, bitrate = 0;
        if (!::number(e.attr, "streamnumber", &number) || !::number(e.attr, "bitrate", &bitrate) ||
            number < 1 || number > 63 || bitrate <= 0 || bitrate > 100000000)
            return WMW_E_INVALID_PROFILE;
        if (!lstrcmpiA(major.c_str(), kScriptMajor)) { p.scriptBitrate = (int)bitrate; continue; }
        WmStreamConfig c;
        c.streamNumber = (int)number;
        c.bitrate = (int)bitrate;
        long long window = -1;
        if (::number(e.attr, "bufferwindow", &window) && window >= -1 && window <= 3600000) c.bufferWindow = (int)window;
        long long language = 0;
        if (::number(e.attr, "language", &language) && language > 0 && language <= 0xFFFF) c.language = (int)language;
        c.streamName = utf16(text(e.attr, "streamname"));
        c.connectionName = utf16(text(e.attr, "inputname"));
        /* The stream's own elements follow it, deeper. */
        size_t j = i + 1;
        bool haveFormat = false;
        for (; j < els.size() && els[j].depth > e.depth; j++) {
            const Element &f = els[j];
            long long v = 0;
            if (f.tag == "waveformatex") {
                long long tag = 0, ch = 0, rate = 0;
                if (!::number(f.attr, "wformattag", &tag) || !::number(f.attr, "nchannels", &ch) ||
                    !::number(f.attr, "nsamplespersec", &rate) || ch < 1 || ch > 2 || rate < 8000 || rate > 96000)
                    return WMW_E_INVALID_PROFILE;
                c.codec = tag == 0x160 ? "wmav1" : tag == 0x161 ? "wmav2" : "";
                if (c.codec.empty()) return WMW_E_INVALID_PROFILE;
                c.channels = (int)ch;
                c.sampleRate = (int)rate;
                haveFormat = true;
            } else if (f.tag == "videomediaprops") {
                if (::number(f.attr, "maxkeyframespacing", &v)) c.keySpacingMs = (int)std::min<long long>(v / 10000, 3600000);
                if (::number(f.attr, "quality", &v)) c.quality = (int)v;
            } else if (f.tag == "videoinfoheader") {
                if (!::number(f.attr, "avgtimeperframe", &v) || v <= 0 || v > 100000000) return WMW_E_INVALID_PROFILE;
                c.avgTimePerFrame = v;
            } else if (f.tag == "bitmapinfoheader") {
                long long w = 0, h = 0;
                std::string comp = text(f.attr, "bicompression");
                if (!::number(f.attr, "biwidth", &w) || !::number(f.attr, "biheight", &h) ||
                    w <= 0 || w > 8192 || h <= 0 || h > 8192)
                    return WMW_E_INVALID_PROFILE;
                c.width = (int)w;
                c.height = (int)h;
                c.codec = !lstrcmpiA(comp.c_str(), "WMV1") ? "wmv1" : !lstrcmpiA(comp.c_str(), "WMV2") ? "wmv2" : "";
                if (c.codec.empty()) return WMW_E_INVALID_PROFILE;
                haveFormat = true;
            }
        }
        c.video = !lstrcmpiA(major.c_str(), kVideoMajor);
        if (!c.video && lstrcmpiA(major.c_str(), kAudioMajor)) return WMW_E_INVALID_PROFILE;
        if (!haveFormat || (c.video && c.avgTimePerFrame <= 0)) return WMW_E_INVALID_PROFILE;
        (c.video ? videos : audios)++;
        p.streams.push_back(c);
    }
    if (p.streams.empty() && !p.scriptBitrate) return WMW_E_INVALID_PROFILE;
    *out = p;
    return S_OK;
}
