#include "core/page/PageDownloads.h"

#include "core/base/Log.h"
#include "core/base/ProfileId.h"
#include "core/page/DownloadNames.h"
#include "core/web/policy/Url.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvi {

namespace {

constexpr const char* kDownloadsErrorDomain = "OrviWrapperDownloads";
constexpr std::size_t kMaxPending = 16;

Error errorFrom(const std::error_code& code, const std::string& what) {
    return Error{kDownloadsErrorDomain, code.value(), what + ": " + code.message()};
}

std::string httpReason(int status) {
    return "сервер ответил кодом " + std::to_string(status);
}

} // namespace

// One engine download from its start to its end. It is the download's delegate and tells
// the owner exactly once how it ended.
class PageDownloads::Job final : public engine::DownloadDelegate {
public:
    Job(std::weak_ptr<PageDownloads*> owner, std::shared_ptr<engine::Download> download,
        std::optional<Pending> manual)
        : m_owner(std::move(owner)), m_download(std::move(download)), m_manual(std::move(manual)) {}

    void decideDestination(engine::Download& download, const std::string& suggestedFilename,
                           std::function<void(std::optional<std::string>)> completion) override {
        auto owner = m_owner.lock();
        if (!owner) {
            completion(std::nullopt);
            return;
        }
        auto& self = **owner;
        const auto response = download.response();
        if (response && response->isHTTP && (response->statusCode < 200 || response->statusCode > 299)) {
            if (m_manual)
                logLine("❌ Manual download failed: HTTP status " + std::to_string(response->statusCode) +
                        " for " + download.url());
            else
                logLine("❌ Download failed: HTTP status " + std::to_string(response->statusCode) + " for " +
                        download.url());
            m_filename = downloads::suggestedFilename(response, download.url());
            m_ended = true;
            completion(std::nullopt);
            self.failed(*this, httpReason(response->statusCode));
            return;
        }
        m_filename = resolveName(download, suggestedFilename, response);
        auto folder = self.ensurePrivateFolder(self.m_folders.temp / "OrviWrapperNativeDownloads");
        std::error_code error;
        if (folder.ok()) {
            m_folder = folder.value() / ProfileId::generate().text();
            if (!std::filesystem::create_directory(m_folder, error))
                folder = errorFrom(error, "Cannot create the download folder " + m_folder.string());
        }
        if (!folder.ok()) {
            logLine("❌ " + folder.error().message);
            m_ended = true;
            completion(std::nullopt);
            self.failed(*this, "не удалось создать временную папку");
            return;
        }
        m_destination = m_folder / m_filename;
        self.m_events.emit(DownloadEvent{DownloadEvent::Kind::started, m_filename, {}, {}});
        completion(m_destination.string());
    }

    void downloadDidFinish(engine::Download&) override {
        if (auto owner = m_owner.lock(); owner && !m_ended) {
            m_ended = true;
            (**owner).finished(*this, m_destination);
        }
    }

    void downloadDidFail(engine::Download& download, const Error& error) override {
        auto owner = m_owner.lock();
        if (!owner || m_ended)
            return;
        m_ended = true;
        logLine("❌ Download failed: " + error.message + " (domain=" + error.domain +
                ", code=" + std::to_string(error.code) + ")");
        if (!download.url().empty())
            logLine("   URL: " + download.url());
        (**owner).failed(*this, error.message.empty() ? "ошибка сети" : "ошибка загрузки: " + error.message);
    }

    void markEnded() { m_ended = true; }
    const std::string& filename() const { return m_filename; }
    const std::filesystem::path& folder() const { return m_folder; }
    const std::shared_ptr<engine::Download>& download() const { return m_download; }

private:
    std::string resolveName(engine::Download& download, const std::string& suggestedFilename,
                            const std::optional<engine::NavigationResponse>& response) {
        if (!m_manual)
            return downloads::safeFileName(suggestedFilename.empty()
                                               ? downloads::suggestedFilename(response, download.url())
                                               : suggestedFilename);
        if (m_manual->fixedName)
            return *m_manual->fixedName;
        const auto server = downloads::suggestedFilename(response, download.url());
        const auto final =
            downloads::cleanSuggestedDisplayName(m_manual->nameOverride, server).value_or(server);
        logLine("📄 Download filename resolved: server=" + server +
                ", override=" + m_manual->nameOverride.value_or("nil") + ", final=" + final);
        return final;
    }

