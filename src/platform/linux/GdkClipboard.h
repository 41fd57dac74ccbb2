#pragma once

#include "platform/Clipboard.h"

namespace orvi::platform {

// The clipboard of the default display; without a display the text goes nowhere.
class GdkClipboard final : public Clipboard {
public:
    void setText(const std::string& text) override;
};

} // namespace orvi::platform
