"""Processes and a client for pixbard's end-to-end tests.

pixbard runs as the user runs it, on free ports, in front of pixbar-sign-sim processes; the
client is curl. Every test script takes the build's bin folder as its first argument and
prints what it checked; it exits 1 at the first failure.
"""

import json
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

BIN = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else ""
SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
SERIAL = 4660


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def run_main(main):
    """Runs a test's main; a failure is one line on stderr and exit code 1."""
    if not BIN or not os.path.isfile(os.path.join(BIN, "pixbard")):
        print("usage: %s BIN_DIR (with pixbard, pixbar-sign-sim, pixbarctl)" % sys.argv[0],
              file=sys.stderr)
        sys.exit(2)
    if shutil.which("curl") is None:
        print("curl is missing (apt-get install curl)", file=sys.stderr)
        sys.exit(1)
    started = time.monotonic()
    folder = tempfile.mkdtemp(prefix="pixbard-e2e-")
    try:
        main(folder)
    except Failed as failure:
        Process.stop_all()
        # The logs stay for a look at what the signs received.
        print("FAILED: %s\n(logs in %s)" % (failure, folder), file=sys.stderr)
        sys.exit(1)
    Process.stop_all()
    shutil.rmtree(folder, ignore_errors=True)
    print("passed in %.1f s" % (time.monotonic() - started))


def free_port():
    """A free port of 127.0.0.1 for a child to listen on. It is taken below the range the
    system gives outgoing connections (32768 up), so no client of a test running beside this
    one can take it between this look and the child's bind."""
    while True:
        port = random.randrange(20000, 32768)
        with socket.socket() as s:
            try:
                s.bind(("127.0.0.1", port))
            except OSError:
                continue
            return port


