#include "core/edit/certificate.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include "core/edit/registercard.h"
#include "core/query/standing.h"
#include "core/register/person.h"
#include "core/register/text.h"

namespace cert {

using namespace reg;

namespace {

const QString kSecond = QStringLiteral("乙方");
const QString kRelation = QStringLiteral("关系");
const QString kNumber = QStringLiteral("编号");
const QString kReason = QStringLiteral("事由");
const QString kVillage = QStringLiteral("村居名称");
const QString kDate = QStringLiteral("开具日期");
const QString kMembers = QStringLiteral("家庭成员表");

const QString kClosing = QStringLiteral("{村居名称}\n{开具日期}");
const QString kSubtitle = QStringLiteral("编号：{编号}");

Template builtIn(Kind kind, const char* name, const char* body) {
    Template t;
    t.name = QString::fromUtf8(name);
    t.kind = kind;
    t.title = t.name;
    t.subtitle = kSubtitle;
    t.body = QString::fromUtf8(body);
    t.closing = kClosing;
    t.builtIn = true;
    return t;
}

std::string_view valueOf(const std::vector<std::string>& values, int pos) {
    return size_t(pos) <= values.size() ? std::string_view(values[size_t(pos - 1)])
                                        : std::string_view();
}

bool isDateField(int pos) {
    return pos == F出生日期 || pos == F婚姻变更日期 || pos == F户籍变动日期;
}

// A stored value as it is printed: a code by its name, a date in words. A code outside its
// table or a text that is no real date prints as a blank, never as the raw code or digits.
QString printed(const std::vector<std::string>& values, int pos) {
    const std::string_view v = valueOf(values, pos);
    if (const CodeTable* table = codeTableOf(pos)) {
        for (size_t k = 1; k <= table->names.size(); ++k)
            if (v == std::to_string(k)) return fromGb(table->names[k - 1]);
        return {};
    }
    if (isDateField(pos)) {
        const QString date = maint::cardDate(v);
        return date.contains(QStringLiteral("年")) ? date : QString();
    }
    return fromGb(v).trimmed();
}

// Tabs and line breaks would end a paragraph or a table cell of the stored text early.
QString oneLine(QString text) {
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control) c = QLatin1Char(' ');
    return text;
}

int codeOf(const std::vector<std::string>& values, int pos) {
    const std::string_view v = valueOf(values, pos);
    if (v.empty() || v.size() > 2 || v.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    return std::stoi(std::string(v));
}

bool isDate(std::string_view v) {
    return maint::cardDate(v) != fromGb(v);
}

// A word by a person's sex (1 男, 2 女); `either` when it is not recorded.
QString bySex(int sex, const char* male, const char* female, const char* either = "") {
    return QString::fromUtf8(sex == 1 ? male : sex == 2 ? female : either);
}

QString sibling(const std::vector<std::string>& first, const std::vector<std::string>& second) {
    const int sex = codeOf(second, F性别);
    const std::string_view a = valueOf(first, F出生日期), b = valueOf(second, F出生日期);
    const bool aged = isDate(a) && isDate(b) && a != b;
    const bool older = aged && b < a;
    if (sex == 1) return bySex(1, aged ? (older ? "哥哥" : "弟弟") : "兄弟", "");
    if (sex == 2) return bySex(2, "", aged ? (older ? "姐姐" : "妹妹") : "姐妹");
    return QStringLiteral("兄弟姐妹");
}

}  // namespace

const std::vector<Template>& builtInTemplates() {
    static const std::vector<Template> all = {
        builtIn(Kind::Household, "户籍证明",
                "兹证明{姓名}，{性别}，{民族}，{出生日期}出生，公民身份号码{公民身份号码}，"
                "系本村（居）{户主姓名}户成员，与户主关系为{与户主关系}，"
                "户籍登记类别为{户籍登记类型}，户籍登记地址为{户籍登记详址}。\n"
                "本证明用于{事由}。\n"
                "特此证明。"),
        builtIn(Kind::Residence, "居住证明",
                "兹证明{姓名}，{性别}，{出生日期}出生，公民身份号码{公民身份号码}，"
                "系{户主姓名}户成员，户籍登记地址为{户籍登记详址}，现居住于{居住详址}，"
                "居住情况为{居住类型}。\n"
                "本证明用于{事由}。\n"
                "特此证明。"),
        builtIn(Kind::Kinship, "亲属关系证明",
                "兹证明{姓名}（公民身份号码{公民身份号码}）系本村（居）{户主姓名}户成员，"
                "本人与户主关系为{与户主关系}，户籍登记地址为{户籍登记详址}。"
                "该户家庭成员及其与户主关系如下：\n"
                "{家庭成员表}\n"
                "经核对户籍登记，{乙方姓名}（公民身份号码{乙方公民身份号码}）与户主关系为"
                "{乙方与户主关系}，是{姓名}的{关系}。\n"
                "本证明用于{事由}。\n"
                "特此证明。"),
        builtIn(Kind::MoveOut, "迁出证明",
                "兹证明{姓名}，{性别}，{民族}，{出生日期}出生，公民身份号码{公民身份号码}，"
                "原系{户主姓名}户成员，与户主关系为{与户主关系}，原户籍登记地址为{户籍登记详址}。"
                "该人已于{户籍变动日期}迁出本村（居），迁出类别为{户籍变动类型}，"
                "迁往{迁自迁往何地}。\n"
                "本证明用于{事由}。\n"
                "特此证明。"),
        builtIn(Kind::Death, "死亡情况证明",
                "兹证明{姓名}，{性别}，{民族}，{出生日期}出生，公民身份号码{公民身份号码}，"
                "生前系{户主姓名}户成员，与户主关系为{与户主关系}，户籍登记地址为{户籍登记详址}。"
                "该人已于{户籍变动日期}死亡，本村（居）户籍登记已作死亡注销。\n"
                "本证明用于{事由}。\n"
                "特此证明。"),
    };
    return all;
}

const Template& builtInTemplate(Kind kind) {
    return builtInTemplates()[size_t(kind)];
}

const QStringList& placeholderNames() {
    static const QStringList names = [] {
        QStringList n = {kNumber, kReason, kVillage, kDate, kMembers};
        for (const std::string& f : fieldNames()) n << fromGb(f);
        n << kRelation;
        for (const std::string& f : fieldNames()) n << kSecond + fromGb(f);
        return n;
    }();
    return names;
}

namespace {

// Every "{name}" of a text, in order: where it starts, its length with the braces, its name.
struct Placeholder {
    qsizetype at, length;
    QString name;
};

std::vector<Placeholder> placeholdersIn(const QString& text) {
    std::vector<Placeholder> out;
    static const QRegularExpression re(QStringLiteral("\\{([^{}\\n]{1,20})\\}"));
    for (auto it = re.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        out.push_back({m.capturedStart(), m.capturedLength(), m.captured(1)});
    }
    return out;
}

bool namesSecond(const QString& name) {
    return name == kRelation || name.startsWith(kSecond);
}

}  // namespace

QStringList unknownPlaceholders(const Template& tpl) {
    QStringList unknown;
    for (const QString& text : {tpl.title, tpl.subtitle, tpl.body, tpl.closing})
        for (const Placeholder& p : placeholdersIn(text))
            if (!placeholderNames().contains(p.name) && !unknown.contains(p.name))
                unknown << p.name;
    return unknown;
}

bool fits(Kind kind, const std::vector<std::string>& person, std::string_view today) {
    const bool registered = query::standingAt(person, today) == query::Standing::Registered;
    const int change = codeOf(person, F户籍变动类型);
    switch (kind) {
        case Kind::Household:
        case Kind::Residence:
            return registered;
        case Kind::MoveOut:
            return !registered && change >= 7 && change <= 11;
        case Kind::Death:
            return !registered && change == 13;
        case Kind::Kinship:
            return true;
    }
    return false;
}

QString dateInWords(QDate date) {
    static const QString digits = QStringLiteral("〇一二三四五六七八九");
    const auto number = [](int n) {
        // 1..31: 十 for ten, 二十/三十 for the tens, no 一 before a lone 十.
        const QString units = QStringLiteral("〇一二三四五六七八九");
        const int tens = n / 10, ones = n % 10;
        QString s;
        if (tens > 1) s += units[tens];
        if (tens > 0) s += QStringLiteral("十");
        if (ones > 0) s += units[ones];
        return s;
    };
    QString year;
    for (const QChar c : QString::number(date.year())) year += digits[c.digitValue()];
    return year + QStringLiteral("年") + number(date.month()) + QStringLiteral("月") +
           number(date.day()) + QStringLiteral("日");
}

QString relationBetween(const std::vector<std::string>& first,
                        const std::vector<std::string>& second) {
    const std::string_view house = valueOf(first, F房屋详址);
    if (house.empty() || house != valueOf(second, F房屋详址)) return {};
    if (valueOf(first, F序号) == valueOf(second, F序号)) return {};
    const int a = codeOf(first, F与户主关系), b = codeOf(second, F与户主关系);
    const int sexA = codeOf(first, F性别), sexB = codeOf(second, F性别);
    // Pairs the two codes settle, as (first's code, second's code). A 子女 of the head is taken
    // for the spouse's child too: the register has no code for a stepchild.
    if (a == 1) {
        switch (b) {
            case 2:
                return bySex(sexB, "丈夫", "妻子", "配偶");
            case 3:
                return bySex(sexB, "儿子", "女儿", "子女");
            case 5:
                return bySex(sexB, "父亲", "母亲", "父母");
            case 7:
                return bySex(sexB, "女婿", "儿媳");
            case 8:
                return bySex(sexB, "公公", "婆婆");
            case 9:
                return bySex(sexB, "岳父", "岳母");
            case 10:
                return sibling(first, second);
        }
        return {};
    }
    if (b == 1) {
        switch (a) {
            case 2:
                return bySex(sexB, "丈夫", "妻子", "配偶");
            case 3:
                return bySex(sexB, "父亲", "母亲", "父母");
            case 5:
                return bySex(sexB, "儿子", "女儿", "子女");
            case 7:  // the first is the head's child's spouse
                return sexA == 2   ? bySex(sexB, "公公", "婆婆")
                       : sexA == 1 ? bySex(sexB, "岳父", "岳母")
                                   : QString();
            case 8:
                return sexB == 2 ? QStringLiteral("儿媳") : QString();
            case 9:
                return sexB == 1 ? QStringLiteral("女婿") : QString();
            case 10:
                return sibling(first, second);
        }
        return {};
    }
    const auto pair = [&](int x, int y) { return a == x && b == y; };
    if (pair(2, 3)) return bySex(sexB, "儿子", "女儿", "子女");
    if (pair(3, 2)) return bySex(sexB, "父亲", "母亲", "父母");
    if (pair(2, 7)) return bySex(sexB, "女婿", "儿媳");
    if (pair(7, 2) || pair(2, 5))
        return sexA == 2   ? bySex(sexB, "公公", "婆婆")
               : sexA == 1 ? bySex(sexB, "岳父", "岳母")
                           : QString();
    if (pair(5, 2)) return bySex(sexB, "女婿", "儿媳");
    if (pair(2, 8) || pair(2, 9) || pair(10, 5)) return bySex(sexB, "父亲", "母亲", "父母");
    if (pair(8, 2) || pair(9, 2) || pair(5, 10)) return bySex(sexB, "儿子", "女儿", "子女");
    if (pair(3, 3) || pair(10, 10)) return sibling(first, second);
    return {};
}

const QStringList& memberTableHeading() {
    static const QStringList heading = {QStringLiteral("姓名"), QStringLiteral("与户主关系"),
                                        QStringLiteral("性别"), QStringLiteral("出生日期"),
                                        QStringLiteral("公民身份号码")};
    return heading;
}

namespace {

class Filler {
  public:
    Filler(const Subject& subject, const Issue& issue, Rendered& out)
        : s_(subject), issue_(issue), out_(out) {}

