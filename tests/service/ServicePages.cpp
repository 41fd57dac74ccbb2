#include "service/ServicePages.h"

#include "service/MessengerLook.h"

#include <glib.h>

namespace orvi::test::pages {

std::string messengerPage(const ServiceEndpoints& e, bool autoLogin) {
    auto files = [&](const std::string& host, const std::string& path) { return e.url(host, path); };
    return R"(<!DOCTYPE html>
<html lang="ru"><head><meta charset="utf-8"><meta name="viewport" content="width=device-width">
<title>ORVI</title><style>)" +
           messengerStyle() + R"(</style></head>
<body>
<form id="login-form" method="post" action="/login" hidden>
  <span class="brand">ORVI</span>
  <input name="user" value="alice">
  <button id="login-button" type="submit">Войти</button>
</form>
<main id="client" class="app" hidden>
  <aside class="sidebar">
    <header class="sidebar-head"><span class="brand">ORVI</span><input class="search" placeholder="Поиск"></header>
    <nav class="folders"><button class="active">Все</button><button>Новые</button><button>Контакты</button><button>Звонки</button></nav>
    <ul id="chat-list" class="chat-list"></ul>
    <nav class="links">
      <a id="landing-link" href=")" +
           files(e.landingHost, "/") + R"(">Скачать приложение</a>
      <a id="foreign-link" href=")" +
           files(e.outsideHosts.front(), "/") +
           R"(">Шрифты</a>
      <a id="elsewhere-link" href="http://elsewhere.example.test/page">Чужой сайт</a>
    </nav>
  </aside>
  <section class="conversation">
    <header class="conversation-head"><div class="avatar" id="peer-avatar">А</div>
      <div><div class="conversation-title" id="peer-name">Анна</div><div class="conversation-status">в сети</div></div></header>
    <section class="messages" id="messages">
      <div class="day">Сегодня</div>
      <div class="message incoming"><p>Привет! Скинула отчёт за март, посмотри, пожалуйста.</p><time>10:02</time></div>
      <div class="message incoming file-card"><div class="file-meta">
        <button class="attachment" role="button"><span class="filename">Отчёт за март.pdf</span></button>
        <span class="file-size">1,2 МБ</span>
        <a id="file-token" class="download-link" href=")" +
           files(e.fileHost, "/files/a8f3k2q9.pdf") + R"(">Скачать</a></div></div>
      <div class="message outgoing"><p>Спасибо, открываю. Архив с исходниками прикладываю.</p><time>10:04</time></div>
      <div class="message outgoing file-card"><div class="file-meta"><a id="file-plain" href=")" +
           files(e.downloadHost, "/files/archive.zip?as=archive.zip") +
           R"(">archive.zip</a><span class="file-size">24 МБ</span></div></div>
      <div class="message incoming file-card"><div class="file-meta"><a id="file-utf8" href=")" +
           files(e.webDownloadHost, "/files/doc.pdf?as8=%D0%BE%D1%82%D1%87%D1%91%D1%82.pdf") +
           R"(">отчёт.pdf</a><span class="file-size">310 КБ</span></div></div>
      <div class="message incoming photo"><div class="picture"><img id="photo" alt="photo" src=")" +
           files(e.fileHost, "/images/photo.png") + R"("></div><time>10:07</time></div>
      <div class="message outgoing"><p>Созвонимся вечером?</p><time>10:09</time></div>
      <div class="message incoming"><p>Давай в семь 👍</p><time>10:11</time></div>
    </section>
    <form class="composer" id="composer"><input id="composer-input" placeholder="Сообщение" autocomplete="off"><button type="submit">➤</button></form>
  </section>
</main>
)" + std::string(autoLogin ? "<script>window.__orviAutoLogin = true;</script>\n" : "") +
           R"(<script src="/static/client.js"></script>
</body></html>
)";
}

