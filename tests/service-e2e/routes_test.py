#!/usr/bin/env python3
"""The API description and the routes in step.

Every documented path and method is asked of a running pixbard with a good request for each
documented body type: the answer must be documented for that operation (never 404 or 405),
carry a documented type, and a JSON answer must match its schema. Every method a path does not
document must be answered 405. The served description must be the one in the sources.
"""

import json
import os
import re

from harness import SOURCE, Failed, Pixbard, Sim, check, expect_json_error, run_main

METHODS = ["GET", "POST", "PUT", "DELETE", "PATCH", "OPTIONS"]
FONT = bytes([12, 0, 0, 0]) + bytes(range(256)) * 8


def node_ref_parts(ref):
    check(ref.startswith("#/"), "a reference outside the document: " + ref)
    return ref[2:].split("/")


def deref(doc, node):
    while isinstance(node, dict) and "$ref" in node:
        target = doc
        for part in node_ref_parts(node["$ref"]):
            target = target[part]
        node = target
    return node


def matches(doc, schema, value, where="answer"):
    """Checks `value` against the subset of OpenAPI schemas the description uses."""
    schema = deref(doc, schema)
    if value is None:
        check(schema.get("nullable", False), "%s is null" % where)
        return
    if "oneOf" in schema:
        fits = 0
        for option in schema["oneOf"]:
            try:
                matches(doc, option, value, where)
                fits += 1
            except Failed:
                pass
        check(fits == 1, "%s fits %d of oneOf" % (where, fits))
        return
    kind = schema.get("type")
    types = {"object": dict, "array": list, "string": str, "boolean": bool}
    if kind == "integer":
        check(isinstance(value, int) and not isinstance(value, bool), "%s is not an integer" % where)
    elif kind:
        check(isinstance(value, types[kind]), "%s is not %s: %r" % (where, kind, value))
    if "enum" in schema:
        check(value in schema["enum"], "%s = %r is not one of %s" % (where, value, schema["enum"]))
    if "minimum" in schema:
        check(value >= schema["minimum"], "%s = %r below its minimum" % (where, value))
    if "maximum" in schema:
        check(value <= schema["maximum"], "%s = %r above its maximum" % (where, value))
    if kind == "array":
        check(len(value) >= schema.get("minItems", 0), "%s has too few items" % where)
        check(len(value) <= schema.get("maxItems", len(value)), "%s has too many items" % where)
        for i, item in enumerate(value):
            matches(doc, schema["items"], item, "%s[%d]" % (where, i))
    if kind == "object":
        properties = schema.get("properties", {})
        for name in schema.get("required", []):
            check(name in value, "%s lacks %s" % (where, name))
        for name, item in value.items():
            if name in properties:
                matches(doc, properties[name], item, "%s.%s" % (where, name))
            else:
                check(schema.get("additionalProperties", True) is not False,
                      "%s has an undocumented %s" % (where, name))


def sample_bodies(path, operation, doc):
    """A good body for each documented type; one request without a body when none is."""
    body = operation.get("requestBody")
    if not body:
        return [(None, None)]
    samples = []
    for content_type in body["content"]:
        if content_type == "text/plain":
            text = "Witaj {effect 3}"
            if path.endswith("/messages"):
                text = "[message 1]\nWitaj\n"
            elif path.endswith("/schedule"):
                text = "pn-pt 07:30 show 2\ncodziennie 22:00 brightness 20\n"
            samples.append((content_type, text.encode()))
        elif content_type == "application/json":
            schema = deref(doc, body["content"][content_type]["schema"])
            name = "slot" if "slot" in schema["properties"] else "speed"
            samples.append((content_type, json.dumps({name: 3}).encode()))
        elif path.endswith(("/userfont", "/symbols")):
            samples.append((content_type, FONT))
        elif path.endswith("/messages"):
            samples.append((content_type, bytes(8192)))
        else:
            samples.append((content_type, bytes(1024)))
    return samples


def main(folder):
    with open(os.path.join(SOURCE, "service", "openapi.json"), encoding="utf-8") as f:
        doc = json.load(f)
    sim = Sim(folder, "sign")
    service = Pixbard(folder, [("shop", sim.port_name(), "schedule = shop.schedule\n")])
    service.wait_ready("shop")

    served = service.request("GET", "/api/v1/openapi.json")
    check(served.status == 200 and served.json() == doc, "the served description is not the source's")

    asked = 0
    for path, item in doc["paths"].items():
        concrete = path.replace("{name}", "shop").replace("{number}", "8")
        check(not re.search(r"\{", concrete), "a path parameter without a sample: " + path)
        documented = [m.upper() for m in item if m in ("get", "put", "post", "delete", "patch")]
        for method in documented:
            operation = item[method.lower()]
            for content_type, body in sample_bodies(path, operation, doc):
                r = service.request(method, concrete, body, content_type)
                what = "%s %s (%s)" % (method, concrete, content_type)
                check(r.status not in (0, 404, 405), "%s: %r" % (what, r))
                check(str(r.status) in operation["responses"], "%s: undocumented %r" % (what, r))
                check(r.status == 200, "%s: a good request answered %r" % (what, r))
                answer = deref(doc, operation["responses"][str(r.status)])
                got_type = r.headers.get("content-type", "").split(";")[0]
                check(got_type in answer.get("content", {}),
                      "%s: answered %s, documented %s" % (what, got_type, list(answer["content"])))
                schema = answer["content"][got_type].get("schema", {})
                if got_type == "application/json":
                    matches(doc, schema, r.json())
                asked += 1
        for method in METHODS:
            if method not in documented:
                expect_json_error(service.request(method, concrete), 405, "%s %s" % (method, concrete))
        print("%s: %s answered, others 405" % (path, ", ".join(documented)))

    # The numbers a path parameter documents, and only those.
    for number, status in (("1", 200), ("0", 404), ("9", 404), ("x", 404)):
        r = service.request("PUT", "/api/v1/signs/shop/messages/" + number, "a", "text/plain")
        check(r.status == status, "message %s: %r" % (number, r))
    # The other answer the compose operation documents.
    r = service.request("POST", "/api/v1/compose", "Ala", "text/plain",
                        headers=["Accept: application/octet-stream"])
    check(r.status == 200 and len(r.body) == 1024 and
          r.headers.get("content-type") == "application/octet-stream", "compose as bytes: %r" % r)
    print("%d documented requests answered as documented" % asked)


if __name__ == "__main__":
    run_main(main)
