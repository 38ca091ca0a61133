// The signs of pixbard in a browser. Everything the sign's rules decide (captions, the text
// form each button inserts, cells, errors, pictures) comes from the service's API.
"use strict";

const kPollMs = 1000;
const kPreviewDelayMs = 150;
const kMessages = 8;

const state = {
  signs: new Map(),      // name -> last status
  buttons: new Map(),    // name -> its button in the list
  sign: null,            // the open sign's name
  texts: new Map(),      // name -> eight texts, kept while the page is open
  current: 0,            // the message shown, 0..7
  palette: null,
  editors: [],
  connected: null,
};
// Time from the last keystroke to each new preview on screen, for whoever measures the page.
window.pixbarPreviewTimings = [];

const $ = (id) => document.getElementById(id);

function element(tag, props = {}, children = []) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(props)) {
    if (k === "text") e.textContent = v;
    else if (k === "class") e.className = v;
    else if (k.startsWith("on")) e.addEventListener(k.slice(2), v);
    else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c);
  return e;
}

// Paths are made absolute from the origin: a page opened with user:token@ in its address must not
// hand its credentials to fetch, which refuses them; the browser adds them itself.
function api(path, options = {}) {
  return fetch(new URL(path, location.origin), { cache: "no-store", ...options });
}

async function errorText(response) {
  try {
    const body = await response.json();
    return { error: body.error || "", result: body.result || "", line: body.line, column: body.column };
  } catch (e) {
    return { error: "", result: "" };
  }
}

// A short Polish sentence for the answer to a write.
async function describe(response, done) {
  if (response.ok) return { good: true, text: done };
  const body = await errorText(response);
  switch (response.status) {
    case 504: return { good: false, text: "Linijka nie odpowiedziała." };
    case 502: return { good: false, text: "Linijka odmówiła przyjęcia." };
    case 409: return { good: false, text: body.result === "Offline" ? "Linijka jest niedostępna." : "Nie wykonano: " + body.error };
    case 400: return { good: false, text: "Błędne dane: " + body.error };
    case 401: return { good: false, text: "Potrzebny token: odśwież stronę i zaloguj się." };
    case 503: return { good: false, text: "Usługa kończy pracę." };
    default: return { good: false, text: body.error || "Błąd HTTP " + response.status + "." };
  }
}

// The sentence stays a while and then leaves the screen free (it was already announced).
const kResultMs = 8000;
let resultTimer = 0;

function showResult(outcome) {
  const r = $("result");
  r.textContent = outcome.text;
  r.className = "result " + (outcome.good ? "good" : "bad");
  clearTimeout(resultTimer);
  resultTimer = setTimeout(() => { r.textContent = ""; }, kResultMs);
}

// Runs a write behind its button: the button waits, the answer comes back as a sentence.
async function busy(button, work) {
  if (button.disabled) return;
  const caption = button.textContent;
  button.disabled = true;
  button.setAttribute("aria-busy", "true");
  button.textContent = button.dataset.busy || "Czekaj...";
  try {
    showResult(await work());
  } catch (e) {
    showResult({ good: false, text: "Brak połączenia z usługą." });
  } finally {
    button.disabled = false;
    button.removeAttribute("aria-busy");
    button.textContent = caption;
  }
}

// ---- the list of signs ------------------------------------------------------------------

const kResultWords = {
  Ok: "udany", NoReply: "brak odpowiedzi", Rejected: "odmowa", Offline: "niedostępna",
  BadInput: "błędne dane", Replaced: "zastąpiony", Stopped: "przerwany",
};

function stateWord(s) {
  if (!s.online) return "niedostępna";
  return s.busy ? "zajęta" : "dostępna";
}

