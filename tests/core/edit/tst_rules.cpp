// The entry rules against a small register: each rule's cases, grouped by rule.
#include <QTemporaryDir>
#include <QTest>

#include "core/edit/rules.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"

using namespace reg;
using maint::EntryForm;
using maint::Mode;

namespace {

std::string u(const std::optional<std::string>& message) {
    return message ? gbToUtf8(*message) : std::string("passed");
}

std::vector<std::string> record(const char* serial, const char* address, const char* head,
                                const char* relation, const char* name) {
    std::vector<std::string> v(kFieldCount);
    v[F序号 - 1] = serial;
    v[F房屋详址 - 1] = gb(address);
    v[F户主姓名 - 1] = gb(head);
    v[F与户主关系 - 1] = relation;
    v[F姓名 - 1] = gb(name);
    return v;
}

// A form that passes every rule in add mode: a new household's head.
EntryForm validHead() {
    EntryForm f;
    f[F序号] = "100";
    f[F房屋详址] = gb("新村9号");
    f.choice(F居住类型) = 1;
    f[F居住详址] = gb("新村9号");
    f[F户主姓名] = gb("周九");
    f.choice(F与户主关系) = 1;
    f[F姓名] = gb("周九");
    f.choice(F性别) = 1;
    f[F出生日期] = "19700101";
    f.choice(F户籍登记类型) = 1;
    return f;
}

// A member of the household of 张三 at 甲村1号.
EntryForm validMember() {
    EntryForm f = validHead();
    f[F房屋详址] = gb("甲村1号");
    f[F户主姓名] = gb("张三");
    f.choice(F与户主关系) = 3;
    f[F姓名] = gb("张小");
    return f;
}

}  // namespace

