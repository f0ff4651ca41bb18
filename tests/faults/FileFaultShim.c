// SPDX-License-Identifier: MIT
// A stand-in for a failing disk, loaded into a program under test with LD_PRELOAD. It changes the
// C library's file calls for files whose path contains $KRV_FAULT_PATH, as $KRV_FAULT says:
//   read-eio-after:N   reads deliver N bytes, then fail with EIO
//   short-read:N       reads deliver N bytes, then report the end of the file
//   open-eacces        opening fails with EACCES (root passes permission checks, so they are faked)
//   write-enospc       writes fail with ENOSPC (a full disk)
//   rename-eio         renaming onto such a file fails with EIO (the last step of a save)
//   fsync-eio          flushing such a file to the disk fails with EIO
//   close-eio          closing such a file closes it but reports EIO (a write error the disk reported late)
//   stop-at-open       the first open of such a file stops the process (SIGSTOP) before it opens it, so a
//                      test can run another process at exactly that point and then continue this one
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

enum { MaxTracked = 4096 };
static size_t delivered[MaxTracked];

static const char* fault(void) { return getenv("KRV_FAULT"); }

static int pathMatches(const char* path) {
    const char* wanted = getenv("KRV_FAULT_PATH");
    return path && wanted && *wanted && strstr(path, wanted) != NULL;
}

static int fdMatches(int fd) {
    char link[64];
    char target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return 0;
    target[n] = '\0';
    return pathMatches(target);
}

static int faultIs(const char* name) {
    const char* f = fault();
    return f && strncmp(f, name, strlen(name)) == 0;
}

static size_t faultCount(void) {
    const char* colon = strchr(fault(), ':');
    return colon ? strtoul(colon + 1, NULL, 10) : 0;
}

static int openFaulted(const char* path, int fd) {
    if (fd >= 0 && fd < MaxTracked)
        delivered[fd] = 0;
    (void)path;
    return fd;
}

static void stopAtFirstOpen(const char* path) {
    static int stopped;
    if (!stopped && faultIs("stop-at-open") && pathMatches(path)) {
        stopped = 1;
        raise(SIGSTOP);
    }
}

#define OPEN_WRAPPER(name, ...)                                                                                        \
    int name(__VA_ARGS__, int flags, ...) {                                                                            \
        mode_t mode = 0;                                                                                               \
        if (flags & (O_CREAT | __O_TMPFILE)) {                                                                         \
            va_list args;                                                                                              \
            va_start(args, flags);                                                                                     \
            mode = va_arg(args, mode_t);                                                                               \
            va_end(args);                                                                                              \
        }                                                                                                              \
        if (faultIs("open-eacces") && pathMatches(path)) {                                                             \
            errno = EACCES;                                                                                            \
            return -1;                                                                                                 \
        }                                                                                                              \
        stopAtFirstOpen(path);

OPEN_WRAPPER(open, const char* path)
    static int (*real)(const char*, int, ...);
    if (!real)
        real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
    return openFaulted(path, real(path, flags, mode));
}

OPEN_WRAPPER(open64, const char* path)
    static int (*real)(const char*, int, ...);
    if (!real)
        real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open64");
    return openFaulted(path, real(path, flags, mode));
}

OPEN_WRAPPER(openat, int dirfd, const char* path)
    static int (*real)(int, const char*, int, ...);
    if (!real)
        real = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat");
    return openFaulted(path, real(dirfd, path, flags, mode));
}

ssize_t read(int fd, void* buffer, size_t count) {
    static ssize_t (*real)(int, void*, size_t);
    if (!real)
        real = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    int eio = faultIs("read-eio-after");
    if ((eio || faultIs("short-read")) && fd >= 0 && fd < MaxTracked && fdMatches(fd)) {
        size_t limit = faultCount();
        if (delivered[fd] >= limit) {
            if (eio) {
                errno = EIO;
                return -1;
            }
            return 0;
        }
        if (count > limit - delivered[fd])
            count = limit - delivered[fd];
        ssize_t n = real(fd, buffer, count);
        if (n > 0)
            delivered[fd] += (size_t)n;
        return n;
    }
    return real(fd, buffer, count);
}

ssize_t write(int fd, const void* buffer, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real)
        real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (faultIs("write-enospc") && fdMatches(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, buffer, count);
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*);
    if (!real)
        real = (int (*)(const char*, const char*))dlsym(RTLD_NEXT, "rename");
    if (faultIs("rename-eio") && pathMatches(to)) {
        errno = EIO;
        return -1;
    }
    return real(from, to);
}

int fsync(int fd) {
    static int (*real)(int);
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "fsync");
    if (faultIs("fsync-eio") && fdMatches(fd)) {
        errno = EIO;
        return -1;
    }
    return real(fd);
}

int close(int fd) {
    static int (*real)(int);
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "close");
    int faulted = faultIs("close-eio") && fdMatches(fd);
    int result = real(fd);
    if (faulted && result == 0) {
        errno = EIO;
        return -1;
    }
    return result;
}
