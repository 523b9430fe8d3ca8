#pragma once
// Reading .xlsx workbooks for the import, with the same answers as the .xls reader
// (workbookreader.h): minizip opens the zip container, expat parses its parts as they inflate,
// so a sheet is never held whole in memory. Not QuaZip: it exports minizip's function
// names (zipOpen, unzOpen2 ...) with other arguments, and libxlsxwriter, which zips through
// minizip, then calls into QuaZip and crashes, or QuaZip into minizip.
#include <QString>

#include "core/workbook/workbookreader.h"

namespace exchange {

// A part that inflates beyond this is refused: no workbook of a village register comes near it,
// and a zip bomb is stopped long before it fills the memory or the disk.
constexpr qint64 kMaxPartBytes = qint64(1) << 30;
// Nor may a part inflate to more than this many times its compressed size, once past 64 MiB.
constexpr qint64 kMaxPartRatio = 200;

// The shared strings: at most this many, and at most this many bytes, each string counted with
// its bookkeeping (kSharedStringCost) so that millions of empty ones are refused too.
constexpr int kMaxSharedStrings = 1 << 21;
constexpr qint64 kMaxSharedStringBytes = qint64(64) << 20;
constexpr qint64 kSharedStringCost = 16;
// The rows read: their texts and the bookkeeping of every cell kept, empty or not, may take
// kMaxRowRatio times the file's size, at least kSmallRowBytes and never more than kMaxRowBytes.
// 100,000 persons take about 90 MiB from a file of about 10 MB.
constexpr qint64 kSmallRowBytes = qint64(64) << 20;
constexpr qint64 kMaxRowBytes = qint64(512) << 20;
constexpr qint64 kMaxRowRatio = 64;

// True when the file starts as a zip archive does ("PK\3\4"): the kind is told by the bytes,
// whatever the name says.
bool isZipFile(const QString& path);

HeadingList readXlsxHeadings(const QString& path);
RowList readXlsxRows(const QString& path, int columns);

}  // namespace exchange
