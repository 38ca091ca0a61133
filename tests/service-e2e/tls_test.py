#!/usr/bin/env python3
"""pixbard over HTTPS with a token: a self-signed certificate the client trusts by --cacert,
Bearer and Basic, refusals without the right token and the lock-out after five of them.
"""

import base64
import os
import subprocess

from harness import Pixbard, Sim, check, curl, expect_json_error, run_main


def make_certificate(folder):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    done = subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                           "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1",
                           "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                           "-keyout", key, "-out", cert], capture_output=True, text=True)
    check(done.returncode == 0, "openssl: " + done.stderr)
    return cert, key


def main(folder):
    cert, key = make_certificate(folder)
    token = "5a17c0ffee" * 4
    token_file = os.path.join(folder, "token")
    with open(os.open(token_file, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
        f.write(token + "\n")
    sim = Sim(folder, "sign")
    bearer = "Authorization: Bearer " + token
    service = Pixbard(folder, [("shop", sim.port_name())],
                      "token-file = %s\ntls-cert = %s\ntls-key = %s\n" % (token_file, cert, key),
                      scheme="https", curl_extra=["--cacert", cert])
    check("(https)" in service.output(), "pixbard does not say it serves https")
    service.wait_ready("shop", headers=[bearer])

    signs = service.request("GET", "/api/v1/signs", headers=[bearer])
    check(signs.status == 200 and [s["name"] for s in signs.json()] == ["shop"], "signs: %r" % signs)
    basic = "Authorization: Basic " + base64.b64encode(b"ktokolwiek:" + token.encode()).decode()
    r = service.request("PUT", "/api/v1/signs/shop/messages/1", "Przez {effect 2} TLS",
                        "text/plain", headers=[basic])
    check(r.status == 200 and r.json() == {"result": "Ok"}, "write with Basic: %r" % r)
    check("slot1.kom" in sim.state(), "the write did not reach the sign")
    print("https with --cacert: Bearer and Basic accepted, the write reached the sign")

    # Without trusting the certificate, or in plain HTTP, nothing is served.
    untrusted = curl(service.url("/api/v1/signs"), headers=[bearer])
    check(untrusted.status == 0 and untrusted.body.startswith(b"curl 60"),
          "an unknown certificate was accepted: %r" % untrusted)
    plain = curl(service.url("/api/v1/signs").replace("https:", "http:"), headers=[bearer])
    check(plain.status in (0, 400), "plain HTTP on the TLS port: %r" % plain)
    print("refused: an untrusted certificate, plain HTTP")

    frames = len(sim.frames())
    # A request without a token is refused but not counted (a browser asks so first).
    wrong = [[], ["Authorization: Bearer " + token[:-1] + "0"], ["Authorization: Bearer"],
             ["Authorization: Bearer " + "x" * 64],
             ["Authorization: Basic " + base64.b64encode(b"x:" + token[:-1].encode()).decode()],
             ["Authorization: Basic !!!"]]
    for headers in wrong:
        r = service.request("POST", "/api/v1/signs/shop/show", '{"slot": 2}', "application/json",
                            headers=headers)
        expect_json_error(r, 401, "token %s" % headers)
        check(r.headers.get("www-authenticate", "").startswith("Basic"), "401 without a challenge")
    locked = service.request("POST", "/api/v1/signs/shop/show", '{"slot": 2}', "application/json",
                             headers=["Authorization: Bearer nie-ten"])
    expect_json_error(locked, 429, "the sixth wrong token")
    check(locked.headers.get("retry-after") == "60", "429 without Retry-After: %r" % locked.headers)
    even_right = service.request("GET", "/api/v1/signs", headers=[bearer])
    expect_json_error(even_right, 429, "the right token during the lock-out")
    check(len(sim.frames()) == frames, "a refused request reached the sign")
    print("401 for five wrong tokens, 429 for the sixth and for anything after it")


if __name__ == "__main__":
    run_main(main)
