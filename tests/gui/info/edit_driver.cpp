// Edits a register through the real information-management window, without end, journaling
// each op before it starts ("B") and after its success message ("E") or a refusal ("F"). The
// crash test kills it at random moments.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/crashops.h"
#include "common/scripteddialogs.h"
#include "core/edit/business.h"
#include "core/edit/duplicates.h"
#include "core/edit/registereditor.h"
#include "core/register/store.h"
#include "core/register/workfiles.h"
#include "core/workbook/biff8.h"
#include "gui/exchange/exchangewindow.h"
#include "gui/info/infowindow.h"

namespace {

// Every operation that succeeds ends with a notice.
bool succeeded(const hjtest::ScriptedDialogs& dialogs) {
    return std::any_of(dialogs.shown().begin(), dialogs.shown().end(), [](const auto& box) {
        return box.kind == hjtest::ScriptedDialogs::Kind::Notice;
    });
}

template <class T>
T* find(const QWidget& w, const char* name) {
    return w.findChild<T*>(QString::fromUtf8(name));
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4 && argc != 5) return 2;
    // With a backup file the driver also restores, imports and undoes.
    const QString backup = argc == 5 ? QString::fromLocal8Bit(argv[4]) : QString();
    const QString folder = QString::fromLocal8Bit(argv[1]);
    FILE* journal = std::fopen(argv[2], "a");
    const uint32_t seed = uint32_t(std::atoi(argv[3]));
    QRandomGenerator rng(seed);
    hjtest::ScriptedDialogs dialogs(hjtest::ScriptedDialogs::Mode::YesToAll);
    auto info = std::make_unique<maint::InfoWindow>(folder, dialogs);
    for (int k = 0;; ++k) {
        maint::InfoWindow& w = *info;
        auto* tree = find<QTreeWidget>(w, "树型框");
        std::vector<QTreeWidgetItem*> persons;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            for (int c = 0; c < tree->topLevelItem(i)->childCount(); ++c)
                persons.push_back(tree->topLevelItem(i)->child(c));
        QTreeWidgetItem* chosen = persons[size_t(rng.bounded(int(persons.size())))];
        tree->setCurrentItem(chosen);
        emit tree->itemPressed(chosen, 0);
        const std::string serial = chosen->text(0).section(':', 0, 0).toStdString();
        const int op = rng.bounded(backup.isEmpty() ? 4 : 9);
        dialogs.reset();
        if (op == 8) {
            // 合并 as the duplicate finder makes it: the chosen person keeps a value of another,
            // who is deleted; one batch of the editor.
            QTreeWidgetItem* other = persons[size_t(rng.bounded(int(persons.size())))];
            const std::string drop = other->text(0).section(':', 0, 0).toStdString();
            if (drop == serial) continue;
            std::vector<std::string> keep, dropped;
            {
                reg::RecordStore store;
                static_cast<void>(store.OpenTable(reg::pathIn(folder, reg::names::kRegister)));
                for (long n = 1; n <= store.RecordCount(); ++n) {
                    store.GoTo(n);
                    const std::string s = store.ReadField(reg::F序号);
                    for (auto [want, into] : {std::pair{&serial, &keep}, {&drop, &dropped}})
                        if (s == *want)
                            for (int pos = 1; pos <= reg::kFieldCount; ++pos)
                                into->push_back(store.ReadField(pos));
                }
                static_cast<void>(store.CloseAllTables());  // only read
            }
            if (keep.empty() || dropped.empty()) continue;
            std::vector<std::string> values = keep;
            values[reg::F工作单位 - 1] = "merged" + drop;
            std::fprintf(journal, "B merge %s %s\n", serial.c_str(), drop.c_str());
            std::fflush(journal);
            edit::RegisterEditor editor(folder);
            const bool merged =
                editor.applyChanges(edit::dup::mergeChanges(keep, dropped, values)).done();
            std::fprintf(journal, merged ? "E\n" : "F\n");
            std::fflush(journal);
            info.reset();
            info = std::make_unique<maint::InfoWindow>(folder, dialogs);
            continue;
        }
        if (op == 7) {
            // 分户: the chosen person, when not its household's head, leaves as a household of
            // its own; a person the business refuses to plan is left alone.
            edit::Request request;
            request.business = edit::Business::Split;
            request.household = reg::toGb(chosen->parent()->text(0));
            request.members = {serial};
            request.newHead = serial;
            request.target = "split" + std::to_string(seed) + "-" + std::to_string(k);
            request.date = "20240601";
            edit::Planned planned;
            {
                reg::RecordStore store;
                static_cast<void>(store.OpenTable(reg::pathIn(folder, reg::names::kRegister)));
                planned = edit::plan(store, request, "20991231");
                static_cast<void>(store.CloseAllTables());  // only read
            }
            if (!planned.plan) continue;
            std::fprintf(journal, "B split %s %s,%s\n", serial.c_str(),
                         planned.plan->records.front().after[reg::F序号 - 1].c_str(),
                         request.target.c_str());
            std::fflush(journal);
            static_cast<void>(w.runBusiness(*planned.plan));  // the journal tells from a notice
            std::fprintf(journal, succeeded(dialogs) ? "E\n" : "F\n");
            std::fflush(journal);
            continue;
        }
        if (op >= 5) {
            exchange::ExchangeWindow x(folder, dialogs);
            x.setAnimationStep(0);
            if (op == 5) {
                // Two new heads from a workbook of their own.
                const long first = long(seed) * 100000 + 2 * k + 50000000;
                exchange::Biff8Spreadsheet book;
                if (!book.addWorkbook() || !book.renameWorksheet(QStringLiteral("sheet1")))
                    return 2;
                for (int r = 0; r < 3; ++r)
                    for (int pos = 1; pos <= reg::kFieldCount; ++pos) {
                        const std::string cell =
                            exchange::columnLetter(pos) + std::to_string(r + 1);
                        const auto v = crashops::newHead(std::to_string(first + r - 1));
                        book.range(cell).setValue(
                            reg::fromGb(r == 0 ? reg::fieldName(pos) : v[size_t(pos - 1)]));
                    }
                const QString workbook = folder + QStringLiteral("/import.xls");
                // A workbook not written makes the import below fail, and the journal says so.
                static_cast<void>(book.saveAs(workbook));
                dialogs.expectOpen(workbook);
                find<QPushButton>(x, "浏览A1")->click();
                dialogs.expectOpen(reg::pathIn(folder, reg::names::kRegister));
                find<QPushButton>(x, "浏览A2")->click();
                std::fprintf(journal, "B import %ld -\n", first);
                std::fflush(journal);
                find<QPushButton>(x, "开始导入A1")->click();
            } else {
                std::fprintf(journal, "B undo - -\n");
                std::fflush(journal);
                find<QPushButton>(x, "撤销按钮")->click();
            }
            std::fprintf(journal, succeeded(dialogs) ? "E\n" : "F\n");
            std::fflush(journal);
            // The tree shows the register as it now is (the old window takes its index along).
            info.reset();
            info = std::make_unique<maint::InfoWindow>(folder, dialogs);
            continue;
        }
        if (op == 4) {
            std::fprintf(journal, "B restore - -\n");
            std::fflush(journal);
            dialogs.expectOpen(backup);
            find<QPushButton>(w, "恢复按钮")->click();
        } else if (op == 0) {
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
        std::fprintf(journal, succeeded(dialogs) ? "E\n" : "F\n");
        std::fflush(journal);
    }
}
