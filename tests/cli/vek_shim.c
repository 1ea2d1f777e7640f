/* Loaded into vek with LD_PRELOAD by vek_cli_test.sh, to make happen what
 * an ordinary run meets only by rare chance, each when its variable is set:
 *   VEK_SHIM_PLANT=LOG   before vek first creates one of its temporaries
 *                        (.vek-...), another "process" creates a file of its
 *                        own at that very name, holding "planted\n", and
 *                        writes the name to LOG: vek must leave it as it is
 *                        and take another name.
 *   VEK_SHIM_SIGNAL_AFTER_RENAME=N   SIGTERM reaches vek right after its
 *                        N-th rename has succeeded, as if the user had
 *                        ended it there.
 *   VEK_SHIM_FAIL_XATTR=NAME   setting the extended attribute NAME on a
 *                        file fails with "Operation not supported", as on
 *                        a file system without it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

typedef int (*OpenFn)(const char*, int, ...);

static int planted = 0;
static long renames = 0;

static int IsTemporary(const char* path) {
    const char* base = strrchr(path, '/');
    base = base != NULL ? base + 1 : path;
    return strncmp(base, ".vek-", 5) == 0;
}

static void Plant(const char* path, int flags) {
    const char* log = getenv("VEK_SHIM_PLANT");
    if (log == NULL || planted || (flags & O_CREAT) == 0 || !IsTemporary(path))
        return;
    planted = 1;
    OpenFn real = (OpenFn)dlsym(RTLD_NEXT, "open");
    const int fd = real(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return;
    if (write(fd, "planted\n", 8) != 8) {
        close(fd);
        return;
    }
    close(fd);
    FILE* out = fopen(log, "w");
    if (out != NULL) {
        fprintf(out, "%s\n", path);
        fclose(out);
    }
}

static int OpenThrough(const char* symbol, const char* path, int flags, mode_t mode) {
    Plant(path, flags);
    OpenFn real = (OpenFn)dlsym(RTLD_NEXT, symbol);
    return real(path, flags, mode);
}

int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        mode = (mode_t)va_arg(args, int);
        va_end(args);
    }
    return OpenThrough("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (flags & O_CREAT) {
        va_list args;
        va_start(args, flags);
        mode = (mode_t)va_arg(args, int);
        va_end(args);
    }
    return OpenThrough("open64", path, flags, mode);
}

int rename(const char* from, const char* to) {
    typedef int (*RenameFn)(const char*, const char*);
    RenameFn real = (RenameFn)dlsym(RTLD_NEXT, "rename");
    const int result = real(from, to);
    const char* at = getenv("VEK_SHIM_SIGNAL_AFTER_RENAME");
    if (result == 0 && at != NULL && ++renames == atol(at))
        raise(SIGTERM);
    return result;
}

int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
    typedef int (*SetFn)(int, const char*, const void*, size_t, int);
    const char* failing = getenv("VEK_SHIM_FAIL_XATTR");
    if (failing != NULL && strcmp(failing, name) == 0) {
        errno = EOPNOTSUPP;
        return -1;
    }
    SetFn real = (SetFn)dlsym(RTLD_NEXT, "fsetxattr");
    return real(fd, name, value, size, flags);
}