std::string clientScript() {
    return R"JS((function () {
  const cookies = Object.fromEntries(document.cookie.split('; ').filter(Boolean).map(c => c.split('=')));
  const state = { chats: [], open: 1 };
  const colours = ['#e17076', '#7bc862', '#65aadd', '#a695e7', '#ee7aae', '#6ec9cb', '#faa774'];

  function avatar(chat) {
    const element = document.createElement('div');
    element.className = 'avatar';
    element.style.background = colours[chat.id % colours.length];
    element.textContent = chat.name.charAt(0);
    return element;
  }

  function part(className, text, tag = 'span') {
    const element = document.createElement(tag);
    if (className) element.className = className;
    element.textContent = text;
    return element;
  }

  function render() {
    const list = document.getElementById('chat-list');
    list.textContent = '';
    for (const chat of state.chats) {
      const item = document.createElement('li');
      item.className = chat.id === state.open ? 'chat active' : 'chat';
      item.dataset.chatId = String(chat.id);
      item.appendChild(avatar(chat));
      item.appendChild(part('chat-name', chat.name));
      item.appendChild(part('chat-time', chat.time || ''));
      item.appendChild(part('chat-preview', chat.preview || ''));
      if (chat.unread > 0)
        item.appendChild(part('unread-counter', String(chat.unread)));
      item.addEventListener('click', () => openChat(chat.id));
      list.appendChild(item);
    }
    const total = state.chats.reduce((sum, chat) => sum + chat.unread, 0);
    document.title = total > 0 ? '(' + total + ') ORVI' : 'ORVI';
    const open = state.chats.find(c => c.id === state.open);
    if (open) {
      document.getElementById('peer-name').textContent = open.name;
      const peer = document.getElementById('peer-avatar');
      peer.textContent = open.name.charAt(0);
      peer.style.background = colours[open.id % colours.length];
    }
  }

  function openChat(id) {
    state.open = id;
    render();
  }

  function send(text) {
    const message = part('message outgoing', '', 'div');
    message.append(part('', text, 'p'), part('', new Date().toTimeString().slice(0, 5), 'time'));
    const messages = document.getElementById('messages');
    messages.appendChild(message);
    messages.scrollTop = messages.scrollHeight;
  }

  function poll() { return fetch('/api/chats').then(r => r.json()).then(data => { state.chats = data.chats; render(); }); }

  if (!cookies.orvi_user) {
    document.getElementById('login-form').hidden = false;
    document.title = 'ORVI — вход';
    if (window.__orviAutoLogin) document.getElementById('login-form').submit();
    return;
  }
  document.getElementById('client').hidden = false;
  document.getElementById('composer').addEventListener('submit', event => {
    event.preventDefault();
    const input = document.getElementById('composer-input');
    if (input.value.trim()) send(input.value.trim());
    input.value = '';
  });
  for (const button of document.querySelectorAll('.folders button'))
    button.addEventListener('click', () => {
      for (const other of document.querySelectorAll('.folders button')) other.classList.toggle('active', other === button);
    });
  if (!localStorage.getItem('orvi.token')) {
    localStorage.setItem('orvi.token', 'token-' + cookies.orvi_user);
    sessionStorage.setItem('orvi.tab', 'tab-' + Date.now());
    console.log('user logged in');
  }
  poll();
  setInterval(poll, 2000);
})();
)JS";
}

std::string linksPage() {
    return R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Links</title></head><body>
<a id="link" href="/echo?from=link">link</a>
<a id="blank" href="/echo?from=blank" target="_blank">new window</a>
<form id="form" action="/echo" method="get"><input name="from" value="form"></form>
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
    gsize size = 0;
    g_autofree guchar* png = g_base64_decode(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR4nGP4z8DwHwAFAAH/iZk9HQAAAABJRU5ErkJggg==",
        &size);
    return std::string(reinterpret_cast<const char*>(png), size);
}

} // namespace orvi::test::pages
