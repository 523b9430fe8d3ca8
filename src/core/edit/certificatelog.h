#pragma once
// The certificate log 证明开具记录.wav: an SQLite file of its own in the program folder that
// holds the numbers taken and what was issued under them, the settings a certificate needs
// (村居名称 and the number's prefix) and the clerk's own templates.
//
// A number is taken and logged, with the full text as rendered, before anything is printed
// (开具中); it is marked issued (已开具) once the output succeeded, or void (作废) with the reason
// when it was cancelled or failed. Numbers run from 0001 each year and are never used twice or
// skipped without a logged reason: a number still 开具中 at the next settle was cut short by a
// crash and becomes 作废 "程序中断". Every write is one transaction; nothing here reads the clock.
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "core/edit/certificate.h"

namespace cert {

inline const QString kLogFileName = QStringLiteral("证明开具记录.wav");

// Why a certificate is void when a crash cut its output short.
inline const QString kInterrupted = QStringLiteral("程序中断");

// What an operation of the log did: done, refused (nothing written; message says why) or failed
// (nothing written; message for the clerk, reason as written to the run log).
struct Answer {
    enum class Kind { Done, Refused, Failed };
    Kind kind = Kind::Done;
    QString message;
    QString reason;
    bool done() const { return kind == Kind::Done; }
};

struct Settings {
    QString village;  // 村居名称, "澄禾社区居民委员会"
    QString prefix;   // the number's prefix, "澄禾证"
    // Both given: until then the window asks for them and nothing is issued.
    bool complete() const { return !village.trimmed().isEmpty() && !prefix.trimmed().isEmpty(); }
};
Settings settings(const QString& folder);
// Refused when either is empty, too long (village 40, prefix 10 characters) or holds a bar or a
// control character (the prefix goes into the QR text, whose fields bars separate).
[[nodiscard]] Answer saveSettings(const QString& folder, const Settings& settings);

// The built-in templates, then the clerk's own by name.
std::vector<Template> templates(const QString& folder);
// Saves a clerk's own template (a new one or one saved before under the same name). Refused for
// a built-in name, an empty name or title, and placeholders that name nothing.
[[nodiscard]] Answer saveTemplate(const QString& folder, const Template& tpl);
[[nodiscard]] Answer removeTemplate(const QString& folder, const QString& name);

enum class State { Issuing = 0, Issued = 1, Void = 2 };
// "开具中", "已开具", "作废".
QString stateName(State state);

// A person as the log keeps them.
struct Party {
    QString serial, name, identity;  // 序号, 姓名, 公民身份号码
    bool operator==(const Party&) const = default;
};

struct Record {
    long long id = 0;
    QString number;  // "澄禾证〔2026〕第0001号"
    int year = 0, serial = 0;
    QString time;  // issue time, yyyy-MM-dd HH:mm:ss
    QString templateName;
    Party person;
    std::optional<Party> second;
    QString reason;  // 事由
    QString text;    // the certificate as rendered (renderedToText)
    QString digest;  // digestOf(text) when it was taken
    State state = State::Issuing;
    QString voidReason, voidTime;
    int reprints = 0;  // 补打 that were printed

    QDate date() const;
    // The QR code's text for this certificate.
    QString qr() const;
};

struct LogHealth {
    // A damaged or foreign log set aside under this name (in the program folder); a new one was
    // started, with no settings and no own templates.
    QStringList setAside;
    // Numbers found 开具中 and made void as 程序中断.
    int interrupted = 0;
};
// The warning a window shows for a log set aside.
QString setAsideWarning(const QString& name);

// Settles what a crash left: numbers 开具中 become 作废 "程序中断" (at `now`), 补打 under way are
// marked not printed, and issued certificates whose history fact is missing get it. Windows that
// issue or list certificates call this when they open.
LogHealth settle(const QString& folder, const QDateTime& now);

// The number the next certificate of `date`'s year would get, for a preview; empty while the
// prefix is not set.
QString nextNumber(const QString& folder, QDate date);

// A number taken for a certificate, with its page as logged.
struct Taken {
    Answer answer;
    long long id = 0;
    QString number;
    Rendered page;  // also empty and unknown placeholders, for the clerk
    QString qr;
};

// Takes the next number of `at`'s year, renders the certificate with it and logs it as 开具中.
// Refused while the settings are incomplete, for a person with no 22 values, and for a template
// that does not fit the person on `at`'s date.
[[nodiscard]] Taken take(const QString& folder, const Template& tpl, const Subject& subject,
                         const QDateTime& at);
// The output succeeded: 已开具, and a fact in the change history (without the text).
[[nodiscard]] Answer markIssued(const QString& folder, long long id);
// The output was cancelled or failed, or the clerk voids an issued certificate: 作废 with the
// reason (required). A void certificate stays void.
[[nodiscard]] Answer markVoid(const QString& folder, long long id, const QString& reason,
                              const QDateTime& at);

// A reprint (补打) of an issued certificate: the stored text, never rendered anew.
struct Reprint {
    Answer answer;
    long long id = 0;  // of the reprint
    Record record;
    Rendered page;
};
[[nodiscard]] Reprint takeReprint(const QString& folder, const QString& number,
                                  const QDateTime& at);
// Printed: counted; not printed: kept as not printed with the reason.
[[nodiscard]] Answer finishReprint(const QString& folder, long long reprintId, bool printed,
                                   const QString& reason = {});

// Every certificate, newest first.
std::vector<Record> records(const QString& folder);
std::optional<Record> record(const QString& folder, const QString& number);

// Verification of a number, or of a QR code's text, against the log.
enum class Verdict { Matches, NoSuchNumber, ContentDiffers, Void };
// "记录相符", "编号不存在", "内容不符", "已作废".
QString verdictText(Verdict verdict);
struct Verification {
    Verdict verdict = Verdict::NoSuchNumber;
    std::optional<Record> record;
};
// A number alone matches an issued certificate whose text still has its digest; a QR text also
// needs its date, name and digest to be the logged ones. A number still 开具中 was never
// issued: 编号不存在.
Verification verify(const QString& folder, const QString& input);

}  // namespace cert
