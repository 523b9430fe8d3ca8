// The password file codec and the files of start-up and exit; no windows.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/register/files.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "core/session/lock.h"
#include "core/session/password.h"
#include "core/session/startup.h"

using namespace shell;
namespace names = reg::names;
namespace files = reg::files;

namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s.push_back(static_cast<char>(v));
    return s;
}

QByteArray hex(const std::string& s) {
    return QByteArray::fromStdString(s).toHex();
}

void writeFile(const QString& path, const QByteArray& content) {
    files::setCleared(path);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(content), content.size());
}

}  // namespace

class TestPassword : public QObject {
    Q_OBJECT
  private slots:
    void rc4MatchesPublishedVectors_data();
    void rc4MatchesPublishedVectors();
    void roundTripKeepsEveryLength();
    void zeroByteEndsThePassword();
    void fileFormatIsTheCipherOfTheKey();
    void readingAMissingOrHugeFile();
    void writeReplacesTheFileWhole();
    void firstPasswordOnlyWhenMissing();
    void lockRefusesASecondHolder();
    void startUpProtectsAndLocksButKeepsWorkingFiles();
    void exitDeletesLockAndWorkingFilesOnly();
};

void TestPassword::rc4MatchesPublishedVectors_data() {
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipherHex");
    // RFC 6229, 40-bit key, keystream offsets 0 and 16.
    QTest::newRow("rfc6229 40-bit") << QByteArray::fromHex("0102030405") << QByteArray(32, '\0')
                                    << QByteArray(
                                           "b2396305f03dc027ccc3524a0a1118a8"
                                           "6982944f18fc82d589c403a47a0d0919");
    // RFC 6229, 64-bit key, offset 0.
    QTest::newRow("rfc6229 64-bit")
        << QByteArray::fromHex("0102030405060708") << QByteArray(16, '\0')
        << QByteArray("97ab8a1bf0afb96132f2f67258da15a8");
    QTest::newRow("Key/Plaintext")
        << QByteArray("Key") << QByteArray("Plaintext") << QByteArray("bbf316e8d940af0ad3");
    QTest::newRow("Wiki/pedia") << QByteArray("Wiki") << QByteArray("pedia")
                                << QByteArray("1021bf0420");
    QTest::newRow("Secret/Attack at dawn") << QByteArray("Secret") << QByteArray("Attack at dawn")
                                           << QByteArray("45a01f645fc35b383552544b9bf5");
}

void TestPassword::rc4MatchesPublishedVectors() {
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipherHex);
    const std::string cipher = rc4(key.toStdString(), plain.toStdString());
    QCOMPARE(hex(cipher), cipherHex);
    QCOMPARE(QByteArray::fromStdString(rc4(key.toStdString(), cipher)), plain);
}

void TestPassword::roundTripKeepsEveryLength() {
    // Every length the file may have, with bytes of Chinese and rare characters among them.
    const std::string source = reg::gb("密码a𠮷B9䶮x中文Zz");
    for (size_t n = 4; n <= 16; ++n) {
        const std::string password = source.substr(0, n);
        const std::string file = encodePassword(password);
        QCOMPARE(file.size(), n);
        QVERIFY(file != password);
        QCOMPARE(decodePassword(file), password);
    }
}

void TestPassword::zeroByteEndsThePassword() {
    const std::string file = encodePassword(bytes({'7', '4', 0, '2', '9'}));
    QCOMPARE(decodePassword(file), std::string("74"));
    QCOMPARE(decodePassword(encodePassword(bytes({0, '1', '2', '3'}))), std::string());
}

void TestPassword::fileFormatIsTheCipherOfTheKey() {
    // The fixed key, whole, with no bytes of the keystream discarded.
    QCOMPARE(QByteArray::fromStdString(encodePassword("7402")),
             QByteArray::fromStdString(rc4("qmwrkfpbtnsjvhcxdlgzae", "7402")));
    QCOMPARE(encodePassword("74021234").substr(0, 4), encodePassword("7402"));
}

void TestPassword::readingAMissingOrHugeFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p"));
    QCOMPARE(readPasswordFile(path), std::string());
    writeFile(path, QByteArray(1 << 20, 'x'));
    QVERIFY(readPasswordFile(path).size() > size_t(kMaxPasswordBytes));
    QVERIFY(readPasswordFile(path).size() < size_t(1 << 20));
}

