// libjpeg side of the codec benchmark, kept apart from the Windows headers
// (their `boolean` is not libjpeg's).
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "pixmoor_codec_jpeg.h"

size_t bench_jpeg_compress(const unsigned char *rgb, int w, int h, int quality, std::vector<unsigned char> &out)
{
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char *mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = (JDIMENSION)w;
    c.image_height = (JDIMENSION)h;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = (JSAMPROW)(rgb + (size_t)c.next_scanline * w * 3);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    out.assign(mem, mem + size);
    free(mem);
    return size;
}

void bench_jpeg_decompress(const std::vector<unsigned char> &in, unsigned char *rgb, int w, int h)
{
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, in.data(), (unsigned long)in.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height && (int)d.output_scanline < h) {
        JSAMPROW row = (JSAMPROW)(rgb + (size_t)d.output_scanline * w * 3);
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}