    std::weak_ptr<PageDownloads*> m_owner;
    std::shared_ptr<engine::Download> m_download;
    std::optional<Pending> m_manual;
    std::string m_filename = "download";
    std::filesystem::path m_folder;
    std::filesystem::path m_destination;
    bool m_ended = false;
};

PageDownloads::PageDownloads(std::shared_ptr<platform::FileSaving> saving, Folders folders)
    : m_saving(std::move(saving)), m_folders(std::move(folders)),
      m_self(std::make_shared<PageDownloads*>(this)) {}

PageDownloads::~PageDownloads() {
    for (auto& [raw, job] : m_jobs) {
        job->markEnded();
        job->download()->setDelegate(nullptr);
        job->download()->cancel();
    }
}

void PageDownloads::startManualDownload(engine::WebView& webView, const std::string& url,
                                        const std::optional<std::string>& nameOverride) {
    requestDownload(webView, url, Pending{url, nameOverride, std::nullopt}, "");
}

void PageDownloads::startManualFileDownload(engine::WebView& webView,
                                            const engine::NavigationResponse& response) {
    requestDownload(webView, response.url,
                    Pending{response.url, std::nullopt, downloads::suggestedFilename(response, response.url)},
                    " (subframe)");
}

void PageDownloads::requestDownload(engine::WebView& webView, const std::string& url, Pending pending,
                                    const char* logLabel) {
    const auto parsed = Url::parse(url);
    if (!parsed || (parsed->scheme() != "https" && parsed->scheme() != "http") || !parsed->host()) {
        logLine("⚠️ Manual download refused, not an http(s) URL: " + url.substr(0, 200));
        return;
    }
    if (m_pending.size() >= kMaxPending)
        m_pending.pop_front();
    m_pending.push_back(std::move(pending));
    logLine("📥 Manual file download started" + std::string(logLabel) + ": " + url);
    // The engine's download goes through the view's own network session: the session's
    // cookies (HttpOnly ones included, Secure ones only over https, by path and domain, again
    // after every redirect) and the view's user agent go with it.
    webView.startDownload(engine::Request{url, {}, engine::CachePolicy::useProtocolCachePolicy, 60.0});
}

void PageDownloads::adoptDownload(const std::shared_ptr<engine::Download>& download) {
    if (!download)
        return;
    std::optional<Pending> manual;
    const auto url = download->url();
    // The engine may hand back the address normalized (escaped letters, a default port), so
    // a download we asked for is recognised by its host and decoded path as well.
    auto sameResource = [&](const std::string& requested) {
        if (requested == url)
            return true;
        const auto a = Url::parse(requested);
        const auto b = Url::parse(url);
        return a && b && a->host() == b->host() && a->path() == b->path();
    };
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        if (sameResource(it->url)) {
            manual = std::move(*it);
            m_pending.erase(it);
            break;
        }
    }
    auto job = std::make_shared<Job>(m_self, download, std::move(manual));
    m_jobs.emplace(job.get(), job);
    download->setDelegate(job.get());
}

Result<std::filesystem::path, Error> PageDownloads::ensurePrivateFolder(const std::filesystem::path& folder) {
    // The temporary directory is shared with every user of the machine: the folder must be
    // ours, a real directory and closed to others, or a planted link could take the files.
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return Error{kDownloadsErrorDomain, errno,
                     "Cannot create " + folder.string() + ": " + std::strerror(errno)};
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return Error{kDownloadsErrorDomain, EPERM, "Refusing a folder not owned by us: " + folder.string()};
    if ((info.st_mode & 0077) != 0 && ::chmod(folder.c_str(), 0700) != 0)
        return Error{kDownloadsErrorDomain, errno, "Cannot close " + folder.string() + " to others"};
    return folder;
}

