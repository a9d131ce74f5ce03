// The page: caller text is always set as text (textContent), never as markup.
'use strict';

const wrong = document.getElementById('wrong');
if (wrong && location.search.includes('wrong')) wrong.hidden = false;

const rows = document.getElementById('call-rows');
let oldest = 0;
let query = '';
let number = '';

function api(path, options) {
  return fetch(path, Object.assign({credentials: 'same-origin'}, options)).then((r) => {
    if (r.status === 401) location.href = '/login';
    return r.json();
  });
}

function cell(row, text) {
  const td = document.createElement('td');
  td.textContent = text;
  row.appendChild(td);
  return td;
}

function callRow(call) {
  const row = document.createElement('tr');
  row.dataset.id = call.id;
  row.className = call.blocked ? 'call blocked' : 'call';
  // The outcome, where the source tells it (a router), or what a blocked call got (a tone, an
  // announcement).
  const seconds = call.duration || 0;
  const outcome = call.outcome === 'missed' ? ' (missed)'
    : call.outcome === 'answered'
      ? ` (answered, ${Math.floor(seconds / 60)}:${String(seconds % 60).padStart(2, '0')})`
      : call.outcome ? ` (${call.outcome})` : '';
  cell(row, call.date + ' ' + call.time + outcome);
  const name = cell(row, call.name);
  name.className = 'name';
  if (call.blocked) {
    // One word that wraps as a whole, never "(blocke" and "d)".
    const mark = document.createElement('span');
    mark.className = 'mark';
    mark.textContent = '(blocked)';
    name.append(' ', mark);
  }
  const numberCell = cell(row, call.number);
  numberCell.className = 'number';
  if (/\d/.test(call.number)) {
    // A click shows every call of that number.
    numberCell.classList.add('link');
    numberCell.addEventListener('click', () => showNumber(call.number, call.number));
  }
  cell(row, call.contact);
  const actions = cell(row, '');
  if (/\d/.test(call.number)) {
    // One button, by what the lists do to this caller now.
    const button = document.createElement('button');
    button.type = 'button';
    const show = (listed) => {
      button.textContent = listed ? 'Unblock' : 'Block';
      button.className = listed ? 'unblock' : 'block';
      button.dataset.listed = listed ? '1' : '';
    };
    show(call.listed);
    button.addEventListener('click', () =>
      api(button.dataset.listed ? '/api/unblock' : '/api/block',
          {method: 'POST', headers: {'Content-Type': 'application/json'},
           body: JSON.stringify({number: call.number, name: call.name})})
        .then((data) => {
          if ('listed' in data) {
            for (const other of rows.querySelectorAll('tr')) {
              if (other.dataset.number === call.number) other.querySelector('button').dispatchEvent(
                  new CustomEvent('listed', {detail: data.listed}));
            }
          }
          showLists();
        }));
    button.addEventListener('listed', (event) => show(event.detail));
    row.dataset.number = call.number;
    actions.appendChild(button);
  }
  return row;
}

function loadCalls(reset) {
  if (reset) { rows.textContent = ''; oldest = 0; }
  const params = new URLSearchParams({limit: 50, q: query});
  if (number) params.set('number', number);
  if (oldest) params.set('before', oldest);
  api('/api/calls?' + params).then((data) => {
    for (const call of data.calls) {
      rows.appendChild(callRow(call));
      oldest = call.id;
    }
    document.getElementById('older').hidden = data.calls.length < 50;
  });
}

function showNumber(key, shown) {
  number = key;
  const filter = document.getElementById('number-filter');
  filter.hidden = !key;
  filter.querySelector('span').textContent = shown || '';
  for (const other of document.querySelectorAll('nav button[data-view]')) {
    other.classList.toggle('current', other.dataset.view === 'calls');
    document.getElementById(other.dataset.view).hidden = other.dataset.view !== 'calls';
  }
  loadCalls(true);
}

// The charts of "Looking back", kept to be drawn again when the colours or the width change.
const charts = {};

function colour(name) {
  return getComputedStyle(document.body).getPropertyValue(name).trim();
}

