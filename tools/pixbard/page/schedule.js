// The schedule of the open sign: its entries as the service reads them, a form that adds one
// and a button per entry that removes it. The page only edits lines of the file's text; what a
// line means, whether it is valid and when it runs next is the service's answer.
"use strict";

const kDayWords = ["pn", "wt", "śr", "cz", "pt", "sb", "nd"];
const kEveryDay = "codziennie";
const kScheduleRefreshMs = 60000;

// The commands a line can hold; `fields` are the form's inputs each one takes, in line order.
const kActions = [
  { key: "show", caption: "Pokaż komunikat", fields: ["slot"], liveSlot: true },
  { key: "message", caption: "Zapisz komunikat z pliku", fields: ["slot", "file"] },
  { key: "set", caption: "Zapisz zestaw z pliku", fields: ["file"] },
  { key: "brightness", caption: "Jasność", fields: ["value"], setting: "brightness" },
  { key: "speed", caption: "Prędkość", fields: ["value"], setting: "speed" },
  { key: "displaytime", caption: "Czas wyświetlania", fields: ["value"], setting: "displayTime" },
  { key: "live", caption: "Tekst na żywo", fields: ["text"] },
  { key: "clock", caption: "Ustaw zegar", fields: [] },
];
const kFieldBoxes = { slot: "schedule-slot-field", value: "schedule-value-field", file: "schedule-file-field", text: "schedule-text-field" };

const schedule = {
  sign: null,        // the sign the lines below belong to
  text: "",          // the whole file as last read
  editable: false,
  shown: "",         // what the rows show now
  seq: 0,
};

function schedulePath(sign) {
  return "/api/v1/signs/" + encodeURIComponent(sign) + "/schedule";
}

function actionOf(key) {
  return kActions.find((a) => a.key === key);
}

function settingOf(action) {
  if (!action || !action.setting || !state.palette) return null;
  return state.palette.settings.find((s) => s.name === action.setting) || null;
}

// ---- reading --------------------------------------------------------------------------

async function loadSchedule() {
  const sign = state.sign;
  if (!sign) return;
  const seq = ++schedule.seq;
  if (schedule.sign !== sign) {
    schedule.sign = sign;
    $("schedule-error").textContent = "";
    renderSchedule(null, "");
    chooseAction();
  }
  let body = null;
  let problem = "";
  try {
    const r = await api(schedulePath(sign));
    if (r.ok) body = await r.json();
    else problem = (await describe(r, "")).text;
  } catch (e) {
    problem = "Brak połączenia z usługą.";
  }
  if (seq !== schedule.seq || sign !== state.sign) return;
  applySchedule(body, problem);
}

function applySchedule(body, problem) {
  if (body) {
    schedule.text = typeof body.text === "string" ? body.text : "";
    schedule.editable = body.editable === true;
  }
  renderSchedule(body, problem);
}

// "2026-12-09T07:30:00+01:00" as "śr 9.12.2026, 07:30": the service's own local time, whatever
// the browser's time zone.
function nextText(iso) {
  const m = /^(\d{4})-(\d{2})-(\d{2})T(\d{2}):(\d{2})/.exec(iso || "");
  if (!m) return "—";
  const weekday = new Date(Date.UTC(+m[1], +m[2] - 1, +m[3])).getUTCDay();
  return kDayWords[(weekday + 6) % 7] + " " + +m[3] + "." + +m[2] + "." + m[1] + ", " + m[4] + ":" + m[5];
}

// The command of a line in words; the line itself stays in the tooltip.
function actionText(line) {
  const words = line.trim().split(/\s+/);
  const rest = line.trim().slice(words[0].length).trim();
  const action = actionOf(words[0].toLowerCase());
  if (!action) return line;
  switch (action.key) {
    case "show": return "Pokaż komunikat " + rest;
    case "message": return "Zapisz komunikat " + words[1] + " z pliku " + words.slice(2).join(" ");
    case "set": return "Zapisz zestaw z pliku " + rest;
    case "live": return rest ? "Tekst na żywo: „" + rest + "”" : "Wyczyść tekst na żywo";
    case "clock": return "Ustaw zegar";
    default: {
      const s = settingOf(action);
      const v = Number(rest);
      const caption = s && Number.isInteger(v) && v >= s.min && v <= s.max ? s.values[v - s.min] : rest;
      return action.caption + ": " + caption;
    }
  }
}

