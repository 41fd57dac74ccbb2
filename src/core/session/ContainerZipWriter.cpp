#include "core/session/ContainerZipWriter.h"

#include "core/base/PrivateFiles.h"

#include <archive.h>
#include <archive_entry.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace orvi {
namespace {

inline constexpr std::size_t kChunk = 256 * 1024;
inline constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};

Error writeError(const std::string& message) {
    return Error{"ContainerZipWriter", 1, message};
}

bool isCompanion(const std::filesystem::path& file) {
    const auto name = file.filename().string();
    for (std::string_view suffix : {"-wal", "-shm", "-journal"}) {
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            auto base = file;
            base.replace_filename(name.substr(0, name.size() - suffix.size()));
            std::error_code ignored;
            return std::filesystem::is_regular_file(base, ignored) && isSqliteDatabase(base);
        }
    }
    return false;
}

struct FileDescriptor {
    int fd = -1;
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

bool isSqliteDatabase(const std::filesystem::path& file) {
    FileDescriptor f{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    if (f.fd < 0)
        return false;
    std::array<char, 16> header{};
    return ::read(f.fd, header.data(), header.size()) == static_cast<ssize_t>(header.size()) &&
           std::string_view(header.data(), header.size()) == kSqliteMagic;
}

Result<std::monostate> snapshotSqliteDatabase(const std::filesystem::path& source,
                                              const std::filesystem::path& destination) {
    if (auto made = makePrivateFile(destination); !made)
        return made.error();
    sqlite3* from = nullptr;
    sqlite3* to = nullptr;
    auto close = [&] {
        sqlite3_close_v2(from);
        sqlite3_close_v2(to);
    };
    if (sqlite3_open_v2(source.c_str(), &from, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_open_v2(destination.c_str(), &to, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(from ? (to ? to : from) : from);
        close();
        return writeError("Cannot open " + source.string() + " for a copy: " + message);
    }
    sqlite3_busy_timeout(from, 2000);
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup) {
        const std::string message = sqlite3_errmsg(to);
        close();
        return writeError("Cannot copy " + source.string() + ": " + message);
    }
    int status = SQLITE_OK;
    // The engine may hold its write lock for a moment; a copy that never gets in fails.
    for (int attempt = 0; attempt < 100; ++attempt) {
        status = sqlite3_backup_step(backup, -1);
        if (status != SQLITE_BUSY && status != SQLITE_LOCKED)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    sqlite3_backup_finish(backup);
    const std::string message = sqlite3_errstr(status);
    close();
    if (status != SQLITE_DONE)
        return writeError("Cannot copy " + source.string() + ": " + message);
    tightenCompanionFiles(destination);
    return std::monostate{};
}

Result<std::unique_ptr<ContainerZipWriter>>
ContainerZipWriter::create(const std::filesystem::path& destination) {
    auto partial = destination;
    partial += ".partial";
    std::error_code ignored;
    std::filesystem::remove(partial, ignored);
    if (auto made = makePrivateFile(partial); !made)
        return made.error();
    struct archive* archive = archive_write_new();
    // The fastest deflate level: engine data is mostly databases and cached media, where the
    // higher levels cost several times the time for a few per cent of size.
    if (!archive || archive_write_set_format_zip(archive) != ARCHIVE_OK ||
        archive_write_set_format_option(archive, "zip", "compression-level", "1") != ARCHIVE_OK ||
        archive_write_open_filename(archive, partial.c_str()) != ARCHIVE_OK) {
        const std::string message =
            archive ? archive_error_string(archive) ? archive_error_string(archive) : "" : "out of memory";
        if (archive)
            archive_write_free(archive);
        std::filesystem::remove(partial, ignored);
        return writeError("Cannot write " + destination.string() + ": " + message);
    }
    return std::unique_ptr<ContainerZipWriter>(
        new ContainerZipWriter(archive, destination, std::move(partial)));
}

ContainerZipWriter::ContainerZipWriter(struct archive* archive, std::filesystem::path destination,
                                       std::filesystem::path partial)
    : m_archive(archive), m_destination(std::move(destination)), m_partial(std::move(partial)) {}

ContainerZipWriter::~ContainerZipWriter() {
    if (m_archive)
        archive_write_free(m_archive);
    if (!m_committed) {
        std::error_code ignored;
        std::filesystem::remove(m_partial, ignored);
    }
}

Result<std::monostate> ContainerZipWriter::fail(const std::string& what) {
    const char* reason = archive_error_string(m_archive);
    return writeError(what + (reason ? std::string(": ") + reason : std::string()));
}

Result<std::monostate> ContainerZipWriter::addFolder(const std::string& entryName) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname_utf8(entry.get(), (entryName + "/").c_str());
    archive_entry_set_filetype(entry.get(), AE_IFDIR);
    archive_entry_set_perm(entry.get(), 0700);
    archive_entry_set_mtime(entry.get(), ::time(nullptr), 0);
    if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK)
        return fail("Cannot add " + entryName);
    return std::monostate{};
}

Result<std::monostate> ContainerZipWriter::addBytes(const std::string& entryName, const std::string& bytes) {
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname_utf8(entry.get(), entryName.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0600);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(bytes.size()));
    archive_entry_set_mtime(entry.get(), ::time(nullptr), 0);
    if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK ||
        archive_write_data(m_archive, bytes.data(), bytes.size()) != static_cast<la_ssize_t>(bytes.size()) ||
        archive_write_finish_entry(m_archive) != ARCHIVE_OK)
        return fail("Cannot add " + entryName);
    m_bytes += bytes.size();
    return std::monostate{};
}

