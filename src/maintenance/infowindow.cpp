#include "maintenance/infowindow.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimer>
#include <QTreeWidget>

#include "exchange/resultexport.h"
#include "maintenance/entryform.h"
#include "maintenance/queryrows.h"
#include "register/files.h"
#include "register/history.h"
#include "register/person.h"
#include "register/text.h"
#include "register/workfiles.h"
#include "ui/stackedtext.h"
#include "ui/widgets.h"

namespace maintenance {

namespace {

const QColor kRegisterView(0xFF, 0xFF, 0xFF);
const QColor kResultView(0xC0, 0xC0, 0xC0);

// The text of the strip beside the tree, one character a line with a blank line between.
QString downwards() {
    auto spaced = [](const QString& text) {
        QStringList chars;
        for (QChar c : text) chars << QString(c);
        return chars.join(QStringLiteral("\n\n"));
    };
    return spaced(QStringLiteral("序号和房屋详址列表")) + QStringLiteral("\n\n\n\n\n") +
           spaced(QStringLiteral("单击显示详细信息"));
}

}  // namespace

InfoWindow::InfoWindow(QString folder, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), folder_(std::move(folder)), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-信息管理   青石听雨 制作"),
                    {990, 650});
    move(50, 50);

    ui::addStackedText(this, QStringLiteral("透明标签X01"), downwards(), {5, 50, 12, 450}, 12);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("树型框"));
    tree_->setGeometry(20, 5, 205, 578);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setUniformRowHeights(true);
    tree_->setAutoFillBackground(true);
    setRegisterView(true);
    // A person chosen with the keyboard is shown as one clicked, so that the form never shows
    // another record than the selected one when the clerk edits it.
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        showSelected();
        // The press that made it current needs no second look-up.
        justShown_ = item;
        QTimer::singleShot(0, this, [this] { justShown_ = nullptr; });
    });
    connect(tree_, &QTreeWidget::itemPressed, this, [this](QTreeWidgetItem* item) {
        if (item == justShown_) {
            justShown_ = nullptr;
            return;
        }
        showSelected();
    });

    ui::addLabel(this, QStringLiteral("透明标签A01"), QStringLiteral("当前人员数"),
                 {20, 585, 60, 15});
    persons_ = ui::addLabel(this, QStringLiteral("透明标签B01"), QString(), {95, 585, 125, 15});
    ui::addLabel(this, QStringLiteral("透明标签A02"), QStringLiteral("当前户主数"),
                 {20, 600, 60, 15});
    heads_ = ui::addLabel(this, QStringLiteral("透明标签B02"), QString(), {95, 600, 125, 15});

    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("列表框"));
    list_->setGeometry(250, 580, 90, 30);
    list_->hide();

    form_ = new maint::FormControls(this);

    auto* rule = new QFrame(this);
    rule->setObjectName(QStringLiteral("分组框1"));
    rule->setGeometry(643, -10, 4, 640);
    rule->setFrameShape(QFrame::VLine);
    rule->setFrameShadow(QFrame::Sunken);
    query_ = new maint::QueryRows(this);
    connect(query_->refreshButton(), &QPushButton::clicked, this, &InfoWindow::refresh);
    connect(query_->queryButton(), &QPushButton::clicked, this, &InfoWindow::runQuery);
    // The result export: disabled at once, and until the next query lists someone.
    connect(query_->exportButton(), &QPushButton::clicked, this, [this] {
        query_->exportButton()->setEnabled(false);
        exchange::exportResult(folder_, dialogs_, query_->progress());
    });

    add_ =
        ui::addButton(this, QStringLiteral("添加按钮"), QStringLiteral("添加"), {350, 580, 65, 30});
    delete_ =
        ui::addButton(this, QStringLiteral("删除按钮"), QStringLiteral("删除"), {425, 580, 65, 30});
    clear_ =
        ui::addButton(this, QStringLiteral("清空按钮"), QStringLiteral("清空"), {500, 580, 65, 30});
    modify_ =
        ui::addButton(this, QStringLiteral("修改按钮"), QStringLiteral("修改"), {575, 580, 65, 30});
    auto* backup = ui::addButton(this, QStringLiteral("备份按钮"), QStringLiteral("备份数据"),
                                 {670, 580, 80, 30});
    auto* restore = ui::addButton(this, QStringLiteral("恢复按钮"), QStringLiteral("恢复数据"),
                                  {780, 580, 80, 30});
    connect(backup, &QPushButton::clicked, this, &InfoWindow::backUp);
    connect(restore, &QPushButton::clicked, this, &InfoWindow::restore);
    auto* close = ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭窗口"),
                                {890, 580, 80, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(add_, &QPushButton::clicked, this, &InfoWindow::addPerson);
    connect(modify_, &QPushButton::clicked, this, &InfoWindow::modifyPerson);
    connect(delete_, &QPushButton::clicked, this, &InfoWindow::deletePerson);
    connect(clear_, &QPushButton::clicked, this, &InfoWindow::clearPerson);
    setUpHistoryAccess();

    startUp();
}

InfoWindow::~InfoWindow() {
    delete history_;
    releaseWorkingFiles();
}

