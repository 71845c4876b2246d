#!/usr/bin/env python3
"""Reads the member list (control/orvanta_member_list.h) for the build and the
checks, and writes the type library's description from it: the bodies of the
dispinterfaces _DOrvanta and _DOrvantaEvents and the library's version go into
the hand-written frame (control/orvanta.idl.in).

usage: member_list.py FRAME MEMBER_LIST IDS OUT"""
import re
import sys

# The framework's type names as the type library spells them.
IDL_TYPES = {"kVoid": "void", "kBool": "VARIANT_BOOL", "kBstr": "BSTR", "kI2": "short", "kI4": "long",
             "kVariant": "VARIANT"}

_TUPLE = r"\(([^)]*)\)"
_METHOD = re.compile(r"^\s*METHOD\((\w+),\s*(-?\d+),\s*(\w+),\s*(\w+),\s*(\w+),\s*%s,\s*%s\)" % (_TUPLE, _TUPLE), re.M)
_PROPERTY = re.compile(r"^\s*PROPERTY\((\w+),\s*(-?\d+),\s*(\w+)\)", re.M)
_STATE = re.compile(r"^\s*STATE\((\w+),\s*(-?\d+),\s*(\w+),\s*(\w+)\)", re.M)
_EVENT = re.compile(r"^\s*EVENT\((\w+),\s*(-?\d+),\s*%s,\s*%s\)" % (_TUPLE, _TUPLE), re.M)


def _names(text):
    return [part.strip() for part in text.split(",") if part.strip()]


def read(path):
    """The entries in list order, each a dict: kind ("method", "property",
    "event"), name, dispid, type (a method's result, a property's value),
    waits, params [(type, name)]; a state is a property with readonly set."""
    with open(path, encoding="latin-1") as f:
        text = f.read()
    found = []
    for m in _METHOD.finditer(text):
        found.append((m.start(), {"kind": "method", "name": m.group(1), "dispid": int(m.group(2)),
                                  "type": m.group(3), "waits": m.group(5) == "waits",
                                  "params": list(zip(_names(m.group(6)), _names(m.group(7))))}))
    for m in _PROPERTY.finditer(text):
        found.append((m.start(), {"kind": "property", "name": m.group(1), "dispid": int(m.group(2)),
                                  "type": m.group(3), "waits": False, "params": []}))
    for m in _STATE.finditer(text):
        found.append((m.start(), {"kind": "property", "name": m.group(1), "dispid": int(m.group(2)),
                                  "type": m.group(3), "waits": False, "params": [], "readonly": True}))
    for m in _EVENT.finditer(text):
        found.append((m.start(), {"kind": "event", "name": m.group(1), "dispid": int(m.group(2)),
                                  "type": "kVoid", "waits": False,
                                  "params": list(zip(_names(m.group(3)), _names(m.group(4))))}))
    return [entry for _, entry in sorted(found, key=lambda pair: pair[0])]


def library_version(ids):
    """The type library's version, "1.0", as control/orvanta_ids.h holds it."""
    with open(ids, encoding="latin-1") as f:
        text = f.read()
    return ".".join(re.search(r"kLibrary%s = (\d+);" % part, text).group(1) for part in ("Major", "Minor"))


def _body(entries):
    def line(e):
        if e["kind"] == "property":
            return "        [id(%d)%s] %s %s;" % (e["dispid"], ", readonly" if e.get("readonly") else "",
                                               IDL_TYPES[e["type"]], e["name"])
        params = ", ".join("%s %s" % (IDL_TYPES[t], n) for t, n in e["params"])
        return "        [id(%d)] %s %s(%s);" % (e["dispid"], IDL_TYPES[e["type"]], e["name"], params)
    lines = ["    properties:"] + [line(e) for e in entries if e["kind"] == "property"]
    lines += ["", "    methods:"] if len(lines) > 1 else ["    methods:"]
    return "\n".join(lines + [line(e) for e in entries if e["kind"] != "property"])


def main(frame, member_list, ids, out):
    entries = read(member_list)
    version = library_version(ids)
    with open(frame, encoding="latin-1") as f:
        text = f.read()
    for marker, value in (("@ORVANTA_MEMBERS@", _body([e for e in entries if e["kind"] != "event"])),
                          ("@ORVANTA_EVENTS@", _body([e for e in entries if e["kind"] == "event"])),
                          ("@ORVANTA_LIBRARY_VERSION@", version)):
        if marker not in text:
            sys.exit("member_list.py: %s is not in %s" % (marker, frame))
        text = text.replace(marker, value)
    with open(out, "w", encoding="latin-1", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:5]))
