#!/usr/bin/env python3
"""What the service does when a sign or a client misbehaves.

A sign that never answers, a sign whose process dies and comes back, ports that do not exist,
and a table of bad requests: each gets its status and a JSON error, and none of the bad
requests sends anything to the sign.
"""

import threading
import time

from harness import Pixbard, Sim, check, expect_json_error, free_port, run_main, wait_for

GOOD_FONT = bytes([12, 0, 0, 0]) + bytes(2048)


def bad_requests():
    """(what, method, path under the sign or /api/v1 when it starts with /, body, type, status)."""
    big_header = ["X-Fill-%d: %s" % (i, "x" * 1000) for i in range(20)]
    return [
        ("an unknown item in the text", "PUT", "messages/2", "Ala {efect 3}", "text/plain", 400, None),
        ("a text that is not UTF-8", "PUT", "messages/2", b"Zaz\xf3\xb3\xe6", "text/plain", 400, None),
        ("a record of 1000 bytes", "PUT", "messages/2", bytes(1000), "application/octet-stream", 400, None),
        ("a set of 8191 bytes", "PUT", "messages", bytes(8191), "application/octet-stream", 400, None),
        ("an unknown item in a set", "PUT", "messages", "[message 1]\n{kolor 9}", "text/plain", 400, None),
        ("a JSON body for a message", "PUT", "messages/2", '{"text": "a"}', "application/json", 415, None),
        ("JSON as live text", "PUT", "live", '{"text": "a"}', "application/json", 415, None),
        ("a record as live text", "PUT", "live", bytes(1024), "application/octet-stream", 415, None),
        ("message 0", "PUT", "messages/0", "a", "text/plain", 404, None),
        ("message 9", "PUT", "messages/9", "a", "text/plain", 404, None),
        ("message +1", "PUT", "messages/+1", "a", "text/plain", 404, None),
        ("broken JSON", "POST", "show", '{"slot": 1', "application/json", 400, None),
        ("slot 0", "POST", "show", '{"slot": 0}', "application/json", 400, None),
        ("slot 10", "POST", "show", '{"slot": 10}', "application/json", 400, None),
        ("slot 1.5", "POST", "show", '{"slot": 1.5}', "application/json", 400, None),
        ("slot as text", "POST", "show", '{"slot": "1"}', "application/json", 400, None),
        ("no slot", "POST", "show", '{}', "application/json", 400, None),
        ("a JSON array", "POST", "show", '[1]', "application/json", 400, None),
        ("brightness 0", "PUT", "config", '{"brightness": 0}', "application/json", 400, None),
        ("brightness 101", "PUT", "config", '{"brightness": 101}', "application/json", 400, None),
        ("speed 21", "PUT", "config", '{"speed": 21}', "application/json", 400, None),
        ("display time 135", "PUT", "config", '{"displayTime": 135}', "application/json", 400, None),
        ("display time -1", "PUT", "config", '{"displayTime": -1}', "application/json", 400, None),
        ("an unknown setting", "PUT", "config", '{"colour": 3}', "application/json", 400, None),
        ("no setting", "PUT", "config", '{}', "application/json", 400, None),
        ("a font without its header", "PUT", "userfont", bytes(2052), "application/octet-stream", 400, None),
        ("symbols without their header", "PUT", "symbols", b"\x0b\0\0\0" + bytes(4096), "application/octet-stream", 400, None),
        ("an unknown sign", "PUT", "/signs/nikt/messages/1", "a", "text/plain", 404, None),
        ("an unknown path", "POST", "reset", None, None, 404, None),
        ("a wrong method", "POST", "messages/1", "a", "text/plain", 405, None),
        ("GET of a write", "GET", "show", None, None, 405, None),
        ("a 2 MB body", "PUT", "messages/1", b"a" * (2 << 20), "text/plain", 413, None),
        ("headers over 16 KiB", "POST", "clock", None, None, 431, big_header),
    ]


