#include "common/programfolder.h"

#include <QFile>

#include "core/register/files.h"
#include "core/register/programfolder.h"
#include "core/register/workfiles.h"
#include "core/session/password.h"

namespace hjtest {

ProgramFolder::ProgramFolder() {
    if (!dir_.isValid()) return;
    reg::layoutProgramFolder(dir_.path());
    shell::createPasswordFileIfMissing(dir_.path());
}

QString ProgramFolder::file(const QString& name) const {
    return reg::pathIn(dir_.path(), name);
}

bool ProgramFolder::write(const QString& name, const QByteArray& bytes) const {
    reg::files::setCleared(file(name));
    QFile f(file(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ProgramFolder::read(const QString& name) const {
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace hjtest
