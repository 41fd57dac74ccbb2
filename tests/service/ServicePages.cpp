#include "service/ServicePages.h"

namespace orvi::test::pages {

std::string messengerPage(const ServiceEndpoints& e, bool autoLogin) {
    auto files = [&](const std::string& host, const std::string& path) { return e.url(host, path); };
    return R"(<!DOCTYPE html>
<html lang="ru"><head><meta charset="utf-8"><title>ORVI</title></head>
<body>
<form id="login-form" method="post" action="/login" hidden>
  <input name="user" value="alice">
  <button id="login-button" type="submit">Войти</button>
</form>
<main id="client" hidden>
  <ul id="chat-list" class="chat-list"></ul>
  <section class="messages">
    <div class="file-card"><button class="attachment" role="button"><span class="filename">Отчёт за март.pdf</span></button>
      <a id="file-token" class="download-link" href=")" +
           files(e.fileHost, "/files/a8f3k2q9.pdf") + R"(">Скачать</a></div>
    <div class="file-card"><a id="file-plain" href=")" +
           files(e.downloadHost, "/files/archive.zip?as=archive.zip") + R"(">archive.zip</a></div>
    <div class="file-card"><a id="file-utf8" href=")" +
           files(e.webDownloadHost, "/files/doc.pdf?as8=%D0%BE%D1%82%D1%87%D1%91%D1%82.pdf") +
           R"(">отчёт.pdf</a></div>
    <img id="photo" alt="photo" src=")" +
           files(e.fileHost, "/images/photo.png") + R"(">
  </section>
  <a id="landing-link" href=")" +
           files(e.landingHost, "/") + R"(">Скачать приложение</a>
  <a id="foreign-link" href=")" +
           files(e.outsideHosts.empty() ? "elsewhere.example.test" : e.outsideHosts.front(), "/") +
           R"(">Шрифты</a>
  <a id="elsewhere-link" href="http://elsewhere.example.test/page">Чужой сайт</a>
</main>
)" + std::string(autoLogin ? "<script>window.__orviAutoLogin = true;</script>\n" : "") +
           R"(<script src="/static/client.js"></script>
</body></html>
)";
}

std::string clientScript() {
    return R"JS((function () {
  const cookies = Object.fromEntries(document.cookie.split('; ').filter(Boolean).map(c => c.split('=')));
  const state = { chats: [] };

  function render() {
    const list = document.getElementById('chat-list');
    list.textContent = '';
    for (const chat of state.chats) {
      const item = document.createElement('li');
      item.className = 'chat';
      item.dataset.chatId = String(chat.id);
      const name = document.createElement('span');
      name.className = 'chat-name';
      name.textContent = chat.name;
      item.appendChild(name);
      if (chat.unread > 0) {
        const counter = document.createElement('span');
        counter.className = 'unread-counter';
        counter.textContent = String(chat.unread);
        item.appendChild(counter);
      }
      list.appendChild(item);
    }
    const total = state.chats.reduce((sum, chat) => sum + chat.unread, 0);
    document.title = total > 0 ? '(' + total + ') ORVI' : 'ORVI';
  }

  // Tests change the counters here, or on the server through /control/unread.
  window.orviImitation = {
    setUnread(index, count) {
      if (state.chats[index]) { state.chats[index].unread = count; render(); }
    },
    totalUnread() { return state.chats.reduce((sum, chat) => sum + chat.unread, 0); },
    poll() { return fetch('/api/chats').then(r => r.json()).then(data => { state.chats = data.chats; render(); }); },
  };

  if (!cookies.orvi_user) {
    document.getElementById('login-form').hidden = false;
    document.title = 'ORVI — вход';
    if (window.__orviAutoLogin) document.getElementById('login-form').submit();
    return;
  }
  document.getElementById('client').hidden = false;
  if (!localStorage.getItem('orvi.token')) {
    localStorage.setItem('orvi.token', 'token-' + cookies.orvi_user);
    sessionStorage.setItem('orvi.tab', 'tab-' + Date.now());
    console.log('user logged in');
  }
  window.orviImitation.poll();
  setInterval(() => window.orviImitation.poll(), 2000);
})();
)JS";
}

std::string linksPage() {
    return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Links</title></head><body>
<a id="link" href="/echo?from=link">link</a>
<a id="blank" href="/echo?from=blank" target="_blank">new window</a>
<form id="form" action="/echo" method="get"><input name="from" value="form"></form>
<form id="post-form" action="/echo?from=post" method="post"><input name="field" value="1"></form>
</body></html>
)";
}

std::string landingPage() {
    return R"(<!DOCTYPE html>
<html lang="ru"><head><meta charset="utf-8"><title>ORVI для компьютера</title></head>
<body><h1>Скачайте ORVI</h1><p>Приложение для вашего компьютера.</p></body></html>
)";
}

std::string foreignPage(const std::string& host) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>" + host +
           "</title></head><body><h1>Foreign site " + host + "</h1></body></html>\n";
}

std::string pixelPng() {
    static const unsigned char png[] = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
        0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0xf0, 0x1f, 0x00, 0x05, 0x00, 0x01, 0xff, 0x89, 0x99,
        0x3d, 0x1d, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(png), sizeof(png));
}

} // namespace orvi::test::pages
