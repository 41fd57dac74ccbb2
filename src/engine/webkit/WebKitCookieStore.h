#pragma once

#include "engine/DataStore.h"
#include "engine/webkit/GObjectPtr.h"

#include <webkit/webkit.h>

namespace orvi::engine::webkit {

// The cookie jar of one network session. WebKit answers every call on the main loop and
// always calls back (nothing here is cancelled), so each completion runs exactly once; the
// answers hold nothing of this object and are safe after it is gone.
class WebKitCookieStore final : public CookieStore {
public:
    explicit WebKitCookieStore(WebKitCookieManager* manager);
    ~WebKitCookieStore() override;
    WebKitCookieStore(const WebKitCookieStore&) = delete;
    WebKitCookieStore& operator=(const WebKitCookieStore&) = delete;

    void getAllCookies(std::function<void(Result<std::vector<Cookie>>)> completion) override;
    void setCookie(const Cookie& cookie, std::function<void()> completion) override;
    // WebKit deletes only a cookie whose name, value, domain and path all match; the caller
    // may not know the current value, so every stored cookie with the same name, domain and
    // path is deleted.
    void deleteCookie(const Cookie& cookie, std::function<void()> completion) override;
    Connection observeChanges(std::function<void()> observer) override;

private:
    GObjectPtr<WebKitCookieManager> m_manager;
    Signal<> m_changed;
    gulong m_changedHandler = 0;
};

} // namespace orvi::engine::webkit
