#include "storage/file_rewrite.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>

#include <cerrno>
#include <optional>
#include <set>
#include <vector>

#include "storage/file_access.h"
#include "storage/write_journal.h"

namespace storage {

namespace {

struct FolderAndName {
    std::string folder;
    std::string name;
};

FolderAndName split(const core::FilePath& filePath) {
    const std::string path = filePath.bytes().toStdString();
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return {".", path};
    }
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

FileRewrite notReplaced(const std::string& reason) {
    return {FileRewrite::Outcome::NotReplaced, reason};
}

FileRewrite notReplaced(const std::string& what, int error) {
    return notReplaced(what + ": " + describeError(error != 0 ? error : EIO));
}

// Takes a plain text, so that nothing at the call can change errno before it is read.
FileRewrite notReplaced(const char* what, int error) {
    return notReplaced(std::string(what), error);
}

// Removes the leftover `name` in `folder` unless a rewrite holds a lock on it.
void removeLeftoverIn(int folder, const std::string& name) {
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    const FileDescriptor leftover(fd);
    struct stat status {};
    struct stat named {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        named.st_ino == status.st_ino && named.st_dev == status.st_dev) {
        ::unlinkat(folder, name.c_str(), 0);
    }
}

// The names of the extended attributes of `fd`, none when the file system keeps none;
// nothing when they could not be listed.
std::optional<std::set<std::string>> attributeNames(int fd, const SystemCalls& calls) {
    for (;;) {
        const ssize_t size = calls.flistxattr(fd, nullptr, 0);
        if (size < 0) {
            if (errno == ENOTSUP || errno == EOPNOTSUPP) {
                return std::set<std::string>{};
            }
            return std::nullopt;
        }
        std::vector<char> list(static_cast<std::size_t>(size));
        const ssize_t listed = calls.flistxattr(fd, list.data(), list.size());
        if (listed < 0 && errno == ERANGE) {
            continue;
        }
        if (listed < 0) {
            return std::nullopt;
        }
        std::set<std::string> names;
        for (std::size_t at = 0; at < static_cast<std::size_t>(listed);) {
            const std::string name(list.data() + at);
            at += name.size() + 1;
            if (name != kJournalAttribute) {
                names.insert(name);
            }
        }
        return names;
    }
}

// Gives `to` the extended attributes of `from`, ACLs (system.posix_acl_*) among them, and
// takes away those it got from elsewhere (a folder's default ACL); the name of one that could
// not be kept, or of "*" when they could not be listed.
std::optional<std::string> copyAttributes(int from, int to, const SystemCalls& calls) {
    const std::optional<std::set<std::string>> wanted = attributeNames(from, calls);
    const std::optional<std::set<std::string>> present = attributeNames(to, calls);
    if (!wanted || !present) {
        return "*";
    }
    for (const std::string& name : *wanted) {
        const std::optional<std::string> value = readAttribute(from, name.c_str(), calls);
        if (!value) {
            return name;
        }
        // One the new file has already, such as a security label, need not be set again.
        if (readAttribute(to, name.c_str(), calls) != value &&
            calls.fsetxattr(to, name.c_str(), value->data(), value->size(), 0) != 0) {
            return name;
        }
    }
    for (const std::string& name : *present) {
        if (!wanted->contains(name) && calls.fremovexattr(to, name.c_str()) != 0) {
            return name;
        }
    }
    return std::nullopt;
}

bool copyBytes(int from, off_t fromOffset, int to, off_t toOffset, off_t size,
               const SystemCalls& calls) {
    off_t inOffset = fromOffset;
    off_t outOffset = toOffset;
    off_t left = size;
    // In the kernel, without a round trip through this process; shared blocks where the file
    // system can (Btrfs, XFS).
    while (left > 0) {
        const ssize_t n = calls.copy_file_range(from, &inOffset, to, &outOffset,
                                                static_cast<std::size_t>(left), 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 &&
            (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            break;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = 0;  // the old file became shorter
            }
            return false;
        }
        left -= n;
    }
    constexpr std::size_t kChunk = 1 << 20;
    std::vector<char> buffer(kChunk);
    while (left > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<off_t>(left, kChunk));
        errno = 0;
        if (!transferAll(calls.pread, from, buffer.data(), chunk, inOffset) ||
            !transferAll(calls.pwrite, to, buffer.data(), chunk, outOffset)) {
            return false;
        }
        inOffset += static_cast<off_t>(chunk);
        outOffset += static_cast<off_t>(chunk);
        left -= static_cast<off_t>(chunk);
    }
    return true;
}

// Whether the open file holds `expected` at `offset`.
bool holds(int fd, off_t offset, std::string_view expected, const SystemCalls& calls) {
    std::string inFile(expected.size(), '\0');
    return transferAll(calls.pread, fd, inFile.data(), inFile.size(), offset) && inFile == expected;
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The new file, closed and, while it has the hidden name, removed on every way out.
class NewFile {
public:
    NewFile(int folder, std::string name, const SystemCalls& calls)
        : folder_(folder), name_(std::move(name)), calls_(calls) {}
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;
    ~NewFile() {
        if (named_) {
            ::unlinkat(folder_, name_.c_str(), 0);
        }
        if (fd_ >= 0) {
            calls_.close(fd_);
        }
    }

    // Makes it: without a name where the file system allows, else under the hidden name.
    bool create() {
        fd_ = calls_.openat(folder_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            removeLeftoverIn(folder_, name_);
            fd_ = calls_.openat(folder_, name_.c_str(),
                                O_CREAT | O_EXCL | O_RDWR | O_NOFOLLOW | O_CLOEXEC,
                                S_IRUSR | S_IWUSR);
            named_ = fd_ >= 0;
        }
        // Tells removeLeftover() that this one is in use.
        return fd_ >= 0 && ::flock(fd_, LOCK_EX) == 0;
    }

    // Gives a file made without a name the hidden one.
    bool name() {
        if (named_) {
            return true;
        }
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (calls_.linkat(AT_FDCWD, self.c_str(), folder_, name_.c_str(), AT_SYMLINK_FOLLOW) ==
                0) {
                named_ = true;
                return true;
            }
            if (errno != EEXIST) {
                return false;
            }
            removeLeftoverIn(folder_, name_);
        }
        return false;
    }

    bool renameOver(const std::string& target) {
        if (calls_.renameat(folder_, name_.c_str(), folder_, target.c_str()) != 0) {
            return false;
        }
        named_ = false;
        return true;
    }

    int fd() const { return fd_; }

private:
    int folder_;
    std::string name_;
    const SystemCalls& calls_;
    int fd_ = -1;
    bool named_ = false;
};

}  // namespace

