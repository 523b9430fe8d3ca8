#include "gui/exchange/duplicatewindow.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>

#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/ui/widgets.h"

namespace exchange {

namespace {

using Person = std::vector<std::string>;

const QColor kDiffering(255, 228, 196);

QTableWidget* addTable(QWidget* parent, const QString& name, QRect place, const QString& spoken,
                       const QStringList& headings) {
    auto* table = ui::addControl<QTableWidget>(parent, name, place, spoken);
    table->setColumnCount(int(headings.size()));
    table->setHorizontalHeaderLabels(headings);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(24);
    return table;
}

// A value as the clerk reads it: a code by its name.
QString shown(int pos, const std::string& value) {
    const reg::CodeTable* table = reg::codeTableOf(pos);
    return reg::fromGb(table ? reg::codeToName(*table, value) : value);
}

bool blank(int pos, const std::string& value) {
    return value.empty() || (reg::codeTableOf(pos) && (value == "0" || value == "-1"));
}

QString who(const Person& p) {
    return QStringLiteral("%1（序号 %2）")
        .arg(reg::fromGb(p[reg::F姓名 - 1]), reg::fromGb(p[reg::F序号 - 1]));
}

}  // namespace

DuplicateWindow::DuplicateWindow(edit::RegisterEditor& editor, ui::Dialogs& dialogs,
                                 QWidget* parent)
    : QWidget(parent),
      editor_(editor),
      dialogs_(dialogs),
      dismissals_(editor.folder()),
      scanning_(new ui::Background(this)) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-查找重复   青石听雨 制作"),
                    {900, 650});
    summary_ = ui::addLabel(this, QStringLiteral("说明标签"), QString(), {15, 10, 860, 20});
    list_ = addTable(this, QStringLiteral("重复列表"), {15, 35, 860, 130},
                     QStringLiteral("可能重复的人员"),
                     {QStringLiteral("可能性"), QStringLiteral("原因"), QStringLiteral("甲"),
                      QStringLiteral("乙")});
    list_->setColumnWidth(0, 60);
    list_->setColumnWidth(1, 220);
    list_->setColumnWidth(2, 280);
    QLabel* how = ui::addLabel(
        this, QStringLiteral("对照说明标签"),
        QStringLiteral("两条记录逐项对照，不同的项目标有底色。合并时在“取值”一栏选定取哪一条的值；"
                       "“序号”一行选定保留哪一条记录，另一条删除。"),
        {15, 172, 860, 30});
    how->setWordWrap(true);
    compare_ = addTable(this, QStringLiteral("对照表"), {15, 208, 860, 350},
                        QStringLiteral("两条记录逐项对照"),
                        {QStringLiteral("项目"), QStringLiteral("甲"), QStringLiteral("乙"),
                         QStringLiteral("取值")});
    compare_->setSelectionMode(QAbstractItemView::NoSelection);
    compare_->setRowCount(reg::kFieldCount);
    compare_->setColumnWidth(0, 110);
    compare_->setColumnWidth(1, 300);
    compare_->setColumnWidth(2, 300);
    for (int pos = 1; pos <= reg::kFieldCount; ++pos)
        compare_->setItem(pos - 1, 0, new QTableWidgetItem(reg::fromGb(reg::fieldName(pos))));
    choices_.assign(size_t(reg::kFieldCount), nullptr);

    notSame_ = ui::addButton(this, QStringLiteral("不是同一人按钮"), QStringLiteral("不是同一人"),
                             {15, 570, 110, 30});
    merge_ =
        ui::addButton(this, QStringLiteral("合并按钮"), QStringLiteral("合并"), {140, 570, 90, 30});
    auto* close =
        ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭"), {775, 570, 90, 30});
    connect(list_, &QTableWidget::itemSelectionChanged, this, &DuplicateWindow::showPair);
    connect(notSame_, &QPushButton::clicked, this, &DuplicateWindow::notSame);
    connect(merge_, &QPushButton::clicked, this, &DuplicateWindow::merge);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    rescan();
}

