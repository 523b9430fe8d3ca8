// The information-management window end to end on generated registers: opening it, a click on
// a person, add / modify / delete through the real buttons, and a query of three rows.
#include <benchmark/benchmark.h>

#include <sqlite3.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <memory>

#include "core/edit/business.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/history/historywindow.h"
#include "gui/info/infowindow.h"
#include "quietdialogs.h"
#include "samplegen.h"

namespace {

using maint::InfoWindow;

constexpr uint32_t kSeed = 20240630;

QuietDialogs& dialogs() {
    static QuietDialogs d;
    return d;
}

QTemporaryDir& workDir() {
    static QTemporaryDir dir;
    return dir;
}

// A program folder holding a fresh generated register of `persons`.
QString folderWith(int persons, const char* purpose) {
    const QString f = workDir().filePath(QStringLiteral("%1-%2").arg(persons).arg(purpose));
    QDir().mkpath(f);
    const QString sample = workDir().filePath(QStringLiteral("%1.wav").arg(persons));
    if (!reg::files::exists(sample)) sample::writeRegister(sample, persons, kSeed);
    reg::files::copy(sample, reg::pathIn(f, reg::names::kRegister));
    return f;
}

template <class T = QWidget>
T* find(const QWidget* w, const char* name) {
    return w->findChild<T*>(QString::fromUtf8(name));
}

QTreeWidgetItem* personNear(QTreeWidget* tree, int fraction) {
    QTreeWidgetItem* top = tree->topLevelItem(tree->topLevelItemCount() * fraction / 100);
    return top->child(0);
}

void select(InfoWindow& w, QTreeWidgetItem* item) {
    QTreeWidget* tree = find<QTreeWidget>(&w, "树型框");
    tree->setCurrentItem(item);
    emit tree->itemPressed(item, 0);
}

void OpenWindow(benchmark::State& state) {
    const QString f = folderWith(int(state.range(0)), "open");
    for (auto _ : state) {
        InfoWindow w(f, dialogs());
        benchmark::DoNotOptimize(&w);
    }
}

void ClickPerson(benchmark::State& state) {
    const QString f = folderWith(int(state.range(0)), "click");
    InfoWindow w(f, dialogs());
    QTreeWidget* tree = find<QTreeWidget>(&w, "树型框");
    int i = 0;
    for (auto _ : state) select(w, personNear(tree, (i++ * 37) % 100));
}

// A new member of the selected household, with a serial number no record holds.
void Add(benchmark::State& state) {
    const QString f = folderWith(int(state.range(0)), "add");
    InfoWindow w(f, dialogs());
    QTreeWidget* tree = find<QTreeWidget>(&w, "树型框");
    int serial = 1000000;
    for (auto _ : state) {
        state.PauseTiming();
        QTreeWidgetItem* head = personNear(tree, 50);
        select(w, head);
        find<QLineEdit>(&w, "编辑框01")->setText(QString::number(++serial));
        find<QLineEdit>(&w, "编辑框07")->setText(QStringLiteral("新成员"));
        find<QComboBox>(&w, "组合框066")->setCurrentIndex(3);
        state.ResumeTiming();
        find<QPushButton>(&w, "添加按钮")->click();
    }
}

void Modify(benchmark::State& state) {
    const QString f = folderWith(int(state.range(0)), "modify");
    InfoWindow w(f, dialogs());
    QTreeWidget* tree = find<QTreeWidget>(&w, "树型框");
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        select(w, personNear(tree, (n * 37) % 100));
        find<QLineEdit>(&w, "编辑框13")->setText(QStringLiteral("单位%1").arg(++n));
        state.ResumeTiming();
        find<QPushButton>(&w, "修改按钮")->click();
    }
}

void Delete(benchmark::State& state) {
    const QString f = folderWith(int(state.range(0)), "delete");
    InfoWindow w(f, dialogs());
    QTreeWidget* tree = find<QTreeWidget>(&w, "树型框");
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        select(w, personNear(tree, (n++ * 37) % 100));
        state.ResumeTiming();
        find<QPushButton>(&w, "删除按钮")->click();
    }
}

// The n-th household of eight in the tree, skipping `skip` of them.
QTreeWidgetItem* householdOfEight(QTreeWidget* tree, int skip) {
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->childCount() == 8 && skip-- == 0) return tree->topLevelItem(i);
    return nullptr;
}

