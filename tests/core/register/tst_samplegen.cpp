// The sample registers that benchmarks and tests build on: reproducible, and valid the way a
// clerk's register is valid.
#include <QTemporaryDir>
#include <QtTest>
#include <map>
#include <set>

#include "core/register/files.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "samplegen.h"

using sample::Person;

namespace {

const std::string& value(const Person& p, int field) {
    return p[size_t(field - 1)];
}

bool allDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

bool validDate(std::string_view s) {
    if (s.size() != 8 || !allDigits(s)) return false;
    const int y = std::stoi(std::string(s.substr(0, 4)));
    const int m = std::stoi(std::string(s.substr(4, 2)));
    const int d = std::stoi(std::string(s.substr(6, 2)));
    if (y < 1900 || y > 2024 || m < 1 || m > 12 || d < 1) return false;
    const QDate date(y, m, 1);
    return d <= date.daysInMonth();
}

// ISO 7064 MOD 11-2 by its recursive definition, independent of the weight table the
// generator uses: the number including its check character must leave remainder 1.
bool checkDigitValid(std::string_view id) {
    if (id.size() != 18 || !allDigits(id.substr(0, 17))) return false;
    int s = 0;
    for (size_t i = 0; i < 18; ++i) {
        int d = id[i] == 'X' && i == 17 ? 10 : id[i] - '0';
        if (d < 0 || d > 10) return false;
        s = (s * 2 + d) % 11;
    }
    // Sum of d_i * 2^(17-i) mod 11 must be 1.
    return s == 1;
}

}  // namespace

class TestSampleGen : public QObject {
    Q_OBJECT

  private slots:
    void sameSeedSameRegister();
    void householdsHaveOneHeadAndConsecutiveSerials();
    void identityNumbersAndDatesAreValid();
    void fieldsFitTheirCodesAndWidths();
    void registerRoundTripsThroughTheStore();
    void writeReplacesOnlyWhenComplete();
};

void TestSampleGen::sameSeedSameRegister() {
    QCOMPARE(sample::generate(0, 1).size(), size_t(0));
    for (int n : {1, 2, 7, 9, 333}) QCOMPARE(sample::generate(n, 5).size(), size_t(n));

    const auto a = sample::generate(800, 42);
    QVERIFY(a == sample::generate(800, 42));
    QVERIFY(a != sample::generate(800, 43));
    // A longer register of the same seed begins the same way.
    const auto longer = sample::generate(1600, 42);
    QVERIFY(std::equal(a.begin(), a.begin() + 700, longer.begin()));

    auto s1 = a, s2 = a;
    sample::shuffle(s1, 9);
    sample::shuffle(s2, 9);
    QVERIFY(s1 == s2);
    QVERIFY(s1 != a);
    std::multiset<Person> before(a.begin(), a.end()), after(s1.begin(), s1.end());
    QVERIFY(before == after);
}

void TestSampleGen::householdsHaveOneHeadAndConsecutiveSerials() {
    for (uint32_t seed : {1u, 2u, 77u}) {
        const auto people = sample::generate(2500, seed);
        std::set<std::string> seenAddresses;
        std::map<int, int> sizes;
        std::set<std::string> relations;
        size_t i = 0;
        while (i < people.size()) {
            const std::string& address = value(people[i], reg::F房屋详址);
            QVERIFY2(seenAddresses.insert(address).second, "a household is split or repeated");
            QVERIFY(!address.empty());
            QVERIFY(address.find(':') == std::string::npos);
            // The head comes first; its members follow it without a gap.
            QCOMPARE(value(people[i], reg::F与户主关系), std::string("1"));
            const std::string headName = value(people[i], reg::F姓名);
            size_t end = i;
            while (end < people.size() && value(people[end], reg::F房屋详址) == address) {
                const Person& p = people[end];
                QCOMPARE(value(p, reg::F序号), std::to_string(end + 1));
                QCOMPARE(value(p, reg::F户主姓名), headName);
                if (end > i) QVERIFY(value(p, reg::F与户主关系) != "1");
                relations.insert(value(p, reg::F与户主关系));
                ++end;
            }
            ++sizes[int(end - i)];
            i = end;
        }
        QVERIFY(sizes.begin()->first >= 1);
        QVERIFY(sizes.rbegin()->first <= 8);
        // Realistic: small and large households and the common relations all occur.
        QVERIFY(sizes.count(1) && sizes.count(3) && sizes.count(6));
        for (const char* r : {"2", "3", "4", "5", "10"}) QVERIFY2(relations.count(r), r);
    }
}

