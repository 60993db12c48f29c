/*
 * Test helpers: look at written media with the ffprobe and ffmpeg tools
 * (run as host programs), make test pictures and tones.
 */
#ifndef WMFORMAT_TESTS_MEDIA_PROBE_H
#define WMFORMAT_TESTS_MEDIA_PROBE_H

#include <windows.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

extern "C" char *CDECL wine_get_unix_file_name(LPCWSTR dos);

namespace probe {

inline std::string UnixPath(const WCHAR *path)
{
    char *u = wine_get_unix_file_name(path);
    std::string s = u ? u : "";
    if (u) HeapFree(GetProcessHeap(), 0, u);
    return s;
}

inline std::u16string TempPath(const char16_t *name)
{
    WCHAR dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::u16string s(reinterpret_cast<const char16_t *>(dir));
    return s + name;
}

inline const WCHAR *W(const std::u16string &s) { return reinterpret_cast<const WCHAR *>(s.c_str()); }
inline const WCHAR *W(const char16_t *s) { return reinterpret_cast<const WCHAR *>(s); }

/* Output of a host command line (stderr dropped). */
inline std::string Run(const std::string &cmd)
{
    std::string out;
    FILE *p = popen((cmd + " 2>/dev/null").c_str(), "r");
    if (!p) return out;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

inline std::string Quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) {
        if (c == '\'') q += "'\\''";
        else q += c;
    }
    return q + "'";
}

/* One stream (or the format) as key=value pairs. */
struct Info {
    std::map<std::string, std::string> format;
    std::vector<std::map<std::string, std::string>> streams;
    std::string Get(const std::string &kind, const std::string &key) const
    {
        for (auto &s : streams) {
            auto t = s.find("codec_type");
            if (t != s.end() && t->second == kind) {
                auto v = s.find(key);
                return v == s.end() ? "" : v->second;
            }
        }
        return "";
    }
    int Count(const std::string &kind) const
    {
        int n = 0;
        for (auto &s : streams) {
            auto t = s.find("codec_type");
            if (t != s.end() && t->second == kind) n++;
        }
        return n;
    }
    double Duration() const
    {
        auto d = format.find("duration");
        return d == format.end() ? -1 : atof(d->second.c_str());
    }
};

