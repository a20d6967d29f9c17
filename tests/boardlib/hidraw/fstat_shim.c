/* Preloaded before umockdev's own preload library in the emulated hidraw
 * tests. umockdev answers stat() on an emulated node with the node's device
 * numbers, but fstat() on an open node with those of the PTY behind it, so
 * hidapi cannot find the node's USB device (its strings). This remembers
 * the path of every hidraw node opened and answers fstat() on it as stat()
 * on the path. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define SHIM_MAX_FD 4096
#define SHIM_PATH_SIZE 64

static char shimPaths[SHIM_MAX_FD][SHIM_PATH_SIZE];
static pthread_mutex_t shimMutex = PTHREAD_MUTEX_INITIALIZER;

static void ShimRemember(int fd, const char* path) {
    if (fd < 0 || fd >= SHIM_MAX_FD) return;
    pthread_mutex_lock(&shimMutex);
    shimPaths[fd][0] = '\0';
    if (path != NULL && strncmp(path, "/dev/hidraw", 11) == 0 && strlen(path) < SHIM_PATH_SIZE)
        memcpy(shimPaths[fd], path, strlen(path) + 1);
    pthread_mutex_unlock(&shimMutex);
}

static int ShimOpen(const char* name, const char* path, int flags, mode_t mode) {
    int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, name);
    const int fd = real(path, flags, mode);
    ShimRemember(fd, path);
    return fd;
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return ShimOpen("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & (O_CREAT | O_TMPFILE)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    return ShimOpen("open64", path, flags, mode);
}

int close(int fd) {
    int (*real)(int) = (int (*)(int))dlsym(RTLD_NEXT, "close");
    ShimRemember(fd, NULL);
    return real(fd);
}

int fstat(int fd, struct stat* st) {
    int (*real)(int, struct stat*) = (int (*)(int, struct stat*))dlsym(RTLD_NEXT, "fstat");
    char path[SHIM_PATH_SIZE] = "";
    if (fd >= 0 && fd < SHIM_MAX_FD) {
        pthread_mutex_lock(&shimMutex);
        memcpy(path, shimPaths[fd], SHIM_PATH_SIZE);
        pthread_mutex_unlock(&shimMutex);
    }
    if (path[0] != '\0') return stat(path, st);
    return real(fd, st);
}
