"""Reads a CSV file with the standard csv module and writes it back out:
what a user would script instead of a converter."""
import csv
import sys


def main(source, target):
    with open(source, newline="", encoding="latin-1") as inp, \
         open(target, "w", newline="", encoding="latin-1") as out:
        writer = csv.writer(out, lineterminator="\n")
        for row in csv.reader(inp):
            writer.writerow(row)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
