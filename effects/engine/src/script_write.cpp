// FX script writer: the canonical text form of an effect into a file, a
// caller's buffer, an open buffered file, or nowhere (counting only).
#include "fxscript.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

struct FxSink {
    int kind;
    int count;
    HANDLE file;
    char *pos;
    FxBufferedFile *bf;
    int depth;

    void Put(const char *text, size_t n)
    {
        count += int(n);
        if (kind == FXW_FILE) {
            DWORD done;
            WriteFile(file, text, DWORD(n), &done, nullptr);
        }
        else if (kind == FXW_BUFFER) {
            memcpy(pos, text, n);
            pos += n;
            *pos = 0;
        } else if (kind == FXW_BUFFERED && g_fxStolid.bfWrite)
            g_fxStolid.bfWrite(bf, text, int(n));
    }

    void Line(const char *fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        std::string line(size_t(depth), '\t');
        va_list ap;
        va_start(ap, fmt);
        char stackBuf[512];
        va_list copy;
        va_copy(copy, ap);
        int n = vsnprintf(stackBuf, sizeof stackBuf, fmt, ap);
        if (n >= int(sizeof stackBuf)) {
            std::string big(size_t(n) + 1, '\0');
            vsnprintf(&big[0], big.size(), fmt, copy);
            line.append(big.c_str(), size_t(n));
        } else if (n > 0) {
            line.append(stackBuf, size_t(n));
        }
        va_end(copy);
        va_end(ap);
        line += "\r\n";
        Put(line.data(), line.size());
    }
};

namespace {

// Whole numbers are the value truncated toward zero, limited to 32 bits.
int Trunc(double v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return INT32_MAX;
    if (v <= -2147483648.0)
        return INT32_MIN;
    return int(v);
}

int Byte(uint32_t word, int n)
{
    return int((word >> (8 * n)) & 0xFF);
}

void WriteFilters(FxSink *s, const FxKeyframe *kf)
{
    s->depth = 1;
    s->Line("%s:", "Filters");
    s->depth = 2;
    if (kf->emboss[0] || kf->emboss[1] || kf->emboss[2])
        s->Line("Emboss: elevation %d asimuth %d radius %d", kf->emboss[0], kf->emboss[1], kf->emboss[2]);
    if (kf->luminance[0] || kf->luminance[1])
        s->Line("Luminance: brightness %d, contrast %d", kf->luminance[0], kf->luminance[1]);
    if (kf->tint[0] || kf->tint[1] || kf->tint[2])
        s->Line("Tint: amount %d, hue %d, saturation %d", kf->tint[0], kf->tint[1], kf->tint[2]);
    if (!(kf->mosaic[0] == 1 && kf->mosaic[1] == 1))
        s->Line("Mosaic: width %d, height %d", kf->mosaic[0], kf->mosaic[1]);
    if (!(kf->blur[0] == 0 && kf->blur[1] == 0))
        s->Line("Blur: width %d, height %d", Trunc(kf->blur[0]), Trunc(kf->blur[1]));
    if (kf->crop[0] != 0 || kf->crop[1] != 0 || kf->crop[2] != 0 || kf->crop[3] != 0 || kf->cropMode != 0)
        s->Line("Crop: left %.1f%%, right %.1f%%, top %.1f%%, bottom %.1f%%, mode %d", kf->crop[0], kf->crop[1],
                kf->crop[2], kf->crop[3], kf->cropMode);
    s->Line("Monochrome: flags %d, monocolor %d", int(kf->monoFlags), int(kf->monoColour));
    s->Line("Posterize %d", kf->posterize);
    s->Line("Strobe: value %d, flags %d", kf->strobeValue, int(kf->strobeFlags));
    s->Line("Procamp: videogain %.4f, videosetup %.4f, chromagain %.4f, hue %.0f", kf->procamp[0], kf->procamp[1],
            kf->procamp[2], kf->procamp[3]);
    s->Line("%s", "");

    uint32_t d4a, d4b;
    memcpy(&d4a, kf->warpId.Data4, 4);
    memcpy(&d4b, kf->warpId.Data4 + 4, 4);
    char piece[64];
    std::string warp(size_t(s->depth), '\t');
    snprintf(piece, sizeof piece, "Warp: flags %d, mode %d", int(kf->warpFlags), kf->warpNumber);
    warp += piece;
    snprintf(piece, sizeof piece, " guid_data1 %d guid_data2 %d guid_data3 %d", int(kf->warpId.Data1),
             int(kf->warpId.Data2), int(kf->warpId.Data3));
    warp += piece;
    snprintf(piece, sizeof piece, " guid_data4 %d guid_data5 %d", int(d4a), int(d4b));
    warp += piece;
    for (int i = 0; i < 16; ++i) {
        std::string p(size_t(snprintf(nullptr, 0, ", param%d %.4f", i + 1, kf->warpParams[i])) + 1, '\0');
        snprintf(&p[0], p.size(), ", param%d %.4f", i + 1, kf->warpParams[i]);
        warp += p.c_str();
    }
    warp += "\r\n";
    s->Put(warp.data(), warp.size());
}

} // namespace

