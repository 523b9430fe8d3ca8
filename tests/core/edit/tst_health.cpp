// The register health checks: identity numbers (published examples and generated ones, valid and
// with each fault), dates, and the checks across records on small registers built per case.
#include <QTest>

#include "core/edit/health.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "samplegen.h"

using namespace reg;
using namespace reg::health;

namespace {

const std::string kToday = "20240630";

// A head of its own household at `address`, valid in every field the checks read.
std::vector<std::string> person(const char* serial, const char* address, const char* name,
                                const char* head = nullptr, const char* relation = "1") {
    std::vector<std::string> v(kFieldCount);
    v[F序号 - 1] = serial;
    v[F房屋详址 - 1] = gb(address);
    v[F户主姓名 - 1] = gb(head ? head : name);
    v[F与户主关系 - 1] = relation;
    v[F姓名 - 1] = gb(name);
    v[F性别 - 1] = "2";
    v[F出生日期 - 1] = "19491231";
    v[F公民身份号码 - 1] = "11010519491231002X";
    return v;
}

// The texts of the findings, in UTF-8 for readable failures.
QStringList texts(const std::vector<Finding>& findings) {
    QStringList out;
    for (const Finding& f : findings) out << fromGb(f.text);
    return out;
}

// Each expected part must be in the finding at the same place, and no finding more.
void compareFindings(const QStringList& got, const QStringList& expected) {
    QVERIFY2(got.size() == expected.size(), qPrintable(got.join(" | ")));
    for (int i = 0; i < got.size(); ++i)
        QVERIFY2(got[i].contains(expected[i]), qPrintable(got[i] + " lacks " + expected[i]));
}

}  // namespace

class TestHealth : public QObject {
    Q_OBJECT

