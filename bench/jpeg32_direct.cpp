// libjpeg called directly for bench_jpeg32: the file from memory, rows
// bottom-up into the block as blue-green-red.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

bool DirectLibjpeg(const unsigned char *data, size_t size, unsigned char *block, size_t stride, int height)
{
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data, (unsigned long)size);
    if (jpeg_read_header(&d, TRUE) != JPEG_HEADER_OK || int(d.image_height) != height) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    d.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[4];
        unsigned n = 0;
        for (; n < 4 && d.output_scanline + n < d.output_height; ++n)
            rows[n] = block + (d.output_height - 1 - (d.output_scanline + n)) * stride;
        jpeg_read_scanlines(&d, rows, n);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}
