// Duplicate pairs: the reasons found, the pairs that must not be, dismissals that lapse when a
// record changes, and a merge that keeps one record and undoes as one.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "core/edit/duplicates.h"
#include "core/register/history.h"
#include "core/register/log.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "samplegen.h"

using namespace edit::dup;

namespace {

std::vector<std::string> person(const char* name, const char* born, const char* id) {
    std::vector<std::string> v(reg::kFieldCount);
    v[reg::F姓名 - 1] = reg::toGb(QString::fromUtf8(name));
    v[reg::F出生日期 - 1] = born;
    v[reg::F公民身份号码 - 1] = id;
    return v;
}

}  // namespace

class TestDuplicates : public QObject {
    Q_OBJECT
  private slots:
    void reasons_data() {
        QTest::addColumn<QByteArray>("nameA");
        QTest::addColumn<QByteArray>("bornA");
        QTest::addColumn<QByteArray>("idA");
        QTest::addColumn<QByteArray>("nameB");
        QTest::addColumn<QByteArray>("bornB");
        QTest::addColumn<QByteArray>("idB");
        QTest::addColumn<int>("reason");  // -1: no pair
        const QByteArray id = "110101198503120017";
        QTest::newRow("same number")
            << QByteArray("张伟") << QByteArray("19850312") << id << QByteArray("张伟")
            << QByteArray("19850312") << id << int(Reason::SameIdentity);
        QTest::newRow("one digit")
            << QByteArray("张伟") << QByteArray("") << id << QByteArray("李强") << QByteArray("")
            << QByteArray("110101198503120018") << int(Reason::IdentityOneDigit);
        QTest::newRow("swapped digits")
            << QByteArray("张伟") << QByteArray("") << id << QByteArray("张伟") << QByteArray("")
            << QByteArray("110101198530120017") << int(Reason::IdentitySwap);
        QTest::newRow("homophone, same birth")
            << QByteArray("张晓明") << QByteArray("19900101") << QByteArray("")
            << QByteArray("张小明") << QByteArray("19900101") << QByteArray("")
            << int(Reason::NameSameBirth);
        QTest::newRow("birth one digit")
            << QByteArray("张晓明") << QByteArray("19900101") << QByteArray("")
            << QByteArray("张小明") << QByteArray("19900107") << QByteArray("")
            << int(Reason::NameBirthOneDigit);
        QTest::newRow("day and month swapped")
            << QByteArray("王芳") << QByteArray("19880412") << QByteArray("") << QByteArray("王芳")
            << QByteArray("19881204") << QByteArray("") << int(Reason::NameBirthSwap);
        QTest::newRow("not: other name")
            << QByteArray("王芳") << QByteArray("19880412") << QByteArray("") << QByteArray("李娜")
            << QByteArray("19880412") << QByteArray("") << -1;
        QTest::newRow("not: two digits apart")
            << QByteArray("王芳") << QByteArray("19880412") << QByteArray("") << QByteArray("王芳")
            << QByteArray("19890417") << QByteArray("") << -1;
        QTest::newRow("not: numbers two apart, not neighbours")
            << QByteArray("张伟") << QByteArray("") << id << QByteArray("张伟") << QByteArray("")
            << QByteArray("110101198503920011") << -1;
        QTest::newRow("not: no numbers, no dates")
            << QByteArray("张伟") << QByteArray("") << QByteArray("") << QByteArray("张伟")
            << QByteArray("") << QByteArray("") << -1;
    }
    void reasons() {
        QFETCH(QByteArray, nameA);
        QFETCH(QByteArray, bornA);
        QFETCH(QByteArray, idA);
        QFETCH(QByteArray, nameB);
        QFETCH(QByteArray, bornB);
        QFETCH(QByteArray, idB);
        QFETCH(int, reason);
        // A stranger between them, so that indexes are not simply 0 and 1.
        const std::vector<std::vector<std::string>> persons = {
            person(nameA, bornA, idA), person("赵六", "20000101", "110101200001010011"),
            person(nameB, bornB, idB)};
        const std::vector<Pair> pairs = findPairs(persons);
        if (reason < 0) {
            QVERIFY(pairs.empty());
            return;
        }
        QCOMPARE(pairs.size(), size_t(1));
        QCOMPARE(pairs[0].a, size_t(0));
        QCOMPARE(pairs[0].b, size_t(2));
        QCOMPARE(int(pairs[0].reason), reason);
        QVERIFY(pairs[0].score > 0 && pairs[0].score <= 100);
    }

