#include "core/register/settings.h"

#include <QDateTime>
#include <QFileInfo>

#include "core/register/log.h"
#include "core/register/ownfile.h"
#include "core/register/workfiles.h"

namespace reg::settings {

namespace {

constexpr int kAppId = 0x48484A53;  // "HHJS"

const char* const kSchema =
    "PRAGMA application_id = 1212697171;"
    "PRAGMA user_version = 1;"
    "CREATE TABLE settings(key TEXT PRIMARY KEY, value TEXT NOT NULL);";

bool areOurs(sqlite::Database& db) {
    return db.pragmaInt("application_id") == kAppId &&
           bool(db.prepare("SELECT key, value FROM settings LIMIT 0"));
}

sqlite::Database open(const QString& folder) {
    static const ownfile::Kind kind{kSchema, areOurs, QStringLiteral("程序设置"), true};
    QStringList setAside;  // the run log names a set-aside file; the clerk loses only a setting
    return ownfile::open(pathIn(folder, kFileName), kind, false, QDateTime::currentDateTime(),
                         setAside);
}

bool write(const QString& folder, const char* sql, const char* key, const QString* value) {
    sqlite::Database db = open(folder);
    sqlite::Statement st = db.prepare(sql);
    st.bindText(1, std::string_view(key));
    if (value) st.bindText(2, *value);
    if (st && st.run()) return true;
    log::failure(QStringLiteral("保存程序设置"), db.error());
    return false;
}

}  // namespace

std::optional<QString> value(const QString& folder, const char* key) {
    if (!QFileInfo::exists(pathIn(folder, kFileName))) return std::nullopt;
    sqlite::Database db = open(folder);
    sqlite::Statement st = db.prepare("SELECT value FROM settings WHERE key = ?");
    st.bindText(1, std::string_view(key));
    if (!st || !st.row()) return std::nullopt;
    return st.string(0);
}

bool setValue(const QString& folder, const char* key, const QString& value) {
    return write(folder, "INSERT OR REPLACE INTO settings(key, value) VALUES(?, ?)", key, &value);
}

bool remove(const QString& folder, const char* key) {
    return write(folder, "DELETE FROM settings WHERE key = ?", key, nullptr);
}

}  // namespace reg::settings
