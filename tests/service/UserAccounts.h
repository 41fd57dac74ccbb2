#pragma once

#include "service/DownloadPages.h"
#include "service/RecordedRequest.h"

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace orvi::test {

// Several people on one service, for tests of accounts side by side. Both controls are
// opt-in: without them every login and every chat list is the shared one.
//   "/control/next-user?name=U"  the next login takes the name U, whatever its form sent
//                                (an auto-login always sends the same one); names queue up;
//   "/control/user-unread?user=U&chat=I&count=N"  U's chat I shows N unread from now on,
//                                while everyone else keeps the shared counter.
class UserAccounts {
public:
    using Fields = std::map<std::string, std::string>;
    // Fields are the request's decoded query.
    std::optional<pages::PageResponse> control(const RecordedRequest& request, Fields fields);
    std::string loginName(const std::string& requested);
    int unread(const std::string& user, std::size_t chat, int shared) const;

private:
    std::deque<std::string> m_nextNames;
    std::map<std::pair<std::string, std::size_t>, int> m_unread;
};

} // namespace orvi::test
