#!/usr/bin/env python3
"""Counts the audit records of glog logs that hold every given key=value.

    audit_records.py LOG... [-- KEY=VALUE...]

Records are read in the form that OVRA_AUDIT_FORMAT names, as the modules
under test were told: "json" (each record one JSON object, read by Python's
json module, keys in the fixed order, every value a string) or logfmt
otherwise. A record in the other form, or one that does not read whole,
fails the run: every module honours the format, and every record of every
kind reads back. Values are compared as text, without logfmt's quotes.
"""

import json
import os
import sys

KEY_ORDER = ["type", "timestamp", "authorizer", "uid", "action", "object",
             "result", "reason", "srcip", "srcport", "dstip", "dstport",
             "agent"]


def logfmt(message):
    """The pairs of a logfmt record; the timestamp's blank continues it."""
    record, last, i = {}, None, 0
    while i < len(message):
        if message[i] == " ":
            i += 1
            continue
        blank = message.find(" ", i)
        blank = len(message) if blank < 0 else blank
        equals = message.find("=", i)
        if equals < 0 or equals > blank:
            record[last] += " " + message[i:blank]
            i = blank
            continue
        key, j = message[i:equals], equals + 1
        if j < len(message) and message[j] == '"':
            value, j = "", j + 1
            while message[j] != '"':
                if message[j] == "\\":
                    j += 1
                    value += "\n" if message[j] == "n" else message[j]
                else:
                    value += message[j]
                j += 1
            j += 1
        else:
            end = message.find(" ", j)
            end = len(message) if end < 0 else end
            value, j = message[j:end], end
        record[key] = value
        last, i = key, j
    return record


def strict_json(message):
    record = json.loads(message)
    keys = list(record)
    if keys != [key for key in KEY_ORDER if key in record]:
        raise ValueError("keys out of order: %s" % keys)
    if not all(isinstance(value, str) for value in record.values()):
        raise ValueError("a value is not a string")
    if "T" not in record["timestamp"]:
        raise ValueError("timestamp without T: " + record["timestamp"])
    return record


def records(path, form):
    # Other lines may hold any bytes; a JSON record must be UTF-8.
    with open(path, "rb") as log:
        for number, raw in enumerate(log, 1):
            line = raw.decode("utf-8", errors="surrogateescape")
            message = line.rstrip("\n").partition("] ")[2]
            is_json = message.startswith('{"type":"audit"')
            is_logfmt = ("type=audit" in message.split(" ")
                         and not message.startswith("{"))
            if not (is_json or is_logfmt):
                continue
            where = "%s:%d" % (path, number)
            if is_json != (form == "json"):
                sys.exit("%s: a record not in the %s form: %s"
                         % (where, form, message[:200]))
            try:
                if is_json:
                    message.encode("utf-8")
                yield strict_json(message) if is_json else logfmt(message)
            except (ValueError, KeyError, IndexError) as error:
                sys.exit("%s: a record that does not read whole (%s): %s"
                         % (where, error, message[:200]))


def main(arguments):
    paths, wanted = arguments, []
    if "--" in arguments:
        split = arguments.index("--")
        paths, wanted = arguments[:split], arguments[split + 1:]
    wanted = [pair.split("=", 1) for pair in wanted]
    form = "json" if os.environ.get("OVRA_AUDIT_FORMAT") == "json" else "logfmt"
    count = 0
    for path in paths:
        for record in records(path, form):
            if all(record.get(key) == value for key, value in wanted):
                count += 1
    print(count)


if __name__ == "__main__":
    main(sys.argv[1:])
