#!/usr/bin/env python3
"""pixbard's relay as its users meet it: pixbarctl and raw sockets on a sign's relay port while
curl sends the service's own jobs to the same sign.

    relay_test.py BIN_DIR shared|killed|holder|allowed

shared   pixbarctl stores a message set and messages through the relay while HTTP jobs on
         other slots arrive: every record on the sign is the one its sender composed, and
         every HTTP job is answered 200
killed   a client that dies in the middle of a frame (a raw socket, a SIGKILLed pixbarctl)
         keeps nobody waiting: the next relay client and the next HTTP job go through
holder   while a client keeps sending, the status (HTTP and MQTT) names it as relayClient and
         HTTP jobs wait; once it is quiet the status says null and the jobs run
allowed  on 0.0.0.0 and [::] a peer outside loopback and relay-allow is closed at once; one
         inside relay-allow talks to the sign (skipped when this machine has no such address)
"""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time

from harness import BIN, SERIAL, Failed, Pixbard, Process, Sim, check, free_port, run_main, wait_for

# The sign's identify question: start byte, source 0, destination FF55 stuffed, command AA.
IDENTIFY = bytes([0xFF, 0x00, 0x00, 0xF0, 0x0F, 0x55, 0xAA])
IDENTIFY_COMMAND = 0xAA
CONFIG_COMMAND = 0x13
# A frame's first bytes and no more.
HALF_FRAME = IDENTIFY[:4]
# A dead client must not keep the line anywhere near the 60 s a live one may hold it; the
# bound leaves room for a loaded machine.
PROMPT_S = 8
SKIPPED = 77

SET = ("[message 1]\nPierwszy {effect 3}\n[message 2]\nDrugi ŁÓDŹ\n[message 3]\nTrzeci\n"
       "[message 4]\n{effect 5}Czwarty\n[message 5]\nPiąty\n[message 6]\nSzósty\n"
       "[message 7]\nSiódmy ąę\n[message 8]\nÓsmy\n")


def pixbarctl(port, *args, timeout=60):
    try:
        return subprocess.run([os.path.join(BIN, "pixbarctl"), "--port", port, "--address",
                               str(SERIAL)] + list(args), capture_output=True, text=True,
                              timeout=timeout)
    except subprocess.TimeoutExpired:
        raise Failed("pixbarctl %s through %s did not end in %d s" % (" ".join(args), port, timeout))


def ctl(port, *args):
    done = pixbarctl(port, *args)
    check(done.returncode == 0, "pixbarctl %s through %s: %s%s" % (
        " ".join(args), port, done.stdout, done.stderr))


def compose(folder, name, text):
    """The bytes pixbarctl composes of a text, and the file it wrote them to."""
    path = os.path.join(folder, name)
    done = subprocess.run([os.path.join(BIN, "pixbarctl"), "compose", "-", "-o", path],
                          input=text, capture_output=True, text=True)
    check(done.returncode == 0, "pixbarctl compose: " + done.stderr)
    with open(path, "rb") as f:
        return f.read(), path


def start(folder, signs):
    """A served sign per name, each with a relay on a free port of 127.0.0.1 (or `host`)."""
    sims, relays, sections = {}, {}, []
    for name, host, *more in signs:
        sims[name] = Sim(folder, name)
        relays[name] = free_port()
        sections.append((name, sims[name].port_name(), "relay = %s:%d" % (host, relays[name]),
                         *more))
    service = Pixbard(folder, sections)
    for name in sims:
        service.wait_ready(name)
    return service, sims, relays


def relay_port(relays, name, host="127.0.0.1"):
    return "tcp:%s:%d" % (host, relays[name])


def check_records(sim, want, what):
    """Every slot in `want` holds exactly its record on the sign."""
    state = sim.state()
    for slot, record in sorted(want.items()):
        got = state.get("slot%d.kom" % slot)
        check(got is not None, "%s: slot %d was never stored" % (what, slot))
        check(got == record, "%s: slot %d differs from what was composed for it" % (what, slot))