  private slots:
    void identityNumbers_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("birth");
        QTest::addColumn<QString>("sex");
        QTest::addColumn<QStringList>("expected");
        // The two examples printed with the standard, and the 15-digit form of the first.
        QTest::newRow("published female") << "11010519491231002X"
                                          << "19491231"
                                          << "2" << QStringList();
        QTest::newRow("published male") << "440524188001010014"
                                        << "18800101"
                                        << "1" << QStringList();
        QTest::newRow("15 digits") << "110105491231002"
                                   << "19491231"
                                   << "2" << QStringList();
        QTest::newRow("no number") << ""
                                   << "19491231"
                                   << "1" << QStringList();
        QTest::newRow("sex not chosen") << "11010519491231002X"
                                        << "19491231"
                                        << "0" << QStringList();
        QTest::newRow("check digit") << "110105194912310021"
                                     << "19491231"
                                     << "2" << QStringList{"应为“X”，现为“1”"};
        QTest::newRow("lower-case x") << "11010519491231002x"
                                      << "19491231"
                                      << "2" << QStringList{"小写x"};
        QTest::newRow("other birth date") << "11010519491231002X"
                                          << "19500101"
                                          << "2" << QStringList{"19491231与出生日期19500101不同"};
        QTest::newRow("sex") << "11010519491231002X"
                             << "19491231"
                             << "1" << QStringList{"第17位是偶数，表示女性，与性别“男”不符"};
        QTest::newRow("15 digits, sex") << "110105491231003"
                                        << "19491231"
                                        << "2" << QStringList{"第15位是奇数"};
        QTest::newRow("letter in region")
            << "11A10519491231002X"
            << "19491231"
            << "2" << QStringList{"地区码（第1至6位）含有字母“A”（第3位）"};
        QTest::newRow("X in 15 digits") << "11010549123100X"
                                        << "19491231"
                                        << "2" << QStringList{"顺序码（第13至15位）含有字母“X”"};
        QTest::newRow("Chinese character") << "1101051949123100" + fromGb(gb("号")) << "19491231"
                                           << "2" << QStringList{"不是数字的字符“号”（第17位）"};
        QTest::newRow("16 digits") << "1101051949123100"
                                   << "19491231"
                                   << "2" << QStringList{"应为15位或18位，现为16位"};
        // Numbers with a date the calendar lacks or that lies ahead, their check digits right.
        QTest::newRow("31 February")
            << "110105201302310017"
            << ""
            << "1" << QStringList{"出生日期20130231不是有效的日期", "出生日期为空"};
        QTest::newRow("future") << "110105209901010020"
                                << "20990101"
                                << "2"
                                << QStringList{"20990101晚于今天", "出生日期20990101晚于今天"};
    }
    void identityNumbers() {
        QFETCH(QString, id);
        QFETCH(QString, birth);
        QFETCH(QString, sex);
        QFETCH(QStringList, expected);
        std::vector<std::string> v = person("1", "青石村1组1号", "王芳");
        v[F公民身份号码 - 1] = toGb(id);
        v[F出生日期 - 1] = toGb(birth);
        v[F性别 - 1] = toGb(sex);
        compareFindings(texts(checkRecord(v, kToday)), expected);
    }

    void checkCharactersAgreeWithTheGenerator() {
        for (const auto& p : sample::generate(2000, 7)) {
            const std::string& id = p[F公民身份号码 - 1];
            QCOMPARE(identityCheckCharacter(std::string_view(id).substr(0, 17)), id.back());
        }
        QCOMPARE(identityCheckCharacter("1101051949123100"), char(0));
        QCOMPARE(identityCheckCharacter("11010519491231A02"), char(0));
    }

    void dates_data() {
        QTest::addColumn<QString>("birth");
        QTest::addColumn<QString>("married");
        QTest::addColumn<QString>("changed");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all fine") << "19491231"
                                  << "19700501"
                                  << "19491231" << QStringList();
        QTest::newRow("leap day") << "19491231"
                                  << "20000229"
                                  << "" << QStringList();
        QTest::newRow("no leap day") << "19491231"
                                     << "19000229"
                                     << "" << QStringList{"婚姻变更日期“19000229”不是有效的日期"};
        QTest::newRow("month 13") << "19491231"
                                  << ""
                                  << "19501301"
                                  << QStringList{"户籍变动日期“19501301”不是有效的日期"};
        QTest::newRow("married before birth")
            << "19491231"
            << "19491230"
            << "" << QStringList{"婚姻变更日期19491230早于出生日期19491231"};
        QTest::newRow("change ahead") << "19491231"
                                      << ""
                                      << "20240701" << QStringList{"户籍变动日期20240701晚于今天"};
    }
    void dates() {
        QFETCH(QString, birth);
        QFETCH(QString, married);
        QFETCH(QString, changed);
        QFETCH(QStringList, expected);
        std::vector<std::string> v = person("1", "青石村1组1号", "王芳");
        v[F出生日期 - 1] = toGb(birth);
        v[F婚姻变更日期 - 1] = toGb(married);
        v[F户籍变动日期 - 1] = toGb(changed);
        compareFindings(texts(checkRecord(v, kToday)), expected);
    }

    void registers_data() {
        using Register = std::vector<std::vector<std::string>>;
        QTest::addColumn<Register>("records");
        QTest::addColumn<QStringList>("expected");  // "序号 part of the text"
        auto member = [](const char* serial, const char* address, const char* name,
                         const char* head) {
            std::vector<std::string> v = person(serial, address, name, head, "3");
            v[F公民身份号码 - 1].clear();
            v[F出生日期 - 1] = "19800101";
            return v;
        };
        const char* a = "青石村1组1号";
        const char* b = "青石村1组2号";
        auto cleared = [](const char* serial, const char* address) {
            std::vector<std::string> v(kFieldCount, std::string());
            v[F序号 - 1] = serial;
            v[F房屋详址 - 1] = gb(address);
            for (int pos : codedFields()) v[size_t(pos - 1)] = "0";
            return v;
        };
        QTest::newRow("sound household")
            << Register{person("1", a, "王芳"), member("2", a, "李明", "王芳")} << QStringList();
        QTest::newRow("no head") << Register{member("1", a, "李明", "王芳")}
                                 << QStringList{"1 本户没有户主"};
        QTest::newRow("two heads") << Register{person("1", a, "王芳"),
                                               [&] {
                                                   auto v = person("2", a, "李明");
                                                   v[F公民身份号码 - 1].clear();
                                                   return v;
                                               }()}
                                   << QStringList{"2 本户另有户主王芳（序号1）"};
        QTest::newRow("member names another")
            << Register{person("1", a, "王芳"), member("2", a, "李明", "张三")}
            << QStringList{"2 户主姓名“张三”与本户户主王芳的姓名不同"};
        QTest::newRow("head names another") << Register{person("1", a, "王芳", "张三")}
                                            << QStringList{"1 户主的户主姓名“张三”与本人姓名不同"};
        // Stored out of order; the heads of the two households share one number.
        QTest::newRow("split by numbering")
            << Register{member("10", a, "李明", "王芳"), person("2", b, "赵丽"),
                        person("1", a, "王芳")}
            << QStringList{"1 公民身份号码与序号2（赵丽）的记录相同",
                           "2 公民身份号码与序号1（王芳）",
                           "10 序号2起是其他房屋详址“青石村1组2号”"};
        QTest::newRow("same person twice")
            << Register{person("1", a, "王芳"), member("2", a, "李明", "王芳"),
                        member("3", a, "李明", "王芳")}
            << QStringList{"2 序号3（李明）的姓名和出生日期与本记录相同",
                           "3 序号2（李明）的姓名和出生日期与本记录相同"};
        auto gone = [](std::vector<std::string> v, const char* kind, const char* date) {
            v[F户籍变动类型 - 1] = kind;
            v[F户籍变动日期 - 1] = date;
            return v;
        };
        QTest::newRow("head died, members stay")
            << Register{gone(person("1", a, "王芳"), "13", "20240101"),
                        member("2", a, "李明", "王芳")}
            << QStringList{"1 户主已注销"};
        QTest::newRow("whole household moved away")
            << Register{gone(person("1", a, "王芳"), "10", "20240101"),
                        gone(member("2", a, "李明", "王芳"), "10", "20240101")}
            << QStringList();
        QTest::newRow("placeholders apart")
            << Register{cleared("1", b),
                        [&] {
                            auto v = person("2", a, "王芳");
                            v[F公民身份号码 - 1].back() = '1';
                            return v;
                        }(),
                        cleared("3", a)}
            << QStringList{"2 校验码", "1 已清空的记录", "3 已清空的记录"};
    }
    void registers() {
        using Register = std::vector<std::vector<std::string>>;
        QFETCH(Register, records);
        QFETCH(QStringList, expected);
        RegisterCheck check(kToday);
        for (const auto& r : records) check.add(r);
        // "序号 part": the finding of that record, whose text holds the part.
        QStringList got;
        for (const Finding& f : check.finish()) got << fromGb(f.serial) + " " + fromGb(f.text);
        QVERIFY2(got.size() == expected.size(), qPrintable(got.join(" | ")));
        for (int i = 0; i < got.size(); ++i) {
            const QString serial = expected[i].section(' ', 0, 0) + ' ';
            QVERIFY2(got[i].startsWith(serial) && got[i].contains(expected[i].section(' ', 1)),
                     qPrintable(got[i]));
        }
    }

    // Generated persons are sound; with every kind of fault planted, every kind is found.
    void generatedRegisters() {
        std::vector<sample::Person> people = sample::generate(3000, 11);
        RegisterCheck sound(today());
        for (const auto& p : people) sound.add(p);
        QCOMPARE(texts(sound.finish()), QStringList());

        const std::vector<int> planted = sample::plantFaults(people, 30, 11);
        for (int n : planted) QVERIFY(n > 0);
        RegisterCheck faulty(today());
        for (const auto& p : people) faulty.add(p);
        const auto counts = countByKind(faulty.finish());
        for (long n : counts) QVERIFY(n > 0);
    }
};

QTEST_APPLESS_MAIN(TestHealth)
#include "tst_health.moc"
