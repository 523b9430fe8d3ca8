#pragma once
// Reading .xlsx workbooks for the import, with the same answers as the .xls reader
// (workbookreader.h): minizip opens the zip container, QXmlStreamReader reads its parts as they
// inflate, so a sheet is never held whole in memory. Not QuaZip: it exports minizip's function
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

// True when the file starts as a zip archive does ("PK\3\4"): the kind is told by the bytes,
// whatever the name says.
bool isZipFile(const QString& path);

HeadingList readXlsxHeadings(const QString& path);
RowList readXlsxRows(const QString& path, int columns);

}  // namespace exchange
