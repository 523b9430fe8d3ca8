// 在册 and 注销 at a date, from the kind and date of the last change.
#include <QTest>

#include "core/query/standing.h"
#include "core/register/person.h"

using namespace query;

class TestStanding : public QObject {
    Q_OBJECT

  private slots:
    void standing_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("changed");
        QTest::addColumn<QString>("at");
        QTest::addColumn<bool>("deregistered");
        QTest::newRow("no change") << "0"
                                   << ""
                                   << "20261208" << false;
        QTest::newRow("born") << "12"
                              << "20200101"
                              << "20261208" << false;
        QTest::newRow("moved within") << "1"
                                      << "20200101"
                                      << "20261208" << false;
        QTest::newRow("moved in") << "6"
                                  << "20200101"
                                  << "20261208" << false;
        QTest::newRow("moved away, first kind") << "7"
                                                << "20200101"
                                                << "20261208" << true;
        QTest::newRow("moved abroad, last kind") << "11"
                                                 << "20200101"
                                                 << "20261208" << true;
        QTest::newRow("died") << "13"
                              << "20200101"
                              << "20261208" << true;
        QTest::newRow("died that very day") << "13"
                                            << "20261208"
                                            << "20261208" << true;
        QTest::newRow("died after the date") << "13"
                                             << "20261209"
                                             << "20261208" << false;
        QTest::newRow("died, no date kept") << "13"
                                            << ""
                                            << "19000101" << true;
        QTest::newRow("code out of table") << "14"
                                           << "20200101"
                                           << "20261208" << false;
        QTest::newRow("nothing chosen") << "-1"
                                        << ""
                                        << "20261208" << false;
    }
    void standing() {
        QFETCH(QString, kind);
        QFETCH(QString, changed);
        QFETCH(QString, at);
        QFETCH(bool, deregistered);
        std::vector<std::string> v(reg::kFieldCount);
        v[reg::F户籍变动类型 - 1] = kind.toStdString();
        v[reg::F户籍变动日期 - 1] = changed.toStdString();
        QCOMPARE(standingAt(v, at.toStdString()) == Standing::Deregistered, deregistered);
    }
    // A short record (as from an old workbook) is on the register.
    void shortRecord() { QCOMPARE(standingAt({"1", "a"}, "20261208"), Standing::Registered); }
};

QTEST_APPLESS_MAIN(TestStanding)
#include "tst_standing.moc"
