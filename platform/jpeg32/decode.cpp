// JPEG decoding over libjpeg: a source manager that pulls bytes through the
// caller's read function, an error manager that returns instead of ending
// the program, and rows written straight into the caller's block.
#include "decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

#include <jpeglib.h>
#include <jerror.h>

namespace jpeg32 {
namespace {

const int kChunk = 16384;

struct Source {
    jpeg_source_mgr pub;
    ReadFn read;
    void *user;
    bool ended;  // the stream ran out before the picture's end marker
    JOCTET buf[kChunk];
};

struct Errors {
    jpeg_error_mgr pub;
    jmp_buf jump;
    int code;
};

void InitSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr d)
{
    Source *s = reinterpret_cast<Source *>(d->src);
    int n = s->ended ? 0 : s->read(s->user, s->buf, kChunk);
    if (n <= 0 || n > kChunk) {
        // Hand libjpeg an end marker so that it stops; the call answers -7.
        s->ended = true;
        s->buf[0] = 0xFF;
        s->buf[1] = JPEG_EOI;
        n = 2;
    }
    s->pub.next_input_byte = s->buf;
    s->pub.bytes_in_buffer = size_t(n);
    return TRUE;
}

void SkipInput(j_decompress_ptr d, long count)
{
    Source *s = reinterpret_cast<Source *>(d->src);
    while (count > 0) {
        if (s->pub.bytes_in_buffer == 0) FillInput(d);
        size_t n = s->pub.bytes_in_buffer < size_t(count) ? s->pub.bytes_in_buffer : size_t(count);
        s->pub.next_input_byte += n;
        s->pub.bytes_in_buffer -= n;
        count -= long(n);
        if (s->ended) return;
    }
}

void TermSource(j_decompress_ptr) {}

void ErrorExit(j_common_ptr c)
{
    Errors *e = reinterpret_cast<Errors *>(c->err);
    switch (c->err->msg_code) {
    case JERR_NO_SOI: e->code = kNotJpeg; break;
    case JERR_OUT_OF_MEMORY: e->code = kNoMemory; break;
    case JERR_BAD_PRECISION: case JERR_CONVERSION_NOTIMPL: case JERR_BAD_J_COLORSPACE: e->code = kUnsupported; break;
    default: e->code = kDamaged; break;
    }
    longjmp(e->jump, 1);
}

void EmitMessage(j_common_ptr c, int level)
{
    if (level < 0) c->err->num_warnings++;  // damage libjpeg can work round
}

void OutputMessage(j_common_ptr) {}

// Everything of one decoding, so that setjmp's frame holds no C++ objects.
struct Job {
    jpeg_decompress_struct d;
    Errors err;
    Source src;
};

int Start(Job &j, ReadFn read, void *user)
{
    j.d.err = jpeg_std_error(&j.err.pub);
    j.err.pub.error_exit = ErrorExit;
    j.err.pub.emit_message = EmitMessage;
    j.err.pub.output_message = OutputMessage;
    j.err.code = kDamaged;
    jpeg_create_decompress(&j.d);
    std::memset(&j.src.pub, 0, sizeof j.src.pub);
    j.src.pub.init_source = InitSource;
    j.src.pub.fill_input_buffer = FillInput;
    j.src.pub.skip_input_data = SkipInput;
    j.src.pub.resync_to_restart = jpeg_resync_to_restart;
    j.src.pub.term_source = TermSource;
    j.src.read = read;
    j.src.user = user;
    j.src.ended = false;
    j.d.src = &j.src.pub;
    return 0;
}

// Reads the header and fills the facts; kUnsupported for colour spaces
// other than grey and YCbCr / RGB.
int Header(Job &j, Facts &f)
{
    if (jpeg_read_header(&j.d, TRUE) != JPEG_HEADER_OK) return kNotJpeg;
    if (j.src.ended && j.d.image_width == 0) return kDamaged;
    switch (j.d.jpeg_color_space) {
    case JCS_GRAYSCALE:
        j.d.out_color_space = JCS_GRAYSCALE;
        f.components = 1;
        f.bitsPerPixel = 8;
        break;
    case JCS_YCbCr:
    case JCS_RGB:
        j.d.out_color_space = JCS_EXT_BGR;
        f.components = 3;
        f.bitsPerPixel = 24;
        break;
    default:
        return kUnsupported;
    }
    if (j.d.data_precision != 8 || j.d.image_width > 65535 || j.d.image_height > 0x7FFFFFFF) return kUnsupported;
    f.width = j.d.image_width;
    f.height = j.d.image_height;
    f.flags = (j.d.progressive_mode ? kProgressive : 0) | (j.d.restart_interval ? kRestarts : 0);
    f.restartInterval = j.d.restart_interval;
    f.scans = 0;
    f.warnings = 0;
    f.rowsDone = 0;
    return kDone;
}

}  // namespace

int Info(ReadFn read, void *user, Facts &f)
{
    Job *j = new (std::nothrow) Job;
    if (!j) return kNoMemory;
    Start(*j, read, user);
    int rc;
    if (setjmp(j->err.jump)) rc = j->err.code;
    else rc = Header(*j, f);
    jpeg_destroy_decompress(&j->d);
    delete j;
    return rc;
}

int Decode(ReadFn read, void *user, unsigned char *dest, size_t stride, uint32_t maxRows, bool topDown, Facts &f)
{
    Job *j = new (std::nothrow) Job;
    if (!j) return kNoMemory;
    Start(*j, read, user);
    int rc;
    if (setjmp(j->err.jump)) {
        rc = j->err.code;
    } else if ((rc = Header(*j, f)) == kDone) {
        const size_t rowBytes = size_t(f.width) * (f.bitsPerPixel / 8);
        if (!stride) stride = (rowBytes + 3) & ~size_t(3);
        if (!maxRows) maxRows = f.height;
        if (!dest || stride < rowBytes || f.height > maxRows) {
            rc = kUnsupported;
        } else {
            jpeg_start_decompress(&j->d);
            const uint32_t h = f.height;
            while (j->d.output_scanline < h) {
                JSAMPROW rows[4];
                uint32_t n = 0;
                for (; n < 4 && j->d.output_scanline + n < h; ++n) {
                    uint32_t y = j->d.output_scanline + n;
                    rows[n] = dest + (topDown ? y : h - 1 - y) * stride;
                }
                if (jpeg_read_scanlines(&j->d, rows, n) == 0) break;
            }
            f.rowsDone = j->d.output_scanline;
            f.scans = uint32_t(j->d.input_scan_number);
            if (!j->src.ended) jpeg_finish_decompress(&j->d);
            f.warnings = uint32_t(j->err.pub.num_warnings);
            rc = j->src.ended || f.rowsDone < h ? kDamaged : kDone;
        }
    }
    jpeg_destroy_decompress(&j->d);
    delete j;
    return rc;
}

}  // namespace jpeg32
