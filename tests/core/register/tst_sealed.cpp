// Encrypted backups: what goes in comes out, and nothing but the right passphrase on a whole file
// opens one; a file asking for more work than ours do is refused before it can take the memory.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/register/sealed.h"

using namespace reg::sealed;

namespace {

const QByteArray kPass = QByteArrayLiteral("村委会备份2026");

QByteArray pattern(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + 7) % 251);
    return bytes;
}

QByteArray sealBytes(QTemporaryDir& dir, const QByteArray& plain, const Cost& cost = leastCost()) {
    QFile in(dir.filePath(QStringLiteral("plain")));
    in.open(QIODevice::WriteOnly | QIODevice::Truncate);
    in.write(plain);
    in.close();
    const QString target = dir.filePath(QStringLiteral("备份.bak"));
    if (!seal(in.fileName(), target, kPass, cost).done()) return {};
    QFile out(target);
    out.open(QIODevice::ReadOnly);
    return out.readAll();
}

}  // namespace

class TestSealed : public QObject {
    Q_OBJECT

  private slots:
    void roundTrip_data() {
        QTest::addColumn<int>("size");
        // Empty, small, exactly one chunk, one past it, several chunks.
        for (int size : {0, 1, 65536, 65537, 300000})
            QTest::newRow(QByteArray::number(size).constData()) << size;
    }
    void roundTrip() {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QByteArray plain = pattern(size);
        const QByteArray sealedBytes = sealBytes(dir, plain);
        QVERIFY(!sealedBytes.isEmpty());
        QVERIFY(isSealed(dir.filePath(QStringLiteral("备份.bak"))));
        if (size > 64) QVERIFY(!sealedBytes.contains(plain.left(64)));
        QByteArray opened;
        QCOMPARE(openBytes(sealedBytes, kPass, leastCost(), opened), Result::Done);
        QCOMPARE(opened, plain);
        // The file function leaves the plain copy at the new name, and only on success.
        const QString out = dir.filePath(QStringLiteral("opened"));
        QVERIFY(open(dir.filePath(QStringLiteral("备份.bak")), out, kPass, leastCost()).done());
        QFile back(out);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), plain);
    }

    void refused_data() {
        QTest::addColumn<QByteArray>("change");  // what is done to a sealed file of 70,000 bytes
        QTest::addColumn<int>("at");
        QTest::addColumn<int>("expected");
        const auto row = [](const char* name, const char* change, int at, Result r) {
            QTest::newRow(name) << QByteArray(change) << at << static_cast<int>(r);
        };
        row("wrong passphrase", "pass", 0, Result::WrongPassphrase);
        row("plain file", "plain", 0, Result::NotSealed);
        row("magic flipped", "flip", 3, Result::NotSealed);
        row("version flipped", "flip", 16, Result::Damaged);
        row("chunk size flipped", "flip", 21, Result::Damaged);
        row("cost over our most", "flip", 31, Result::Damaged);
        row("salt flipped", "flip", 45, Result::WrongPassphrase);
        row("stream header flipped", "flip", 60, Result::Damaged);
        row("key check flipped", "flip", 85, Result::WrongPassphrase);
        row("first chunk flipped", "flip", 200, Result::Damaged);
        row("last chunk flipped", "flip", -5, Result::Damaged);
        row("cut inside the header", "cut", 50, Result::Damaged);
        row("cut after the first chunk", "cut", 96 + 65536 + 17, Result::Damaged);
        row("cut by one byte", "cut", -1, Result::Damaged);
        row("a byte appended", "append", 0, Result::Damaged);
    }
    void refused() {
        QFETCH(QByteArray, change);
        QFETCH(int, at);
        QFETCH(int, expected);
        QTemporaryDir dir;
        QByteArray bytes = sealBytes(dir, pattern(70000));
        QByteArray pass = kPass;
        const int where = at < 0 ? bytes.size() + at : at;
        if (change == "pass") pass += '!';
        if (change == "plain") bytes = pattern(4096);
        if (change == "flip") bytes[where] = static_cast<char>(bytes[where] ^ 0x40);
        if (change == "cut") bytes.truncate(where);
        if (change == "append") bytes += 'x';
        QByteArray opened = QByteArrayLiteral("untouched");
        QCOMPARE(static_cast<int>(openBytes(bytes, pass, leastCost(), opened)), expected);
        QCOMPARE(opened, QByteArrayLiteral("untouched"));
    }

    void fileOpenLeavesNothingOnRefusal() {
        QTemporaryDir dir;
        QVERIFY(!sealBytes(dir, pattern(1000)).isEmpty());
        const QString out = dir.filePath(QStringLiteral("opened"));
        QCOMPARE(open(dir.filePath(QStringLiteral("备份.bak")), out, "wrong", leastCost()).result,
                 Result::WrongPassphrase);
        QVERIFY(!QFile::exists(out));
    }

    void theFuzzerSeedStillOpens() {
        QFile seed(QStringLiteral(QT_TESTCASE_SOURCEDIR "/register/fixtures/seed.bak"));
        QVERIFY(seed.open(QIODevice::ReadOnly));
        QByteArray plain;
        QCOMPARE(openBytes(seed.readAll(), "fuzz-pass", leastCost(), plain), Result::Done);
        QCOMPARE(plain.size(), 3000);
    }
};

QTEST_GUILESS_MAIN(TestSealed)
#include "tst_sealed.moc"