void InfoWindow::startUp() {
    reg::files::setCleared(reg::pathIn(folder_, reg::names::kIndex));
    reg::files::setCleared(reg::pathIn(folder_, reg::names::kRestoreStage));
    query_->progress()->hide();
    query_->exportButton()->setEnabled(false);
    query_->runSwitchChain();
    query_->enableRows();
    form_->showHints();
    // Before the register is first touched: an action cut short is settled in the history.
    for (const QString& name : reg::history::settle(folder_).setAside)
        dialogs_.warning(reg::history::setAsideWarning(name));
    rebuildAndDisplay();
    add_->setEnabled(tree_->topLevelItemCount() == 0);
}

void InfoWindow::rebuildAndDisplay() {
    const maint::RegisterDisplay d = maint::rebuildAndCollect(store_, folder_);
    installTree(d.items, true);
    showCounts(d.counts);
}

void InfoWindow::installTree(const std::vector<maint::TreeItem>& items, bool mirror) {
    const QSignalBlocker quiet(tree_);
    tree_->setUpdatesEnabled(false);
    list_->setUpdatesEnabled(false);
    tree_->clear();
    QList<QTreeWidgetItem*> tops;
    QStringList lines;
    QTreeWidgetItem* address = nullptr;
    for (const maint::TreeItem& item : items) {
        const QString text = reg::fromGb(item.text);
        if (item.level == 0 || !address) {
            address = new QTreeWidgetItem(QStringList(text));
            tops.append(address);
            if (item.level != 0) address->addChild(new QTreeWidgetItem(QStringList(text)));
        } else {
            address->addChild(new QTreeWidgetItem(QStringList(text)));
        }
        if (mirror) lines.append(text);
    }
    tree_->addTopLevelItems(tops);
    if (mirror) {
        list_->clear();
        list_->addItems(lines);
    }
    list_->setUpdatesEnabled(true);
    tree_->setUpdatesEnabled(true);
}

void InfoWindow::showCounts(const maint::Counts& counts) {
    persons_->setText(reg::fromGb(maint::counterText(counts.persons)));
    heads_->setText(reg::fromGb(maint::counterText(counts.heads)));
}

bool InfoWindow::inRegisterView() const {
    return tree_->palette().color(QPalette::Base) == kRegisterView;
}

void InfoWindow::setRegisterView(bool registerView) {
    QPalette palette = tree_->palette();
    palette.setColor(QPalette::Base, registerView ? kRegisterView : kResultView);
    tree_->setPalette(palette);
}

int InfoWindow::itemNumber(const QTreeWidgetItem* item) const {
    if (!item) return -1;
    if (const QTreeWidgetItem* parent = item->parent())
        return itemNumber(parent) + 1 + parent->indexOfChild(const_cast<QTreeWidgetItem*>(item));
    const int top = tree_->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item));
    int number = 0;
    for (int i = 0; i < top; ++i) number += 1 + tree_->topLevelItem(i)->childCount();
    return number;
}

void InfoWindow::decideAddButton(bool registerEmpty) {
    const QTreeWidgetItem* selected = tree_->currentItem();
    add_->setEnabled(inRegisterView() && ((selected && selected->parent()) || registerEmpty));
}

std::vector<std::string> InfoWindow::listLines() const {
    std::vector<std::string> lines;
    lines.reserve(size_t(list_->count()));
    for (int i = 0; i < list_->count(); ++i) lines.push_back(reg::toGb(list_->item(i)->text()));
    return lines;
}

void InfoWindow::mirrorSelection() {
    const QTreeWidgetItem* selected = tree_->currentItem();
    int row = itemNumber(selected);
    // Inside a household the lines may stand in another order than the nodes since an edit;
    // the line of the same person is the one to select.
    if (const QTreeWidgetItem* household = selected ? selected->parent() : nullptr) {
        const int first = itemNumber(household) + 1;
        for (int i = first; i < first + household->childCount() && i < list_->count(); ++i)
            if (list_->item(i)->text() == selected->text(0)) {
                row = i;
                break;
            }
    }
    list_->setCurrentRow(row);
}

void InfoWindow::showSelected() {
    QTreeWidgetItem* selected = tree_->currentItem();
    mirrorSelection();
    store_.OpenTable(reg::pathIn(folder_, reg::names::kRegister),
                     reg::pathIn(folder_, reg::names::kIndex));
    decideAddButton(store_.RecordCount() == 0);
    const std::string text = selected ? reg::toGb(selected->text(0)) : std::string();
    if (store_.SeekKey(maint::keyOf(text))) {
        std::vector<std::string> values;
        for (int pos = 1; pos <= reg::kFieldCount; ++pos) values.push_back(store_.ReadField(pos));
        form_->show(values);
    } else {
        form_->clear();
    }
    store_.CloseAllTables();
}

void InfoWindow::refresh() {
    query_->refreshButton()->setEnabled(false);
    query_->exportButton()->setEnabled(false);
    setRegisterView(true);
    rebuildAndDisplay();
    decideAddButton(tree_->topLevelItemCount() == 0);
    for (QPushButton* b : {delete_, clear_, modify_, query_->refreshButton()}) b->setEnabled(true);
}

void InfoWindow::releaseWorkingFiles() {
    if (released_) return;
    released_ = true;
    store_.CloseAllTables();
    namespace names = reg::names;
    for (const QString& name :
         {names::kQueryResult, names::kSorted, names::kIndex, names::kRestoreStage})
        reg::files::remove(reg::pathIn(folder_, name));
}

void InfoWindow::closeEvent(QCloseEvent* event) {
    releaseWorkingFiles();
    emit closed();
    event->accept();
}

}  // namespace maintenance