function renderSigns(list) {
  const ul = $("sign-list");
  const seen = new Set();
  for (const s of list) {
    seen.add(s.name);
    state.signs.set(s.name, s);
    let button = state.buttons.get(s.name);
    if (!button) {
      button = element("button", { type: "button", onclick: () => openSign(s.name) }, [
        element("span", { class: "sign-name" }), element("span", { class: "sign-state" }),
        element("span", { class: "sign-more" })]);
      state.buttons.set(s.name, button);
      ul.append(element("li", {}, [button]));
    }
    const word = stateWord(s);
    button.children[0].textContent = s.name;
    button.children[1].textContent = word;
    button.children[1].className = "sign-state " + word;
    const last = s.lastResult ? kResultWords[s.lastResult] || s.lastResult : "—";
    button.children[2].textContent = "w kolejce: " + s.queue + ", ostatni wynik: " + last;
    button.setAttribute("aria-current", s.name === state.sign ? "true" : "false");
  }
  for (const [name, button] of state.buttons) {
    if (seen.has(name)) continue;
    button.parentElement.remove();
    state.buttons.delete(name);
    state.signs.delete(name);
  }
  $("no-signs").hidden = list.length > 0;
  if (state.sign && state.signs.has(state.sign)) {
    const live = state.signs.get(state.sign).live;
    $("live-now").textContent = live === null || live === undefined ? "—" : live;
  }
}

function connection(text) {
  if (state.connected === text) return;
  state.connected = text;
  $("connection").textContent = text;
}

// The poll goes on whatever happens, so the page comes back by itself after a restart.
async function poll() {
  try {
    const response = await api("/api/v1/signs");
    if (response.status === 401) {
      connection("Potrzebny token: odśwież stronę i zaloguj się.");
    } else if (!response.ok) {
      connection("Usługa odpowiada błędem " + response.status + ".");
    } else {
      renderSigns(await response.json());
      connection("");
      const wanted = decodeURIComponent(location.hash.slice(1));
      if (!state.sign && wanted && state.signs.has(wanted)) openSign(wanted);
    }
  } catch (e) {
    connection("Brak połączenia z usługą, ponawiam…");
  }
  setTimeout(poll, kPollMs);
}

// ---- a sign's messages ------------------------------------------------------------------

function textsOf(name) {
  if (!state.texts.has(name)) state.texts.set(name, Array(kMessages).fill(""));
  return state.texts.get(name);
}

async function openSign(name) {
  const status = state.signs.get(name);
  if (!status) return;
  if (state.sign !== name) state.current = 0;
  state.sign = name;
  if (location.hash.slice(1) !== encodeURIComponent(name)) history.replaceState(null, "", "#" + encodeURIComponent(name));
  for (const [n, b] of state.buttons) b.setAttribute("aria-current", n === name ? "true" : "false");
  const response = await api("/api/v1/palette?sign=" + encodeURIComponent(name));
  if (!response.ok) {
    showResult(await describe(response, ""));
    return;
  }
  state.palette = await response.json();
  buildPalette();
  buildEditors();
  buildSliders(status.config);
  $("sign-title").textContent = "Linijka " + name;
  $("workspace").hidden = false;
  showMessage(state.current);
  loadSchedule();
}

function buildTabs() {
  const tabs = $("tabs");
  tabs.replaceChildren();
  for (let i = 0; i < kMessages; ++i) {
    const tab = element("button", {
      type: "button", role: "tab", id: "tab-" + (i + 1), "aria-controls": "editor-" + (i + 1),
      "aria-selected": "false", tabindex: "-1", text: String(i + 1),
      title: "Komunikat " + (i + 1), onclick: () => showMessage(i),
    });
    tab.addEventListener("keydown", (event) => {
      const step = { ArrowRight: 1, ArrowLeft: -1, Home: -i, End: kMessages - 1 - i }[event.key];
      if (step === undefined) return;
      event.preventDefault();
      showMessage((i + step + kMessages) % kMessages);
      $("tab-" + (state.current + 1)).focus();
    });
    tabs.append(tab);
  }
}

