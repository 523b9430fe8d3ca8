// The person record, its code tables and the GB18030 conversion.
#include <QTest>

#include "core/register/person.h"
#include "core/register/text.h"

using namespace reg;

namespace {
std::string hex(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        std::snprintf(buf, sizeof buf, "%02X ", c);
        out += buf;
    }
    if (!out.empty()) out.pop_back();
    return out;
}
}  // namespace

class TestRegisterData : public QObject {
    Q_OBJECT
  private slots:
    void rareCharactersSurviveTheRoundTrip_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("bytes");
        QTest::newRow("ext-A 䶮") << QString::fromUtf8("䶮") << "FE 9F";
        QTest::newRow("ext-B 𠮷") << QString::fromUtf8("𠮷") << "95 34 B2 35";
        QTest::newRow("common") << QString::fromUtf8("序号") << "D0 F2 BA C5";
        QTest::newRow("full-width blank") << QString::fromUtf8("\u3000") << "A1 A1";
        QTest::newRow("ascii") << QStringLiteral("A1 :") << "41 31 20 3A";
    }
    void rareCharactersSurviveTheRoundTrip() {
        QFETCH(QString, text);
        QFETCH(QString, bytes);
        const std::string gbText = toGb(text);
        QCOMPARE(QString::fromStdString(hex(gbText)), bytes);
        QCOMPARE(fromGb(gbText), text);
        QCOMPARE(utf8ToGb(text.toStdString()), gbText);
        QCOMPARE(gbToUtf8(gbText), text.toStdString());
    }

    // The file's UTF-8 read into GB18030 gives the encoder's bytes for every character of the
    // basic plane, and malformed or mixed texts what the encoder makes of them.
    void readingTheFileGivesTheEncodersBytes() {
        for (char32_t c = 0x80; c < 0x10000; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) continue;
            const QString one{QChar(char16_t(c))};
            if (utf8ToGb(one.toStdString()) != toGb(one)) QFAIL(qPrintable(QString::number(c, 16)));
        }
        for (const char* raw : {"\xC0\x80"
                                "a",
                                "a\xE4\xB8", "\xED\xA0\x80",
                                "王\xF0\xA0\xAE\xB7"
                                "x"}) {
            const std::string utf8(raw);
            QCOMPARE(utf8ToGb(utf8), toGb(QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))));
        }
    }

    void characterLengths() {
        QCOMPARE(gbCharLength(gb("䶮")), 2);
        QCOMPARE(gbCharLength(gb("𠮷王")), 4);
        QCOMPARE(gbCharLength("a"), 1);
        QCOMPARE(gbCharLength(std::string("\x81", 1)), 1);  // a stray lead byte at the end
        QCOMPARE(gbCharLength(""), 0);
    }

    void fieldsInColumnOrder() {
        QCOMPARE(int(fieldNames().size()), kFieldCount);
        QCOMPARE(fieldName(1), gb("序号"));
        QCOMPARE(fieldName(6), gb("与户主关系"));
        QCOMPARE(fieldName(22), gb("备注"));
        QCOMPARE(fieldName(0), std::string());
        QCOMPARE(fieldName(23), std::string());
        QCOMPARE(fieldPosition(gb("公民身份号码")), 14);
        QCOMPARE(fieldPosition(gb("无此字段")), 0);
        // Every field holds at least what the form accepts.
        for (const auto& f : fieldDefs()) QVERIFY(f.width >= f.formLimit);
    }

    void codeTablesHaveTheirSizesAndNames() {
        const std::vector<std::pair<int, int>> sizes = {
            {F居住类型, 6}, {F与户主关系, 11}, {F性别, 2},         {F受教育程度, 7},
            {F婚姻类型, 7}, {F民族, 11},       {F户籍登记类型, 7}, {F户籍变动类型, 13}};
        for (auto [field, size] : sizes) {
            const CodeTable* t = codeTableOf(field);
            QVERIFY(t);
            QCOMPARE(t->name, fieldName(field));
            QCOMPARE(int(t->names.size()), size);
        }
        QVERIFY(!codeTableOf(F姓名));
        QCOMPARE(codeTableOf(F户籍变动类型)->names.back(), gb("死亡"));
        QCOMPARE(codeTableOf(F居住类型)->names[5], gb("居住在其他国家或地区"));
        // Code fields are wide enough for any name the import writes before converting it.
        for (int f : codedFields())
            for (const auto& n : codeTableOf(f)->names)
                QVERIFY(int(n.size()) <= fieldDefs()[size_t(f - 1)].width);
    }

    void listTextsHaveATwoCharacterNumberColumn() {
        const CodeTable& relation = *codeTableOf(F与户主关系);
        QCOMPARE(listText(relation, 1), gb("1 本人"));
        QCOMPARE(listText(relation, 9), gb("9 岳父岳母"));
        QCOMPARE(listText(relation, 10), gb("10兄弟姐妹"));
        QCOMPARE(listText(relation, 0), std::string("0 "));
        QCOMPARE(listText(*codeTableOf(F户籍变动类型), 13), gb("13死亡"));
        const auto all = listTexts(*codeTableOf(F性别));
        QCOMPARE(all.size(), size_t(3));
        QCOMPARE(all[2], gb("2 女"));
        const auto form = formList(relation);
        QCOMPARE(form.size(), size_t(12));
        QCOMPARE(form[0], std::string());
        QCOMPARE(form[11], gb("其他"));
    }

    void storedCodeToListPosition_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("position");
        // A list of 14 entries: the empty entry and the 13 registration changes.
        QTest::newRow("code") << "3" << 3;
        QTest::newRow("last") << "13" << 13;
        QTest::newRow("beyond the table") << "14" << -1;
        QTest::newRow("nothing chosen") << "0" << 0;
        QTest::newRow("no selection") << "-1" << -1;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("not a number") << "本人" << 0;
        QTest::newRow("leading digits") << "5abc" << 5;
        QTest::newRow("fraction") << "2.7" << 2;
        QTest::newRow("other negative") << "-5" << -1;
        QTest::newRow("huge") << "99999999999999999999" << -1;
    }
    void storedCodeToListPosition() {
        QFETCH(QString, stored);
        QFETCH(int, position);
        QCOMPARE(codeToListPosition(toGb(stored), 14), position);
    }

    void listPositionToStoredText() {
        QCOMPARE(listPositionToStored(-1), std::string("-1"));
        QCOMPARE(listPositionToStored(0), std::string("0"));
        QCOMPARE(listPositionToStored(11), std::string("11"));
    }

    void codesAndNamesForSpreadsheets() {
        const CodeTable& sex = *codeTableOf(F性别);
        QCOMPARE(codeToName(sex, "1"), gb("男"));
        QCOMPARE(codeToName(sex, "0"), std::string());
        QCOMPARE(codeToName(sex, "-1"), std::string());
        QCOMPARE(codeToName(sex, "3"), std::string("3"));    // unknown: unchanged
        QCOMPARE(codeToName(sex, "01"), std::string("01"));  // not exactly a code
        QCOMPARE(codeToName(sex, ""), std::string());
        QCOMPARE(nameToCode(sex, gb("女")).value_or("?"), std::string("2"));
        QVERIFY(!nameToCode(sex, gb("女性")));
        QCOMPARE(nameToCode(*codeTableOf(F户籍变动类型), gb("死亡")).value_or("?"),
                 std::string("13"));
    }

    void personsAndHeads() {
        // Persons compare greater than "0" byte for byte; heads are exactly "1".
        QVERIFY(isPerson("1") && isHead("1"));
        QVERIFY(isPerson("11") && !isHead("11"));
        QVERIFY(isPerson("2"));
        QVERIFY(!isPerson("0") && !isHead("0"));
        QVERIFY(!isPerson("-1"));
        QVERIFY(!isPerson(""));
        QVERIFY(isPerson(gb("本人")));  // any non-ASCII text sorts above "0"
        QVERIFY(!isHead("1 "));
    }

    void numericOrderOfSerialNumbers() {
        QCOMPARE(leadingNumber("9"), 9.0);
        QCOMPARE(leadingNumber("10"), 10.0);
        QCOMPARE(leadingNumber("1.5"), 1.5);
        QCOMPARE(leadingNumber("-3"), -3.0);
        QCOMPARE(leadingNumber("abc"), 0.0);
        QCOMPARE(leadingNumber(""), 0.0);
        QCOMPARE(leadingNumber("-"), 0.0);
        QCOMPARE(leadingNumber("12a"), 12.0);
        QVERIFY(leadingNumber("9") < leadingNumber("10"));
    }
};

QTEST_GUILESS_MAIN(TestRegisterData)
#include "tst_register_data.moc"
