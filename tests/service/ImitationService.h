#pragma once

#include "service/RecordedRequest.h"
#include "service/ServiceEndpoints.h"
#include "service/UserAccounts.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

typedef struct _SoupServer SoupServer;
typedef struct _SoupServerMessage SoupServerMessage;
typedef struct _GSocketService GSocketService;
typedef struct _GSocketConnection GSocketConnection;

namespace orvi::test {

// A local imitation of the messenger's web client. It listens on loopback and is reached
// as an HTTP proxy (ORVI_PROXY), so the application keeps its real host names: requests
// arrive with absolute targets and are routed by their Host header to the role of that
// host. It records every request with its header lines exactly as sent.
//
// It runs on the default GLib main context: whoever waits for a web view to load keeps
// iterating it, and the service answers in between.
class ImitationService {
public:
    struct Chat {
        std::string name;
        int unread = 0;
        // The last message and its time, as the chat list shows them.
        std::string preview;
        std::string time;
    };

    // Listens on 127.0.0.1 at the port given, or at a free one with port 0.
    static std::unique_ptr<ImitationService> start(ServiceEndpoints endpoints = {}, int port = 0);
    ~ImitationService();
    ImitationService(const ImitationService&) = delete;
    ImitationService& operator=(const ImitationService&) = delete;

    const ServiceEndpoints& endpoints() const { return m_endpoints; }
    // The value for ORVI_PROXY.
    std::string proxyURL() const;
    // Writes the endpoints file (for ORVI_SERVICE_ENDPOINTS) into the folder and returns its path.
    std::filesystem::path writeEndpointsFile(const std::filesystem::path& folder) const;

    // The messenger page and the places it links to.
    std::string webURL(const std::string& path = "/") const {
        return m_endpoints.url(m_endpoints.webHost, path);
    }

    std::vector<RecordedRequest> requests() const { return m_requests; }
    // Requests to one host and path (query ignored), oldest first.
    std::vector<RecordedRequest> requestsTo(const std::string& host, const std::string& path) const;
    void clearRequests() { m_requests.clear(); }

    // The chat list the page shows; its unread counters make the title "(N) ORVI".
    std::vector<Chat>& chats() { return m_chats; }
    // When set, the login form submits itself as soon as it is shown, so a test can log in
    // through the page of an application running in another process.
    bool autoLogin = false;
    // Told of every request as it arrives (the demo prints them for process tests).
    std::function<void(const RecordedRequest&)> onRequest;

    // Routes on the web host besides the client: "/echo" (a plain page titled "Echo"),
    // "/links" (a link, a new-window link and forms), "/conversation" (an open chat with
    // 500 messages and older history loaded on scrolling up),
    // "/login" (POST, sets the session cookies), "/api/chats",
    // "/hang", which never answers, and "/stall", which
    // sends the start of a page and then nothing more. The file hosts
    // serve "/files/<name>" ("?as=<name>", "?as8=<percent-encoded UTF-8 name>",
    // "?inline=1" choose the Content-Disposition) and "/images/photo.png".

private:
    ImitationService() = default;
    using Response = pages::PageResponse;

    bool listen(int port);
    void accept(GSocketConnection* connection);
    void handle(SoupServerMessage* message);
    Response route(const RecordedRequest& request);
    Response webClient(const RecordedRequest& request);
    Response file(const RecordedRequest& request);
    // The shared list, with the user's own counters where a test set them.
    std::string chatsJson(const std::string& user = {}) const;

    ServiceEndpoints m_endpoints;
    SoupServer* m_server = nullptr;
    GSocketService* m_listener = nullptr;
    int m_port = 0;
    // Raw request heads read ahead of libsoup, by the client's port: each connection
    // carries one request, so the port names the request.
    std::map<int, std::string> m_rawHeads;
    std::set<unsigned> m_peekSources;
    std::vector<RecordedRequest> m_requests;
    std::vector<Chat> m_chats = {{"Анна", 2, "Давай в семь 👍", "10:11"},
                                 {"Рабочий чат", 0, "Сергей: релиз в пятницу", "09:40"},
                                 {"Борис", 1, "Фото с выходных", "вчера"}};
    UserAccounts m_users;
};

} // namespace orvi::test
