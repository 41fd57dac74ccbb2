#include "service/UserAccounts.h"

#include <algorithm>
#include <cstdlib>

namespace orvi::test {

std::optional<pages::PageResponse> UserAccounts::control(const RecordedRequest& request, Fields fields) {
    if (request.path == "/control/next-user") {
        const auto name = fields["name"];
        if (name.empty())
            return pages::plainText(400, "a name is needed");
        m_nextNames.push_back(name);
        return pages::plainText(200, "next login: " + name);
    }
    if (request.path == "/control/user-unread") {
        const auto user = fields["user"];
        const auto chat = fields["chat"];
        const auto count = fields["count"];
        if (user.empty() || chat.empty() || count.empty())
            return pages::plainText(400, "user, chat and count are needed");
        m_unread[{user, static_cast<std::size_t>(std::atoi(chat.c_str()))}] =
            std::max(0, std::atoi(count.c_str()));
        return pages::plainText(200, user + " unread set");
    }
    return std::nullopt;
}

std::string UserAccounts::loginName(const std::string& requested) {
    if (m_nextNames.empty())
        return requested;
    auto name = m_nextNames.front();
    m_nextNames.pop_front();
    return name;
}

int UserAccounts::unread(const std::string& user, std::size_t chat, int shared) const {
    const auto own = m_unread.find({user, chat});
    return own == m_unread.end() ? shared : own->second;
}

} // namespace orvi::test
