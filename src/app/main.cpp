#include <QApplication>

#include "shell/loginwindow.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    shell::LoginWindow login;
    if (!login.started()) return 0;  // another copy is running
    login.show();
    return app.exec();
}
