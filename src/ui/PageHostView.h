#pragma once

#include "core/base/Signal.h"
#include "core/page/PageHost.h"

#include <gtkmm.h>
#include <memory>

namespace orvi {
class MainWebViewModel;
}

namespace orvi::ui {

// Shows the page of the model's current coordinator, with a spinner over it while the page
// loads. When the model replaces its coordinator (a profile switch), a new host takes over
// for the new profile, as the design's per-profile host identity asks.
class PageHostView final : public Gtk::Overlay {
public:
    using OptionsSource = std::function<PageLoader::Options()>;

    PageHostView(std::shared_ptr<MainWebViewModel> model, PageHost::Context context, OptionsSource options);
    ~PageHostView() override;

private:
    void showHost();
    void show(const std::shared_ptr<engine::WebView>& webView);

    std::shared_ptr<MainWebViewModel> m_model;
    PageHost::Context m_context;
    OptionsSource m_options;
    std::shared_ptr<PageHost> m_host;
    std::shared_ptr<engine::WebView> m_shown;
    Gtk::Box m_placeholder;
    Gtk::Spinner m_spinner;
    Connection m_coordinatorChanged;
    Connection m_loadingChanged;
    Connection m_activeProfileChanged;
};

} // namespace orvi::ui
