#!/usr/bin/env python3
"""The Gridweller widget from Python through GObject introspection, with the real WebKit under
Xvfb: signals and properties of an open, a failed open, downloads from a local HTTP server,
keyboard and accessibility, the viewer demo, and the documentation of the introspection data.

Environment: GRIDWELL_SOURCE_DIR (the source tree), GRIDWELLER_GIR (the generated .gir), and
GI_TYPELIB_PATH / LD_LIBRARY_PATH pointing into the build tree.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
gi.require_version("WebKit2", "4.1")
gi.require_version("Gridweller", "1.0")
from gi.repository import Gdk, GLib, Gridweller, Gtk, WebKit2  # noqa: E402

SOURCE = os.environ["GRIDWELL_SOURCE_DIR"]
SAMPLE = os.path.join(SOURCE, "samples", "sample.xlsx")
SAMPLE_SHEETS = ["Catalogue", "Sales 2025", "Publishers", "Characters", "Convention"]
sys.path.insert(0, os.path.join(SOURCE, "demo"))

OPEN_SIGNALS = ["open-start", "open-complete", "open-error"]
DOWNLOAD_SIGNALS = ["download-started", "download-progress", "download-error",
                    "download-complete"]

work = None
server = None
http_port = 0


def setUpModule():
    global work, server, http_port
    work = tempfile.mkdtemp(prefix="gridweller-py-")
    os.environ["GRIDWTEMP"] = os.path.join(work, "GRIDWTEMP") + "/"
    served = os.path.join(work, "served")
    os.mkdir(served)
    shutil.copy(SAMPLE, served)
    server = subprocess.Popen(
        [sys.executable, os.path.join(SOURCE, "tests/control/gtk/test_servers.py"), served],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    kind, port = server.stdout.readline().split()
    assert kind == "HTTP"
    http_port = int(port)


def tearDownModule():
    server.terminate()
    server.wait()
    shutil.rmtree(work, ignore_errors=True)


def wait_for(done, seconds=30):
    """Runs the main loop until done() or the deadline; False at the deadline."""
    deadline = GLib.get_monotonic_time() + int(seconds * 1e6)
    context = GLib.MainContext.default()
    while not done():
        if GLib.get_monotonic_time() >= deadline:
            return False
        wake = GLib.timeout_add(10, lambda: False)  # so the deadline is looked at
        context.iteration(True)
        source = context.find_source_by_id(wake)
        if source and not source.is_destroyed():
            GLib.source_remove(wake)
    return True


def javascript(view, script):
    result = {}

    def finished(v, res):
        try:
            result["value"] = v.evaluate_javascript_finish(res).to_string()
        except GLib.Error as e:
            result["value"] = "error: " + e.message

    view.evaluate_javascript(script, -1, None, None, None, finished)
    assert wait_for(lambda: "value" in result), script
    return result["value"]


def send_key(widget, keyval, state=0):
    """Delivers a key press and release to the window of `widget` as the X server would."""
    window = widget.get_toplevel()
    keymap = Gdk.Keymap.get_for_display(window.get_display())
    ok, keys = keymap.get_entries_for_keyval(keyval)
    seat = window.get_display().get_default_seat()
    for kind in (Gdk.EventType.KEY_PRESS, Gdk.EventType.KEY_RELEASE):
        event = Gdk.Event.new(kind)
        event.key.window = window.get_window()
        event.key.send_event = True
        event.key.time = Gtk.get_current_event_time()
        event.key.keyval = keyval
        event.key.state = state
        event.key.hardware_keycode = keys[0].keycode if ok else 0
        event.set_device(seat.get_keyboard())
        Gtk.main_do_event(event)


class ViewerCase(unittest.TestCase):
    def setUp(self):
        self.window = Gtk.Window()
        self.window.set_default_size(800, 600)
        self.box = Gtk.Box(orientation=Gtk.Orientation.VERTICAL)
        self.before = Gtk.Button(label="before")
        self.after = Gtk.Button(label="after")
        self.viewer = Gridweller.Gridwell()
        self.box.pack_start(self.before, False, False, 0)
        self.box.pack_start(self.viewer, True, True, 0)
        self.box.pack_start(self.after, False, False, 0)
        self.window.add(self.box)
        self.window.show_all()
        self.assertTrue(wait_for(self.viewer.get_mapped))
        self.events = []
        for name in OPEN_SIGNALS + DOWNLOAD_SIGNALS:
            self.viewer.connect(name, self.record, name)
        self.notified = []
        self.viewer.connect("notify", lambda v, p: self.notified.append(p.name))

    def tearDown(self):
        self.window.destroy()

    def record(self, viewer, *args):
        self.events.append((args[-1],) + args[:-1])

    def names(self):
        return [e[0] for e in self.events if e[0] != "download-progress"]

    def page_text(self):
        return javascript(self.viewer.get_web_view(), "document.body.innerText")

    def open_sample(self, **options):
        self.assertTrue(self.viewer.open_xl(SAMPLE, Gridweller.OpenOptions(**options)))
        self.assertTrue(wait_for(lambda: self.names()[-1:] in (["open-complete"],
                                                                ["open-error"])))


class OpenTest(ViewerCase):
    def test_open_signals_and_properties(self):
        self.assertEqual(self.viewer.props.sheet_total, 0)
        self.assertEqual(self.viewer.props.sheet_names, [])
        self.open_sample(title="Gridweller page")
        v = self.viewer.props
        page = v.temp_path + "sample_1.htm"
        # The page path is stored after the load was asked for: open-start carries the old one.
        self.assertEqual(self.events, [("open-start", SAMPLE, ""),
                                       ("open-complete", SAMPLE, page)])
        self.assertEqual((v.html_file, v.excel_file, v.sheet_total, v.sheet_names),
                         (page, SAMPLE, 5, SAMPLE_SHEETS))
        self.assertTrue({"html-file", "excel-file", "sheet-total", "sheet-names"}
                        <= set(self.notified))
        self.assertNotEqual(v.hwnd, 0)
        view = self.viewer.get_web_view()
        self.assertEqual(javascript(view, "document.title"), "Gridweller page")

        # Options by name and by number pick the sheet that the page names.
        for options, tag in [({"sheet": "Publishers"}, "Publishers"),
                             ({"sheet_number": 2}, "2"),
                             ({"sheet": "", "sheet_number": 3}, "1")]:
            self.events.clear()
            self.open_sample(**options)
            self.assertEqual(self.names(), ["open-start", "open-complete"], options)
            self.assertEqual(v.html_file, v.temp_path + f"sample_{tag}.htm")

        # A missing workbook: False or open-error, and the earlier sheet is no longer shown.
        self.events.clear()
        missing = os.path.join(work, "no-such-book.xlsx")
        ok = self.viewer.open_xl(missing, None)
        if ok:
            self.assertTrue(wait_for(lambda: "open-error" in self.names()))
        self.assertTrue(not view.get_visible() or "Catalogue" not in self.page_text())
        self.assertNotIn("open-complete", self.names())

    def test_a_failed_open_says_why(self):
        # The open still answers True once the converter was asked; open-error-code and
        # open-error-text say why no page of the workbook is shown, and so does the control.
        protected = os.path.join(SOURCE, "samples", "protected.xls")
        damaged = os.path.join(work, "damaged.xlsx")
        with open(SAMPLE, "rb") as f:
            whole = f.read()
        with open(damaged, "wb") as f:
            f.write(whole[:len(whole) // 2])
        text = os.path.join(work, "notes.xlsx")
        with open(text, "w") as f:
            f.write("just text\n")
        cases = [(protected, {"password": "quorin"}, 0, ""),
                 # The page written with the right password is not shown for a wrong one.
                 (protected, {"password": "guess"}, 2, "The password does not open protected"),
                 (protected, {}, 1, "protected.xls is protected"),
                 (damaged, {}, 3, "damaged.xlsx cannot be read: "),
                 (text, {}, 4, "notes.xlsx is not an .xls or .xlsx workbook."),
                 (SAMPLE, {"sheet": "Nope"}, 5, 'sample.xlsx has no sheet named "Nope"')]
        v = self.viewer.props
        for path, options, code, reason in cases:
            with self.subTest(path=path, options=options):
                self.events.clear()
                self.open_sample_at(path, options)
                self.assertEqual((v.open_error_code, v.open_error_text[:len(reason)]),
                                 (code, reason))
                self.assertEqual(self.names()[-1], "open-error" if code else "open-complete")
                if code:
                    self.assertTrue(wait_for(lambda: reason in self.page_text(), 10))
                    self.assertNotIn("Catalogue", self.page_text())

    def open_sample_at(self, path, options):
        self.assertTrue(self.viewer.open_xl(path, Gridweller.OpenOptions(
            open_synchronously=True, **options)))
        self.assertTrue(wait_for(lambda: self.names()[-1:] in (["open-complete"],
                                                                ["open-error"])))

    def test_handlers_change_the_live_arguments(self):
        renamed = os.path.join(work, "renamed.htm")
        starts = self.viewer.connect(
            "open-start", lambda v, book, page: v.set_property("excel-file", "/elsewhere.xlsx"))
        completes = self.viewer.connect(
            "open-complete", lambda v, book, page: v.set_property("html-file", renamed))
        self.open_sample(open_synchronously=True)
        self.viewer.disconnect(starts)
        self.viewer.disconnect(completes)
        self.assertEqual(self.events[-1][:2], ("open-complete", "/elsewhere.xlsx"))
        self.assertEqual((self.viewer.props.excel_file, self.viewer.props.html_file),
                         ("/elsewhere.xlsx", renamed))
        # The stored page is the handler's: going home now fails to load it.
        self.events.clear()
        self.viewer.go_home(True)
        self.assertEqual(self.names(), ["open-start", "open-error"])
        self.assertEqual(self.events[-1], ("open-error", "/elsewhere.xlsx", renamed))
        # Outside its signal a live argument cannot be set.
        self.viewer.props.save_file = "/tmp/x"
        self.assertEqual(self.viewer.props.save_file, "")

    def test_a_handler_may_destroy_the_window(self):
        for signal in ("open-start", "open-complete"):
            folder = self.viewer.props.temp_path
            self.viewer.connect(signal, lambda *a: self.window.destroy())
            self.assertTrue(self.viewer.open_xl(SAMPLE, None))
            # The control cleans up once the open has returned: its folder goes.
            self.assertTrue(wait_for(lambda: not os.path.exists(folder)), signal)
            self.assertIn(signal, self.names())
            self.setUp()

    def test_a_host_that_takes_the_child_away(self):
        # Through the GtkBin API a host can destroy or remove the control's own widget: every
        # member then answers as for a destroyed control, and the window still closes cleanly.
        ways = [("destroy", lambda v, child: child.destroy()),
                ("remove", lambda v, child: v.remove(child))]
        for name, take_away in ways:
            self.open_sample(open_synchronously=True)
            child = self.viewer.get_child()
            take_away(self.viewer, child)
            v = self.viewer
            with self.subTest(name):
                self.assertEqual((v.props.sheet_total, v.props.sheet_names, v.props.hwnd,
                                  v.props.html_file, v.props.excel_file, v.props.temp_path),
                                 (0, [], 0, "", "", ""))
                self.assertFalse(v.open_xl(SAMPLE, None))
                self.assertFalse(v.open_xl_range(SAMPLE, None))
                self.assertFalse(v.begin_download("http://127.0.0.1:1/x.xlsx", "/tmp/x")[0])
                self.assertFalse(v.save_html(work, "copy.htm"))
                self.assertFalse(v.save_copy(os.path.join(work, "copy.xlsx"), False))
                self.assertIsNone(v.get_web_view())
                v.props.path = "/elsewhere.xlsx"
                v.props.regenerate_html = True
                for method in (v.refresh, v.find, v.find_in_document, v.setup_document,
                               v.save_document, v.show_document_properties):
                    method()
                v.go_home(False)
                keys = GLib.KeyFile()
                v.save_properties(keys, "Viewer")
                v.load_properties(keys, "Viewer")
            self.window.destroy()
            child = None
            self.setUp()

    def test_range_and_regenerate(self):
        self.viewer.props.regenerate_html = True
        self.assertIn("regenerate-html", self.notified)
        self.assertTrue(self.viewer.open_xl_range(
            SAMPLE, Gridweller.OpenOptions(range="A1:B2", open_synchronously=True)))
        self.assertEqual(self.names(), ["open-start", "open-complete"])
        rows = javascript(self.viewer.get_web_view(), "document.querySelectorAll('tr').length")
        self.assertLessEqual(int(rows), 3)  # a heading row and two rows at most
        keys = GLib.KeyFile()
        self.viewer.save_properties(keys, "Viewer")
        other = Gridweller.Gridwell()
        other.load_properties(keys, "Viewer")
        self.assertTrue(other.props.regenerate_html)
        other.destroy()


    def test_sheet_look(self):
        # The table drawn as the sheet, for one open by the option, for every open by the
        # property; the default page keeps its separate, framed cells.
        def collapse():
            return javascript(self.viewer.get_web_view(),
                              "getComputedStyle(document.querySelector('table')).borderCollapse")

        self.viewer.props.regenerate_html = True
        self.assertFalse(self.viewer.props.sheet_look)
        self.open_sample(open_synchronously=True)
        self.assertEqual(collapse(), "separate")
        self.open_sample(open_synchronously=True, sheet_look=True)
        self.assertEqual(collapse(), "collapse")
        self.viewer.props.sheet_look = True
        self.assertIn("sheet-look", self.notified)
        self.open_sample(open_synchronously=True, no_style=True)
        self.assertEqual(collapse(), "collapse")

    def test_compact_styles(self):
        # The widget's property for every open, the option for one: the same cells, with one
        # style rule per look instead of one per cell.
        def page():
            return [int(javascript(self.viewer.get_web_view(), script)) for script in (
                "document.getElementById('XL_Styles').sheet.cssRules.length",
                "document.querySelectorAll('td[class]').length")]

        self.viewer.props.regenerate_html = True
        self.assertFalse(self.viewer.props.compact_styles)
        self.open_sample(open_synchronously=True)
        rules, classed = page()
        self.assertEqual(rules, classed + 1)  # and the rule for the whole table
        self.open_sample(open_synchronously=True, compact_styles=True)
        compact = page()
        self.assertEqual(compact[1], classed)
        self.assertLess(compact[0], rules / 2)
        self.viewer.props.compact_styles = True
        self.assertIn("compact-styles", self.notified)
        self.open_sample(open_synchronously=True)
        self.assertEqual(page(), compact)

    def test_fast_pages(self):
        # Above the property's number of cells (or the option's, for one open) the page comes
        # in blocks of rows the browser lays out when they come into view; below it, as asked.
        def blocks():
            return int(javascript(self.viewer.get_web_view(),
                                  "document.querySelectorAll('div.gw-rows').length"))

        self.viewer.props.regenerate_html = True
        self.assertEqual(self.viewer.props.fast_pages_from, 0)
        for prop, option, fast in ((0, 0, False), (1, 0, True), (10**6, 0, False), (10**6, 1, True)):
            self.viewer.props.fast_pages_from = prop
            self.open_sample(open_synchronously=True, fast_pages_from=option)
            self.assertEqual(blocks() > 0, fast, (prop, option))
        self.assertIn("fast-pages-from", self.notified)


class DownloadTest(ViewerCase):
    def url(self, path):
        return f"http://127.0.0.1:{http_port}{path}"

    def test_download_reports_progress_and_completion(self):
        size = os.path.getsize(SAMPLE)
        target = os.path.join(work, "download.xlsx")
        moved = os.path.join(work, "moved.xlsx")

        def on_started(viewer, save_file):
            viewer.props.save_file = moved  # the live argument

        self.viewer.connect("download-started", on_started)
        ok, saved_to = self.viewer.begin_download(self.url("/slow/sample.xlsx"), target)
        self.assertEqual((ok, saved_to), (True, moved))
        self.assertTrue(wait_for(lambda: "download-complete" in self.names()))
        self.assertEqual(self.names(), ["download-started", "download-complete"])
        self.assertEqual(self.events[0], ("download-started", target))
        progress = [e for e in self.events if e[0] == "download-progress"]
        self.assertGreaterEqual(len(progress), 2)
        self.assertTrue(all(e[2] == size and e[3] == moved for e in progress))
        self.assertEqual([e[1] for e in progress], sorted(e[1] for e in progress))
        self.assertEqual(self.events[-1], ("download-complete", size, moved))
        with open(moved, "rb") as a, open(SAMPLE, "rb") as b:
            self.assertEqual(a.read(), b.read())
        self.assertFalse(os.path.exists(target))

    def test_open_from_an_address_and_a_failed_download(self):
        self.assertTrue(self.viewer.open_xl(self.url("/sized/sample.xlsx"),
                                            Gridweller.OpenOptions(open_synchronously=True)))
        local = self.viewer.props.temp_workbook
        self.assertTrue(local.startswith(self.viewer.props.temp_path))
        self.assertEqual(self.names(), ["download-started", "download-complete", "open-start",
                                        "open-complete"])
        self.assertEqual(self.events[-1][1], local)
        self.assertEqual(self.viewer.props.sheet_total, 5)

        self.events.clear()
        self.assertFalse(self.viewer.open_xl(self.url("/missing.xlsx"), None))
        self.assertEqual(self.names(), ["download-started", "download-error",
                                        "download-complete"])
        self.assertEqual(self.events[-1][1], 0)
        self.assertIn("404", self.viewer.props.download_error_text)
        self.assertIn("/missing.xlsx failed: ", self.viewer.props.open_error_text)
        self.assertIn("404", self.viewer.props.open_error_text)

    def test_viewer_asks_for_a_password_and_names_the_download(self):
        import viewer as demo  # demo/viewer.py

        window = demo.ViewerWindow()
        window.show_all()
        asked = []

        def ask(name, again):
            asked.append((name, again))
            return "quorin" if again else "guess"

        window.ask_password = ask

        def status():
            return window.status.get_message_area().get_children()[0].get_text()

        try:
            protected = os.path.join(SOURCE, "samples", "protected.xls")
            self.assertTrue(window.open_workbook(protected))
            self.assertEqual(asked, [("protected.xls", False), ("protected.xls", True)])
            self.assertEqual(window.get_title(), f"{demo.TITLE} - {protected}")
            self.assertEqual(len(window.sheets.get_model()), 5)
            # A pick reopens it with the password that opened it.
            window.sheets.set_active(1)
            self.assertEqual(len(asked), 2)
            self.assertEqual(window.viewer.props.open_error_code, 0)

            # The server's reason stays on show; the title keeps the workbook shown.
            self.assertFalse(window.open_workbook(self.url("/missing.xlsx")))
            self.assertIn("404", window.message.get_text())
            self.assertEqual(window.get_title(), f"{demo.TITLE} - {protected}")

            # A downloaded workbook goes by the address's own file name.
            self.assertTrue(window.open_workbook(self.url("/sized/sample.xlsx")))
            self.assertTrue(wait_for(lambda: status() == "sample.xlsx: 5 sheets"), status())
        finally:
            window.destroy()


class KeyboardAndAccessibilityTest(ViewerCase):
    def test_tab_moves_focus_into_the_page_and_out(self):
        self.open_sample(sheet="Sales 2025", open_synchronously=True)
        view = self.viewer.get_web_view()
        self.before.grab_focus()
        for target in (view, self.after):
            # The page has nothing to focus, so Tab takes the focus in and then out. The page
            # may still be taking the focus when the second Tab arrives and keep it: a few
            # presses are allowed.
            for _ in range(3):
                send_key(self.window, Gdk.KEY_Tab)
                if wait_for(lambda: self.window.get_focus() is target, 3):
                    break
            self.assertIs(self.window.get_focus(), target)

    def test_ctrl_f_finds_escape_closes_ctrl_p_prints(self):
        self.open_sample(open_synchronously=True)
        view = self.viewer.get_web_view()
        view.grab_focus()

        def find_dialog():
            return next((w for w in Gtk.Window.list_toplevels()
                         if w.get_title() == "Find" and w.get_visible()), None)

        send_key(self.window, Gdk.KEY_f, Gdk.ModifierType.CONTROL_MASK)
        self.assertTrue(wait_for(lambda: find_dialog() is not None, 10))
        dialog = find_dialog()
        send_key(dialog, Gdk.KEY_Escape)
        self.assertTrue(wait_for(lambda: find_dialog() is None, 5))

        # Ctrl+P opens the print dialog; it is cancelled as soon as it shows.
        seen = []

        def cancel_print_dialog():
            for w in Gtk.Window.list_toplevels():
                if w.__gtype__.name == "GtkPrintUnixDialog" and w.get_visible():
                    seen.append(w)
                    w.response(Gtk.ResponseType.CANCEL)
                    return False
            return True

        GLib.timeout_add(50, cancel_print_dialog)
        view.grab_focus()
        send_key(self.window, Gdk.KEY_p, Gdk.ModifierType.CONTROL_MASK)
        self.assertTrue(wait_for(lambda: bool(seen), 10))

    def test_accessible_names(self):
        self.assertEqual(self.viewer.get_accessible().get_name(), "Workbook viewer")
        import viewer as demo  # demo/viewer.py

        window = demo.ViewerWindow()
        window.show_all()
        try:
            names = [b.get_accessible().get_name() for b in window.pictures]
            self.assertEqual(names, [p[1] for p in demo.PICTURES])
            self.assertTrue(all(names))
            # A failed open shows a message in the window, not only on standard error.
            self.assertFalse(window.info.get_visible())
            self.assertFalse(window.open_workbook(os.path.join(work, "absent.xlsx")))
            self.assertTrue(window.info.get_visible())
            self.assertIn("There is no workbook at", window.message.get_text())
            # A good open fills the sheet box from sheet-names.
            self.assertTrue(window.open_workbook(SAMPLE))
            model = window.sheets.get_model()
            self.assertEqual([row[0] for row in model], SAMPLE_SHEETS)
            # The check box writes the shown sheet again with compact styles.
            window.compact.set_active(True)
            self.assertTrue(window.viewer.props.compact_styles)
            with open(window.viewer.props.html_file, encoding="utf-8", errors="replace") as f:
                text = f.read()
            self.assertLess(text.count("\n.xl"), text.count(" CLASS=xl"))
            # And the other one draws it as the sheet.
            window.sheet_look.set_active(True)
            self.assertTrue(window.viewer.props.sheet_look)
            with open(window.viewer.props.html_file, encoding="utf-8", errors="replace") as f:
                self.assertIn("border-collapse:collapse", f.read())
        finally:
            window.destroy()


class IntrospectionDataTest(unittest.TestCase):
    def test_every_public_member_is_documented(self):
        ns = {"c": "http://www.gtk.org/introspection/core/1.0",
              "glib": "http://www.gtk.org/introspection/glib/1.0"}
        root = ET.parse(os.environ["GRIDWELLER_GIR"]).getroot()
        members = 0
        for kind in ("class", "record", "c:property", "glib:signal", "c:method", "c:constructor",
                     "c:function", "c:parameter", "c:return-value"):
            tag = kind if ":" in kind else "c:" + kind
            for node in root.iter("{%s}%s" % (ns[tag.split(":")[0]], tag.split(":")[1])):
                if node.get("name") == "self" or (kind == "c:return-value" and
                                                  node.find("c:type", ns) is not None and
                                                  node.find("c:type", ns).get("name") == "none"):
                    continue
                doc = node.find("c:doc", ns)
                self.assertTrue(doc is not None and doc.text.strip(),
                                f"{kind} {node.get('name')} has no documentation")
                members += 1
        self.assertGreater(members, 100)
        # Property documentation starts with the control's help text, the blurb of the pspec.
        # (The open options have properties of the same names: only the widget's count here.)
        widget = next(c for c in root.iter("{%s}class" % ns["c"]) if c.get("name") == "Gridwell")
        gir = {p.get("name"): p.find("c:doc", ns).text
               for p in widget.iter("{%s}property" % ns["c"])}
        for prop in Gridweller.Gridwell.list_properties():
            if prop.owner_type.name == "GridwellerGridwell":
                self.assertTrue(gir[prop.name].startswith(prop.blurb), prop.name)


if __name__ == "__main__":
    unittest.main(verbosity=2)
