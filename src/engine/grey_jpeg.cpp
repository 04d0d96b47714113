#include "engine/grey_jpeg.h"

// jpeglib.h needs FILE and size_t declared before it
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <algorithm>
#include <cstring>

#include "engine/errors.h"
#include "platform/big_buffers.h"

namespace engine {
namespace {

// libjpeg reports errors through a callback that must not return.
struct ErrorTrap {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr c) {
    auto* trap = reinterpret_cast<ErrorTrap*>(c->err);
    (*c->err->format_message)(c, trap->message);
    std::longjmp(trap->jump, 1);
}

// One strip as a JPEG of its own, with a restart interval of the whole strip.
// Plain C inside: nothing with a destructor may live between setjmp and longjmp.
bool compressStrip(const unsigned char* pixels, int width, int rows, int restartRows, int quality,
                   unsigned char** out, unsigned long* size, char* message) {
    jpeg_compress_struct cinfo;
    ErrorTrap trap;
    cinfo.err = jpeg_std_error(&trap.pub);
    trap.pub.error_exit = onError;
    if (setjmp(trap.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::strcpy(message, trap.message);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(rows);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.dct_method = JDCT_IFAST;
    cinfo.optimize_coding = FALSE; // the standard tables: the same in every strip
    cinfo.restart_in_rows = restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<std::size_t>(cinfo.next_scanline) * width);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// Where the entropy-coded data starts (after the scan header), 0 if not found.
std::size_t scanStart(const unsigned char* b, std::size_t n, std::size_t* frame) {
    std::size_t i = 2; // after SOI
    while (i + 4 <= n && b[i] == 0xFF) {
        const unsigned marker = b[i + 1];
        const std::size_t len = (std::size_t(b[i + 2]) << 8) | b[i + 3];
        if (marker >= 0xC0 && marker <= 0xC2 && frame) *frame = i;
        if (marker == 0xDA) return i + 2 + len;
        i += 2 + len;
    }
    return 0;
}

struct Strip {
    unsigned char* data = nullptr;
    unsigned long size = 0;
    bool ok = false;
    char message[JMSG_LENGTH_MAX] = {};
};

} // namespace

// The picture is cut into strips, each compressed by itself on some core with
// the same tables; a strip ends where a restart interval ends, so the strips'
// entropy-coded data joined with restart markers between them is the JPEG of
// the whole picture (the decoder resets its predictions at each marker just as
// each strip's encoder started afresh).
std::vector<unsigned char> CompressGreyJpeg(const unsigned char* grey, int width, int height, int quality) {
    if (width <= 0 || height <= 0 || width > 65500 || height > 65500)
        throw Error(kSaveFailed, "A JPEG picture cannot be " + std::to_string(width) + " x " +
                                     std::to_string(height) + " pixels");
    const int mcusPerRow = (width + 7) / 8, mcuRows = (height + 7) / 8;
    // a restart interval is counted in 16 bits
    const int stripMcuRows = std::clamp((mcuRows + 15) / 16, 1, std::max(1, 65535 / mcusPerRow));
    const int strips = (mcuRows + stripMcuRows - 1) / stripMcuRows;
    std::vector<Strip> parts(static_cast<std::size_t>(strips));
#pragma omp parallel for schedule(dynamic)
    for (int s = 0; s < strips; ++s) {
        const int y0 = s * stripMcuRows * 8, rows = std::min(height - y0, stripMcuRows * 8);
        Strip& p = parts[static_cast<std::size_t>(s)];
        p.ok = compressStrip(grey + static_cast<std::size_t>(y0) * width, width, rows, stripMcuRows, quality,
                             &p.data, &p.size, p.message);
    }
    std::string failure;
    std::vector<unsigned char> out;
    // made once at its whole size: grown as it is joined, it would be
    // copied and faulted in again at each doubling
    std::size_t whole = 2;
    for (const Strip& p : parts) whole += p.size + 2;
    platform::ReserveFast(out, whole);
    for (int s = 0; s < strips && failure.empty(); ++s) {
        const Strip& p = parts[static_cast<std::size_t>(s)];
        if (!p.ok) {
            failure = p.message;
            break;
        }
        std::size_t frame = 0;
        const std::size_t start = scanStart(p.data, p.size, &frame);
        if (!start || p.size < start + 2 || p.data[p.size - 2] != 0xFF || p.data[p.size - 1] != 0xD9 ||
            (s == 0 && !frame)) {
            failure = "the compressor's output was not understood";
            break;
        }
        if (s == 0) {
            out.assign(p.data, p.data + start);
            out[frame + 5] = static_cast<unsigned char>(height >> 8); // the frame's height: the whole picture
            out[frame + 6] = static_cast<unsigned char>(height & 0xFF);
        } else {
            out.push_back(0xFF);
            out.push_back(static_cast<unsigned char>(0xD0 + (s - 1) % 8));
        }
        out.insert(out.end(), p.data + start, p.data + p.size - 2);
    }
    for (auto& p : parts) std::free(p.data);
    if (!failure.empty()) throw Error(kSaveFailed, "JPEG compression failed: " + failure);
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

} // namespace engine
