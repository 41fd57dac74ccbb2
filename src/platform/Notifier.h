#pragma once

#include "core/base/Signal.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orvi::platform {

struct NotificationButton {
    std::string actionIdentifier;
    std::string title;
};

// One desktop notification. Posting another with the same identifier replaces it, so a
// profile never stacks up several "new messages" notifications.
struct Notification {
    std::string identifier;
    std::string title;
    std::string subtitle;
    std::string body;
    std::vector<NotificationButton> buttons;
    // Handed back with every click on the notification or one of its buttons.
    std::string target;
};

// What the user clicked: the body (kDefaultActionIdentifier) or a button.
struct NotificationResponse {
    std::string actionIdentifier;
    std::string target;
};

inline constexpr const char* kDefaultActionIdentifier = "DEFAULT";

// The desktop's notification centre.
class Notifier {
public:
    using AuthorizationCompletion = std::function<void(bool granted, std::optional<std::string> error)>;
    using PostCompletion = std::function<void(std::optional<std::string> error)>;

    virtual ~Notifier() = default;

    // Asks whether notifications may be shown. The completion runs once, on the main thread.
    virtual void requestAuthorization(AuthorizationCompletion completion) = 0;
    // The completion runs once, on the main thread, with an error text when it was not shown.
    virtual void post(const Notification& notification, PostCompletion completion) = 0;
    // Removes a shown notification; an unknown identifier is ignored.
    virtual void withdraw(const std::string& identifier) = 0;
    // Clicks, delivered on the main thread.
    virtual Signal<NotificationResponse>& responses() = 0;
};

} // namespace orvi::platform