class TestRules : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    RecordStore store;
    std::vector<std::string> lines;

    std::string add(EntryForm f) { return u(validateEntry(Mode::Add, f, store, lines)); }

  private slots:
    void initTestCase() {
        const QString path = pathIn(dir.path(), names::kRegister);
        QVERIFY(createRegisterIfMissing(path));
        QVERIFY(store.OpenTable(path));
        for (const auto& r : {record("1", "甲村1号", "张三", "1", "张三"),
                              record("2", "甲村1号", "张三", "2", "李梅"),
                              record("3", "乙村2号", "王五", "3", "王五"),  // no head recorded
                              record("4", "丙村3号", "赵六", "1", "赵六"),
                              record("5", "丁村5号", "孙七", "1", "孙七"),
                              record("6", "丙村3号", "赵六", "3", "赵小")})
            QVERIFY(store.AppendRecord(r));
        // The mirror list as the tree would show it: 丙村3号 is split by 丁村5号.
        lines = {gb("甲村1号"),     gb("1:张三:张三"), gb("2:张三:李梅"), gb("乙村2号"),
                 gb("3:王五:王五"), gb("丙村3号"),     gb("4:赵六:赵六"), gb("丁村5号"),
                 gb("5:孙七:孙七"), gb("丙村3号"),     gb("6:赵六:赵小")};
    }

    void blankRemoval() {
        QCOMPARE(gbToUtf8(reg::withoutBlanks(gb(" 张 三　"))), std::string("张三"));
        QCOMPARE(gbToUtf8(reg::withoutBlanks(gb("甲　村 1 号"))), std::string("甲村1号"));
        // 啊 is B0 A1 and 埃 is B0 A3: the bytes A1 B0 across them are no blank, nor is a
        // character whose trail byte is A1 followed by one whose lead byte is A1.
        const std::string tricky = gb("啊、");  // B0 A1 A1 A2
        QCOMPARE(reg::withoutBlanks(tricky), tricky);
        EntryForm f = validHead();
        f[F姓名] = gb("周 九");
        f[F备注] = gb("　备　注　");
        f.choice(F性别) = 0;
        QCOMPARE(u(validateEntry(Mode::Add, f, store, lines)), std::string("请选择性别！"));
        QCOMPARE(gbToUtf8(f[F姓名]), std::string("周九"));  // written back, also on failure
        QCOMPARE(gbToUtf8(f[F备注]), std::string("备注"));
    }

    void serialNumberFormat_data() {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<bool>("ok");
        QTest::newRow("12") << "12" << true;
        QTest::newRow("0.5") << "0.5" << true;
        QTest::newRow("trailing point") << "12." << true;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("negative") << "-3" << false;
        QTest::newRow("two points") << "1.2.3" << false;
        QTest::newRow("leading point") << ".5" << false;
        QTest::newRow("1e-8 in decimals") << "0.00000001" << false;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("hint text") << QString::fromUtf8("（按房屋详址升序编排）") << false;
        QTest::newRow("minus inside") << "12-1" << false;
    }
    void serialNumberFormat() {
        QFETCH(QString, serial);
        QFETCH(bool, ok);
        QCOMPARE(maint::isSerialNumber(toGb(serial)), ok);
        EntryForm f = validHead();
        f[F序号] = toGb(serial);
        QCOMPARE(
            add(f) == "请正确输入序号！序号应按房屋详址升序编排！序号只能为正数且不能重复使用！",
            !ok);
    }

    void eightDigitDates_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("ok");
        for (const char* d : {"18000101", "20131231", "99991231", "20130231"})
            QTest::newRow(d) << d << true;
        for (const char* d : {"17991231", "20130001", "20131301", "20130132", "2013-1-1", "",
                              "2013010", "201301011"})
            QTest::newRow(*d ? d : "empty") << d << false;
    }
    void eightDigitDates() {
        QFETCH(QString, date);
        QFETCH(bool, ok);
        QCOMPARE(maint::isEightDigitDate(toGb(date)), ok);
        EntryForm f = validHead();
        f[F出生日期] = toGb(date);
        QCOMPARE(add(f) == "请正确输入出生日期！即年＋月＋日形成的八位数字！", !ok);
    }

    void householdHead() {
        QCOMPARE(add(validHead()), std::string("passed"));
        QCOMPARE(add(validMember()), std::string("passed"));
        EntryForm f = validHead();
        f[F户主姓名] = gb("某人");
        f.choice(F与户主关系) = 3;  // a child at a new address
        QCOMPARE(add(f), std::string("此人为新户的第一人！必须为户主！"));
        // The person named as head is at the address but is not recorded as head.
        f = validMember();
        f[F房屋详址] = gb("乙村2号");
        f[F户主姓名] = gb("王五");
        QCOMPARE(add(f), std::string("此户无户主或户主信息存在逻辑错误！请正确设定户主！"));
        // The head's record names another head.
        f = validMember();
        f[F户主姓名] = gb("李梅");
        QCOMPARE(add(f), std::string("此户无户主或户主信息存在逻辑错误！请正确设定户主！"));
        // Rules 3 and 4 come before the address rule: an empty address of a member.
        f = validMember();
        f[F房屋详址] = "";
        QCOMPARE(add(f), std::string("此人为新户的第一人！必须为户主！"));
        f[F房屋详址] = gb("（同房屋详址人员的此栏填写须完全相同）");
        QCOMPARE(add(f), std::string("此人为新户的第一人！必须为户主！"));
        // A second head at the same address is accepted.
        f = validHead();
        f[F房屋详址] = gb("丁村5号");
        QCOMPARE(add(f), std::string("passed"));
    }

    void addressRules() {
        EntryForm f = validHead();
        f[F房屋详址] = "";
        QCOMPARE(add(f), std::string("请正确输入房屋详址！房屋详址中不能包含英文符号中的冒号！"));
        f[F房屋详址] = gb("甲村:1号");
        QCOMPARE(add(f), std::string("请正确输入房屋详址！房屋详址中不能包含英文符号中的冒号！"));
        f[F房屋详址] = gb("（同房屋详址人员的此栏填写须完全相同）");  // full-width colon-free hint
        QCOMPARE(add(f), std::string("passed"));
        f[F房屋详址] = gb("丙村3号");  // listed twice
        f[F户主姓名] = f[F姓名] = gb("赵六");
        QCOMPARE(add(f), std::string("此户房屋详址在左侧列表中存在多处！请查找并纠正！"));
    }

    void requiredAndPairedFields() {
        struct Case {
            const char* what;
            std::function<void(EntryForm&)> change;
            const char* message;
        };
        const std::vector<Case> cases = {
            {"residence type", [](EntryForm& f) { f.choice(F居住类型) = 0; }, "请选择居住类型！"},
            {"no selection", [](EntryForm& f) { f.choice(F居住类型) = -1; }, "请选择居住类型！"},
            {"residence address", [](EntryForm& f) { f[F居住详址] = " "; }, "请输入居住详址！"},
            {"head's name", [](EntryForm& f) { f[F户主姓名] = ""; }, "请输入户主姓名！"},
            {"relation", [](EntryForm& f) { f.choice(F与户主关系) = 0; }, "请选择与户主关系！"},
            {"name", [](EntryForm& f) { f[F姓名] = ""; }, "请输入姓名！"},
            {"head named otherwise", [](EntryForm& f) { f[F姓名] = gb("周十"); },
             "请正确选择与户主关系！"},
            {"member named as head",
             [](EntryForm& f) {
                 f[F房屋详址] = gb("甲村1号");
                 f[F户主姓名] = f[F姓名] = gb("张三");
                 f.choice(F与户主关系) = 2;
             },
             "请正确选择与户主关系！"},
            {"unmarried, no date", [](EntryForm& f) { f.choice(F婚姻类型) = 1; }, nullptr},
            {"unmarried with a date",
             [](EntryForm& f) {
                 f.choice(F婚姻类型) = 1;
                 f[F婚姻变更日期] = "20000101";
             },
             "请正确选择婚姻类型！"},
            {"date, no marital status", [](EntryForm& f) { f[F婚姻变更日期] = "20000101"; },
             "请正确选择婚姻类型！"},
            {"married without a date", [](EntryForm& f) { f.choice(F婚姻类型) = 2; },
             "请正确输入婚姻变更日期！即年＋月＋日形成的八位数字！"},
            {"married with a date",
             [](EntryForm& f) {
                 f.choice(F婚姻类型) = 2;
                 f[F婚姻变更日期] = "20000101";
             },
             nullptr},
            {"id of 15", [](EntryForm& f) { f[F公民身份号码] = "ABCDEFGHIJKLMNO"; }, nullptr},
            {"id of 18", [](EntryForm& f) { f[F公民身份号码] = "11010519491231002X"; }, nullptr},
            {"id of 17", [](EntryForm& f) { f[F公民身份号码] = "11010519491231002"; },
             "请正确输入十五位或十八位公民身份号码！"},
            {"id of 16", [](EntryForm& f) { f[F公民身份号码] = "1101051949123100"; },
             "请正确输入十五位或十八位公民身份号码！"},
            {"id with a minus", [](EntryForm& f) { f[F公民身份号码] = "110105-491231002"; },
             "请正确输入十五位或十八位公民身份号码！"},
            {"registration type", [](EntryForm& f) { f.choice(F户籍登记类型) = 0; },
             "请选择户籍登记类型！"},
            {"change without a date", [](EntryForm& f) { f.choice(F户籍变动类型) = 12; },
             "请正确输入户籍变动日期！即年＋月＋日形成的八位数字！"},
            {"change date without a type", [](EntryForm& f) { f[F户籍变动日期] = "20200101"; },
             "请选择户籍变动类型！"},
            {"change with its date",
             [](EntryForm& f) {
                 f.choice(F户籍变动类型) = 12;
                 f[F户籍变动日期] = "20200101";
             },
             nullptr},
            {"never tested fields",
             [](EntryForm& f) {
                 f.choice(F受教育程度) = -1;
                 f.choice(F民族) = 0;
             },
             nullptr},
        };
        for (const auto& c : cases) {
            EntryForm f = validHead();
            c.change(f);
            QCOMPARE(add(f).c_str(), c.message ? c.message : "passed");
        }
    }

    void serialConflictInAddMode() {
        EntryForm f = validHead();
        f[F序号] = "4";
        QCOMPARE(add(f), std::string("序号已存在！"));
        f[F序号] = "4.0";  // texts are compared, not numbers
        QCOMPARE(add(f), std::string("passed"));
    }

    void modifyMode() {
        // The store stands on the selected record: 孙七, sole person at 丁村5号.
        store.GoTo(5);
        const std::string label = gb("5:孙七:孙七");
        auto modify = [&](EntryForm f, std::string_view selected) {
            const auto result = u(validateEntry(Mode::Modify, f, store, lines, selected));
            return result;
        };
        EntryForm f = validHead();
        f[F序号] = "5";
        f[F房屋详址] = gb("丁村5号");
        f[F户主姓名] = f[F姓名] = gb("孙七");
        QCOMPARE(modify(f, label), std::string("passed"));  // unchanged serial number
        QCOMPARE(store.RecordNumber(), 5L);
        // Another person's label selected while the one holder of 5 is this record.
        QCOMPARE(modify(f, gb("5:孙七:孙八")), std::string("序号已存在！"));
        f[F序号] = "1";  // held by 张三
        QCOMPARE(modify(f, label), std::string("序号已存在！"));
        // Moved to an address that has its own group, serial number unchanged: refused.
        f = validHead();
        f[F序号] = "5";
        f[F房屋详址] = gb("乙村2号");
        f[F户主姓名] = f[F姓名] = gb("孙七");
        QCOMPARE(modify(f, label),
                 std::string("此人将在左侧列表中已存在的房屋详址之间切换！但是序号尚未更改！"
                             "请根据切换后的房屋详址更改序号！"));
        f[F序号] = "3.5";
        QCOMPARE(modify(f, label), std::string("passed"));
        // To a new address the switch rule does not apply.
        f[F序号] = "5";
        f[F房屋详址] = gb("丁村4号");
        QCOMPARE(modify(f, label), std::string("passed"));
        // The same rule set in add mode has no switch rule.
        f[F房屋详址] = gb("乙村2号");
        f[F序号] = "40";
        QCOMPARE(add(f), std::string("passed"));
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
