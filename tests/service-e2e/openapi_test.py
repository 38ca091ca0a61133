#!/usr/bin/env python3
"""The description pixbard serves, checked by an outside OpenAPI validator.

The validator is the npm package @seriousme/openapi-schema-validator, installed on the first
run into the build tree (NODE_DIR, the second argument); without node and npm the test fails.
"""

import os
import shutil
import subprocess
import sys

from harness import SOURCE, Pixbard, check, free_port, run_main

VALIDATOR = "@seriousme/openapi-schema-validator@2.11.0"
HERE = os.path.dirname(os.path.abspath(__file__))


def install(node_dir):
    for tool in ("node", "npm"):
        check(shutil.which(tool), "%s is missing: install Node.js 18 or later to check the API "
              "description" % tool)
    package = os.path.join(node_dir, "node_modules", "@seriousme", "openapi-schema-validator")
    if not os.path.isdir(package):
        os.makedirs(node_dir, exist_ok=True)
        done = subprocess.run(["npm", "install", "--prefix", node_dir, "--no-audit", "--no-fund",
                               "--no-save", VALIDATOR], capture_output=True, text=True)
        check(done.returncode == 0, "npm install %s: %s" % (VALIDATOR, done.stderr[-2000:]))
    # Node finds packages from the script's folder upwards, so the script runs from node_dir.
    script = os.path.join(node_dir, "validate_openapi.mjs")
    shutil.copyfile(os.path.join(HERE, "validate_openapi.mjs"), script)
    return script


def validate(script, file):
    done = subprocess.run(["node", script, file], capture_output=True, text=True)
    check(done.returncode == 0, done.stdout + done.stderr)
    print(done.stdout.strip())


def main(folder):
    script = install(os.path.abspath(sys.argv[2]))
    validate(script, os.path.join(SOURCE, "service", "openapi.json"))
    # The served copy, from a pixbard whose one sign is not there.
    service = Pixbard(folder, [("linijka", "tcp:127.0.0.1:%d" % free_port())])
    served = service.request("GET", "/api/v1/openapi.json")
    check(served.status == 200, "GET /api/v1/openapi.json: %r" % served)
    path = os.path.join(folder, "served.json")
    with open(path, "wb") as f:
        f.write(served.body)
    validate(script, path)
    # The validator itself must see a broken description, or its word is worth nothing.
    with open(path, "w", encoding="utf-8") as f:
        f.write(served.body.decode("utf-8").replace('"in": "path"', '"in": "road"', 1))
    check(subprocess.run(["node", script, path], capture_output=True).returncode != 0,
          "the validator took a parameter in \"road\"")


if __name__ == "__main__":
    run_main(main)
