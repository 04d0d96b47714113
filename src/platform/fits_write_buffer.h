#pragma once
// FITS files written through large buffers.
//
// cfitsio hands its file driver 8-28 KB a call, and that driver passes them
// on through a 4 KB stdio buffer: a run's products (256 MB at 4096 x 4096)
// took 30 000 write calls, and the kernel's cost per call and per small
// write was most of the time spent writing (130 ms of CPU per 128 MB against
// 47 ms in 1 MB writes). A driver of our own, registered with cfitsio, keeps
// a megabyte in memory and writes it in one call; the bytes are the same.
#include <string>

namespace platform {

// The name to give fits_create_file for `path` (a "!" in front still asks
// for an existing file to be replaced).
std::string BufferedFitsName(const std::string& path);

} // namespace platform
