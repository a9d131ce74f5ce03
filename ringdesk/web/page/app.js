// The page: caller text is always set as text (textContent), never as markup.
'use strict';

const wrong = document.getElementById('wrong');
if (wrong && location.search.includes('wrong')) wrong.hidden = false;

const rows = document.getElementById('call-rows');
let oldest = 0;
let query = '';

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
  cell(row, call.date + ' ' + call.time);
  cell(row, call.name).className = 'name';
  cell(row, call.number).className = 'number';
  cell(row, call.contact);
  const actions = cell(row, '');
  if (/\d/.test(call.number)) {
    for (const [label, method] of [['Block', 'POST'], ['Unblock', 'DELETE']]) {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = label;
      button.className = label.toLowerCase();
      button.addEventListener('click', () =>
        api('/api/blocked', {method, headers: {'Content-Type': 'application/json'},
                             body: JSON.stringify({entry: call.number})}).then(showLists));
      actions.appendChild(button);
    }
  }
  return row;
}

function loadCalls(reset) {
  if (reset) { rows.textContent = ''; oldest = 0; }
  const params = new URLSearchParams({limit: 50, q: query});
  if (oldest) params.set('before', oldest);
  api('/api/calls?' + params).then((data) => {
    for (const call of data.calls) {
      rows.appendChild(callRow(call));
      oldest = call.id;
    }
    document.getElementById('older').hidden = data.calls.length < 50;
  });
}

function showLists() {
  for (const box of document.querySelectorAll('.list')) {
    const name = box.dataset.list;
    api('/api/' + name).then((data) => {
      const list = box.querySelector('ul');
      list.textContent = '';
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

function change(box, method, entry) {
  fetch('/api/' + box.dataset.list, {method, credentials: 'same-origin',
      headers: {'Content-Type': 'application/json'}, body: JSON.stringify({entry})})
    .then((r) => r.json())
    .then((data) => {
      box.querySelector('.error').textContent = data.error || '';
      showLists();
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
      if (button.dataset.view === 'lists') showLists();
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
  const live = new EventSource('/api/events');
  live.addEventListener('call', (event) => {
    const call = JSON.parse(event.data);
    if (!query) rows.prepend(callRow(call));
  });
  loadCalls(true);
}
