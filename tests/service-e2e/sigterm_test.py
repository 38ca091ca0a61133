#!/usr/bin/env python3
"""SIGTERM while the sign is busy: the job in progress finishes, the queued ones are answered
503 without reaching the sign, and pixbard exits 0.
"""

import threading
import time

from harness import Pixbard, Sim, check, expect_json_error, run_main, wait_for

SHOW_FIRST, SHOW_LAST = 0x16, 0x1E


def main(folder):
    sim = Sim(folder, "sign")
    service = Pixbard(folder, [("shop", sim.port_name())])
    service.wait_ready("shop")

    answers = {}

    def send(key, method, path, body, content_type):
        answers[key] = service.request(method, "/api/v1/signs/shop/" + path, body, content_type)

    # A whole set takes the line for seconds at 19200 baud.
    long_job = threading.Thread(target=send, args=("set", "PUT", "messages", bytes(range(256)) * 32,
                                                   "application/octet-stream"))
    long_job.start()
    wait_for(lambda: service.status("shop")["busy"], 5, "the set to start")
    queued = [threading.Thread(target=send, args=("show%d" % n, "POST", "show",
                                                  '{"slot": %d}' % n, "application/json"))
              for n in (1, 2, 3)]
    for t in queued:
        t.start()
    wait_for(lambda: service.status("shop")["queue"] == 3, 5, "three jobs queued")
    check(service.status("shop")["busy"], "the set ended before the stop was asked")

    stopping = time.monotonic()
    code = service.process.terminate(seconds=20)
    took = time.monotonic() - stopping
    for t in [long_job] + queued:
        t.join()
    check(code == 0, "pixbard exited %d" % code)
    check(answers["set"].status == 200 and answers["set"].json() == {"result": "Ok"},
          "the job in progress: %r" % answers["set"])
    for n in (1, 2, 3):
        answer = expect_json_error(answers["show%d" % n], 503, "queued show %d" % n)
        check(answer["result"] == "Stopped", "queued show %d: %r" % (n, answer))
    state = sim.state()
    for n in range(1, 9):
        check(state.get("slot%d.kom" % n) == bytes(range(256)) * 4, "message %d of the set" % n)
    shows = [c for c, _ in sim.frames() if SHOW_FIRST <= c <= SHOW_LAST]
    check(not shows and "shown.txt" not in state, "a queued job reached the sign")
    print("SIGTERM: the set finished (%.1f s after the signal), 3 queued jobs got 503, exit 0" % took)


if __name__ == "__main__":
    run_main(main)
