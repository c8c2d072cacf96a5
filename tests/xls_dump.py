"""Reads a workbook or a compound document with xlrd and prints what it found as JSON.

xls_dump.py workbook FILE       sheets with every cell as [type, value, number format]
xls_dump.py stream FILE NAME    length and SHA-256 of the named stream

Everything xlrd complains about while reading is returned under "log".
"""
import hashlib
import io
import json
import sys

import xlrd
import xlrd.compdoc


def read_workbook(path, log):
    book = xlrd.open_workbook(path, logfile=log, formatting_info=True)
    sheets = []
    for sheet in book.sheets():
        rows = []
        for r in range(sheet.nrows):
            row = []
            for c in range(sheet.ncols):
                cell = sheet.cell(r, c)
                fmt = book.format_map[book.xf_list[cell.xf_index].format_key].format_str
                row.append([cell.ctype, cell.value, fmt])
            rows.append(row)
        sheets.append({"name": sheet.name, "rows": rows})
    return {"codepage": book.codepage, "biff": book.biff_version, "sheets": sheets}


def read_stream(path, name, log):
    with open(path, "rb") as f:
        mem = f.read()
    stream = xlrd.compdoc.CompDoc(mem, logfile=log).get_named_stream(name)
    return {"length": len(stream), "sha256": hashlib.sha256(stream).hexdigest()}


def main():
    log = io.StringIO()
    if sys.argv[1] == "workbook":
        result = read_workbook(sys.argv[2], log)
    else:
        result = read_stream(sys.argv[2], sys.argv[3], log)
    result["log"] = log.getvalue()
    json.dump(result, sys.stdout, ensure_ascii=False)


main()