// Reads and scans the register off the window's thread: 100,000 persons take a second or two.
void DuplicateWindow::rescan() {
    if (scanning_->busy()) return;
    notSame_->setEnabled(false);
    merge_->setEnabled(false);
    summary_->setText(QStringLiteral("正在查找可能重复的人员……"));
    const QString path = reg::pathIn(editor_.folder(), reg::names::kRegister);
    scanning_->run<Scan>(
        [path](const ui::Background::Progress&) {
            Scan scan;
            scan.opened = edit::dup::readRegister(path, scan.persons, &scan.records);
            if (scan.opened) scan.pairs = edit::dup::findPairs(scan.persons);
            return scan;
        },
        {}, [this](Scan& scan) { showScan(scan); });
}

void DuplicateWindow::showScan(Scan& scan) {
    const bool first = firstScan_;
    firstScan_ = false;
    persons_ = std::move(scan.persons);
    records_ = std::move(scan.records);
    // The decisions may have been written by another window since.
    dismissals_.reload();
    pairs_.clear();
    for (const edit::dup::Pair& p : scan.pairs)
        if (!dismissals_.contains(persons_[p.a], persons_[p.b])) pairs_.push_back(p);

    list_->clearSelection();
    list_->setRowCount(int(pairs_.size()));
    for (size_t i = 0; i < pairs_.size(); ++i) {
        const edit::dup::Pair& p = pairs_[i];
        const int row = int(i);
        list_->setItem(row, 0, new QTableWidgetItem(QString::number(p.score)));
        list_->setItem(row, 1, new QTableWidgetItem(edit::dup::reasonText(p.reason)));
        list_->setItem(row, 2, new QTableWidgetItem(who(persons_[p.a])));
        list_->setItem(row, 3, new QTableWidgetItem(who(persons_[p.b])));
    }
    if (!scan.opened) {
        summary_->setText(dupmsg::kNoRegister);
        showPair();
        return dialogs_.warning(dupmsg::kNoRegister);
    }
    if (pairs_.empty()) {
        summary_->setText(dupmsg::kNone);
        showPair();
        if (first) dialogs_.notice(dupmsg::kNone);
        return;
    }
    list_->selectRow(0);
    showPair();
}

int DuplicateWindow::selectedRow() const {
    const QList<QTableWidgetItem*> items = list_->selectedItems();
    return items.isEmpty() ? -1 : items.front()->row();
}

size_t DuplicateWindow::side(int row, int which) const {
    const edit::dup::Pair& p = pairs_[size_t(row)];
    return which == 0 ? p.a : p.b;
}

void DuplicateWindow::showPair() {
    // The view deletes a cell's widget later: until then it must neither show nor be found.
    for (QComboBox*& choice : choices_) {
        if (choice) {
            choice->hide();
            choice->setObjectName(QString());
            compare_->removeCellWidget(int(&choice - choices_.data()), 3);
        }
        choice = nullptr;
    }
    const int row = selectedRow();
    notSame_->setEnabled(row >= 0 && !scanning_->busy());
    merge_->setEnabled(row >= 0 && !scanning_->busy());
    if (!pairs_.empty())
        summary_->setText(
            QStringLiteral("发现 %1 对可能重复的人员%2。")
                .arg(pairs_.size())
                .arg(row >= 0 ? QStringLiteral("，下面是第 %1 对").arg(row + 1) : QString()));
    for (int pos = 1; pos <= reg::kFieldCount; ++pos) {
        const int line = pos - 1;
        QString a, b;
        bool differ = false;
        if (row >= 0) {
            const Person& pa = persons_[side(row, 0)];
            const Person& pb = persons_[side(row, 1)];
            const std::string& va = pa[size_t(line)];
            const std::string& vb = pb[size_t(line)];
            a = shown(pos, va);
            b = shown(pos, vb);
            differ = va != vb;
            // 序号 always asks which record stays; another field only where the two differ,
            // leaning to the one that is filled in.
            if (differ || pos == reg::F序号) {
                auto* choice = new QComboBox;
                choice->setObjectName(QStringLiteral("取值框%1").arg(pos, 2, 10, QLatin1Char('0')));
                choice->addItems({QStringLiteral("甲"), QStringLiteral("乙")});
                if (pos != reg::F序号 && blank(pos, va) && !blank(pos, vb))
                    choice->setCurrentIndex(1);
                ui::nameForReaders(choice, pos == reg::F序号 ? QStringLiteral("保留哪一条记录")
                                                             : reg::fromGb(reg::fieldName(pos)) +
                                                                   QStringLiteral("取哪一条的值"));
                compare_->setCellWidget(line, 3, choice);
                choices_[size_t(line)] = choice;
            }
        }
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem* item = compare_->item(line, column);
            if (!item) compare_->setItem(line, column, item = new QTableWidgetItem);
            if (column == 1) item->setText(a);
            if (column == 2) item->setText(b);
            item->setBackground(differ ? QBrush(kDiffering) : QBrush());
            // Read out as well as seen.
            if (column == 0) item->setToolTip(differ ? QStringLiteral("两条不同") : QString());
        }
    }
}

