#include "core/register/log.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstring>
#include <mutex>
#include <string>

#include "core/register/files.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace reg::log {

namespace {

std::mutex mutex;
QString logFolder;

void write(const QString& line) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (logFolder.isEmpty()) return;
    const QString path = QDir(logFolder).filePath(kFileName);
    if (files::size(path) >= kMaxBytes)
        static_cast<void>(files::move(path, QDir(logFolder).filePath(kOlderFileName)));
    QFile file(path);
    const bool isNew = !file.exists();
    // A log that cannot be written must not stop what it reports on: the line is dropped.
#ifdef Q_OS_UNIX
    // Never through a link planted at the log's name; new logs are the owner's only.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text,
                   QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
#else
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return;
#endif
    // The log names what failed in the clerk's register: it is as private as the register.
    if (isNew) file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(line.toUtf8());
    file.write("\n");
}

struct SqliteReport {
    int code = 0;
    std::string message;
};
thread_local SqliteReport lastSqliteError;

void onSqliteLog(void*, int code, const char* message) {
    // Notices and warnings (a journal rolled back, an automatic index) and a statement prepared
    // again after a schema change are no failures.
    const int primary = code & 0xff;
    if (primary == SQLITE_NOTICE || primary == SQLITE_WARNING || primary == SQLITE_SCHEMA) return;
    lastSqliteError = {code, message ? message : ""};
}

// SQLite accepts its log hook only before it is first used: set while the program loads.
[[maybe_unused]] const bool sqliteHooked =
    sqlite3_config(SQLITE_CONFIG_LOG, onSqliteLog, nullptr) == SQLITE_OK;

QString now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

void setFolder(const QString& folder) {
    const std::lock_guard<std::mutex> lock(mutex);
    logFolder = folder;
}

QString folder() {
    const std::lock_guard<std::mutex> lock(mutex);
    return logFolder;
}

void failure(const QString& what, const QString& reason) {
    write(now() + QStringLiteral(" 失败 ") + what + QStringLiteral("：") +
          (reason.isEmpty() ? QStringLiteral("原因不明") : reason));
}

void event(const QString& text) {
    write(now() + QLatin1Char(' ') + text);
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error)) + QStringLiteral(" (errno ") +
           QString::number(error) + QLatin1Char(')');
}

QString sqliteError() {
    const SqliteReport& report = lastSqliteError;
    if (report.code == 0) return {};
    // SQLite's report is cut at about 200 bytes, and the statement it quotes comes first: the
    // detail is taken from what stays readable.
    const QString text = QString::fromUtf8(report.message);
    QString detail;
    static const QRegularExpression system(QStringLiteral(R"(^os_\w+\.c:\d+: \((\d+)\) (\w+)\()"));
    if (const auto m = system.match(text); m.hasMatch()) {
        // "os_unix.c:1234: (2) open(<path>) - <text>": the call and errno's text.
        detail = m.captured(2) + QStringLiteral(": ") + errnoText(m.captured(1).toInt());
    } else if (text.contains(QLatin1String(" in ["))) {
        // "abort at 12 in [INSERT ...]: <reason>", when the reason still fits.
        const qsizetype end = text.lastIndexOf(QLatin1String("]: "));
        if (end >= 0) detail = text.mid(end + 3);
    } else {
        // "<reason> in \"<statement>\"" from the parser, or a reason alone.
        detail = text.left(text.indexOf(QLatin1String(" in \"")));
    }
    QString out = QString::fromUtf8(sqlite3_errstr(report.code));
    if (!detail.isEmpty() && detail != out) out += QStringLiteral("：") + detail;
    return out + QStringLiteral(" (SQLite %1)").arg(report.code);
}

void clearSqliteError() {
    lastSqliteError = {};
}

}  // namespace reg::log
