#include "service/SessionPages.h"

#include <string>

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
            return PageResponse{400, "text/plain", "next=rotate or next=end\n", {}};
        armed = rotate ? "rotate" : "end";
        return PageResponse{200, "text/plain", "armed " + armed + "\n", {}};
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

} // namespace orvi::test::pages
