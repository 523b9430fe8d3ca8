// The record store on real files in a temporary folder.
#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "common/residentmemory.h"
#include "core/register/files.h"
#include "core/register/log.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/store.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "samplegen.h"

using namespace reg;

namespace {

// A person with the given serial number, address, relation and name; other fields filled.
std::vector<std::string> person(const std::string& serial, const char* address,
                                const char* relation, const char* name) {
    std::vector<std::string> v(kFieldCount);
    v[F序号 - 1] = serial;
    v[F房屋详址 - 1] = gb(address);
    v[F与户主关系 - 1] = relation;
    v[F姓名 - 1] = gb(name);
    v[F户主姓名 - 1] = gb(name);
    v[F性别 - 1] = "1";
    v[F出生日期 - 1] = "19800101";
    v[F公民身份号码 - 1] = "11010519491231002X";
    return v;
}

std::vector<std::string> serials(RecordStore& s) {
    std::vector<std::string> out;
    for (long n = 1; n <= s.RecordCount(); ++n) {
        s.GoTo(n);
        out.push_back(s.ReadField(F序号));
    }
    return out;
}

// Raw SQL against a file, as any SQLite tool would run it.
bool sql(const QString& path, const char* statement) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
              sqlite3_exec(db, statement, nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

std::string sqlText(const QString& path, const char* query) {
    sqlite3* db = nullptr;
    std::string out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_open(QFile::encodeName(path).constData(), &db) == SQLITE_OK &&
        sqlite3_prepare_v2(db, query, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW && sqlite3_column_text(st, 0))
        out = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return out;
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Sets the change counter in a file's header (and the number it is valid for), as a writer
// that does not count its commits would leave it.
void setChangeCounter(const QString& path, uint32_t counter) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    const char bytes[4] = {char(counter >> 24), char(counter >> 16), char(counter >> 8),
                           char(counter)};
    QVERIFY(f.seek(24) && f.write(bytes, 4) == 4);
    QVERIFY(f.seek(92) && f.write(bytes, 4) == 4);
}

uint32_t changeCounter(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || !f.seek(24)) return 0;
    const QByteArray b = f.read(4);
    return uint32_t(uchar(b[0])) << 24 | uint32_t(uchar(b[1])) << 16 | uint32_t(uchar(b[2])) << 8 |
           uint32_t(uchar(b[3]));
}

}  // namespace