Result<std::monostate> ContainerZipWriter::addFile(const std::string& entryName,
                                                   const std::filesystem::path& source) {
    FileDescriptor file{::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0)
        return writeError("Cannot read " + source.string() + ": " + std::strerror(errno));
    std::unique_ptr<archive_entry, void (*)(archive_entry*)> entry(archive_entry_new(), archive_entry_free);
    archive_entry_set_pathname_utf8(entry.get(), entryName.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0600);
    archive_entry_set_size(entry.get(), info.st_size);
    archive_entry_set_mtime(entry.get(), info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    if (archive_write_header(m_archive, entry.get()) != ARCHIVE_OK)
        return fail("Cannot add " + entryName);
    std::vector<char> buffer(kChunk);
    auto remaining = static_cast<std::uint64_t>(info.st_size);
    while (remaining > 0) {
        const ssize_t got = ::read(file.fd, buffer.data(), std::min<std::uint64_t>(buffer.size(), remaining));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            // The recorded size can no longer be honoured: a short entry would corrupt the archive.
            return writeError("Cannot read " + source.string() + ": it changed while being archived");
        if (archive_write_data(m_archive, buffer.data(), static_cast<std::size_t>(got)) != got)
            return fail("Cannot add " + entryName);
        remaining -= static_cast<std::uint64_t>(got);
        m_bytes += static_cast<std::uint64_t>(got);
    }
    if (archive_write_finish_entry(m_archive) != ARCHIVE_OK)
        return fail("Cannot add " + entryName);
    return std::monostate{};
}

Result<std::monostate> ContainerZipWriter::addTree(const std::string& entryPrefix,
                                                   const std::filesystem::path& folder,
                                                   const std::filesystem::path& scratch) {
    if (auto added = addFolder(entryPrefix); !added)
        return added;
    std::error_code error;
    std::filesystem::recursive_directory_iterator it(folder, std::filesystem::directory_options::none, error);
    int snapshots = 0;
    for (; !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        const auto& path = it->path();
        const auto relative = path.lexically_relative(folder).generic_string();
        const auto name = entryPrefix + "/" + relative;
        const auto status = it->symlink_status(error);
        if (error)
            break;
        if (std::filesystem::is_directory(status)) {
            if (auto added = addFolder(name); !added)
                return added;
            continue;
        }
        if (!std::filesystem::is_regular_file(status) || path.filename() == ".DS_Store" || isCompanion(path))
            continue;
        if (isSqliteDatabase(path)) {
            const auto copy = scratch / ("snapshot-" + std::to_string(++snapshots));
            auto copied = snapshotSqliteDatabase(path, copy);
            auto added = copied ? addFile(name, copy) : copied;
            std::error_code ignored;
            for (const char* suffix : {"", "-wal", "-shm", "-journal"})
                std::filesystem::remove(copy.string() + suffix, ignored);
            if (!added)
                return added;
            continue;
        }
        if (auto added = addFile(name, path); !added)
            return added;
    }
    if (error)
        return writeError("Cannot read " + folder.string() + ": " + error.message());
    return std::monostate{};
}

Result<std::monostate> ContainerZipWriter::commit() {
    if (archive_write_close(m_archive) != ARCHIVE_OK)
        return fail("Cannot finish " + m_destination.string());
    std::error_code error;
    std::filesystem::rename(m_partial, m_destination, error);
    if (error)
        return writeError("Cannot move the archive to " + m_destination.string() + ": " + error.message());
    m_committed = true;
    return std::monostate{};
}

} // namespace orvi
