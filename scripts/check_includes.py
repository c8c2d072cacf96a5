#!/usr/bin/env python3
"""Checks how the sources may reach each other through their includes.

- No include circle: no file reaches itself through the files it includes.
- The folders without windows (every `core/` folder) include no widget or GUI header,
  neither directly nor through a project header.
Exits non-zero and names the files when a rule is broken.
"""
import re
import sys
from pathlib import Path

root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
folders = ["common", "console", "station"]
include = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
window_headers = re.compile(r"^(Qt(Widgets|Gui)/|Q(Widget|Dialog|MainWindow|Label|LineEdit|"
                            r"PushButton|RadioButton|ComboBox|MessageBox|Application|"
                            r"GuiApplication|Screen|Font|Icon|Color|Desktop\w*|Window)$)")

sources = [p for folder in folders for p in (root / folder).rglob("*")
           if p.suffix in (".h", ".cpp") and p.is_file()]
by_name = {}
for path in sources:
    by_name.setdefault(path.name, []).append(path)

graph, system = {}, {}
for path in sources:
    found = include.findall(path.read_text(encoding="utf-8"))
    graph[path] = [target for kind, name in found if kind == '"'
                   for target in by_name.get(Path(name).name, [])]
    system[path] = [name for kind, name in found if kind == "<"]

def rel(path):
    return str(path.relative_to(root))

failures = []

# Depth-first search; a file met again while it is still on the path closes a circle.
state, path_stack = {}, []
def visit(node):
    state[node] = "open"
    path_stack.append(node)
    for target in graph[node]:
        if state.get(target) == "open":
            circle = path_stack[path_stack.index(target):] + [target]
            failures.append("include circle: " + " -> ".join(rel(p) for p in circle))
        elif target not in state:
            visit(target)
    path_stack.pop()
    state[node] = "done"

for node in sorted(graph):
    if node not in state:
        visit(node)

def reached(start):
    seen, todo = set(), [start]
    while todo:
        node = todo.pop()
        for target in graph[node]:
            if target not in seen:
                seen.add(target)
                todo.append(target)
    return seen

for path in sorted(sources):
    if "core" not in path.relative_to(root).parts:
        continue
    for node in [path, *sorted(reached(path))]:
        if "core" not in node.relative_to(root).parts:
            failures.append(f"{rel(path)} reaches {rel(node)}, which is outside the core")
        for name in system[node]:
            if window_headers.match(name):
                failures.append(f"{rel(path)} reaches the window header <{name}> via {rel(node)}")

for failure in failures:
    print(failure)
sys.exit(1 if failures else 0)
