// libFuzzer target: any bytes as a table file, opened and walked as the program walks a register.
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

#include "core/register/store.h"

namespace {

const QString& inputPath() {
    static QTemporaryDir dir;
    static const QString path = dir.path() + "/input.wav";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QFile f(inputPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
    f.write(reinterpret_cast<const char*>(data), qint64(size));
    f.close();
    reg::RecordStore store;
    if (store.OpenTable(inputPath())) {
        const int fields = store.FieldCount();
        for (int i = 1; i <= fields; ++i) (void)store.FieldName(i), (void)store.FieldSize(i);
        for (long n = 1; n <= store.RecordCount() && n <= 50; ++n) {
            store.GoTo(n);
            for (int i = 1; i <= fields; ++i) (void)store.ReadField(i);
        }
        (void)store.CountMatching();
        (void)store.AppendRecord({"1"});
    }
    // Writes are dropped: the next input starts from its own bytes again.
    return 0;
}
