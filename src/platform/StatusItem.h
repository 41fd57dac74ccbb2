#pragma once

#include "core/base/Signal.h"

#include <string>
#include <vector>

namespace orvi::platform {

struct StatusMenuItem {
    enum class Kind { Standard, Separator };
    enum class Toggle { None, Radio };

    // Stable for as long as the item means the same thing, so a click that raced a menu
    // update never lands on a different entry.
    int id = 0;
    Kind kind = Kind::Standard;
    std::string label;
    bool enabled = true;
    Toggle toggle = Toggle::None;
    bool checked = false;
    // Shown as Ctrl + this key, e.g. "q" on the quit entry.
    std::string shortcutKey;

    bool operator==(const StatusMenuItem&) const = default;
};

// The application's item in the desktop's tray: an icon with a tooltip, a left click and a
// menu.
class StatusItem {
public:
    virtual ~StatusItem() = default;

    virtual void setToolTip(const std::string& text) = 0;
    virtual void setMenu(const std::vector<StatusMenuItem>& items) = 0;
    // A left click on the icon.
    virtual Signal<>& activated() = 0;
    // A menu entry was chosen; carries its id.
    virtual Signal<int>& menuItemClicked() = 0;
};

} // namespace orvi::platform