function buildEditors() {
  buildTabs();
  const box = $("editors");
  box.replaceChildren();
  state.editors = [];
  const texts = textsOf(state.sign);
  for (let i = 0; i < kMessages; ++i) {
    const id = "message-" + (i + 1);
    const area = element("textarea", { id, spellcheck: "false", rows: "5", "aria-describedby": id + "-info" });
    area.value = texts[i];
    const cells = element("span", { class: "cells" });
    const error = element("p", { class: "text-error", id: id + "-error" });
    const img = element("img", { alt: "Podgląd" });
    const panel = element("div", { class: "editor", id: "editor-" + (i + 1), role: "tabpanel", "aria-labelledby": "tab-" + (i + 1), hidden: "" }, [
      element("label", { for: id, text: "Komunikat " + (i + 1) }), area,
      element("p", { class: "editor-info", id: id + "-info" }, [cells, error]),
      element("div", { class: "preview-box" }, [img]),
    ]);
    const editor = { area, cells, error, img, timer: 0, seq: 0, typedAt: 0, valid: true, fresh: false };
    area.addEventListener("input", () => {
      texts[i] = area.value;
      editor.typedAt = performance.now();
      clearTimeout(editor.timer);
      editor.timer = setTimeout(() => refresh(i), kPreviewDelayMs);
    });
    state.editors.push(editor);
    box.append(panel);
  }
}

function showMessage(i) {
  state.current = i;
  for (let n = 0; n < kMessages; ++n) {
    const tab = $("tab-" + (n + 1));
    tab.setAttribute("aria-selected", n === i ? "true" : "false");
    tab.tabIndex = n === i ? 0 : -1;
    $("editor-" + (n + 1)).hidden = n !== i;
  }
  if (!state.editors[i].fresh) refresh(i);
}

// Asks the service what the text makes: its cells or its error, and its animated preview.
async function refresh(i) {
  const editor = state.editors[i];
  const seq = ++editor.seq;
  const text = editor.area.value;
  const typedAt = editor.typedAt;
  editor.fresh = true;
  const sign = encodeURIComponent(state.sign);
  const headers = { "Content-Type": "text/plain; charset=utf-8" };
  const composed = api("/api/v1/compose", { method: "POST", headers, body: text });
  const sentAt = performance.now();
  const preview = api("/api/v1/preview.gif?sign=" + sign, { method: "POST", headers, body: text });
  try {
    const c = await composed;
    if (seq !== editor.seq) return;
    const body = await c.json();
    const limit = state.palette ? state.palette.cellLimit : "?";
    if (c.ok) {
      editor.valid = true;
      editor.cells.textContent = "Komórki: " + body.cells + " / " + limit;
      editor.error.textContent = "";
      editor.area.removeAttribute("aria-invalid");
    } else {
      editor.valid = false;
      editor.line = body.line;
      editor.column = body.column;
      const words = (body.error || "").replace(/^\d+:\d+: /, "");
      editor.error.textContent = body.line ? "Wiersz " + body.line + ", kolumna " + body.column + ": " + words : words;
      editor.area.setAttribute("aria-invalid", "true");
      editor.img.classList.add("stale");
    }
    const p = await preview;
    if (seq !== editor.seq || !p.ok) return;
    const blob = await p.blob();
    const serverMs = performance.now() - sentAt;
    if (seq !== editor.seq) return;
    const old = editor.img.src;
    editor.img.onload = () => {
      if (old) URL.revokeObjectURL(old);
      if (typedAt) window.pixbarPreviewTimings.push({ total: performance.now() - typedAt, request: serverMs });
    };
    editor.img.src = URL.createObjectURL(blob);
    editor.img.classList.remove("stale");
  } catch (e) {
    editor.fresh = false;
  }
}

function insert(snippet) {
  const editor = state.editors[state.current];
  if (!editor) return;
  const area = editor.area;
  area.focus();
  area.setRangeText(snippet, area.selectionStart, area.selectionEnd, "end");
  area.dispatchEvent(new Event("input"));
}

