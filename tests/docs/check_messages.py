#!/usr/bin/env python3
"""Checks that docs/troubleshooting.md names every message of the modules.

Usage: check_messages.py <source root>

Every C++ source and header (*.cpp, *.hpp) under common/, ovra_auth/,
ovra_classic_rpc_authn/, secrets/ and ssl_exec/ is read; each message
fragment found there must appear in docs/troubleshooting.md. The script
prints every fragment that does not, as file:line and the fragment, and
exits 1; it exits 0 when all are there.

What counts as a message fragment:

  * A string literal outside comments and preprocessor lines. Literals that
    stand next to each other ("abc" "def") are one literal, as the compiler
    joins them. A message built with `+` or `<<` from literals and values
    has one fragment per literal; the values between them are the
    placeholders that the document writes as <name> or `...`.

  * Escapes are resolved (\\n is a line break, \\" a quote) and blanks are
    trimmed from both ends. What is left must be at least 12 characters
    long, hold a blank (an identifier, a path or a header name such as
    "LIBPROCESS_SSL_CA_FILE" or "acs/api/v1/auth/jwks" is not a message)
    and hold a letter.

  * Literals are ignored in statements that are not messages: flag
    definitions (a statement beginning with `add(`; only their help texts
    are ignored, the literals inside an `Error(...)` of a validator count),
    module descriptors (statements naming MESOS_MODULE_API_VERSION, whose
    description is not logged), static_assert texts, and VLOG lines, which
    are debugging output that the document need not cover. Statements are
    cut at ';', '{' and '}'.

  * Fragments listed in EXCEPTIONS below are not messages and are skipped.

Comparison: runs of blanks and line breaks count as one blank, in the
fragments and in the document alike, so that a message may be wrapped in
the document.
"""

import os
import re
import sys

SOURCE_FOLDERS = [
    "common",
    "ovra_auth",
    "ovra_classic_rpc_authn",
    "secrets",
    "ssl_exec",
]

DOCUMENT = os.path.join("docs", "troubleshooting.md")

MINIMUM_LENGTH = 12

# Fragments that pass the rule above but are no message that an operator
# meets, each with the reason it is left out: "fragment": "why". Keep it
# short; a text that reaches a log, an answer or an audit record belongs in
# the document instead. Empty: every fragment of the sources is a message.
EXCEPTIONS = {
}

ESCAPES = {
    "n": "\n",
    "t": "\t",
    "r": "\r",
    "0": "\0",
    "\\": "\\",
    '"': '"',
    "'": "'",
    "?": "?",
}


