#include "core/base/PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvi {
namespace {

constexpr const char* kDomain = "PrivateFiles";
constexpr const char* kCompanions[] = {"-wal", "-shm", "-journal"};

Error systemError(const std::string& what, const std::filesystem::path& path, int error) {
    return Error{kDomain, error, what + " " + path.string() + ": " + std::strerror(error)};
}

bool pathExists(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

} // namespace

Result<std::filesystem::path> makePrivateFolder(const std::filesystem::path& folder) {
    if (folder.empty())
        return Error{kDomain, EINVAL, "no folder given"};
    // Missing parents are made private as well, as the XDG rules ask for the base folders.
    std::filesystem::path current;
    for (const auto& part : folder) {
        current /= part;
        if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST)
            return systemError("cannot create folder", current, errno);
        if (current == folder)
            break;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0)
        return systemError("cannot inspect folder", folder, errno);
    if (!S_ISDIR(info.st_mode))
        return Error{kDomain, ENOTDIR, folder.string() + " is not a folder"};
    if ((info.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0)
        return systemError("cannot make folder private", folder, errno);
    return folder;
}

Result<std::filesystem::path> makePrivateFile(const std::filesystem::path& file) {
    // A file of ours left read-only or open to others is set right before it is opened, so
    // that a mode alone never makes a good file look unusable.
    struct stat existing {};
    if (::lstat(file.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        existing.st_uid == ::geteuid() && (existing.st_mode & 07777) != 0600)
        ::chmod(file.c_str(), 0600);
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return systemError("cannot open", file, errno);
    struct stat info {};
    int error = 0;
    if (::fstat(fd, &info) != 0)
        error = errno;
    else if (!S_ISREG(info.st_mode))
        error = EINVAL;
    else if ((info.st_mode & 07777) != 0600 && ::fchmod(fd, 0600) != 0)
        error = errno;
    ::close(fd);
    if (error != 0)
        return systemError("cannot make private", file, error);
    return file;
}

void tightenCompanionFiles(const std::filesystem::path& file) {
    for (const char* suffix : kCompanions) {
        const auto companion = file.string() + suffix;
        if (pathExists(companion))
            ::chmod(companion.c_str(), 0600);
    }
}

bool renameWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // Where the kernel or file system cannot refuse a taken name, a check is the best left.
    if (pathExists(to)) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void syncFolderOf(const std::filesystem::path& file) {
    const auto folder = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    if (const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

Result<std::filesystem::path> moveAside(const std::filesystem::path& file, const std::string& suffix) {
    int n = 1;
    auto candidate = [&] { return file.string() + suffix + (n == 1 ? "" : "-" + std::to_string(n)); };
    std::string target = candidate();
    while (pathExists(target))
        target = (++n, candidate());
    // A copy set aside meanwhile (another instance) is never replaced.
    while (pathExists(file) && !renameWithoutReplacing(file, target)) {
        if (errno != EEXIST)
            return systemError("cannot move aside", file, errno);
        target = (++n, candidate());
    }
    for (const char* companion : kCompanions) {
        const auto from = file.string() + companion;
        if (pathExists(from) && ::rename(from.c_str(), (target + companion).c_str()) != 0)
            return systemError("cannot move aside", from, errno);
    }
    syncFolderOf(file);
    return std::filesystem::path(target);
}

} // namespace orvi
