// Backup and restore from the information-management window: nothing a restore is given may
// cost the register.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "common/lookup.h"
#include "common/programfolder.h"
#include "common/scripteddialogs.h"
#include "common/typing.h"
#include "core/edit/registereditor.h"
#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/sealed.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/infowindow.h"
#include "samplegen.h"

using namespace reg;
using maint::InfoWindow;

namespace {

using hjtest::click;
using hjtest::find;

using hjtest::serials;

}  // namespace

class TestBackup : public QObject {
    Q_OBJECT

    hjtest::ProgramFolder folder;
    hjtest::ScriptedDialogs dialogs;
    QTemporaryDir elsewhere;

    QString reg_() const { return folder.file(names::kRegister); }

  private slots:
    void cleanup() {
        const QString problems = dialogs.takeProblems();
        QVERIFY2(problems.isEmpty(), qPrintable(problems));
    }

    void anEmptyRegisterBacksUpAndComesBackEmpty() {
        const QString bak = elsewhere.filePath("empty.bak");
        InfoWindow w(folder.path(), dialogs);
        dialogs.expectSave(bak);
        dialogs.expectNotice(QStringLiteral("数据备份成功 "));
        click(w, "备份按钮");
        QCOMPARE(dialogs.fileRequests().back().defaultSuffix, QStringLiteral("bak"));
        QCOMPARE(dialogs.fileRequests().back().title, QStringLiteral("另存为"));
        QVERIFY(sample::writeRegister(reg_(), 30, 2));
        dialogs.expectOpen(bak);
        dialogs.expectNotice(QStringLiteral("数据恢复成功 "));
        click(w, "恢复按钮");
        QCOMPARE(dialogs.fileRequests().back().title, QStringLiteral("打开"));
        QCOMPARE(find<QTreeWidget>(&w, "树型框")->topLevelItemCount(), 0);
        QCOMPARE(find<QLabel>(&w, "透明标签B01")->text(), QStringLiteral("0  名"));
        QVERIFY(find<QPushButton>(&w, "添加按钮")->isEnabled());
        QVERIFY(!files::exists(folder.file(names::kRestoreStage)));
    }

    void aBackupReplacesTheFileAndRestoresSorted() {
        QVERIFY(sample::writeRegister(reg_(), 50, 3));
        const QString bak = elsewhere.filePath("old.bak");
        QFile f(bak);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("an old file");
        f.close();
        InfoWindow w(folder.path(), dialogs);
        dialogs.expectSave(bak);
        dialogs.expectNotice(QStringLiteral("数据备份成功 "));
        click(w, "备份按钮");
        QCOMPARE(serials(bak), serials(reg_()));

        // A backup whose records are out of order is shown sorted.
        QVERIFY(sample::writeRegister(bak, 20, 4, true));
        dialogs.expectOpen(bak);
        dialogs.expectNotice(QStringLiteral("数据恢复成功 "));
        click(w, "恢复按钮");
        const auto restored = serials(reg_());
        QCOMPARE(restored.size(), size_t(20));
        QCOMPARE(restored.front(), std::string("1"));
        QCOMPARE(restored.back(), std::string("20"));
        QCOMPARE(
            find<QTreeWidget>(&w, "树型框")->topLevelItem(0)->child(0)->text(0).section(':', 0, 0),
            QStringLiteral("1"));
    }

    void failedBackupsAndRestoresChangeNothing() {
        QVERIFY(sample::writeRegister(reg_(), 40, 5));
        const auto before = serials(reg_());
        InfoWindow w(folder.path(), dialogs);
        dialogs.expectSave(QString());  // cancelled
        dialogs.expectWarning(QStringLiteral("数据备份失败！"));
        click(w, "备份按钮");
        dialogs.expectSave(elsewhere.filePath("no/such/folder/x.bak"));
        dialogs.expectWarning(QStringLiteral("数据备份失败！"));
        click(w, "备份按钮");

        // Cancelled, even with a staging copy left by an interrupted restore.
        QVERIFY(sample::writeRegister(folder.file(names::kRestoreStage), 3, 9));
        dialogs.expectOpen(QString());
        dialogs.expectWarning(QStringLiteral("数据恢复失败！"));
        click(w, "恢复按钮");
        QCOMPARE(serials(reg_()), before);

        const QString junk = elsewhere.filePath("junk.bak");
        QFile f(junk);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(5000, 'x'));
        f.close();
        dialogs.expectOpen(junk);
        dialogs.expectWarning(QStringLiteral("数据恢复失败！"));
        click(w, "恢复按钮");
        QCOMPARE(serials(reg_()), before);

