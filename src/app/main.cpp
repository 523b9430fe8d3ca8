#include <QApplication>
#include <QIcon>

#include "core/session/privacy.h"
#include "core/session/startup.h"
#include "gui/shell/loginwindow.h"
#include "gui/ui/desktop.h"

int main(int argc, char** argv) {
    shell::keepFreedMemory();
    shell::restrictNewFiles();
    QApplication app(argc, argv);
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icon/%1.png").arg(size));
    app.setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("cn.chenghe.HouseholdRegister"));
    ui::loadQtTranslation(ui::qtTranslationFolders(QCoreApplication::applicationDirPath()));
    shell::LoginWindow login;
    if (!login.started()) return login.folderUnusable() ? 1 : 0;  // 0: another copy is running
    login.show();
    return app.exec();
}
