// Certificates: templates filled in from the register, the issue date in words, the relation
// through the head, which templates fit, and the log: numbers, voids, settle after a crash,
// reprints and verification.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

#include "core/edit/certificate.h"
#include "core/edit/certificatelog.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/sqlitedb.h"
#include "core/register/text.h"

#ifdef Q_OS_UNIX
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QRandomGenerator>
#endif

using namespace cert;
using reg::gb;

namespace {

using Values = std::vector<std::string>;

Values set(Values v, int pos, const std::string& value) {
    v[size_t(pos - 1)] = value;
    return v;
}

// 王小明, the head's son, on the register.
Values xiaoming() {
    Values v(reg::kFieldCount);
    const std::pair<int, const char*> fields[] = {{reg::F序号, "2"},
                                                  {reg::F房屋详址, "澄禾村一组8号"},
                                                  {reg::F居住类型, "1"},
                                                  {reg::F居住详址, "澄禾村一组8号"},
                                                  {reg::F户主姓名, "王建国"},
                                                  {reg::F与户主关系, "3"},
                                                  {reg::F姓名, "王小明"},
                                                  {reg::F性别, "1"},
                                                  {reg::F出生日期, "20010305"},
                                                  {reg::F民族, "1"},
                                                  {reg::F公民身份号码, "110101200103050013"},
                                                  {reg::F户籍登记详址, "澄禾村一组8号"},
                                                  {reg::F户籍变动类型, "12"},
                                                  {reg::F户籍变动日期, "20010305"}};
    for (const auto& [pos, value] : fields) v[size_t(pos - 1)] = gb(value);
    return v;
}

Values jianguo() {
    Values v = set(xiaoming(), reg::F序号, "1");
    v = set(v, reg::F姓名, gb("王建国"));
    v = set(v, reg::F与户主关系, "1");
    v = set(v, reg::F出生日期, "19751120");
    return set(v, reg::F公民身份号码, "110101197511200019");
}

const QDateTime kAt(QDate(2026, 12, 8), QTime(9, 30));

Template bodyOnly(const QString& body) {
    Template t = builtInTemplate(Kind::Kinship);
    t.body = body;
    return t;
}

}  // namespace

