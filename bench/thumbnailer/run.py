#!/usr/bin/env python3
"""Times gridwell-thumbnailer on every workbook of the real-workbook corpus at 256 pixels.

usage: bench/thumbnailer/run.py [BUILD] [EXTRA_WORKBOOK...]

Each workbook is drawn three times, each run a process of its own as a file manager starts
it; a workbook's time is the median of its three wall times. Prints the median and the
slowest workbook, the largest peak memory (resident set) of any run, and how many workbooks
gave a picture and how many exit code 3 (unreadable or encrypted). Extra workbooks (such as
the 1,000,000-cell benchmark workbook) are timed the same way and listed on their own.
"""
import os
import statistics
import sys
import tempfile
import time

RUNS = 3
FORMATS = {"xls", "xlsx", "xlsm", "xltx"}


def run_once(program, book, out):
    start = time.monotonic()
    pid = os.posix_spawn(program, [program, "-s", "256", book, out], os.environ)
    _, status, usage = os.wait4(pid, 0)
    seconds = time.monotonic() - start
    return seconds, os.waitstatus_to_exitcode(status), usage.ru_maxrss


def measure(program, book, out):
    times, peak, code = [], 0, None
    for _ in range(RUNS):
        seconds, code, kilobytes = run_once(program, book, out)
        times.append(seconds)
        peak = max(peak, kilobytes)
        if os.path.exists(out):
            os.remove(out)
    return statistics.median(times), code, peak


def corpus_workbooks(corpus):
    with open(os.path.join(corpus, "MANIFEST.tsv"), encoding="utf-8") as manifest:
        next(manifest)
        for line in manifest:
            fields = line.rstrip("\n").split("\t")
            if len(fields) > 2 and fields[2] in FORMATS:
                yield os.path.join(corpus, fields[0])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "build")
    program = os.path.join(build, "thumbnailer", "gridwell-thumbnailer")
    corpus = os.environ.get("GRIDWELL_CORPUS_DIR") or os.path.join(here, "..", "..", "..", "shared", "corpus")
    out = os.path.join(tempfile.mkdtemp(prefix="gridwell-thumb-bench-"), "t.png")
    results = []
    for book in corpus_workbooks(corpus):
        results.append((book,) + measure(program, book, out))
    if not results:
        sys.exit(f"no workbooks found in {corpus}")
    times = [r[1] for r in results]
    slowest = max(results, key=lambda r: r[1])
    codes = [r[2] for r in results]
    print(f"workbooks: {len(results)}; pictures: {codes.count(0)}; exit 3: {codes.count(3)}; "
          f"other: {len(codes) - codes.count(0) - codes.count(3)}")
    print(f"median: {statistics.median(times) * 1000:.1f} ms; "
          f"slowest: {slowest[1] * 1000:.1f} ms ({os.path.relpath(slowest[0], corpus)})")
    print(f"largest peak memory: {max(r[3] for r in results) / 1024:.1f} MB")
    for book in sys.argv[2:]:
        seconds, code, peak = measure(program, book, out)
        print(f"{book}: {seconds * 1000:.1f} ms, exit {code}, peak {peak / 1024:.1f} MB")
    os.rmdir(os.path.dirname(out))


if __name__ == "__main__":
    main()
