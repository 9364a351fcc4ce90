#!/usr/bin/python3
"""The peer: LibreOffice's own GTK document widget (LOKDocView, through GObject introspection)
opening one workbook in a window, as bench/viewer/webkit_page_timing shows a page. Prints, in
milliseconds from the start of the open:
  <first pixels> <done> <peak MB of this process and its children>
"done" is when the widget says the document is open; "first pixels" the first time it draws
in its window after that (the widget must go into its window only once the document is open,
or the host crashes). One workbook per process: LibreOffice starts once per process.
  lok_timing.py [--timeout SECONDS] BOOK
Runs on the system Python, with the Debian packages libreoffice-calc, gir1.2-lokdocview-0.1 and
python3-gi-cairo (the -nogui packages lack the widget's files, and every open then fails).
"""
import os
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("LOKDocView", "0.1")
from gi.repository import GLib, Gtk, LOKDocView  # noqa: E402

PROGRAM = "/usr/lib/libreoffice/program"


def tree_resident_kb(root):
    """Resident memory of `root` and its descendants, in kB."""
    children, rss = {}, {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/status") as f:
                fields = dict(line.split(":", 1) for line in f if ":" in line)
        except OSError:
            continue
        pid = int(name)
        children.setdefault(int(fields.get("PPid", "0").strip() or 0), []).append(pid)
        rss[pid] = int(fields.get("VmRSS", "0 kB").split()[0])
    total, todo = 0, [root]
    while todo:
        pid = todo.pop()
        total += rss.get(pid, 0)
        todo.extend(children.get(pid, []))
    return total


def main():
    args = sys.argv[1:]
    timeout = 300
    if len(args) == 3 and args[0] == "--timeout":
        timeout, args = int(args[1]), args[2:]
    if len(args) != 1:
        print("usage: lok_timing.py [--timeout SECONDS] BOOK", file=sys.stderr)
        return 2
    book = os.path.abspath(args[0])
    state = {"start": None, "done": -1.0, "paint": -1.0, "peak": 0, "ok": False}
    loop = GLib.MainLoop()

    def sample():
        state["peak"] = max(state["peak"], tree_resident_kb(os.getpid()))
        return True

    window = Gtk.Window(default_width=1280, default_height=900)
    window.show()
    view = LOKDocView.View.new(PROGRAM, None)

    def elapsed():
        return (time.monotonic() - state["start"]) * 1000

    def on_draw(_widget, _cr):
        if state["paint"] < 0 and state["done"] >= 0:
            state["paint"] = elapsed()
            state["ok"] = True
            GLib.timeout_add(200, lambda: loop.quit() or False)
        return False

    def on_open(source, result, _data):
        try:
            source.open_document_finish(result)
        except GLib.Error as e:
            print(f"lok_timing: {book}: {e.message}", file=sys.stderr)
            loop.quit()
            return
        state["done"] = elapsed()
        sample()
        window.add(view)
        view.connect_after("draw", on_draw)
        view.show()

    GLib.timeout_add(20, sample)
    GLib.timeout_add_seconds(timeout, lambda: loop.quit() or False)
    state["start"] = time.monotonic()
    view.open_document(book, "{}", None, on_open, None)
    loop.run()
    if not state["ok"]:
        return 1
    print(f"{state['paint']:.0f} {state['done']:.0f} {state['peak'] / 1024:.0f}", flush=True)
    # LibreOffice's own shutdown at exit reports an error and fails the process; the
    # figures are out, so leave without it.
    os._exit(0)


if __name__ == "__main__":
    sys.exit(main())
