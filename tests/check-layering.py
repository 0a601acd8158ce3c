#!/usr/bin/env python3
"""Checks the project's layering against the build's own manifest (<build>/layering.txt).

Rules:
  1. A file includes a project header only when its target is the header's library or links it,
     directly or through the libraries it links (headers of the own folder included).
  2. The libraries link no cycle.
  3. No library below the windows links QtWidgets: every library whose name ends in _core, and
     every library those link.
  4. One folder, one library, one namespace: a library's sources lie in one folder of src/ of their
     own, and what they define is in the namespace of that folder's path (src/chat/core:
     chat::core). Blocks that only declare another namespace's classes ahead are allowed, and so is
     the code module mod1 of common.
  5. No two folders include each other, directly or through others.

Usage: check-layering.py <build dir> <source dir>
Prints each breach as "file:line: ..." and exits 1 when there is one.
"""

import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
NAMESPACE = re.compile(r'^namespace ([\w:]+) \{\n(.*?)^\}', re.M | re.S)
FORWARD = re.compile(r'^(class|struct) \w+;$')
# The design names the module of CharPos; it keeps that name inside common.
MODULE_NAMESPACES = {"mod1"}
WIDGETS = "Qt6::Widgets"


def read_manifest(path):
    targets = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        name, kind, links, sources = (line.split("\t") + ["", "", ""])[:4]
        targets[name] = {
            "kind": kind,
            "links": [link for link in links.split(";") if link],
            "sources": [pathlib.Path(source) for source in sources.split(";") if source],
        }
    return targets


def closure(targets, name):
    """The target and everything it links, directly or not (project targets and Qt modules)."""
    seen, stack = set(), [name]
    while stack:
        current = stack.pop()
        if current in seen:
            continue
        seen.add(current)
        stack.extend(targets.get(current, {}).get("links", []))
    return seen


def find_cycle(targets):
    state, path = {}, []

    def visit(name):
        state[name] = "open"
        path.append(name)
        for link in targets[name]["links"]:
            if link not in targets:
                continue
            if state.get(link) == "open":
                return path[path.index(link):] + [link]
            if link not in state:
                cycle = visit(link)
                if cycle:
                    return cycle
        path.pop()
        state[name] = "done"
        return None

    for name in targets:
        if name not in state:
            cycle = visit(name)
            if cycle:
                return cycle
    return None


def check_folders(targets, libraries, src):
    """Rules 4 and 5: folders against libraries and namespaces, and the folders' include graph."""
    breaches, folder_of = [], {}
    for name in sorted(libraries):
        sources = [s.resolve() for s in targets[name]["sources"] if s.resolve().is_relative_to(src)]
        folders = {s.parent for s in sources}
        if not folders:
            continue
        if len(folders) > 1:
            breaches.append(f"{name} has sources in {len(folders)} folders: "
                            + ", ".join(str(f.relative_to(src)) for f in sorted(folders)))
            continue
        folder = folders.pop()
        if folder in folder_of.values():
            other = next(n for n, f in folder_of.items() if f == folder)
            breaches.append(f"{name} and {other} share the folder {folder.relative_to(src)}")
        folder_of[name] = folder
        expected = "::".join(folder.relative_to(src).parts)
        for source in sources:
            for match in NAMESPACE.finditer(source.read_text(encoding="utf-8")):
                namespace, body = match.group(1), match.group(2)
                if namespace == expected or namespace.startswith(expected + "::"):
                    continue
                if namespace in MODULE_NAMESPACES:
                    continue
                lines = [line.strip() for line in body.splitlines() if line.strip()]
                if lines and all(FORWARD.match(line) for line in lines):
                    continue
                line = source.read_text(encoding="utf-8")[:match.start()].count("\n") + 1
                breaches.append(f"{source}:{line}: namespace {namespace} in {folder.relative_to(src)}, "
                                f"whose namespace is {expected}")

    # The folders' include graph, from every source of the tree.
    edges = {}
    for source in src.rglob("*"):
        if source.suffix not in (".h", ".cpp"):
            continue
        for text in source.read_text(encoding="utf-8").splitlines():
            match = INCLUDE.match(text)
            if match and "/" in match.group(1):
                target = (src / match.group(1)).parent
                if target != source.parent and target.is_dir():
                    edges.setdefault(source.parent, set()).add(target)
    state, path = {}, []

    def visit(folder):
        state[folder] = "open"
        path.append(folder)
        for target in sorted(edges.get(folder, ())):
            if state.get(target) == "open":
                cycle = path[path.index(target):] + [target]
                return " -> ".join(str(f.relative_to(src)) for f in cycle)
            if target not in state:
                found = visit(target)
                if found:
                    return found
        path.pop()
        state[folder] = "done"
        return None

    for folder in sorted(edges):
        if folder not in state:
            cycle = visit(folder)
            if cycle:
                breaches.append("folders include each other: " + cycle)
                break
    return breaches


def main():
    build, source_root = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2]).resolve()
    src = source_root / "src"
    targets = read_manifest(build / "layering.txt")
    libraries = {name for name, t in targets.items() if t["kind"].endswith("_LIBRARY")}
    owner = {}
    for name in libraries:
        for source in targets[name]["sources"]:
            if source.suffix == ".h":
                owner[source.resolve()] = name

    breaches = []
    for name, target in sorted(targets.items()):
        reachable = closure(targets, name)
        for source in target["sources"]:
            if not source.is_file():
                continue
            for number, text in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
                match = INCLUDE.match(text)
                if not match:
                    continue
                included = match.group(1)
                # Searched as the compiler does: beside the including file, then from src/.
                candidates = [(source.parent / included).resolve(), (src / included).resolve()]
                header = next((c for c in candidates if c in owner), None)
                if header and owner[header] not in reachable:
                    breaches.append(f"{source}:{number}: {name} includes {included} of {owner[header]}, "
                                    f"which it does not link")

    cycle = find_cycle({name: targets[name] for name in libraries})
    if cycle:
        breaches.append("link cycle: " + " -> ".join(cycle))

    for name in sorted(libraries):
        if not name.endswith("_core"):
            continue
        for below in sorted(closure(targets, name)):
            if WIDGETS in targets.get(below, {}).get("links", []):
                breaches.append(f"{name} links {WIDGETS} (through {below}); a core library must not")

    breaches += check_folders(targets, libraries, src)

    for breach in breaches:
        print(breach)
    if not breaches:
        print(f"layering: {len(targets)} targets, {len(libraries)} libraries, no breach")
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