class TestStore : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString reg_;

    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    // A register holding these persons in this physical order.
    void makeRegister(const std::vector<std::vector<std::string>>& people) {
        files::remove(reg_);
        QVERIFY(createRegisterIfMissing(reg_));
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        for (const auto& p : people) QVERIFY(s.AppendRecord(p));
        QVERIFY(s.CloseAllTables());
    }

  private slots:
    void init() {
        QVERIFY(dir.isValid());
        reg_ = dir.filePath(names::kRegister);
    }

    void anythingButOurTableOpensAsFalse() {
        makeRegister({person("1", "甲村1号", "1", "张三"), person("2", "甲村1号", "2", "李四")});
        QByteArray good;
        {
            QFile f(reg_);
            QVERIFY(f.open(QIODevice::ReadOnly));
            good = f.readAll();
        }
        QVERIFY(sql(path("foreign.db"), "CREATE TABLE records(recno INTEGER, x TEXT)"));
        QVERIFY(sql(path("noapp.db"),
                    "CREATE TABLE fields(pos INTEGER PRIMARY KEY, name TEXT NOT NULL, width "
                    "INTEGER NOT NULL); CREATE TABLE records(recno INTEGER PRIMARY KEY, "
                    "deleted INTEGER NOT NULL DEFAULT 0, a TEXT)"));
        writeBytes(path("empty.wav"), {});
        QByteArray noise(8192, '\0');
        for (auto& c : noise) c = char(QRandomGenerator::global()->bounded(256));
        writeBytes(path("noise.wav"), noise);
        writeBytes(path("truncated.wav"), good.left(good.size() / 2));
        writeBytes(path("header-only.wav"), good.left(100));
        QByteArray scribbled = good;
        for (int i = 1024; i < scribbled.size(); i += 7) scribbled[i] = char(0xA5);
        writeBytes(path("scribbled.wav"), scribbled);

        const char* bad[] = {"missing.wav", "empty.wav",       "noise.wav", "truncated.wav",
                             "foreign.db",  "header-only.wav", "noapp.db",  ""};
        for (const char* name : bad) {
            RecordStore s;
            QVERIFY2(!s.OpenTable(*name ? path(name) : QString()), name);
            // Every operation on no table answers false, 0 or empty.
            QCOMPARE(s.RecordCount(), 0L);
            QCOMPARE(s.RecordNumber(), 0L);
            QCOMPARE(s.CountMatching(), 0L);
            QCOMPARE(s.ReadField(1), std::string());
            QVERIFY(!s.Skip());
            QVERIFY(!s.AppendRecord({"1"}));
            QVERIFY(!s.WriteField(fieldName(1), "1"));
            QVERIFY(!s.OverwriteRecord({"1"}));
            QVERIFY(!s.MarkDeleted());
            QVERIFY(!s.Pack());
            QVERIFY(!s.ReplaceMatching({}, fieldName(1), "1"));
            QVERIFY(!s.CopyTo(path("copy.wav")));
            QVERIFY(!s.SortTo(path("copy.wav"), [] { return 0.0; }));
            QVERIFY(!s.CreateIndex(names::kIndex, fieldName(1)));
            QVERIFY(!s.SeekKey("1"));
            QCOMPARE(s.FieldCount(), 0);
            QCOMPARE(s.FieldName(1), std::string());
            QCOMPARE(s.FieldSize(1), 0);
            s.GoFirst();
            s.GoTo(1);
            QVERIFY(s.CloseAllTables());
        }
        QVERIFY(!files::exists(path("copy.wav")));
        QVERIFY(!files::exists(path("missing.wav")));
        // Refused again and again, a damaged register keeps no memory.
        if (xtest::kResidentSizeMeaningful) {
            const long growth = xtest::growthOverReads(
                [&] {
                    for (const char* name : bad) {
                        RecordStore again;
                        static_cast<void>(again.OpenTable(path(name)));
                    }
                },
                200, 4096);
            QVERIFY2(growth <= 4096, qPrintable(QString::number(growth) + " KiB"));
        }

        // A damaged page may open, but reading it must answer quietly and never crash.
        RecordStore s;
        if (s.OpenTable(path("scribbled.wav"))) {
            for (long n = 1; n <= s.RecordCount() + 1; ++n) {
                s.GoTo(n);
                static_cast<void>(s.ReadField(F姓名));
            }
            // Any answer will do; only a crash would not.
            static_cast<void>(s.CountMatching());
            static_cast<void>(s.CopyTo(path("copy.wav")));
        }
        static_cast<void>(s.CloseAllTables());
    }

    void fieldsAndWidthsComeFromTheFile() {
        makeRegister({});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.FieldCount(), kFieldCount);
        for (int pos = 1; pos <= kFieldCount; ++pos) {
            QCOMPARE(s.FieldName(pos), fieldName(pos));
            QCOMPARE(s.FieldSize(pos), fieldDefs()[size_t(pos - 1)].width);
        }
        QCOMPARE(s.FieldName(0), std::string());
        QCOMPARE(s.FieldName(23), std::string());
        // An empty table: positioned on record 1, which is the end.
        QCOMPARE(s.RecordCount(), 0L);
        QCOMPARE(s.RecordNumber(), 1L);
        QCOMPARE(s.ReadField(F序号), std::string());
        QVERIFY(!s.OverwriteRecord({"1"}));
        QVERIFY(!s.Skip());
    }

    void cursorWalksAndReads() {
        makeRegister({person("1", "甲村1号", "1", "张三"), person("2", "甲村1号", "2", "李四"),
                      person("3", "乙村2号", "1", "王五")});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.RecordCount(), 3L);
        QCOMPARE(s.RecordNumber(), 1L);
        QCOMPARE(s.ReadField(gb("姓名")), gb("张三"));
        QCOMPARE(s.ReadField(F姓名), gb("张三"));
        QCOMPARE(s.ReadField(gb("无此字段")), std::string());
        QCOMPARE(s.ReadField(0), std::string());
        QVERIFY(s.Skip());
        QCOMPARE(s.ReadField(F姓名), gb("李四"));
        QVERIFY(s.Skip());
        QCOMPARE(s.RecordNumber(), 3L);
        QVERIFY(!s.Skip());  // past the last record: the end, where nothing is read
        QCOMPARE(s.RecordNumber(), 4L);
        QCOMPARE(s.ReadField(F姓名), std::string());
        QVERIFY(!s.Skip(5));
        QCOMPARE(s.RecordNumber(), 4L);
        s.GoTo(2);
        QCOMPARE(s.ReadField(F姓名), gb("李四"));
        s.GoTo(0);
        s.GoTo(9);
        QCOMPARE(s.RecordNumber(), 2L);
        QVERIFY(s.Skip(-1));
        QCOMPARE(s.ReadField(F姓名), gb("张三"));
        s.GoTo(3);
        s.GoFirst();
        QCOMPARE(s.RecordNumber(), 1L);
    }

    void writesAreKeptOnlyWhenTheActionEnds() {
        makeRegister({person("1", "甲村1号", "1", "张三")});
        {
            RecordStore s;
            QVERIFY(s.OpenTable(reg_));
            QVERIFY(s.AppendRecord());  // an empty record becomes current
            QCOMPARE(s.RecordNumber(), 2L);
            QCOMPARE(s.ReadField(F姓名), std::string());
            QVERIFY(s.WriteField(gb("姓名"), gb("𠮷䶮")));
            QVERIFY(!s.WriteField(gb("无此字段"), "x"));
            QVERIFY(s.AppendRecord({"3", gb("丙村")}));
            QCOMPARE(s.ReadField(F房屋详址), gb("丙村"));
            QCOMPARE(s.ReadField(F姓名), std::string());
            QVERIFY(!s.AppendRecord(std::vector<std::string>(kFieldCount + 1, "x")));
            s.GoTo(1);
            QVERIFY(s.OverwriteRecord(person("7", "丁村", "1", "赵六")));
            QCOMPARE(s.ReadField(F序号), std::string("7"));
            QCOMPARE(s.RecordCount(), 3L);
        }  // a store that goes away closes and commits its tables
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.RecordCount(), 3L);
        QCOMPARE(serials(s), (std::vector<std::string>{"7", "", "3"}));
        s.GoTo(2);
        QCOMPARE(s.ReadField(F姓名), gb("𠮷䶮"));
        QVERIFY(s.CloseAllTables());
        // Stored as UTF-8, readable by any SQLite tool.
        QCOMPARE(sqlText(reg_, "SELECT 姓名 FROM records WHERE recno = 2"), std::string("𠮷䶮"));
        QCOMPARE(sqlText(reg_, "SELECT name FROM fields WHERE pos = 14"),
                 std::string("公民身份号码"));
    }

    void severalTablesTheLastOpenedIsCurrent() {
        makeRegister({person("1", "甲村1号", "1", "张三")});
        {
            RecordStore s;
            QVERIFY(s.OpenTable(reg_));
            QVERIFY(s.CopyTo(path("two.wav")));
        }
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.OpenTable(path("two.wav")));
        QVERIFY(s.AppendRecord(person("2", "乙村", "1", "钱七")));
        QCOMPARE(s.RecordCount(), 2L);
        // A failed open leaves no current table.
        QVERIFY(!s.OpenTable(path("nothing.wav")));
        QCOMPARE(s.RecordCount(), 0L);
        QVERIFY(s.CloseAllTables());
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.RecordCount(), 1L);
        QVERIFY(s.OpenTable(path("two.wav")));
        QCOMPARE(s.RecordCount(), 2L);
    }

    void sameFileOpenedTwiceStillCommits() {
        makeRegister({person("1", "甲村1号", "1", "张三")});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.AppendRecord(person("2", "甲村1号", "2", "李四")));
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.RecordCount(), 1L);  // the other table's change is not committed yet
        QVERIFY(s.CloseAllTables());
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.RecordCount(), 2L);
    }

    void countAndReplaceKeepTheCursor() {
        makeRegister({person("1", "甲村1号", "1", "张三"), person("2", "甲村1号", "2", "李四"),
                      person("3", "乙村2号", "0", "王五"), person("4", "乙村2号", "-1", "孙八")});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        s.GoTo(3);
        auto persons = [&] { return isPerson(s.ReadField(F与户主关系)); };
        auto heads = [&] { return isHead(s.ReadField(F与户主关系)); };
        QCOMPARE(s.CountMatching(), 4L);
        QCOMPARE(s.CountMatching(persons), 2L);
        QCOMPARE(s.CountMatching(heads), 1L);
        QCOMPARE(s.RecordNumber(), 3L);
        QVERIFY(s.ReplaceMatching([&] { return s.ReadField(F性别) == "1"; }, fieldName(F性别),
                                  gb("男")));
        QCOMPARE(s.RecordNumber(), 3L);
        QCOMPARE(s.CountMatching([&] { return s.ReadField(F性别) == gb("男"); }), 4L);
        QVERIFY(!s.ReplaceMatching({}, gb("无此字段"), "x"));
        // Marked records are left out of counts and copies.
        s.GoTo(2);
        QVERIFY(s.MarkDeleted());
        QVERIFY(s.IsDeleted());
        QCOMPARE(s.RecordCount(), 4L);
        QCOMPARE(s.CountMatching(), 3L);
        QVERIFY(s.CopyTo(path("copy.wav")));
        RecordStore c;
        QVERIFY(c.OpenTable(path("copy.wav")));
        QCOMPARE(serials(c), (std::vector<std::string>{"1", "3", "4"}));
    }

    void copyToReplacesAndNeverLeavesAPartialFile() {
        makeRegister({person("1", "甲村1号", "1", "张三"), person("2", "甲村1号", "2", "李四"),
                      person("3", "乙村2号", "1", "王五")});
        writeBytes(path("old.bak"), "an old backup");
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        s.GoTo(2);
        QVERIFY(!s.CopyTo(QString()));
        QVERIFY(!s.CopyTo(path("no/such/folder/x.wav")));
        QVERIFY(s.CopyTo(path("old.bak"), [&] { return s.ReadField(F房屋详址) == gb("甲村1号"); }));
        QCOMPARE(s.RecordNumber(), 2L);  // the current table stays as it was
        QCOMPARE(s.RecordCount(), 3L);
        RecordStore c;
        QVERIFY(c.OpenTable(path("old.bak")));
        QCOMPARE(serials(c), (std::vector<std::string>{"1", "2"}));
        QCOMPARE(c.FieldCount(), kFieldCount);
        QVERIFY(c.CloseAllTables());
        // A folder that refuses the new file: the copy fails and the target stays.
        QVERIFY(QDir(dir.path()).mkdir("ro"));
        const QString target = dir.filePath("ro/keep.wav");
        QVERIFY(s.CopyTo(target));
        QFile::setPermissions(dir.filePath("ro"), QFile::ReadOwner | QFile::ExeOwner);
        if (!QFile(dir.filePath("ro/probe")).open(QIODevice::WriteOnly)) {  // not root
            QVERIFY(!s.CopyTo(target));
            QVERIFY(c.OpenTable(target));
            QCOMPARE(c.RecordCount(), 3L);
        }
        QFile::setPermissions(dir.filePath("ro"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const auto left = QDir(dir.path()).entryList({"*.tmp"}, QDir::Files | QDir::Hidden);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(' ')));
    }

    void sortToOrdersNumericallyAndKeepsTies() {
        makeRegister({person("10", "甲", "1", "a"), person("9", "乙", "1", "b"),
                      person("x", "丙", "1", "c"), person("2.5", "丁", "1", "d"),
                      person("9", "戊", "1", "e"), person("", "己", "1", "f"),
                      person("-1", "庚", "1", "g")});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.SortTo(path("sorted.wav"), [&] { return serialKey(s); }));
        RecordStore t;
        QVERIFY(t.OpenTable(path("sorted.wav")));
        QCOMPARE(serials(t), (std::vector<std::string>{"-1", "x", "", "2.5", "9", "9", "10"}));
        std::vector<std::string> names;
        for (long n = 1; n <= t.RecordCount(); ++n) {
            t.GoTo(n);
            names.push_back(t.ReadField(F姓名));
        }
        QCOMPARE(names, (std::vector<std::string>{"g", "c", "f", "d", "b", "e", "a"}));
        QVERIFY(!s.SortTo(QString(), [] { return 0.0; }));
    }

    // Sorting by a field, copying and indexing give what the table shows, whether or not the
    // table holds writes of its own and whatever now stands at its path.
    void copiesShowWhatTheTableShows() {
        const std::vector<std::pair<std::string, const char*>> people = {
            {"10", "a"}, {"9", "b"},  {"x", "c"}, {"2.5", "d"},  {"9", "e"},
            {"", "f"},   {"-1", "g"}, {"0", "n"}, {"3", "gone"}, {"007", "h"}};
        const std::vector<std::string> inOrder = {"a", "b", "c", "d", "e", "f", "g", "n", "h"};
        const std::vector<std::string> sorted = {"g", "c", "f", "n", "d", "h", "b", "e", "a"};
        enum Case { Untouched, WrittenInThisAction, ReplacedWhileOpen };
        for (Case c : {Untouched, WrittenInThisAction, ReplacedWhileOpen}) {
            std::vector<std::vector<std::string>> rows;
            for (const auto& [serial, name] : people)
                rows.push_back(person(serial, "甲", "1", name));
            makeRegister(rows);
            QVERIFY(sql(reg_,
                        "UPDATE records SET deleted = 1 WHERE 姓名 = 'gone';"
                        "UPDATE records SET 序号 = NULL WHERE 姓名 = 'n'"));
            RecordStore s;
            QVERIFY(s.OpenTable(reg_));
            auto wantInOrder = inOrder, wantSorted = sorted;
            if (c == WrittenInThisAction) {
                QVERIFY(s.AppendRecord(person("5", "乙", "1", "new")));
                wantInOrder.push_back("new");
                wantSorted.insert(wantSorted.begin() + 5, "new");
            } else if (c == ReplacedWhileOpen) {
                makeRegister({person("1", "丙", "1", "other")});  // another file at its path
            }
            const auto names = [](const QString& file) {
                RecordStore r;
                std::vector<std::string> out;
                if (!r.OpenTable(file)) return out;
                for (long n = 1; n <= r.RecordCount(); ++n, static_cast<void>(r.Skip()))
                    out.push_back(r.ReadField(F姓名));
                return out;
            };
            QVERIFY(s.SortTo(path("byfield.wav"), fieldName(F序号)));
            QVERIFY(s.SortTo(path("bykey.wav"), [&] { return serialKey(s); }));
            QVERIFY(s.CopyTo(path("copy.wav")));
            QVERIFY(!s.SortTo(path("byfield.wav"), gb("无此字段")));
            QCOMPARE(names(path("byfield.wav")), wantSorted);
            QCOMPARE(names(path("bykey.wav")), wantSorted);
            QCOMPARE(names(path("copy.wav")), wantInOrder);
            // A NULL serial number is indexed as an empty one, which finds nothing.
            QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
            QVERIFY(s.SeekKey("9"));
            QCOMPARE(s.ReadField(F姓名), std::string("b"));
            QVERIFY(s.SeekKey("007"));
            QCOMPARE(s.ReadField(F姓名), std::string("h"));
            QVERIFY(!s.SeekKey("3"));
            QVERIFY(!s.SeekKey("1"));
            QCOMPARE(s.SeekKey("5"), c == WrittenInThisAction);
        }
    }

    // Records appended after an ordered register are merged in where a full sort puts them (ties
    // after their equals, a marked one left out); the engine's lookups read what ReadField reads.
    void mergingAfterOrderedRecordsGivesTheSort() {
        const std::vector<std::pair<std::string, const char*>> ordered = {
            {"1", "a"}, {"2", "b"}, {"2", "c"}, {"5", "d"}, {"9", "e"}};
        const std::vector<std::vector<std::pair<std::string, const char*>>> tails = {
            {{"3", "t"}},
            {{"0", "t"}},
            {{"10", "t"}},
            {{"2", "t"}},
            {{"7", "t"}, {"1", "u"}, {"7", "v"}, {"x", "w"}},
            {{"4", "gone"}, {"4", "t"}}};
        const auto names = [](const QString& file) {
            RecordStore r;
            std::vector<std::string> out;
            if (r.OpenTable(file))
                for (long n = 1; n <= r.RecordCount(); ++n, static_cast<void>(r.Skip()))
                    out.push_back(r.ReadField(F姓名));
            return out;
        };
        for (const auto& tail : tails) {
            std::vector<std::vector<std::string>> rows;
            for (const auto& [serial, name] : ordered)
                rows.push_back(person(serial, "甲", "1", name));
            for (const auto& [serial, name] : tail) rows.push_back(person(serial, "甲", "1", name));
            makeRegister(rows);
            QVERIFY(sql(reg_, "UPDATE records SET deleted = 1 WHERE 姓名 = 'gone'"));
            RecordStore s;
            QVERIFY(s.OpenTable(reg_));
            QVERIFY(s.SortTo(path("sorted.wav"), fieldName(F序号)));
            QVERIFY(s.MergeSortTo(path("merged.wav"), fieldName(F序号), long(ordered.size())));
            QCOMPARE(names(path("merged.wav")), names(path("sorted.wav")));
        }
        makeRegister({person("1", "甲", "1", "a"), person("2", "乙", "1", "b"),
                      person("3", "甲", "1", "c")});
        QVERIFY(sql(reg_, "UPDATE records SET 房屋详址 = NULL WHERE 姓名 = 'c'"));
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(*s.RecordsWith(fieldName(F房屋详址), {gb("甲"), ""}), (std::vector<long>{1, 3}));
        auto tally = *s.ValueCounts(fieldName(F房屋详址));
        std::sort(tally.begin(), tally.end());
        QCOMPARE(tally, (std::vector<std::pair<std::string, long>>{
                            {"", 1}, {gb("甲"), 1}, {gb("乙"), 1}}));
        QVERIFY(s.AppendRecord(person("4", "甲", "1", "d")));
        QVERIFY(!s.RecordsWith(fieldName(F房屋详址), {gb("甲")}));  // a walk sees the write
    }

    // The engine reads the table by a URI: a folder name with URI characters still lets it, as
    // the index's stamp, written at once only by the engine's way, shows.
    void theEngineFindsTablesInAnyFolder() {
        for (const char* name : {"plain", "a #%?b 目录"}) {
            const QString folder = dir.filePath(QString::fromUtf8(name));
            QVERIFY(QDir().mkpath(folder));
            const QString table = folder + QStringLiteral("/t.wav");
            QVERIFY(createRegisterIfMissing(table));
            RecordStore s;
            QVERIFY(s.OpenTable(table));
            QVERIFY(s.AppendRecord(person("2", "甲", "1", "a")));
            QVERIFY(s.AppendRecord(person("1", "甲", "1", "b")));
            QVERIFY(s.CloseAllTables());
            QVERIFY(s.OpenTable(table));
            QVERIFY(s.SortTo(folder + QStringLiteral("/s.wav"), fieldName(F序号)));
            QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
            QCOMPARE(
                sqlText(folder + QLatin1Char('/') + names::kIndex, "SELECT records FROM about"),
                std::string("2"));
            QVERIFY(s.CloseAllTables());
            QVERIFY(s.OpenTable(folder + QStringLiteral("/s.wav")));
            QCOMPARE(serials(s), (std::vector<std::string>{"1", "2"}));
        }
    }

    // An index write that fails leaves the table's write standing; the index is then never
    // trusted as it is (here another tool's trigger refuses the key 99).
    void aFailedIndexWriteIsNotTrusted() {
        makeRegister({person("1", "甲", "1", "a"), person("2", "甲", "2", "b")});
        const QString index = dir.filePath(names::kIndex);
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
        QVERIFY(s.CloseAllTables());
        QVERIFY(sql(index,
                    "CREATE TRIGGER no99 BEFORE INSERT ON entries WHEN NEW.key = '99' "
                    "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        QVERIFY(s.OpenTable(reg_, index));
        QVERIFY(s.AppendRecord(person("99", "乙", "1", "c")));
        QVERIFY(s.CloseAllTables());
        RecordStore r;
        QVERIFY(r.OpenTable(reg_));
        QCOMPARE(r.RecordCount(), 3L);
        QVERIFY(r.CloseAllTables());
        // Refused, or right: never an index that misses the record.
        QVERIFY(!s.OpenTable(reg_, index) || s.SeekKey("99"));
    }

    void seekKeyFindsExactKeysOnly() {
        makeRegister({person("1", "甲村1号", "1", "张三"), person("", "甲村1号", "2", "无号"),
                      person("12", "乙村2号", "1", "王五"), person("2", "乙村2号", "3", "王小")});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(!s.SeekKey("1"));  // no index yet
        QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
        QVERIFY(files::exists(dir.filePath(names::kIndex)));  // a bare name: beside the table
        QVERIFY(!s.CreateIndex(names::kIndex, gb("无此字段")));
        QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
        QVERIFY(s.SeekKey("12"));
        QCOMPARE(s.ReadField(F姓名), gb("王五"));
        QVERIFY(s.SeekKey("2"));
        QCOMPARE(s.RecordNumber(), 4L);
        QVERIFY(!s.SeekKey(""));  // an address line: finds nothing, although one 序号 is empty
        QCOMPARE(s.RecordNumber(), 4L);
        QVERIFY(!s.SeekKey("3"));
        QVERIFY(!s.SeekKey("1 "));
        QVERIFY(s.CloseAllTables());

        // Reopened with its index.
        QVERIFY(s.OpenTable(reg_, dir.filePath(names::kIndex)));
        QVERIFY(s.SeekKey("1"));
        QCOMPARE(s.ReadField(F姓名), gb("张三"));
        // Records written while the index is open are found at once.
        QVERIFY(s.AppendRecord(person("99", "丙村", "1", "新人")));
        s.GoTo(2);
        QVERIFY(s.OverwriteRecord(person("50", "甲村1号", "2", "有号")));
        QVERIFY(s.SeekKey("99"));
        QCOMPARE(s.RecordNumber(), 5L);
        QVERIFY(s.SeekKey("50"));
        QCOMPARE(s.RecordNumber(), 2L);
        s.GoTo(4);
        QVERIFY(s.WriteField(fieldName(F序号), "77"));
        QVERIFY(!s.SeekKey("2"));
        QVERIFY(s.SeekKey("77"));
        QCOMPARE(s.ReadField(F姓名), gb("王小"));
        QVERIFY(s.CloseAllTables());
        QVERIFY(s.OpenTable(reg_, dir.filePath(names::kIndex)));
        QVERIFY(s.SeekKey("99"));
        QVERIFY(s.SeekKey("77"));

        // A missing or foreign index: the table opens, seeking finds nothing.
        QVERIFY(s.CloseAllTables());
        QVERIFY(!s.OpenTable(reg_, path("none.enx")));
        QCOMPARE(s.RecordCount(), 5L);
        QVERIFY(!s.SeekKey("1"));
        QVERIFY(!s.OpenTable(reg_, reg_));
        QVERIFY(!s.SeekKey("1"));
    }

    void packRemovesMarkedRecordsAndKeepsTheIndexRight() {
        makeRegister({person("1", "甲", "1", "a"), person("2", "甲", "2", "b"),
                      person("3", "乙", "1", "c"), person("4", "乙", "2", "d"),
                      person("5", "丙", "1", "e")});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
        QVERIFY(s.SeekKey("2"));
        QVERIFY(s.MarkDeleted());
        QVERIFY(!s.SeekKey("2"));  // a marked record is no longer found
        QVERIFY(s.SeekKey("4"));
        QVERIFY(s.MarkDeleted());
        s.GoTo(3);
        QVERIFY(s.Pack());
        QCOMPARE(s.RecordNumber(), 1L);
        QCOMPARE(s.RecordCount(), 3L);
        QCOMPARE(serials(s), (std::vector<std::string>{"1", "3", "5"}));
        QVERIFY(s.SeekKey("5"));
        QCOMPARE(s.RecordNumber(), 3L);
        QCOMPARE(s.ReadField(F姓名), std::string("e"));
        QVERIFY(s.SeekKey("3"));
        QCOMPARE(s.RecordNumber(), 2L);
        QVERIFY(s.Pack());  // nothing marked: nothing changes
        QCOMPARE(s.RecordCount(), 3L);
        QVERIFY(s.CloseAllTables());
        // Numbered 1..N without gaps on disk, and the index still right when reopened.
        QCOMPARE(sqlText(reg_, "SELECT group_concat(recno) FROM records"), std::string("1,2,3"));
        QVERIFY(s.OpenTable(reg_, dir.filePath(names::kIndex)));
        QVERIFY(s.SeekKey("5"));
        QCOMPARE(s.RecordNumber(), 3L);
        // Deleting the last record of the register.
        QVERIFY(s.SeekKey("5"));
        QVERIFY(s.MarkDeleted());
        QVERIFY(s.Pack());
        s.GoTo(1);
        QVERIFY(s.MarkDeleted());
        s.GoTo(2);
        QVERIFY(s.MarkDeleted());
        QVERIFY(s.Pack());
        QCOMPARE(s.RecordCount(), 0L);
        QVERIFY(!s.SeekKey("1"));
    }

    void packingManyMarkedRecords() {
        std::vector<std::vector<std::string>> people;
        for (int i = 1; i <= 30; ++i) people.push_back(person(std::to_string(i), "甲", "1", "x"));
        makeRegister(people);
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
        for (long n = 1; n <= 30; n += 3) {  // ten records: 1, 4, 7 ... 28
            s.GoTo(n);
            QVERIFY(s.MarkDeleted());
        }
        QVERIFY(s.Pack());
        QCOMPARE(s.RecordCount(), 20L);
        QVERIFY(s.SeekKey("30"));
        QCOMPARE(s.RecordNumber(), 20L);
        QVERIFY(s.SeekKey("2"));
        QCOMPARE(s.RecordNumber(), 1L);
        QVERIFY(!s.SeekKey("28"));
        QVERIFY(s.CloseAllTables());
        QCOMPARE(sqlText(reg_, "SELECT count(*) || ',' || max(recno) FROM records"),
                 std::string("20,20"));
    }

    void anIndexThatNoLongerFitsIsRebuilt() {
        makeRegister({person("1", "甲", "1", "a"), person("2", "甲", "2", "b")});
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.CreateIndex(names::kIndex, fieldName(F序号)));
        QVERIFY(s.CloseAllTables());
        // The table changes without its index: appended to, and changed by another tool.
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.AppendRecord(person("3", "乙", "1", "c")));
        QVERIFY(s.CloseAllTables());
        QVERIFY(sql(reg_, "UPDATE records SET 序号 = '20' WHERE recno = 2"));
        QVERIFY(s.OpenTable(reg_, dir.filePath(names::kIndex)));
        QVERIFY(s.SeekKey("3"));
        QCOMPARE(s.RecordNumber(), 3L);
        QVERIFY(s.SeekKey("20"));
        QCOMPARE(s.RecordNumber(), 2L);
        QVERIFY(!s.SeekKey("2"));
        QVERIFY(s.CloseAllTables());
        // The register replaced by another file: the old index must not point into it.
        makeRegister({person("3", "丙", "1", "x"), person("1", "丁", "1", "y")});
        QVERIFY(s.OpenTable(reg_, dir.filePath(names::kIndex)));
        QVERIFY(s.SeekKey("1"));
        QCOMPARE(s.ReadField(F姓名), std::string("y"));
        QVERIFY(!s.SeekKey("20"));
    }

    void gapsLeftByAnotherToolAreClosed() {
        makeRegister({person("1", "甲", "1", "a"), person("2", "甲", "2", "b"),
                      person("3", "乙", "1", "c")});
        QVERIFY(sql(reg_, "DELETE FROM records WHERE recno = 2"));
        RecordStore s;
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.RecordCount(), 2L);
        QCOMPARE(serials(s), (std::vector<std::string>{"1", "3"}));
    }

    void rebuildSortsTheRegisterAndBuildsTheIndex() {
        const QString folder = dir.path();
        // An empty register: nothing to sort, the index is built all the same.
        makeRegister({});
        files::remove(dir.filePath(names::kIndex));
        RecordStore s;
        rebuildRegisterOrder(s, folder);
        QCOMPARE(s.RecordCount(), 0L);
        QVERIFY(!s.SeekKey("1"));
        QVERIFY(s.CloseAllTables());
        QVERIFY(files::exists(dir.filePath(names::kIndex)));
        QVERIFY(!files::exists(dir.filePath(names::kSorted)));

        makeRegister({person("10", "甲", "1", "a"), person("9", "乙", "1", "b"),
                      person("100", "丙", "1", "c"), person("1", "丁", "1", "d")});
        writeBytes(dir.filePath(names::kSorted), "left over");
        rebuildRegisterOrder(s, folder);
        QCOMPARE(s.RecordNumber(), 1L);
        QVERIFY(s.SeekKey("9"));
        QCOMPARE(s.RecordNumber(), 2L);
        QVERIFY(s.CloseAllTables());
        QVERIFY(!files::exists(dir.filePath(names::kSorted)));
        QVERIFY(s.OpenTable(reg_, dir.filePath(names::kIndex)));
        QCOMPARE(serials(s), (std::vector<std::string>{"1", "9", "10", "100"}));
        QVERIFY(s.SeekKey("100"));
        QCOMPARE(s.RecordNumber(), 4L);
        QVERIFY(s.CloseAllTables());

        // An already sorted register comes out the same.
        rebuildRegisterOrder(s, folder);
        QCOMPARE(serials(s), (std::vector<std::string>{"1", "9", "10", "100"}));
        QVERIFY(s.CloseAllTables());

        // A missing register: nothing opens, nothing is created.
        files::remove(reg_);
        rebuildRegisterOrder(s, folder);
        QCOMPARE(s.RecordCount(), 0L);
        QVERIFY(s.CloseAllTables());
        QVERIFY(!files::exists(reg_));
    }

    void programFolderLayoutNeverOverwrites() {
        QTemporaryDir folder;
        layoutProgramFolder(folder.path());
        const QString r = pathIn(folder.path(), names::kRegister);
        RecordStore s;
        QVERIFY(s.OpenTable(r));
        QCOMPARE(s.FieldCount(), kFieldCount);
        QVERIFY(s.AppendRecord(person("1", "甲", "1", "a")));
        QVERIFY(s.CloseAllTables());
        layoutProgramFolder(folder.path());
        QVERIFY(s.OpenTable(r));
        QCOMPARE(s.RecordCount(), 1L);
    }

    void fileHelpers() {
        const QString a = path("a.txt"), b = path("b.txt");
        writeBytes(a, "new");
        writeBytes(b, "old content");
        QCOMPARE(files::size(a), int64_t(3));
        QCOMPARE(files::size(path("none")), int64_t(-1));
        QVERIFY(files::copy(a, b));
        QCOMPARE(files::size(b), int64_t(3));
        QVERIFY(!files::copy(path("none"), b));
        QCOMPARE(files::size(b), int64_t(3));
        files::setProtected(b);
        QVERIFY(files::isProtected(b));
        files::setCleared(b);
        QVERIFY(!files::isProtected(b));
        files::setProtected(path("none"));  // quiet on a missing file
        QVERIFY(files::move(a, b));
        QVERIFY(!files::exists(a));
        QVERIFY(!files::move(a, b));
        files::setProtected(b);
        QVERIFY(files::remove(b));  // a protected working file is still deleted
        QVERIFY(!files::exists(b));
        QVERIFY(!files::remove(b));
    }

    // One lookup for every caller: by exact name, wherever the table keeps the field.
    void fieldNumberFindsFieldsByName() {
        makeRegister({});
        QVERIFY(RecordStore::CreateTable(path("other.wav"),
                                         {{gb("姓名"), 20}, {"x", 4}, {fieldName(F序号), 6}}));
        struct Case {
            const char* table;
            std::string name;
            int number;
        };
        const Case cases[] = {
            {"register", fieldName(F序号), 1},
            {"register", fieldName(F姓名), F姓名},
            {"register", fieldName(kFieldCount), kFieldCount},
            {"register", gb("无此字段"), 0},
            {"register", "", 0},
            {"register", fieldName(F姓名) + " ", 0},
            {"other", fieldName(F序号), 3},
            {"other", gb("姓名"), 1},
            {"other", fieldName(F房屋详址), 0},
            {"none", fieldName(F序号), 0},
        };
        for (const Case& c : cases) {
            RecordStore s;
            const std::string table = c.table;
            if (table != "none") QVERIFY(s.OpenTable(table == "other" ? path("other.wav") : reg_));
            QVERIFY2(s.FieldNumber(c.name) == c.number, (table + " " + gbToUtf8(c.name)).c_str());
        }
    }

    // A failure leaves one line in the run log with its reason and the file's name, never the
    // person being written; a missing table is no failure.
    void failuresAreLoggedWithTheirReason() {
        QTemporaryDir logFolder;
        log::setFolder(logFolder.path());
        const auto stopLogging = qScopeGuard([] { log::setFolder(QString()); });
        const auto logged = [&] {
            QFile f(QDir(logFolder.path()).filePath(log::kFileName));
            return f.open(QIODevice::ReadOnly)
                       ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                       : QStringList();
        };
        RecordStore s;
        QVERIFY(!s.OpenTable(path("missing.wav")));
        QCOMPARE(logged().size(), 0);
        QVERIFY(sql(path("foreign.db"), "CREATE TABLE IF NOT EXISTS t(x)"));
        QVERIFY(!s.OpenTable(path("foreign.db")));
        QCOMPARE(logged().size(), 1);
        QVERIFY(logged()[0].contains(QStringLiteral("失败 打开数据表 foreign.db：")));

        // A commit kept out by another program's read lock, once the engine has waited for it.
        makeRegister({person("1", "甲村1号", "1", "张三")});
        QVERIFY(s.OpenTable(reg_));
        QVERIFY(s.AppendRecord(person("2", "甲村1号", "2", "李四")));
        sqlite3* reader = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(reg_).constData(), &reader), SQLITE_OK);
        QCOMPARE(
            sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM records;", nullptr, nullptr, nullptr),
            SQLITE_OK);
        QVERIFY(!s.CloseAllTables());
        sqlite3_close(reader);
        const QStringList lines = logged();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(
            lines[1].contains(QStringLiteral("失败 保存数据表 户籍数据.wav：database is locked")),
            qPrintable(lines[1]));
        QVERIFY(!lines[1].contains(QStringLiteral("李四")));
        QVERIFY(s.OpenTable(reg_));
        QCOMPARE(s.RecordCount(), 1L);
    }

    // A look-up opens the register with its index; the count the index was stamped with must
    // never hide what another tool changed in the register since.
    void lookupsSeeForeignEditsOfAnIndexedRegister() {
        QTemporaryDir dir;
        const QString folder = dir.path();
        const QString registerPath = reg::pathIn(folder, reg::names::kRegister);
        const QString indexPath = reg::pathIn(folder, reg::names::kIndex);
        QVERIFY(sample::writeRegister(registerPath, 300, 5));
        reg::RecordStore store;
        auto rebuild = [&] {
            reg::rebuildRegisterOrder(store, folder);
            return store.CloseAllTables();
        };
        auto nameOf = [&](const char* serial) {
            return store.SeekKey(serial) ? store.ReadField(reg::F姓名) : std::string("(none)");
        };
        QVERIFY(rebuild());
        QVERIFY(store.OpenTable(registerPath, indexPath));
        QCOMPARE(store.RecordCount(), 300L);
        const std::string name101 = nameOf("101"), name300 = nameOf("300");
        QVERIFY(store.CloseAllTables());

        // A record deleted from the middle: the gap is closed and the index follows.
        QVERIFY(sql(registerPath, "DELETE FROM records WHERE recno = 100"));
        QVERIFY(store.OpenTable(registerPath, indexPath));
        QCOMPARE(store.RecordCount(), 299L);
        QCOMPARE(nameOf("101"), name101);
        QCOMPARE(store.RecordNumber(), 100L);
        QCOMPARE(nameOf("100"), std::string("(none)"));
        QVERIFY(store.CloseAllTables());

        // The last record deleted by a writer that left the change counter as it was.
        QVERIFY(rebuild());
        uint32_t stamped = changeCounter(registerPath);
        QVERIFY(sql(registerPath, "DELETE FROM records WHERE recno = 299"));
        setChangeCounter(registerPath, stamped);
        QVERIFY(store.OpenTable(registerPath, indexPath));
        QCOMPARE(store.RecordCount(), 298L);
        QCOMPARE(nameOf("300"), std::string("(none)"));
        QVERIFY(store.CloseAllTables());

        // A record deleted from the middle in WAL mode, whose commits need not count.
        QVERIFY(rebuild());
        stamped = changeCounter(registerPath);
        QVERIFY(
            sql(registerPath, "PRAGMA journal_mode=WAL; DELETE FROM records WHERE recno = 10;"));
        QVERIFY(!QFileInfo::exists(registerPath + "-wal"));
        setChangeCounter(registerPath, stamped);
        QVERIFY(store.OpenTable(registerPath, indexPath));
        QCOMPARE(store.RecordCount(), 297L);
        for (long n = 1; n <= store.RecordCount(); ++n) {
            store.GoTo(n);
            QVERIFY(!store.ReadField(reg::F序号).empty());
        }
        QCOMPARE(nameOf("101"), name101);
        QVERIFY(store.CloseAllTables());
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
