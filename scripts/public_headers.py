#!/usr/bin/env python3
"""Keeps the installed headers fit for a consumer's include path and for hidden visibility.

Every header under the library's floor folders, except those named *_internal.h, is looked at;
the ones that cmake/oxa_internal_headers.txt names are the library's own workings: they are not
installed (the install reads the same list), and this script takes the export marks off them, so
that the shared library exports only what an installed header declares. In an installed header it
  * writes each include of a library header by its installed path: "base/vstring.h" becomes
    <oxa/base/vstring.h>, so that a consumer's own base/vstring.h can never take its place;
  * marks every class and struct defined at namespace scope and every function and extern variable
    declared there with OXA_API, the export macro of <oxa/base/oxa_export.h>, and every class
    template and specialisation defined there with OXA_TEMPLATE_API, and includes that header where
    it is used.
With --check it also fails when an installed header includes one that is not installed.

Usage: scripts/public_headers.py [--check | --installed] [ROOT]
With --check nothing is written: the headers that would change are listed and the exit status is 1
when there is one. With --installed the headers the install puts below include/oxa/ are listed,
one a line. Otherwise the headers it changed are formatted with clang-format (when it is
installed). The script is idempotent; run it again after adding a header or a declaration.
"""
import os
import re
import shutil
import subprocess
import sys

FLOORS = ("base", "objects", "oxa_codec", "animation", "scene", "attributes", "character", "formats")
EXPORT_HEADER = "oxa/base/oxa_export.h"
MACRO = "OXA_API"
TEMPLATE_MACRO = "OXA_TEMPLATE_API"
INTERNAL_LIST = os.path.join("cmake", "oxa_internal_headers.txt")

INCLUDE_RE = re.compile(r'^(\s*#\s*include\s*)"((?:%s)/[^"]+)"' % "|".join(FLOORS))
# Statements that never take the macro, by their first word.
SKIP_WORDS = {
    "typedef", "using", "enum", "union", "friend", "static", "inline", "constexpr", "static_assert",
    "template", "namespace", "return", "public", "private", "protected",
}


def public_headers(root):
    for floor in FLOORS:
        for folder, _, files in os.walk(os.path.join(root, floor)):
            for name in sorted(files):
                if name.endswith(".h") and not name.endswith("_internal.h"):
                    yield os.path.join(folder, name)


def internal_patterns(root):
    """The regular expressions of cmake/oxa_internal_headers.txt (paths from the source root)."""
    with open(os.path.join(root, INTERNAL_LIST), encoding="utf-8") as handle:
        return [re.compile(l.strip()) for l in handle if l.strip() and not l.lstrip().startswith("#")]


def installed_headers(root):
    """The headers the install puts below include/oxa/, as paths from the source root."""
    patterns = internal_patterns(root)
    for path in public_headers(root):
        relative = os.path.relpath(path, root).replace(os.sep, "/")
        if not any(p.search(relative) for p in patterns):
            yield relative


def strip_code(line, in_comment):
    """The line with comments, string and character literals blanked (same length), and whether a
    block comment is still open at its end."""
    out = []
    i, n = 0, len(line)
    while i < n:
        if in_comment:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i = end + 2
            in_comment = False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_comment = True
            out.append("  ")
            i += 2
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + " " * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out), in_comment


def leading_attributes_end(text):
    """Index in `text` past leading blanks and [[...]] attributes."""
    i = 0
    while True:
        while i < len(text) and text[i].isspace():
            i += 1
        if text.startswith("[[", i):
            end = text.find("]]", i)
            if end < 0:
                return i
            i = end + 2
            continue
        return i


def template_head_end(text):
    """Index in `text` (which starts with `template`) past its parameter list."""
    start = text.find("<")
    if start < 0:
        return len(text)
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "<":
            depth += 1
        elif text[i] == ">":
            depth -= 1
            if depth == 0:
                return i + 1
    return len(text)


