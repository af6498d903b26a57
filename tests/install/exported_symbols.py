#!/usr/bin/env python3
"""Checks that a shared library exports nothing that its installed headers do not declare.

Usage: exported_symbols.py LIBRARY INCLUDE_DIR

Each defined dynamic symbol (nm -D --defined-only, demangled) is reduced to its qualified name:
the tables and type information of a class to the class, a thunk to the function it leads to, a
function to its name without parameters and template arguments. Every part of that name (the
namespaces, the classes, and the function or variable of a namespace; a class's members come with
the class) must be a word of the code of the headers below INCLUDE_DIR (comments and strings left
out). A function of the library's own workings (the 3DS
toolkit's namespace, a helper of an internal header) names a word that no installed header has,
and is listed. The standard library's instances are the business of the library's version script
and are skipped here. Exit status 1 when a symbol is listed.
"""
import os
import re
import subprocess
import sys

PREFIXES = ("typeinfo name for ", "typeinfo for ", "vtable for ", "VTT for ", "construction vtable for ",
            "guard variable for ", "non-virtual thunk to ", "virtual thunk to ",
            "covariant return thunk to ", "TLS init function for ", "TLS wrapper function for ",
            "reference temporary #0 for ")
WORD = re.compile(r"[A-Za-z_]\w*")


def code_words(include_dir):
    """The identifiers of the installed headers' code, and the names of their classes."""
    words, classes = set(), set()
    comment = re.compile(r"//[^\n]*|/\*.*?\*/|\"(?:\\.|[^\"\\\n])*\"|'(?:\\.|[^'\\\n])*'", re.S)
    for folder, _, files in os.walk(include_dir):
        for name in files:
            if name.endswith(".h"):
                with open(os.path.join(folder, name), encoding="utf-8") as handle:
                    code = comment.sub(" ", handle.read())
                    words.update(WORD.findall(code))
                    classes.update(re.findall(r"\b(?:class|struct|union)\s+(?:OXA_\w+\s+)?([A-Za-z_]\w*)", code))
    return words, classes


def strip_templates(text):
    """`text` without template argument lists (operators named before were taken out)."""
    previous = None
    while previous != text:
        previous = text
        text = re.sub(r"<[^<>]*>", "", text)
    return text


def qualified_name(symbol):
    """The parts of the symbol's qualified name, or None for what is not the library's own."""
    changed = True
    type_information = False
    while changed:
        changed = False
        for prefix in PREFIXES:
            if symbol.startswith(prefix):
                type_information = type_information or prefix.startswith("typeinfo")
                symbol = symbol[len(prefix):]
                changed = True
    # The type information of a function type ("R (A, B)"), which the undefined-behaviour
    # sanitizer's check of indirect calls emits for each function it checks: no name of its own.
    if type_information and re.match(r"^[^(]* \(", strip_templates(symbol)):
        return None
    # Names reserved to the implementation: the bounds of the coverage instrumentation's sections.
    if symbol.startswith("__"):
        return None
    # Operators by one word, so that their characters are not read as brackets.
    symbol = re.sub(r"\boperator\s*(\(\)|\[\]|new\[\]|delete\[\]|new|delete|[^\w\s(]+|\s+[\w:<> *&]+?(?=\())",
                    "operator", symbol)
    symbol = strip_templates(re.sub(r"\[abi:\w+\]", "", symbol))
    # A function's parameters (and its qualifiers); a variable has none.
    paren = symbol.find("(")
    if paren >= 0 and not symbol.startswith("("):
        symbol = symbol[:paren]
    # A function template's return type stands before its name.
    symbol = symbol.strip().split(" ")[-1]
    return [part.lstrip("~") for part in symbol.split("::") if part]


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    library, include_dir = argv
    listing = subprocess.run(["nm", "-D", "--defined-only", library], check=True, capture_output=True,
                             text=True).stdout
    mangled = [line.split()[-1] for line in listing.splitlines() if len(line.split()) >= 3]
    demangled = subprocess.run(["c++filt"], input="\n".join(mangled), check=True, capture_output=True,
                               text=True).stdout.splitlines()
    words, classes = code_words(include_dir)
    undeclared = []
    for symbol in demangled:
        parts = qualified_name(symbol)
        if not parts or parts[0] in ("std", "__gnu_cxx", "__cxxabiv1"):
            continue
        # A member of a class the headers define is declared with the class (some are made by
        # the headers' macros); a function or variable of a namespace is declared by its name.
        if len(parts) > 1 and parts[-2] in classes:
            parts = parts[:-1]
        missing = [p for p in parts if p != "operator" and (not WORD.fullmatch(p) or p not in words)]
        if missing:
            undeclared.append((symbol, missing))
    for symbol, missing in undeclared:
        print("exported, but no installed header declares %s: %s" % (" ".join(missing), symbol))
    print("exported symbols: %d, %d of them declared by no installed header" % (len(demangled), len(undeclared)))
    return 1 if undeclared else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
