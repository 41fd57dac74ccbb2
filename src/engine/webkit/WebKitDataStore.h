#pragma once

#include "engine/DataStore.h"
#include "engine/webkit/GObjectPtr.h"
#include "engine/webkit/WebKitCookieStore.h"

#include <webkit/webkit.h>

namespace orvi::engine::webkit {

// A website data store over one WebKitNetworkSession. It also hands every download the
// session starts to the web view that asked for it.
class WebKitDataStore final : public DataStore {
public:
    explicit WebKitDataStore(WebKitNetworkSession* session);
    ~WebKitDataStore() override;
    WebKitDataStore(const WebKitDataStore&) = delete;
    WebKitDataStore& operator=(const WebKitDataStore&) = delete;

    bool isPersistent() const override;
    CookieStore& cookieStore() override { return m_cookies; }
    void removeAllData(std::function<void()> completion) override;

    WebKitNetworkSession* session() const { return m_session.get(); }

private:
    GObjectPtr<WebKitNetworkSession> m_session;
    WebKitCookieStore m_cookies;
    gulong m_downloadStartedHandler = 0;
};

} // namespace orvi::engine::webkit