inline Info Probe(const std::string &file)
{
    Info info;
    std::string out = Run("ffprobe -v error -show_format -show_streams " + Quote(file));
    std::map<std::string, std::string> *cur = nullptr;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t e = out.find('\n', pos);
        if (e == std::string::npos) e = out.size();
        std::string line = out.substr(pos, e - pos);
        pos = e + 1;
        if (line == "[STREAM]") { info.streams.emplace_back(); cur = &info.streams.back(); }
        else if (line == "[FORMAT]") cur = &info.format;
        else if (line[0] == '[') cur = nullptr;
        else if (cur) {
            size_t eq = line.find('=');
            if (eq != std::string::npos) (*cur)[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return info;
}

/* Number of video frames the file decodes to. */
inline int CountFrames(const std::string &file)
{
    std::string out = Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                          "stream=nb_read_frames -of csv=p=0 " + Quote(file));
    return atoi(out.c_str());
}

/* Seconds the video covers: last picture's time - first's + one period. */
inline double VideoSpan(const std::string &file, double period)
{
    std::string out = Run("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time "
                          "-of csv=p=0 " + Quote(file));
    double first = -1, last = -1;
    size_t pos = 0;
    while (pos < out.size()) {
        size_t e = out.find('\n', pos);
        if (e == std::string::npos) e = out.size();
        std::string line = out.substr(pos, e - pos);
        pos = e + 1;
        if (line.empty() || line == "N/A") continue;
        double t = atof(line.c_str());
        if (first < 0 || t < first) first = t;
        if (t > last) last = t;
    }
    return first < 0 ? 0 : last - first + period;
}

/* The picture at `seconds` as RGB24 rows, top first; empty unless it is
 * w x h.  With `scale`, the picture is first scaled to w x h, whatever size
 * it was coded at (to look at places of the picture that was recorded). */
inline std::vector<unsigned char> FrameAt(const std::string &file, double seconds, int w, int h, bool scale = false)
{
    char ss[32];
    snprintf(ss, sizeof(ss), "%.3f", seconds);
    std::string filter = scale ? " -vf scale=" + std::to_string(w) + ":" + std::to_string(h) : "";
    std::string out = Run(std::string("ffmpeg -v error -ss ") + ss + " -i " + Quote(file) + filter +
                          " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    if (out.size() != (size_t)w * h * 3)    /* formats without seeking: decode up to it */
        out = Run(std::string("ffmpeg -v error -i ") + Quote(file) + " -ss " + ss + filter +
                  " -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    std::vector<unsigned char> v(out.begin(), out.end());
    if (v.size() != (size_t)w * h * 3) v.clear();
    return v;
}

/* Mean colour of a w x h box at (x, y) of an RGB24 picture `pw` wide. */
inline void MeanColour(const std::vector<unsigned char> &pic, int pw, int x, int y, int w, int h, int rgb[3])
{
    long sum[3] = {};
    for (int j = y; j < y + h; j++)
        for (int i = x; i < x + w; i++)
            for (int c = 0; c < 3; c++) sum[c] += pic[((size_t)j * pw + i) * 3 + c];
    for (int c = 0; c < 3; c++) rgb[c] = (int)(sum[c] / (w * h));
}

inline bool Near(const int rgb[3], unsigned argb, int tolerance)
{
    int want[3] = {(int)(argb >> 16 & 255), (int)(argb >> 8 & 255), (int)(argb & 255)};
    for (int c = 0; c < 3; c++)
        if (abs(rgb[c] - want[c]) > tolerance) return false;
    return true;
}

/* Decoded sound between `from` and `from + length` seconds, mono 16-bit. */
inline std::vector<short> SoundAt(const std::string &file, double from, double length, int rate)
{
    char a[96];
    snprintf(a, sizeof(a), " -ss %.3f -t %.3f", from, length);
    std::string out = Run(std::string("ffmpeg -v error") + a + " -i " + Quote(file) +
                          " -vn -ac 1 -ar " + std::to_string(rate) + " -f s16le -");
    if (out.size() < (size_t)(length * rate))    /* formats without seeking: decode up to it */
        out = Run(std::string("ffmpeg -v error -i ") + Quote(file) + a + " -vn -ac 1 -ar " +
                  std::to_string(rate) + " -f s16le -");
    std::vector<short> v(out.size() / 2);
    memcpy(v.data(), out.data(), v.size() * 2);
    return v;
}

/* Dominant frequency by zero crossings; 0 for silence. */
inline double Frequency(const std::vector<short> &s, int rate, double *rms = nullptr)
{
    double energy = 0;
    int crossings = 0;
    for (size_t i = 0; i < s.size(); i++) {
        energy += (double)s[i] * s[i];
        if (i && ((s[i - 1] < 0) != (s[i] < 0))) crossings++;
    }
    double r = s.empty() ? 0 : sqrt(energy / s.size());
    if (rms) *rms = r;
    if (r < 200 || s.empty()) return 0;
    return crossings / 2.0 / ((double)s.size() / rate);
}

/* Interleaved 16-bit PCM of a sine tone, continuing from sample `start`. */
inline std::vector<short> Tone(double hz, int rate, int channels, int samples, long long start, int amp = 12000)
{
    std::vector<short> v((size_t)samples * channels);
    for (int i = 0; i < samples; i++) {
        short x = (short)(amp * sin(2 * M_PI * hz * (double)(start + i) / rate));
        for (int c = 0; c < channels; c++) v[(size_t)i * channels + c] = x;
    }
    return v;
}

} // namespace probe

#endif
