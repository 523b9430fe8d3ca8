#pragma once
// Shared by the exchange tests: workbooks written cell by cell, registers read back whole, and
// the independent reader (python3-xlrd) when it is installed.
#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

#include <minizip/zip.h>

#include "core/register/store.h"
#include "core/register/text.h"
#include "core/workbook/biff8.h"

namespace xtest {

using Sheet = std::vector<QStringList>;  // rows of cells, row 1 first

// A workbook of named sheets, each cell a text cell.
inline bool writeBook(const QString& path, const std::vector<std::pair<QString, Sheet>>& sheets) {
    exchange::Biff8Spreadsheet book;
    if (!book.addWorkbook()) return false;
    for (size_t s = 0; s < sheets.size(); ++s) {
        if (s > 0 && !book.addWorksheet(sheets[s].first)) return false;
        if (!book.renameWorksheet(sheets[s].first)) return false;
        const Sheet& rows = sheets[s].second;
        for (size_t r = 0; r < rows.size(); ++r)
            for (int c = 0; c < rows[r].size(); ++c) {
                std::string address;
                int n = c + 1;
                while (n > 0) {
                    address.insert(address.begin(), char('a' + (n - 1) % 26));
                    n = (n - 1) / 26;
                }
                book.range(address + std::to_string(r + 1)).setValue(rows[r][c]);
            }
    }
    return book.saveAs(path);
}

// Every record of a table file, GB18030 values in column order.
inline std::vector<std::vector<std::string>> records(const QString& path) {
    reg::RecordStore store;
    std::vector<std::vector<std::string>> out;
    if (!store.OpenTable(path)) return out;
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        std::vector<std::string> values;
        for (int f = 1; f <= store.FieldCount(); ++f) values.push_back(store.ReadField(f));
        out.push_back(values);
    }
    static_cast<void>(store.CloseAllTables());  // read only
    return out;
}

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Runs tests/core/workbook/xls_facts.py (python3-xlrd) over a .xls, or xlsx_facts.py
// (python3-openpyxl) over a .xlsx; empty when that reader is absent.
inline QString xlrdFacts(const QString& workbook) {
    QProcess p;
    const bool xlsx = workbook.endsWith(QLatin1String(".xlsx"));
    p.start(QStringLiteral("/usr/bin/python3"),
            {xlsx ? QStringLiteral(HJ_WORKBOOK_TEST_DIR "/xlsx_facts.py")
                  : QStringLiteral(HJ_WORKBOOK_TEST_DIR "/xls_facts.py"),
             workbook});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

// A zip archive of the named parts, deflated (fast, as the big ones are made in tests).
inline bool writeZip(const QString& path,
                     const std::vector<std::pair<QString, QByteArray>>& parts) {
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip) return false;
    bool ok = true;
    for (const auto& [name, bytes] : parts) {
        ok = ok &&
             zipOpenNewFileInZip64(zip, name.toUtf8().constData(), nullptr, nullptr, 0, nullptr, 0,
                                   nullptr, Z_DEFLATED, 1, 0) == ZIP_OK &&
             zipWriteInFileInZip(zip, bytes.constData(), unsigned(bytes.size())) == ZIP_OK &&
             zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

}  // namespace xtest
