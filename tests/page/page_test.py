#!/usr/bin/env python3
"""pixbard's web page in headless Chromium, in front of simulated signs.

A user types a message with the buttons, watches the preview, sends it and what the sign stores
is compared byte for byte with what `pixbarctl compose` makes of the same text; a wrong item is
shown with its place and sends nothing; a set is loaded from a .kzb and sent whole; live text,
the settings and the clock reach the sign; with a token nothing works without it. Screenshots
at 1280 and 390 pixels wide and the measured figures go to the output folder (second argument).
"""

import base64
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "service-e2e"))
from harness import (BIN, SERIAL, Failed, Process, Sim, check, curl, free_port,  # noqa: E402
                     run_main, wait_for)

OUT = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else ""
CHROMEDRIVER = "/usr/bin/chromedriver"

try:
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.support.select import Select
except ImportError:
    print("python3-selenium is missing (apt-get install python3-selenium chromium "
          "chromium-driver)", file=sys.stderr)
    sys.exit(1)


class Daemon:
    """pixbard on a port of its own; it can be stopped and started again on the same port.

    `signs` are (name, sim, width, height) and then any more lines of the sign's section."""

    def __init__(self, folder, signs, token_file=None):
        self.folder, self.signs, self.token_file = folder, signs, token_file
        self.port = free_port()
        self.start()

    def start(self):
        config = "[http]\nlisten = 127.0.0.1:%d\n" % self.port
        if self.token_file:
            config += "token-file = %s\n" % self.token_file
        for name, sim, width, height, *more in self.signs:
            config += "[sign %s]\nport = %s\naddress = %d\nwidth = %d\nheight = %d\n" % (
                name, sim.port_name(), SERIAL, width, height)
            config += "".join(line + "\n" for line in more)
        path = os.path.join(self.folder, "pixbard.conf")
        with open(path, "w") as f:
            f.write(config)
        self.log = os.path.join(self.folder, "pixbard.out")
        with open(self.log, "a") as out:
            self.process = Process([os.path.join(BIN, "pixbard"), "--config", path, "--data", BIN],
                                   stdout=out, stderr=subprocess.STDOUT)
        wait_for(lambda: curl(self.url("/"), timeout=2).status in (200, 401), 10, "pixbard")

    def stop(self):
        self.process.terminate()

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)


def compose_file(text, folder, name):
    """What pixbarctl makes of `text`: the bytes of a .kom or .kzb."""
    path = os.path.join(folder, name)
    done = subprocess.run([os.path.join(BIN, "pixbarctl"), "compose", "-", "-o", path],
                          input=text.encode("utf-8"), capture_output=True)
    check(done.returncode == 0, "pixbarctl compose %r: %s" % (text, done.stderr))
    with open(path, "rb") as f:
        return f.read()


