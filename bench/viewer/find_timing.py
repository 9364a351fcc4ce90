#!/usr/bin/python3
"""Times a search of a fast page in a WebKitGTK view, as the viewer control's find dialog runs it.

Loads PAGE, waits until WebKit reports the load finished, then times, in milliseconds:
  the page's own find (gridwellFind: counts the matches in every block and shows the first),
  a step to the next match (gridwellFindNext), and, with --native, WebKit's own count of the
  matches once every block is rows (what a search costs without the page's find), -1 when it
  does not answer within the timeout.
Prints "<matches> <find ms> <next ms> <native matches> <native ms>". Runs on the system Python
(python3-gi, gir1.2-webkit2-4.1) under an X server.
"""
import argparse
import os
import time

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("WebKit2", "4.1")
from gi.repository import GLib, Gtk, WebKit2  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("page")
    ap.add_argument("term")
    ap.add_argument("--native", action="store_true")
    ap.add_argument("--timeout", type=float, default=60)
    args = ap.parse_args()
    win = Gtk.Window(default_width=1280, default_height=900)
    view = WebKit2.WebView()
    win.add(view)
    win.show_all()
    loop = GLib.MainLoop()
    out = {"n": -1, "find": -1, "next": -1, "native_n": -1, "native": -1}

    def evaluate(script, then):
        start = time.monotonic()

        def done(v, res):
            value = v.evaluate_javascript_finish(res)
            then(value.to_double() if value.is_number() else -1, (time.monotonic() - start) * 1000)

        view.evaluate_javascript(script, -1, None, None, None, done)

    def native():
        if not args.native:
            return loop.quit()
        finder = view.get_find_controller()
        start = time.monotonic()

        def counted(_f, n):
            out["native_n"], out["native"] = n, (time.monotonic() - start) * 1000
            loop.quit()

        finder.connect("counted-matches", counted)
        opts = WebKit2.FindOptions.CASE_INSENSITIVE | WebKit2.FindOptions.WRAP_AROUND
        evaluate("window.gridwellShowAll(); 0",
                 lambda _n, _ms: finder.count_matches(args.term, opts, GLib.MAXUINT))

    def stepped(_n, ms):
        out["next"] = ms
        native()

    def found(n, ms):
        out["n"], out["find"] = int(n), ms
        evaluate("window.gridwellFindNext(false)", stepped)

    def loaded(_v, event):
        if event == WebKit2.LoadEvent.FINISHED:
            # The user types a term after the page is on screen.
            GLib.timeout_add(300, lambda: evaluate("window.gridwellFind(%r)" % args.term, found) and False)

    view.connect("load-changed", loaded)
    view.load_uri("file://" + os.path.abspath(args.page))
    GLib.timeout_add(int(args.timeout * 1000), loop.quit)
    loop.run()
    print(f"{out['n']} {out['find']:.0f} {out['next']:.0f} {out['native_n']} {out['native']:.0f}", flush=True)
    os._exit(0)  # WebKit's processes need no orderly shutdown here


if __name__ == "__main__":
    main()
