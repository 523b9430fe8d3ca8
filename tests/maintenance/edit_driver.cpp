// Edits a register through the real information-management window, without end, journaling
// each op before it starts ("B") and after its success message ("E") or a refusal ("F"). The
// crash test kills it at random moments.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <cstdio>

#include "crashops.h"
#include "maintenance/infowindow.h"

namespace {

class YesDialogs : public ui::Dialogs {
  public:
    bool succeeded = false;
    void warning(const QString&) override {}
    bool question(const QString&) override { return true; }
    void notice(const QString&) override { succeeded = true; }
    QString openFile(const ui::FileRequest&) override { return {}; }
    QString saveFile(const ui::FileRequest&) override { return {}; }
};

template <class T>
T* find(const QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromUtf8(name));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    FILE* journal = std::fopen(argv[2], "a");
    const uint32_t seed = uint32_t(std::atoi(argv[3]));
    QRandomGenerator rng(seed);
    YesDialogs dialogs;
    maint::InfoWindow w(folder, dialogs);
    auto* tree = find<QTreeWidget>(w, "树型框");
    for (int k = 0;; ++k) {
        std::vector<QTreeWidgetItem*> persons;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            for (int c = 0; c < tree->topLevelItem(i)->childCount(); ++c)
                persons.push_back(tree->topLevelItem(i)->child(c));
        QTreeWidgetItem* chosen = persons[size_t(rng.bounded(int(persons.size())))];
        tree->setCurrentItem(chosen);
        emit tree->itemPressed(chosen, 0);
        const std::string serial = chosen->text(0).section(':', 0, 0).toStdString();
        const int op = rng.bounded(4);
        dialogs.succeeded = false;
        if (op == 0) {
            const std::string added = std::to_string(seed * 1000 + uint32_t(k) + 100000);
            std::fprintf(journal, "B add %s -\n", added.c_str());
            std::fflush(journal);
            const crashops::Record v = crashops::newHead(added);
            for (int pos = 1; pos <= reg::kFieldCount; ++pos) {
                const QString name = QStringLiteral("编辑框%1").arg(pos, 2, 10, QChar('0'));
                if (auto* e = w.findChild<QLineEdit*>(name))
                    e->setText(reg::fromGb(v[size_t(pos - 1)]));
            }
            for (auto* c : w.findChildren<QComboBox*>())
                if (c->objectName().startsWith(QStringLiteral("组合框0")) ||
                    c->objectName().startsWith(QStringLiteral("组合框1")))
                    c->setCurrentIndex(0);
            find<QComboBox>(w, "组合框033")->setCurrentIndex(1);
            find<QComboBox>(w, "组合框066")->setCurrentIndex(1);
            find<QComboBox>(w, "组合框088")->setCurrentIndex(1);
            find<QComboBox>(w, "组合框155")->setCurrentIndex(1);
            find<QComboBox>(w, "组合框166")->setCurrentIndex(1);
            find<QPushButton>(w, "添加按钮")->click();
        } else if (op == 1) {
            const std::string value = "unit" + std::to_string(k);
            std::fprintf(journal, "B modify %s %s\n", serial.c_str(), value.c_str());
            std::fflush(journal);
            find<QLineEdit>(w, "编辑框13")->setText(QString::fromStdString(value));
            find<QPushButton>(w, "修改按钮")->click();
        } else {
            std::fprintf(journal, "B %s %s -\n", op == 2 ? "delete" : "clear", serial.c_str());
            std::fflush(journal);
            find<QPushButton>(w, op == 2 ? "删除按钮" : "清空按钮")->click();
        }
        std::fprintf(journal, dialogs.succeeded ? "E\n" : "F\n");
        std::fflush(journal);
    }
}
