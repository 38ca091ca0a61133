#!/usr/bin/env python3
"""Every write of the API stores on the sign exactly what the same pixbarctl command stores.

Two simulated signs: one behind pixbard, the other driven by pixbarctl. After each step both
signs' state folders must hold the same files, byte for byte, but the clock: the service sets
its sign's clock when the sign comes online, pixbarctl only when asked.
"""

import os
import random
import subprocess
import threading

from harness import BIN, SERIAL, Pixbard, Sim, check, run_main, wait_for

MESSAGE = "Witaj {effect 3} w sklepie ąę"
SET = "[message 1]\nPierwszy\n[message 2]\n{effect 5}Drugi ŁÓDŹ\n[message 5]\nPiąty\n"
LIVE = "Cena: 12,50 zł"


def ctl(sim, *args):
    done = subprocess.run([os.path.join(BIN, "pixbarctl"), "--port", sim.port_name(), "--address",
                           str(SERIAL)] + list(args), capture_output=True, text=True)
    check(done.returncode == 0, "pixbarctl %s: %s%s" % (" ".join(args), done.stdout, done.stderr))


def compose(text, out):
    done = subprocess.run([os.path.join(BIN, "pixbarctl"), "compose", "-", "-o", out],
                          input=text, capture_output=True, text=True)
    check(done.returncode == 0, "pixbarctl compose: " + done.stderr)
    with open(out, "rb") as f:
        return f.read()


def write(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))
    return path


def glyph_image(which, size):
    """A made-up user font or symbol table: the loader's header, then repeatable noise."""
    noise = random.Random(which)
    return bytes([12, 0, 0, 0]) + bytes(noise.randrange(256) for _ in range(size - 4))


def main(folder):
    served = Sim(folder, "served")
    direct = Sim(folder, "direct")
    service = Pixbard(folder, [("shop", served.port_name())])
    service.wait_ready("shop")
    check(wait_for(lambda: "clock.txt" in served.state(), 10, "the sign's clock to be set"),
          "pixbard did not set the clock of a sign that came online")

    def served_state():
        return {name: data for name, data in served.state().items() if name != "clock.txt"}

    kom = compose("Towar {effect 2} tani", os.path.join(folder, "towar.kom"))
    kzb = compose(SET.replace("Pierwszy", "Inny"), os.path.join(folder, "zestaw.kzb"))
    live = compose(LIVE, os.path.join(folder, "live.kom"))
    check(len(kom) == 1024 and len(kzb) == 8192 and len(live) == 1024, "composed sizes")
    font = glyph_image(1, 2048 + 4)
    symbols = glyph_image(2, 4096 + 4)
    font_bigger = glyph_image(3, 9000)
    files = {name: write(folder, name, data) for name, data in [
        ("message.txt", MESSAGE), ("set.txt", SET), ("empty.kom", bytes(1024)),
        ("font.fnd", font), ("symbols.bin", symbols), ("font2.fnd", font_bigger)]}
    files.update({"towar.kom": os.path.join(folder, "towar.kom"),
                  "zestaw.kzb": os.path.join(folder, "zestaw.kzb"),
                  "live.kom": os.path.join(folder, "live.kom")})

    steps = [
        ("message 2 from text", ("PUT", "messages/2", MESSAGE, "text/plain; charset=utf-8"),
         ("send-message", "2", files["message.txt"])),
        ("message 3 from .kom", ("PUT", "messages/3", kom, "application/octet-stream"),
         ("send-message", "3", files["towar.kom"])),
        ("message 8 from a longer body", ("PUT", "messages/8", kom + b"reszta", "application/octet-stream"),
         ("send-message", "8", files["towar.kom"])),
        ("set from text", ("PUT", "messages", SET, "text/plain"),
         ("send-set", files["set.txt"])),
        ("set from .kzb", ("PUT", "messages", kzb, "application/octet-stream"),
         ("send-set", files["zestaw.kzb"])),
        ("show", ("POST", "show", '{"slot": 4}', "application/json"), ("show", "4")),
        ("live", ("PUT", "live", LIVE, "text/plain"), ("store", "9", files["live.kom"])),
        ("live cleared", ("DELETE", "live", None, None), ("store", "9", files["empty.kom"])),
        ("config", ("PUT", "config", '{"brightness": 40, "speed": 7, "displayTime": 5}',
                    "application/json"), ("config", "40", "7", "5")),
        ("config, speed only", ("PUT", "config", '{"speed": 3}', "application/json"),
         ("config", "40", "3", "5")),
        ("config, no switching", ("PUT", "config", '{"displayTime": 134}', "application/json"),
         ("config", "40", "3", "134")),
        ("user font", ("PUT", "userfont", font, "application/octet-stream"),
         ("send-font", files["font.fnd"])),
        ("longer user font", ("PUT", "userfont", font_bigger, "application/octet-stream"),
         ("send-font", files["font2.fnd"])),
        ("symbols", ("PUT", "symbols", symbols, "application/octet-stream"),
         ("send-symbols", files["symbols.bin"])),
    ]
    for what, (method, path, body, content_type), command in steps:
        before = served_state()
        answers = []
        worker = threading.Thread(target=lambda: answers.append(
            service.request(method, "/api/v1/signs/shop/" + path, body, content_type)))
        worker.start()
        ctl(direct, *command)
        worker.join()
        answer = answers[0]
        check(answer.status == 200 and answer.json() == {"result": "Ok"},
              "%s: pixbard answered %r" % (what, answer))
        got, want = served_state(), direct.state()
        check(sorted(got) == sorted(want), "%s: files %s, pixbarctl's %s" % (what, sorted(got), sorted(want)))
        for name in want:
            check(got[name] == want[name], "%s: %s differs from what pixbarctl stored" % (what, name))
        check(got != before, "%s: nothing changed on the sign" % what)
        changed = [name for name in sorted(got) if before.get(name) != got[name]]
        print("same as pixbarctl: %s (%s)" % (what, ", ".join(changed)))


if __name__ == "__main__":
    run_main(main)
