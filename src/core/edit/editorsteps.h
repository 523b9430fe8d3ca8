#pragma once
// What the editing service's source files share (registereditor.cpp defines them).
#include <QString>
#include <string>
#include <vector>

namespace edit::detail {

// Why the step just done failed: SQLite's words when it gave some, else the system's about the
// file it wrote.
QString causeFor(const QString& path);

// 序号:户主姓名:姓名 as the tree shows a person.
std::string label(const std::vector<std::string>& values);

}  // namespace edit::detail