void TestSampleGen::identityNumbersAndDatesAreValid() {
    QCOMPARE(sample::idCheckCharacter("11010519491231002"), 'X');
    QCOMPARE(sample::idCheckCharacter("1101051949123100"), char(0));
    QCOMPARE(sample::idCheckCharacter("1101051949123100A"), char(0));

    const auto people = sample::generate(3000, 11);
    std::set<std::string> ids;
    for (const Person& p : people) {
        const std::string& id = value(p, reg::F公民身份号码);
        QVERIFY2(checkDigitValid(id), id.c_str());
        QVERIFY2(ids.insert(id).second, "identity number given twice");
        QCOMPARE(id.substr(6, 8), value(p, reg::F出生日期));
        // The 17th digit is odd for men, even for women.
        QCOMPARE((id[16] - '0') % 2 == 1, value(p, reg::F性别) == "1");

        QVERIFY(validDate(value(p, reg::F出生日期)));
        for (int f : {reg::F婚姻变更日期, reg::F户籍变动日期}) {
            const std::string& d = value(p, f);
            QVERIFY2(d.empty() || validDate(d), d.c_str());
            QVERIFY(d.empty() || d >= value(p, reg::F出生日期));
        }
        // Unmarried persons carry no date of a marital change; the others do.
        QCOMPARE(value(p, reg::F婚姻变更日期).empty(), value(p, reg::F婚姻类型) == "1");
        if (value(p, reg::F户籍变动类型) == "12")
            QCOMPARE(value(p, reg::F户籍变动日期), value(p, reg::F出生日期));
    }
}

void TestSampleGen::fieldsFitTheirCodesAndWidths() {
    const auto people = sample::generate(3000, 3);
    std::map<int, std::set<std::string>> codesSeen;
    for (const Person& p : people) {
        QCOMPARE(int(p.size()), reg::kFieldCount);
        for (int f = 1; f <= reg::kFieldCount; ++f) {
            const std::string& v = value(p, f);
            QVERIFY2(int(v.size()) <= reg::fieldDefs()[size_t(f - 1)].width,
                     reg::gbToUtf8(v).c_str());
            if (const reg::CodeTable* table = reg::codeTableOf(f)) {
                QVERIFY(allDigits(v));
                const int code = std::stoi(v);
                // Only the registration change may be "nothing chosen".
                QVERIFY(code >= (f == reg::F户籍变动类型 ? 0 : 1));
                QVERIFY(code <= int(table->names.size()));
                codesSeen[f].insert(v);
            }
        }
        QVERIFY(allDigits(value(p, reg::F序号)));
        QVERIFY(!value(p, reg::F姓名).empty());
    }
    for (int f : reg::codedFields()) QVERIFY2(codesSeen[f].size() >= 2, reg::fieldName(f).c_str());
}

