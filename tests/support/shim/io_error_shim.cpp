// A library that tests load into a program (LD_PRELOAD) to make its file operations on one path
// fail with EIO: BRELLIN_EIO_PATH names the file, BRELLIN_EIO_OPEN=n fails the n-th open of it,
// BRELLIN_EIO_READ=n the n-th read from it (counted over all its opens, from 1). As on a full
// disk, every write to a file whose path starts with BRELLIN_FULL_PREFIX fails with ENOSPC.
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace
{

constexpr int MaxFd = 4096;
std::atomic<bool> Watched[MaxFd];
std::atomic<bool> Full[MaxFd];
std::atomic<int> Opens{0};
std::atomic<int> Reads{0};

int Setting(const char *name)
{
    const char *v = std::getenv(name);
    return v ? std::atoi(v) : 0;
}

bool IsFull(const char *path)
{
    const char *prefix = std::getenv("BRELLIN_FULL_PREFIX");
    return prefix && *prefix && path && std::strncmp(prefix, path, std::strlen(prefix)) == 0;
}

bool IsWatched(const char *path)
{
    const char *want = std::getenv("BRELLIN_EIO_PATH");
    return want && path && std::strcmp(want, path) == 0;
}

template <typename F> F Next(const char *name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

// The open itself, or EIO when it is the one to fail; the descriptor of the path is watched.
template <typename F, typename... A> int Open(const char *name, const char *path, A... args)
{
    const bool watched = IsWatched(path);
    if (watched && ++Opens == Setting("BRELLIN_EIO_OPEN")) {
        errno = EIO;
        return -1;
    }
    const int fd = Next<F>(name)(args...);
    if (fd >= 0 && fd < MaxFd) {
        Watched[fd] = watched;
        Full[fd] = IsFull(path);
    }
    return fd;
}

bool FailRead(int fd)
{
    if (fd < 0 || fd >= MaxFd || !Watched[fd])
        return false;
    if (++Reads != Setting("BRELLIN_EIO_READ"))
        return false;
    errno = EIO;
    return true;
}

bool FailWrite(int fd)
{
    if (fd < 0 || fd >= MaxFd || !Full[fd])
        return false;
    errno = ENOSPC;
    return true;
}

mode_t ModeOf(int flags, va_list ap)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

} // namespace

extern "C" {

int open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeOf(flags, ap);
    va_end(ap);
    return Open<int (*)(const char *, int, mode_t)>("open", path, path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeOf(flags, ap);
    va_end(ap);
    return Open<int (*)(const char *, int, mode_t)>("open64", path, path, flags, mode);
}

int openat(int dir, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeOf(flags, ap);
    va_end(ap);
    return Open<int (*)(int, const char *, int, mode_t)>("openat", path, dir, path, flags, mode);
}

int openat64(int dir, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    const mode_t mode = ModeOf(flags, ap);
    va_end(ap);
    return Open<int (*)(int, const char *, int, mode_t)>("openat64", path, dir, path, flags, mode);
}

ssize_t read(int fd, void *buf, size_t n)
{
    if (FailRead(fd))
        return -1;
    return Next<ssize_t (*)(int, void *, size_t)>("read")(fd, buf, n);
}

ssize_t pread64(int fd, void *buf, size_t n, off64_t at)
{
    if (FailRead(fd))
        return -1;
    return Next<ssize_t (*)(int, void *, size_t, off64_t)>("pread64")(fd, buf, n, at);
}

ssize_t write(int fd, const void *buf, size_t n)
{
    if (FailWrite(fd))
        return -1;
    return Next<ssize_t (*)(int, const void *, size_t)>("write")(fd, buf, n);
}

ssize_t pwrite64(int fd, const void *buf, size_t n, off64_t at)
{
    if (FailWrite(fd))
        return -1;
    return Next<ssize_t (*)(int, const void *, size_t, off64_t)>("pwrite64")(fd, buf, n, at);
}

int close(int fd)
{
    if (fd >= 0 && fd < MaxFd)
        Watched[fd] = Full[fd] = false;
    return Next<int (*)(int)>("close")(fd);
}
}
