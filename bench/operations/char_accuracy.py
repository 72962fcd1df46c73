#!/usr/bin/python3
"""Character accuracy of recognised page texts against the known text of each page:
1 - edit distance / length of the known text, white space runs counted as one space.

usage: char_accuracy.py TRUTH_DIR PAGES TEXT_FILE_PATTERN
  TEXT_FILE_PATTERN holds {n} for the 1-based page number. Prints the mean and each page."""
import re
import sys


def squash(text):
    return re.sub(r"\s+", " ", text).strip()


def distance(a, b):
    if len(a) < len(b):
        a, b = b, a
    row = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        prev, row[0] = row[0], i
        for j, cb in enumerate(b, 1):
            cur = row[j]
            row[j] = min(cur + 1, row[j - 1] + 1, prev + (ca != cb))
            prev = cur
    return row[-1]


def main(argv):
    truth_dir, pages, pattern = argv[0], int(argv[1]), argv[2]
    scores = []
    for n in range(1, pages + 1):
        want = squash(open("%s/truth-%d.txt" % (truth_dir, n), encoding="utf-8").read())
        try:
            got = squash(open(pattern.format(n=n), encoding="utf-8", errors="replace").read())
        except OSError:
            got = ""
        scores.append(1 - distance(want, got) / max(len(want), 1))
    print("%.4f %s" % (sum(scores) / len(scores), " ".join("%.4f" % s for s in scores)))


if __name__ == "__main__":
    main(sys.argv[1:])