function renderSchedule(body, problem) {
  const entries = body && Array.isArray(body.entries) ? body.entries : [];
  const editable = !!body && schedule.editable;
  // An unchanged answer leaves the rows alone, and with them the keyboard's place.
  const shown = JSON.stringify([schedule.sign, entries, editable, !!body, problem]);
  if (shown === schedule.shown) return;
  schedule.shown = shown;
  const list = $("schedule-list");
  list.replaceChildren();
  for (const e of entries) {
    const remove = element("button", {
      type: "button", class: "remove", text: "Usuń", "data-busy": "Czekaj...",
      "aria-label": "Usuń wpis z wiersza " + e.line, title: "Usuń wiersz " + e.line + " z pliku",
    });
    remove.addEventListener("click", () => removeEntry(remove, e.line));
    remove.hidden = !editable;
    list.append(element("tr", { "data-line": String(e.line) }, [
      element("td", { class: "days-cell", "data-label": "Dni", text: e.days || "" }),
      element("td", { "data-label": "Godzina", text: e.time || "" }),
      element("td", { "data-label": "Polecenie", title: e.action || "", text: actionText(e.action || "") }),
      element("td", { "data-label": "Najbliżej" }, [element("time", { datetime: e.next || "", text: nextText(e.next) })]),
      element("td", { class: "remove-cell" }, [remove]),
    ]));
  }
  $("schedule-table").hidden = entries.length === 0;
  $("schedule-none").hidden = !body || editable;
  $("schedule-empty").hidden = !editable || entries.length > 0;
  $("schedule-form").hidden = !editable;
  if (problem && !body) {
    $("schedule-none").hidden = false;
    $("schedule-none").textContent = "Nie udało się odczytać harmonogramu: " + problem;
  } else {
    $("schedule-none").textContent = "Ta linijka nie ma pliku harmonogramu (klucz schedule w konfiguracji pixbard).";
  }
}

// ---- writing --------------------------------------------------------------------------

// The whole new text goes to the service; a refusal is shown with its line and column, as the
// message editor shows a wrong item, and the file stays as it was.
function putSchedule(button, text, done) {
  const sign = state.sign;
  return busy(button, async () => {
    const r = await api(schedulePath(sign), {
      method: "PUT", headers: { "Content-Type": "text/plain; charset=utf-8" }, body: text,
    });
    const error = $("schedule-error");
    if (r.ok) {
      error.textContent = "";
      // The answer is the schedule as read back; without it the page asks again.
      let body = null;
      try { body = await r.json(); } catch (e) { body = null; }
      ++schedule.seq;
      if (sign === state.sign && body && typeof body.text === "string") applySchedule(body, "");
      else await loadSchedule();
      return { good: true, text: done };
    }
    if (r.status === 400) {
      const body = await errorText(r);
      const words = (body.error || "").replace(/^\d+:\d+: /, "");
      error.textContent = body.line ? "Wiersz " + body.line + ", kolumna " + body.column + ": " + words : words;
      return { good: false, text: "Harmonogram nie zapisany: " + error.textContent };
    }
    const outcome = await describe(r, "");
    error.textContent = outcome.text;
    if (r.status === 409) loadSchedule();
    return outcome;
  });
}

// Line `line` (1-based) out of the text; every other line, comments too, stays as it was.
function withoutLine(text, line) {
  const lines = text.split("\n");
  lines.splice(line - 1, 1);
  return lines.join("\n");
}

function withLine(text, line) {
  if (text === "") return line + "\n";
  return text + (text.endsWith("\n") ? "" : "\n") + line + "\n";
}

function removeEntry(button, line) {
  return putSchedule(button, withoutLine(schedule.text, line), "Wpis usunięty z harmonogramu.");
}

