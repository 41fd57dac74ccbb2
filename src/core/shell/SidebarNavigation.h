#pragma once

#include <array>
#include <string>

namespace orvi {

class MainWebViewModel;

// Switches the messenger page between its sections by running the navigation-switch script
// in the page of the model's current coordinator.
class SidebarNavigation final {
public:
    struct Item {
        int index;
        std::string label;
        // A freedesktop icon name.
        std::string iconName;
    };

    static const std::array<Item, 4>& items();

    // Without a web view nothing happens and false is returned. Otherwise the script runs
    // and its outcome is logged when the page answers.
    static bool switchTo(const MainWebViewModel& model, const Item& item);
};

} // namespace orvi
