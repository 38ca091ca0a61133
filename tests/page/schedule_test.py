#!/usr/bin/env python3
"""The "Harmonogram" part of pixbard's web page in headless Chromium.

A sign with a schedule file: the page lists what the service reads from it, adds an entry made
with the form, removes one with its button, and shows a refused entry with its line and column;
after each step the file on disk is compared with what the step must leave (comments and blank
lines kept). A sign without a schedule file says so and offers no form. Screenshots 1280 and
390 pixels wide go to the output folder (second argument).
"""

import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from page_test import OUT, Daemon, Page, WebDriverException  # noqa: E402
from harness import Process, Sim, check, curl, run_main, wait_for  # noqa: E402
from selenium.common.exceptions import StaleElementReferenceException  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402
from selenium.webdriver.support.select import Select  # noqa: E402

FIRST = ("# Sklep: rano oferta dnia\n"
         "pn-pt 07:30 show 2\n"
         "\n"
         "# wieczorem ciemniej\n"
         "codziennie 22:00 brightness 10\n")


# What the form is set to, and the line it must append.
FORMS = [
    (["pn", "wt", "śr", "cz", "pt"], "07:45", "Pokaż komunikat", {"slot": "9"}, "pn-pt 07:45 show 9"),
    (["pn", "wt", "cz", "pt", "sb"], "18:00", "Tekst na żywo", {"text": "Promocja -20% na żółte"},
     "pn,wt,cz-sb 18:00 live Promocja -20% na żółte"),
    (["sb"], "23:59", "Tekst na żywo", {"text": ""}, "sb 23:59 live"),
    (["pn", "wt", "śr", "cz", "pt", "sb", "nd"], "03:30", "Ustaw zegar", {}, "codziennie 03:30 clock"),
    (["nd", "pn"], "10:00", "Zapisz zestaw z pliku", {"file": "zestaw.kzb"},
     "pn,nd 10:00 set zestaw.kzb"),
    (["pt"], "12:00", "Prędkość", {"value": "5"}, "pt 12:00 speed 5"),
    (["cz"], "00:00", "Czas wyświetlania", {"value": "134"}, "cz 00:00 displaytime 134"),
]


