#!/usr/bin/env python3
"""Many clients at once: every job reaches its sign exactly once, each client's jobs in the
order it sent them, and every answer is the one of its own job.

Eight clients send 25 jobs each, alternating between a sign that takes everything and one that
refuses everything (so an answer given to the wrong request shows). A configuration job carries
its client and number in the frame (brightness 10 + client, display time = number), so the
signs' logs tell which job each frame belongs to.
"""

import collections
import threading

from harness import Pixbard, Sim, check, run_main

CLIENTS = 8
JOBS = 25
CONFIG_COMMAND = 0x13
CLOCK_COMMAND = 0x11
SHOW_FIRST, SHOW_LAST = 0x16, 0x1E


def plan(client, number):
    """(sign, method, path, body, kind) of one job."""
    sign = "ok" if (client + number) % 2 == 0 else "refusing"
    kind = number % 5
    if kind in (0, 1, 2):
        body = '{"brightness": %d, "speed": %d, "displayTime": %d}' % (
            10 + client, 1 + number % 20, number)
        return sign, "PUT", "config", body, "config"
    if kind == 3:
        return sign, "POST", "show", '{"slot": %d}' % (1 + (client + number) % 9), "show"
    if number % 10 == 4:
        return sign, "POST", "clock", None, "clock"
    # Refused by the service itself: nothing may reach the sign.
    return sign, "PUT", "config", '{"brightness": %d}' % (101 + client), "bad"


def main(folder):
    sims = {"ok": Sim(folder, "ok"), "refusing": Sim(folder, "refusing", fault="reject")}
    service = Pixbard(folder, [(name, sim.port_name()) for name, sim in sims.items()])
    for name in sims:
        service.wait_ready(name)
    frames_before = {name: len(sim.frames()) for name, sim in sims.items()}

    wrong = []
    lock = threading.Lock()

    def client(c):
        for n in range(JOBS):
            sign, method, path, body, kind = plan(c, n)
            r = service.request(method, "/api/v1/signs/%s/%s" % (sign, path), body,
                                "application/json" if body else None)
            if kind == "bad":
                ok = r.status == 400 and "result" not in r.json() and "brightness" in r.json()["error"]
            elif sign == "ok":
                ok = r.status == 200 and r.json() == {"result": "Ok"}
            else:
                ok = r.status == 502 and r.json().get("result") == "Rejected"
            if not ok:
                with lock:
                    wrong.append("client %d job %d (%s on %s): %r" % (c, n, kind, sign, r))

    threads = [threading.Thread(target=client, args=(c,)) for c in range(CLIENTS)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    check(not wrong, "%d wrong answers, first: %s" % (len(wrong), wrong[:3]))
    print("%d answers, each its own job's" % (CLIENTS * JOBS))

    for name, sim in sims.items():
        frames = sim.frames()[frames_before[name]:]
        want = collections.Counter()
        configs = []
        for c in range(CLIENTS):
            for n in range(JOBS):
                sign, _, _, body, kind = plan(c, n)
                if sign != name or kind == "bad":
                    continue
                if kind == "config":
                    configs.append((c, n))
                    want[("config", c, n)] += 1
                elif kind == "show":
                    want[("show", 1 + (c + n) % 9)] += 1
                else:
                    want[("clock",)] += 1
        got = collections.Counter()
        order = collections.defaultdict(list)
        for command, data in frames:
            if command == CONFIG_COMMAND:
                c, n = data[1] - 10, data[3]
                got[("config", c, n)] += 1
                order[c].append(n)
            elif SHOW_FIRST <= command <= SHOW_LAST:
                got[("show", command - SHOW_FIRST + 1)] += 1
            elif command == CLOCK_COMMAND:
                got[("clock",)] += 1
            else:
                got[("other", command)] += 1
        missing, extra = want - got, got - want
        check(not missing and not extra,
              "sign %s: missing %s, more than once or unknown %s" % (name, dict(missing), dict(extra)))
        for c, numbers in order.items():
            check(numbers == sorted(numbers), "sign %s: client %d's jobs out of order: %s" % (name, c, numbers))
        print("sign %s: %d frames, each job once, in each client's order" % (name, len(frames)))
        status = service.status(name)
        check(status["queue"] == 0 and not status["busy"], "sign %s still busy: %s" % (name, status))


if __name__ == "__main__":
    run_main(main)