def wait_for(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failed("waited %.0f s for %s" % (seconds, what))
        time.sleep(0.05)


class Process:
    running = []

    def __init__(self, args, **kwargs):
        self.popen = subprocess.Popen(args, **kwargs)
        Process.running.append(self)

    def terminate(self, sig=signal.SIGTERM, seconds=15):
        """Sends `sig` and waits for the end; the exit code."""
        if self.popen.poll() is None:
            self.popen.send_signal(sig)
        try:
            return self.popen.wait(seconds)
        except subprocess.TimeoutExpired:
            self.popen.kill()
            self.popen.wait()
            raise Failed("%s did not end within %d s" % (self.popen.args[0], seconds))

    @classmethod
    def stop_all(cls):
        for p in cls.running:
            if p.popen.poll() is None:
                p.popen.kill()
                p.popen.wait()
        cls.running = []


class Sim:
    """One simulated sign on a TCP port of 127.0.0.1 (0: a free one)."""

    def __init__(self, folder, name, port=0, fault=None, width=12):
        self.dir = os.path.join(folder, name)
        self.state_dir = os.path.join(self.dir, "state")
        os.makedirs(self.state_dir, exist_ok=True)
        self.log_path = os.path.join(self.dir, "sim.log")
        self.width = width
        self.start(port, fault)

    def start(self, port, fault=None):
        if os.path.exists(self.log_path):
            os.rename(self.log_path, self.log_path + ".%d" % time.monotonic_ns())
        args = [os.path.join(BIN, "pixbar-sign-sim"), "--tcp", str(port), "--serial", str(SERIAL),
                "--width", str(self.width), "--log", self.log_path, "--state-dir", self.state_dir]
        if fault:
            args += ["--fault", fault]
        self.process = Process(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def ready():
            m = re.search(r"ready tcp:127\.0\.0\.1:(\d+)", self.log_text())
            return int(m.group(1)) if m else 0
        self.port = wait_for(ready, 10, "the simulated sign")

    def log_text(self):
        try:
            with open(self.log_path, encoding="latin-1") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def frames(self):
        """The frames the sign received, as (command, payload bytes), in order."""
        out = []
        for m in re.finditer(r"^frame cmd=0x([0-9A-F]{2}) dst=\S+ len=\d+ data=([0-9A-F]*)$",
                             self.log_text(), re.M):
            out.append((int(m.group(1), 16), bytes.fromhex(m.group(2))))
        return out

    def state(self):
        """Every file the sign wrote, by name."""
        files = {}
        for name in sorted(os.listdir(self.state_dir)):
            if not name.endswith(".part"):
                with open(os.path.join(self.state_dir, name), "rb") as f:
                    files[name] = f.read()
        return files

    def port_name(self):
        return "tcp:127.0.0.1:%d" % self.port

    def kill9(self):
        self.process.terminate(signal.SIGKILL)


class Response:
    def __init__(self, status, headers, body):
        self.status, self.headers, self.body = status, headers, body

    def json(self):
        try:
            return json.loads(self.body.decode("utf-8"))
        except (UnicodeDecodeError, ValueError):
            raise Failed("not JSON (%d): %r" % (self.status, self.body[:200]))

    def __repr__(self):
        return "%d %r" % (self.status, self.body[:300])


def curl(url, method="GET", body=None, content_type=None, headers=(), extra=(), timeout=30):
    """One request with curl; the status 0 when curl got no answer (its exit code in body)."""
    with tempfile.NamedTemporaryFile() as head, tempfile.NamedTemporaryFile() as out:
        args = ["curl", "-sS", "-X", method, "-o", out.name, "-D", head.name,
                "-w", "%{http_code}", "--max-time", str(timeout), url]
        # Without a type of our own curl would send a form's type with every body.
        args += ["-H", "Content-Type: " + content_type if content_type else "Content-Type:"]
        for h in headers:
            args += ["-H", h]
        args += list(extra)
        if body is None and method in ("POST", "PUT", "PATCH"):
            # With no length at all the HTTP library refuses a POST as malformed (400);
            # clients send Content-Length: 0 for an empty body.
            body = b""
        if body is not None:
            args += ["--data-binary", "@-"]
        done = subprocess.run(args, input=body if body is not None else b"", capture_output=True)
        if done.returncode != 0:
            return Response(0, {}, b"curl %d: %s" % (done.returncode, done.stderr.strip()))
        parsed = {}
        for line in head.read().decode("latin-1").splitlines():
            if ":" in line:
                key, value = line.split(":", 1)
                parsed[key.strip().lower()] = value.strip()
        return Response(int(done.stdout), parsed, out.read())


class Pixbard:
    """pixbard with a config of its own; `signs` are (name, port name, more lines of the
    sign's section...) tuples."""

    def __init__(self, folder, signs, http_extra="", scheme="http", curl_extra=()):
        self.folder = folder
        self.scheme = scheme
        self.curl_extra = list(curl_extra)
        for _ in range(5):
            self.port = free_port()
            config = "[http]\nlisten = 127.0.0.1:%d\n%s\n" % (self.port, http_extra)
            for name, port, *more in signs:
                config += "[sign %s]\nport = %s\naddress = %d\nwidth = 12\n" % (name, port, SERIAL)
                # More items are more lines (or blocks of lines) of the sign's section.
                config += "".join(l if l.endswith("\n") else l + "\n" for l in more)
            self.config_path = os.path.join(folder, "pixbard.conf")
            with open(self.config_path, "w") as f:
                f.write(config)
            self.out_path = os.path.join(folder, "pixbard.out")
            with open(self.out_path, "w") as out:
                self.process = Process([os.path.join(BIN, "pixbard"), "--config", self.config_path,
                                        "--data", BIN], stdout=out, stderr=subprocess.STDOUT)

            def started():
                if self.process.popen.poll() is not None:
                    return "ended"
                return "listening" if "listening on" in self.output() else None
            if wait_for(started, 10, "pixbard to listen") == "listening":
                return
            # Another program took the port between the look and the bind: another one.
        raise Failed("pixbard did not start: " + self.output())

    def output(self):
        with open(self.out_path, encoding="utf-8", errors="replace") as f:
            return f.read()

    def url(self, path):
        return "%s://127.0.0.1:%d%s" % (self.scheme, self.port, path)

    def request(self, method, path, body=None, content_type=None, headers=(), extra=()):
        if isinstance(body, str):
            body = body.encode("utf-8")
        return curl(self.url(path), method, body, content_type, headers,
                    self.curl_extra + list(extra))

    def status(self, name, headers=()):
        r = self.request("GET", "/api/v1/signs/" + name, headers=headers)
        check(r.status == 200, "status of %s: %r" % (name, r))
        return r.json()

    def wait_ready(self, name, seconds=10, headers=()):
        """Until the sign is online and has answered (or not) its first question."""
        wait_for(lambda: (lambda s: s["online"] and not s["busy"])(self.status(name, headers)),
                 seconds, "sign %s online and idle" % name)


def expect_json_error(response, status, what):
    check(response.status == status, "%s: expected %d, got %r" % (what, status, response))
    check(response.headers.get("content-type", "").startswith("application/json"),
          "%s: answer is %s, not JSON" % (what, response.headers.get("content-type")))
    body = response.json()
    check(isinstance(body, dict) and isinstance(body.get("error"), str) and body["error"],
          "%s: no error text in %r" % (what, body))
    return body
