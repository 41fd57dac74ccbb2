#pragma once

#include <functional>
#include <memory>

namespace orvi {

class VPNDetectionServiceProtocol;

// When the VPN warning is shown and what follows it: the check each time the window comes
// back to the front, one warning at a time, and the page's load passing its VPN gate again
// once the warning has closed, so that the window never stays empty. Main thread only.
class VPNWarningFlow final {
public:
    enum class Response { disconnectVPN, ignoreFromNowOn, cancel };

    struct Hooks {
        // The setting the user turns on with "Мне всё равно".
        std::function<bool()> isWarningIgnored;
        std::function<void()> ignoreWarningFromNowOn;
        std::function<void()> showWarning;
        // Lets a load held at the VPN gate check again.
        std::function<void(bool ignoreVPNWarning, bool warnAgain)> retryLoadGate;
    };

    VPNWarningFlow(VPNDetectionServiceProtocol& vpnDetection, Hooks hooks);

    // The window's active state changed. The first activation, at launch, checks nothing:
    // the page's own load runs the first check.
    void windowActiveChanged(bool active);
    // The page's load stopped at the gate and asks for the warning.
    void loadAskedForWarning();
    void warningClosed(Response response);

    bool isWarningShown() const { return m_warningShown; }

private:
    void show();

    VPNDetectionServiceProtocol& m_vpnDetection;
    Hooks m_hooks;
    bool m_hasBeenActive = false;
    bool m_warningShown = false;
    // Answers arriving after the flow is gone are dropped.
    std::shared_ptr<char> m_lifetime = std::make_shared<char>();
};

} // namespace orvi