def read(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8")


class Schedule:
    """The schedule part of the page, found by the words a user sees."""

    def __init__(self, page, daemon, sign):
        self.page, self.d, self.daemon, self.sign = page, page.driver, daemon, sign

    def api(self):
        r = curl(self.daemon.url("/api/v1/signs/%s/schedule" % self.sign))
        check(r.status == 200, "GET schedule: %r" % r)
        return r.json()

    def rows(self):
        return self.d.find_elements(By.CSS_SELECTOR, "#schedule-list tr")

    def wait_rows(self, count):
        wait_for(lambda: len(self.rows()) == count, 10,
                 "%d entries listed (the page has %d)" % (count, len(self.rows())))

    def check_listed(self):
        """Every entry the service reads is a row: its line, days, time and next run."""
        entries = self.api()["entries"]
        self.wait_rows(len(entries))
        try:
            return self.compare_rows(entries)
        except StaleElementReferenceException:
            # The page looked again meanwhile (it does every minute): once more, on the new rows.
            return self.check_listed()

    def compare_rows(self, entries):
        for row, e in zip(self.rows(), entries):
            cells = row.find_elements(By.TAG_NAME, "td")
            check(row.get_attribute("data-line") == str(e["line"]), "row of line %r" % e)
            check(cells[0].text == e["days"] and cells[1].text == e["time"],
                  "row %r for %r" % (row.text, e))
            check(cells[2].get_attribute("title") == e["action"], "action of %r" % e)
            when = row.find_element(By.TAG_NAME, "time")
            check(when.get_attribute("datetime") == e["next"], "next run of %r" % e)
            day, hour = e["next"][8:10].lstrip("0"), e["next"][11:16]
            check(day in when.text and hour in when.text, "next run shown as %r" % when.text)
        return entries

    def field(self, caption):
        """The control of the schedule's form that the label `caption` names."""
        label = self.d.find_element(
            By.XPATH, "//form[@id='schedule-form']//label[normalize-space()='%s']" % caption)
        return self.d.find_element(By.ID, label.get_attribute("for"))

    def day(self, word, on):
        box = self.d.find_element(
            By.XPATH, "//fieldset[contains(@class,'days')]//label[normalize-space()='%s']/input" % word)
        if box.is_selected() != on:
            box.click()

    def fill(self, days, hour, action, **args):
        for word in ("codziennie", "pn", "wt", "śr", "cz", "pt", "sb", "nd"):
            self.day(word, word in days)
        # Typing into a time field depends on the browser's locale; the value is what counts.
        self.d.execute_script("arguments[0].value = arguments[1];"
                              "arguments[0].dispatchEvent(new Event('input'))",
                              self.field("Godzina"), hour)
        Select(self.field("Polecenie")).select_by_visible_text(action)
        for caption, value in args.items():
            field = self.field({"slot": "Numer komunikatu", "value": "Wartość",
                                        "file": "Plik (w folderze harmonogramu)",
                                        "text": "Tekst (pusty czyści)"}[caption])
            if field.tag_name == "select":
                Select(field).select_by_value(value)
            else:
                field.clear()
                field.send_keys(value)

    def add(self):
        self.page.button("Dodaj wpis").click()

    def error(self):
        return self.page.text_of("#schedule-error")


def main(folder):
    out = OUT or os.path.join(folder, "out")
    os.makedirs(out, exist_ok=True)
    files = os.path.join(folder, "harmonogram")
    os.makedirs(files)
    path = os.path.join(files, "sklep.txt")
    with open(path, "w", encoding="utf-8") as f:
        f.write(FIRST)
    with open(os.path.join(files, "oferta.txt"), "w", encoding="utf-8") as f:
        f.write("Oferta dnia {effect 3}\n")
    shop = Sim(folder, "shop")
    plain = Sim(folder, "plain")
    daemon = Daemon(folder, [("sklep", shop, 12, 8, "schedule = " + path), ("bez", plain, 12, 8)])
    page = Page(os.path.join(folder, "downloads"))
    try:
        scenes(page, daemon, path, out)
    finally:
        page.quit()


def scenes(page, daemon, path, out):
    d = page.driver
    s = Schedule(page, daemon, "sklep")
    d.get(daemon.url("/#sklep"))
    page.wait_text("#sign-title", "Linijka sklep")
    entries = s.check_listed()
    check([e["line"] for e in entries] == [2, 5], "the service reads lines %r" % entries)
    check(d.find_element(By.ID, "schedule-form").is_displayed(), "no form for an editable schedule")
    print("the entries the service reads are listed with their next run")

    # Nothing to say when: the page asks for the days and sends nothing.
    s.fill([], "08:00", "Ustaw zegar")
    s.add()
    wait_for(lambda: "dni" in s.error(), 5, "a word about the missing days (%r)" % s.error())
    check(read(path) == FIRST, "an entry without days changed the file")

    s.fill(["sb", "nd"], "09:15", "Jasność", value="20")
    s.add()
    page.wait_text("#result", "Wpis dodany do harmonogramu.")
    text = FIRST + "sb,nd 09:15 brightness 20\n"
    check(read(path) == text, "after adding the file holds %r" % read(path))
    entries = s.check_listed()
    check(len(entries) == 3 and "Jasność" in s.rows()[2].text, "the new entry: %r" % s.rows()[2].text)
    print("an entry made with the form is appended to the file and listed")

    # Three days in a row are written as a range; the file name and slot go as typed.
    s.fill(["pn", "wt", "śr"], "12:00", "Zapisz komunikat z pliku", slot="3", file="oferta.txt")
    s.add()
    page.wait_text("#result", "Wpis dodany do harmonogramu.")
    text += "pn-śr 12:00 message 3 oferta.txt\n"
    check(read(path) == text, "after the second entry the file holds %r" % read(path))
    s.check_listed()

    # Each command with its arguments, and the days as the line writes them.
    for days, hour, action, args, line in FORMS:
        s.fill(days, hour, action, **args)
        s.add()
        wait_for(lambda: read(path) == text + line + "\n", 10,
                 "%r at the end of the file (it holds %r; the page says %r)" % (
                     line, read(path), s.error()))
        text += line + "\n"
    s.check_listed()
    print("every command of the form makes its line, accepted by the service")

    page.button("Usuń wpis z wiersza 2").click()
    page.wait_text("#result", "Wpis usunięty z harmonogramu.")
    text = text.replace("pn-pt 07:30 show 2\n", "")
    check(read(path) == text, "after removing line 2 the file holds %r" % read(path))
    entries = s.check_listed()
    check(not any(e["time"] == "07:30" for e in entries), "the removed entry is still listed")
    print("removing an entry takes out its line only; comments and blank lines stay")

    # An entry the service refuses: the place the API names is shown and the file stays.
    s.fill(["codziennie"], "06:00", "Jasność", value="300")
    refused = curl(daemon.url("/api/v1/signs/sklep/schedule"), "PUT",
                   (text + "codziennie 06:00 brightness 300\n").encode("utf-8"),
                   "text/plain; charset=utf-8").json()
    check(read(path) == text, "a refused PUT changed the file")
    where = "Wiersz %d, kolumna %d: " % (refused["line"], refused["column"])
    rows = len(s.rows())
    s.add()
    wait_for(lambda: where in s.error(), 10, "%r on the page (has %r)" % (where, s.error()))
    check(re.sub(r"^\d+:\d+: ", "", refused["error"]) in s.error(),
          "the service's words %r" % refused)
    check(page.text_of("#result").startswith("Harmonogram nie zapisany"), "the answer's sentence")
    time.sleep(0.3)
    check(read(path) == text and len(s.rows()) == rows, "a refused entry changed the schedule")
    print("a refused entry shows its line and column and leaves the file as it was")

    shots(page, out)

    d.get(daemon.url("/#bez"))
    page.wait_text("#sign-title", "Linijka bez")
    wait_for(lambda: d.find_element(By.ID, "schedule-none").is_displayed(), 10,
             "the words for a sign without a schedule file")
    check("nie ma pliku harmonogramu" in page.text_of("#schedule-none"), "the hint's words")
    check(not d.find_element(By.ID, "schedule-form").is_displayed() and not s.rows(),
          "a sign without a schedule file offers the form or entries")
    print("a sign without a schedule file says so and offers no form")


def shots(page, out):
    """The schedule at 1280 px, and at 390 px its list and its form one after another."""
    d = page.driver
    for width, height, parts in ((1280, 900, ("schedule-title",)),
                                 (390, 844, ("schedule-title", "schedule-form"))):
        d.set_window_size(width, height)
        time.sleep(0.3)
        overflow = d.execute_script(
            "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
        check(overflow <= 0, "the page is %d px wider than a %d px window" % (overflow, width))
        for n, part in enumerate(parts):
            d.execute_script("document.getElementById(arguments[0]).scrollIntoView()", part)
            time.sleep(0.2)
            d.save_screenshot(os.path.join(out, "schedule-%d-%d.png" % (width, n + 1)))
    d.set_window_size(1280, 900)


if __name__ == "__main__":
    try:
        run_main(main)
    except WebDriverException as e:
        print("FAILED: the browser: %s" % e, file=sys.stderr)
        Process.stop_all()
        sys.exit(1)