// 分户: the last four of a household of eight leave with the first of them as head, planned
// as the business window plans it; timed from 确定 (the rules on every record, the write) to the
// repainted tree and counters.
void Split(benchmark::State& state) {
    const QString f = folderWith(int(state.range(0)), "split");
    InfoWindow w(f, dialogs());
    QTreeWidget* tree = find<QTreeWidget>(&w, "树型框");
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // The next household of eight whose last four are on the register.
        edit::Planned planned;
        for (QTreeWidgetItem* household; !planned.plan;) {
            household = householdOfEight(tree, n++);
            if (!household) break;
            const auto serialOf = [&](int child) {
                return std::string(maint::keyOf(reg::toGb(household->child(child)->text(0))));
            };
            edit::Request request;
            request.business = edit::Business::Split;
            request.household = reg::toGb(household->text(0));
            for (int c = 4; c < 8; ++c) request.members.push_back(serialOf(c));
            request.newHead = serialOf(4);
            request.target = reg::toGb(QStringLiteral("新分户%1号").arg(n));
            request.date = "20240601";
            reg::RecordStore store;
            (void)store.OpenTable(reg::pathIn(f, reg::names::kRegister));
            planned = edit::plan(store, request, "20991231");
            (void)store.CloseAllTables();
        }
        if (!planned.plan) {
            state.SkipWithError("no household of eight left to split");
            break;
        }
        state.ResumeTiming();
        const edit::Outcome done = w.runBusiness(*planned.plan);
        if (!done.done()) {
            state.SkipWithError("the split was refused");
            break;
        }
    }
}

// The other businesses on a household of eight in the middle of the register, planned as the
// window plans them and timed from 确定 to the repainted tree: a birth (the child of the head),
// a death of its last member, and its last four joining the household after it.
void OtherBusiness(benchmark::State& state, edit::Business business) {
    const QString f = folderWith(int(state.range(0)), "business");
    InfoWindow w(f, dialogs());
    QTreeWidget* tree = find<QTreeWidget>(&w, "树型框");
    int n = 0;  // households of eight from the middle of the register on
    while (householdOfEight(tree, n)) ++n;
    n /= 2;
    for (auto _ : state) {
        state.PauseTiming();
        edit::Planned planned;
        for (QTreeWidgetItem* household; !planned.plan;) {
            household = householdOfEight(tree, n++);
            if (!household) break;
            const auto serialOf = [&](QTreeWidgetItem* h, int child) {
                return std::string(maint::keyOf(reg::toGb(h->child(child)->text(0))));
            };
            edit::Request request;
            request.business = business;
            request.household = reg::toGb(household->text(0));
            request.date = "20240601";
            if (business == edit::Business::Birth) {
                request.members = {serialOf(household, 0)};
                std::vector<std::string> child(reg::kFieldCount);
                child[reg::F姓名 - 1] = reg::toGb(QStringLiteral("新生%1").arg(n));
                child[reg::F性别 - 1] = "1";
                child[reg::F出生日期 - 1] = "20240601";
                request.newcomers = {child};
            } else if (business == edit::Business::Death) {
                request.members = {serialOf(household, 7)};
                request.kind = "13";
            } else {
                const int at = tree->indexOfTopLevelItem(household);
                if (at + 1 >= tree->topLevelItemCount()) break;
                for (int c = 4; c < 8; ++c) request.members.push_back(serialOf(household, c));
                request.target = reg::toGb(tree->topLevelItem(at + 1)->text(0));
            }
            reg::RecordStore store;
            (void)store.OpenTable(reg::pathIn(f, reg::names::kRegister));
            planned = edit::plan(store, request, "20991231");
            (void)store.CloseAllTables();
        }
        if (!planned.plan) {
            state.SkipWithError("no household left for the business");
            break;
        }
        state.ResumeTiming();
        if (!w.runBusiness(*planned.plan).done()) {
            state.SkipWithError("the business was refused");
            break;
        }
    }
}

