"""The numbers the program can report, collected from its C++ sources.

Every numbered message goes through one door, REPORT_ERROR(io, severity, number, ...).
The number reaches it written out, through a named constant (local to a function, of
the file, or of a header), through a choice (`wet ? 1034 : 1035`), or as a parameter
of a function that passes it on: a wrapper such as the array checks, the titled-block
readers or a reader's own `refuse(number, message)`. The collector follows such a
parameter to every call of the wrapper that can see it (its file, or every file that
includes the header that declares it), and from there on as far as it is passed, so a
number added anywhere along that path is found.

An argument it cannot resolve (a field of a table, a value computed while running) is
reported as unresolved, so the check that uses it fails and names the place rather
than passing over a number it cannot see.
"""

import os
import re
from dataclasses import dataclass, field

# The door: its name and the positions of the severity and of the number among its
# arguments.
DOOR = "REPORT_ERROR"
DOOR_SEVERITY_ARG = 1
DOOR_NUMBER_ARG = 2
# Reports that carry no number of their own: the initialising call and continuation
# lines, which print no heading and are not counted.
SILENT_SEVERITIES = {"SEVERITY_INITIALISE", "SEVERITY_CONTINUATION", "-999", "0"}

KEYWORDS = {"if", "for", "while", "switch", "catch", "return", "sizeof", "decltype",
            "static_assert", "alignof", "noexcept", "throw", "defined", "requires", "do",
            "else", "case", "new", "delete"}


def strip_code(text):
    """The text with comments blanked and string and character literals emptied; every
    character keeps its position, so line numbers stay right."""
    out = []
    i, n = 0, len(text)
    while i < n:
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif text[i] == '"' and i > 0 and text[i - 1] == "R":  # raw string R"x( ... )x"
            open_paren = text.find("(", i)
            close = ")" + text[i + 1:open_paren] + '"'
            j = text.find(close, open_paren) + len(close)
        elif text[i] in "\"'" and not (text[i] == "'" and i > 0 and text[i - 1].isalnum()):
            quote = text[i]
            j = i + 1
            while j < n and text[j] != quote and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j += 1
            out.append(quote * 2 + re.sub(r"[^\n]", " ", text[i + 2:j]))
            i = j
            continue
        else:
            out.append(text[i])
            i += 1
            continue
        out.append(re.sub(r"[^\n]", " ", text[i:j]))
        i = j
    return "".join(out)


def split_arguments(code, open_paren):
    """The top-level arguments of the parenthesis at `open_paren` (stripped), and the
    position of its closing parenthesis."""
    depth = 0
    parts = []
    start = open_paren + 1
    for j in range(open_paren, len(code)):
        c = code[j]
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
            if depth == 0:
                parts.append(code[start:j])
                return [p.strip() for p in parts if p.strip() or len(parts) > 1], j
        elif c == "," and depth == 1:
            parts.append(code[start:j])
            start = j + 1
    raise ValueError(f"unbalanced parenthesis at {open_paren}")


TYPED_PARAMETER = re.compile(
    r"^(?:const\s+)?(?:unsigned\s+|signed\s+|long\s+)*[A-Za-z_][\w:]*(?:<[^()]*>)?"
    r"(?:\s*const)?\s*(?:[&*]+\s*|\s+)([A-Za-z_]\w*)\s*(?:=.*)?$", re.S)
TYPE_ONLY = re.compile(r"^(?:const\s+)?[A-Za-z_][\w:]*(?:<[^()]*>)?\s*[&*]+$")


def parameter_name(declaration):
    """The name a parameter declaration ("const std::string& text") introduces."""
    m = TYPED_PARAMETER.match(declaration.strip())
    return m.group(1) if m else None


def is_declaration(arguments):
    """A definition, declaration or explicit instantiation lists typed parameters
    ("RunIo& io", "RunIo&"); a call lists values."""
    return bool(arguments) and (parameter_name(arguments[0]) is not None
                                or TYPE_ONLY.match(arguments[0]) is not None)


def matching_open(code, close):
    depth = 0
    for j in range(close, -1, -1):
        if code[j] == ")":
            depth += 1
        elif code[j] == "(":
            depth -= 1
            if depth == 0:
                return j
    return -1


@dataclass
class Function:
    name: str
    parameters: list
    body: tuple             # positions of its "{" and "}"
    lambda_: bool = False
    qualifier: str = ""     # "X" of a definition "X::name(...)"
    static: bool = False


@dataclass
class Source:
    path: str               # relative to the source root, with "/"
    text: str
    code: str               # strip_code(text)
    includes: list = field(default_factory=list)
    functions: list = field(default_factory=list)
    local_blocks: list = field(default_factory=list)  # anonymous namespaces, class bodies

    def line_of(self, pos):
        return self.code.count("\n", 0, pos) + 1

    def enclosing(self, pos):
        """The innermost function (or lambda) whose body holds `pos`."""
        inside = [f for f in self.functions if f.body[0] < pos < f.body[1]]
        return max(inside, key=lambda f: f.body[0]) if inside else None


