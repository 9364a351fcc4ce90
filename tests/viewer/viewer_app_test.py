#!/usr/bin/env python3
"""gridwell-viewer, the desktop program, under Xvfb with the real widget: a window for each
workbook on its command line, macro-enabled workbooks shown, a message in the window of a
file it cannot open, the window size kept for the next start; and its desktop file and
AppStream metainfo pass their validators.

Environment: GRIDWELL_SOURCE_DIR, and GI_TYPELIB_PATH / LD_LIBRARY_PATH into the build tree.
"""
import importlib.machinery
import os
import shutil
import subprocess
import tempfile
import types
import unittest

SOURCE = os.environ["GRIDWELL_SOURCE_DIR"]
VIEWER = os.path.join(SOURCE, "viewer")
SAMPLE = os.path.join(SOURCE, "samples", "sample.xlsx")
SAMPLE_SHEETS = ["Catalogue", "Sales 2025", "Publishers", "Characters", "Convention"]


def load_program():
    loader = importlib.machinery.SourceFileLoader(
        "gridwell_viewer", os.path.join(VIEWER, "gridwell-viewer"))
    module = types.ModuleType(loader.name)
    module.__file__ = loader.path
    loader.exec_module(module)
    return module


app = load_program()
from gi.repository import GLib, Gtk  # noqa: E402


def run_until(done, seconds=10):
    deadline = GLib.get_monotonic_time() + seconds * 1_000_000
    while not done() and GLib.get_monotonic_time() < deadline:
        Gtk.main_iteration_do(False)
    return done()


class ViewerProgramTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="gridwell-viewer-test-")
        self.sizes = app.WindowSize(os.path.join(self.work, "config", "window.ini"))
        self.windows = []

    def tearDown(self):
        for w in self.windows:
            w.destroy()
        shutil.rmtree(self.work, ignore_errors=True)

    def file(self, name, source=None, text=""):
        path = os.path.join(self.work, name)
        if source:
            shutil.copy(source, path)
        else:
            with open(path, "w") as f:
                f.write(text)
        return path

    def test_each_workbook_in_a_window_of_its_own(self):
        macro = self.file("catalogue.xlsm", SAMPLE)
        template = self.file("catalogue.xltx", SAMPLE)
        broken = self.file("broken.xlsm", text="not a workbook")
        cases = [  # argument, sheets shown, text of the error bar (None: no error)
            (SAMPLE, SAMPLE_SHEETS, None),
            ("file://" + macro, SAMPLE_SHEETS, None),
            (template, SAMPLE_SHEETS, None),
            (os.path.join(self.work, "absent.xlsx"), [], "absent.xlsx"),
            (broken, [], "broken.xlsm"),
        ]
        self.windows = app.open_windows([c[0] for c in cases], self.sizes, app.Aliases())
        self.assertEqual(len(self.windows), len(cases))
        for window, (arg, sheets, error) in zip(self.windows, cases):
            with self.subTest(arg=arg):
                self.assertEqual([row[0] for row in window.sheets.get_model()], sheets)
                # A workbook that is there but unreadable fails once its open has run.
                self.assertEqual(run_until(window.info.get_visible, 5 if error else 0),
                                 error is not None)
                if error:
                    self.assertIn(error, window.message.get_text())
                else:
                    # The title names the workbook given, not a link standing for it.
                    self.assertIn(os.path.basename(arg), window.get_title())
        # Picking another sheet of the macro-enabled workbook keeps showing that workbook.
        self.windows[1].sheets.set_active(1)
        self.assertIn("catalogue.xlsm", self.windows[1].get_title())
        self.assertFalse(self.windows[1].info.get_visible())

    def test_window_size_is_kept_for_the_next_start(self):
        first = app.open_windows([], self.sizes)[0]
        self.assertEqual(first.get_default_size(), app.DEFAULT_SIZE)
        first.resize(900, 510)
        self.assertTrue(run_until(lambda: first.size == (900, 510)), first.size)
        first.destroy()
        self.windows = app.open_windows([SAMPLE], self.sizes)
        self.assertEqual(tuple(self.windows[0].get_default_size()), (900, 510))
        # A damaged settings file gives the default size.
        with open(self.sizes.path, "w") as f:
            f.write("[window]\nwidth=-5\n")
        self.assertEqual(self.sizes.load(), app.DEFAULT_SIZE + (False,))

    def test_desktop_file_and_metainfo_validate(self):
        checks = [
            ["desktop-file-validate", "org.gridwell.viewer.desktop"],
            ["appstreamcli", "validate", "--no-net", "--pedantic",
             "org.gridwell.viewer.metainfo.xml"],
        ]
        for command in checks:
            with self.subTest(tool=command[0]):
                if not shutil.which(command[0]):
                    self.skipTest(f"{command[0]} not installed")
                run = subprocess.run(command, cwd=VIEWER, capture_output=True, text=True)
                self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
                # Nothing to report: desktop-file-validate prints nothing, appstreamcli only
                # its verdict.
                report = [line for line in (run.stdout + run.stderr).splitlines()
                          if line.strip() and "Validation was successful." not in line]
                self.assertEqual(report, [])


if __name__ == "__main__":
    unittest.main(verbosity=2)
