#!/usr/bin/env python3
"""Prints what an independent reader (xlrd) sees in a workbook, one fact per line:
   sheet NAME ROWS COLS
   cell SHEET ROW COL TYPE HALIGN VALIGN WRAP | VALUE     (every row of a short sheet, else
                                                      the first five and the last)
   width SHEET COL WIDTH
Exits 3 when xlrd is not installed."""
import sys

try:
    import xlrd
except ImportError:
    sys.exit(3)

book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
kinds = {xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_EMPTY: "empty",
         xlrd.XL_CELL_BLANK: "blank", xlrd.XL_CELL_BOOLEAN: "bool", xlrd.XL_CELL_DATE: "date"}
for s, sheet in enumerate(book.sheets()):
    print("sheet %s %d %d" % (sheet.name, sheet.nrows, sheet.ncols))
    shown = range(sheet.nrows) if sheet.nrows <= 50 else list(range(5)) + [sheet.nrows - 1]
    for r in shown:
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            xf = book.xf_list[cell.xf_index]
            a = xf.alignment
            print("cell %d %d %d %s %d %d %d | %s" % (s, r, c, kinds.get(cell.ctype, "?"), a.hor_align,
                                                     a.vert_align, a.text_wrapped, cell.value))
    for c, info in sorted(sheet.colinfo_map.items()):
        print("width %d %d %d" % (s, c, info.width))
