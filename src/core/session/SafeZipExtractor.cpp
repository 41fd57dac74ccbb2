#include "core/session/SafeZipExtractor.h"

#include <archive.h>
#include <archive_entry.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace orvi {
namespace {

Error refusal(const std::string& message) {
    return Error{"SafeZipExtractor", 1, message};
}

// The entry's name as plain folder steps, or nothing when it is absolute or climbs out.
std::optional<std::vector<std::string>> safeSteps(const std::string& name) {
    if (name.empty() || name.front() == '/')
        return std::nullopt;
    std::vector<std::string> steps;
    std::size_t start = 0;
    while (start <= name.size()) {
        const auto end = std::min(name.find('/', start), name.size());
        const auto step = name.substr(start, end - start);
        if (step == "..")
            return std::nullopt;
        if (!step.empty() && step != ".")
            steps.push_back(step);
        start = end + 1;
    }
    if (steps.empty())
        return std::nullopt;
    return steps;
}

// Creates each missing folder 0700; an existing step must be a real folder, never a link.
bool makeFolders(const std::filesystem::path& root, const std::vector<std::string>& steps,
                 std::size_t count) {
    auto path = root;
    for (std::size_t i = 0; i < count; ++i) {
        path /= steps[i];
        if (::mkdir(path.c_str(), 0700) == 0)
            continue;
        struct stat info {};
        if (errno != EEXIST || ::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
            return false;
    }
    return ::chmod(path.c_str(), 0700) == 0 || count == 0;
}

} // namespace

Result<SafeZipExtractor::Summary> SafeZipExtractor::extract(const std::filesystem::path& archivePath,
                                                            const std::filesystem::path& destination,
                                                            const std::vector<Route>& routes,
                                                            const Limits& limits) {
    std::unique_ptr<archive, int (*)(archive*)> reader(archive_read_new(), archive_read_free);
    if (!reader || archive_read_support_format_zip(reader.get()) != ARCHIVE_OK)
        return refusal("Cannot set up the ZIP reader");
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 256 * 1024) != ARCHIVE_OK)
        return refusal("Cannot open " + archivePath.string() + ": " + archive_error_string(reader.get()));

    Summary summary;
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN) {
            const char* reason = archive_error_string(reader.get());
            return refusal("Not a readable ZIP archive: " + std::string(reason ? reason : "unknown format"));
        }
        if (++summary.entries > limits.maxEntries)
            return refusal("The archive holds more than " + std::to_string(limits.maxEntries) + " entries");
        const char* rawName = archive_entry_pathname_utf8(entry);
        if (!rawName)
            rawName = archive_entry_pathname(entry);
        const std::string name = rawName ? rawName : "";
        auto steps = safeSteps(name);
        if (!steps)
            return refusal("Refusing the entry \"" + name + "\": its name leaves the destination folder");
        const auto type = archive_entry_filetype(entry);
        if (archive_entry_hardlink(entry) || archive_entry_symlink(entry) || type == AE_IFLNK)
            return refusal("Refusing the entry \"" + name + "\": links are not accepted");
        if (type != AE_IFREG && type != AE_IFDIR)
            return refusal("Refusing the entry \"" + name + "\": not a file or a folder");

        auto root = destination;
        std::size_t skip = 0;
        for (const auto& route : routes) {
            auto prefix = safeSteps(route.prefix);
            if (prefix && prefix->size() <= steps->size() &&
                std::equal(prefix->begin(), prefix->end(), steps->begin())) {
                root = route.folder;
                skip = prefix->size();
                ++summary.routedEntries;
                break;
            }
        }
        const std::vector<std::string> local(steps->begin() + static_cast<std::ptrdiff_t>(skip),
                                             steps->end());

        if (type == AE_IFDIR) {
            if (!makeFolders(root, local, local.size()))
                return refusal("Cannot create the folder for \"" + name + "\"");
            continue;
        }
        if (local.empty())
            return refusal("Refusing the entry \"" + name + "\": a file where a folder belongs");
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0 &&
            static_cast<std::uint64_t>(archive_entry_size(entry)) > limits.maxTotalBytes - summary.bytes)
            return refusal("Refusing the entry \"" + name + "\": the archive would unpack to more than " +
                           std::to_string(limits.maxTotalBytes) + " bytes");
        if (!makeFolders(root, local, local.size() - 1))
            return refusal("Cannot create the folder for \"" + name + "\"");
        auto target = root;
        for (const auto& step : local)
            target /= step;
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0)
            return refusal("Cannot create \"" + name + "\": " + std::strerror(errno));
        std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
            ::close(*f);
            delete f;
        });
        ::fchmod(fd, 0600);
        for (;;) {
            const la_ssize_t got = archive_read_data(reader.get(), buffer.data(), buffer.size());
            if (got == 0)
                break;
            if (got < 0) {
                const char* reason = archive_error_string(reader.get());
                return refusal("Cannot unpack \"" + name +
                               "\": " + std::string(reason ? reason : "damaged data"));
            }
            summary.bytes += static_cast<std::uint64_t>(got);
            if (summary.bytes > limits.maxTotalBytes)
                return refusal("Refusing the entry \"" + name + "\": the archive unpacks to more than " +
                               std::to_string(limits.maxTotalBytes) + " bytes");
            for (la_ssize_t done = 0; done < got;) {
                const ssize_t written =
                    ::write(fd, buffer.data() + done, static_cast<std::size_t>(got - done));
                if (written < 0 && errno == EINTR)
                    continue;
                if (written <= 0)
                    return refusal("Cannot write \"" + name + "\": " + std::strerror(errno));
                done += written;
            }
        }
    }
    return summary;
}

} // namespace orvi
