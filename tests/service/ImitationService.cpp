#include "service/ImitationService.h"

#include "core/base/Log.h"
#include "service/ServicePages.h"

#include <fstream>
#include <gio/gio.h>
#include <libsoup/soup.h>
#include <sys/socket.h>

namespace orvi::test {

namespace {

inline constexpr std::size_t kMaxHeadSize = 64 * 1024;
inline constexpr const char* kSessionCookieMaxAge = "2592000";
inline constexpr const char* kNotFound = "<!DOCTYPE html><title>Not found</title>";

std::map<std::string, std::string> formFields(const std::string& encoded) {
    std::map<std::string, std::string> fields;
    if (encoded.empty())
        return fields;
    GHashTable* table = soup_form_decode(encoded.c_str());
    GHashTableIter iter;
    gpointer key = nullptr;
    gpointer value = nullptr;
    g_hash_table_iter_init(&iter, table);
    while (g_hash_table_iter_next(&iter, &key, &value))
        fields[static_cast<const char*>(key)] = static_cast<const char*>(value);
    g_hash_table_unref(table);
    return fields;
}

std::string contentTypeOf(const std::string& name) {
    auto dot = name.rfind('.');
    std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (extension == "pdf")
        return "application/pdf";
    if (extension == "zip")
        return "application/zip";
    if (extension == "txt")
        return "text/plain; charset=utf-8";
    return "application/octet-stream";
}

int portOf(GSocketAddress* address) {
    return address && G_IS_INET_SOCKET_ADDRESS(address)
               ? g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(address))
               : -1;
}

} // namespace

std::unique_ptr<ImitationService> ImitationService::start(ServiceEndpoints endpoints, int port) {
    std::unique_ptr<ImitationService> service(new ImitationService());
    service->m_endpoints = std::move(endpoints);
    if (!service->listen(port))
        return nullptr;
    return service;
}

ImitationService::~ImitationService() {
    if (m_listener) {
        g_socket_service_stop(m_listener);
        g_socket_listener_close(G_SOCKET_LISTENER(m_listener));
        g_signal_handlers_disconnect_by_data(m_listener, this);
        g_object_unref(m_listener);
    }
    for (guint source : m_peekSources)
        g_source_remove(source);
    if (m_server) {
        soup_server_disconnect(m_server);
        g_object_unref(m_server);
    }
}

