"""The table of numbered messages (docs/errors.md) against the numbers the program
reports, and the collector that finds those numbers in src/.

Usage: error_table_check.py <repository root>
"""

import os
import sys
import tempfile
import textwrap
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(HERE, "..", ".."))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(ROOT, "scripts"))

import error_numbers  # noqa: E402
import helpmessages  # noqa: E402

DOOR_HEADER = """
#pragma once
#include <string_view>
void REPORT_ERROR(RunIo& io, int severity, int number, int unit, int element, int cell,
                  std::string_view message);
constexpr int SEVERITY_CONTINUATION = 0;
constexpr int SEVERITY_FATAL = 1;
"""


def collect_from(files):
    """Collects from a source tree made of `files` (path -> text)."""
    with tempfile.TemporaryDirectory() as root:
        for path, text in files.items():
            full = os.path.join(root, path)
            os.makedirs(os.path.dirname(full), exist_ok=True)
            with open(full, "w", encoding="utf-8") as f:
                f.write(textwrap.dedent(text))
        return error_numbers.collect(root)


class CollectorFindsEveryWayANumberIsPassed(unittest.TestCase):
    """Each case: sources, the numbers the collector must find, whether it must report
    an argument it cannot resolve."""

    CASES = {
        "written out, and a choice of two": ("""
            #include "door.h"
            void f(RunIo& io, bool wet) {
              REPORT_ERROR(io, SEVERITY_FATAL, 1099, 23, 0, 0, "a");
              REPORT_ERROR(io, 3, wet ? 1034 : 1035, 23, 0, 0, "b");
            }""", {1099, 1034, 1035}, False),
        "constants of the file, of a function (hiding a parameter) and of a header": ("""
            #include "door.h"
            #include "numbers.h"
            namespace { constexpr int FILE_ERROR = 1098; }
            void f(RunIo& io, int number) {
              constexpr int number = 16;
              REPORT_ERROR(io, 1, number, 23, 0, 0, "a");
              REPORT_ERROR(io, 1, FILE_ERROR, 23, 0, 0, "b");
              REPORT_ERROR(io, 1, quendal::HEADER_ERROR, 23, 0, 0, "c");
            }""", {16, 1098, 1097}, False),
        "continuation lines carry no number": ("""
            #include "door.h"
            void f(RunIo& io) { REPORT_ERROR(io, SEVERITY_CONTINUATION, 12, 23, 0, 0, "x"); }
            """, set(), False),
        "a wrapper of the file, a member and a lambda pass their parameter on": ("""
            #include "door.h"
            namespace {
            void refuse(RunIo& io, int number) { REPORT_ERROR(io, 1, number, 23, 0, 0, "a"); }
            class Reader {
             public:
              void fail(int code) { refuse(io_, code); }
              void read() { fail(3007); }
              RunIo& io_;
            };
            }  // namespace
            void g(RunIo& io) {
              auto warn = [&](int n) { REPORT_ERROR(io, 3, n, 23, 0, 0, "w"); };
              warn(1076);
              refuse(io, 1096);
            }""", {3007, 1076, 1096}, False),
        "a wrapper declared in a header is followed into every file that includes it": ({
            "checks.h": """
                #pragma once
                int CHECK(RunIo& io, int type, int num);""",
            "checks.cpp": """
                #include "door.h"
                #include "checks.h"
                int CHECK(RunIo& io, int type, int num) {
                  REPORT_ERROR(io, type, num, 23, 0, 0, "c");
                  return 0;
                }""",
            "user.cpp": """
                #include "checks.h"
                constexpr int LIMIT_ERROR = 2012;
                void u(RunIo& io) { CHECK(io, 2, LIMIT_ERROR); CHECK(io, 2, 2013); }""",
            "other.cpp": """
                int CHECK(int a, int b, int c);
                void v() { CHECK(0, 0, 42); }  // another CHECK, not the wrapper's
                """,
        }, {2012, 2013}, False),
        "a number it cannot see is reported, not passed over": ("""
            #include "door.h"
            struct Entry { int number; };
            void f(RunIo& io, const Entry& e) { REPORT_ERROR(io, 1, e.number, 23, 0, 0, "a"); }
            """, set(), True),
    }

    def test_cases(self):
        for name, (sources, expected, unresolved) in self.CASES.items():
            with self.subTest(name):
                files = sources if isinstance(sources, dict) else {"main.cpp": sources}
                files = {"door.h": DOOR_HEADER,
                         "numbers.h": "namespace quendal { constexpr int HEADER_ERROR = 1097; }",
                         **files}
                found = collect_from(files)
                self.assertEqual(set(found.numbers), expected)
                self.assertEqual(bool(found.unresolved), unresolved, found.unresolved)


class TableMatchesTheProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.found = error_numbers.collect(os.path.join(ROOT, "src"))
        cls.table = helpmessages.read_table(os.path.join(ROOT, "docs", "errors.md"))

    def test_every_number_passed_to_the_door_is_resolved(self):
        self.assertEqual(self.found.unresolved, [],
                         "arguments the collector cannot follow: make them a number, a named "
                         "constant or a parameter of a wrapper")

    def test_every_number_reported_has_a_line_in_the_table(self):
        missing = {n: sorted(w) for n, w in self.found.numbers.items() if n not in self.table}
        self.assertEqual(missing, {}, "numbers the program reports that docs/errors.md lacks "
                                      "(number: where it is reported)")

    def test_the_table_lists_no_number_the_program_no_longer_reports(self):
        stale = sorted(set(self.table) - set(self.found.numbers))
        self.assertEqual(stale, [], "numbers in docs/errors.md that no code reports")

    def test_every_row_says_what_it_means_and_what_to_check(self):
        for number, rows in self.table.items():
            for kind, message, meaning, check in rows:
                with self.subTest(number=number):
                    self.assertIn(kind, {"fatal", "error", "warning", "fatal or error",
                                         "fatal or warning"})
                    self.assertTrue(message and meaning and check)


class AdviceFiles(unittest.TestCase):
    def test_names_are_the_ones_the_program_opens(self):
        # The program forms thousands digit + three digits (I1, I3.3).
        for number, name in [(2, "0002"), (16, "0016"), (1041, "1041"), (3090, "3090"),
                             (4820, "4820")]:
            self.assertEqual(helpmessages.advice_name(number), name)

    def test_every_line_fits_the_eighty_columns_the_summary_shows(self):
        table = helpmessages.read_table(os.path.join(ROOT, "docs", "errors.md"))
        for number, rows in table.items():
            for line in helpmessages.advice_text(number, rows).splitlines():
                with self.subTest(number=number):
                    self.assertLessEqual(len(line), 80, line)
                    # A first character "+" would overwrite the console line before it.
                    self.assertFalse(line.startswith("+"), line)


if __name__ == "__main__":
    unittest.main(verbosity=1)
