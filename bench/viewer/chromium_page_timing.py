#!/usr/bin/env python3
"""Opens pages one after the other in one headless Chromium, each in a fresh browser context,
and prints for each, in milliseconds from the start of the navigation, in the form of
webkit_page_timing:
  <page> <first contentful paint> <load event> <DOM content loaded> <table cells> <load finished>
(the last: when the browser told its client that the load event fired).
The browser is driven over --remote-debugging-pipe (the DevTools protocol on file descriptors
3 and 4), so the pages are loaded unchanged. -1 stands for a mark that never came.
  chromium_page_timing.py [--timeout SECONDS] [--chromium PATH] PAGE...
"""
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

MARKS = """(function () {
  var f = performance.getEntriesByName('first-contentful-paint')[0];
  var n = performance.getEntriesByType('navigation')[0];
  return [f ? f.startTime : -1, n ? n.loadEventStart : -1,
          n ? n.domContentLoadedEventStart : -1,
          document.getElementsByTagName('td').length, performance.timeOrigin].join(' ');
})()"""


class Browser:
    def __init__(self, chromium):
        self.profile = tempfile.mkdtemp(prefix="gridwell-chromium-")
        to_child, self.out = os.pipe()
        self.inp, from_child = os.pipe()

        def wire():
            os.dup2(to_child, 3)
            os.dup2(from_child, 4)

        self.proc = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--no-first-run", "--remote-debugging-pipe", "--window-size=1280,900",
             "--user-data-dir=" + self.profile, "about:blank"],
            pass_fds=(3, 4), preexec_fn=wire, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_child)
        os.close(from_child)
        self.buf = b""
        self.next_id = 0
        self.events = []

    def close(self):
        try:
            self.send("Browser.close")
        except Exception:
            pass
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def read(self, deadline):
        while b"\0" not in self.buf:
            if time.monotonic() > deadline:
                raise TimeoutError
            ready, _, _ = select.select([self.inp], [], [], 0.5)
            if ready:
                chunk = os.read(self.inp, 1 << 20)
                if not chunk:
                    raise EOFError("chromium closed the pipe")
                self.buf += chunk
        msg, self.buf = self.buf.split(b"\0", 1)
        return json.loads(msg)

    def send(self, method, params=None, session=None, deadline=None):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            msg["sessionId"] = session
        os.write(self.out, json.dumps(msg).encode() + b"\0")
        deadline = deadline or time.monotonic() + 60
        while True:
            m = self.read(deadline)
            if m.get("id") == self.next_id:
                if "error" in m:
                    raise RuntimeError(f"{method}: {m['error']}")
                return m.get("result", {})
            self.events.append(m)

    def wait_event(self, method, session, deadline):
        while True:
            for i, m in enumerate(self.events):
                if m.get("method") == method and m.get("sessionId") == session:
                    del self.events[i]
                    return m
            self.events.append(self.read(deadline))

    def time_page(self, path, timeout):
        deadline = time.monotonic() + timeout
        context = self.send("Target.createBrowserContext")["browserContextId"]
        target = self.send("Target.createTarget",
                           {"url": "about:blank", "browserContextId": context})["targetId"]
        session = self.send("Target.attachToTarget",
                            {"targetId": target, "flatten": True})["sessionId"]
        try:
            self.send("Page.enable", session=session)
            self.events.clear()
            self.send("Page.navigate", {"url": "file://" + os.path.abspath(path)},
                      session=session, deadline=deadline)
            self.wait_event("Page.loadEventFired", session, deadline)
            finished = time.time() * 1000
            # A page with nothing to paint never gets its paint mark: look for it a while.
            paint_deadline = min(deadline, time.monotonic() + 30)
            while True:
                r = self.send("Runtime.evaluate", {"expression": MARKS, "returnByValue": True},
                              session=session, deadline=deadline)
                fcp, load, dcl, cells, origin = (float(x) for x in r["result"]["value"].split())
                if fcp >= 0 or time.monotonic() > paint_deadline:
                    return f"{fcp:.0f} {load:.0f} {dcl:.0f} {cells:.0f} {finished - origin:.0f}"
                time.sleep(0.05)
        finally:
            self.send("Target.closeTarget", {"targetId": target})
            self.send("Target.disposeBrowserContext", {"browserContextId": context})


def main(argv):
    timeout, chromium, pages = 300.0, shutil.which("chromium") or "/usr/bin/chromium", []
    i = 0
    while i < len(argv):
        if argv[i] == "--timeout" and i + 1 < len(argv):
            timeout = float(argv[i + 1])
            i += 1
        elif argv[i] == "--chromium" and i + 1 < len(argv):
            chromium = argv[i + 1]
            i += 1
        else:
            pages.append(argv[i])
        i += 1
    if not pages:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    browser = Browser(chromium)
    failed = 0
    try:
        # A first load warms the browser up (fonts, caches); its figures are not reported.
        try:
            browser.time_page(pages[0], timeout)
        except (TimeoutError, RuntimeError):
            pass
        for page in pages:
            try:
                print(page, browser.time_page(page, timeout), flush=True)
            except (TimeoutError, RuntimeError) as e:
                print(f"chromium_page_timing: {page}: {e or 'timed out'}", file=sys.stderr)
                print(page, "-1 -1 -1 -1 -1", flush=True)
                failed += 1
    finally:
        browser.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
