#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/ from the bundled examples.

The targets read their options with FuzzedDataProvider, which takes numbers
and flags from the end of the input and strings from the front (a string
ends at a backslash followed by another byte; a doubled backslash is one
backslash). Each seed is laid out accordingly. Run from the repository root;
the output is deterministic, so rerunning changes nothing.
"""
import os
import pathlib

root = pathlib.Path(__file__).resolve().parent.parent
corpus = root / "fuzz" / "corpus"
sample_pdb = (root / "examples" / "sample.pdb").read_bytes()
sample_csv = (root / "examples" / "sample.csv").read_bytes()


def string(data: bytes) -> bytes:
    """A FuzzedDataProvider random-length string and its terminator."""
    return data.replace(b"\\", b"\\\\") + b"\\ "


def flags(*values: int) -> bytes:
    """Option bytes in the order the target consumes them (last byte first)."""
    return bytes(reversed(values))


def write(target: str, name: str, data: bytes) -> None:
    folder = corpus / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


# Export: dateFormat, timeFormat (value + 1), placeQuotes, fieldNames,
# extraDiag, popups, separator (0 comma, 1 semicolon, 2 TAB), encoding
# (0 bytes, 1 UTF-8, 2 UTF-8 with BOM), then the password string and the
# database.
for i, (date, time, quotes, names, popups, sep, enc, password) in enumerate([
    (0, 0, 0, 0, 0, 0, 0, b""), (6, 4, 1, 1, 1, 1, 1, b""), (3, 1, 0, 1, 1, 2, 2, b"secret")]):
    write("export", f"sample{i}",
          string(password) + sample_pdb +
          flags(date + 1, time + 1, quotes, names, 0, popups, sep, enc))
# Names holding terminal controls (ESC, BEL, CR), which INFO must escape.
named = bytearray(sample_pdb)
named[0:10] = b"Or\x1b[2J\x07\r\0\0"
write("export", "control_names", string(b"") + bytes(named) + flags(1, 1, 0, 0, 0, 0, 0, 0))
# A short database without records and a bare header.
write("export", "header_only", string(b"") + sample_pdb[:78] + flags(1, 1, 0, 0, 0, 0, 0, 0))

# Import: dateFormat, timeFormat, fieldNames, extraDiag, separator,
# encoding, name, definitions (0 inferred, 1 existing database, 2 schema),
# existing present, existing bytes or schema text, then the CSV.
write("import", "infer", string(b"Sample") + sample_csv + flags(1, 1, 1, 0, 0, 0, 0))
write("import", "existing",
      string(b"Sample") + string(sample_pdb) + sample_csv + flags(1, 1, 1, 0, 0, 0, 1, 1))
write("import", "existing_missing", string(b"S") + b"a,b\r\n" + flags(1, 1, 0, 0, 0, 0, 1, 0))
write("import", "quoted",
      string(b"Q") + b'"a ""b""","c\r\n\r\nd"\r\n,,\r\n"x",\n' + flags(1, 1, 0, 1, 0, 0, 0))
write("import", "semicolon_utf8",
      string(b"U") + "Name;Caf\u00e9\r\n\u20ac 5;\"a;b\"\r\n".encode() +
      flags(1, 1, 1, 0, 1, 1, 0))
schema = (b"Due date,date,\r\nCustomer,text,40\r\nColour,popup,,Red,Green,\"Black, matt\"\r\n"
          b"Qty,integer,\r\nPaid,check box,\r\nDelivery time,time,\r\nNotes,long text,\r\n")
write("import", "schema",
      string(b"Sch") + string(schema) + sample_csv + flags(1, 1, 1, 0, 0, 0, 2))

# A database given where the CSV belongs, and a wide first line over many
# short ones (fields from a schema, since inference stops at 30 columns).
write("import", "database_as_csv", string(b"D") + sample_pdb + flags(1, 1, 0, 0, 0, 0, 0))
write("import", "wide_first_line",
      string(b"W") + string(b"a,text,\r\n") + b"," * 1500 + b"\n" + b"x\n" * 1500 +
      flags(1, 1, 0, 0, 0, 0, 2))

# CSV reader: separator byte, then the text.
write("csv_reader", "sample", b"," + sample_csv)
write("csv_reader", "quotes", b',"a""b",c,"d\r\ne"x,\x00"\x00"\r\r\n\n""')
write("csv_reader", "semicolon", b';a;"b;c";;\n1;2')

# Dates and times: the text, then minute, hour, day (2 bytes), seconds
# (4 bytes), the stored value (4 bytes), timeFormat, dateFormat.
tail = bytes([30, 13, 0x10, 0x40, 0, 0, 0x0e, 0x10, 0x2c, 0x75, 0xb0, 0x00, 0x00, 3, 3])
for name, text in [("mdy", b"12/31/99"), ("ymd", b"2024-02-29"), ("pm", b"03:45 pm"),
                   ("none", b"NO DATE No Time"), ("comma", b"23,59")]:
    write("date_time", name, text + tail)

write("schema", "sample",
      b"# name,type,maxLength,choices\r\n"
      b"Due date,date,\r\nCustomer,text,40\r\n\"Colour\",popup,,Red,Green,\"Black, matt\"\r\n"
      b"Qty,integer,\r\nPaid,check box,\r\nDelivery time,time,\r\nNotes,long text,2000\r\n"
      b"Code,short text,9\r\nId,unique integer,\r\n")
write("schema", "bom", b"\xef\xbb\xbf\"#Hash\",TEXT , 7 \n\n  \n\"a\"\"b\",Long Text,")

write("charset", "utf8", "Caf\u00e9 \u20ac \u2019quoted\u2019 \u0152uvre \u2122".encode())
write("charset", "bytes", bytes(range(256)))
write("charset", "bad", b"\xef\xbb\xbf\xc0\xaf\xed\xa0\x80\xf4\x90\x80\x80\xe2\x82")
