#include "core/shell/VPNWarningFlow.h"

#include "core/env/VPNDetectionServiceProtocol.h"

namespace orvi {

VPNWarningFlow::VPNWarningFlow(VPNDetectionServiceProtocol& vpnDetection, Hooks hooks)
    : m_vpnDetection(vpnDetection), m_hooks(std::move(hooks)) {}

void VPNWarningFlow::windowActiveChanged(bool active) {
    if (!active)
        return;
    if (!m_hasBeenActive) {
        m_hasBeenActive = true;
        return;
    }
    m_vpnDetection.checkVPNStatus([this, alive = std::weak_ptr<char>(m_lifetime)](bool isVPNEnabled) {
        if (alive.expired())
            return;
        const bool ignored = m_hooks.isWarningIgnored();
        if (isVPNEnabled && !ignored) {
            show();
            return;
        }
        // The user may have come back after turning the VPN off: a page still held at the
        // gate can load now.
        if (!m_warningShown)
            m_hooks.retryLoadGate(ignored, false);
    });
}

void VPNWarningFlow::loadAskedForWarning() {
    if (m_hooks.isWarningIgnored())
        m_hooks.retryLoadGate(true, false);
    else
        show();
}

void VPNWarningFlow::show() {
    // An already visible warning stays as it is; a second one on top would need closing twice.
    if (m_warningShown)
        return;
    m_warningShown = true;
    m_hooks.showWarning();
}

void VPNWarningFlow::warningClosed(Response response) {
    m_warningShown = false;
    if (response == Response::ignoreFromNowOn)
        m_hooks.ignoreWarningFromNowOn();
    m_hooks.retryLoadGate(m_hooks.isWarningIgnored(), false);
}

} // namespace orvi
