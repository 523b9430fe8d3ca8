#pragma once
// Certificates drawn from the register, without widgets: the templates, which of them fit a
// person, and a template filled in with a person's values, so that the preview and the page only
// have to draw it. Nothing here reads the clock: the issue date comes in.
//
// A template is plain text with placeholders in braces: every field by its name ({姓名},
// {户籍变动日期} …), the second person's fields of a relation with 乙方 before the name
// ({乙方姓名} …), {关系} (what the second person is to the first), and the certificate's own
// {编号}, {事由}, {村居名称}, {开具日期} and {家庭成员表}.
//
// Person values are the register's: 22 GB18030 values in column order. Texts for the page are
// QString.
#include <QDate>
#include <QString>
#include <QStringList>
#include <string>
#include <string_view>
#include <vector>

namespace cert {

// What a template certifies; a clerk's own template keeps the kind of the one it was copied
// from, which decides whom it fits and whether a second person is asked for.
enum class Kind { Household, Residence, Kinship, MoveOut, Death };
constexpr int kKindCount = 5;

struct Template {
    QString name;  // 户籍证明 …, or the clerk's own name
    Kind kind = Kind::Household;
    QString title;     // printed large, centred
    QString subtitle;  // one line right-aligned under the title: the number
    // Paragraphs, one per line; a line of {家庭成员表} alone is the members' table. A paragraph
    // that names the second person is left out when there is none.
    QString body;
    QString closing;  // lines printed right-aligned under the body (the village, the date)
    bool builtIn = false;
};

// The five built in, in the order the window lists them.
const std::vector<Template>& builtInTemplates();
// The built-in template of a kind.
const Template& builtInTemplate(Kind kind);

// Every placeholder name (without braces), in the order the editor offers them: the
// certificate's own, the 22 fields, {关系} and the second person's fields.
const QStringList& placeholderNames();
// Placeholders of a template that name nothing (a typing slip), without braces, each once.
QStringList unknownPlaceholders(const Template& tpl);

// Whether a template of `kind` fits a person on `today` (YYYYMMDD): 户籍证明 and 居住证明 only
// while the person is on the register (在册); 迁出证明 only for one taken off by a 迁往… change,
// 死亡情况证明 only by 死亡; 亲属关系证明 for anyone, since it is asked for after a death too.
bool fits(Kind kind, const std::vector<std::string>& person, std::string_view today);

// The issue date as written on a certificate: "二〇二六年十二月八日".
QString dateInWords(QDate date);

// What the second person of a relation is to the first, through the head of their household
// ("儿子", "妻子", "岳母" …), from both persons' 与户主关系 and 性别 (and birth dates for older or
// younger siblings). Empty where the register cannot tell: the two live in different
// households, the same person twice, or the relation codes leave it open (a 孙子女 of the head
// may be a son's or a daughter's child; two 子女 of the head's parent are siblings or cousins) —
// the clerk then writes it by hand.
QString relationBetween(const std::vector<std::string>& first,
                        const std::vector<std::string>& second);

// One line of the members' table.
struct MemberRow {
    QString name, relation, sex, birth, identity;
    bool operator==(const MemberRow&) const = default;
};

// A paragraph of text, or the members' table.
struct Block {
    QString text;                 // a paragraph; empty for a table
    std::vector<MemberRow> rows;  // a table: its rows (the heading is memberTableHeading())
    bool isTable = false;
    bool operator==(const Block&) const = default;
};

// The table's column headings: 姓名, 与户主关系, 性别, 出生日期, 公民身份号码.
const QStringList& memberTableHeading();

// A filled-in template, as the page draws it.
struct Rendered {
    QString title;
    QString subtitle;
    std::vector<Block> body;
    QStringList closing;
    // Placeholders (without braces) that had no value: printed as a blank to fill by hand, and
    // shown to the clerk before printing. {家庭成员表} is listed when a cell of it is empty.
    QStringList empty;
    // Placeholders that name nothing, left in the text as typed.
    QStringList unknown;
    bool operator==(const Rendered& other) const {
        return title == other.title && subtitle == other.subtitle && body == other.body &&
               closing == other.closing;
    }
};

// What fills a template. The household is the first person's, each member's 22 values; the
// table lists the head first, then the others in the order given (序号 order, as the register
// keeps them).
struct Subject {
    std::vector<std::string> person;
    std::vector<std::string> second;  // none unless the template relates two persons
    std::vector<std::vector<std::string>> household;
    QString reason;  // 事由, as typed
};

// The certificate's own values.
struct Issue {
    QString number;   // empty: left blank (a preview before a number is taken)
    QString village;  // 村居名称
    QDate date;
};

// A blank to fill by hand.
inline const QString kBlank = QStringLiteral("________");

Rendered render(const Template& tpl, const Subject& subject, const Issue& issue);

// The certificate as one text: the title, the subtitle (an empty line when there is none), each
// paragraph on a line of its own, a table as its heading and rows with cells separated by tabs,
// an empty line, the closing lines. This text is
// what the log keeps and digests; textToRendered reads it back for a reprint.
QString renderedToText(const Rendered& page);
Rendered textToRendered(const QString& text);

// SHA-256 of the text's UTF-8, in lower-case hex.
QString digestOf(const QString& text);

// The QR code's text: "编号|日期|姓名|摘要" with the date as yyyy-MM-dd and the first person's
// 姓名. Parsed back by splitting at the first two and the last bar, so a bar in a name does no
// harm.
QString qrPayload(const QString& number, QDate date, const QString& name, const QString& digest);
struct QrFields {
    QString number, name, digest;
    QDate date;
};
// False when the text is no payload of ours.
bool parseQrPayload(const QString& text, QrFields* out);

// "澄禾证〔2026〕第0001号".
QString numberText(const QString& prefix, int year, int serial);

}  // namespace cert
