#include "app/Application.h"
#include "core/base/Log.h"
#include "core/web/policy/OrviDomains.h"
#include "engine/webkit/ProxyEnvironment.h"
#include "platform/EnvironmentSnapshot.h"

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
    // Start-up adds to the toolkit's variables for the web processes; a restart must begin
    // as this launch did, or the toolkit would start without GL and the engine load it here.
    const orvi::platform::EnvironmentSnapshot launchedWith({"GDK_DEBUG", "GDK_DISABLE"});
    int status = 0;
    bool restart = false;
    {
        orvi::app::Application application;
        status = application.run(argc, argv);
        restart = application.restartRequested();
    }
    if (restart) {
        launchedWith.restore();
        ::execv("/proc/self/exe", argv);
        orvi::logLine(std::string("❌ Could not restart: ") + std::strerror(errno));
    }
    return status;
}