// "==" on 姓名, "包含" on 房屋详址, "≥" on 出生日期: copy, sort, tree and counters.
void Query(benchmark::State& state) {
    const QString f = folderWith(int(state.range(0)), "query");
    InfoWindow w(f, dialogs());
    struct Row {
        reg::Field field;
        int op;
        const char* value;
    };
    const Row rows[] = {
        {reg::F姓名, 0, "王芳"}, {reg::F房屋详址, 4, "村"}, {reg::F出生日期, 3, "19700101"}};
    for (int k = 0; k < 3; ++k) {
        const QString n = QStringLiteral("%1").arg(k + 1, 2, 10, QChar('0'));
        w.findChild<QCheckBox*>(QStringLiteral("选择框%1").arg(101 + k))->click();
        auto* item = w.findChild<QComboBox*>(QStringLiteral("组合框A") + n);
        item->setCurrentIndex(rows[k].field - 1);
        emit item->activated(rows[k].field - 1);
        w.findChild<QComboBox*>(QStringLiteral("组合框B") + n)->setCurrentIndex(rows[k].op);
        w.findChild<QComboBox*>(QStringLiteral("组合框C") + n)
            ->setEditText(QString::fromUtf8(rows[k].value));
    }
    for (auto _ : state) find<QPushButton>(&w, "查询按钮")->click();
}

// The change-history window on a history of `entries` edits, written in one transaction.
void OpenHistory(benchmark::State& state) {
    const QString f = folderWith(1000, "history");
    const QString path = reg::pathIn(f, reg::history::kFileName);
    if (reg::history::entries(f).size() != size_t(state.range(0))) {
        reg::files::remove(path);
        (void)reg::history::settle(f);
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        const std::string sql =
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
            std::to_string(state.range(0)) +
            ") INSERT INTO entries(state, time, action, action_name, serial, name, before, after) "
            "SELECT 1, '2026-01-01 08:00:00', 2, '修改', i % 3000, '王芳', "
            "'[\"1\",\"村\",\"1\",\"\",\"王芳\",\"1\",\"王芳\"]', "
            "'[\"1\",\"村\",\"1\",\"\",\"王芳\",\"1\",\"王芳\"]' FROM n";
        sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    for (auto _ : state) {
        maint::HistoryWindow w(f, dialogs());
        w.show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(&w);
    }
}

// Ten years of one village of 3,000 persons: 1,500 changes a year, each a modify of a generated
// person (its 22 values before and after), written as the windows write them. Reports the file.
void HistoryTenYears(benchmark::State& state) {
    const std::vector<sample::Person> people = sample::generate(3000, kSeed);
    for (auto _ : state) {
        state.PauseTiming();
        const QString f = folderWith(3000, "tenyears");
        reg::files::remove(reg::pathIn(f, reg::history::kFileName));
        state.ResumeTiming();
        for (int i = 0; i < 15000; ++i) {
            sample::Person after = people[size_t(i) % people.size()];
            after[reg::F工作单位 - 1] = reg::gb("县农机站") + std::to_string(i);
            auto record = reg::history::beginEdit(f, reg::history::Action::Modify,
                                                  people[size_t(i) % people.size()], after);
            (void)record.finish(true);
        }
        state.counters["bytes"] = double(reg::files::size(reg::pathIn(f, reg::history::kFileName)));
    }
}

void sizes(benchmark::internal::Benchmark* b) {
    b->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
}

BENCHMARK(OpenWindow)->Apply(sizes)->Iterations(3);
BENCHMARK(ClickPerson)->Apply(sizes);
BENCHMARK(Add)->Apply(sizes)->Iterations(5);
BENCHMARK(Modify)->Apply(sizes)->Iterations(5);
BENCHMARK(Delete)->Apply(sizes)->Iterations(5);
BENCHMARK(Query)->Apply(sizes)->Iterations(3);
BENCHMARK(Split)->Apply(sizes)->Iterations(5);
BENCHMARK_CAPTURE(OtherBusiness, Birth, edit::Business::Birth)->Apply(sizes)->Iterations(5);
BENCHMARK_CAPTURE(OtherBusiness, Death, edit::Business::Death)->Apply(sizes)->Iterations(5);
BENCHMARK_CAPTURE(OtherBusiness, Join, edit::Business::Join)->Apply(sizes)->Iterations(5);
BENCHMARK(HistoryTenYears)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(OpenHistory)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
