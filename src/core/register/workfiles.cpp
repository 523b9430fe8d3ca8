#include "core/register/workfiles.h"

#include <QCoreApplication>

namespace reg {

QString programFolder() {
    return QCoreApplication::applicationDirPath();
}

QString pathIn(const QString& folder, const QString& name) {
    return (folder.isEmpty() ? programFolder() : folder) + QLatin1Char('/') + name;
}

}  // namespace reg
