"""Times whole processes: each command runs several times, and the median wall time and the
largest peak resident set are kept. Prints a table with the ratio of each tool to the first.

    measure.py RUNS TITLE -- NAME COMMAND... -- NAME COMMAND...
"""
import os
import statistics
import subprocess
import sys
import time


def run(command):
    start = time.perf_counter()
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen(command, stdout=sink, shell=True)
        _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"failed: {command}")
    return seconds, usage.ru_maxrss / 1024  # KiB to MiB


def main():
    runs, title = int(sys.argv[1]), sys.argv[2]
    tools, current = [], None
    for word in sys.argv[3:]:
        if word == "--":
            current = []
            tools.append(current)
        else:
            current.append(word)
    rows = []
    for name, *words in tools:
        command = " ".join(words)
        run(command)  # one warm-up run: the archive in the page cache for everyone
        results = [run(command) for _ in range(runs)]
        rows.append((name, statistics.median(r[0] for r in results), max(r[1] for r in results)))
    base = rows[0][1]
    print(f"\n{title}\n")
    print("| tool | seconds (median) | peak memory MiB | time / engine |")
    print("|---|---:|---:|---:|")
    for name, seconds, memory in rows:
        print(f"| {name} | {seconds:.3f} | {memory:.0f} | {seconds / base:.2f} |")


main()