std::string ImitationService::proxyURL() const {
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::filesystem::path ImitationService::writeEndpointsFile(const std::filesystem::path& folder) const {
    auto path = folder / "endpoints.json";
    std::ofstream(path) << toPrettyJsonText(m_endpoints.toJson()) << "\n";
    return path;
}

std::vector<RecordedRequest> ImitationService::requestsTo(const std::string& host,
                                                          const std::string& path) const {
    std::vector<RecordedRequest> found;
    for (const auto& request : m_requests)
        if (request.host == host && request.path == path)
            found.push_back(request);
    return found;
}

bool ImitationService::listen(int port) {
    m_server = soup_server_new("server-header", "OrviImitation", nullptr);
    soup_server_add_handler(
        m_server, nullptr,
        [](SoupServer*, SoupServerMessage* message, const char*, GHashTable*, gpointer data) {
            static_cast<ImitationService*>(data)->handle(message);
        },
        this, nullptr);

    m_listener = g_socket_service_new();
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* address = g_inet_socket_address_new(loopback, static_cast<guint16>(port));
    GSocketAddress* effective = nullptr;
    GError* error = nullptr;
    bool listening =
        g_socket_listener_add_address(G_SOCKET_LISTENER(m_listener), address, G_SOCKET_TYPE_STREAM,
                                      G_SOCKET_PROTOCOL_TCP, nullptr, &effective, &error);
    g_object_unref(address);
    g_object_unref(loopback);
    if (!listening) {
        logLine(std::string("❌ Imitation service could not listen: ") +
                (error ? error->message : "unknown error"));
        g_clear_error(&error);
        return false;
    }
    m_port = portOf(effective);
    g_object_unref(effective);
    g_signal_connect(m_listener, "incoming",
                     G_CALLBACK(+[](GSocketService*, GSocketConnection* connection, GObject*, gpointer data) {
                         static_cast<ImitationService*>(data)->accept(connection);
                         return TRUE;
                     }),
                     this);
    g_socket_service_start(m_listener);
    return true;
}

// libsoup keeps its own header order (well-known names first), so the request head is
// read ahead of it, without consuming it, to record the header lines as they were sent.
void ImitationService::accept(GSocketConnection* connection) {
    struct Peek {
        ImitationService* owner;
        GSocketConnection* connection;
        guint source = 0;
    };
    auto* peek = new Peek{this, G_SOCKET_CONNECTION(g_object_ref(connection))};
    peek->source = g_timeout_add_full(
        G_PRIORITY_DEFAULT, 1,
        [](gpointer data) -> gboolean {
            auto* peek = static_cast<Peek*>(data);
            GSocket* socket = g_socket_connection_get_socket(peek->connection);
            std::string buffer(kMaxHeadSize, '\0');
            ssize_t size =
                recv(g_socket_get_fd(socket), buffer.data(), buffer.size(), MSG_PEEK | MSG_DONTWAIT);
            if (size < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                return G_SOURCE_CONTINUE;
            ImitationService* owner = peek->owner;
            buffer.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
            auto end = buffer.find("\r\n\r\n");
            if (size > 0 && end == std::string::npos && buffer.size() < kMaxHeadSize)
                return G_SOURCE_CONTINUE;
            owner->m_peekSources.erase(peek->source);
            if (size <= 0)
                return G_SOURCE_REMOVE;
            GSocketAddress* remote = g_socket_connection_get_remote_address(peek->connection, nullptr);
            GSocketAddress* local = g_socket_connection_get_local_address(peek->connection, nullptr);
            owner->m_rawHeads[portOf(remote)] =
                buffer.substr(0, end == std::string::npos ? buffer.size() : end + 4);
            GError* error = nullptr;
            if (!soup_server_accept_iostream(owner->m_server, G_IO_STREAM(peek->connection), local, remote,
                                             &error)) {
                logLine(std::string("❌ Imitation service could not take a connection: ") + error->message);
                g_clear_error(&error);
            }
            g_clear_object(&remote);
            g_clear_object(&local);
            return G_SOURCE_REMOVE;
        },
        peek,
        [](gpointer data) {
            auto* peek = static_cast<Peek*>(data);
            g_object_unref(peek->connection);
            delete peek;
        });
    m_peekSources.insert(peek->source);
}

void ImitationService::handle(SoupServerMessage* message) {
    int port = portOf(soup_server_message_get_remote_address(message));
    std::optional<RecordedRequest> request;
    if (auto it = m_rawHeads.find(port); it != m_rawHeads.end()) {
        request = RecordedRequest::fromRawHead(it->second);
        m_rawHeads.erase(it);
    }
    if (!request) {
        soup_server_message_set_status(message, SOUP_STATUS_BAD_REQUEST, nullptr);
        return;
    }
    SoupMessageBody* body = soup_server_message_get_request_body(message);
    if (GBytes* bytes = soup_message_body_flatten(body)) {
        gsize size = 0;
        const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
        request->body.assign(data ? data : "", size);
        g_bytes_unref(bytes);
    }
    m_requests.push_back(*request);
    if (onRequest)
        onRequest(*request);
    // A page that never answers, for time-outs, and one that stops halfway through its body,
    // for failures after a load has committed.
    if ((request->host == m_endpoints.webHost && request->path == "/hang") ||
        pages::holdsRequest(*request, m_endpoints)) {
        soup_server_message_pause(message);
        return;
    }
    if (request->host == m_endpoints.webHost && request->path == "/stall") {
        // Enough text for the engine to stop sniffing and show the page.
        static const std::string kFirstPart =
            "<!DOCTYPE html><html><head><title>Stalled</title></head><body><p>" + std::string(4096, ' ') +
            "</p>";
        soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
        SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
        soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
        soup_message_headers_set_content_type(headers, "text/html", nullptr);
        soup_message_body_append(soup_server_message_get_response_body(message), SOUP_MEMORY_STATIC,
                                 kFirstPart.data(), kFirstPart.size());
        return;
    }

    Response response = route(*request);
    soup_server_message_set_status(message, static_cast<guint>(response.status), nullptr);
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    for (const auto& [name, value] : response.headers)
        soup_message_headers_append(headers, name.c_str(), value.c_str());
    // One request per connection keeps the port-to-request match above unambiguous.
    soup_message_headers_replace(headers, "Connection", "close");
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    soup_server_message_set_response(message, response.contentType.c_str(), SOUP_MEMORY_COPY,
                                     response.body.data(), response.body.size());
}

ImitationService::Response ImitationService::route(const RecordedRequest& request) {
    const auto& e = m_endpoints;
    if (auto page = pages::mediaPage(request, e))
        return *page;
    if (auto page = pages::hostilePage(request))
        return *page;
    if (auto page = pages::sessionPage(request, e))
        return *page;
    if (request.host == e.webHost)
        return webClient(request);
    if (request.host == e.serviceDomain)
        return Response{302, "text/html", "", {{"Location", webURL(request.path)}}};
    if (request.host == e.downloadHost || request.host == e.webDownloadHost || request.host == e.fileHost) {
        if (request.path.rfind("/files/", 0) == 0)
            return file(request);
        if (request.path == "/images/photo.png")
            return Response{200, "image/png", pages::pixelPng(), {}};
        if (request.host == e.downloadHost && (request.path == "/" || request.path == "/download"))
            return pages::html(pages::landingPage());
        return pages::html(kNotFound, 404);
    }
    if (request.host == e.landingHost)
        return pages::html(pages::landingPage());
    return pages::html(pages::foreignPage(request.host));
}

ImitationService::Response ImitationService::webClient(const RecordedRequest& request) {
    const auto& path = request.path;
    if (path == "/")
        return pages::html(pages::messengerPage(m_endpoints, autoLogin));
    if (path == "/static/client.js")
        return Response{200, "application/javascript; charset=utf-8", pages::clientScript(), {}};
    if (path == "/login" && request.method == "POST") {
        auto fields = formFields(request.body);
        std::string user =
            m_users.loginName(fields.count("user") && !fields["user"].empty() ? fields["user"] : "alice");
        std::string token = "s-" + user + "-" + std::to_string(g_random_int());
        return Response{303,
                        "text/html",
                        "",
                        {{"Location", "/"},
                         {"Set-Cookie", "orvi_session=" + token + "; Path=/; Max-Age=" +
                                            kSessionCookieMaxAge + "; HttpOnly; SameSite=Lax"},
                         {"Set-Cookie", "orvi_user=" + user + "; Path=/; Max-Age=" + kSessionCookieMaxAge},
                         {"Set-Cookie", "orvi_visit=1; Path=/"}}};
    }
    if (path == "/api/chats")
        return Response{200, "application/json", chatsJson(request.cookie("orvi_user").value_or("")), {}};
    if (auto control = m_users.control(request, formFields(request.query)))
        return *control;
    if (path == "/links")
        return pages::html(pages::linksPage());
    if (path == "/conversation")
        return pages::html(pages::conversationPage());
    if (path == "/echo")
        return pages::html("<!DOCTYPE html><html><head><title>Echo</title></head><body>echo</body></html>");
    return pages::html(kNotFound, 404);
}

// Files carry their name as the query says: "as" a plain quoted name, "as8" a
// percent-encoded UTF-8 name (filename*=UTF-8''), "inline=1" none at all.
ImitationService::Response ImitationService::file(const RecordedRequest& request) {
    auto fields = formFields(request.query);
    const std::string name = std::filesystem::path(request.path).filename();
    Response response{200, contentTypeOf(name), "ORVI imitation file " + request.path + "\n", {}};
    if (const auto utf8 = fields.find("as8"); utf8 != fields.end()) {
        g_autofree char* encoded = g_uri_escape_string(utf8->second.c_str(), nullptr, FALSE);
        response.headers.emplace_back("Content-Disposition",
                                      std::string("attachment; filename*=UTF-8''") + encoded);
    } else if (fields["inline"] != "1") {
        response.headers.emplace_back("Content-Disposition", "attachment; filename=\"" +
                                                                 (fields.count("as") ? fields["as"] : name) +
                                                                 "\"");
    }
    return response;
}

std::string ImitationService::chatsJson(const std::string& user) const {
    Json chats = Json::array();
    for (std::size_t i = 0; i < m_chats.size(); ++i)
        chats.push_back(Json{{"id", i + 1},
                             {"name", m_chats[i].name},
                             {"unread", m_users.unread(user, i, m_chats[i].unread)},
                             {"preview", m_chats[i].preview},
                             {"time", m_chats[i].time}});
    return toJsonText(Json{{"chats", chats}});
}

} // namespace orvi::test
