#pragma once

#include "platform/LauncherBadge.h"
#include "platform/Notifier.h"
#include "platform/StatusItem.h"

#include <optional>
#include <string>
#include <vector>

namespace orvi::test {

// Records what the core asks of the desktop's notification centre.
class RecordingNotifier final : public platform::Notifier {
public:
    void registerActions(const std::vector<platform::NotificationButton>&) override {}
    void requestAuthorization(AuthorizationCompletion completion) override { completion(true, std::nullopt); }
    void post(const platform::Notification& notification, PostCompletion completion) override {
        posted.push_back(notification);
        completion(std::nullopt);
    }
    void withdraw(const std::string& identifier) override { withdrawn.push_back(identifier); }
    Signal<platform::NotificationResponse>& responses() override { return m_responses; }

    void click(const std::string& actionIdentifier, const std::string& target) {
        m_responses.emit(platform::NotificationResponse{actionIdentifier, target});
    }

    std::vector<platform::Notification> posted;
    std::vector<std::string> withdrawn;

private:
    Signal<platform::NotificationResponse> m_responses;
};

class RecordingLauncherBadge final : public platform::LauncherBadge {
public:
    void setCount(std::int64_t count) override { counts.push_back(count); }
    std::optional<std::int64_t> last() const {
        return counts.empty() ? std::nullopt : std::optional<std::int64_t>(counts.back());
    }

    std::vector<std::int64_t> counts;
};

class RecordingStatusItem final : public platform::StatusItem {
public:
    void setToolTip(const std::string& text) override { toolTip = text; }
    void setMenu(const std::vector<platform::StatusMenuItem>& items) override { menu = items; }
    Signal<>& activated() override { return m_activated; }
    Signal<int>& menuItemClicked() override { return m_clicked; }

    void leftClick() { m_activated.emit(); }
    void choose(int id) { m_clicked.emit(id); }
    // The entry with this label, or none.
    const platform::StatusMenuItem* item(const std::string& label) const {
        for (const auto& entry : menu)
            if (entry.label == label)
                return &entry;
        return nullptr;
    }

    std::string toolTip;
    std::vector<platform::StatusMenuItem> menu;

private:
    Signal<> m_activated;
    Signal<int> m_clicked;
};

} // namespace orvi::test