def classify(code):
    """What a namespace-scope statement is: 'class' (a class definition), 'function', 'extern'
    (an extern variable) or None. `code` runs from the statement's start to its terminator."""
    body = code[leading_attributes_end(code):]
    words = body.split()
    if not words:
        return None
    first = re.match(r"[A-Za-z_]\w*", words[0])
    first = first.group(0) if first else words[0]
    if first in ("class", "struct"):
        return "class" if body.rstrip().endswith("{") else None
    if first == "template":
        rest = body[template_head_end(body):].lstrip()
        if re.match(r"(class|struct)\b", rest) and body.rstrip().endswith("{"):
            return "template class"
        return None
    if first == "extern":
        if body.startswith('extern "'):
            return None
        return "extern" if body.rstrip().endswith(";") else None
    if first in SKIP_WORDS or body.startswith("#") or body.startswith("}"):
        return None
    if not body.rstrip().endswith(";"):
        return None  # a definition at namespace scope that is not inline: left alone
    paren = body.find("(")
    if paren < 0:
        return None
    before = body[:paren]
    if "=" in before and "operator" not in before:
        return None  # a variable with an initialiser
    return "function"


def annotate(lines):
    """Adds the macro to the namespace-scope declarations of `lines` (in place); True when it is
    used in the file."""
    in_comment = False
    stack = []  # 'ns' for namespace and extern "C" blocks, 'other' for any other brace
    statement = None  # [first line index, column of its first character, code so far]
    used = False
    continuation = False
    for index, line in enumerate(lines):
        code, in_comment_after = strip_code(line, in_comment)
        in_comment = in_comment_after
        if continuation or code.lstrip().startswith("#"):
            continuation = code.rstrip().endswith("\\")
            continue
        top = all(kind == "ns" for kind in stack)
        column = 0
        while column < len(code):
            c = code[column]
            if top and statement is None:
                if c.isspace() or c == ";":
                    column += 1
                    continue
                if c == "}":
                    stack.pop()
                    top = all(kind == "ns" for kind in stack)
                    column += 1
                    continue
                statement = [index, column, ""]
            if c == "{":
                if statement is not None:
                    text = statement[2] + "{"
                    stripped = text[leading_attributes_end(text):]
                    ns = stripped.startswith("namespace") or stripped.startswith('extern "')
                    kind = classify(text) if top and not ns else None
                    if kind == "class":
                        used |= insert_after_keyword(lines, statement)
                    elif kind == "template class":
                        used |= insert_after_template_head(lines, statement)
                    stack.append("ns" if ns else "other")
                    statement = None
                else:
                    stack.append("other")
                top = all(kind == "ns" for kind in stack)
                column += 1
                continue
            if c == "}":
                if stack:
                    stack.pop()
                top = all(kind == "ns" for kind in stack)
                column += 1
                continue
            if statement is not None:
                if c == ";" and top:
                    kind = classify(statement[2] + ";")
                    if kind == "function":
                        used |= insert_at_start(lines, statement)
                    elif kind == "extern":
                        used |= insert_after_keyword(lines, statement)
                    statement = None
                else:
                    statement[2] += c
            column += 1
        if statement is not None:
            statement[2] += " "
    return used or any(re.search(r"\b(%s|%s)\b" % (MACRO, TEMPLATE_MACRO), l) for l in lines)


def insert_at_start(lines, statement):
    """Puts the macro before the statement's first word (after leading [[attributes]])."""
    index, column, text = statement
    line = lines[index]
    start = column + leading_attributes_end(line[column:])
    if re.match(r"%s\b" % MACRO, line[start:]):
        return True
    lines[index] = line[:start] + MACRO + " " + line[start:]
    return True


def insert_after_keyword(lines, statement):
    """Puts the macro after the statement's leading class, struct or extern keyword."""
    index, column, _ = statement
    line = lines[index]
    match = re.compile(r"(class|struct|extern)\s+").search(line, column)
    if not match:
        return False
    rest = line[match.end():]
    if re.match(r"%s\b" % MACRO, rest):
        return True
    lines[index] = line[:match.end()] + MACRO + " " + rest
    return True


