"""Reads an .xlsx workbook with openpyxl and prints what it found as JSON.

xlsx_dump.py FILE    sheets with every cell as [value, number format]; dates and
                     times as ISO 8601 texts
"""
import datetime
import json
import sys

import openpyxl


def cell_value(cell):
    if isinstance(cell.value, datetime.datetime):
        return cell.value.isoformat()
    return cell.value


def main():
    book = openpyxl.load_workbook(sys.argv[1])
    sheets = []
    for sheet in book.worksheets:
        rows = [[[cell_value(cell), cell.number_format] for cell in row]
                for row in sheet.iter_rows()]
        sheets.append({"name": sheet.title, "rows": rows})
    json.dump({"sheets": sheets}, sys.stdout, ensure_ascii=False)


main()
