#include "core/session/SessionFile.h"

#include "core/base/PrivateFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace orvi {
namespace {

constexpr const char* kDomain = "OrviWrapper.SessionFile";

Error systemError(const std::string& what, int code) {
    return Error{kDomain, code, what + ": " + std::strerror(code)};
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

Result<bool> SessionFile::ensureFolder(const std::filesystem::path& folder) {
    std::error_code error;
    if (std::filesystem::is_directory(folder, error))
        return true;
    std::filesystem::path current;
    for (const auto& part : folder) {
        current /= part;
        if (std::filesystem::is_directory(current, error))
            continue;
        if (::mkdir(current.c_str(), 0700) != 0 && errno != EEXIST)
            return systemError("Cannot create folder " + current.string(), errno);
        // mkdir honours the umask; the folder must be private whatever it is.
        ::chmod(current.c_str(), 0700);
    }
    return true;
}

Result<std::filesystem::path> SessionFile::writeNew(const std::filesystem::path& folder,
                                                    const std::string& stem, const std::string& extension,
                                                    std::string_view bytes) {
    if (auto made = ensureFolder(folder); !made)
        return made.error();

    std::string temporary = (folder / ("." + stem + ".XXXXXX")).string();
    // Close-on-exec from the start: a helper spawned meanwhile must not inherit a session file.
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return systemError("Cannot create a file in " + folder.string(), errno);
    auto discard = [&](const std::string& what) {
        const int code = errno;
        ::unlink(temporary.c_str());
        return systemError(what, code);
    };
    if (::fchmod(fd.get(), 0600) != 0)
        return discard("Cannot restrict " + temporary);
    if (!writeAll(fd.get(), bytes))
        return discard("Cannot write " + temporary);
    if (::fsync(fd.get()) != 0)
        return discard("Cannot flush " + temporary);
    if (::close(fd.release()) != 0)
        return discard("Cannot close " + temporary);

    for (int attempt = 1; attempt < 1000; ++attempt) {
        const auto name = attempt == 1 ? stem + extension : stem + "_" + std::to_string(attempt) + extension;
        const auto target = folder / name;
        // A hard link fails when the name is taken, so a file that appears meanwhile is
        // never replaced; the temporary name then goes away.
        if (::link(temporary.c_str(), target.c_str()) == 0) {
            ::unlink(temporary.c_str());
            syncFolderOf(target);
            return target;
        }
        if (errno == EEXIST)
            continue;
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV)
            return discard("Cannot name " + target.string());
        // File systems without hard links: a rename that refuses a taken name.
        if (renameWithoutReplacing(temporary, target)) {
            syncFolderOf(target);
            return target;
        }
        if (errno == EEXIST)
            continue;
        return discard("Cannot name " + target.string());
    }
    errno = EEXIST;
    return discard("No free file name for " + stem + extension);
}

Result<std::string> SessionFile::read(const std::filesystem::path& path, std::size_t maxSize) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        return systemError("Cannot open " + path.string(), errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0)
        return systemError("Cannot inspect " + path.string(), errno);
    if (!S_ISREG(info.st_mode))
        return Error{kDomain, EINVAL, path.string() + " is not a regular file"};
    if (static_cast<std::uint64_t>(info.st_size) > maxSize)
        return Error{kDomain, EFBIG,
                     path.string() + " is too large (" + std::to_string(info.st_size) + " bytes, limit " +
                         std::to_string(maxSize) + " bytes)"};
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const auto got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return systemError("Cannot read " + path.string(), errno);
        }
        if (got == 0)
            break;
        // The file may grow while it is read; the limit holds for what is read too.
        if (bytes.size() + static_cast<std::size_t>(got) > maxSize)
            return Error{kDomain, EFBIG,
                         path.string() + " is too large (limit " + std::to_string(maxSize) + " bytes)"};
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    return bytes;
}

} // namespace orvi