// Calls (all of them) with the blocked ones drawn over their foot, as bars; the counts of the
// bar under the pointer in the legend, and the same numbers as a table for screen readers.
function barChart(key, xs, calls, blocked, xAxis) {
  const box = document.getElementById(key + '-chart');
  if (charts[key]) charts[key].destroy();
  const text = colour('--text');
  const grid = colour('--grid');
  const bars = uPlot.paths.bars({size: [0.7, 40]});
  const count = (u, v) => (v == null ? '' : String(v));
  charts[key] = new uPlot({
    width: Math.max(200, box.clientWidth),
    height: 200,
    // Nearly half a step of room on either side, so that the first and the last bar stand
    // whole, and no date after the last day is marked.
    scales: {x: {time: xAxis.time, range: (u, min, max) => [min - xAxis.step * 0.45,
                                                               max + xAxis.step * 0.45]},
             y: {range: (u, min, max) => [0, Math.max(4, max)]}},
    cursor: {points: {show: false}, drag: {x: false, y: false}},
    series: [
      {label: xAxis.label, value: (u, v) => (v == null ? '' : xAxis.shown(v))},
      // No outline: a day without calls shows no bar, not a line.
      {label: 'Calls', fill: colour('--bar-calls'), stroke: colour('--bar-calls'), width: 0,
       paths: bars, points: {show: false}, value: count},
      {label: 'Blocked', fill: colour('--bar-blocked'), stroke: colour('--bar-blocked'), width: 0,
       paths: bars, points: {show: false}, value: count},
    ],
    axes: [
      Object.assign({stroke: text, grid: {stroke: grid}, ticks: {stroke: grid}}, xAxis.axis),
      {label: 'Calls', stroke: text, grid: {stroke: grid}, ticks: {stroke: grid},
       values: (u, splits) => splits.map((v) => (Number.isInteger(v) ? String(v) : ''))},
    ],
  }, [xs, calls, blocked], box);
  const rows = document.getElementById(key + '-rows');
  rows.textContent = '';
  xs.forEach((x, i) => {
    const row = document.createElement('tr');
    cell(row, xAxis.shown(x));
    cell(row, String(calls[i]));
    cell(row, String(blocked[i]));
    rows.appendChild(row);
  });
}

let lastStats = null;

function drawCharts(stats) {
  lastStats = stats;
  // Each day at its local noon, so that the bar stands over its date whatever the time zone.
  const days = stats.days.map((day) => new Date(day.date + 'T12:00:00').getTime() / 1000);
  const dayShown = (x) => new Date(x * 1000).toLocaleDateString(undefined,
    {weekday: 'short', day: 'numeric', month: 'short'});
  barChart('days', days, stats.days.map((d) => d.calls), stats.days.map((d) => d.blocked),
           {time: true, step: 86400, label: 'Day', shown: dayShown, axis: {}});
  const hourShown = (h) => String(h).padStart(2, '0') + ':00';
  barChart('hours', stats.hours.map((h, i) => i), stats.hours.map((h) => h.calls),
           stats.hours.map((h) => h.blocked),
           {time: false, step: 1, label: 'Hour', shown: hourShown,
            axis: {label: 'Hour of the day', incrs: [1, 2, 3, 6],
                   values: (u, splits) => splits.map((v) => (Number.isInteger(v) ? hourShown(v) : ''))}});
}

// The colours follow the page's light or dark mode, the width the window's.
window.matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => {
  if (lastStats) drawCharts(lastStats);
});
new ResizeObserver(() => {
  for (const key of Object.keys(charts)) {
    const box = document.getElementById(key + '-chart');
    if (box.clientWidth) charts[key].setSize({width: Math.max(200, box.clientWidth), height: 200});
  }
}).observe(document.querySelector('main'));

function showHistory() {
  api('/api/stats?days=30').then((stats) => {
    drawCharts(stats);
    const top = document.getElementById('top-rows');
    top.textContent = '';
    for (const caller of stats.top) {
      const row = document.createElement('tr');
      const numberCell = cell(row, caller.number);
      numberCell.className = 'number link';
      numberCell.addEventListener('click', () => showNumber(caller.number, caller.number));
      cell(row, caller.name);
      cell(row, caller.contact);
      cell(row, String(caller.calls));
      top.appendChild(row);
    }
  });
}

function showLists() {
  for (const box of document.querySelectorAll('.list')) {
    const name = box.dataset.list;
    api('/api/' + name).then((data) => {
      const list = box.querySelector('ul.entries');
      list.textContent = '';
      const problems = box.querySelector('.problems');
      problems.textContent = '';
      for (const problem of data.problems || []) {
        const item = document.createElement('li');
        item.textContent = problem.line > 0
          ? `line ${problem.line}: "${problem.text}" is no entry (${problem.reason}); skipped`
          : problem.reason;
        problems.appendChild(item);
      }
      for (const entry of data.entries) {
        const item = document.createElement('li');
        const text = document.createElement('span');
        text.textContent = entry;
        const remove = document.createElement('button');
        remove.type = 'button';
        remove.textContent = 'Remove';
        remove.addEventListener('click', () => change(box, 'DELETE', entry));
        item.append(text, ' ', remove);
        list.appendChild(item);
      }
    });
  }
}

