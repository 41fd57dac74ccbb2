#include "PrivateSessionBus.h"
#include "support/AppProcess.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <csignal>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace std::chrono_literals;
using orvi::test::ChildProcess;
using orvi::test::TempDir;

namespace {

constexpr auto kTimeout = 30s;
const std::string kLoginSaved = "   ✅ Login save attempt (t+3s) completed";

// The service's control pages are reached as any client reaches the service: a request with
// an absolute target sent to its proxy port.
bool askService(const std::string& proxy, const std::string& url) {
    const int port = std::stoi(proxy.substr(proxy.rfind(':') + 1));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request =
            "GET " + url + " HTTP/1.1\r\nHost: web.orvi.test\r\nConnection: close\r\n\r\n";
        if (::write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size())) {
            char buffer[512];
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                answer.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return answer.starts_with("HTTP/1.1 200");
}

// A logged-in user of the application in one process and the service in another; the
// service changes the session while the page is open, and the next run must see the change.
class CookieChangeRestartTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(orvi::test::PrivateSessionBus::isActive());
        m_service = orvi::test::startServiceProcess(ORVI_IMITATION_SERVICE_BINARY,
                                                    {"--auto-login", "--log-sessions"});
        ASSERT_TRUE(m_service.process);
    }

    std::unique_ptr<ChildProcess> launchLoggedIn() {
        auto env = orvi::test::confinedAppEnvironment(m_dir.path());
        env.insert(m_service.environment.begin(), m_service.environment.end());
        auto app = ChildProcess::start(ORVI_APP_BINARY, {{}, env, {}});
        EXPECT_TRUE(serviceLine("REQUEST POST web.orvi.test/login")) << "the user logs in through the page";
        EXPECT_TRUE(app->waitForExactLine(kLoginSaved, kTimeout)) << "the login was saved";
        return app;
    }
    std::unique_ptr<ChildProcess> relaunch() {
        auto env = orvi::test::confinedAppEnvironment(m_dir.path());
        env.insert(m_service.environment.begin(), m_service.environment.end());
        return ChildProcess::start(ORVI_APP_BINARY, {{}, env, {}});
    }
    std::optional<std::string> serviceLine(const std::string& prefix, const std::string& containing = "") {
        return m_service.process->waitForLine(
            [&](const std::string& l) {
                return l.starts_with(prefix) && l.find(containing) != std::string::npos;
            },
            kTimeout);
    }
    void setOff(const std::string& event) {
        ASSERT_TRUE(askService(m_service.environment.at("ORVI_PROXY"),
                               "http://web.orvi.test/control/session?next=" + event));
    }
    // Gives the application the moment it takes to notice a change, without asserting that
    // it does: the restart below tells.
    static void letItNotice(ChildProcess& app) {
        if (app.waitForLine([](const std::string& l) { return l.starts_with("🔄 Cookies changed"); }, 5s))
            app.waitForLine([](const std::string& l) { return l.starts_with("   ✅ Saved "); }, 3s);
    }

    TempDir m_dir;
    orvi::test::ServiceProcess m_service;
};

} // namespace

TEST_F(CookieChangeRestartTest, ARotatedSessionSurvivesAKillBeforeThePeriodicSave) {
    std::string rotated;
    {
        auto app = launchLoggedIn();
        setOff("rotate");
        auto seen = serviceLine("REQUEST GET web.orvi.test/api/chats", "-rotated-");
        ASSERT_TRUE(seen) << "the page took the new session cookie";
        rotated = seen->substr(seen->find("session=") + 8);
        letItNotice(*app);
        app->sendSignal(SIGKILL);
        ASSERT_TRUE(app->waitForExit(10s));
    }
    auto again = relaunch();
    auto first = serviceLine("REQUEST GET web.orvi.test/ ");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->substr(first->find("session=") + 8), rotated) << *first;
    EXPECT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats", rotated)) << "still logged in";
}

TEST_F(CookieChangeRestartTest, ALogoutByTheServiceIsNotUndoneByARestart) {
    {
        auto app = launchLoggedIn();
        setOff("end");
        ASSERT_TRUE(serviceLine("REQUEST GET web.orvi.test/api/chats cookies= ")) << "the jar is empty";
        letItNotice(*app);
        app->sendSignal(SIGTERM);
        EXPECT_EQ(app->waitForExit(15s), 0);
    }
    auto again = relaunch();
    auto first = serviceLine("REQUEST GET web.orvi.test/ ");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->find("orvi_session"), std::string::npos) << "no session comes back: " << *first;
}