class HttpLoad:
    """HTTP jobs sent one after another until stopped; each answer kept with its time."""

    def __init__(self, service, sign, jobs):
        self.service, self.sign, self.jobs = service, sign, jobs
        self.answers = []
        self.done = threading.Event()
        # A failed scene exits without stopping it.
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        n = 0
        while not self.done.is_set():
            method, path, body, content_type = self.jobs(n)
            r = self.service.request(method, "/api/v1/signs/%s/%s" % (self.sign, path), body,
                                     content_type)
            self.answers.append((time.monotonic(), n, path, r))
            n += 1

    def stop(self):
        self.done.set()
        self.thread.join()
        wrong = [(n, path, r) for _, n, path, r in self.answers
                 if r.status != 200 or r.json() != {"result": "Ok"}]
        check(not wrong, "%d of %d HTTP jobs not answered 200 Ok, first: %s" % (
            len(wrong), len(self.answers), wrong[:3]))
        return self.answers


def during(answers, begin, end):
    return sum(1 for at, *_ in answers if begin < at < end)


def scene_shared(folder):
    service, sims, relays = start(folder, [("shop", "127.0.0.1")])
    sim, port = sims["shop"], relay_port(relays, "shop")

    # A whole set through the relay; live texts, shows and configs through HTTP meanwhile.
    kzb, kzb_path = compose(folder, "set.kzb", SET)
    check(len(kzb) == 8 * 1024, "a composed set is 8 records")
    def live(n):
        return "Cena %d,50 zł" % n

    def brightness(n):
        return 20 + n % 80
    load = HttpLoad(service, "shop", lambda n: [
        ("PUT", "live", live(n), "text/plain; charset=utf-8"),
        ("POST", "show", '{"slot": %d}' % (1 + n % 9), "application/json"),
        ("PUT", "config", '{"brightness": %d, "speed": 4, "displayTime": 9}' % brightness(n),
         "application/json")][n % 3])
    wait_for(lambda: load.answers, 20, "the first HTTP job")
    began = time.monotonic()
    ctl(port, "send-set", kzb_path)
    ended = time.monotonic()
    wait_for(lambda: during(load.answers, ended, float("inf")) >= 3, 20, "HTTP jobs after the set")
    answers = load.stop()
    want = {slot: kzb[(slot - 1) * 1024:slot * 1024] for slot in range(1, 9)}
    last_live = max(n for _, n, path, _ in answers if path == "live")
    want[9] = compose(folder, "live.kom", live(last_live))[0]
    check_records(sim, want, "set through the relay with HTTP beside it")
    last_config = max(n for _, n, path, _ in answers if path == "config")
    configs = [data for command, data in sim.frames() if command == CONFIG_COMMAND]
    check(configs and configs[-1][1] == brightness(last_config),
          "the sign's last configuration is not the last one sent: %s" % (configs[-1:],))
    print("set through the relay exact beside %d HTTP jobs (%d while it was sent)" % (
        len(answers), during(answers, began, ended)))

    # Messages 1..4, one pixbarctl each, while HTTP fills messages 5..8: the jobs take turns.
    texts = {}

    def message_job(n):
        # A job is sent only after the one before it was answered, so the last text given a
        # slot is the one it must hold.
        slot = 5 + n % 4
        texts[slot] = "HTTP nr %d ąę" % n
        return "PUT", "messages/%d" % slot, texts[slot], "text/plain; charset=utf-8"
    load = HttpLoad(service, "shop", message_job)
    wait_for(lambda: load.answers, 20, "the first HTTP message")
    began = time.monotonic()
    for slot in range(1, 5):
        text = "Przez relay %d {effect %d} Łódź" % (slot, slot)
        texts[slot] = text
        ctl(port, "send-message", str(slot), compose(folder, "m%d.kom" % slot, text)[1])
    ended = time.monotonic()
    answers = load.stop()
    between = during(answers, began, ended)
    check(between > 0, "no HTTP job ran between the relay's clients (%d in all)" % len(answers))
    want = {slot: compose(folder, "want%d.kom" % slot, text)[0] for slot, text in texts.items()}
    check_records(sim, want, "messages through the relay and HTTP in turns")
    print("messages 1..4 through the relay and 5..8 over HTTP exact, %d HTTP jobs between"
          % between)


