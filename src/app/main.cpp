#include "core/base/Log.h"
#include "core/web/OrviDomains.h"

#include <gtkmm.h>

int main(int argc, char* argv[]) {
    // A wrong endpoints file would send every profile's session to the wrong hosts; refuse
    // to start rather than guess.
    const auto domains = orvi::OrviDomains::fromEnvironment();
    if (!domains) {
        orvi::logLine("❌ " + domains.error().message);
        return 1;
    }

    auto app = Gtk::Application::create("com.orviwrapper.OrviWrapper");
    app->signal_activate().connect([app] {
        auto* window = new Gtk::Window();
        window->set_title("OrviWrapper");
        window->set_default_size(450, 800);
        app->add_window(*window);
        window->signal_hide().connect([window] { delete window; });
        window->present();
    });
    return app->run(argc, argv);
}
