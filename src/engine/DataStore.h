#pragma once

#include "core/base/Signal.h"
#include "engine/EngineTypes.h"

#include <functional>
#include <vector>

namespace orvi::engine {

// A profile's cookie jar inside the engine. Every completion is called exactly once, on
// the main thread.
class CookieStore {
public:
    virtual ~CookieStore() = default;

    // Every cookie of the store, HTTP-only ones included, or why the store could not be read:
    // a failed read must never pass for an empty jar (that would look like a logout).
    virtual void getAllCookies(std::function<void(Result<std::vector<Cookie>>)> completion) = 0;
    virtual void setCookie(const Cookie& cookie, std::function<void()> completion) = 0;
    virtual void deleteCookie(const Cookie& cookie, std::function<void()> completion) = 0;
    // Tells the observer whenever the jar's cookies change, whoever changed them (a response,
    // a page script, a call above), for as long as the connection is kept.
    [[nodiscard]] virtual Connection observeChanges(std::function<void()> observer) = 0;
};

// A website data store: cookies, web storage, caches. One per profile, persistent or not.
class DataStore {
public:
    virtual ~DataStore() = default;

    virtual bool isPersistent() const = 0;
    virtual CookieStore& cookieStore() = 0;
    // Removes every kind of website data of this store; the completion runs once.
    virtual void removeAllData(std::function<void()> completion) = 0;
};

} // namespace orvi::engine
