"""Reads a CSV file with a first line of field names with the standard csv
module and writes one JSON object per line: what a user would script instead
of COMMAND:TOJSON (every value stays a string)."""
import csv
import json
import sys


def main(source, target):
    with open(source, newline="", encoding="cp1252", errors="replace") as inp, \
         open(target, "w", encoding="utf-8") as out:
        reader = csv.reader(inp)
        names = next(reader)
        for row in reader:
            out.write(json.dumps(dict(zip(names, row)), ensure_ascii=False))
            out.write("\n")


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
