#pragma once
// The program's own settings: 程序设置.wav in the program folder, a small SQLite file of ours
// holding key and value texts. Reading never makes the file; a damaged one is set aside and a
// new one started (the clerk loses only settings).
#include <QString>
#include <optional>

namespace reg::settings {

inline const QString kFileName = QStringLiteral("程序设置.wav");

// The value saved under `key`; nullopt when none was saved or the file cannot be read.
std::optional<QString> value(const QString& folder, const char* key);
// Saves `value` under `key`; false (logged) when it could not be written.
[[nodiscard]] bool setValue(const QString& folder, const char* key, const QString& value);
// Forgets `key`; false (logged) when the file could not be written.
[[nodiscard]] bool remove(const QString& folder, const char* key);

}  // namespace reg::settings