class TestCertificate : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    QString folder_;

    void configure() { QVERIFY(saveSettings(folder_, {"澄禾社区居民委员会", "澄禾证"}).done()); }

    Taken issueOne(const QDateTime& at, const Values& person = xiaoming()) {
        return take(folder_, builtInTemplate(Kind::Household), {person, {}, {}, "办理入学"}, at);
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        folder_ = dir_->path();
    }

    void placeholders_data() {
        QTest::addColumn<QString>("body");
        QTest::addColumn<int>("field");          // 0: the person as it is
        QTest::addColumn<QByteArray>("stored");  // GB18030
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QStringList>("empty");
        const QStringList none;
        QTest::newRow("text") << "{姓名}，{户主姓名}" << 0 << QByteArray() << "王小明，王建国"
                              << none;
        QTest::newRow("rare characters, four-byte too")
            << "{姓名}" << int(reg::F姓名) << QByteArray("\xCD\xF5\xFE\x9F\x95\x34\xB2\x35")
            << "王䶮𠮷" << none;
        QTest::newRow("codes by name") << "{性别}{民族}{与户主关系}{居住类型}" << 0 << QByteArray()
                                       << "男汉族子女居住在本村居" << none;
        QTest::newRow("last code of a table")
            << "{户籍变动类型}" << int(reg::F户籍变动类型) << QByteArray("13") << "死亡" << none;
        QTest::newRow("code outside its table")
            << "{民族}" << int(reg::F民族) << QByteArray("12") << kBlank << QStringList{"民族"};
        QTest::newRow("no code chosen") << "{婚姻类型}" << int(reg::F婚姻类型) << QByteArray("0")
                                        << kBlank << QStringList{"婚姻类型"};
        QTest::newRow("date") << "{出生日期}" << 0 << QByteArray() << "2001年3月5日" << none;
        QTest::newRow("no such day")
            << "{户籍变动日期}" << int(reg::F户籍变动日期) << QByteArray("20010231") << kBlank
            << QStringList{"户籍变动日期"};
        QTest::newRow("empty text, listed once")
            << "{工作单位}与{工作单位}" << 0 << QByteArray() << kBlank + "与" + kBlank
            << QStringList{"工作单位"};
        QTest::newRow("blank text")
            << "{备注}" << int(reg::F备注) << QByteArray("  ") << kBlank << QStringList{"备注"};
        QTest::newRow("certificate's own")
            << "{编号} {村居名称} {开具日期} {事由}" << 0 << QByteArray()
            << "澄禾证〔2026〕第0007号 澄禾社区 "
               "二〇二六年十二月八日 办理 入学"
            << none;
        QTest::newRow("second person and relation")
            << "{乙方姓名}是{姓名}的{关系}" << 0 << QByteArray() << "王建国是王小明的父亲" << none;
        QTest::newRow("members in a sentence") << "成员：{家庭成员表}" << 0 << QByteArray()
                                               << "成员：王建国（本人）、王小明（子女）" << none;
        QTest::newRow("unknown name stays as typed")
            << "{姓明}{姓名" << 0 << QByteArray() << "{姓明}{姓名" << none;
    }
    void placeholders() {
        QFETCH(QString, body);
        QFETCH(int, field);
        QFETCH(QByteArray, stored);
        QFETCH(QString, expected);
        QFETCH(QStringList, empty);
        Values person = xiaoming();
        if (field) person = set(person, field, stored.toStdString());
        const Subject subject{person, jianguo(), {jianguo(), xiaoming()}, "办理\t入学"};
        const Rendered r =
            render(bodyOnly(body), subject, {"澄禾证〔2026〕第0007号", "澄禾社区", kAt.date()});
        QCOMPARE(r.body.size(), size_t(1));
        QCOMPARE(r.body[0].text, expected);
        QCOMPARE(r.empty, empty);
    }

    void unknownPlaceholdersAreListed() {
        const Rendered r =
            render(bodyOnly("{姓明}"), {xiaoming(), {}, {}, {}}, {{}, {}, kAt.date()});
        QCOMPARE(r.unknown, QStringList{"姓明"});
        QCOMPARE(unknownPlaceholders(bodyOnly("{乙方姓名}{关系}{户主}")), QStringList{"户主"});
        for (const Template& t : builtInTemplates()) QVERIFY(unknownPlaceholders(t).isEmpty());
    }

    void dateInWords_data() {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QString>("words");
        QTest::newRow("ones") << QDate(2026, 12, 8) << "二〇二六年十二月八日";
        QTest::newRow("ten") << QDate(2020, 1, 10) << "二〇二〇年一月十日";
        QTest::newRow("thirty-one") << QDate(2031, 10, 31) << "二〇三一年十月三十一日";
        QTest::newRow("twenty, zeros") << QDate(2000, 2, 20) << "二〇〇〇年二月二十日";
        QTest::newRow("teens") << QDate(2019, 11, 19) << "二〇一九年十一月十九日";
    }
    void dateInWords() {
        QFETCH(QDate, date);
        QFETCH(QString, words);
        QCOMPARE(cert::dateInWords(date), words);
    }

    void relation_data() {
        QTest::addColumn<QString>("a");  // 与户主关系,性别,出生日期 of each
        QTest::addColumn<QString>("b");
        QTest::addColumn<QString>("relation");
        QTest::newRow("head's wife") << "1,1,19750101"
                                     << "2,2,19760101"
                                     << "妻子";
        QTest::newRow("the head to his son") << "3,1,20010101"
                                             << "1,1,19750101"
                                             << "父亲";
        QTest::newRow("head's daughter-in-law") << "1,2,19750101"
                                                << "7,2,20000101"
                                                << "儿媳";
        QTest::newRow("the head to his son-in-law") << "7,1,20000101"
                                                    << "1,1,19750101"
                                                    << "岳父";
        QTest::newRow("older sister") << "3,1,20050101"
                                      << "3,2,20010101"
                                      << "姐姐";
        QTest::newRow("younger brother") << "1,2,19750101"
                                         << "10,1,19800101"
                                         << "弟弟";
        QTest::newRow("twins") << "3,1,20010101"
                               << "3,1,20010101"
                               << "兄弟";
        QTest::newRow("spouse's mother") << "2,2,19760101"
                                         << "5,2,19500101"
                                         << "婆婆";
        QTest::newRow("the head's wife to her mother") << "2,2,19760101"
                                                       << "9,2,19500101"
                                                       << "母亲";
        QTest::newRow("grandchild: son's or daughter's") << "1,1,19750101"
                                                         << "4,1,20200101"
                                                         << "";
        QTest::newRow("a child and an in-law: own spouse or sibling's") << "3,1,20010101"
                                                                        << "7,2,20000101"
                                                                        << "";
        QTest::newRow("sex not recorded") << "1,1,19750101"
                                          << "7,0,20000101"
                                          << "";
        QTest::newRow("both heads") << "1,1,19750101"
                                    << "1,2,19760101"
                                    << "";
    }
    void relation() {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(QString, relation);
        const auto person = [](const QString& fields, const char* serial) {
            const QStringList p = fields.split(',');
            Values v = set(xiaoming(), reg::F与户主关系, p[0].toStdString());
            v = set(v, reg::F性别, p[1].toStdString());
            v = set(v, reg::F序号, serial);
            return set(v, reg::F出生日期, p[2].toStdString());
        };
        QCOMPARE(relationBetween(person(a, "1"), person(b, "2")), relation);
    }

    void relationNeedsOneHouseholdAndTwoPersons() {
        QCOMPARE(relationBetween(xiaoming(), jianguo()), QString("父亲"));
        QCOMPARE(relationBetween(xiaoming(), set(jianguo(), reg::F房屋详址, gb("别处"))),
                 QString());
        QCOMPARE(relationBetween(xiaoming(), xiaoming()), QString());
    }

    void templatesFitByStanding_data() {
        QTest::addColumn<QString>("change");   // 户籍变动类型, 户籍变动日期
        QTest::addColumn<QString>("fitting");  // the kinds that fit, as digits of Kind
        QTest::newRow("born here") << "12,20010305"
                                   << "012";
        QTest::newRow("moved within") << "1,20200101"
                                      << "012";
        QTest::newRow("moved to another province") << "9,20200101"
                                                   << "23";
        QTest::newRow("moved abroad") << "11,20200101"
                                      << "23";
        QTest::newRow("died") << "13,20200101"
                              << "24";
        QTest::newRow("dies after the issue date") << "13,20270101"
                                                   << "012";
    }
    void templatesFitByStanding() {
        QFETCH(QString, change);
        QFETCH(QString, fitting);
        const QStringList c = change.split(',');
        Values v = set(xiaoming(), reg::F户籍变动类型, c[0].toStdString());
        v = set(v, reg::F户籍变动日期, c[1].toStdString());
        QString got;
        for (int k = 0; k < kKindCount; ++k)
            if (fits(Kind(k), v, "20261208")) got += QString::number(k);
        QCOMPARE(got, fitting);
    }

    // Each built-in template, for a complete person it fits, leaves nothing to fill by hand.
    void builtInTemplatesNeedNothingByHand() {
        const Values here = set(xiaoming(), reg::F户籍登记类型, "1");
        const Values moved =
            set(set(set(here, reg::F户籍变动类型, "9"), reg::F户籍变动日期, "20250101"),
                reg::F迁自迁往何地, gb("江苏省南京市"));
        const Values died =
            set(set(here, reg::F户籍变动类型, "13"), reg::F户籍变动日期, "20250101");
        const Values of[] = {here, here, here, moved, died};
        for (const Template& t : builtInTemplates()) {
            const Values& person = of[int(t.kind)];
            QVERIFY(fits(t.kind, person, "20261208"));
            const Rendered r = render(t, {person, jianguo(), {jianguo(), here}, "办理入学"},
                                      {"澄禾证〔2026〕第0001号", "澄禾社区", kAt.date()});
            QVERIFY2(r.empty.isEmpty(), qPrintable(t.name + ": " + r.empty.join(',')));
            QVERIFY(r.unknown.isEmpty());
            QCOMPARE(r.body.back().text, QString("特此证明。"));
        }
    }

    void kinshipPageAndItsTextRoundTrip() {
        const Template& t = builtInTemplate(Kind::Kinship);
        const Values member = set(set(xiaoming(), reg::F公民身份号码, ""), reg::F序号, "3");
        const Subject two{xiaoming(), jianguo(), {xiaoming(), member, jianguo()}, "继承"};
        const Rendered page = render(t, two, {"澄禾证〔2026〕第0001号", "澄禾社区", kAt.date()});
        QCOMPARE(page.title, QString("亲属关系证明"));
        QCOMPARE(page.subtitle, QString("编号：澄禾证〔2026〕第0001号"));
        QCOMPARE(page.closing, (QStringList{"澄禾社区", "二〇二六年十二月八日"}));
        QVERIFY(page.body[1].isTable);
        QCOMPARE(page.body[1].rows[0],
                 (MemberRow{"王建国", "本人", "男", "1975年11月20日", "110101197511200019"}));
        QCOMPARE(page.body[1].rows[1].name, QString("王小明"));  // the head first, then as given
        QCOMPARE(page.empty, QStringList{"家庭成员表"});         // the third member's identity
        QVERIFY(page.body[2].text.contains("是王小明的父亲"));
        QCOMPARE(page.body.back().text, QString("特此证明。"));
        QCOMPARE(textToRendered(renderedToText(page)), page);
        // Without a second person its paragraph is left out, not printed with blanks.
        const Rendered one = render(t, {xiaoming(), {}, {jianguo()}, "继承"}, {});
        QCOMPARE(one.body.size(), page.body.size() - 1);
        QVERIFY(!one.empty.contains("乙方姓名"));
    }

    void qrPayloadRoundTrip() {
        const QString digest = digestOf("x");
        const QString qr = qrPayload("澄禾证〔2026〕第0001号", kAt.date(), "王|明", digest);
        QrFields f;
        QVERIFY(parseQrPayload(qr, &f));
        QCOMPARE(f.name, QString("王|明"));
        QCOMPARE(f.date, kAt.date());
        QCOMPARE(f.digest, digest);
        QVERIFY(!parseQrPayload("澄禾证〔2026〕第0001号|2026-12-08|王小明|abc", &f));
    }

    void nothingIsIssuedWithoutSettings() {
        QCOMPARE(issueOne(kAt).answer.kind, Answer::Kind::Refused);
        QCOMPARE(saveSettings(folder_, {"澄禾", "澄禾|证"}).kind, Answer::Kind::Refused);
        configure();
        QCOMPARE(settings(folder_).prefix, QString("澄禾证"));
        QVERIFY(issueOne(kAt).answer.done());
    }

    void numbersRestartEachYearAndAreNeverReused() {
        configure();
        const QDateTime newYear(QDate(2027, 1, 1), QTime(8, 0));
        QCOMPARE(nextNumber(folder_, kAt.date()), QString("澄禾证〔2026〕第0001号"));
        const Taken a = issueOne(kAt);
        QVERIFY(markIssued(folder_, a.id).done());
        const Taken cancelled = issueOne(kAt);
        QVERIFY(markVoid(folder_, cancelled.id, "打印机卡纸", kAt).done());
        QCOMPARE(markVoid(folder_, cancelled.id, "再次", kAt).kind, Answer::Kind::Refused);
        const Taken c = issueOne(kAt);
        const Taken d = issueOne(newYear);
        QCOMPARE(a.number, QString("澄禾证〔2026〕第0001号"));
        QCOMPARE(c.number, QString("澄禾证〔2026〕第0003号"));
        QCOMPARE(d.number, QString("澄禾证〔2027〕第0001号"));
        QVERIFY(a.page.subtitle.endsWith(a.number));
        const auto r = record(folder_, cancelled.number);
        QCOMPARE(r->state, State::Void);
        QCOMPARE(r->voidReason, QString("打印机卡纸"));
        QCOMPARE(records(folder_).size(), size_t(4));
    }

    void aTemplateThatDoesNotFitIsRefused() {
        configure();
        const Values died =
            set(set(xiaoming(), reg::F户籍变动类型, "13"), reg::F户籍变动日期, "20250101");
        QCOMPARE(issueOne(kAt, died).answer.kind, Answer::Kind::Refused);
        QVERIFY(take(folder_, builtInTemplate(Kind::Death), {died, {}, {}, {}}, kAt).answer.done());
    }

    void issuingLeavesAFactInTheHistory() {
        configure();
        const Taken t = issueOne(kAt);
        QVERIFY(markIssued(folder_, t.id).done());
        const auto entries = reg::history::entries(folder_);
        QCOMPARE(entries.size(), size_t(1));
        QCOMPARE(entries[0].action, reg::history::Action::Certificate);
        QCOMPARE(reg::history::actionName(entries[0].action), QString("开具证明"));
        QCOMPARE(reg::fromGb(entries[0].name), QString("王小明"));
        QCOMPARE(entries[0].file, "户籍证明 " + t.number);
        QCOMPARE(entries[0].time, QString("2026-12-08 09:30:00"));
        // A crash between the fact and its mark: the settle finds the fact and writes no second.
        {
            reg::sqlite::Database db;
            QVERIFY(db.open(dir_->filePath(kLogFileName), reg::sqlite::Access::ReadWrite));
            QVERIFY(db.exec("UPDATE certificates SET recorded = 0"));
        }
        (void)settle(folder_, kAt);
        QCOMPARE(reg::history::entries(folder_).size(), size_t(1));
    }

    void settleVoidsWhatACrashLeftButNotWhatIsUnderWay() {
        configure();
        const Taken mine = issueOne(kAt);
        QCOMPARE(settle(folder_, kAt).interrupted, 0);
        QCOMPARE(record(folder_, mine.number)->state, State::Issuing);
        QVERIFY(markIssued(folder_, mine.id).done());
#ifdef Q_OS_UNIX
        const pid_t pid = fork();
        if (pid == 0) {
            (void)issueOne(kAt);
            _exit(0);  // ends without marking it, as a crash would
        }
        waitpid(pid, nullptr, 0);
        QCOMPARE(settle(folder_, kAt.addSecs(60)).interrupted, 1);
        const auto cut = record(folder_, "澄禾证〔2026〕第0002号");
        QCOMPARE(cut->state, State::Void);
        QCOMPARE(cut->voidReason, kInterrupted);
        QCOMPARE(cut->voidTime, QString("2026-12-08 09:31:00"));
        QCOMPARE(issueOne(kAt).number, QString("澄禾证〔2026〕第0003号"));
#endif
    }

    void reprintGivesTheStoredText() {
        configure();
        const Taken t = issueOne(kAt);
        QCOMPARE(takeReprint(folder_, t.number, kAt).answer.kind, Answer::Kind::Refused);
        QVERIFY(markIssued(folder_, t.id).done());
        const Reprint again = takeReprint(folder_, t.number, kAt.addDays(30));
        QVERIFY(again.answer.done());
        QCOMPARE(again.page, t.page);
        QVERIFY(finishReprint(folder_, again.id, true).done());
        const Reprint jammed = takeReprint(folder_, t.number, kAt.addDays(31));
        QVERIFY(finishReprint(folder_, jammed.id, false, "卡纸").done());
        QCOMPARE(record(folder_, t.number)->reprints, 1);
    }

    void verificationAnswers() {
        configure();
        const Taken good = issueOne(kAt);
        QVERIFY(markIssued(folder_, good.id).done());
        const Taken gone = issueOne(kAt);
        QVERIFY(markVoid(folder_, gone.id, "写错事由", kAt).done());
        const auto verdict = [&](const QString& input) { return verify(folder_, input).verdict; };
        QCOMPARE(verdict(good.number), Verdict::Matches);
        QCOMPARE(verdict(" " + good.qr + "\n"), Verdict::Matches);
        QCOMPARE(verdict("澄禾证〔2026〕第0099号"), Verdict::NoSuchNumber);
        QCOMPARE(verdict(gone.number), Verdict::Void);
        QCOMPARE(verdict(gone.qr), Verdict::Void);
        QString forged = good.qr;
        forged.replace("王小明", "王大明");
        QCOMPARE(verdict(forged), Verdict::ContentDiffers);
        QCOMPARE(verdict(good.number + "|2026-12-08|王小明"), Verdict::ContentDiffers);
        // The logged text altered afterwards no longer has its digest.
        {
            reg::sqlite::Database db;
            QVERIFY(db.open(dir_->filePath(kLogFileName), reg::sqlite::Access::ReadWrite));
            QVERIFY(db.exec("UPDATE certificates SET text = replace(text, '入学', '出国')"));
        }
        QCOMPARE(verdict(good.number), Verdict::ContentDiffers);
        QCOMPARE(verdictText(Verdict::Matches), QString("记录相符"));
    }

    void ownTemplates() {
        Template mine = builtInTemplate(Kind::Residence);
        QCOMPARE(saveTemplate(folder_, mine).kind, Answer::Kind::Refused);  // a built-in name
        mine.name = "居住证明（简）";
        mine.body = "{姓名}现居住于{居住地}。";
        QCOMPARE(saveTemplate(folder_, mine).kind, Answer::Kind::Refused);
        mine.body = "{姓名}现居住于{居住详址}。\r\n特此证明。";
        QVERIFY(saveTemplate(folder_, mine).done());
        const std::vector<Template> all = templates(folder_);
        QCOMPARE(all.size(), size_t(kKindCount + 1));
        QCOMPARE(all.back().body, QString("{姓名}现居住于{居住详址}。\n特此证明。"));
        QCOMPARE(all.back().kind, Kind::Residence);
        QVERIFY(!all.back().builtIn);
        QCOMPARE(all[1].body, builtInTemplate(Kind::Residence).body);
        QVERIFY(removeTemplate(folder_, mine.name).done());
        QCOMPARE(templates(folder_).size(), size_t(kKindCount));
    }

    void aDamagedLogIsSetAsideAndTheNewOneIsPrivate() {
        QFile junk(dir_->filePath(kLogFileName));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        const LogHealth h = settle(folder_, kAt);
        QCOMPARE(h.setAside, QStringList{"证明开具记录-损坏-20261208-093000.wav"});
        QVERIFY(QFile::exists(dir_->filePath(h.setAside[0])));
        configure();
        QVERIFY(issueOne(kAt).answer.done());
        QCOMPARE(QFile::permissions(dir_->filePath(kLogFileName)) &
                     (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());
    }

#ifdef Q_OS_UNIX
    // Killed at random while issuing: the numbers run without a gap, and after the settle none is
    // left under way, every void one says why and every issued one has its history fact.
    void killedWhileIssuing() {
        configure();
        int killed = 0;
        for (int round = 0; round < 25; ++round) {
            const pid_t pid = fork();
            if (pid == 0) {
                for (;;) {
                    const Taken t = issueOne(kAt);
                    if (t.id) (void)markIssued(folder_, t.id);
                }
            }
            usleep(useconds_t(QRandomGenerator::global()->bounded(5000, 120000)));
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            killed += WIFSIGNALED(status);
            (void)settle(folder_, kAt);
        }
        QCOMPARE(killed, 25);
        const std::vector<Record> all = records(folder_);
        qInfo("%zu numbers taken, %d of them voided", all.size(),
              int(std::count_if(all.begin(), all.end(),
                                [](const Record& r) { return r.state == State::Void; })));
        QVERIFY(!all.empty());
        int issued = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            QCOMPARE(all[i].serial, int(all.size() - i));
            QVERIFY(all[i].state != State::Issuing);
            if (all[i].state == State::Void) QCOMPARE(all[i].voidReason, kInterrupted);
            issued += all[i].state == State::Issued;
        }
        QCOMPARE(int(reg::history::entries(folder_).size()), issued);
    }
#endif
};

QTEST_GUILESS_MAIN(TestCertificate)
#include "tst_certificate.moc"
