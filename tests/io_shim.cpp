// Preloaded into zelk (LD_PRELOAD) in place of the system's read (and its
// checked form), write and strdup, to make them misbehave the way a real
// device or a full memory does only now and then. The variable ZELK_SHIM
// chooses how:
//   write-zero   the first write to standard output goes through; every later
//                one takes nothing and returns 0
//   write-short  the first write to standard output of two bytes or more
//                takes all but its last byte
//   read-eintr   every other read fails with EINTR before reading anything,
//                and the others return at most 1000 bytes
//   strdup-null  every strdup fails with ENOMEM, as when memory runs out
// Each call it changes adds one byte to the file that ZELK_SHIM_LOG
// names, so that a test can tell the shim was in the way at all.
// The shim defines read itself, which a fortified build's headers define
// too (as a checking wrapper).
#undef _FORTIFY_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

using read_function = ssize_t (*)(int, void*, size_t);
using write_function = ssize_t (*)(int, const void*, size_t);

write_function real_write() {
    return reinterpret_cast<write_function>(dlsym(RTLD_NEXT, "write"));
}

using strdup_function = char* (*)(const char*);

strdup_function real_strdup() {
    return reinterpret_cast<strdup_function>(dlsym(RTLD_NEXT, "strdup"));
}

read_function real_read() {
    return reinterpret_cast<read_function>(dlsym(RTLD_NEXT, "read"));
}

bool mode_is(const char* mode) {
    const char* chosen = getenv("ZELK_SHIM");
    return chosen != nullptr && strcmp(chosen, mode) == 0;
}

void log_change() {
    const char* path = getenv("ZELK_SHIM_LOG");
    if (path == nullptr) return;
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0600);
    if (fd < 0) return;
    real_write()(fd, "x", 1);
    close(fd);
}

int writes_to_stdout = 0;
int writes_without_progress = 0;
bool shortened = false;
unsigned long reads = 0;

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    if (fd == STDOUT_FILENO && mode_is("write-zero") && writes_to_stdout++ > 0 && size > 0) {
        log_change();
        // A program that makes the same write for ever would hang its test.
        if (++writes_without_progress == 100) {
            const char message[] = "io_shim: 100 writes in a row took nothing\n";
            real_write()(STDERR_FILENO, message, sizeof message - 1);
            _exit(99);
        }
        return 0;
    }
    if (fd == STDOUT_FILENO && mode_is("write-short") && !shortened && size >= 2) {
        shortened = true;
        log_change();
        return real_write()(fd, data, size - 1);
    }
    return real_write()(fd, data, size);
}

extern "C" ssize_t read(int fd, void* buffer, size_t size) {
    if (mode_is("read-eintr")) {
        if (reads++ % 2 == 0) {
            log_change();
            errno = EINTR;
            return -1;
        }
        if (size > 1000) size = 1000;
    }
    return real_read()(fd, buffer, size);
}

// A hardened build reads into a buffer of known room through the checked
// form, which reaches the system without passing through read.
extern "C" ssize_t __read_chk(int fd, void* buffer, size_t size, size_t room) {
    if (size > room) abort();
    return read(fd, buffer, size);
}

extern "C" char* strdup(const char* text) {
    if (mode_is("strdup-null")) {
        log_change();
        errno = ENOMEM;
        return nullptr;
    }
    return real_strdup()(text);
}