def scene_killed(folder):
    service, sims, relays = start(folder, [("shop", "127.0.0.1")])
    sim, port = sims["shop"], relay_port(relays, "shop")
    host, number = "127.0.0.1", relays["shop"]

    def next_ones_go_through(what, text):
        began = time.monotonic()
        kom, path = compose(folder, "after.kom", text)
        ctl(port, "send-message", "3", path)
        r = service.request("PUT", "/api/v1/signs/shop/config",
                            '{"brightness": 55, "speed": 5, "displayTime": 6}', "application/json")
        check(r.status == 200 and r.json() == {"result": "Ok"}, "%s: HTTP job %r" % (what, r))
        took = time.monotonic() - began
        check(took < PROMPT_S, "%s: the next client and job took %.1f s" % (what, took))
        check_records(sim, {3: kom}, what)
        check(service.status("shop")["relayClient"] is None, "%s: still a relay client" % what)
        print("%s: the next client and HTTP job through in %.1f s" % (what, took))

    # Half a frame and gone, before ever holding the line.
    with socket.create_connection((host, number)) as s:
        s.sendall(HALF_FRAME)
    next_ones_go_through("half a frame, then closed", "Po pół ramce")

    # Holding the line: one whole frame answered, then half of the next, then reset.
    s = socket.create_connection((host, number))
    s.sendall(IDENTIFY)
    s.settimeout(5)
    check(s.recv(64)[:1] == b"\xff", "the sign's answer through the relay")
    s.sendall(HALF_FRAME)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
    s.close()
    next_ones_go_through("holder reset in the middle of a frame", "Po zerwaniu")

    # Holding the line and then stuck in the middle of a frame, still connected: half a frame
    # is no frame, so the turn ends after the quiet time like any other.
    s = socket.create_connection((host, number))
    s.sendall(IDENTIFY)
    s.settimeout(5)
    check(s.recv(64)[:1] == b"\xff", "the sign's answer through the relay")
    s.sendall(HALF_FRAME)
    next_ones_go_through("holder stuck in the middle of a frame", "Po zawieszeniu")
    s.close()

    # pixbarctl killed outright in the middle of a message set.
    kzb, kzb_path = compose(folder, "set.kzb", SET)
    child = Process([os.path.join(BIN, "pixbarctl"), "--port", port, "--address", str(SERIAL),
                     "send-set", kzb_path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wait_for(lambda: service.status("shop")["relayClient"], 20, "pixbarctl to hold the line")
    before = len(sim.frames())
    wait_for(lambda: len(sim.frames()) > before + 2, 20, "blocks of the set on the sign")
    check(child.popen.poll() is None, "pixbarctl ended before it could be killed")
    child.terminate(signal.SIGKILL)
    next_ones_go_through("pixbarctl killed during a set", "Po zabiciu")


def mqtt_state(broker, name):
    done = subprocess.run(["mosquitto_sub", "-p", str(broker), "-t", "pixbar/%s/state" % name,
                           "-C", "1", "-W", "3"], capture_output=True, text=True)
    try:
        return json.loads(done.stdout)
    except ValueError:
        return None


def start_broker(folder):
    """A mosquitto broker on a free port, or None when the machine has none."""
    mosquitto = shutil.which("mosquitto") or shutil.which("mosquitto", path="/usr/sbin")
    if not mosquitto or not shutil.which("mosquitto_sub"):
        return None
    broker = free_port()
    conf = os.path.join(folder, "broker.conf")
    with open(conf, "w") as f:
        f.write("listener %d 127.0.0.1\nallow_anonymous true\npersistence false\n" % broker)
    Process([mosquitto, "-c", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def listening():
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", broker)) == 0
    wait_for(listening, 10, "the broker")
    return broker


def scene_holder(folder):
    broker = start_broker(folder)
    extra = ("\n[mqtt]\nhost = 127.0.0.1\nport = %d\nclient-id = relay\n" % broker) if broker else ""
    sim = Sim(folder, "shop")
    number = free_port()
    service = Pixbard(folder, [("shop", sim.port_name(), "relay = 127.0.0.1:%d" % number)],
                      http_extra=extra)
    service.wait_ready("shop")
    check(service.status("shop")["relayClient"] is None, "a relay client before any came")

    s = socket.create_connection(("127.0.0.1", number))
    me = "127.0.0.1:%d" % s.getsockname()[1]
    stop = threading.Event()
    last_sent = [0.0]
    sent = [0]
    heard = bytearray()

    def keep_sending():
        while not stop.is_set():
            s.sendall(IDENTIFY)
            sent[0] += 1
            last_sent[0] = time.monotonic()
            stop.wait(0.15)

    def keep_reading():
        while True:
            data = s.recv(4096)
            if not data:
                return
            heard.extend(data)
    sender = threading.Thread(target=keep_sending)
    sender.start()
    threading.Thread(target=keep_reading, daemon=True).start()
    other = socket.create_connection(("127.0.0.1", number))
    answers = []
    try:
        wait_for(lambda: service.status("shop")["relayClient"], 10, "the holder in the status")
        job = threading.Thread(target=lambda: answers.append((service.request(
            "PUT", "/api/v1/signs/shop/config", '{"brightness": 33}', "application/json"),
            time.monotonic())))
        job.start()
        for _ in range(10):
            status = service.status("shop")
            check(status["relayClient"] == me, "status while %s holds the line: %s" % (me, status))
            time.sleep(0.1)
        if broker:
            state = wait_for(lambda: (lambda j: j if j and j.get("relayClient") == me else None)(
                mqtt_state(broker, "shop")), 10, "the holder in the MQTT state")
            print("MQTT state names the holder: %s" % state["relayClient"])
        check(not answers, "an HTTP job ran while a relay client held the line: %r" % answers)
        # A second client asks behind the HTTP job; the holder's answers are not its.
        other.sendall(IDENTIFY)
        other.settimeout(0.3)
        try:
            early = other.recv(64)
        except socket.timeout:
            early = None
        check(early is None, "a waiting client heard %r while another held the line" % early)
    finally:
        stop.set()
        sender.join()
    stopped = last_sent[0]
    job.join()
    check(answers and answers[0][0].status == 200, "HTTP job after the holder: %r" % answers)
    # The turn ends after 500 ms without a frame, never sooner (a little slack for clocks).
    check(answers[0][1] - stopped >= 0.45, "the HTTP job ran %.2f s after the holder's last frame"
          % (answers[0][1] - stopped))
    other.settimeout(10)
    check(other.recv(64)[:1] == b"\xff", "the waiting client's answer after the holder")
    frames = sim.frames()
    last_config = max(i for i, (command, _) in enumerate(frames) if command == CONFIG_COMMAND)
    check(frames[-1][0] == IDENTIFY_COMMAND and last_config < len(frames) - 1,
          "the waiting client's frame did not follow the HTTP job that came first")
    wait_for(lambda: heard.count(0xFF) >= sent[0], 5, "an answer to each of the holder's frames")
    check(heard.count(0xFF) == sent[0], "the holder heard %d answers to %d frames" % (
        heard.count(0xFF), sent[0]))
    print("the holder heard an answer to each of its %d frames; the next client and the HTTP "
          "job took their turns in order" % sent[0])
    wait_for(lambda: service.status("shop")["relayClient"] is None, PROMPT_S,
             "relayClient null once the holder is quiet")
    configs = [data for command, data in sim.frames() if command == CONFIG_COMMAND]
    check(configs and configs[-1][1] == 33, "the waiting HTTP job's configuration on the sign")
    print("status named %s while it held the line, null after; the HTTP job answered %.2f s "
          "after its last frame" % (me, answers[0][1] - stopped))
    if broker:
        wait_for(lambda: (lambda j: j is not None and "relayClient" in j and j["relayClient"] is None)(
            mqtt_state(broker, "shop")), 10, "relayClient null in the MQTT state")
        print("MQTT state: relayClient null after")
    else:
        print("no mosquitto on this machine: the MQTT state not checked")
    s.close()
    other.close()


def outside_addresses():
    """This machine's addresses outside loopback that a socket can bind, by family."""
    try:
        done = subprocess.run(["hostname", "-I"], capture_output=True, text=True)
    except FileNotFoundError:
        return {}
    found = {}
    for address in done.stdout.split():
        family = socket.AF_INET6 if ":" in address else socket.AF_INET
        if family in found or address.startswith("127.") or address == "::1" or "%" in address:
            continue
        with socket.socket(family) as s:
            try:
                s.bind((address, 0))
                found[family] = address
            except OSError:
                pass
    return found


def ask_from(source, target, port):
    """What a client at `source` hears to an identify question: the answer's bytes, b"" when
    the relay closed the connection, None when it stayed silent."""
    with socket.socket(socket.AF_INET6 if ":" in source else socket.AF_INET) as s:
        s.bind((source, 0))
        s.settimeout(5)
        s.connect((target, port))
        try:
            s.sendall(IDENTIFY)
            return s.recv(64)
        except (ConnectionResetError, BrokenPipeError):
            return b""
        except socket.timeout:
            return None


def scene_allowed(folder):
    addresses = outside_addresses()
    if not addresses:
        print("skipped: this machine has no address outside loopback (hostname -I)")
        sys.exit(SKIPPED)
    signs = []
    for family, address in addresses.items():
        v6 = family == socket.AF_INET6
        anywhere, prefix = ("[::]", 128) if v6 else ("0.0.0.0", 32)
        tag = "6" if v6 else "4"
        signs += [("closed" + tag, anywhere), ("open" + tag, anywhere,
                                                "relay-allow = %s/%d" % (address, prefix))]
    service, sims, relays = start(folder, signs)

    for family, address in addresses.items():
        tag, loopback = ("6", "::1") if family == socket.AF_INET6 else ("4", "127.0.0.1")
        closed, opened = relays["closed" + tag], relays["open" + tag]
        check(ask_from(address, address, closed) == b"",
              "a peer at %s outside relay-allow was not closed at once" % address)
        host = "[%s]" % address if tag == "6" else address
        check(any(("relay client %s:" % host) in line and "not allowed" in line
                   for line in service.output().splitlines()),
              "the refused peer %s is not logged: %s" % (host, service.output()))
        frames = [c for c, _ in sims["closed" + tag].frames() if c == IDENTIFY_COMMAND]
        check(not frames, "the refused peer's frame reached the sign")
        print("peer %s outside relay-allow closed, logged, nothing sent" % address)
        check((ask_from(loopback, loopback, closed) or b"")[:1] == b"\xff",
              "loopback %s is always allowed" % loopback)
        check((ask_from(address, address, opened) or b"")[:1] == b"\xff",
              "a peer at %s inside relay-allow got no answer" % address)
        ctl("tcp:%s:%d" % (host, opened), "identify")
        print("loopback and a peer at %s inside relay-allow talk to the sign" % address)


SCENES = {"shared": scene_shared, "killed": scene_killed, "holder": scene_holder,
          "allowed": scene_allowed}

if __name__ == "__main__":
    scene = sys.argv[2] if len(sys.argv) > 2 else ""
    if scene not in SCENES:
        print("usage: %s BIN_DIR %s" % (sys.argv[0], "|".join(SCENES)), file=sys.stderr)
        sys.exit(2)
    run_main(SCENES[scene])
