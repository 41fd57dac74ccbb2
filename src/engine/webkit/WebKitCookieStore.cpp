#include "engine/webkit/WebKitCookieStore.h"

#include "core/base/Log.h"
#include "engine/webkit/WebKitConversions.h"

#include <memory>

namespace orvi::engine::webkit {
namespace {

template <class Completion> gpointer boxed(Completion completion) {
    return new Completion(std::move(completion));
}

template <class Completion> std::unique_ptr<Completion> unboxed(gpointer data) {
    return std::unique_ptr<Completion>(static_cast<Completion*>(data));
}

std::vector<Cookie> takeCookies(GList* list) {
    std::vector<Cookie> cookies;
    for (GList* item = list; item; item = item->next)
        cookies.push_back(cookieFromSoup(static_cast<SoupCookie*>(item->data)));
    g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
    return cookies;
}

// Hands over the list, or no list and the error when the store could not be read (an empty
// jar is an empty list without an error).
void readAll(WebKitCookieManager* manager, std::function<void(GList*, GError*)> then) {
    using Then = std::function<void(GList*, GError*)>;
    webkit_cookie_manager_get_all_cookies(
        manager, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto then = unboxed<Then>(data);
            GError* error = nullptr;
            GList* list =
                webkit_cookie_manager_get_all_cookies_finish(WEBKIT_COOKIE_MANAGER(source), result, &error);
            if (error)
                logLine(std::string("❌ Reading cookies failed: ") + error->message);
            (*then)(list, error);
            g_clear_error(&error);
        },
        boxed(Then(std::move(then))));
}

bool sameCookie(SoupCookie* stored, const Cookie& cookie) {
    const char* domain = soup_cookie_get_domain(stored);
    const char* path = soup_cookie_get_path(stored);
    return cookie.name == soup_cookie_get_name(stored) && cookie.domain == (domain ? domain : "") &&
           (cookie.path.empty() ? std::string("/") : cookie.path) == (path ? path : "/");
}

} // namespace

WebKitCookieStore::WebKitCookieStore(WebKitCookieManager* manager)
    : m_manager(GObjectPtr<WebKitCookieManager>::retain(manager)) {
    m_changedHandler =
        g_signal_connect(manager, "changed", G_CALLBACK(+[](WebKitCookieManager*, gpointer self) {
                             static_cast<WebKitCookieStore*>(self)->m_changed.emit();
                         }),
                         this);
}

WebKitCookieStore::~WebKitCookieStore() {
    g_signal_handler_disconnect(m_manager.get(), m_changedHandler);
}

void WebKitCookieStore::getAllCookies(std::function<void(Result<std::vector<Cookie>>)> completion) {
    readAll(m_manager.get(), [completion = std::move(completion)](GList* list, GError* error) {
        if (error)
            completion(Error{g_quark_to_string(error->domain), error->code, error->message});
        else
            completion(takeCookies(list));
    });
}

Connection WebKitCookieStore::observeChanges(std::function<void()> observer) {
    return m_changed.connect([observer = std::move(observer)] { observer(); });
}

void WebKitCookieStore::setCookie(const Cookie& cookie, std::function<void()> completion) {
    using Completion = std::function<void()>;
    SoupCookie* soup = soupCookieFrom(cookie);
    webkit_cookie_manager_add_cookie(
        m_manager.get(), soup, nullptr,
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto completion = unboxed<Completion>(data);
            GError* error = nullptr;
            if (!webkit_cookie_manager_add_cookie_finish(WEBKIT_COOKIE_MANAGER(source), result, &error)) {
                logLine(std::string("❌ Setting a cookie failed: ") +
                        (error ? error->message : "unknown error"));
                g_clear_error(&error);
            }
            (*completion)();
        },
        boxed(Completion(std::move(completion))));
    soup_cookie_free(soup);
}

void WebKitCookieStore::deleteCookie(const Cookie& cookie, std::function<void()> completion) {
    auto manager = m_manager;
    readAll(manager.get(),
            [manager, cookie, completion = std::move(completion)](GList* list, GError*) mutable {
                GList* matching = nullptr;
                for (GList* item = list; item; item = item->next) {
                    auto* stored = static_cast<SoupCookie*>(item->data);
                    if (sameCookie(stored, cookie))
                        matching = g_list_prepend(matching, soup_cookie_copy(stored));
                }
                g_list_free_full(list, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
                // Deletions are answered one by one; the last answer completes the call.
                auto remaining = std::make_shared<int>(static_cast<int>(g_list_length(matching)));
                auto shared = std::make_shared<std::function<void()>>(std::move(completion));
                if (*remaining == 0) {
                    (*shared)();
                    return;
                }
                using Step = std::function<void()>;
                for (GList* item = matching; item; item = item->next) {
                    webkit_cookie_manager_delete_cookie(
                        manager.get(), static_cast<SoupCookie*>(item->data), nullptr,
                        [](GObject* source, GAsyncResult* result, gpointer data) {
                            auto step = unboxed<Step>(data);
                            GError* error = nullptr;
                            if (!webkit_cookie_manager_delete_cookie_finish(WEBKIT_COOKIE_MANAGER(source),
                                                                            result, &error)) {
                                logLine(std::string("❌ Deleting a cookie failed: ") +
                                        (error ? error->message : "unknown error"));
                                g_clear_error(&error);
                            }
                            (*step)();
                        },
                        boxed(Step([remaining, shared] {
                            if (--*remaining == 0)
                                (*shared)();
                        })));
                }
                g_list_free_full(matching, reinterpret_cast<GDestroyNotify>(soup_cookie_free));
            });
}

} // namespace orvi::engine::webkit
