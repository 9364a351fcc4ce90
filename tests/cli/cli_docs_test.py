#!/usr/bin/env python3
"""The gridwell tool's manual page and bash completion against the tool itself: every
command and option that `--help` names is in the manual page and the other way round, the
page formats without a warning, and the completion offers commands, options and the sheet
names of the workbook on the line.

Usage: cli_docs_test.py GRIDWELL SOURCE_DIR [BUILT_MAN_PAGE]
"""
import os
import re
import subprocess
import sys
import unittest

GRIDWELL, SOURCE = sys.argv[1], sys.argv[2]
MAN_PAGE = sys.argv[3] if len(sys.argv) > 3 else ""
SCD = os.path.join(SOURCE, "cli", "gridwell.1.scd")
COMPLETION = os.path.join(SOURCE, "cli", "gridwell.bash")
SAMPLE = os.path.join(SOURCE, "samples", "sample.xlsx")
SAMPLE_SHEETS = ["Catalogue", "Sales 2025", "Publishers", "Characters", "Convention"]

# An option: a dash or two and a word, not inside a word ("1-based", "tool-tips").
OPTION = re.compile(r"(?<![\w-])(--?[a-z][a-z-]*)")


def help_text(*command):
    return subprocess.run([GRIDWELL, *command, "--help"], capture_output=True, text=True,
                          check=True).stdout


def commands_in_help():
    text = help_text()
    block = text.split("commands:\n", 1)[1].split("\n\n", 1)[0]
    return [line.split()[0] for line in block.splitlines() if line.strip()]


def man_sections():
    """The manual page's options per command: {"convert": {...}, ...}, from its source."""
    sections, current = {}, None
    with open(SCD, encoding="utf-8") as f:
        for line in f:
            if line.startswith("## "):
                current = sections.setdefault(line[3:].strip(), set())
            elif line.startswith("# "):
                current = None
            elif current is not None and line.startswith("*-"):
                current.update(OPTION.findall(line.replace("*", " ")))
    return sections


class ManPageTest(unittest.TestCase):
    def test_help_and_man_page_name_the_same_commands_and_options(self):
        sections = man_sections()
        commands = commands_in_help()
        self.assertEqual(sorted(commands), sorted(sections),
                         f"commands in `gridwell --help`: {commands}; "
                         f"command sections (## NAME) in {SCD}: {sorted(sections)}")
        # Every command takes -h and --help, whether its help shows them or not.
        implied = {"-h", "--help"}
        for command in commands:
            in_help = set(OPTION.findall(help_text(command))) - implied
            in_man = sections[command] - implied
            for option in sorted(in_help - in_man):
                self.fail(f"`gridwell {command} --help` lists {option}, but the manual page "
                          f"({SCD}, section ## {command}) does not describe it")
            for option in sorted(in_man - in_help):
                self.fail(f"the manual page ({SCD}, section ## {command}) describes {option}, "
                          f"but `gridwell {command} --help` does not list it")

    def test_page_formats_without_warnings(self):
        if not MAN_PAGE:
            self.skipTest("the manual page was not built (scdoc not found)")
        run = subprocess.run(["man", "--warnings", "-l", MAN_PAGE], capture_output=True,
                             text=True, env=dict(os.environ, MANWIDTH="80"))
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stderr, "")
        for heading in ("EXIT STATUS", "ENVIRONMENT", "EXAMPLES"):
            self.assertIn(heading, run.stdout)


def complete(line):
    """What the completion offers at the end of `line` (words split as bash would)."""
    script = (f'source "{COMPLETION}"\n'
              f'eval "COMP_WORDS=({line})"\n'
              f'[[ "{line}" == *" " ]] && COMP_WORDS+=("")\n'
              'COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n'
              '_gridwell\n'
              'printf "%s\\n" "${COMPREPLY[@]}"\n')
    run = subprocess.run(["bash", "-c", script], capture_output=True, text=True, cwd=SOURCE)
    return [w for w in run.stdout.splitlines() if w]


class CompletionTest(unittest.TestCase):
    def test_offers(self):
        tool = GRIDWELL
        cases = [
            (f"{tool} ", ["convert", "sheets", "cells", "--help"]),
            (f"{tool} c", ["convert", "cells"]),
            (f"{tool} convert --pla", ["--plain"]),
            (f"{tool} convert book.xlsx --compact", ["--compact-styles"]),
            (f"{tool} sheets samples/sample.xlsx --", ["--help", "--password"]),
            (f"{tool} cells --", ["--help", "--password", "--range", "--sheet"]),
            (f"{tool} cells samples/sample.xlsx --sheet ", [n.replace(" ", "\\ ")
                                                            for n in SAMPLE_SHEETS]),
            (f"{tool} convert -o out.htm samples/sample.xlsx --sheet Sa", ["Sales\\ 2025"]),
            (f"{tool} cells samples/protected.xls --sheet ", []),  # encrypted, no password
            (f"{tool} cells samples/protected.xls --password quorin --sheet C",
             ["Catalogue", "Characters", "Convention"]),
            (f"{tool} convert samples/sample.xlsx --range ", []),
            (f"{tool} sheets samples/sam", ["samples/sample.xlsx"]),
        ]
        for line, expected in cases:
            with self.subTest(line=line):
                self.assertEqual(sorted(complete(line)), sorted(expected))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