void WriteKeyframeScript(FxSink *s, FxKeyframe *kf, int pathNumber, int keyNumber, uint32_t pathFlags)
{
    s->depth = 0;
    s->Line("Keyframe %d.%d", pathNumber, keyNumber);
    s->Line("{");
    s->depth = 1;
    s->Line("%s = %d", "identifier", kf->identifier);
    if (keyNumber == 1)
        s->Line("%s = %d", "pathflags", int(pathFlags & 0x6F));
    s->Line("at frame %d, with delay = %d", kf->startFrame, kf->delay);
    if (kf->groupDuration != 0)
        s->Line("%s = %d", "groupduration", kf->groupDuration);
    s->Line("%s", "");

    s->Line("%s:", "Position");
    s->depth = 2;
    s->Line("x = %d,", Trunc(kf->position[0]));
    s->Line("y = %d,", Trunc(kf->position[1]));
    s->Line("z = %d.", Trunc(kf->position[2]));
    s->Line("Speed In = %d, Out %d", kf->positionSpeed.speedIn, kf->positionSpeed.speedOut);
    s->Line("tension = %.3f", kf->positionTcb.t);
    s->Line("continuity = %.3f", kf->positionTcb.c);
    s->Line("bias = %.3f", kf->positionTcb.b);
    s->Line("Default x = %.4f, y %.4f", kf->defaultX, kf->defaultY);

    s->depth = 1;
    s->Line("%s", "");
    s->Line("%s:", "Rotation");
    s->depth = 2;
    QuatToEuler(kf->rotation, kf->orientation);
    s->Line("x = %.3f degrees", kf->rotation[0] * 57.295780181884766);
    s->Line("y = %.3f degrees", kf->rotation[1] * 57.295780181884766);
    s->Line("z = %.3f degrees", kf->rotation[2] * 57.295780181884766);
    s->Line(kf->orientation.w < 0 ? "quatw -1" : "quatw 1");
    s->Line("qhackw = %.15f", kf->orientation.w);
    s->Line("qhackx = %.15f", kf->orientation.x);
    s->Line("qhacky = %.15f", kf->orientation.y);
    s->Line("qhackz = %.15f", kf->orientation.z);
    s->Line("tension = %.3f", kf->rotationTcb.t);
    s->Line("continuity = %.3f", kf->rotationTcb.c);
    s->Line("bias = %.3f", kf->rotationTcb.b);
    s->Line("Speed In = %d, Out %d", kf->rotationSpeed.speedIn, kf->rotationSpeed.speedOut);
    s->Line("Spins: x %d, y %d, z %d", kf->spins[0], kf->spins[1], kf->spins[2]);

    s->depth = 1;
    s->Line("%s", "");
    s->Line("%s:", "Shape");
    s->depth = 2;
    s->Line("Width  = %.3f", kf->width);
    s->Line("Height = %.3f", kf->height);
    const char *names[5] = { "Scale ", "Offset", "Extend", "Skew  ", "Twist " };
    const double *vals[5] = { kf->scale, kf->offset, kf->extend, kf->skew, kf->twist };
    for (int i = 0; i < 5; ++i)
        s->Line("%s: x = %.3f, y = %.3f, z = %.3f", names[i], vals[i][0], vals[i][1], vals[i][2]);
    s->Line("tension = %.3f", kf->shapeTcb.t);
    s->Line("continuity = %.3f", kf->shapeTcb.c);
    s->Line("bias = %.3f", kf->shapeTcb.b);
    s->Line("Speed In = %d, Out %d", kf->shapeSpeed.speedIn, kf->shapeSpeed.speedOut);

    s->depth = 1;
    s->Line("%s", "");
    s->Line("%s:", "Border");
    s->depth = 2;
    s->Line("%s = %d", "width", Trunc(kf->borderWidth));
    s->Line("%s = %d", "softness", Trunc(kf->softness));
    s->Line("%s = %d", "mode", kf->borderMode);
    s->Line("%s red %d green %d blue %d alpha %d", "color", Byte(kf->borderColour, 0), Byte(kf->borderColour, 1),
            Byte(kf->borderColour, 2), Byte(kf->borderColour, 3));

    s->depth = 1;
    s->Line("%s", "");
    s->Line("%s:", "Shadow");
    s->depth = 2;
    s->Line("left %d%%, top %d%%, width %d%%, height %d%%", Trunc(kf->shadowRect[0]), Trunc(kf->shadowRect[1]),
            Trunc(kf->shadowRect[2]), Trunc(kf->shadowRect[3]));
    s->Line("%s red %d green %d blue %d alpha %d", "colour", Byte(kf->shadowColour, 0), Byte(kf->shadowColour, 1),
            Byte(kf->shadowColour, 2), Byte(kf->shadowColour, 3));
    s->Line("%s = %d", "fade", Trunc(kf->shadowFade));

    s->depth = 1;
    s->Line("%s", "");
    s->Line("%s:", "Attributes");
    s->depth = 2;
    s->Line("%s = %d", "fade", kf->fade);
    s->Line("%s = %d", "mode", kf->attributeMode);

    s->depth = 1;
    s->Line("%s", "");
    WriteFilters(s, kf);

    s->depth = 1;
    s->Line("%s:", "Character");
    s->depth = 2;
    s->Line("Kerning: %d", Trunc(kf->kerning));
    s->Line("FaceSheen: size %d, angle %d", kf->faceSheen[0], kf->faceSheen[1]);
    s->depth = 1;
    s->Line("%s", "");
    if (kf->imageName[0]) {
        char name[FX_IMAGE_NAME + 1];
        memcpy(name, kf->imageName, FX_IMAGE_NAME);
        name[FX_IMAGE_NAME] = 0;
        s->Line("Image: %s", name);
    }
    s->depth = 0;
    s->Line("}");
    s->Line("%s", "");
}

