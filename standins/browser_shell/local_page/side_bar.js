// The side bar's demo page: every row asks the native side through the page's commands and
// fills in from their answers and from the side bar's events. A row whose provider gives no
// answer says so plainly. Each row's element carries data-state (waiting, ready, unavailable)
// for the browser tests.
(() => {
  'use strict';
  const {ask, tell, on, insideSideBar} = window.sideBar;
  const $ = (id) => document.getElementById(id);
  const kNotYet = 'not available yet';
  const kWidth = 360;
  const kHeight = 640;

  function mark(element, state, text) {
    element.dataset.state = state;
    if (text !== undefined) element.textContent = text;
  }

  function item(text, className) {
    const li = document.createElement('li');
    li.textContent = text;
    if (className) li.className = className;
    return li;
  }

  // --- what the side bar tells on its own -------------------------------------------------------
  function logEvent(text) {
    const list = $('events');
    if (list.firstElementChild && list.firstElementChild.classList.contains('muted')) list.textContent = '';
    const time = new Date().toTimeString().slice(0, 8);
    list.prepend(item(`${time}  ${text}`));
    while (list.children.length > 5) list.lastElementChild.remove();
  }
  on('OnMouseOrKeyPressed', () => logEvent('first input since the side bar appeared'));
  on('_OnDailyLogCallback_listener', () => logEvent('daily tick'));
  on('_OnWindowBlurCallback_listener', () => logEvent('the side bar lost the focus'));
  on('_sceneTriggerCallback_listener', (scene) => {
    const data = (scene && scene.data) || {};
    logEvent(`scene: .${data.ext || '?'} in ${data.process || 'a program'}`);
  });

  // --- sign-in ------------------------------------------------------------------------------------
  function showAccount(user) {
    const signedIn = Boolean(user) && Number(user.logined) === 1;
    mark($('account'), signedIn ? 'signed-in' : 'signed-out');
    $('account-name').textContent = signedIn ? user.nickName || user.qid || 'Signed in' : 'Not signed in';
    $('sign-in').hidden = signedIn;
    const avatar = $('avatar');
    avatar.hidden = !(signedIn && user.avatar);
    if (!avatar.hidden) avatar.src = 'data:image/png;base64,' + user.avatar;
  }
  $('avatar').addEventListener('error', () => ($('avatar').hidden = true));
  $('sign-in').addEventListener('click', () => tell('OpenLogin'));
  on('_OnLoginStatusChangeCallback_listener', (user) => {
    showAccount(user);
    logEvent(Number(user && user.logined) === 1 ? `signed in as ${user.nickName}` : 'signed out');
  });

  async function loadAccount() {
    const {answered, value} = await ask('getUserInfo');
    if (answered && value) showAccount(value.data || value);
    else mark($('account'), 'unavailable', '');
  }

  // --- weather ------------------------------------------------------------------------------------
  // The weather service's reply, whatever its exact shape: the first of these members found.
  function find(value, names, depth = 0) {
    if (!value || typeof value !== 'object' || depth > 3) return undefined;
    for (const name of names) {
      if (typeof value[name] === 'string' || typeof value[name] === 'number') return String(value[name]);
    }
    for (const inner of Object.values(value)) {
      const found = find(inner, names, depth + 1);
      if (found !== undefined) return found;
    }
    return undefined;
  }

  function showWeather(weather) {
    const city = find(weather, ['city', 'cityName', 'city_name', 'area', 'location']);
    const temperature = find(weather, ['temperature', 'temp', 'tmp']);
    const condition = find(weather, ['weather', 'condition', 'text', 'desc']);
    $('weather-city').textContent = city || 'Weather';
    $('weather-detail').textContent =
        [temperature && `${temperature}°`, condition].filter(Boolean).join(' · ') || JSON.stringify(weather).slice(0, 60);
    mark($('weather'), 'ready');
  }

  async function loadWeather() {
    const {answered, value} = await ask('getWeather');
    document.documentElement.dataset.weatherCode = answered && value ? String(value.code) : 'none';
    if (answered && value && value.code === 0) {
      showWeather(value.data);
    } else {
      mark($('weather'), 'unavailable');
      $('weather-detail').textContent = kNotYet;
      // Nothing cached yet: a fresh report comes with the weather event, where there is a provider.
      ask('getWeather', {retry: true});
    }
  }
  on('_updateWeatherCallback_listener', (envelope) => {
    if (envelope && envelope.code === 0) showWeather(envelope.data);
    logEvent('new weather');
  });

  // --- tools --------------------------------------------------------------------------------------
  for (const button of $('tools').querySelectorAll('button')) {
    button.addEventListener('click', () => {
      tell('runTools', {tool: button.dataset.tool});
      logEvent(`asked for ${button.textContent}`);
    });
  }

  async function loadTools() {
    const notes = await ask('IsStickyNoteExist');
    const wordPick = await ask('isWordProcessingExist');
    const top = await ask('getLocalTop');
    const lines = [];
    if (notes.answered && Number(notes.value) !== 1) lines.push('no sticky notes here');
    if (wordPick.answered && Number(wordPick.value) !== 1) lines.push('no word pick here');
    const names = top.answered && top.value && Array.isArray(top.value.data) ? top.value.data : null;
    lines.push(names ? `most used: ${names.join(', ') || 'none yet'}` : `most used: ${kNotYet}`);
    mark($('tools-note'), 'ready', lines.join(' · '));
  }

  // --- recommended tools (the cloud list) ---------------------------------------------------------
  function toolNames(listText) {
    let groups = listText && listText.data;
    if (typeof groups === 'string') {
      try {
        groups = JSON.parse(groups);
      } catch (error) {
        groups = null;
      }
    }
    // Each group names its tools, or at least the kinds of document it is for.
    const names = [];
    for (const group of Array.isArray(groups) ? groups : []) {
      const tools = Array.isArray(group && group.tools) ? group.tools : [];
      for (const tool of tools) names.push(tool.name || tool.id || 'a tool');
      if (tools.length) continue;
      for (const entry of Array.isArray(group && group.list) ? group.list : []) {
        if (entry.suffix) names.push(`for .${entry.suffix.split(',').join(', .')}`);
      }
    }
    return names;
  }

  async function loadRecommended() {
    const list = $('recommended');
    const {answered, value} = await ask('getRecommendedTools');
    list.textContent = '';
    if (!answered) {
      mark(list, 'unavailable');
      list.append(item(kNotYet, 'muted'));
      return;
    }
    const names = toolNames(value);
    mark(list, 'ready');
    if (!names.length) list.append(item('nothing recommended now', 'muted'));
    for (const name of names.slice(0, 5)) list.append(item(name));
  }
  on('_OnRecomToolsUpdateCallback_listener', () => {
    logEvent('new tool list');
    loadRecommended();
  });

  // --- commonly used programs and documents -------------------------------------------------------
  // Icons are PNG files the side bar wrote to its data folder. Under the stand-in shell's bridge
  // the page asks its own server for them by file name; otherwise it opens the file.
  function iconAddress(path) {
    const name = /([0-9a-fA-F]{32})\.png$/.exec(path || '');
    if (!name) return '';
    if (location.protocol === 'http:') return `__shell/icon/${name[1].toLowerCase()}.png`;
    return 'file:///' + path.replace(/\\/g, '/');
  }

  function entryElement(entry) {
    const li = item('');
    const address = iconAddress(entry.icon);
    if (address) {
      const img = document.createElement('img');
      img.src = address;
      img.alt = '';
      li.append(img);
    }
    li.append(entry.name || entry.run || '?');
    li.title = entry.run || '';
    li.addEventListener('click', () => tell('runCmd', {path: entry.run || ''}));
    return li;
  }

  async function loadCommonlyUsed() {
    const programs = $('programs');
    const documents = $('documents');
    const {answered, value} = await ask('getCommonlyUsedData');
    programs.textContent = '';
    documents.textContent = '';
    const data = answered && value && value.data;
    if (!data) {
      mark(programs, 'unavailable');
      mark(documents, 'unavailable');
      programs.append(item(`Programs and documents: ${kNotYet}`, 'muted'));
      return;
    }
    mark(programs, 'ready');
    mark(documents, 'ready');
    for (const entry of (data.programs || []).slice(0, 10)) programs.append(entryElement(entry));
    for (const entry of (data.files || []).slice(0, 6)) documents.append(entryElement(entry));
    if (!programs.children.length) programs.append(item('no programs yet', 'muted'));
    if (!documents.children.length) documents.append(item('no documents yet', 'muted'));
  }

  // --- settings -----------------------------------------------------------------------------------
  async function loadSettings() {
    const settings = await ask('getSettings');
    for (const [id, key] of [['auto-hide', 'autoHide'], ['scene-recommend', 'sceneRecommend']]) {
      const box = $(id);
      if (settings.answered && settings.value) {
        box.checked = Boolean(settings.value[key]);
        box.disabled = false;
      }
    }
    const autoStart = await ask('isAutoStart');
    if (autoStart.answered && autoStart.value) {
      $('auto-start').checked = Boolean(autoStart.value.data);
      $('auto-start').disabled = false;
    }
    const shortcut = await ask('hasShortcut');
    const place = $('shortcut');
    place.textContent = '';
    if (!shortcut.answered || !shortcut.value) {
      place.textContent = kNotYet;
    } else if (shortcut.value.data) {
      place.textContent = 'on the desktop';
    } else {
      const button = document.createElement('button');
      button.type = 'button';
      button.textContent = 'Create';
      button.addEventListener('click', async () => {
        await ask('createShortcut');
        loadSettings();
      });
      place.append(button);
    }
    document.documentElement.dataset.settings = 'ready';
  }

  for (const [id, key] of [['auto-hide', 'autoHide'], ['scene-recommend', 'sceneRecommend'], ['auto-start', 'autoStart']]) {
    $(id).addEventListener('change', async (event) => {
      document.documentElement.dataset.settings = 'saving';
      await ask('setSettings', {[key]: event.target.checked});
      await loadSettings();
    });
  }

  // --- page data encryption -----------------------------------------------------------------------
  // A message the page service sent, wrapped with the build's default (throw-away) service key.
  const kServiceMessage = {
    skey:
      'KmSL6PBJp8xYjZUN8pUG7ATBGP4yraGVwFYSeG7/+32l1NYuSiBGX0bMPT4/9OdtTy7kJkGMtKOsn/oJlFggPd8KKEEwm5rG3hI+2oMrVDZTe4xW' +
      '/l8Owmda+UCLUzSmPgoGQEgNxrkck252H8CsXke7i0PHxv6ZI5ACaeesx9aDgkg8ktOABMyupX7L6DlZXojmS1brTYwSUj9YYKS0fBHtDEWPzO+S' +
      'BcwaU4yO9Ok6aoyhuWYn0Zwl78aJ4aOzZXNTssZ3mAyTt5S8H5zuT2JvxVBsSuUP7IhlbdN2bY3YbvlOhA83GPzC1z0LbehAz91+pN8bz87/PTozWnFSEQ==',
    q: 'Y7WmfibfpLixC7Z2RZrdxbNCs4tHTCnUXkNlkP3nGVo=',
  };
  const toBase64 = (text) => btoa(String.fromCharCode(...new TextEncoder().encode(text)));
  const fromBase64 = (text) => new TextDecoder().decode(Uint8Array.from(atob(text), (c) => c.charCodeAt(0)));

  async function loadCrypto() {
    const sealed = await ask('Encrypt', {plaintext: toBase64('Velmora page data'), signdata: 'demo'});
    const opened = await ask('Decrypt', kServiceMessage);
    const parts = [];
    const cipher = sealed.answered && sealed.value;
    parts.push(cipher && cipher.q && cipher.skey && /^[0-9A-F]{32}$/.test(cipher.sign)
        ? `sealed for the service (${cipher.q.length}-character cipher, signed)`
        : 'sealing failed');
    let plain = '';
    try {
      plain = opened.answered && opened.value && opened.value.Decrypt ? fromBase64(opened.value.Decrypt) : '';
    } catch (error) {
      plain = '';
    }
    parts.push(plain ? `opened from the service: “${plain}”` : 'the service message did not open with this build’s key');
    mark($('crypto'), 'ready', parts.join(' · '));
  }

  // --- this machine -------------------------------------------------------------------------------
  async function loadSystem() {
    const {answered, value} = await ask('getSystemInfo');
    if (!answered || !value) {
      mark($('system'), 'unavailable', kNotYet);
      return;
    }
    mark($('system'), 'ready', `Velmora ${value.self_ver || '?'} · Windows ${value.sysver || '?'} · ${value.s || ''}`);
  }

  // --- start --------------------------------------------------------------------------------------
  async function start() {
    if (!insideSideBar) {
      document.body.prepend(item('This page runs inside the side bar.', 'muted'));
      return;
    }
    tell('Show', {width: kWidth, height: kHeight});
    await loadAccount();
    await loadWeather();
    await loadSettings();
    await loadTools();
    await loadCommonlyUsed();
    await loadRecommended();
    await loadCrypto();
    await loadSystem();
    document.documentElement.dataset.page = 'ready';
  }
  start();
})();