def function_of_body(code, open_brace, close_brace):
    """The function whose body begins at `open_brace`, or None for any other block."""
    # The patterns below are anchored at the end of the text before the brace; they are
    # tried on its last few hundred characters only.
    start = max(0, open_brace - 2000)
    head = code[start:open_brace].rstrip()
    while True:  # what may stand between a parameter list and its body
        trimmed = re.sub(r"(?:\bconst|\boverride|\bnoexcept|\bfinal|\bmutable)\s*$", "", head)
        trimmed = re.sub(r"->\s*[\w:<>&*\s]+$", "", trimmed).rstrip()
        if trimmed == head:
            break
        head = trimmed
    if not head.endswith(")"):
        return None
    j = matching_open(code, start + len(head) - 1)
    if j < 0:
        return None
    params, _ = split_arguments(code, j)
    names = [parameter_name(p) for p in params]
    before = code[max(0, j - 300):j].rstrip()
    lam = re.search(r"([A-Za-z_]\w*)\s*=\s*\[[^\]]*\]\s*$", before)
    if lam:
        return Function(lam.group(1), names, (open_brace, close_brace), lambda_=True)
    named = re.search(r"(?:([A-Za-z_]\w*)\s*::\s*)?([A-Za-z_]\w*)\s*$", before)
    if not named or named.group(2) in KEYWORDS:
        return None
    prefix = before[:named.start()]
    # A constructor's initialiser list ") : a_(x), b_(y) {" holds calls, not a head.
    if re.search(r"(?:\)\s*:|,)\s*$", prefix):
        return None
    line_start = prefix.rfind("\n") + 1
    static = re.search(r"\bstatic\b", prefix[line_start:]) is not None
    return Function(named.group(2), names, (open_brace, close_brace),
                    qualifier=named.group(1) or "", static=static)


def load_sources(root):
    sources = []
    for directory, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            path = os.path.join(directory, name)
            with open(path, encoding="utf-8") as f:
                text = f.read()
            src = Source(os.path.relpath(path, root).replace(os.sep, "/"), text,
                         strip_code(text))
            src.includes = re.findall(r'^\s*#\s*include\s*"([^"]+)"', text, re.M)
            stack = []
            for i, c in enumerate(src.code):
                if c == "{":
                    stack.append(i)
                elif c == "}" and stack:
                    open_brace = stack.pop()
                    head = src.code[max(0, open_brace - 300):open_brace]
                    if re.search(r"\bnamespace\s*$", head) or \
                            re.search(r"\b(?:class|struct)\s+\w+[^;{}()]*$", head):
                        src.local_blocks.append((open_brace, i, "namespace" in head[-20:]))
                    f = function_of_body(src.code, open_brace, i)
                    if f:
                        src.functions.append(f)
            sources.append(src)
    return sources


def includers(sources, header):
    """Every source that includes `header`, directly or through other headers."""
    found = set()
    frontier = {header}
    while frontier:
        frontier = {s.path for s in sources
                    if s.path not in found and any(h in frontier for h in s.includes)}
        found |= frontier
    return found


def reach_of(sources, src, function):
    """The files whose calls of `function` (defined in `src`) can be calls of it."""
    if function.lambda_ or function.static:
        return {src.path}
    if src.path.endswith(".cpp"):
        for start, end, anonymous in src.local_blocks:
            if start < function.body[0] < end and (anonymous or not function.qualifier):
                return {src.path}
    if src.path.endswith(".h"):
        return {src.path} | includers(sources, src.path)
    if function.qualifier:
        declaring = [s for s in sources if s.path.endswith(".h") and re.search(
            r"\b(?:class|struct)\s+" + re.escape(function.qualifier) + r"\b[^;]*\{", s.code)]
    else:
        call = re.compile(r"(?<![\w.>])" + re.escape(function.name) + r"\s*\(")
        declaring = []
        for s in sources:
            if not s.path.endswith(".h") or s.path not in src.includes:
                continue
            for m in call.finditer(s.code):
                arguments, _ = split_arguments(s.code, m.end() - 1)
                if is_declaration(arguments):
                    declaring.append(s)
                    break
    reach = {src.path}
    for header in declaring:
        reach |= {header.path} | includers(sources, header.path)
    return reach


CONSTANT = re.compile(
    r"\b(?:constexpr|const)\s+(?:static\s+)?(?:int|long|short|unsigned)\s+([A-Za-z_]\w*)\s*"
    r"(?:=\s*([^;,{}]+)|\{\s*([^;{}]+)\})\s*;")


@dataclass
class Constant:
    source: Source
    position: int
    value: str
    function: object  # the Function it is local to, or None


def constants_of(sources):
    """Named integer constants: name -> [Constant]."""
    table = {}
    for src in sources:
        for m in CONSTANT.finditer(src.code):
            value = (m.group(2) or m.group(3)).strip()
            table.setdefault(m.group(1), []).append(
                Constant(src, m.start(), value, src.enclosing(m.start())))
    return table


