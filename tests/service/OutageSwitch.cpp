#include "service/OutageSwitch.h"

#include <csignal>
#include <glib-unix.h>
#include <iostream>

namespace orvi::test::pages {

namespace {

bool hanging = false;

} // namespace

void hangUntilSignalled() {
    hanging = true;
    g_unix_signal_add(
        SIGUSR1,
        +[](gpointer) -> gboolean {
            hanging = false;
            std::cout << "OUTAGE OVER" << std::endl;
            return G_SOURCE_REMOVE;
        },
        nullptr);
}

bool holdsRequest(const RecordedRequest& request, const ServiceEndpoints& endpoints) {
    return hanging && request.host == endpoints.webHost;
}

} // namespace orvi::test::pages