function showSources() {
  const box = document.getElementById('sources');
  api('/api/sources').then((data) => {
    const list = box.querySelector('ul.entries');
    list.textContent = '';
    for (const source of data.sources || []) {
      const item = document.createElement('li');
      const text = document.createElement('span');
      text.textContent = `${source.name}: ${source.numbers} numbers, imported ${source.imported}`;
      const drop = document.createElement('button');
      drop.type = 'button';
      drop.textContent = 'Drop';
      drop.addEventListener('click', () => {
        fetch('/api/sources', {method: 'DELETE', credentials: 'same-origin',
            headers: {'Content-Type': 'application/json'},
            body: JSON.stringify({source: source.name})})
          .then((r) => r.json())
          .then((answer) => {
            box.querySelector('.error').textContent = answer.error || '';
            showSources();
          });
      });
      item.append(text, ' ', drop);
      list.appendChild(item);
    }
    if (!list.children.length) list.textContent = 'None: see ringdesk --import-blocklist';
  });
}

function change(box, method, entry) {
  fetch('/api/' + box.dataset.list, {method, credentials: 'same-origin',
      headers: {'Content-Type': 'application/json'}, body: JSON.stringify({entry})})
    .then((r) => r.json())
    .then((data) => {
      box.querySelector('.error').textContent = data.error || '';
      showLists();
    });
}

// The answering machine's messages, newest first: each with Play, which puts its player in the
// row (played, it is heard; a thousand players at once would take the page seconds to draw), and
// Delete.
function showMessages() {
  api('/api/messages').then((data) => {
    const body = document.getElementById('message-rows');
    const messages = data.messages || [];
    document.getElementById('no-messages').hidden = messages.length > 0;
    const when = new Intl.DateTimeFormat(undefined, {dateStyle: 'short', timeStyle: 'short'});
    const rows = document.createDocumentFragment();
    for (const message of messages) {
      const row = document.createElement('tr');
      row.className = message.heard ? 'message' : 'message unheard';
      cell(row, when.format(new Date(message.received)));
      cell(row, message.contact || message.name || message.number || 'Unknown caller');
      cell(row, `${Math.floor(message.seconds / 60)}:${String(message.seconds % 60).padStart(2, '0')}`);
      const play = document.createElement('button');
      play.type = 'button';
      play.className = 'play';
      play.textContent = 'Play';
      play.addEventListener('click', () => {
        const player = document.createElement('audio');
        player.controls = true;
        player.src = '/api/message?id=' + message.id;
        player.addEventListener('play', () => row.classList.remove('unheard'));
        play.replaceWith(player);
        player.play().catch(() => {}); // a browser that wants another click shows its controls
      });
      cell(row, '').appendChild(play);
      const remove = document.createElement('button');
      remove.type = 'button';
      remove.textContent = 'Delete';
      remove.addEventListener('click', () => {
        api('/api/message/delete', {method: 'POST', headers: {'Content-Type': 'application/json'},
            body: JSON.stringify({id: message.id})}).then(showMessages);
      });
      cell(row, '').appendChild(remove);
      rows.appendChild(row);
    }
    body.replaceChildren(rows);
  });
}

function showState() {
  api('/api/state').then((state) => {
    document.getElementById('state-port').textContent =
        (state.port || 'none') + (state.open ? ' (open)' : ' (closed)');
    document.getElementById('state-status').textContent = state.status || '';
    document.getElementById('state-broker').textContent = state.broker || 'none';
    const events = document.getElementById('state-events');
    events.textContent = '';
    for (const line of state.events || []) {
      const item = document.createElement('li');
      item.textContent = line;
      events.appendChild(item);
    }
  });
}

if (rows) {
  for (const button of document.querySelectorAll('nav button[data-view]')) {
    button.addEventListener('click', () => {
      for (const other of document.querySelectorAll('nav button[data-view]')) {
        other.classList.toggle('current', other === button);
        document.getElementById(other.dataset.view).hidden = other !== button;
      }
      if (button.dataset.view === 'lists') { showLists(); showSources(); }
      if (button.dataset.view === 'history') showHistory();
      if (button.dataset.view === 'messages') showMessages();
      if (button.dataset.view === 'state') showState();
    });
  }
  for (const box of document.querySelectorAll('.list')) {
    box.querySelector('form').addEventListener('submit', (event) => {
      event.preventDefault();
      const input = box.querySelector('input');
      change(box, 'POST', input.value);
      input.value = '';
    });
  }
  let typing;
  document.getElementById('search').addEventListener('input', (event) => {
    clearTimeout(typing);
    typing = setTimeout(() => { query = event.target.value; loadCalls(true); }, 200);
  });
  document.getElementById('older').addEventListener('click', () => loadCalls(false));
  document.getElementById('permit-next').addEventListener('click', () => {
    api('/api/permit-next', {method: 'POST', headers: {'Content-Type': 'application/json'},
        body: '{}'}).then((data) => {
      document.getElementById('permit-said').textContent =
          data.error || 'The next call that screening would block will ring, once.';
    });
  });
  document.querySelector('#number-filter button').addEventListener('click', () => showNumber(''));
  const live = new EventSource('/api/events');
  live.addEventListener('call', (event) => {
    const call = JSON.parse(event.data);
    if (!query && !number) rows.prepend(callRow(call));
  });
  loadCalls(true);
}