void TestPassword::writeReplacesTheFileWhole() {
    QTemporaryDir dir;
    const QString path = dir.filePath(names::kPassword);
    writeFile(path, QByteArray(16, 'x'));
    files::setProtected(path);
    QVERIFY(writePasswordFile(path, reg::gb("新密")));
    QCOMPARE(files::size(path), 4);
    QCOMPARE(decodePassword(readPasswordFile(path)), reg::gb("新密"));
    // No temporary file is left beside it.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    // A folder that cannot be written keeps the old file and says so.
    QVERIFY(!writePasswordFile(dir.filePath(QStringLiteral("missing/x")), "abcd"));
}

void TestPassword::firstPasswordOnlyWhenMissing() {
    QTemporaryDir dir;
    const QString path = reg::pathIn(dir.path(), names::kPassword);
    QVERIFY(createPasswordFileIfMissing(dir.path()));
    QCOMPARE(files::size(path), 4);
    QCOMPARE(decodePassword(readPasswordFile(path)), std::string("7402"));
    QVERIFY(files::isProtected(path));

    QVERIFY(writePasswordFile(path, "changed1"));
    QVERIFY(!createPasswordFileIfMissing(dir.path()));
    QCOMPARE(decodePassword(readPasswordFile(path)), std::string("changed1"));
}

void TestPassword::lockRefusesASecondHolder() {
    QTemporaryDir dir;
    const QString path = dir.filePath(names::kLock);
    ProgramLock first, second;
    QVERIFY(first.acquire(path));
    QVERIFY(!second.acquire(path));
    QVERIFY(files::exists(path));
    first.release();
    QVERIFY(second.acquire(path));

    // A lock file left behind by a copy that died is stale and taken over.
    second.release();
    writeFile(path, "left over");
    QVERIFY(first.acquire(path));
    QCOMPARE(files::size(path), 0);
}

void TestPassword::startUpProtectsAndLocksButKeepsWorkingFiles() {
    QTemporaryDir dir;
    const QString folder = dir.path();
    for (const QString& name : {names::kPassword, names::kRegister, names::kIndex}) {
        writeFile(reg::pathIn(folder, name), "data");
        files::setProtected(reg::pathIn(folder, name));
    }
    files::setCleared(reg::pathIn(folder, names::kPassword));

    ProgramLock lock;
    QVERIFY(prepareStart(folder, lock));
    QVERIFY(lock.held());
    QVERIFY(files::isProtected(reg::pathIn(folder, names::kPassword)));
    QVERIFY(files::isProtected(reg::pathIn(folder, names::kLock)));
    QVERIFY(!files::isProtected(reg::pathIn(folder, names::kRegister)));
    QVERIFY(!files::isProtected(reg::pathIn(folder, names::kIndex)));
    QVERIFY(files::exists(reg::pathIn(folder, names::kIndex)));

    // A second start in the same folder ends; the first keeps its lock and its file.
    ProgramLock other;
    QVERIFY(!prepareStart(folder, other));
    QVERIFY(!other.held());
    QVERIFY(lock.held());
    QVERIFY(files::isProtected(reg::pathIn(folder, names::kLock)));
}

void TestPassword::exitDeletesLockAndWorkingFilesOnly() {
    QTemporaryDir dir;
    const QString folder = dir.path();
    ProgramLock lock;
    QVERIFY(prepareStart(folder, lock));
    for (const QString& name : names::kWorkingFiles) {
        writeFile(reg::pathIn(folder, name), "work");
        files::setProtected(reg::pathIn(folder, name));
    }
    for (const QString& name : {names::kRegister, names::kPassword, names::kHelp})
        writeFile(reg::pathIn(folder, name), "keep");

    clearAtExit(folder, lock);
    QVERIFY(!lock.held());
    QVERIFY(!files::exists(reg::pathIn(folder, names::kLock)));
    for (const QString& name : names::kWorkingFiles)
        QVERIFY2(!files::exists(reg::pathIn(folder, name)), qPrintable(name));
    for (const QString& name : {names::kRegister, names::kPassword, names::kHelp})
        QCOMPARE(QFile(reg::pathIn(folder, name)).size(), 4);

    // The next copy starts at once.
    ProgramLock next;
    QVERIFY(prepareStart(folder, next));
}

QTEST_GUILESS_MAIN(TestPassword)
#include "tst_password.moc"
