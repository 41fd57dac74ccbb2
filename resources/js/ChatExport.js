// Page-side chat export module. Evaluated in the application's isolated script world: it
// shares the document with the messenger's own scripts but none of their globals, and the
// page never sees window.__orviChatExport. Every entry point catches its own failures, so a
// page that changes under us ends a collection instead of breaking it.
(function () {
  'use strict';

  // Message elements, most specific first. Messenger front ends mark messages with data
  // attributes or ARIA roles far more stably than with class names, which they minify.
  const MESSAGE_SELECTORS = [
    '[data-message-id]', '[data-mid]', '[data-msg-id]', '[data-message]',
    '[role="log"] [role="article"]', '[role="log"] article', '[role="article"]',
    '[role="log"] [role="listitem"]', '[role="feed"] article', 'article',
  ];
  const TEXT_SELECTORS = [
    '[data-message-text]', '[data-text]', '[data-testid*="text" i]', '[class*="message-text" i]',
    '[class*="text" i]:not([class*="time" i])', '[dir="auto"]', 'p',
  ];
  const AUTHOR_SELECTORS = [
    '[data-author]', '[data-sender]', '[data-peer-name]', '[class*="author" i]', '[class*="sender" i]',
    '[class*="peer-title" i]', '[class*="name" i]:not([class*="file" i])',
  ];
  const TIME_SELECTORS = ['time', '[data-time]', '[data-timestamp]', '[class*="time" i]', '[class*="stamp" i]'];
  const DATE_SELECTORS = [
    '[data-date]', '[role="separator"]', '[class*="date" i]', '[class*="day" i]', '[class*="separator" i]',
    '[class*="divider" i]',
  ];
  const MEDIA_SELECTORS = [
    'img:not([class*="emoji" i]):not([class*="avatar" i])', 'video', 'audio', 'picture', 'canvas', 'a[download]',
    '[data-media]', '[data-attachment]', '[data-file]', '[data-media-type]',
  ];
  // Matched against whole words of class names: "file" must not find "profile".
  const MEDIA_WORDS = ['attachment', 'attach', 'media', 'photo', 'image', 'video', 'document', 'file', 'voice', 'audio', 'sticker', 'gif'];
  const OUTGOING_WORDS = ['out', 'outgoing', 'own', 'self', 'mine', 'my', 'sent', 'me', 'is-out', 'from-me'];
  const INCOMING_WORDS = ['in', 'incoming', 'received', 'peer', 'other', 'them', 'is-in'];
  const TIME_PATTERN = /\b\d{1,2}:\d{2}(?::\d{2})?(?:\s?[AaPp][Mm])?\b/;

  const state = {
    retries: 4,
    waitTicks: 9,
    phase: 'start',
    records: [],
    byKey: new Map(),
    attempt: 0,
    idleTicks: 0,
    settledTicks: 0,
    lastHeight: -1,
    lastCount: -1,
    done: false,
    reachedStart: false,
    errors: 0,
    scroller: null,
    saved: null,
  };

  function safeText(value) {
    const text = typeof value === 'string' ? value : value == null ? '' : String(value);
    // Lone surrogates cannot be encoded as UTF-8 and would spoil the whole transcript.
    return text.replace(/[\uD800-\uDBFF](?![\uDC00-\uDFFF])|(^|[^\uD800-\uDBFF])[\uDC00-\uDFFF]/g, '$1\uFFFD');
  }

  function visibleText(element) {
    if (!element) return '';
    const text = typeof element.innerText === 'string' ? element.innerText : element.textContent;
    return safeText(text || '');
  }

  function outermost(elements) {
    const set = new Set(elements);
    return elements.filter((element) => {
      for (let parent = element.parentElement; parent; parent = parent.parentElement)
        if (set.has(parent)) return false;
      return true;
    });
  }

  let messageSelector = null;

  function findMessages(root) {
    for (const selector of MESSAGE_SELECTORS) {
      let found;
      try {
        found = Array.from((root || document).querySelectorAll(selector));
      } catch (e) {
        continue;
      }
      found = found.filter((element) => element.isConnected && !element.closest('[aria-hidden="true"]'));
      if (found.length > 0) {
        messageSelector = selector;
        return outermost(found);
      }
    }
    return [];
  }

  function isScrollable(element) {
    if (!element || element === document.body || element === document.documentElement) return false;
    const style = getComputedStyle(element);
    return /(auto|scroll|overlay)/.test(style.overflowY) && element.scrollHeight > element.clientHeight + 1;
  }

  function findScroller(messages) {
    const start = messages.length > 0 ? messages[messages.length - 1] : document.querySelector('[role="log"]');
    for (let element = start && start.parentElement; element; element = element.parentElement)
      if (isScrollable(element)) return element;
    const log = document.querySelector('[role="log"], [role="feed"]');
    if (isScrollable(log)) return log;
    return document.scrollingElement || document.documentElement;
  }

  function firstMatch(element, selectors, exclude) {
    for (const selector of selectors) {
      let found;
      try {
        found = element.querySelectorAll(selector);
      } catch (e) {
        continue;
      }
      for (const candidate of found) if (!exclude || !exclude(candidate)) return candidate;
    }
    return null;
  }

  function classWords(node, into) {
    if (node && node.classList)
      for (const name of node.classList) into.push(...name.toLowerCase().split(/[-_]+/), name.toLowerCase());
    return into;
  }

  // Direction marks sit on the row, on its wrapper or on the bubble inside it.
  function words(element) {
    const parts = classWords(element.firstElementChild, []);
    for (let node = element, depth = 0; node && depth < 3; node = node.parentElement, depth++) classWords(node, parts);
    return parts;
  }

  function hasMedia(element) {
    if (firstMatch(element, MEDIA_SELECTORS)) return true;
    for (const node of element.querySelectorAll('[class]')) {
      if (classWords(node, []).some((word) => MEDIA_WORDS.includes(word))) return true;
    }
    return false;
  }

  function dataFlag(element, names) {
    for (const name of names) {
      const holder = element.closest('[' + name + ']');
      if (holder) return holder.getAttribute(name);
    }
    return null;
  }

  function readDirection(element, scroller) {
    const flag = dataFlag(element, ['data-direction', 'data-outgoing', 'data-out', 'data-is-outgoing', 'data-own']);
    if (flag !== null) {
      const value = flag.toLowerCase();
      if (['out', 'outgoing', 'true', '1', 'own', 'sent', ''].includes(value)) return 'outgoing';
      return 'incoming';
    }
    const list = words(element);
    if (list.some((word) => OUTGOING_WORDS.includes(word))) return 'outgoing';
    if (list.some((word) => INCOMING_WORDS.includes(word))) return 'incoming';
    // Structure as a last resort: chat bubbles of one's own messages sit on the right.
    try {
      const box = (element.firstElementChild || element).getBoundingClientRect();
      const area = scroller.getBoundingClientRect();
      if (box.width > 0 && box.width < area.width * 0.85) {
        const left = box.left - area.left;
        const right = area.right - box.right;
        if (right + 8 < left) return 'outgoing';
      }
    } catch (e) {}
    return 'incoming';
  }

  function readTime(element) {
    let node = firstMatch(element, TIME_SELECTORS, (candidate) => !TIME_PATTERN.test(visibleText(candidate) || candidate.getAttribute('datetime') || ''));
    if (!node) {
      // Unmarked captions: the innermost element that shows nothing but a clock time.
      for (const candidate of element.querySelectorAll('*')) {
        if (candidate.firstElementChild) continue;
        const text = visibleText(candidate).trim();
        if (text.length <= 11 && TIME_PATTERN.test(text) && text.replace(TIME_PATTERN, '').trim() === '') {
          node = candidate;
          break;
        }
      }
    }
    if (node) {
      const match = visibleText(node).match(TIME_PATTERN);
      return { node, text: match ? match[0] : visibleText(node).trim() };
    }
    return { node: null, text: '' };
  }

  // The bubble's text as the reader sees it, blocks on their own lines, captions left out.
  function textWithout(element, meta) {
    const parts = [];
    const walk = (node) => {
      for (const child of node.childNodes) {
        if (child.nodeType === Node.TEXT_NODE) {
          const text = child.nodeValue.replace(/\s+/g, ' ');
          if (text.trim()) parts.push({ text, block: false });
        } else if (child.nodeType === Node.ELEMENT_NODE && !meta.includes(child)) {
          const block = !/^inline/.test(getComputedStyle(child).display);
          if (meta.some((node) => child.contains(node))) {
            if (block) parts.push({ boundary: true });
            walk(child);
            if (block) parts.push({ boundary: true });
          } else {
            const text = visibleText(child);
            if (text.trim()) parts.push({ text, block });
          }
        }
      }
    };
    walk(element);
    let out = '';
    let newLine = false;
    for (const part of parts) {
      if (part.boundary) {
        newLine = out.length > 0;
        continue;
      }
      if ((part.block || newLine) && out && !out.endsWith('\n')) out += '\n';
      out += part.text;
      newLine = part.block;
    }
    return safeText(out);
  }

  function readMessage(element, scroller, dateLabel) {
    const time = readTime(element);
    const author = firstMatch(element, AUTHOR_SELECTORS, (candidate) => candidate === time.node || candidate.contains(time.node) && visibleText(candidate).trim() === time.text);
    const meta = [time.node, author].filter(Boolean);
    const isMeta = (candidate) => meta.some((node) => node === candidate || node.contains(candidate) || candidate.contains(node) && candidate !== element && visibleText(candidate).trim() === visibleText(node).trim());
    let textNode = firstMatch(element, TEXT_SELECTORS, isMeta);
    let text;
    if (textNode) {
      text = visibleText(textNode);
    } else {
      // No marked text: everything the bubble shows except its captions.
      text = textWithout(element, meta);
    }
    const authorText = author ? visibleText(author).trim() : safeText(dataFlag(element, ['data-author', 'data-sender']) || '');
    return {
      id: element.getAttribute('data-message-id') || element.getAttribute('data-mid') || element.getAttribute('data-msg-id') || element.id || '',
      text: text.trim(),
      author: authorText,
      direction: readDirection(element, scroller),
      dateLabel: safeText(dateLabel),
      timeLabel: safeText(time.text),
      hasMedia: hasMedia(element),
    };
  }

  // Reading a message costs a few dozen selector queries; a long history is re-read every
  // step, so each element is read again only when what it shows has changed.
  const readCache = new WeakMap();

  function cachedMessage(element, scroller, dateLabel) {
    const signature = element.textContent + '\u0001' + element.className;
    const cached = readCache.get(element);
    if (cached && cached.signature === signature && cached.record.dateLabel === dateLabel) return cached.record;
    const record = readMessage(element, scroller, dateLabel);
    if (cached && recordsEqual(cached.record, record)) return cached.record;
    readCache.set(element, { signature, record });
    return record;
  }

  function recordsEqual(a, b) {
    return a.id === b.id && a.text === b.text && a.author === b.author && a.direction === b.direction &&
      a.dateLabel === b.dateLabel && a.timeLabel === b.timeLabel && a.hasMedia === b.hasMedia;
  }

  function dateLabelOf(node) {
    const attribute = node.getAttribute('data-date');
    const text = visibleText(node).trim();
    return text || attribute || '';
  }

  function looksLikeDateSeparator(node, messages, messageSelector) {
    for (let parent = node; parent; parent = parent.parentElement) if (messages.has(parent)) return false;
    if (messageSelector && node.querySelector(messageSelector)) return false;
    const text = visibleText(node).trim();
    return text.length > 0 && text.length <= 40 && !text.includes('\n');
  }

  // The messages the page holds now, in page order, each with the date separator above it.
  function snapshot() {
    const messages = findMessages();
    const scroller = state.scroller && state.scroller.isConnected ? state.scroller : findScroller(messages);
    state.scroller = scroller;
    const root = scroller === document.scrollingElement ? document.body : scroller;
    const messageSet = new Set(messages);
    const separators = [];
    let separatorSelector = null;
    for (const selector of DATE_SELECTORS) {
      let found;
      try {
        found = root.querySelectorAll(selector);
      } catch (e) {
        continue;
      }
      for (const node of found) if (looksLikeDateSeparator(node, messageSet, messageSelector)) separators.push(node);
      if (separators.length > 0) {
        separatorSelector = selector;
        break;
      }
    }
    const separatorSet = new Set(outermost(separators));
    // One query over both kinds lists them in document order; sorting thousands of nodes by
    // comparing positions would cost far more.
    let ordered = messages;
    if (separatorSelector && messageSelector) {
      ordered = Array.from(document.querySelectorAll(messageSelector + ', ' + separatorSelector)).filter(
        (node) => messageSet.has(node) || separatorSet.has(node));
    }
    let date = '';
    const result = [];
    for (const node of ordered) {
      if (messageSet.has(node)) result.push({ element: node, record: cachedMessage(node, scroller, date) });
      else date = dateLabelOf(node);
    }
    return result;
  }

  function keyOf(record, seen) {
    const base = record.id ? 'id:' + record.id : [record.direction, record.author, record.dateLabel, record.timeLabel, record.hasMedia, record.text].join('\u0001');
    const count = (seen.get(base) || 0) + 1;
    seen.set(base, count);
    return record.id ? base : base + '\u0002' + count;
  }

  // A message read again shows what the page shows now (an edit, a date separator that has
  // since loaded above it); a label that has scrolled away is kept.
  function refresh(stored, fresh) {
    if (stored === fresh) return;
    const dateLabel = fresh.dateLabel || stored.dateLabel;
    Object.assign(stored, fresh, { dateLabel });
  }

  // Merges the page's current messages into the collection, keeping page order: unknown
  // messages go right after the known one above them, or before the first known one below.
  function merge(items, olderFirst) {
    const seen = new Map();
    const keyed = items.map((item) => ({ key: keyOf(item.record, seen), record: item.record }));
    for (const item of keyed) if (state.byKey.has(item.key)) refresh(state.byKey.get(item.key), item.record);
    const firstKnown = keyed.findIndex((item) => state.byKey.has(item.key));
    if (firstKnown < 0) {
      const fresh = keyed.filter((item) => !state.byKey.has(item.key));
      for (const item of fresh) state.byKey.set(item.key, item.record);
      const records = fresh.map((item) => item.record);
      state.records = olderFirst ? records.concat(state.records) : state.records.concat(records);
      return fresh.length;
    }
    const index = new Map();
    state.records.forEach((record, i) => index.set(record, i));
    const insertions = new Map();
    let anchor = index.get(state.byKey.get(keyed[firstKnown].key));
    let added = 0;
    const before = keyed.slice(0, firstKnown).filter((item) => !state.byKey.has(item.key));
    if (before.length > 0) insertions.set(anchor - 0.5, before.map((item) => item.record));
    for (const item of before) state.byKey.set(item.key, item.record);
    added += before.length;
    let pending = [];
    for (let i = firstKnown; i < keyed.length; i++) {
      const item = keyed[i];
      if (state.byKey.has(item.key)) {
        if (pending.length > 0) insertions.set(anchor + 0.5, (insertions.get(anchor + 0.5) || []).concat(pending));
        pending = [];
        anchor = index.get(state.byKey.get(item.key));
      } else {
        state.byKey.set(item.key, item.record);
        pending.push(item.record);
        added++;
      }
    }
    if (pending.length > 0) insertions.set(anchor + 0.5, (insertions.get(anchor + 0.5) || []).concat(pending));
    if (added === 0) return 0;
    const merged = [];
    state.records.forEach((record, i) => {
      if (insertions.has(i - 0.5)) merged.push(...insertions.get(i - 0.5));
      merged.push(record);
      if (insertions.has(i + 0.5)) merged.push(...insertions.get(i + 0.5));
    });
    state.records = merged;
    return added;
  }

  // Loaders listen for scroll events, which the engine only delivers with its next rendering
  // update; a window in the background may get none for a long time, so we announce the
  // scroll ourselves as well.
  function scrollTo(scroller, top) {
    scroller.scrollTop = top;
    try {
      const target = scroller === document.scrollingElement ? document : scroller;
      target.dispatchEvent(new Event('scroll'));
    } catch (e) {}
  }

  function atBottom(scroller) {
    return scroller.scrollTop + scroller.clientHeight >= scroller.scrollHeight - 2;
  }

  function isBusy(scroller) {
    try {
      if (scroller.closest('[aria-busy="true"]') || scroller.querySelector('[aria-busy="true"]')) return true;
      for (const bar of document.querySelectorAll('[role="progressbar"]'))
        if (bar.getClientRects().length > 0) return true;
    } catch (e) {}
    return false;
  }

  // Lists that recycle their rows drop messages that leave the view; jumping to the top
  // would then skip whatever lies between, so such lists are climbed a screen at a time.
  function recycles(items) {
    if (state.records.length === 0) return false;
    return items.length < state.records.length;
  }

  function report(extra) {
    return Object.assign({ count: state.records.length, done: state.done }, extra || {});
  }

  function rememberPosition(scroller, items) {
    const top = scroller.getBoundingClientRect().top;
    let anchor = null;
    for (const item of items) {
      const box = item.element.getBoundingClientRect();
      if (box.bottom > top) {
        anchor = { element: item.element, offset: box.top - top };
        break;
      }
    }
    state.saved = { scroller, top: scroller.scrollTop, fromBottom: scroller.scrollHeight - scroller.scrollTop, anchor };
  }

  function step() {
    if (state.done) return report();
    const items = snapshot();
    const scroller = state.scroller;
    if (!state.saved) rememberPosition(scroller, items);

    if (state.phase === 'start') {
      merge(items, false);
      state.phase = atBottom(scroller) ? 'up' : 'down';
    }
    if (state.phase === 'down') {
      merge(items, false);
      const height = scroller.scrollHeight;
      if (atBottom(scroller) && height === state.lastHeight) {
        state.phase = 'up';
      } else {
        state.lastHeight = height;
        scrollTo(scroller, scroller.scrollHeight);
        return report({ phase: 'down' });
      }
    }

    const added = merge(items, true);
    const height = scroller.scrollHeight;
    const grew = added > 0 || height !== state.lastHeight;
    state.lastHeight = height;
    if (state.phase === 'nudged') {
      // Back to the top after moving away from it, which is what makes a stalled loader retry.
      state.phase = 'up';
      scrollTo(scroller, 0);
      return report({ phase: 'recovering', attempt: state.attempt });
    }
    if (grew || isBusy(scroller)) {
      state.idleTicks = 0;
      if (grew) state.attempt = 0;
    } else if (scroller.scrollTop <= 1) {
      state.idleTicks++;
    }
    if (scroller.scrollTop > 1) {
      const target = recycles(items) ? Math.max(0, scroller.scrollTop - Math.max(1, scroller.clientHeight * 0.8)) : 0;
      scrollTo(scroller, target);
      return report();
    }
    if (state.idleTicks < state.waitTicks) return report(state.attempt > 0 ? { phase: 'recovering', attempt: state.attempt } : {});
    if (state.attempt < state.retries) {
      state.attempt++;
      state.idleTicks = 0;
      state.phase = 'nudged';
      scrollTo(scroller, Math.min(Math.max(scroller.clientHeight, 200), scroller.scrollHeight));
      return report({ phase: 'recovering', attempt: state.attempt });
    }
    state.done = true;
    state.reachedStart = true;
    return report();
  }

  function conversationTitle() {
    const messages = findMessages();
    const scroller = state.scroller || findScroller(messages);
    // The conversation's own heading is the nearest one outside its message list.
    const list = scroller && scroller !== document.scrollingElement ? scroller : messages.length > 0 ? messages[0].parentElement : null;
    for (let area = list && list.parentElement; area; area = area.parentElement) {
      for (const heading of area.querySelectorAll('h1, h2, h3, [role="heading"], [data-peer-title], header [title]')) {
        if (list.contains(heading)) continue;
        const text = visibleText(heading).trim() || (heading.getAttribute('title') || '').trim();
        if (text) return text.split('\n')[0].trim();
      }
    }
    return safeText(document.title.replace(/^\(\d+\)\s*/, '').trim()) || 'ORVI';
  }

  function exportedAt() {
    try {
      return new Date().toLocaleString('ru-RU', { dateStyle: 'long', timeStyle: 'short' });
    } catch (e) {
      return new Date().toISOString();
    }
  }

  function finish(onlyLoaded) {
    let records = [];
    let completeness = '';
    try {
      if (onlyLoaded) {
        const items = snapshot();
        const seen = new Map();
        const keys = new Set();
        for (const item of items) {
          const key = keyOf(item.record, seen);
          if (!keys.has(key)) {
            keys.add(key);
            records.push(item.record);
          }
        }
        completeness = 'Сохранены только сообщения, уже загруженные на странице; более ранняя история не подгружалась.';
      } else {
        merge(snapshot(), false);
        records = state.records;
        completeness = state.reachedStart
          ? 'История прокручена до начала: новые сообщения перестали подгружаться после всех повторных попыток.'
          : 'Сбор остановлен до начала истории: сохранён фрагмент.';
      }
    } catch (e) {
      records = state.records;
      completeness = 'Сбор прерван ошибкой страницы: ' + safeText(e && e.message);
    }
    let title = 'ORVI';
    try {
      title = conversationTitle();
    } catch (e) {}
    const transcript = {
      title: safeText(title),
      exportedAt: exportedAt(),
      completeness,
      note: 'Собрано со страницы ORVI: ' + records.length + ' сообщ.',
      messages: records.map((record) => ({
        text: record.text,
        author: record.author,
        direction: record.direction,
        dateLabel: record.dateLabel,
        timeLabel: record.timeLabel,
        hasMedia: record.hasMedia,
      })),
    };
    return JSON.stringify(transcript);
  }

  function restore() {
    const saved = state.saved;
    if (!saved || !saved.scroller || !saved.scroller.isConnected) return;
    const scroller = saved.scroller;
    if (saved.anchor && saved.anchor.element.isConnected) {
      const top = scroller.getBoundingClientRect().top;
      const box = saved.anchor.element.getBoundingClientRect();
      scroller.scrollTop += box.top - top - saved.anchor.offset;
    } else {
      // Older history above the old view moved it down by the height that was added.
      scroller.scrollTop = Math.max(0, scroller.scrollHeight - saved.fromBottom);
    }
  }

  window.__orviChatExport = {
    configure(retries, waitTicks) {
      try {
        state.retries = Math.max(0, Math.floor(Number(retries)) || 0);
        state.waitTicks = Math.max(1, Math.floor(Number(waitTicks)) || 1);
      } catch (e) {}
      return true;
    },
    step() {
      try {
        const answer = step();
        state.errors = 0;
        return answer;
      } catch (e) {
        // A page in the middle of re-rendering may fail once; a page that keeps failing
        // ends the collection with what was gathered.
        state.errors++;
        if (state.errors >= 3) state.done = true;
        return report();
      }
    },
    finish(onlyLoaded) {
      try {
        return finish(onlyLoaded === true);
      } catch (e) {
        return JSON.stringify({ title: 'ORVI', exportedAt: '', completeness: '', note: '', messages: [] });
      }
    },
    cleanup() {
      try {
        restore();
      } catch (e) {}
      state.records = [];
      state.byKey = new Map();
      state.saved = null;
      state.scroller = null;
      try {
        delete window.__orviChatExport;
      } catch (e) {}
      return true;
    },
  };
  return true;
})();
