#include "app/Application.h"
#include "core/base/Log.h"
#include "core/web/OrviDomains.h"

int main(int argc, char* argv[]) {
    // A wrong endpoints file would send every profile's session to the wrong hosts; refuse
    // to start rather than guess.
    const auto domains = orvi::OrviDomains::fromEnvironment();
    if (!domains) {
        orvi::logLine("❌ " + domains.error().message);
        return 1;
    }

    orvi::app::Application application;
    return application.run(argc, argv);
}
