#!/usr/bin/env python3
"""Prints the line and branch coverage of each folder from one gcovr JSON summary."""
import json
import sys
from collections import defaultdict

summary_path, folders = sys.argv[1], sys.argv[2:]
totals = defaultdict(lambda: defaultdict(int))
with open(summary_path, encoding="utf-8") as summary:
    for entry in json.load(summary)["files"]:
        folder = entry["filename"].split("/", 1)[0]
        for key in ("line_covered", "line_total", "branch_covered", "branch_total"):
            totals[folder][key] += entry[key]


def share(covered, total):
    return f"{100.0 * covered / total:.1f}% ({covered} out of {total})" if total else "none"


for folder in folders:
    counts = totals[folder]
    print(f"Coverage of {folder}/:")
    print(f"lines: {share(counts['line_covered'], counts['line_total'])}")
    print(f"branches: {share(counts['branch_covered'], counts['branch_total'])}")
