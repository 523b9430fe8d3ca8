// libFuzzer target: any bytes as a workbook file, read as the import reads it. Built twice:
// as fuzz_workbook with .xls seeds and as fuzz_xlsx with .xlsx seeds (the reader tells the kind
// by the first bytes, so each target reaches the other reader too).
#include <glib.h>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "core/workbook/workbookreader.h"

namespace {

// The readers take paths, so every input goes through one file in a private folder.
const QString& inputPath() {
    static QTemporaryDir dir;
    static const QString path = dir.path() + "/input.xls";
    return path;
}

void quiet(const gchar*, GLogLevelFlags, const gchar*, gpointer) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        g_log_set_default_handler(quiet, nullptr);
        return true;
    }();
    (void)once;
    QFile f(inputPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(reinterpret_cast<const char*>(data), qint64(size));
    f.close();
    const exchange::HeadingList headings = exchange::readHeadings(inputPath());
    const int columns = headings.headings.empty() ? 3 : int(headings.headings.size());
    exchange::readRows(inputPath(), columns);
    return 0;
}