function buildPalette() {
  const box = $("palette");
  box.replaceChildren();
  const wide = window.matchMedia("(min-width: 721px)").matches;
  const groups = state.palette.groups;
  groups.forEach((group, g) => {
    const items = element("div", { class: "items" });
    for (const item of group.items) {
      items.append(element("button", {
        type: "button", text: item.caption, title: item.snippet,
        class: item.snippet.startsWith("{font") ? "font-button" : "",
        onclick: () => insert(item.snippet),
      }));
    }
    if (g === groups.length - 1 && state.palette.symbols.length)
      items.append(element("button", { type: "button", text: "Symbol", onclick: openSymbols }));
    const details = element("details", {}, [element("summary", { text: group.caption }), items]);
    details.open = wide || g > 0;
    box.append(details);
  });
  $("symbol-grid").replaceChildren();
}

function openSymbols() {
  const grid = $("symbol-grid");
  // The pictures are asked for only when the picker is first opened.
  if (!grid.children.length) {
    for (const s of state.palette.symbols) {
      grid.append(element("button", {
        type: "button", "aria-label": "Symbol " + s.code, title: s.snippet,
        onclick: () => { $("symbols").close(); insert(s.snippet); },
      }, [element("img", { src: s.picture, alt: "" })]));
    }
  }
  $("symbols").showModal();
}

// ---- sending ----------------------------------------------------------------------------

function setText() {
  return textsOf(state.sign).map((t, i) => "[message " + (i + 1) + "]\n" + t + "\n").join("");
}

function sendMessage() {
  const n = state.current + 1;
  return busy($("send-message"), async () => {
    const r = await api("/api/v1/signs/" + encodeURIComponent(state.sign) + "/messages/" + n, {
      method: "PUT", headers: { "Content-Type": "text/plain; charset=utf-8" }, body: state.editors[state.current].area.value,
    });
    return describe(r, "Komunikat " + n + " wysłany.");
  });
}

function sendSet() {
  return busy($("send-set"), async () => {
    const r = await api("/api/v1/signs/" + encodeURIComponent(state.sign) + "/messages", {
      method: "PUT", headers: { "Content-Type": "text/plain; charset=utf-8" }, body: setText(),
    });
    return describe(r, "Zestaw komunikatów wysłany.");
  });
}

function showOnSign() {
  const n = state.current + 1;
  return busy($("show"), async () => {
    const r = await api("/api/v1/signs/" + encodeURIComponent(state.sign) + "/show", {
      method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify({ slot: n }),
    });
    return describe(r, "Linijka pokazuje komunikat " + n + ".");
  });
}

function sendLive(clear) {
  const path = "/api/v1/signs/" + encodeURIComponent(state.sign) + "/live";
  return busy($(clear ? "live-clear" : "live-send"), async () => {
    const r = clear ? await api(path, { method: "DELETE" })
      : await api(path, { method: "PUT", headers: { "Content-Type": "text/plain; charset=utf-8" }, body: $("live-text").value });
    return describe(r, clear ? "Tekst na żywo wyczyszczony." : "Tekst na żywo wysłany.");
  });
}

// ---- files ------------------------------------------------------------------------------

// Splits the text of a set into its eight messages by its "[message N]" lines.
function splitSet(text) {
  const out = Array(kMessages).fill("");
  let n = -1;
  let lines = [];
  const flush = () => { if (n >= 0) out[n] = lines.join("\n").replace(/(\r?\n)+$/, ""); };
  for (const line of text.split("\n")) {
    const m = /^\s*\[message\s+(\d+)\]\s*$/i.exec(line);
    if (m && +m[1] >= 1 && +m[1] <= kMessages) {
      flush();
      n = +m[1] - 1;
      lines = [];
    } else {
      lines.push(line);
    }
  }
  flush();
  return out;
}

