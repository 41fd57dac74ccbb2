#include "service/ServicePages.h"

namespace orvi::test::pages {

// A conversation of 500 messages that shows the newest 50 and loads older ones 30 at a time
// whenever its history is scrolled to the top, the way messenger clients do. The fifth load
// breaks: nothing arrives, and the loader only tries again after the history has been
// scrolled away from the top and back. "?delay=N" sets the load time in milliseconds.
std::string conversationPage() {
    return R"HTML(<!DOCTYPE html>
<html lang="ru"><head><meta charset="utf-8"><title>(3) ORVI</title>
<style>
  body { margin: 0; font: 14px sans-serif; }
  .chat { display: flex; flex-direction: column; height: 100vh; }
  .chat-header { padding: 8px; border-bottom: 1px solid #ccc; }
  #history { flex: 1; overflow-y: auto; height: 480px; padding: 0 12px; }
  .msg-row { display: flex; margin: 6px 0; }
  .msg-row--out { justify-content: flex-end; }
  .bubble { max-width: 60%; padding: 6px 10px; border-radius: 10px; background: #eef; }
  .msg-row--out .bubble { background: #dfd; }
  .day-divider { text-align: center; color: #777; margin: 10px 0; }
  .msg-body { white-space: pre-wrap; }
  .attachment { width: 120px; height: 80px; background: #ccc; }
</style></head>
<body>
<aside class="chat-list"><h1>Чаты</h1></aside>
<section class="chat">
  <header class="chat-header"><h2 class="peer-title">Анна Смирнова</h2><span class="status">в сети</span></header>
  <div id="history" role="log" aria-live="polite"></div>
  <footer><textarea placeholder="Сообщение"></textarea></footer>
</section>
<script>
(function () {
  const total = 500, perDay = 40, firstShown = total - 49, pageSize = 30;
  const delay = Number(new URLSearchParams(location.search).get('delay') || 150);
  const history = document.getElementById('history');
  let oldest = firstShown, loading = false, loads = 0, broken = false, armed = true;

  function dayOf(i) { return Math.floor((i - 1) / perDay); }
  function textOf(i) {
    if (i % 10 === 7) return i % 20 === 7 ? '' : 'Подпись к фото ' + i;
    if (i === 100) return 'Сообщение 100\nвторая строка';
    if (i === 250) return 'Сообщение 250 <b>&amp;</b> "кавычки" \'апостроф\'';
    return 'Сообщение ' + i;
  }
  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }
  function separator(i) {
    const node = element('div', 'day-divider', (dayOf(i) + 1) + ' марта');
    node.setAttribute('role', 'separator');
    return node;
  }
  function message(i) {
    const outgoing = i % 3 === 0;
    const row = element('div', 'msg-row ' + (outgoing ? 'msg-row--out' : 'msg-row--in'));
    row.setAttribute('data-message-id', 'm' + i);
    const bubble = row.appendChild(element('div', 'bubble'));
    if (!outgoing) bubble.appendChild(element('span', 'author-name', 'Анна Смирнова'));
    if (i % 10 === 7) bubble.appendChild(element('div', 'attachment')).setAttribute('data-media', 'photo');
    bubble.appendChild(element('div', 'msg-body', textOf(i)));
    const minutes = (i * 7) % (24 * 60);
    const clock = String(Math.floor(minutes / 60)).padStart(2, '0') + ':' + String(minutes % 60).padStart(2, '0');
    bubble.appendChild(element('time', '', clock));
    return row;
  }
  function fragment(from, to) {
    const nodes = document.createDocumentFragment();
    for (let i = from; i <= to; i++) {
      if ((i - 1) % perDay === 0) nodes.appendChild(separator(i));
      nodes.appendChild(message(i));
    }
    return nodes;
  }
  function loadOlder() {
    loading = true;
    history.setAttribute('aria-busy', 'true');
    setTimeout(function () {
      loading = false;
      history.removeAttribute('aria-busy');
      loads++;
      if (loads === 5 && !broken) {
        broken = true;
        armed = false;
        return;
      }
      const from = Math.max(1, oldest - pageSize);
      const before = history.scrollHeight;
      history.insertBefore(fragment(from, oldest - 1), history.firstChild);
      history.scrollTop += history.scrollHeight - before;
      oldest = from;
    }, delay);
  }
  history.addEventListener('scroll', function () {
    if (history.scrollTop > 100) armed = true;
    if (history.scrollTop < 40 && armed && !loading && oldest > 1) loadOlder();
  });
  history.appendChild(fragment(firstShown, total));
  history.scrollTop = history.scrollHeight;
  window.conversation = { loads: function () { return loads; } };
})();
</script>
</body></html>
)HTML";
}

} // namespace orvi::test::pages
