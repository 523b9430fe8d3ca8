#!/usr/bin/env python3
"""What an independent reader (openpyxl) sees in a .xlsx, in the lines of xls_facts.py:
   sheet NAME ROWS COLS
   cell SHEET ROW COL TYPE HALIGN VALIGN WRAP | VALUE   (alignments in the .xls codes)
   width SHEET COL WIDTH                                 (in 1/256 of a character)
Exits 3 when openpyxl is not installed."""
import sys

try:
    import openpyxl
except ImportError:
    sys.exit(3)

HOR = {None: 0, "general": 0, "left": 1, "center": 2, "right": 3}
VER = {None: 2, "top": 0, "center": 1, "bottom": 2}
book = openpyxl.load_workbook(sys.argv[1])
for s, sheet in enumerate(book.worksheets):
    print("sheet %s %d %d" % (sheet.title, sheet.max_row, sheet.max_column))
    rows = sheet.max_row
    shown = range(rows) if rows <= 50 else list(range(5)) + [rows - 1]
    for r in shown:
        for c in range(sheet.max_column):
            cell = sheet.cell(row=r + 1, column=c + 1)
            kind = "blank" if cell.value is None else {"s": "text", "n": "number", "b": "bool",
                                                       "d": "date"}.get(cell.data_type, "?")
            a = cell.alignment
            print("cell %d %d %d %s %d %d %d | %s" % (s, r, c, kind, HOR.get(a.horizontal, 9),
                                                     VER.get(a.vertical, 9), 1 if a.wrap_text else 0,
                                                     "" if cell.value is None else cell.value))
    for letter, dim in sorted(sheet.column_dimensions.items()):
        if dim.width:
            # A stored width carries the cell padding of 5 pixels of a 7-pixel digit.
            chars = (round(dim.width * 7) - 5) / 7
            for c in range(dim.min, dim.max + 1):
                print("width %d %d %d" % (s, c - 1, round(chars * 256)))
