// hj-template FOLDER: writes the template workbook 户籍表格.xls into a program folder. The
// template is no data of the clerk's, so a build refreshes it.
#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QTextStream>

#include "core/edit/transfer.h"
#include "core/register/workfiles.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: hj-template PROGRAM_FOLDER\n";
        return 2;
    }
    QDir().mkpath(args[1]);
    const QString path = reg::pathIn(args[1], reg::names::kTemplate);
    if (!exchange::writeTemplate(path)) {
        QTextStream(stderr) << "hj-template: cannot write " << path << "\n";
        return 1;
    }
    return 0;
}
