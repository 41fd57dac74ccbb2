// Runs the imitation service on its own, so that the application (or a person with a
// browser set to the proxy) can be pointed at it:
//   orvi-imitation-service [port] [--auto-login] [--log-requests] [--log-sessions] [--demo] [--hang]
// prints the two environment variables to start the application with. --auto-login makes
// the login form submit itself; --log-requests prints one line per request with the names
// of the cookies it carried (process tests read them); --log-sessions adds the value of the
// session cookie, so a test can tell whose session a request carried; --demo logs in by
// itself, shows a longer chat list and has new messages arrive every few seconds, so the
// unread counts and the window title change on their own; --hang leaves the web client's
// requests unanswered until the service gets SIGUSR1.
#include "service/ImitationService.h"
#include "service/ServicePages.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <glib-unix.h>
#include <glib.h>
#include <iostream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    int port = 0;
    bool autoLogin = false;
    bool logRequests = false;
    bool logSessions = false;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--auto-login")
            autoLogin = true;
        else if (argument == "--log-requests")
            logRequests = true;
        else if (argument == "--log-sessions")
            logRequests = logSessions = true;
        else if (argument == "--demo")
            demo = true;
        else if (argument == "--hang")
            orvi::test::pages::hangUntilSignalled();
        else
            port = std::atoi(argv[i]);
    }
    auto service = orvi::test::ImitationService::start({}, port);
    if (!service)
        return 1;
    service->autoLogin = autoLogin || demo;
    if (demo) {
        auto& chats = service->chats();
        chats.push_back({"Мама", 0, "Не забудь позвонить бабушке", "вчера"});
        chats.push_back({"Дизайн-команда", 5, "Ольга: новые макеты в папке", "пн"});
        chats.push_back({"Дмитрий", 0, "Ок, договорились", "пн"});
        chats.push_back({"Книжный клуб", 0, "Следующая встреча в четверг", "вс"});
        // Every few seconds a message arrives in one chat, and now and then one gets read.
        g_timeout_add_seconds(
            4,
            +[](gpointer data) -> gboolean {
                static unsigned tick = 0;
                auto& list = static_cast<orvi::test::ImitationService*>(data)->chats();
                auto& chat = list[(tick * 3) % list.size()];
                chat.unread = tick % 4 == 3 ? 0 : std::min(chat.unread + 1, 99);
                chat.preview = tick % 2 ? "Новое сообщение" : "Ты видел?";
                chat.time = "сейчас";
                ++tick;
                return G_SOURCE_CONTINUE;
            },
            service.get());
    }
    if (logRequests) {
        service->onRequest = [logSessions](const orvi::test::RecordedRequest& request) {
            std::string names;
            for (const auto& [name, value] : request.cookies)
                names += (names.empty() ? "" : ",") + name;
            std::cout << "REQUEST " << request.method << " " << request.host << request.path
                      << " cookies=" << names;
            if (logSessions)
                std::cout << " session=" << request.cookie("orvi_session").value_or("");
            std::cout << std::endl;
        };
    }
    // A fresh private folder: a predictable name in a shared /tmp could be made in advance by
    // someone else, who would then choose the hosts the application trusts.
    std::string pattern = (std::filesystem::temp_directory_path() / "orvi-imitation-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::cerr << "cannot create a temporary folder" << std::endl;
        return 1;
    }
    const std::filesystem::path folder = pattern;
    auto endpoints = service->writeEndpointsFile(folder);
    std::cout << "ORVI_SERVICE_ENDPOINTS=" << endpoints.string() << "\n"
              << "ORVI_PROXY=" << service->proxyURL() << "\n"
              << "web client: " << service->webURL() << " (through the proxy)" << std::endl;

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    auto quit = +[](gpointer data) {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
    };
    g_unix_signal_add(SIGINT, quit, loop);
    g_unix_signal_add(SIGTERM, quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    service.reset();
    std::filesystem::remove_all(folder);
    return 0;
}