void DuplicateWindow::notSame() {
    const int row = selectedRow();
    if (row < 0) return;
    if (!dismissals_.add(persons_[side(row, 0)], persons_[side(row, 1)]))
        return dialogs_.warning(dupmsg::kNotRemembered);
    pairs_.erase(pairs_.begin() + row);
    list_->removeRow(row);
    if (pairs_.empty()) {
        summary_->setText(dupmsg::kNone);
        showPair();
        return;
    }
    list_->selectRow(std::min(row, int(pairs_.size()) - 1));
    showPair();
}

QString DuplicateWindow::mergeQuestion(int row) const {
    const QComboBox* serial = choices_[reg::F序号 - 1];
    const int kept = serial ? serial->currentIndex() : 0;
    const Person& keep = persons_[side(row, kept)];
    const Person& drop = persons_[side(row, 1 - kept)];
    return QStringLiteral(
               "       将合并 %1 和 %2：保留 %3 的记录，各项取选定的值，删除 %4 的记录。"
               "合并可以用“撤销恢复/导入”撤销。确认合并吗？")
        .arg(who(persons_[side(row, 0)]), who(persons_[side(row, 1)]), who(keep), who(drop));
}

void DuplicateWindow::merge() {
    const int row = selectedRow();
    if (row < 0) return;
    if (!dialogs_.question(mergeQuestion(row))) return;
    const int kept = choices_[reg::F序号 - 1]->currentIndex();
    const size_t keep = side(row, kept), drop = side(row, 1 - kept);
    Person values(static_cast<size_t>(reg::kFieldCount));
    for (size_t f = 0; f < values.size(); ++f)
        values[f] = persons_[choices_[f] && choices_[f]->currentIndex() == 1 ? side(row, 1)
                                                                             : side(row, 0)][f];

    // The records must still be as the clerk saw them: a merge on old values would undo what
    // was changed since.
    std::vector<Person> now;
    std::vector<long> records;
    const QString path = reg::pathIn(editor_.folder(), reg::names::kRegister);
    auto unchanged = [&](size_t person) {
        auto at = std::lower_bound(records.begin(), records.end(), records_[person]);
        return at != records.end() && *at == records_[person] &&
               now[size_t(at - records.begin())] == persons_[person];
    };
    if (!edit::dup::readRegister(path, now, &records) || !unchanged(keep) || !unchanged(drop)) {
        dialogs_.warning(dupmsg::kChangedSince);
        return rescan();
    }

    std::vector<edit::RecordChange> changes =
        edit::dup::mergeChanges(persons_[keep], persons_[drop], std::move(values));
    // By record number: a workbook imported twice leaves both records with one 序号.
    changes[0].record = records_[keep];
    changes[1].record = records_[drop];
    const edit::Outcome merged = editor_.applyChanges(changes);
    if (!merged.done()) {
        if (!merged.message.isEmpty()) dialogs_.warning(merged.message);
        return rescan();
    }
    emit changed();
    dialogs_.notice(merged.message);
    rescan();
}

}  // namespace exchange