    // The text with every known placeholder replaced; an empty value is a blank, noted.
    QString fill(const QString& text) {
        QString result;
        qsizetype from = 0;
        for (const Placeholder& p : placeholdersIn(text)) {
            result += text.mid(from, p.at - from);
            from = p.at + p.length;
            if (!placeholderNames().contains(p.name)) {
                result += text.mid(p.at, p.length);
                note(out_.unknown, p.name);
                continue;
            }
            QString value = p.name == kMembers ? memberList() : valueOf(p.name);
            if (value.trimmed().isEmpty()) {
                value = kBlank;
                note(out_.empty, p.name);
            }
            result += value;
        }
        return result + text.mid(from);
    }

    std::vector<MemberRow> table() {
        std::vector<MemberRow> rows;
        // The head first, as on the register card; the others as they were given.
        std::vector<const std::vector<std::string>*> order;
        for (const auto& m : s_.household)
            if (isHead(cert::valueOf(m, F与户主关系))) order.push_back(&m);
        for (const auto& m : s_.household)
            if (!isHead(cert::valueOf(m, F与户主关系))) order.push_back(&m);
        for (const auto* member : order) {
            const auto& m = *member;
            MemberRow r{printed(m, F姓名), printed(m, F与户主关系), printed(m, F性别),
                        printed(m, F出生日期), printed(m, F公民身份号码)};
            for (QString* cell : {&r.name, &r.relation, &r.sex, &r.birth, &r.identity}) {
                *cell = oneLine(*cell);
                if (cell->isEmpty()) note(out_.empty, kMembers);
            }
            rows.push_back(r);
        }
        if (rows.empty()) note(out_.empty, kMembers);
        return rows;
    }