def insert_after_template_head(lines, statement):
    """Puts the template macro after the class or struct keyword that follows the statement's
    template parameter list, which may run over several lines."""
    index, column, _ = statement
    depth = 0
    seen_head = False
    for row in range(index, len(lines)):
        code, _ = strip_code(lines[row], False)
        start = column if row == index else 0
        i = start
        while i < len(code):
            c = code[i]
            if not seen_head:
                if c == "<":
                    depth += 1
                elif c == ">":
                    depth -= 1
                    seen_head = depth == 0
                i += 1
                continue
            match = re.compile(r"(class|struct)\s+").match(code, i)
            if match:
                rest = lines[row][match.end():]
                if not re.match(r"%s\b" % TEMPLATE_MACRO, rest):
                    lines[row] = lines[row][:match.end()] + TEMPLATE_MACRO + " " + rest
                return True
            i += 1
    return False


def add_export_include(lines):
    directive = "#include <%s>" % EXPORT_HEADER
    if any(l.strip() == directive for l in lines):
        return
    # Into the first block of the toolkit's own includes, else after the include guard.
    for index, line in enumerate(lines):
        if line.startswith("#include <oxa/"):
            lines.insert(index, directive)
            return
    for index, line in enumerate(lines):
        if line.startswith("#define "):
            lines[index + 1:index + 1] = ["", directive]
            return
    lines.insert(0, directive)


def unmark(lines):
    """Takes the export marks off the declarations of `lines`, and the export header's include
    with them."""
    marks = re.compile(r"\b(%s|%s)\s+" % (MACRO, TEMPLATE_MACRO))
    lines[:] = [marks.sub("", l) for l in lines]
    directive = "#include <%s>" % EXPORT_HEADER
    if directive in (l.strip() for l in lines) and not any(
            re.search(r"\bOXA_\w+", l) for l in lines if l.strip() != directive):
        index = next(i for i, l in enumerate(lines) if l.strip() == directive)
        del lines[index]
        if index < len(lines) and index > 0 and not lines[index].strip() and not lines[index - 1].strip():
            del lines[index]


def process(path, root, internal):
    with open(path, encoding="utf-8") as handle:
        original = handle.read()
    lines = original.split("\n")
    lines = [INCLUDE_RE.sub(r"\1<oxa/\2>", l) for l in lines]
    if internal:
        # The library's own workings stay out of the shared library's exports.
        unmark(lines)
    elif os.path.relpath(path, root) != os.path.join("base", "oxa_export.h") and annotate(lines):
        add_export_include(lines)
    text = "\n".join(lines)
    return original, text


def includes_of_uninstalled(root):
    """(installed header, header it includes that is not installed) pairs."""
    installed = set(installed_headers(root))
    include = re.compile(r"^\s*#\s*include\s*<oxa/([^>]+)>")
    for relative in sorted(installed):
        with open(os.path.join(root, relative), encoding="utf-8") as handle:
            for line in handle:
                match = include.match(line)
                if match and match.group(1) not in installed and not match.group(1).startswith("base/oxa_"):
                    yield relative, match.group(1)


def main(argv):
    check = "--check" in argv
    args = [a for a in argv if a not in ("--check", "--installed")]
    root = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    if "--installed" in argv:
        for relative in installed_headers(root):
            print(relative)
        return 0
    changed = []
    installed = set(installed_headers(root))
    for path in public_headers(root):
        relative = os.path.relpath(path, root).replace(os.sep, "/")
        original, text = process(path, root, relative not in installed)
        if text != original:
            changed.append(os.path.relpath(path, root))
            if not check:
                with open(path, "w", encoding="utf-8") as handle:
                    handle.write(text)
    if check:
        for name in changed:
            if name.replace(os.sep, "/") in installed:
                print("%s: includes a library header by its floor path or lacks %s on a declaration" % (name, MACRO))
            else:
                print("%s: not installed (%s), but includes a library header by its floor path or "
                      "marks a declaration for export" % (name, INTERNAL_LIST))
        if changed:
            print("public headers: %d to mend; run scripts/public_headers.py" % len(changed))
            return 1
        leaks = list(includes_of_uninstalled(root))
        for name, included in leaks:
            print("%s: installed, but includes %s, which is not (%s)" % (name, included, INTERNAL_LIST))
        if leaks:
            return 1
        print("public headers: every include by its installed path, every declaration marked")
        return 0
    for name in changed:
        print("rewrote %s" % name)
    formatter = shutil.which("clang-format")
    if changed and formatter:
        subprocess.run([formatter, "-i"] + [os.path.join(root, name) for name in changed], check=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
