#include "ui/VPNWarningAlert.h"

#include "ui/AdwWidgets.h"

namespace orvi::ui {

void showVPNWarningAlert(Gtk::Window& parent, std::function<void(VPNWarningFlow::Response)> closed) {
    auto* dialog = adw_message_dialog_new(parent.gobj(), "VPN обнаружен",
                                          "Обнаружено активное VPN соединение. Для корректной работы "
                                          "рекомендуется отключить VPN перед подключением.");
    auto* alert = ADW_MESSAGE_DIALOG(dialog);
    adw_message_dialog_add_responses(alert, "disconnect", "Отключить VPN", "ignore", "Мне всё равно",
                                     "cancel", "Отмена", nullptr);
    adw_message_dialog_set_response_appearance(alert, "disconnect", ADW_RESPONSE_SUGGESTED);
    adw_message_dialog_set_response_appearance(alert, "ignore", ADW_RESPONSE_DESTRUCTIVE);
    adw_message_dialog_set_default_response(alert, "disconnect");
    adw_message_dialog_set_close_response(alert, "cancel");
    adw::connect<const char*>(dialog, "response",
                              std::function<void(const char*)>([closed = std::move(closed)](const char* id) {
                                  const std::string_view response(id);
                                  closed(response == "disconnect" ? VPNWarningFlow::Response::disconnectVPN
                                         : response == "ignore"   ? VPNWarningFlow::Response::ignoreFromNowOn
                                                                  : VPNWarningFlow::Response::cancel);
                              }));
    gtk_window_present(GTK_WINDOW(dialog));
}

} // namespace orvi::ui