async function loadFile(file) {
  const bytes = await file.arrayBuffer();
  let text;
  if (/\.(kom|kzb)$/i.test(file.name)) {
    const r = await api("/api/v1/decode", { method: "POST", headers: { "Content-Type": "application/octet-stream" }, body: bytes });
    if (!r.ok) return showResult(await describe(r, ""));
    text = await r.text();
  } else {
    text = new TextDecoder().decode(bytes);
  }
  const texts = textsOf(state.sign);
  if (/^\s*\[message\s/i.test(text)) splitSet(text).forEach((t, i) => { texts[i] = t; });
  else texts[state.current] = text.replace(/(\r?\n)+$/, "");
  state.editors.forEach((e, i) => { e.area.value = texts[i]; e.fresh = false; });
  refresh(state.current);
  showResult({ good: true, text: "Wczytano plik " + file.name + "." });
}

async function saveFile() {
  const kind = $("save-kind").value;
  const n = state.current + 1;
  let blob;
  if (kind === "txt") {
    blob = new Blob([state.editors[state.current].area.value], { type: "text/plain" });
  } else {
    const r = await api("/api/v1/compose", {
      method: "POST", body: kind === "kzb" ? setText() : state.editors[state.current].area.value,
      headers: { "Content-Type": "text/plain; charset=utf-8", Accept: "application/octet-stream" },
    });
    if (!r.ok) return showResult(await describe(r, ""));
    blob = await r.blob();
  }
  const a = element("a", { href: URL.createObjectURL(blob), download: kind === "kzb" ? "zestaw.kzb" : "komunikat" + n + "." + kind });
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(a.href), 10000);
  showResult({ good: true, text: "Zapisano plik " + a.download + "." });
}

// ---- settings ---------------------------------------------------------------------------

function buildSliders(config) {
  const box = $("sliders");
  box.replaceChildren();
  for (const s of state.palette.settings) {
    const id = "setting-" + s.name;
    const input = element("input", { type: "range", id, min: String(s.min), max: String(s.max), step: "1" });
    input.value = String(config && config[s.name] !== undefined ? config[s.name] : s.min);
    const out = element("output", { for: id });
    const show = () => {
      const text = s.values[input.value - s.min];
      out.textContent = text;
      input.setAttribute("aria-valuetext", text);
    };
    input.addEventListener("input", show);
    show();
    box.append(element("div", { class: "slider" }, [element("label", { for: id, text: s.caption }), input, out]));
  }
}

function sendConfig() {
  const body = {};
  for (const s of state.palette.settings) body[s.name] = +$("setting-" + s.name).value;
  return busy($("config-send"), async () => {
    const r = await api("/api/v1/signs/" + encodeURIComponent(state.sign) + "/config", {
      method: "PUT", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body),
    });
    return describe(r, "Konfiguracja wysłana.");
  });
}

function syncClock() {
  return busy($("clock"), async () => {
    const r = await api("/api/v1/signs/" + encodeURIComponent(state.sign) + "/clock", { method: "POST" });
    return describe(r, "Zegar linijki zsynchronizowany.");
  });
}

document.addEventListener("DOMContentLoaded", () => {
  $("send-message").addEventListener("click", sendMessage);
  $("send-set").addEventListener("click", sendSet);
  $("show").addEventListener("click", showOnSign);
  $("live-send").addEventListener("click", () => sendLive(false));
  $("live-clear").addEventListener("click", () => sendLive(true));
  $("config-send").addEventListener("click", sendConfig);
  $("clock").addEventListener("click", syncClock);
  $("load").addEventListener("click", () => $("load-input").click());
  $("load-input").addEventListener("change", (event) => {
    const file = event.target.files[0];
    if (file) loadFile(file).catch(() => showResult({ good: false, text: "Nie udało się wczytać pliku." }));
    event.target.value = "";
  });
  window.addEventListener("hashchange", () => {
    const wanted = decodeURIComponent(location.hash.slice(1));
    if (wanted && wanted !== state.sign && state.signs.has(wanted)) openSign(wanted);
  });
  $("save").addEventListener("click", () => saveFile().catch(() => showResult({ good: false, text: "Brak połączenia z usługą." })));
  poll();
});
