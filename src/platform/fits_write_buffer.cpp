#include "platform/fits_write_buffer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <fitsio.h>
extern "C" { // the driver interface's header declares its functions for C only
#include <fitsio2.h>
}

namespace platform {
namespace {

constexpr const char* kPrefix = "buffered://";
constexpr std::size_t kCapacity = std::size_t(1) << 20;
constexpr int kFileNotClosed = 110; // cfitsio's "could not close the file"

// One open file: the bytes from `start` held in `held` are not on disk yet.
struct OpenFile {
    int fd = -1;
    LONGLONG position = 0, size = 0, start = 0;
    std::vector<char> held;
};

std::mutex tableLock;
std::array<std::unique_ptr<OpenFile>, 64> table; // cfitsio's own limit is 300 files at once

OpenFile* fileOf(int handle) {
    if (handle < 0 || handle >= static_cast<int>(table.size())) return nullptr;
    std::lock_guard<std::mutex> lock(tableLock);
    return table[static_cast<std::size_t>(handle)].get();
}

int addFile(int fd, LONGLONG size, int* handle) {
    std::lock_guard<std::mutex> lock(tableLock);
    for (std::size_t i = 0; i < table.size(); ++i)
        if (!table[i]) {
            table[i] = std::make_unique<OpenFile>();
            table[i]->fd = fd;
            table[i]->size = size;
            table[i]->held.reserve(kCapacity);
            *handle = static_cast<int>(i);
            return 0;
        }
    ::close(fd);
    return TOO_MANY_FILES;
}

bool writeAll(int fd, const char* bytes, std::size_t n, LONGLONG at) {
    while (n > 0) {
        const ssize_t put = ::pwrite(fd, bytes, n, static_cast<off_t>(at));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        n -= static_cast<std::size_t>(put);
        at += put;
    }
    return true;
}

bool flushHeld(OpenFile& f) {
    if (f.held.empty()) return true;
    const bool ok = writeAll(f.fd, f.held.data(), f.held.size(), f.start);
    f.held.clear();
    return ok;
}

int noOp() { return 0; }
int setOptions(int) { return 0; }
int getOptions(int* options) {
    *options = 0;
    return 0;
}
int getVersion(int* version) {
    *version = 10;
    return 0;
}
int checkFile(char*, char*, char*) { return 0; }

int openFile(char* name, int mode, int* handle) {
    const int fd = ::open(name, (mode == READWRITE ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) return FILE_NOT_OPENED;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return FILE_NOT_OPENED;
    }
    return addFile(fd, st.st_size, handle);
}

// As cfitsio's own driver: never over an existing file (a "!" has removed it first).
int createFile(char* name, int* handle) {
    const int fd = ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return FILE_NOT_CREATED;
    return addFile(fd, 0, handle);
}

int removeFile(char* name) {
    ::unlink(name);
    return 0;
}

int closeFile(int handle) {
    OpenFile* f = fileOf(handle);
    if (!f) return kFileNotClosed;
    const bool written = flushHeld(*f);
    const bool closed = ::close(f->fd) == 0;
    {
        std::lock_guard<std::mutex> lock(tableLock);
        table[static_cast<std::size_t>(handle)].reset();
    }
    if (!written) return WRITE_ERROR;
    return closed ? 0 : kFileNotClosed;
}

int truncateFile(int handle, LONGLONG size) {
    OpenFile* f = fileOf(handle);
    if (!f || !flushHeld(*f) || ::ftruncate(f->fd, static_cast<off_t>(size)) != 0) return WRITE_ERROR;
    f->size = size;
    f->position = size;
    return 0;
}

int sizeOf(int handle, LONGLONG* size) {
    OpenFile* f = fileOf(handle);
    if (!f) return READ_ERROR;
    *size = f->size;
    return 0;
}

int flushFile(int handle) {
    OpenFile* f = fileOf(handle);
    return f && flushHeld(*f) ? 0 : WRITE_ERROR;
}

int seekTo(int handle, LONGLONG offset) {
    OpenFile* f = fileOf(handle);
    if (!f) return SEEK_ERROR;
    f->position = offset;
    return 0;
}

int readBytes(int handle, void* buffer, long n) {
    OpenFile* f = fileOf(handle);
    if (!f || !flushHeld(*f)) return READ_ERROR;
    char* out = static_cast<char*>(buffer);
    long got = 0;
    while (got < n) {
        const ssize_t r = ::pread(f->fd, out + got, static_cast<std::size_t>(n - got), static_cast<off_t>(f->position + got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        got += r;
    }
    if (got != n) return got == 0 ? END_OF_FILE : READ_ERROR;
    f->position += n;
    return 0;
}

int writeBytes(int handle, void* buffer, long n) {
    OpenFile* f = fileOf(handle);
    if (!f || n < 0) return WRITE_ERROR;
    const char* bytes = static_cast<const char*>(buffer);
    const std::size_t count = static_cast<std::size_t>(n);
    // held bytes go out when the next ones do not follow them or would overfill
    if (!f->held.empty() &&
        (f->position != f->start + static_cast<LONGLONG>(f->held.size()) || f->held.size() + count > kCapacity))
        if (!flushHeld(*f)) return WRITE_ERROR;
    if (count >= kCapacity) {
        if (!writeAll(f->fd, bytes, count, f->position)) return WRITE_ERROR;
    } else {
        if (f->held.empty()) f->start = f->position;
        f->held.insert(f->held.end(), bytes, bytes + count);
    }
    f->position += n;
    f->size = std::max(f->size, f->position);
    return 0;
}

void registerDriver() {
    static std::once_flag once;
    std::call_once(once, [] {
        fits_init_cfitsio(); // its own drivers first, so that it does not take ours for a first call
        fits_register_driver(const_cast<char*>(kPrefix), noOp, noOp, setOptions, getOptions, getVersion, checkFile,
                             openFile, createFile, truncateFile, closeFile, removeFile, sizeOf, flushFile, seekTo,
                             readBytes, writeBytes);
    });
}

// Before main: cfitsio's table of drivers has no lock, and another thread
// may be opening a file when the first product is written.
const bool registeredAtStart = (registerDriver(), true);

} // namespace

std::string BufferedFitsName(const std::string& path) {
    registerDriver();
    return kPrefix + path;
}

} // namespace platform