class Page:
    """The browser and the words a user finds things by."""

    def __init__(self, downloads):
        options = webdriver.ChromeOptions()
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                    "--window-size=1280,900"):
            options.add_argument(arg)
        options.add_experimental_option("prefs", {"download.default_directory": downloads})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.driver.set_script_timeout(20)
        self.driver.execute_cdp_cmd("Page.setDownloadBehavior",
                                    {"behavior": "allow", "downloadPath": downloads})

    def quit(self):
        self.driver.quit()

    def button(self, caption):
        found = [b for b in self.driver.find_elements(By.TAG_NAME, "button")
                 if b.is_displayed() and (b.text.strip() == caption or
                                          b.get_attribute("aria-label") == caption)]
        check(found, "no button %r on the page" % caption)
        return found[0]

    def labelled(self, name):
        """The control whose label (or aria-label) reads `name`."""
        for label in self.driver.find_elements(By.TAG_NAME, "label"):
            if label.get_attribute("textContent").strip() == name and label.get_attribute("for"):
                return self.driver.find_element(By.ID, label.get_attribute("for"))
        found = self.driver.find_elements(By.CSS_SELECTOR, '[aria-label="%s"]' % name)
        check(found, "nothing is named %r" % name)
        return found[0]

    def text_of(self, css):
        return self.driver.find_element(By.CSS_SELECTOR, css).text

    def wait_text(self, css, wanted, seconds=10):
        return wait_for(lambda: wanted in self.text_of(css) and self.text_of(css), seconds,
                        "%r in %s (has %r)" % (wanted, css, self.text_of(css)))

    def picture(self, editor):
        """The bytes of the preview under message `editor`, or b"" before the first."""
        data = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const img = document.querySelector('#editor-%d img');
            if (!img.src) return done('');
            fetch(img.src).then(r => r.arrayBuffer()).then(b => {
              let s = ''; for (const x of new Uint8Array(b)) s += String.fromCharCode(x);
              done(btoa(s)); });""" % editor)
        return base64.b64decode(data)

    def timings(self):
        return self.driver.execute_script("return window.pixbarPreviewTimings.slice()")


def type_message(page, area, steps):
    for kind, value in steps:
        if kind == "keys":
            area.send_keys(value)
        else:
            page.button(value).click()


def main(folder):
    check(shutil.which("chromium") or os.path.exists("/usr/bin/chromium"), "chromium is missing")
    check(os.path.exists(CHROMEDRIVER), "chromium-driver is missing")
    out = OUT or os.path.join(folder, "out")
    os.makedirs(out, exist_ok=True)
    downloads = os.path.join(folder, "downloads")
    os.makedirs(downloads)

    shop = Sim(folder, "shop")
    wide = Sim(folder, "wide", width=24)
    mute = Sim(folder, "mute", fault="silent")
    daemon = Daemon(folder, [("sklep", shop, 12, 8), ("duza", wide, 24, 16), ("cicha", mute, 12, 8)])
    page = Page(downloads)
    try:
        scenes(page, daemon, shop, wide, mute, folder, out, downloads)
        daemon.stop()
        with_token(page, folder, shop)
    finally:
        page.quit()


def with_token(page, folder, shop):
    """With a token the page and the API refuse a browser without it and serve one with it."""
    token = "c0ffee5a17" * 4
    token_file = os.path.join(folder, "token")
    with open(os.open(token_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        f.write(token + "\n")
    guarded = os.path.join(folder, "guarded")
    os.makedirs(guarded)
    daemon = Daemon(guarded, [("sklep", shop, 12, 8)], token_file)
    d = page.driver
    d.get(daemon.url("/"))
    check(not d.find_elements(By.ID, "sign-list"),
          "the page opened without the token: %s" % d.page_source[:300])
    # Five refusals in a minute lock the address out: the browser's and two more.
    for path in ("/page.js", "/api/v1/palette"):
        r = curl(daemon.url(path))
        check(r.status == 401 and "Basic" in r.headers.get("www-authenticate", ""),
              "%s without the token: %r" % (path, r))
    basic = base64.b64encode(("ktokolwiek:" + token).encode()).decode()
    d.execute_cdp_cmd("Network.enable", {})
    d.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {"Authorization": "Basic " + basic}})
    try:
        d.get(daemon.url("/#sklep"))
        wait_for(lambda: d.find_elements(By.CSS_SELECTOR, "#palette button"), 10, "the palette")
        page.button("3").click()
        page.labelled("Komunikat 3").send_keys("Z tokenem")
        page.button("Wyślij komunikat").click()
        page.wait_text("#result", "Komunikat 3 wysłany.")
        check(shop.state().get("slot3.kom") == compose_file("Z tokenem", folder, "token.kom"),
              "the message sent with the token")
    finally:
        d.execute_cdp_cmd("Network.setExtraHTTPHeaders", {"headers": {}})
    print("with a token: nothing without it, everything with it")


def scenes(page, daemon, shop, wide, mute, folder, out, downloads):
    d = page.driver
    d.get(daemon.url("/"))
    check(d.title == "Linijki świetlne", "title %r" % d.title)
    page.wait_text(".sign-list", "dostępna")
    wait_for(lambda: "sklep" in page.text_of(".sign-list"), 5, "the sign list")
    sign_button = [b for b in d.find_elements(By.CSS_SELECTOR, ".sign-list button")
                   if "sklep" in b.text][0]
    sign_button.click()
    wait_for(lambda: d.find_elements(By.CSS_SELECTOR, "#palette button"), 10, "the palette")
    print("the list shows the signs with their state; choosing one opens it")

    # A message typed with the buttons: an effect, a font change and the time.
    area = page.labelled("Komunikat 1")
    wait_for(lambda: page.picture(1), 10, "the first preview")
    before = page.picture(1)
    font_button = [b for b in d.find_elements(By.CSS_SELECTOR, "#palette button")
                   if b.text.startswith("7] 8x16")]
    check(font_button, "no button for font 7 under its caption")
    area.click()
    type_message(page, area, [("keys", "Witaj "), ("button", "Najazd z dołu"), ("keys", "Sklep ")])
    font_button[0].click()
    type_message(page, area, [("keys", "godz. "), ("button", "Czas (Godzina/Minuta)")])
    text = area.get_attribute("value")
    check(text == "Witaj {effect 3}Sklep {font 7}godz. {time}", "the editor holds %r" % text)
    expected = compose_file(text, folder, "typed.kom")
    cells = curl(daemon.url("/api/v1/compose"), "POST", text.encode(), "text/plain").body
    page.wait_text("#editor-1 .cells", "Komórki: %d / 500" % json.loads(cells)["cells"])
    wait_for(lambda: page.picture(1) not in (b"", before), 10, "a new preview")
    check(page.picture(1)[:6] == b"GIF89a", "the preview is not a GIF")
    print("buttons insert at the cursor; cells and preview follow the text")

    send = page.button("Wyślij komunikat")
    send.click()
    page.wait_text("#result", "Komunikat 1 wysłany.")
    wait_for(lambda: shop.state().get("slot1.kom") == expected, 10,
             "the sign to store what pixbarctl composes")
    print("sent: the sign stores exactly the bytes pixbarctl composes")

    # A misspelt item: its place is shown and nothing is sent.
    page.button("2").click()
    area2 = page.labelled("Komunikat 2")
    area2.send_keys("Dobry\ndzien {efect 3}")
    answer = json.loads(curl(daemon.url("/api/v1/compose"), "POST",
                                           "Dobry\ndzien {efect 3}".encode(), "text/plain").body)
    check((answer["line"], answer["column"]) == (2, 7), "compose places the error at %r" % answer)
    page.wait_text("#editor-2 .text-error", "Wiersz 2, kolumna 7: unknown item {efect 3}")
    frames = len(shop.frames())
    page.button("Wyślij komunikat").click()
    page.wait_text("#result", "Błędne dane")
    time.sleep(0.5)
    check(len(shop.frames()) == frames and "slot2.kom" not in shop.state(),
          "a wrong text reached the sign")
    print("a wrong item shows its line and column and sends nothing")

    # A set from a .kzb, sent whole.
    set_text = "".join("[message %d]\n%s\n" % (n, t) for n, t in enumerate([
        "Pierwszy {effect 1}", "{kind upper}Drugi {inverse}ŻÓŁW{normal}", "{font 3}Trzeci {pause 7}",
        "{symbol 0x80} {symbol 0x91}", "{date} {temperature}", "", "{effect maszyna do pisania}Ósmy?",
        "Ostatni {{klamry}}"], 1))
    kzb = compose_file(set_text, folder, "zestaw.kzb")
    check(len(kzb) == 8192, "the set file has %d bytes" % len(kzb))
    d.find_element(By.ID, "load-input").send_keys(os.path.join(folder, "zestaw.kzb"))
    page.wait_text("#result", "Wczytano plik zestaw.kzb")
    page.button("Wyślij zestaw komunikatów").click()
    page.wait_text("#result", "Zestaw komunikatów wysłany.", 30)
    state = shop.state()
    for n in range(8):
        check(state.get("slot%d.kom" % (n + 1)) == kzb[n * 1024:(n + 1) * 1024],
              "record %d of the set differs on the sign" % (n + 1))
    print("a .kzb loaded from a file is sent whole: the sign holds all eight records exactly")

    # Saving gives the designer's file back.
    Select(page.labelled("Rodzaj pliku")).select_by_value("kzb")
    page.button("Zapisz plik").click()
    saved = os.path.join(downloads, "zestaw.kzb")
    wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) == 8192, 10, "the saved set")
    with open(saved, "rb") as f:
        check(f.read() == kzb, "the saved .kzb differs from the loaded one")
    print("the set saved as .kzb is the file loaded")

    # Live text, brightness and the clock.
    live = page.labelled("Tekst na żywo")
    live.send_keys("Promocja -20%")
    page.button("Wyślij tekst").click()
    page.wait_text("#result", "Tekst na żywo wysłany.")
    check(shop.state().get("slot9.kom") == compose_file("Promocja -20%", folder, "live.kom"),
          "the live text on the sign")
    page.wait_text("#live-now", "Promocja -20%", 5)
    page.button("Wyczyść").click()
    page.wait_text("#result", "Tekst na żywo wyczyszczony.")
    check(shop.state().get("slot9.kom") == bytes(1024), "the live text was not cleared")

    brightness = page.labelled("Jasność")
    start = int(brightness.get_attribute("value"))
    brightness.send_keys(Keys.ARROW_LEFT * 5)
    wanted = start - 5
    check(int(brightness.get_attribute("value")) == wanted, "the slider did not move by keyboard")
    check(page.labelled("Czas wyświetlania").get_attribute("max") == "134", "display time range")
    time_slider = page.labelled("Czas wyświetlania")
    time_slider.send_keys(Keys.END)
    check(time_slider.get_attribute("aria-valuetext") == "nie przełączaj", "display time caption")
    page.button("Wyślij konfigurację").click()
    page.wait_text("#result", "Konfiguracja wysłana.")
    config = shop.state().get("config.bin", b"")
    check(config[:4] == bytes([0, wanted, int(page.labelled("Prędkość przesuwu").get_attribute("value")), 134]),
          "the sign's configuration is %r" % config[:4])
    page.button("Zsynchronizuj zegar").click()
    page.wait_text("#result", "Zegar linijki zsynchronizowany.")
    check(time.strftime("%Y-%m-%d") in shop.state().get("clock.txt", b"").decode(), "the clock")
    print("live text, settings and clock reach the sign")

    screenshots(page, out, "desktop")

    # A sign that does not answer: the button waits, then says so.
    d.get(daemon.url("/#cicha"))
    page.wait_text("#sign-title", "Linijka cicha")
    page.labelled("Komunikat 1").send_keys("Halo")
    send = page.button("Wyślij komunikat")
    send.click()
    waiting = d.find_element(By.ID, "send-message")
    check(not waiting.is_enabled() and waiting.text == "Czekaj...", "the button does not wait")
    page.wait_text("#result", "Linijka nie odpowiedziała.", 60)
    check(waiting.is_enabled() and waiting.text == "Wyślij komunikat", "the button stays waiting")
    print("a job in progress shows on its button; no answer is said in Polish")

    measure(page, daemon, out)

    # The service restarts: the page comes back by itself.
    daemon.stop()
    page.wait_text("#connection", "Brak połączenia", 10)
    daemon.start()
    wait_for(lambda: page.text_of("#connection") == "", 10, "the page to reconnect")
    print("the page reconnects after the service restarts")


def screenshots(page, out, what):
    """The whole page 1280 px wide, and a phone's screens 390 px wide one after another."""
    d = page.driver
    for width, screen in ((1280, 0), (390, 844)):
        d.set_window_size(width, 900)
        time.sleep(0.3)
        height = d.execute_script("return document.documentElement.scrollHeight")
        overflow = d.execute_script(
            "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
        check(overflow <= 0, "the page is %d px wider than a %d px window" % (overflow, width))
        if not screen:
            d.set_window_size(width, min(height + 100, 4000))
            d.execute_script("window.scrollTo(0, 0)")
            time.sleep(0.3)
            d.save_screenshot(os.path.join(out, "%s-%d.png" % (what, width)))
            continue
        d.set_window_size(width, screen)
        for n, top in enumerate(range(0, height, screen - 100)):
            d.execute_script("window.scrollTo(0, %d)" % top)
            time.sleep(0.2)
            d.save_screenshot(os.path.join(out, "%s-%d-%d.png" % (what, width, n + 1)))
    d.set_window_size(1280, 900)


def measure(page, daemon, out):
    d = page.driver
    d.get(daemon.url("/#duza"))
    page.wait_text("#sign-title", "Linijka duza")
    area = page.labelled("Komunikat 1")
    wait_for(lambda: page.picture(1), 10, "the first preview")
    totals, requests = [], []
    for run in range(5):
        text = ("Promocja %d: chleb 3,50 zł, masło 7,99 zł, mleko 2,89 zł!!" % run)[:60]
        area.clear()
        d.execute_script("window.pixbarPreviewTimings = []")
        area.send_keys(text)
        timing = wait_for(lambda: page.timings(), 10, "the preview of the typed text")[-1]
        totals.append(timing["total"])
        requests.append(timing["request"])
    server = []
    for _ in range(5):
        started = time.monotonic()
        r = curl(daemon.url("/api/v1/preview.gif?sign=duza"), "POST", text.encode("utf-8"),
                 "text/plain")
        server.append((time.monotonic() - started) * 1000)
        check(r.status == 200, "preview: %r" % r)
    first = transfer(d, daemon, fresh=True)
    later = transfer(d, daemon, fresh=False)
    report = ("preview after the last keystroke (24x16, 60 characters): median %.0f ms, max %.0f ms"
              " (debounce 150 ms; preview request in the page %.0f ms; curl alone %.0f ms)\n"
              "page transfer: first load %d bytes, later load %d bytes\n" % (
                  statistics.median(totals), max(totals), statistics.median(requests),
                  statistics.median(server), first, later))
    print(report, end="")
    with open(os.path.join(out, "measured.txt"), "w") as f:
        f.write(report)
    # The time is reported, not judged: a shared machine or a sanitizer build says nothing of
    # the page. Its size is the page's own.
    check(first < 150 * 1024, "the page takes %d bytes" % first)


def transfer(d, daemon, fresh):
    """Bytes the page itself took to load: the document, its style and its script."""
    if fresh:
        d.execute_cdp_cmd("Network.enable", {})
        d.execute_cdp_cmd("Network.clearBrowserCache", {})
    d.get(daemon.url("/"))
    wait_for(lambda: d.execute_script("return document.readyState") == "complete", 10, "load")
    return d.execute_script("""
        const own = performance.getEntriesByType('resource')
            .filter(e => !e.name.includes('/api/')).map(e => e.transferSize);
        return own.concat(performance.getEntriesByType('navigation').map(e => e.transferSize))
            .reduce((a, b) => a + b, 0);""")


if __name__ == "__main__":
    try:
        run_main(main)
    except WebDriverException as e:
        print("FAILED: the browser: %s" % e, file=sys.stderr)
        Process.stop_all()
        sys.exit(1)