def main(folder):
    mute = Sim(folder, "mute", fault="silent")
    lively = Sim(folder, "lively")
    closed = free_port()
    service = Pixbard(folder, [("mute", mute.port_name()), ("lively", lively.port_name()),
                               ("closed", "tcp:127.0.0.1:%d" % closed),
                               ("nodevice", "/dev/pixbar-no-such-port")])
    service.wait_ready("lively")

    # Bad requests first, while the mute sign is still being asked for its version.
    frames = len(lively.frames())
    for what, method, path, body, content_type, status, headers in bad_requests():
        url = "/api/v1" + path if path.startswith("/") else "/api/v1/signs/lively/" + path
        r = service.request(method, url, body, content_type, headers=headers or ())
        answer = expect_json_error(r, status, what)
        if what == "an unknown item in the text":
            check(answer.get("line") == 1 and answer.get("column") == 5 and
                  answer["error"].startswith("1:5:"), "text error without its place: %r" % answer)
        check(len(lively.frames()) == frames, "%s reached the sign" % what)
        print("%d for %s" % (status, what))
    check(service.request("POST", "/api/v1/signs/lively/clock").status == 200,
          "a good request after the bad ones")
    check(len(lively.frames()) == frames + 1, "the good request's frame")

    # Ports that cannot be opened: offline, and every write says why.
    for name in ("closed", "nodevice"):
        check(service.status(name)["online"] is False, "%s is online" % name)
        answer = expect_json_error(service.request("POST", "/api/v1/signs/%s/show" % name,
                                                   '{"slot": 1}', "application/json"), 409, name)
        check(answer["result"] == "Offline" and "port" in answer["error"],
              "%s: not a clear offline error: %r" % (name, answer))
        print("offline: %s (%s)" % (name, answer["error"]))

    # A sign that never answers: 504 after the protocol's own attempts, about 6 s, while the
    # service goes on answering about every sign.
    service.wait_ready("mute", seconds=15)
    answers = []
    started = time.monotonic()
    writer = threading.Thread(target=lambda: answers.append(
        service.request("POST", "/api/v1/signs/mute/show", '{"slot": 2}', "application/json")))
    writer.start()
    wait_for(lambda: service.status("mute")["busy"], 5, "the mute sign's job to start")
    quick = time.monotonic()
    check(service.request("GET", "/api/v1/signs").status == 200, "status while a job waits")
    check(time.monotonic() - quick < 1.0, "status took %.1f s" % (time.monotonic() - quick))
    writer.join()
    took = time.monotonic() - started
    answer = expect_json_error(answers[0], 504, "the mute sign")
    check(answer["result"] == "NoReply", "mute: %r" % answer)
    check(4.0 <= took <= 8.0, "504 after %.1f s, not the protocol's ~6 s" % took)
    status = service.status("mute")
    check(status["online"] and status["lastResult"] == "NoReply" and status["lastError"],
          "mute status: %s" % status)
    print("504 after %.1f s from the mute sign, status answered meanwhile" % took)

    # The sign's process dies: offline; it comes back on the same port: online again.
    port = lively.port
    lively.kill9()
    lost = time.monotonic()
    last = wait_for(lambda: (lambda r: r if r.status == 409 else None)(
        service.request("POST", "/api/v1/signs/lively/show", '{"slot": 3}', "application/json")),
        10, "409 from the lost sign")
    check(last.json()["result"] == "Offline", "lost: %r" % last)
    check(service.status("lively")["online"] is False, "the lost sign is online")
    print("offline %.1f s after the sign died" % (time.monotonic() - lost))
    lively.start(port)
    back = time.monotonic()
    service.wait_ready("lively", seconds=6)
    print("online again %.1f s after the sign came back" % (time.monotonic() - back))
    r = service.request("PUT", "/api/v1/signs/lively/userfont", GOOD_FONT, "application/octet-stream")
    check(r.status == 200 and "font.fnd" in lively.state(), "a write after the return: %r" % r)


if __name__ == "__main__":
    run_main(main)
