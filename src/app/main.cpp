#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("澄禾社区户籍管理系统"));
    label.show();
    return app.exec();
}
