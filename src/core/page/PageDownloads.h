#pragma once

#include "core/base/Result.h"
#include "core/base/Signal.h"
#include "core/web/policy/ManualDownloadStarter.h"
#include "engine/WebView.h"
#include "platform/FileSaving.h"

#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace orvi {

// What the window shows about a download.
struct DownloadEvent {
    enum class Kind { started, downloaded, saved, failed, cancelled };
    Kind kind = Kind::started;
    std::string filename;
    // For a failure: why, as one Russian clause for the user.
    std::string reason;
    std::filesystem::path savedPath;
};

// Brings every file the page offers to a save dialog: links the page or the navigation rules
// hand over are fetched through the page's own network session (its cookies and user agent
// go with them), and downloads the engine starts are written to a fresh private folder. A
// finished file waits in the staging folder under a safe unique name until the user saves
// it or cancels. Main thread only.
class PageDownloads final : public ManualDownloadStarter {
public:
    struct Folders {
        std::filesystem::path temp;
        std::filesystem::path userDownloads;
    };

    PageDownloads(std::shared_ptr<platform::FileSaving> saving, Folders folders);
    ~PageDownloads() override;

    // ManualDownloadStarter
    void startManualDownload(engine::WebView& webView, const std::string& url,
                             const std::optional<std::string>& nameOverride) override;
    void startManualFileDownload(engine::WebView& webView,
                                 const engine::NavigationResponse& response) override;

    // A download the engine started for a page (a file in the main frame, or one of ours).
    void adoptDownload(const std::shared_ptr<engine::Download>& download);

    void reveal(const std::filesystem::path& file);

    std::filesystem::path stagingFolder() const { return m_folders.temp / "OrviWrapperDownloads"; }
    [[nodiscard]] Connection subscribe(std::function<void(const DownloadEvent&)> slot) {
        return m_events.connect(std::move(slot));
    }

    // Moves `source` to `destination`. A file already there is replaced in one step, or,
    // across file systems, through a copy beside it that is renamed over it, so a failure
    // never leaves the user's old file half-written or gone.
    // None on success.
    static std::optional<Error> moveFile(const std::filesystem::path& source,
                                         const std::filesystem::path& destination);
    // Moves a finished file into the staging folder under a free name; the path it got.
    Result<std::filesystem::path, Error> stage(const std::filesystem::path& file, const std::string& name);

private:
    class Job;
    struct Pending {
        std::string url;
        std::optional<std::string> nameOverride;
        std::optional<std::string> fixedName;
    };

    void requestDownload(engine::WebView& webView, const std::string& url, Pending pending,
                         const char* logLabel);
    void finished(Job& job, const std::filesystem::path& file);
    void failed(Job& job, const std::string& reason);
    void forget(Job& job);
    void offerToSave(const std::filesystem::path& staged, const std::string& name);
    Result<std::filesystem::path, Error> ensurePrivateFolder(const std::filesystem::path& folder);

    std::shared_ptr<platform::FileSaving> m_saving;
    Folders m_folders;
    std::deque<Pending> m_pending;
    std::map<Job*, std::shared_ptr<Job>> m_jobs;
    std::shared_ptr<PageDownloads*> m_self;
    Signal<DownloadEvent> m_events;
};

} // namespace orvi
