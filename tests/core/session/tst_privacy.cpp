// Private files: modes after start-up and after every kind of write, the lock's name refusing a
// link, leftover temporaries, and a damaged backup or safety copy refused before it replaces
// the register.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "core/edit/registereditor.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/programfolder.h"
#include "core/register/replacement.h"
#include "core/register/safetycopy.h"
#include "core/register/workfiles.h"
#include "core/session/lock.h"
#include "core/session/password.h"
#include "core/session/privacy.h"
#include "core/session/startup.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace shell;
namespace names = reg::names;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeBytes(const QString& path, const QByteArray& content) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(content), content.size());
}

// A register of 1000 persons, so that copies and restores have something to carry.
void makeRegister(const QString& path) {
    QVERIFY(reg::createRegisterIfMissing(path));
    reg::RecordStore store;
    QVERIFY(store.OpenTable(path));
    for (int serial = 1; serial <= 1000; ++serial) {
        std::vector<std::string> values(size_t(store.FieldCount()));
        values[0] = std::to_string(serial);
        QVERIFY(store.AppendRecord(values));
    }
    QVERIFY(store.CloseAllTables());
}

}  // namespace

class TestPrivacy : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() {
        reg::log::setFolder({});
        ::umask(022);
    }
    void everyWriteIsPrivateUnderAUsualUmask();
    void lockNameRefusesALink_data();
    void lockNameRefusesALink();
    void logAndTighteningNeverFollowALink();
    void onlyOurLeftoversAreRemoved();
    void damagedCopyNeverReplacesTheRegister_data();
    void damagedCopyNeverReplacesTheRegister();
    void idleTimeIsKeptAndBounded();
};

void TestPrivacy::everyWriteIsPrivateUnderAUsualUmask() {
    ::umask(022);
    QTemporaryDir dir;
    const QString folder = dir.path();
    // What an older run left readable by everyone.
    makeRegister(reg::pathIn(folder, names::kRegister));
    QVERIFY(createPasswordFileIfMissing(folder));
    QVERIFY(QDir(folder).mkdir(reg::safety::kCopyFolder));
    writeBytes(reg::safety::pathOf(folder, QStringLiteral("旧副本.wav")), "x");
    writeBytes(reg::pathIn(folder, reg::log::kFileName), "old\n");
    QCOMPARE(modeOf(reg::pathIn(folder, names::kRegister)), mode_t(0644));

    ProgramLock lock;
    QVERIFY(prepareStart(folder, lock));
    const QString backup = dir.filePath(QStringLiteral("备份.wav"));
    edit::RegisterEditor editor(folder);
    QCOMPARE(editor.backUp(backup).kind, edit::Outcome::Kind::Done);
    QCOMPARE(editor.restore(backup).kind, edit::Outcome::Kind::Done);  // register, copy, history
    QVERIFY(writePasswordFile(reg::pathIn(folder, names::kPassword), "secret"));
    reg::log::failure(QStringLiteral("测试"), QStringLiteral("原因"));
    const QStringList copies = reg::safety::copies(folder);
    QVERIFY(!copies.isEmpty());

    const struct {
        QString path;
        mode_t most;
    } expected[] = {
        {reg::pathIn(folder, names::kRegister), 0600},
        {reg::pathIn(folder, reg::history::kFileName), 0600},
        {reg::pathIn(folder, names::kPassword), 0600},
        {reg::pathIn(folder, reg::log::kFileName), 0600},
        {reg::pathIn(folder, names::kLock), 0600},
        {reg::pathIn(folder, reg::safety::kCopyFolder), 0700},
        {reg::safety::pathOf(folder, copies.last()), 0600},
        {reg::safety::pathOf(folder, QStringLiteral("旧副本.wav")), 0600},
        {backup, 0600},
    };
    for (const auto& e : expected) {
        QVERIFY2(QFileInfo::exists(e.path), qPrintable(e.path));
        QVERIFY2((modeOf(e.path) & ~e.most) == 0,
                 qPrintable(QStringLiteral("%1: %2").arg(e.path).arg(modeOf(e.path), 0, 8)));
    }
    clearAtExit(folder, lock);
}

void TestPrivacy::lockNameRefusesALink_data() {
    QTest::addColumn<bool>("targetExists");
    QTest::addColumn<bool>("hard");
    QTest::newRow("link to a file of the clerk") << true << false;
    QTest::newRow("dangling link") << false << false;
    QTest::newRow("hard link to a file of the clerk") << true << true;
}

void TestPrivacy::lockNameRefusesALink() {
    QFETCH(bool, targetExists);
    QFETCH(bool, hard);
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString target = dir.filePath(QStringLiteral("别人的文件"));
    if (targetExists) writeBytes(target, "keep me");
    const QString lockPath = reg::pathIn(folder, names::kLock);
    const QByteArray from = QFile::encodeName(target), to = QFile::encodeName(lockPath);
    QCOMPARE(hard ? ::link(from.constData(), to.constData())
                  : ::symlink(from.constData(), to.constData()),
             0);

    ProgramLock lock;
    QVERIFY(prepareStart(folder, lock));  // the clerk can still work
    QCOMPARE(lock.removedLink(), !hard);
    QVERIFY(!QFileInfo(lockPath).isSymLink());
    QCOMPARE(QFileInfo::exists(target), targetExists);
    if (targetExists) QCOMPARE(bytesOf(target), QByteArray("keep me"));
    if (!hard) QVERIFY(bytesOf(reg::pathIn(folder, reg::log::kFileName)).contains("符号链接"));
    clearAtExit(folder, lock);
}

