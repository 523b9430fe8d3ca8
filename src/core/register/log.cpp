#include "core/register/log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstring>
#include <mutex>

#include "core/register/files.h"

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
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return;
    // The log names what failed in the clerk's register: it is as private as the register.
    if (isNew) file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(line.toUtf8());
    file.write("\n");
}

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

}  // namespace reg::log