    void dismissalLapsesWhenARecordChanges() {
        QTemporaryDir dir;
        auto a = person("王芳", "19880412", ""), b = person("王芳", "19880412", "");
        {
            Dismissals d(dir.path());
            QVERIFY(!d.contains(a, b));
            QVERIFY(d.add(a, b));
        }
        Dismissals again(dir.path());  // read back from the file
        QVERIFY(again.contains(b, a));
        b[reg::F备注 - 1] = "x";
        QVERIFY(!again.contains(a, b));
        QCOMPARE(QFile::permissions(reg::pathIn(dir.path(), kDismissalsFile)) & 0077,
                 QFileDevice::Permissions());
    }

    void mergeKeepsOneAndUndoesAsOne() {
        QTemporaryDir dir;
        const QString path = reg::pathIn(dir.path(), reg::names::kRegister);
        QVERIFY(sample::writeRegister(path, 20, 7));
        reg::log::setFolder(dir.path());
        edit::RegisterEditor ed(dir.path());
        QVERIFY(ed.settle().setAside.isEmpty());
        ed.reload();
        std::vector<std::vector<std::string>> before;
        QVERIFY(readRegister(path, before));
        const auto& keep = before[2];
        const auto& drop = before[5];
        std::vector<std::string> chosen = keep;
        chosen[reg::F姓名 - 1] = drop[reg::F姓名 - 1];
        const edit::Outcome out = ed.applyChanges(mergeChanges(keep, drop, chosen));
        QVERIFY(out.done());
        std::vector<std::vector<std::string>> after;
        QVERIFY(readRegister(path, after));
        QCOMPARE(after.size(), before.size() - 1);
        QVERIFY(std::count(after.begin(), after.end(), chosen) == 1);
        const auto entry = reg::history::entry(dir.path(), out.entry);
        QVERIFY(entry);
        QVERIFY(ed.undo(*entry).done());
        QVERIFY(readRegister(path, after));
        QCOMPARE(after, before);
    }

    // A workbook imported twice leaves two records with one 序号: the merge names them by
    // record number, and a number that no longer holds the 序号 is refused unwritten.
    void mergeOfRecordsSharingASerial() {
        QTemporaryDir dir;
        const QString path = reg::pathIn(dir.path(), reg::names::kRegister);
        std::vector<sample::Person> people = sample::generate(5, 3);
        sample::Person twin = people[1];
        twin[reg::F备注 - 1].push_back('x');
        people.push_back(std::move(twin));
        QVERIFY(sample::writeRegister(path, people));
        reg::log::setFolder(dir.path());
        edit::RegisterEditor ed(dir.path());
        std::vector<std::vector<std::string>> before, after;
        std::vector<long> records;
        QVERIFY(readRegister(path, before, &records));
        QCOMPARE(records, std::vector<long>({1, 2, 3, 4, 5, 6}));
        auto changes = mergeChanges(before[5], before[1], before[5]);
        changes[0].record = 6;
        changes[1].record = 3;  // holds another 序号
        QCOMPARE(int(ed.applyChanges(changes).kind), int(edit::Outcome::Kind::Refused));
        changes[1].record = 2;
        QVERIFY(ed.applyChanges(changes).done());
        QVERIFY(readRegister(path, after));
        before.erase(before.begin() + 1);
        std::sort(before.begin(), before.end());  // the register is put in order after a change
        std::sort(after.begin(), after.end());
        QCOMPARE(after, before);
    }
};

QTEST_GUILESS_MAIN(TestDuplicates)
#include "tst_duplicates.moc"