def visible_constant(name, src, pos, constants):
    """The definition of `name` seen at `pos` of `src`: a local one of the same function
    before it, else one of the file outside any function, else the only value the
    program gives the name outside functions."""
    defs = constants.get(name, [])
    here = src.enclosing(pos)
    local = [c for c in defs if c.source is src and c.function is not None
             and here is not None and c.function.body == here.body and c.position < pos]
    if local:
        return max(local, key=lambda c: c.position)
    outer = [c for c in defs if c.function is None]
    same_file = [c for c in outer if c.source is src]
    if same_file:
        return same_file[0]
    values = {c.value for c in outer}
    return outer[0] if len(values) == 1 else None


def top_level_choice(e):
    """(condition, a, b) of "c ? a : b" at the top level of `e`, or None."""
    depth = 0
    question = -1
    for i, c in enumerate(e):
        if c in "([{":
            depth += 1
        elif c in ")]}":
            depth -= 1
        elif depth == 0 and c == "?" and question < 0:
            question = i
        elif depth == 0 and c == ":" and question >= 0 and e[i - 1] != ":" and \
                (i + 1 >= len(e) or e[i + 1] != ":"):
            return e[:question], e[question + 1:i], e[i + 1:]
    return None


def resolve(expression, src, pos, constants, seen=()):
    """What an argument can be: (set of numbers, [(Function, parameter index)] of the
    enclosing function's parameters it passes on, [texts it could not resolve])."""
    e = expression.strip()
    while e.startswith("(") and e.endswith(")"):
        inner, end = split_arguments(e, 0)
        if end != len(e) - 1 or len(inner) != 1:
            break
        e = inner[0]
    if re.fullmatch(r"[+-]?\d+", e):
        return {int(e)}, [], []
    choice = top_level_choice(e)
    if choice:
        a = resolve(choice[1], src, pos, constants, seen)
        b = resolve(choice[2], src, pos, constants, seen)
        return a[0] | b[0], a[1] + b[1], a[2] + b[2]
    if re.fullmatch(r"[A-Za-z_][\w:]*", e) and e not in seen:
        name = e.split("::")[-1]
        here = src.enclosing(pos)
        is_parameter = here is not None and name in here.parameters
        constant = visible_constant(name, src, pos, constants)
        # A local constant hides a parameter; a parameter hides anything further out.
        if constant is not None and (constant.function is not None or not is_parameter):
            return resolve(constant.value, constant.source, constant.position, constants,
                           seen + (e,))
        if is_parameter:
            return set(), [(here, here.parameters.index(name))], []
    return set(), [], [e]


@dataclass(frozen=True)
class Door:
    name: str            # the function, as it is called
    number_arg: int      # position of the number among its arguments
    severity_arg: int    # position of the severity, -1 when it has none
    reach: frozenset     # the files whose calls are calls of it
    origin: str          # where it passes the number on


@dataclass
class Collection:
    numbers: dict = field(default_factory=dict)     # number -> set of "file:line"
    unresolved: list = field(default_factory=list)  # "file:line: what"
    doors: list = field(default_factory=list)


def collect(root):
    """Every number the sources under `root` can pass to the error door."""
    sources = load_sources(root)
    constants = constants_of(sources)
    by_path = {s.path: s for s in sources}
    result = Collection()
    queue = [Door(DOOR, DOOR_NUMBER_ARG, DOOR_SEVERITY_ARG, frozenset(by_path), "")]
    done = set()
    while queue:
        door = queue.pop(0)
        key = (door.name, door.number_arg, door.reach)
        if key in done:
            continue
        done.add(key)
        result.doors.append(door)
        # Calls, also with template arguments ("run_check<double>(") and as members.
        call = re.compile(r"(?<![\w])" + re.escape(door.name) + r"\s*(?:<[^;(){}<>]*>\s*)?\(")
        for path in sorted(door.reach):
            src = by_path[path]
            for m in call.finditer(src.code):
                arguments, _ = split_arguments(src.code, m.end() - 1)
                if is_declaration(arguments) or len(arguments) <= door.number_arg:
                    continue
                if door.severity_arg >= 0 and arguments[door.severity_arg] in SILENT_SEVERITIES:
                    continue
                where = f"{src.path}:{src.line_of(m.start())}"
                numbers, passed_on, unknown = resolve(arguments[door.number_arg], src,
                                                      m.start(), constants)
                for n in numbers:
                    result.numbers.setdefault(n, set()).add(where)
                for function, index in passed_on:
                    queue.append(Door(function.name, index, -1,
                                      frozenset(reach_of(sources, src, function)), where))
                for text in unknown:
                    result.unresolved.append(
                        f"{where}: the number passed to {door.name} (\"{text}\") is neither "
                        "a number, a named constant nor a parameter passed on")
    return result


if __name__ == "__main__":
    import sys
    found = collect(sys.argv[1])
    for d in found.doors:
        print("door", d.name, d.number_arg, d.origin, len(d.reach))
    for n in sorted(found.numbers):
        print(n, " ".join(sorted(found.numbers[n])))
    for u in found.unresolved:
        print("unresolved", u)
