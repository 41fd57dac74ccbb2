#include "app/Application.h"
#include "core/base/Log.h"
#include "core/web/policy/OrviDomains.h"
#include "engine/webkit/ProxyEnvironment.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char* argv[]) {
    // A wrong endpoints file or proxy setting would send every profile's session to the
    // wrong place; refuse to start rather than guess.
    if (auto domains = orvi::OrviDomains::fromEnvironment(); !domains) {
        orvi::logLine("❌ " + domains.error().message);
        return 1;
    }
    if (auto proxy = orvi::engine::webkit::proxyFromEnvironment(); !proxy) {
        orvi::logLine("❌ " + proxy.error().message);
        return 1;
    }
    int status = 0;
    bool restart = false;
    {
        orvi::app::Application application;
        status = application.run(argc, argv);
        restart = application.restartRequested();
    }
    if (restart) {
        ::execv("/proc/self/exe", argv);
        orvi::logLine(std::string("❌ Could not restart: ") + std::strerror(errno));
    }
    return status;
}
