// Build tool (host): draws the programs' icon, one 256 x 256 image of 32 bits per pixel, as a
// PNG-compressed Windows icon file.
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <vector>

namespace {

const int size = 256;

struct rgba { uint8_t r, g, b, a; };

void put32be(std::vector<uint8_t>& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back((uint8_t)(v >> shift));
}

void put16le(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

void put32le(std::vector<uint8_t>& out, uint32_t v)
{
    put16le(out, (uint16_t)v);
    put16le(out, (uint16_t)(v >> 16));
}

void chunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data)
{
    put32be(png, (uint32_t)data.size());
    size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32be(png, (uint32_t)crc32(0, png.data() + start, (uInt)(png.size() - start)));
}

bool inside_rounded(int x, int y, int left, int top, int right, int bottom, int radius)
{
    if (x < left || x >= right || y < top || y >= bottom)
        return false;
    int cx = x < left + radius ? left + radius : (x >= right - radius ? right - radius - 1 : x);
    int cy = y < top + radius ? top + radius : (y >= bottom - radius ? bottom - radius - 1 : y);
    int dx = x - cx, dy = y - cy;
    return dx * dx + dy * dy <= radius * radius;
}

// A keyboard: a dark blue rounded plate with three rows of white keys and a space bar,
// the key of the layout's own letter row marked in orange.
std::vector<rgba> draw()
{
    std::vector<rgba> pixels(size * size, rgba{0, 0, 0, 0});
    for (int y = 0; y < size; y++) {
        for (int x = 0; x < size; x++) {
            rgba& p = pixels[(size_t)(y * size + x)];
            if (inside_rounded(x, y, 8, 48, 248, 208, 20))
                p = rgba{28, 54, 96, 255};
            for (int row = 0; row < 3; row++) {
                int offset = 22 + row * 8;
                for (int key = 0; key < 8; key++) {
                    int left = offset + key * 27, top = 62 + row * 34;
                    if (left + 22 > 236)
                        continue;
                    if (inside_rounded(x, y, left, top, left + 22, top + 26, 4))
                        p = (row == 0 && key == 0) ? rgba{245, 140, 30, 255}
                                                   : rgba{240, 240, 236, 255};
                }
            }
            if (inside_rounded(x, y, 64, 166, 192, 190, 4))
                p = rgba{240, 240, 236, 255};
        }
    }
    return pixels;
}

std::vector<uint8_t> png_of(const std::vector<rgba>& pixels)
{
    std::vector<uint8_t> raw;
    for (int y = 0; y < size; y++) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < size; x++) {
            const rgba& p = pixels[(size_t)(y * size + x)];
            raw.insert(raw.end(), {p.r, p.g, p.b, p.a});
        }
    }
    uLongf packed_size = compressBound((uLong)raw.size());
    std::vector<uint8_t> packed(packed_size);
    if (compress2(packed.data(), &packed_size, raw.data(), (uLong)raw.size(), 9) != Z_OK)
        return {};
    packed.resize(packed_size);

    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    put32be(header, size);
    put32be(header, size);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    chunk(png, "IHDR", header);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", {});
    return png;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 2;
    }
    std::vector<uint8_t> png = png_of(draw());
    if (png.empty()) {
        fprintf(stderr, "make_icon: compression failed\n");
        return 1;
    }
    std::vector<uint8_t> ico;
    put16le(ico, 0);  // reserved
    put16le(ico, 1);  // icon
    put16le(ico, 1);  // one image
    ico.insert(ico.end(), {0, 0, 0, 0});  // 256 x 256 (written as 0), no colour table, reserved
    put16le(ico, 1);   // planes
    put16le(ico, 32);  // bits per pixel
    put32le(ico, (uint32_t)png.size());
    put32le(ico, 6 + 16);
    ico.insert(ico.end(), png.begin(), png.end());

    FILE* file = fopen(argv[1], "wb");
    if (!file || fwrite(ico.data(), 1, ico.size(), file) != ico.size() || fclose(file) != 0) {
        fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
