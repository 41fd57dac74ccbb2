#pragma once

#include "core/session/CookieJarSyncProtocol.h"
#include "core/session/StorageSnapshotSyncProtocol.h"

#include <memory>

namespace orvi {

// What a page needs to keep its profile's saved session current. Both or neither: a page
// whose cookies are saved without its storage would come back half logged in.
struct SessionSync {
    std::shared_ptr<CookieJarSyncProtocol> cookieJar;
    std::shared_ptr<StorageSnapshotSyncProtocol> storage;

    explicit operator bool() const { return cookieJar && storage; }
};

} // namespace orvi