core::FilePath leftoverName(const core::FilePath& path) {
    constexpr std::string_view kEnd = ".saving";
    std::string name = split(path).name;
    name.resize(std::min(name.size(), NAME_MAX - 1 - kEnd.size()));
    return core::FilePath(QByteArray::fromStdString("." + name + std::string(kEnd)));
}

void removeLeftover(const core::FilePath& path) {
    const FolderAndName place = split(path);
    // Nearly always there is none: one look by name costs a third of opening the folder to
    // look in it.
    struct stat leftover {};
    const std::string leftoverPath = place.folder + "/" + leftoverName(path).bytes().toStdString();
    if (::fstatat(AT_FDCWD, leftoverPath.c_str(), &leftover, AT_SYMLINK_NOFOLLOW) != 0 &&
        errno == ENOENT) {
        return;
    }
    const int folder = ::open(place.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        const FileDescriptor closed(folder);
        removeLeftoverIn(folder, leftoverName(path).bytes().toStdString());
    }
}

FileRewrite rewriteFile(const core::FilePath& path, int oldFd, const struct stat& status,
                        const NewContent& content, const SystemCalls& calls) {
    const FolderAndName place = split(path);
    const FileDescriptor folder(::open(place.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.valid()) {
        return notReplaced("its folder could not be opened", errno);
    }
    NewFile file(folder.get(), leftoverName(path).bytes().toStdString(), calls);
    if (!file.create()) {
        return notReplaced("a new file could not be made in its folder", errno);
    }
    struct stat made {};
    if (::fstat(file.fd(), &made) != 0) {
        return notReplaced("a new file could not be made in its folder", errno);
    }
    if ((made.st_uid != status.st_uid || made.st_gid != status.st_gid) &&
        calls.fchown(file.fd(), status.st_uid, status.st_gid) != 0) {
        return notReplaced("a new file could not keep its owner", errno);
    }
    if (const std::optional<std::string> lost = copyAttributes(oldFd, file.fd(), calls)) {
        const int error = errno;
        return notReplaced(*lost == "*"
                               ? "a new file could not keep its extended attributes"
                               : "a new file could not keep its extended attribute " + *lost,
                           error);
    }
    if (calls.fchmod(file.fd(), status.st_mode & 07777) != 0) {
        return notReplaced("a new file could not keep its permissions", errno);
    }

    const off_t backAt = static_cast<off_t>(content.front.size()) + content.keptSize;
    errno = 0;
    if (!transferAll(calls.pwrite, file.fd(), content.front.data(), content.front.size(), 0) ||
        !copyBytes(oldFd, content.keptFrom, file.fd(), static_cast<off_t>(content.front.size()),
                   content.keptSize, calls) ||
        !transferAll(calls.pwrite, file.fd(), content.back.data(), content.back.size(), backAt) ||
        calls.fdatasync(file.fd()) != 0) {
        const int error = errno;
        return error != 0 ? notReplaced("the new file could not be written", error)
                          : notReplaced("the file became shorter while it was copied");
    }

    // Writing may take set-user-ID and set-group-ID bits away; and the old file must still be
    // the one at `path`, as it was.
    struct stat written {};
    struct stat old {};
    struct stat named {};
    if (::fstat(file.fd(), &written) != 0 || written.st_uid != status.st_uid ||
        written.st_gid != status.st_gid || written.st_mode != status.st_mode) {
        return notReplaced("a new file could not keep its owner and permissions");
    }
    if (::fstat(oldFd, &old) != 0 || old.st_size != status.st_size ||
        old.st_mtim.tv_sec != status.st_mtim.tv_sec ||
        old.st_mtim.tv_nsec != status.st_mtim.tv_nsec ||
        ::fstatat(folder.get(), place.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
        !sameFile(named, status) || !holds(oldFd, 0, content.oldFront, calls) ||
        !holds(oldFd, content.keptFrom + content.keptSize, content.oldBack, calls)) {
        return {FileRewrite::Outcome::OldFileChanged, std::string(kChangedMeanwhile)};
    }
    if (!file.name() || !file.renameOver(place.name)) {
        return notReplaced("the new file could not take the old one's place", errno);
    }
    if (calls.fsync(folder.get()) != 0) {
        const int error = errno;
        return {FileRewrite::Outcome::ReplacedNotFlushed,
                "its folder could not be flushed to the disk: " + describeError(error)};
    }
    return {FileRewrite::Outcome::Replaced, {}};
}

}  // namespace storage
