#include <QApplication>

#include "shell/loginwindow.h"
#include "ui/desktop.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ui::loadQtTranslation(ui::qtTranslationFolders(QCoreApplication::applicationDirPath()));
    shell::LoginWindow login;
    if (!login.started()) return login.folderUnusable() ? 1 : 0;  // 0: another copy is running
    login.show();
    return app.exec();
}
