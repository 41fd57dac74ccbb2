#pragma once

#include "core/base/Result.h"

#include <filesystem>
#include <memory>
#include <string>

struct archive;

namespace orvi {

// Writes a ZIP archive entry by entry. The archive goes to a temporary name beside its
// destination and takes the destination's name only on commit(), so a failed export never
// leaves a truncated archive under the final name. Every entry is recorded private (files
// 0600, folders 0700): the archive holds sessions.
class ContainerZipWriter {
public:
    static Result<std::unique_ptr<ContainerZipWriter>> create(const std::filesystem::path& destination);
    ~ContainerZipWriter();
    ContainerZipWriter(const ContainerZipWriter&) = delete;
    ContainerZipWriter& operator=(const ContainerZipWriter&) = delete;

    Result<std::monostate> addFolder(const std::string& entryName);
    Result<std::monostate> addFile(const std::string& entryName, const std::filesystem::path& source);
    Result<std::monostate> addBytes(const std::string& entryName, const std::string& bytes);

    // Adds `folder`'s tree under `entryPrefix`. SQLite databases are copied through the
    // backup interface into `scratch` first, so a database the engine is writing arrives
    // whole; their -wal, -shm and -journal companions are then left out. Symbolic links,
    // sockets and ".DS_Store" files are left out.
    Result<std::monostate> addTree(const std::string& entryPrefix, const std::filesystem::path& folder,
                                   const std::filesystem::path& scratch);

    // Finishes the archive and renames it to the destination.
    Result<std::monostate> commit();

    std::uint64_t bytesWritten() const { return m_bytes; }

private:
    ContainerZipWriter(struct archive* archive, std::filesystem::path destination,
                       std::filesystem::path partial);
    Result<std::monostate> fail(const std::string& what);

    struct archive* m_archive;
    std::filesystem::path m_destination;
    std::filesystem::path m_partial;
    bool m_committed = false;
    std::uint64_t m_bytes = 0;
};

// Copies a SQLite database consistently through the backup interface, waiting out the
// writer's locks for a while. `destination` is created 0600.
Result<std::monostate> snapshotSqliteDatabase(const std::filesystem::path& source,
                                              const std::filesystem::path& destination);

// True when the file starts with the SQLite header.
bool isSqliteDatabase(const std::filesystem::path& file);

} // namespace orvi
