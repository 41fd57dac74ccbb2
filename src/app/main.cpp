#include <gtkmm.h>

int main(int argc, char* argv[]) {
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
