#pragma once

#include "core/shell/VPNWarningFlow.h"

#include <functional>
#include <gtkmm.h>

namespace orvi::ui {

// The "VPN обнаружен" alert over `parent`. `closed` is told once which button closed it
// (Escape counts as "Отмена").
void showVPNWarningAlert(Gtk::Window& parent, std::function<void(VPNWarningFlow::Response)> closed);

} // namespace orvi::ui
