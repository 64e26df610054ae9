"""Times whole processes: each command runs several times, the tools taking turns so that a
busy moment of the machine falls on all of them alike, and the median wall time and the
largest peak resident set are kept. Prints a table with the ratio of each tool to the first,
and of the first to each tool.

    measure.py RUNS TITLE -- NAME COMMAND... -- NAME COMMAND...
"""
import os
import shlex
import statistics
import subprocess
import sys
import tempfile
import time


def run(command):
    # GNU time reports the peak of the program alone; a child forked from this script would
    # carry the script's own memory into its peak.
    with tempfile.NamedTemporaryFile("r") as peak, open(os.devnull, "wb") as sink:
        start = time.perf_counter()
        status = subprocess.call(["/usr/bin/time", "-f", "%M %S", "-o", peak.name]
                                 + shlex.split(command), stdout=sink)
        seconds = time.perf_counter() - start
        if status != 0:
            raise SystemExit(f"failed: {command}")
        kib, system = peak.read().split()[-2:]
        return seconds, int(kib) / 1024, float(system)  # KiB to MiB


def main():
    runs, title = int(sys.argv[1]), sys.argv[2]
    tools, current = [], None
    for word in sys.argv[3:]:
        if word == "--":
            current = []
            tools.append(current)
        else:
            current.append(word)
    commands = [shlex.join(words) for _, *words in tools]
    for command in commands:
        run(command)  # one warm-up run: the archive in the page cache for everyone
    results = [[] for _ in commands]
    for _ in range(runs):
        for command, taken in zip(commands, results):
            taken.append(run(command))
    rows = [(tool[0], statistics.median(r[0] for r in taken), min(r[0] for r in taken),
             max(r[0] for r in taken), max(r[1] for r in taken),
             min(r[2] for r in taken), max(r[2] for r in taken))
            for tool, taken in zip(tools, results)]
    base = rows[0][1]
    print(f"\n{title}\n")
    print("| tool | seconds (median) | fastest – slowest | system seconds | peak memory MiB "
          "| time / engine | engine / time |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for name, seconds, fastest, slowest, memory, least, most in rows:
        print(f"| {name} | {seconds:.3f} | {fastest:.3f} – {slowest:.3f} | {least:.2f} – "
              f"{most:.2f} | {memory:.0f} | {seconds / base:.2f} | {base / seconds:.2f} |")


main()