  private:
    static void note(QStringList& list, const QString& name) {
        if (!list.contains(name)) list << name;
    }

    QString valueOf(const QString& name) const {
        if (name == kNumber) return issue_.number;
        if (name == kReason) return oneLine(s_.reason).trimmed();
        if (name == kVillage) return oneLine(issue_.village).trimmed();
        if (name == kDate) return issue_.date.isValid() ? dateInWords(issue_.date) : QString();
        if (name == kRelation)
            return s_.second.empty() ? QString() : relationBetween(s_.person, s_.second);
        const bool second = name.startsWith(kSecond) && !fieldPosition(toGb(name));
        const int pos = fieldPosition(toGb(second ? name.mid(kSecond.size()) : name));
        return oneLine(printed(second ? s_.second : s_.person, pos));
    }

    // {家庭成员表} within a sentence: the members by name and relation.
    QString memberList() {
        QStringList parts;
        for (const MemberRow& r : table())
            parts << (r.relation.isEmpty()
                          ? r.name
                          : r.name + QStringLiteral("（") + r.relation + QStringLiteral("）"));
        return parts.join(QStringLiteral("、"));
    }

    const Subject& s_;
    const Issue& issue_;
    Rendered& out_;
};

}  // namespace

Rendered render(const Template& tpl, const Subject& subject, const Issue& issue) {
    Rendered out;
    Filler filler(subject, issue, out);
    // Title and subtitle hold one line each in the stored text.
    out.title = filler.fill(oneLine(tpl.title).trimmed());
    out.subtitle = filler.fill(oneLine(tpl.subtitle).trimmed());
    for (const QString& raw : tpl.body.split(QLatin1Char('\n'))) {
        const QString line = oneLine(raw).trimmed();
        if (line.isEmpty()) continue;
        if (line == QStringLiteral("{家庭成员表}")) {
            Block table;
            table.isTable = true;
            table.rows = filler.table();
            out.body.push_back(table);
            continue;
        }
        if (subject.second.empty()) {
            bool second = false;
            for (const Placeholder& p : placeholdersIn(line))
                second = second || namesSecond(p.name);
            if (second) continue;
        }
        out.body.push_back({filler.fill(line), {}, false});
    }
    for (const QString& raw : tpl.closing.split(QLatin1Char('\n')))
        if (!raw.trimmed().isEmpty()) out.closing << filler.fill(raw.trimmed());
    return out;
}

QString renderedToText(const Rendered& page) {
    QStringList lines = {page.title, page.subtitle};
    for (const Block& b : page.body) {
        if (!b.isTable) {
            lines << b.text;
            continue;
        }
        lines << memberTableHeading().join(QLatin1Char('\t'));
        for (const MemberRow& r : b.rows)
            lines << QStringList{r.name, r.relation, r.sex, r.birth, r.identity}.join(
                QLatin1Char('\t'));
    }
    lines << QString();
    lines << page.closing;
    return lines.join(QLatin1Char('\n'));
}

Rendered textToRendered(const QString& text) {
    Rendered page;
    const QStringList lines = text.split(QLatin1Char('\n'));
    page.title = lines.value(0);
    page.subtitle = lines.value(1);
    const QString heading = memberTableHeading().join(QLatin1Char('\t'));
    qsizetype i = 2;
    for (; i < lines.size() && !lines[i].isEmpty(); ++i) {
        const QString& line = lines[i];
        if (line == heading) {
            page.body.push_back({{}, {}, true});
        } else if (line.contains(QLatin1Char('\t')) && !page.body.empty() &&
                   page.body.back().isTable) {
            const QStringList c = line.split(QLatin1Char('\t'));
            page.body.back().rows.push_back(
                {c.value(0), c.value(1), c.value(2), c.value(3), c.value(4)});
        } else {
            page.body.push_back({line, {}, false});
        }
    }
    for (++i; i < lines.size(); ++i) page.closing << lines[i];
    return page;
}

QString digestOf(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString qrPayload(const QString& number, QDate date, const QString& name, const QString& digest) {
    return QStringList{number, date.toString(QStringLiteral("yyyy-MM-dd")), name, digest}.join(
        QLatin1Char('|'));
}

bool parseQrPayload(const QString& text, QrFields* out) {
    const QString t = text.trimmed();
    const qsizetype first = t.indexOf(QLatin1Char('|'));
    const qsizetype second = first < 0 ? -1 : t.indexOf(QLatin1Char('|'), first + 1);
    const qsizetype last = t.lastIndexOf(QLatin1Char('|'));
    if (second < 0 || last <= second) return false;
    QrFields f;
    f.number = t.left(first);
    f.date = QDate::fromString(t.mid(first + 1, second - first - 1), QStringLiteral("yyyy-MM-dd"));
    f.name = t.mid(second + 1, last - second - 1);
    f.digest = t.mid(last + 1).toLower();
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (f.number.isEmpty() || !f.date.isValid() || !hex.match(f.digest).hasMatch()) return false;
    if (out) *out = f;
    return true;
}

QString numberText(const QString& prefix, int year, int serial) {
    return QStringLiteral("%1〔%2〕第%3号")
        .arg(prefix)
        .arg(year)
        .arg(serial, 4, 10, QLatin1Char('0'));
}

}  // namespace cert
