#!/usr/bin/env python3
"""Writes the advice files of the numbered messages from docs/errors.md.

The program shows, in the error summary of a fatal stop, the advice file of every
number reported: helpmessages/<g><rrr> under the directory it is started in (g the
thousands digit, rrr the rest in three digits: 1041, 0002). Every table row of
docs/errors.md whose first cell is a number is that number's advice; a number with two
rows (two messages) gets both. The console copies each line of the file as it stands
and cuts it at 80 characters, so the text is wrapped to fit.

Usage: helpmessages.py <errors.md> <output directory> [<stamp file>]
"""

import os
import re
import sys
import textwrap

WIDTH = 78  # the summary shows 80 characters of a line; two spare
ADVICE_NAME = re.compile(r"^\d{4}$")


def cells_of(line):
    """The cells of a markdown table row, or None for any other line."""
    line = line.strip()
    if not (line.startswith("|") and line.endswith("|")):
        return None
    return [c.strip() for c in line[1:-1].split("|")]


def read_table(path):
    """number -> [(kind, message, meaning, check), ...] in the order of the document."""
    table = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            cells = cells_of(line)
            if not cells or not re.fullmatch(r"\d+", cells[0]):
                continue
            if len(cells) != 5:
                raise ValueError(f"{path}: row of {cells[0]} has {len(cells)} cells, not 5")
            table.setdefault(int(cells[0]), []).append(tuple(cells[1:]))
    return table


def plain(text):
    """Markdown of a cell as plain text: code marks, emphasis and links removed."""
    text = re.sub(r"\[([^\]]*)\]\([^)]*\)", r"\1", text)
    return text.replace("`", "").replace("**", "")


def advice_name(number):
    return f"{number // 1000}{number % 1000:03d}"


def advice_text(number, rows):
    lines = []
    for kind, message, meaning, check in rows:
        if lines:
            lines.append("")
        lines += textwrap.wrap(f"QUENDAL {kind} {number}: {plain(message)}", WIDTH,
                               subsequent_indent="    ")
        lines += textwrap.wrap("What it means: " + plain(meaning), WIDTH,
                               initial_indent="  ", subsequent_indent="    ")
        lines += textwrap.wrap("Check first: " + plain(check), WIDTH,
                               initial_indent="  ", subsequent_indent="    ")
    lines.append("  (docs/errors.md and docs/input-files.md hold the full reference.)")
    return "\n".join(lines) + "\n"


def write_advice(table, directory):
    os.makedirs(directory, exist_ok=True)
    wanted = {advice_name(n) for n in table}
    for name in os.listdir(directory):  # advice of numbers no longer in the table
        if ADVICE_NAME.match(name) and name not in wanted:
            os.remove(os.path.join(directory, name))
    for number, rows in table.items():
        text = advice_text(number, rows)
        path = os.path.join(directory, advice_name(number))
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                if f.read() == text:
                    continue
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


def main(argv):
    if len(argv) not in (3, 4):
        sys.stderr.write(__doc__)
        return 2
    write_advice(read_table(argv[1]), argv[2])
    if len(argv) == 4:
        with open(argv[3], "w", encoding="utf-8") as f:
            f.write("")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