void TestSampleGen::registerRoundTripsThroughTheStore() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("户籍数据.wav"));
    auto people = sample::generate(3000, 4);
    sample::shuffle(people, 4);
    QVERIFY(sample::writeRegister(path, people));

    // The rare characters, among them one outside the Basic Multilingual Plane, must be there
    // for the round trip to prove anything.
    bool rareBmp = false, rareAstral = false;
    for (const Person& p : people) {
        const QString name = reg::fromGb(value(p, reg::F姓名));
        rareBmp = rareBmp || name.contains(QStringLiteral("䶮"));
        rareAstral = rareAstral || name.contains(QStringLiteral("𠮷"));
    }
    QVERIFY(rareBmp && rareAstral);

    reg::RecordStore store;
    QVERIFY(store.OpenTable(path));
    QCOMPARE(store.FieldCount(), reg::kFieldCount);
    QCOMPARE(store.RecordCount(), long(people.size()));
    store.GoFirst();
    for (const Person& p : people) {
        for (int f = 1; f <= reg::kFieldCount; ++f) QCOMPARE(store.ReadField(f), value(p, f));
        static_cast<void>(store.Skip());  // the loop counts the records
    }
    QVERIFY(store.CloseAllTables());

    // The generated register written directly, shuffled, is the same set of records.
    const QString shuffledPath = dir.filePath(QStringLiteral("shuffled.wav"));
    QVERIFY(sample::writeRegister(shuffledPath, 200, 8, true));
    QVERIFY(store.OpenTable(shuffledPath));
    std::multiset<Person> stored;
    bool inOrder = true;
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        Person p;
        for (int f = 1; f <= reg::kFieldCount; ++f) p.push_back(store.ReadField(f));
        inOrder = inOrder && value(p, reg::F序号) == std::to_string(n);
        stored.insert(p);
    }
    QVERIFY(store.CloseAllTables());
    const auto expected = sample::generate(200, 8);
    QVERIFY(stored == std::multiset<Person>(expected.begin(), expected.end()));
    QVERIFY(!inOrder);

    // Put back in order by the rebuild, it is the generated register record for record.
    const QString folder = dir.filePath(QStringLiteral("program"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(QFile::copy(shuffledPath, reg::pathIn(folder, reg::names::kRegister)));
    reg::rebuildRegisterOrder(store, folder);
    QCOMPARE(store.RecordCount(), long(expected.size()));
    for (long n = 1; n <= store.RecordCount(); ++n) {
        store.GoTo(n);
        for (int f = 1; f <= reg::kFieldCount; ++f)
            QCOMPARE(store.ReadField(f), value(expected[size_t(n - 1)], f));
    }
    QVERIFY(store.CloseAllTables());
}

void TestSampleGen::writeReplacesOnlyWhenComplete() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("户籍数据.wav"));
    QVERIFY(sample::writeRegister(path, 50, 1));
    QVERIFY(sample::writeRegister(path, 20, 2));
    reg::RecordStore store;
    QVERIFY(store.OpenTable(path));
    QCOMPARE(store.RecordCount(), 20L);
    QVERIFY(store.CloseAllTables());

    // A record the register cannot hold (more values than fields) fails the whole write and
    // leaves the file there and its folder as they were.
    auto people = sample::generate(10, 3);
    people[5].push_back("23rd value");
    QVERIFY(!sample::writeRegister(path, people));
    QVERIFY(store.OpenTable(path));
    QCOMPARE(store.RecordCount(), 20L);
    QVERIFY(store.CloseAllTables());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    QVERIFY(!sample::writeRegister(QString(), 5, 1));
    QVERIFY(!sample::writeRegister(dir.filePath(QStringLiteral("missing/户籍数据.wav")), 5, 1));

    // What hj-sample writes over without being asked: nothing, or a register without records.
    QVERIFY(!sample::mayReplaceQuietly(path));
    const QString empty = dir.filePath(QStringLiteral("empty.wav"));
    QVERIFY(sample::mayReplaceQuietly(empty));
    QVERIFY(sample::writeRegister(empty, std::vector<Person>{}));
    QVERIFY(sample::mayReplaceQuietly(empty));
    const QString notes = dir.filePath(QStringLiteral("notes.txt"));
    QFile file(notes);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a register") > 0);
    file.close();
    QVERIFY(!sample::mayReplaceQuietly(notes));
}

QTEST_GUILESS_MAIN(TestSampleGen)
#include "tst_samplegen.moc"
