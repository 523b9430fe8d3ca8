// Lays out a program folder: the files a new installation needs, never overwriting one.
#include <QCoreApplication>
#include <QTextStream>

#include "core/register/programfolder.h"
#include "core/session/password.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        QTextStream(stderr) << "usage: hj-layout PROGRAM_FOLDER\n";
        return 2;
    }
    reg::layoutProgramFolder(args[1]);
    shell::createPasswordFileIfMissing(args[1]);
    return 0;
}