void TestPrivacy::logAndTighteningNeverFollowALink() {
    ::umask(022);
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString target = dir.filePath(QStringLiteral("别人的文件"));
    writeBytes(target, "keep me");
    QVERIFY(QFile::setPermissions(
        target, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    for (const QString& name : {reg::log::kFileName, names::kRegister, names::kPassword})
        QVERIFY(QFile::link(target, reg::pathIn(folder, name)));
    QVERIFY(tightenPrivateFiles(folder).isEmpty());
    reg::log::setFolder(folder);
    reg::log::event(QStringLiteral("不应写入"));
    QCOMPARE(bytesOf(target), QByteArray("keep me"));
    QCOMPARE(modeOf(target), mode_t(0604));
}

void TestPrivacy::onlyOurLeftoversAreRemoved() {
    QTemporaryDir dir;
    const QString folder = dir.path();
    QVERIFY(QDir(folder).mkdir(reg::safety::kCopyFolder));
    const QString ours[] = {
        reg::files::temporaryNameBeside(reg::pathIn(folder, names::kRegister)),
        reg::files::temporaryNameBeside(reg::safety::pathOf(folder, QStringLiteral("a.wav")))};
    const QString others[] = {dir.filePath(QStringLiteral(".notes.tmp")),
                              dir.filePath(QStringLiteral(".x.1234567g.tmp")),
                              dir.filePath(QStringLiteral("户籍数据.wav.0123abcd.tmp"))};
    for (const QString& p : ours) writeBytes(p, "old register");
    for (const QString& p : others) writeBytes(p, "clerk's");
    const QString linkTarget = dir.filePath(QStringLiteral("kept"));
    writeBytes(linkTarget, "kept");
    QVERIFY(QFile::link(linkTarget, dir.filePath(QStringLiteral(".kept.0123abcd.tmp"))));

    ProgramLock lock;
    QVERIFY(prepareStart(folder, lock));
    for (const QString& p : ours) QVERIFY2(!QFileInfo::exists(p), qPrintable(p));
    for (const QString& p : others) QVERIFY2(QFileInfo::exists(p), qPrintable(p));
    QCOMPARE(bytesOf(linkTarget), QByteArray("kept"));
    clearAtExit(folder, lock);
}

void TestPrivacy::damagedCopyNeverReplacesTheRegister_data() {
    QTest::addColumn<bool>("undo");
    QTest::newRow("restore of a backup") << false;
    QTest::newRow("undo from a safety copy") << true;
}

void TestPrivacy::damagedCopyNeverReplacesTheRegister() {
    QFETCH(bool, undo);
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QString registerPath = reg::pathIn(folder, names::kRegister);
    makeRegister(registerPath);
    const QString backup = dir.filePath(QStringLiteral("备份.wav"));
    QVERIFY(reg::files::copy(registerPath, backup));
    std::optional<reg::history::Entry> target;
    QString damaged = backup;
    if (undo) {
        QCOMPARE(exchange::restoreRegister(folder, backup).result,
                 exchange::Replacement::Result::Replaced);
        target = exchange::undoTarget(folder);
        QVERIFY(target);
        damaged = reg::safety::pathOf(folder, target->copy);
    }
    // A leaf page near the end overwritten: the file still opens and names its fields; only
    // reading every record would find the damage.
    QByteArray content = bytesOf(damaged);
    const int pageSize = (uchar(content[16]) << 8 | uchar(content[17])) == 1
                             ? 65536
                             : uchar(content[16]) << 8 | uchar(content[17]);
    QVERIFY(content.size() >= 4 * pageSize);
    content.replace(content.size() - 2 * pageSize, pageSize, QByteArray(pageSize, '\x5a'));
    reg::files::setCleared(damaged);
    writeBytes(damaged, content);
    const QByteArray before = bytesOf(registerPath);
    const qsizetype copiesBefore = reg::safety::copies(folder).size();

    const exchange::Replacement r = undo ? exchange::undoReplacement(folder, *target)
                                         : exchange::restoreRegister(folder, backup);
    // The restore's refusal is the designed "数据恢复失败！"; the undo's is its failure.
    QCOMPARE(r.result, undo ? exchange::Replacement::Result::Failed
                            : exchange::Replacement::Result::NotARegister);
    if (undo) QCOMPARE(r.step, QStringLiteral("检查安全副本"));
    QCOMPARE(bytesOf(registerPath), before);
    QCOMPARE(reg::safety::copies(folder).size(), copiesBefore);  // refused before any step
    QVERIFY(!QFileInfo::exists(reg::pathIn(folder, names::kRestoreStage)));
}

void TestPrivacy::idleTimeIsKeptAndBounded() {
    ::umask(022);
    QTemporaryDir dir;
    QCOMPARE(idleLockMinutes(dir.path()), kDefaultIdleLockMinutes);
    QVERIFY(!QFileInfo::exists(reg::pathIn(dir.path(), kSettingsFileName)));  // reading made none
    const struct {
        int saved, read;
    } cases[] = {{0, 0}, {30, 30}, {-5, 0}, {100000, kMaxIdleLockMinutes}};
    for (const auto& c : cases) {
        QVERIFY(saveIdleLockMinutes(dir.path(), c.saved));
        QCOMPARE(idleLockMinutes(dir.path()), c.read);
    }
    QCOMPARE(modeOf(reg::pathIn(dir.path(), kSettingsFileName)), mode_t(0600));
    // A file that is not ours reads as the default and is set aside when written.
    writeBytes(reg::pathIn(dir.path(), kSettingsFileName), "not a database at all");
    QCOMPARE(idleLockMinutes(dir.path()), kDefaultIdleLockMinutes);
}

QTEST_GUILESS_MAIN(TestPrivacy)
#include "tst_privacy.moc"
