// The run log: lines land in the program folder's file, private to its owner, and rotation keeps
// the log bounded.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "core/register/log.h"

class TestLog : public QObject {
    Q_OBJECT
  private slots:
    void cleanup() { reg::log::setFolder({}); }

    void linesAreWrittenPrivately() {
        QTemporaryDir dir;
        reg::log::failure(QStringLiteral("未设文件夹"), QStringLiteral("x"));  // goes nowhere
        reg::log::setFolder(dir.path());
        reg::log::failure(QStringLiteral("添加记录"), reg::log::errnoText(ENOSPC));
        QFile file(dir.filePath(reg::log::kFileName));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QCOMPARE(text.count(QLatin1Char('\n')), 1);
        QVERIFY(text.contains(QStringLiteral(" 失败 添加记录：")));
        QVERIFY(text.contains(QStringLiteral("errno %1").arg(ENOSPC)));
#ifndef _WIN32
        QCOMPARE(file.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
#endif
    }

    void rotationKeepsTheLogBounded() {
        QTemporaryDir dir;
        reg::log::setFolder(dir.path());
        const QString reason(200, QLatin1Char('r'));
        for (int i = 0; i < 4000; ++i) reg::log::failure(QStringLiteral("导出表格"), reason);
        const qint64 current = QFileInfo(dir.filePath(reg::log::kFileName)).size();
        const qint64 older = QFileInfo(dir.filePath(reg::log::kOlderFileName)).size();
        QVERIFY(current > 0 && current <= reg::log::kMaxBytes + 300);
        QVERIFY(older >= reg::log::kMaxBytes && older <= reg::log::kMaxBytes + 300);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