int WriteFxScript(void *target, FxPath *first, FxHeader *header, int kind)
{
    if (!first || kind < 0 || kind > FXW_COUNT)
        return 0;
    FxSink s{};
    s.kind = kind;
    if (kind == FXW_FILE) {
        const char *name = static_cast<const char *>(target);
        if (!name || !*name)
            return 0;
        s.file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (s.file == INVALID_HANDLE_VALUE)
            return 0;
    } else if (kind == FXW_BUFFER) {
        if (!target)
            return 0;
        s.pos = static_cast<char *>(target);
        *s.pos = 0;
    } else if (kind == FXW_BUFFERED) {
        if (!target)
            return 0;
        s.bf = static_cast<FxBufferedFile *>(target);
    }

    if (header) {
        char text[sizeof header->description + 1];
        s.Line("Header");
        s.Line("{");
        s.depth = 1;
        s.Line("%s = %d", "version", header->version);
        if (header->flags)
            s.Line("%s = %d", "flags", header->flags);
        memcpy(text, header->description, sizeof header->description);
        text[sizeof header->description] = 0;
        s.Line("%s \"%s\"", "Description", text);
        if (header->markIn)
            s.Line("%s = %d", "markin", header->markIn);
        if (header->markOut)
            s.Line("%s = %d", "markout", header->markOut);
        if (header->clipLength)
            s.Line("%s = %d", "cliplen", header->clipLength);
        s.Line("%s = %d", "whoami", header->whoAmI);
        s.Line("VirtualRes: width %d, height %d", header->virtualWidth, header->virtualHeight);
        char file[sizeof header->renderFile + 1];
        memcpy(file, header->renderFile, sizeof header->renderFile);
        file[sizeof header->renderFile] = 0;
        s.Line("RenderInfo File \"%s\" TimeStamp %d", file, header->timeStamp);
        s.Line("Thumbnail frame %d", header->thumbnailFrame);
        s.depth = 0;
        s.Line("}");
        s.Line("%s", "");
    }

    int pathNumber = 1;
    for (FxPath *p = first; p; p = p->next, ++pathNumber) {
        s.depth = 0;
        s.Line("Path %d:", pathNumber);
        s.Line("%s", "");
        FxKeyframe *kf = p->head;
        int keyNumber = 1;
        while (kf) {
            WriteKeyframeScript(&s, kf, pathNumber, keyNumber++, p->pathFlags);
            kf = kf->next != p->head ? kf->next : nullptr;
        }
    }
    if (kind == FXW_FILE)
        CloseHandle(s.file);
    return s.count;
}

int WriteFxScriptText(FxPath *first, FxHeader *header, char *buffer)
{
    if (buffer)
        return WriteFxScript(buffer, first, header, FXW_BUFFER);
    return WriteFxScript(nullptr, first, header, FXW_COUNT) + 1;
}
