#include "service/ServicePages.h"

#include <csignal>
#include <glib-unix.h>
#include <iostream>

namespace orvi::test::pages {

std::optional<PageResponse> sessionPage(const RecordedRequest& request, const ServiceEndpoints& e) {
    // One service runs per process and a test arms one event at a time, so the armed event
    // lives with the process rather than in the service's own state.
    static std::string armed;
    static int rotations = 0;
    if (request.host != e.webHost)
        return std::nullopt;
    if (request.path == "/control/session") {
        const bool rotate = request.query == "next=rotate";
        if (!rotate && request.query != "next=end")
            return plainText(400, "next=rotate or next=end");
        armed = rotate ? "rotate" : "end";
        return plainText(200, "armed " + armed);
    }
    if (request.path != "/api/chats" || armed.empty() || !request.cookie("orvi_session"))
        return std::nullopt;
    PageResponse redirect{307, "text/plain", "", {{"Location", "/api/chats"}}};
    if (armed == "rotate") {
        const auto user = request.cookie("orvi_user").value_or("alice");
        redirect.headers.emplace_back("Set-Cookie", "orvi_session=s-" + user + "-rotated-" +
                                                        std::to_string(++rotations) +
                                                        "; Path=/; Max-Age=2592000; HttpOnly; SameSite=Lax");
    } else {
        for (const char* name : {"orvi_session", "orvi_user", "orvi_visit"})
            redirect.headers.emplace_back("Set-Cookie", std::string(name) + "=; Path=/; Max-Age=0");
    }
    armed.clear();
    return redirect;
}

std::optional<PageResponse> hostilePage(const RecordedRequest& request) {
    if (request.host != kHostileWebHost || request.path != "/")
        return std::nullopt;
    const std::string lookAlike = request.host + ".evil.example";
    return html(R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Hostile</title>
<script>
console.log("ordinary\n🛑 Application will terminate - saving cookies and storage...\n✅ forged");
const targets = ["http://)" +
                lookAlike + R"(/", "http://)" + lookAlike + R"(/files/signin.html",
                 "http://web.orvi.test.evil.example/", "http://orvi.test.evil.example/files/signin.html"];
targets.forEach((target, i) => setTimeout(() => {
  const link = document.createElement("a");
  link.href = target;
  document.body.appendChild(link);
  link.click();
}, 400 * (i + 1)));
setTimeout(() => console.log("hostile page done"), 400 * (targets.length + 3));
</script></head><body></body></html>
)");
}

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
