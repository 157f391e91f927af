#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <functional>

namespace storage {

// The calls the writers make on files and folders, in one place so that a test can make the
// disk fail in each of the ways a disk fails.
struct SystemCalls {
    // The file's bytes, written in place.
    std::function<ssize_t(int, void*, size_t, off_t)> pread = ::pread;
    std::function<ssize_t(int, const void*, size_t, off_t)> pwrite = ::pwrite;
    std::function<int(int, off_t)> ftruncate = ::ftruncate;
    std::function<int(int)> fdatasync = ::fdatasync;
    std::function<int(int)> close = ::close;

    // The record of an in-place write, an extended attribute of the file, and the flush that
    // puts it on the disk before the bytes it records.
    std::function<int(int, const char*, const void*, size_t, int)> fsetxattr = ::fsetxattr;
    std::function<ssize_t(int, const char*, void*, size_t)> fgetxattr = ::fgetxattr;
    std::function<int(int, const char*)> fremovexattr = ::fremovexattr;
    std::function<int(int)> fsync = ::fsync;

    // A rewrite through a new file in the same folder, which takes the old one's place.
    std::function<int(int, const char*, int, mode_t)> openat = [](int folder, const char* name,
                                                                  int flags, mode_t mode) {
        return ::openat(folder, name, flags, mode);
    };
    std::function<ssize_t(int, off_t*, int, off_t*, size_t, unsigned)> copy_file_range =
        ::copy_file_range;
    std::function<int(int, uid_t, gid_t)> fchown = ::fchown;
    std::function<int(int, mode_t)> fchmod = ::fchmod;
    std::function<ssize_t(int, char*, size_t)> flistxattr = ::flistxattr;
    std::function<int(int, const char*, int, const char*, int)> linkat = ::linkat;
    std::function<int(int, const char*, int, const char*)> renameat = ::renameat;
};

}  // namespace storage