std::optional<Error> PageDownloads::moveFile(const std::filesystem::path& source,
                                             const std::filesystem::path& destination) {
    std::error_code error;
    std::filesystem::rename(source, destination, error);
    if (!error)
        return std::nullopt;
    if (error != std::errc::cross_device_link)
        return errorFrom(error, "Cannot move " + source.string() + " to " + destination.string());
    // Another file system: copy beside the destination first, so the user's file there is
    // replaced only by a complete copy.
    auto temporary = destination.parent_path() / ("." + destination.filename().string() + ".part-" +
                                                  ProfileId::generate().text().substr(0, 8));
    std::filesystem::copy_file(source, temporary, error);
    if (!error)
        std::filesystem::rename(temporary, destination, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return errorFrom(error, "Cannot copy " + source.string() + " to " + destination.string());
    }
    std::filesystem::remove(source, error);
    return std::nullopt;
}

Result<std::filesystem::path, Error> PageDownloads::stage(const std::filesystem::path& file,
                                                          const std::string& name) {
    auto folder = ensurePrivateFolder(stagingFolder());
    if (!folder.ok())
        return folder.error();
    const auto destination = downloads::uniqueDestination(folder.value(), name);
    if (auto error = moveFile(file, destination))
        return *error;
    return destination;
}

void PageDownloads::finished(Job& job, const std::filesystem::path& file) {
    auto keep = m_jobs[&job];
    const auto name = job.filename();
    auto staged = stage(file, name);
    std::filesystem::path ready = file;
    if (staged.ok())
        ready = staged.value();
    else
        logLine("❌ Failed to persist temporary download: " + staged.error().message);
    if (staged.ok()) {
        std::error_code ignored;
        std::filesystem::remove(job.folder(), ignored);
    }
    forget(job);
    m_events.emit(DownloadEvent{DownloadEvent::Kind::downloaded, name, {}, {}});
    offerToSave(ready, name);
}

void PageDownloads::failed(Job& job, const std::string& reason) {
    auto keep = m_jobs[&job];
    job.markEnded();
    m_events.emit(DownloadEvent{DownloadEvent::Kind::failed, job.filename(), reason, {}});
    if (!job.folder().empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(job.folder(), ignored);
    }
    forget(job);
}

void PageDownloads::forget(Job& job) {
    // The engine may still report the end of a download we turned down; it must not reach a
    // delegate that is gone.
    job.download()->setDelegate(nullptr);
    m_jobs.erase(&job);
}

void PageDownloads::offerToSave(const std::filesystem::path& staged, const std::string& name) {
    const auto suggested = name.empty() ? std::string("download") : name;
    std::weak_ptr<PageDownloads*> weak = m_self;
    m_saving->chooseSaveDestination(
        suggested, m_folders.userDownloads,
        [weak, staged, suggested](std::optional<std::filesystem::path> chosen) {
            std::error_code ignored;
            auto owner = weak.lock();
            if (!owner || !chosen) {
                std::filesystem::remove(staged, ignored);
                if (owner)
                    (**owner).m_events.emit(DownloadEvent{DownloadEvent::Kind::cancelled, suggested, {}, {}});
                return;
            }
            auto& self = **owner;
            if (auto error = moveFile(staged, *chosen)) {
                logLine("❌ Failed to save file: " + error->message);
                self.m_events.emit(
                    DownloadEvent{DownloadEvent::Kind::failed, suggested, "не удалось сохранить файл", {}});
                return;
            }
            logLine("✅ File saved: " + chosen->string());
            self.m_saving->reveal(*chosen);
            self.m_events.emit(DownloadEvent{DownloadEvent::Kind::saved, suggested, {}, *chosen});
        });
}

void PageDownloads::reveal(const std::filesystem::path& file) {
    m_saving->reveal(file);
}

} // namespace orvi