        // A table of ours that holds no persons: not a register.
        const QString other = elsewhere.filePath("other.bak");
        QVERIFY(RecordStore::CreateTable(other, {{gb("名称"), 10}}));
        dialogs.expectOpen(other);
        dialogs.expectWarning(QStringLiteral("数据恢复失败！"));
        click(w, "恢复按钮");
        QCOMPARE(serials(reg_()), before);
        QVERIFY(!files::exists(folder.file(names::kRestoreStage)));
    }

    void anEncryptedBackupTravelsClosedAndOpensOnlyWithItsPassphrase() {
        QVERIFY(sample::writeRegister(reg_(), 30, 6));
        const auto before = serials(reg_());
        const QString bak = elsewhere.filePath("sealed.bak");
        InfoWindow w(folder.path(), dialogs);
        auto* sealBackup = find<QPushButton>(&w, "备份按钮")->findChild<QAction*>("加密备份");
        QVERIFY(sealBackup);
        const QString ask = QStringLiteral("请输入加密备份的密码（至少8个字符）：");
        const QString again = QStringLiteral("请再次输入同一个密码：");
        const QString pass = QStringLiteral("青石村2026备份");
        // Refused before anything is written: too short, then not the same twice.
        dialogs.expectSave(bak);
        dialogs.expectSecret(ask, QStringLiteral("1234567"));
        dialogs.expectWarning(QStringLiteral("密码太短，至少要8个字符！没有备份。"));
        sealBackup->trigger();
        dialogs.expectSave(bak);
        dialogs.expectSecret(ask, pass);
        dialogs.expectSecret(again, pass + QStringLiteral("x"));
        dialogs.expectWarning(QStringLiteral("两次输入的密码不一致！没有备份。"));
        sealBackup->trigger();
        QVERIFY(!files::exists(bak));
        dialogs.expectSave(bak);
        dialogs.expectSecret(ask, pass);
        dialogs.expectSecret(again, pass);
        dialogs.expectNotice(edit::msg::kSealedBackedUp);
        sealBackup->trigger();
        QVERIFY(sealed::isSealed(bak));
        QFile sealedFile(bak);
        QVERIFY(sealedFile.open(QIODevice::ReadOnly));
        const QByteArray bytes = sealedFile.readAll();
        QVERIFY(!bytes.contains("SQLite format 3"));
        sealedFile.close();

        QVERIFY(sample::writeRegister(reg_(), 5, 7));
        const auto changed = serials(reg_());
        const QString open = QStringLiteral("这是一份加密备份，请输入它的密码：");
        // A damaged copy, a wrong passphrase and a cancel leave the register as it is.
        const QString damaged = elsewhere.filePath("damaged.bak");
        QFile d(damaged);
        QVERIFY(d.open(QIODevice::WriteOnly));
        d.write(bytes.left(bytes.size() - 40) + QByteArray(40, 'x'));
        d.close();
        const auto refusedWith = [&](const QString& file, const std::optional<QString>& typed,
                                     const QString& warning) {
            dialogs.expectOpen(file);
            dialogs.expectSecret(open, typed);
            if (!warning.isEmpty()) dialogs.expectWarning(warning);
            click(w, "恢复按钮");
            QCOMPARE(serials(reg_()), changed);
        };
        refusedWith(bak, QStringLiteral("别的密码12345"), edit::msg::kWrongPassphrase);
        refusedWith(damaged, pass, edit::msg::kSealedDamaged);
        refusedWith(bak, std::nullopt, QString());

        dialogs.expectOpen(bak);
        dialogs.expectSecret(open, pass);
        dialogs.expectNotice(QStringLiteral("数据恢复成功 "));
        click(w, "恢复按钮");
        QCOMPARE(serials(reg_()), before);
        // No plain copy of the register is left behind in the program folder.
        QCOMPARE(
            QDir(folder.path()).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden),
            QStringList());
        QVERIFY(!files::exists(folder.file(names::kRestoreStage)));
    }
};

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
