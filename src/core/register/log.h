#pragma once
// The run log: 运行日志.txt in the program folder, one line for the start and the end of the
// program and one for every failure with its reason (SQLite's message, errno's text), so that a
// "添加失败！" leaves a trace of why. Never a person's data, never a password: callers pass what
// failed and why, not what was being written. The log is rotated at kMaxBytes into 运行日志.1.txt,
// which it replaces, so the two together stay under a few hundred kB. Safe to call from any
// thread; before a folder is set (tests, the tools) nothing is written.
#include <QString>
#include <cstdint>

namespace reg::log {

inline const QString kFileName = QStringLiteral("运行日志.txt");
inline const QString kOlderFileName = QStringLiteral("运行日志.1.txt");
constexpr int64_t kMaxBytes = 256 * 1024;

// Where the log goes from now on; an empty folder stops it.
void setFolder(const QString& folder);
QString folder();

// "<time> 失败 <what>：<reason>", e.g. failure("添加记录", "disk I/O error").
void failure(const QString& what, const QString& reason);
// "<time> <text>", for the start and the end of the program.
void event(const QString& text);

// errno's text for `error`, for failure()'s reason.
QString errnoText(int error);

// SQLite's own words for the last error it met on this thread since clearSqliteError(), with its
// code and the detail it gave (errno's text for a system call; never the statement, which is no
// reason); empty when it met none. SQLite reports
// every error to a hook installed before its first use, so that callers that only learn "false"
// from the record store and the history can still log why.
QString sqliteError();
void clearSqliteError();

}  // namespace reg::log