// The checked days as the line writes them: every day, or the days with runs of three and
// more as ranges ("pn-pt,nd").
function daysWord() {
  if ($("day-all").checked) return kEveryDay;
  const on = kDayWords.map((d) => $("day-" + d).checked);
  if (on.every(Boolean)) return kEveryDay;
  const parts = [];
  for (let i = 0; i < on.length;) {
    if (!on[i]) { ++i; continue; }
    let j = i;
    while (j + 1 < on.length && on[j + 1]) ++j;
    if (j - i >= 2) parts.push(kDayWords[i] + "-" + kDayWords[j]);
    else for (let k = i; k <= j; ++k) parts.push(kDayWords[k]);
    i = j + 1;
  }
  return parts.join(",");
}

// The line the form describes, or a sentence saying what is missing.
function formLine() {
  const days = daysWord();
  if (!days) return { missing: "Zaznacz dni tygodnia." };
  const time = $("schedule-time").value.slice(0, 5);
  if (!time) return { missing: "Podaj godzinę." };
  const action = actionOf($("schedule-action").value);
  const words = [action.key];
  for (const f of action.fields) {
    if (f === "slot") words.push($("schedule-slot").value);
    if (f === "value") words.push($("schedule-value").value.trim());
    if (f === "file") {
      const file = $("schedule-file").value.trim();
      if (!file) return { missing: "Podaj nazwę pliku." };
      words.push(file);
    }
    if (f === "text") {
      const text = $("schedule-text").value.replace(/[\r\n]+/g, " ");
      if (text) words.push(text);
    }
  }
  return { line: days + " " + time + " " + words.join(" ") };
}

function addEntry(event) {
  event.preventDefault();
  const made = formLine();
  if (made.missing) {
    $("schedule-error").textContent = made.missing;
    showResult({ good: false, text: made.missing });
    return;
  }
  putSchedule($("schedule-add"), withLine(schedule.text, made.line), "Wpis dodany do harmonogramu.");
}

// ---- the form -------------------------------------------------------------------------

function showValueCaption() {
  const s = settingOf(actionOf($("schedule-action").value));
  const input = $("schedule-value");
  const v = Number(input.value);
  const ok = s && input.value !== "" && Number.isInteger(v) && v >= s.min && v <= s.max;
  $("schedule-value-text").textContent = ok ? s.values[v - s.min] : s ? "od " + s.min + " do " + s.max : "";
}

// Shows the inputs the chosen command takes, with the sign's present value as a start.
function chooseAction() {
  const action = actionOf($("schedule-action").value);
  for (const [field, box] of Object.entries(kFieldBoxes)) $(box).hidden = !action.fields.includes(field);
  const slot = $("schedule-slot");
  const chosen = slot.value;
  slot.replaceChildren();
  for (let n = 1; n <= kMessages; ++n) slot.append(element("option", { value: String(n), text: String(n) }));
  if (action.liveSlot) slot.append(element("option", { value: String(kMessages + 1), text: kMessages + 1 + " (tekst na żywo)" }));
  if ([...slot.options].some((o) => o.value === chosen)) slot.value = chosen;
  const s = settingOf(action);
  if (s) {
    const input = $("schedule-value");
    input.min = String(s.min);
    input.max = String(s.max);
    const status = state.signs.get(state.sign);
    const now = status && status.config ? status.config[s.name] : undefined;
    input.value = String(now !== undefined ? now : s.min);
  }
  showValueCaption();
}

function buildScheduleForm() {
  const days = $("day-list");
  for (const d of kDayWords) {
    const box = element("input", { type: "checkbox", id: "day-" + d, value: d });
    box.addEventListener("change", () => { if (box.checked) $("day-all").checked = false; });
    days.append(element("label", {}, [box, " " + d]));
  }
  $("day-all").addEventListener("change", () => {
    if ($("day-all").checked) for (const d of kDayWords) $("day-" + d).checked = false;
  });
  const select = $("schedule-action");
  for (const a of kActions) select.append(element("option", { value: a.key, text: a.caption }));
  select.addEventListener("change", chooseAction);
  $("schedule-value").addEventListener("input", showValueCaption);
  $("schedule-form").addEventListener("submit", addEntry);
  chooseAction();
}

document.addEventListener("DOMContentLoaded", () => {
  buildScheduleForm();
  // "Next" moves on as entries run; a look now and then keeps it true.
  setInterval(() => { if (state.sign && !$("workspace").hidden) loadSchedule(); }, kScheduleRefreshMs);
});