def unescape(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            out.append(ESCAPES.get(text[i + 1], text[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def tokens(source):
    """Yields ('literal', text, line) and ('code', text, line) pieces.

    Comments and preprocessor lines are dropped; string literals that only
    blanks or comments separate are joined.
    """
    i = 0
    line = 1
    n = len(source)
    at_line_start = True
    pending = None  # [text, line] of a literal that may be continued

    def flush():
        nonlocal pending
        if pending is not None:
            value = pending
            pending = None
            return [("literal", value[0], value[1])]
        return []

    code = []
    code_line = 1

    def flush_code():
        nonlocal code
        if code:
            piece = "".join(code)
            code = []
            return [("code", piece, code_line)]
        return []

    while i < n:
        c = source[i]

        if c == "\n":
            line += 1
            at_line_start = True
            code.append(" ")
            i += 1
            continue

        if c in " \t\r":
            code.append(c)
            i += 1
            continue

        if at_line_start and c == "#":
            # A preprocessor line, with its continuations.
            while i < n and source[i] != "\n":
                if source[i] == "\\" and i + 1 < n and source[i + 1] == "\n":
                    line += 1
                    i += 2
                    continue
                i += 1
            continue

        at_line_start = False

        if source.startswith("//", i):
            while i < n and source[i] != "\n":
                i += 1
            continue

        if source.startswith("/*", i):
            end = source.find("*/", i + 2)
            end = n if end < 0 else end + 2
            line += source.count("\n", i, end)
            i = end
            continue

        if c == '"':
            start_line = line
            j = i + 1
            text = []
            while j < n and source[j] != '"':
                if source[j] == "\\" and j + 1 < n:
                    text.append(source[j:j + 2])
                    j += 2
                    continue
                if source[j] == "\n":
                    line += 1
                text.append(source[j])
                j += 1
            i = j + 1
            value = unescape("".join(text))
            if pending is not None and not "".join(code).strip():
                # Only blanks since the last literal: the compiler joins them.
                pending[0] += value
                code = []
            else:
                for piece in flush():
                    yield piece
                for piece in flush_code():
                    yield piece
                pending = [value, start_line]
            continue

        if c == "'":
            # A character literal: skipped whole, so that '"' opens nothing.
            j = i + 1
            while j < n and source[j] != "'":
                j += 2 if source[j] == "\\" else 1
            code.append("'c'")
            i = j + 1
            continue

        if not code or not "".join(code).strip():
            code_line = line
        if pending is not None:
            for piece in flush():
                yield piece
            code_line = line
        code.append(c)
        i += 1

    for piece in flush():
        yield piece
    for piece in flush_code():
        yield piece


def statements(source):
    """The statements of `source`: lists of pieces, cut at ';', '{', '}'."""
    current = []
    for kind, text, line in tokens(source):
        if kind == "literal":
            current.append((kind, text, line))
            continue
        start = 0
        for k, c in enumerate(text):
            if c in ";{}":
                if text[start:k]:
                    current.append(("code", text[start:k], line))
                if current:
                    yield current
                current = []
                start = k + 1
        if text[start:]:
            current.append(("code", text[start:], line))
    if current:
        yield current


def message_literals(statement):
    """The literals of one statement that may be messages, with lines."""
    code = "".join(text if kind == "code" else '""'
                   for kind, text, _ in statement)
    stripped = code.strip()

    if "MESOS_MODULE_API_VERSION" in code:
        return []
    if re.match(r"static_assert\s*\(", stripped):
        return []
    if re.search(r"\bVLOG\s*\(", code) and not re.search(
            r"\bLOG\s*\(|Error\s*\(|Failure\s*\(", code):
        return []

    literals = [(text, line) for kind, text, line in statement
                if kind == "literal"]

    if re.match(r"add\s*\(", stripped):
        # A flag definition: its help text is no message. Only literals in
        # an Error(...) of the statement count.
        kept = []
        depth = None
        for kind, text, line in statement:
            if kind == "code":
                for match in re.finditer(r"Error\s*\(|\(|\)", text):
                    token = match.group(0)
                    if depth is None:
                        if token.startswith("Error"):
                            depth = 1
                    elif token == ")":
                        depth -= 1
                        if depth == 0:
                            depth = None
                    else:
                        depth += 1
            elif depth is not None:
                kept.append((text, line))
        return kept

    return literals


def normalize(text):
    return " ".join(text.split())


def is_message(fragment):
    return (len(fragment) >= MINIMUM_LENGTH
            and " " in fragment
            and re.search(r"[A-Za-z]", fragment) is not None)


def fragments(root):
    """(path, line, fragment) for every message fragment, in file order."""
    found = []
    for folder in SOURCE_FOLDERS:
        base = os.path.join(root, folder)
        for directory, _, files in sorted(os.walk(base)):
            for name in sorted(files):
                if not name.endswith((".cpp", ".hpp")):
                    continue
                path = os.path.join(directory, name)
                with open(path, encoding="utf-8") as stream:
                    source = stream.read()
                for statement in statements(source):
                    for text, line in message_literals(statement):
                        fragment = normalize(text)
                        if is_message(fragment) and fragment not in EXCEPTIONS:
                            found.append(
                                (os.path.relpath(path, root), line, fragment))
    return found


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("Usage: check_messages.py <source root>\n")
        return 2

    root = argv[1]
    document_path = os.path.join(root, DOCUMENT)
    try:
        with open(document_path, encoding="utf-8") as stream:
            document = normalize(stream.read())
    except OSError as error:
        sys.stderr.write("Cannot read %s: %s\n" % (document_path, error))
        return 1

    found = fragments(root)
    missing = [(path, line, fragment) for path, line, fragment in found
               if fragment not in document]

    for path, line, fragment in missing:
        print("%s:%d: not in %s: %s" % (path, line, DOCUMENT, fragment))

    distinct = len({fragment for _, _, fragment in found})
    if missing:
        print("%d of %d message fragments (%d distinct) are missing from %s"
              % (len(missing), len(found), distinct, DOCUMENT))
        return 1

    print("All %d message fragments (%d distinct) are in %s"
          % (len(found), distinct, DOCUMENT))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
