#include "gui/info/infowindow.h"

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

#include "core/edit/health.h"
#include "core/query/standing.h"
#include "core/register/files.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/exchange/resultexport.h"
#include "gui/info/entryform.h"
#include "gui/info/queryrows.h"
#include "gui/reports/cardmenu.h"
#include "gui/reports/certificatewindow.h"
#include "gui/ui/stackedtext.h"
#include "gui/ui/widgets.h"

namespace maint {

namespace {

const QColor kRegisterView(0xFF, 0xFF, 0xFF);
const QColor kResultView(0xC0, 0xC0, 0xC0);
// A person taken off the register (注销) keeps its record and its node, written in grey.
const QColor kDeregistered(0x80, 0x80, 0x80);

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
    ui::nameForReaders(tree_, QStringLiteral("序号和房屋详址列表"));
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setUniformRowHeights(true);
    tree_->setAutoFillBackground(true);
    setRegisterView(true);
    maint::addCardActions(this, tree_, folder_, dialogs_);
    maint::addCertificateAction(this, tree_, folder_, dialogs_);
    // A person chosen with the keyboard is shown as one clicked, so that the form never shows
    // another record than the selected one when the clerk edits it.
    // A person chosen with the keyboard is shown as one clicked, so that the form never shows
    // another record than the selected one when the clerk edits it.
    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        // An item made current without being chosen (the tree taking the focus as the window
        // is activated) is not shown: the form keeps what it shows, the hints included.
        if (item && !item->isSelected()) return;
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
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
        if (tree_->selectedItems().isEmpty() && view_.selected()) dropSelection();
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
    ui::nameForReaders(list_, QStringLiteral("人员列表"));
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
    addSealedBackup(backup);
    connect(restore, &QPushButton::clicked, this, &InfoWindow::restore);
    auto* close = ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭窗口"),
                                {890, 580, 80, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    // The form's buttons stand under it, left of the rule: the keyboard reaches them from the
    // form's last box, before the query's column.
    QWidget* previous = form_->edit(reg::F备注);
    for (QWidget* button : {add_, delete_, clear_, modify_}) {
        setTabOrder(previous, button);
        previous = button;
    }
    connect(add_, &QPushButton::clicked, this, &InfoWindow::addPerson);
    connect(modify_, &QPushButton::clicked, this, &InfoWindow::modifyPerson);
    connect(delete_, &QPushButton::clicked, this, &InfoWindow::deletePerson);
    connect(clear_, &QPushButton::clicked, this, &InfoWindow::clearPerson);
    setUpHistoryAccess();
    setUpQuickFind();
    setUpBusinessAccess();
    setUpRosterAccess();

    startUp();
}

InfoWindow::~InfoWindow() {
    delete history_;
    delete business_;
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
    for (const QString& name : editor_.settle().setAside)
        dialogs_.warning(reg::history::setAsideWarning(name));
    rebuildAndDisplay();
    add_->setEnabled(view_.empty());
}

void InfoWindow::rebuildAndDisplay() {
    showCounts(editor_.reload());
    paintTree(true);
}

void InfoWindow::installTree(const std::vector<maint::TreeItem>& items, bool mirror) {
    view_.install(items, mirror);
    paintTree(mirror);
}

void InfoWindow::paintTree(bool mirror) {
    const QSignalBlocker quiet(tree_);
    tree_->setUpdatesEnabled(false);
    list_->setUpdatesEnabled(false);
    tree_->clear();
    QList<QTreeWidgetItem*> tops;
    for (const maint::RegisterView::Household& h : view_.households()) {
        auto* address = new QTreeWidgetItem(QStringList(reg::fromGb(h.address)));
        for (const std::string& person : h.persons) address->addChild(personNode(person));
        tops.append(address);
    }
    tree_->addTopLevelItems(tops);
    if (mirror) {
        QStringList lines;
        lines.reserve(qsizetype(view_.lines().size()));
        for (const std::string& line : view_.lines()) lines.append(reg::fromGb(line));
        list_->clear();
        list_->addItems(lines);
    }
    list_->setUpdatesEnabled(true);
    tree_->setUpdatesEnabled(true);
}

QTreeWidgetItem* InfoWindow::personNode(const std::string& label) const {
    auto* item = new QTreeWidgetItem(QStringList(reg::fromGb(label)));
    if (view_.deregistered(label)) item->setForeground(0, kDeregistered);
    return item;
}

void InfoWindow::markStanding(const std::vector<maint::ViewEdit>& edits,
                              const std::vector<std::string>& values) {
    const bool off =
        query::standingAt(values, reg::health::today()) == query::Standing::Deregistered;
    for (const maint::ViewEdit& e : edits)
        if (e.kind == maint::ViewEdit::AddPerson || e.kind == maint::ViewEdit::RelabelPerson)
            view_.setDeregistered(e.text, off);
}

void InfoWindow::markStanding(const std::vector<maint::ViewEdit>& edits) {
    // Each record these edits show, found by its 序号 in the register as written.
    static_cast<void>(store_.OpenTable(reg::pathIn(folder_, reg::names::kRegister),
                                       reg::pathIn(folder_, reg::names::kIndex)));
    const std::string today = reg::health::today();
    std::vector<std::string> change(reg::kFieldCount);
    for (const maint::ViewEdit& e : edits) {
        if (e.kind != maint::ViewEdit::AddPerson && e.kind != maint::ViewEdit::RelabelPerson)
            continue;
        if (!store_.SeekKey(maint::keyOf(e.text))) continue;
        change[reg::F户籍变动类型 - 1] = store_.ReadField(reg::F户籍变动类型);
        change[reg::F户籍变动日期 - 1] = store_.ReadField(reg::F户籍变动日期);
        view_.setDeregistered(e.text,
                              query::standingAt(change, today) == query::Standing::Deregistered);
    }
    static_cast<void>(store_.CloseAllTables());  // only read
}

void InfoWindow::showCounts(const maint::Counts& counts) {
    persons_->setText(reg::fromGb(maint::counterText(counts.persons)));
    heads_->setText(reg::fromGb(maint::counterText(counts.heads)));
}

bool InfoWindow::inRegisterView() const {
    return view_.inRegisterView();
}

void InfoWindow::setRegisterView(bool registerView) {
    view_.setRegisterView(registerView);
    QPalette palette = tree_->palette();
    palette.setColor(QPalette::Base, registerView ? kRegisterView : kResultView);
    tree_->setPalette(palette);
}

std::optional<maint::RegisterView::Place> InfoWindow::placeOf(const QTreeWidgetItem* item) const {
    if (!item) return std::nullopt;
    auto* it = const_cast<QTreeWidgetItem*>(item);
    if (QTreeWidgetItem* parent = it->parent())
        return maint::RegisterView::Place{tree_->indexOfTopLevelItem(parent),
                                          parent->indexOfChild(it)};
    return maint::RegisterView::Place{tree_->indexOfTopLevelItem(it), -1};
}

QTreeWidgetItem* InfoWindow::itemAt(const std::optional<maint::RegisterView::Place>& place) const {
    if (!place) return nullptr;
    QTreeWidgetItem* top = tree_->topLevelItem(place->household);
    return top && place->person >= 0 ? top->child(place->person) : top;
}

int InfoWindow::itemNumber(const QTreeWidgetItem* item) const {
    const auto place = placeOf(item);
    return place ? view_.numberOf(*place) : -1;
}

void InfoWindow::decideAddButton(bool registerEmpty) {
    add_->setEnabled(view_.addAllowed(registerEmpty));
}

void InfoWindow::showSelected() {
    QTreeWidgetItem* current = tree_->currentItem();
    // Only an item shown as selected is the clerk's choice.
    view_.select(current && current->isSelected() ? placeOf(current) : std::nullopt);
    list_->setCurrentRow(view_.selectedLine());
    // Without the register (or its index) nothing is found and the form is emptied.
    static_cast<void>(store_.OpenTable(reg::pathIn(folder_, reg::names::kRegister),
                                       reg::pathIn(folder_, reg::names::kIndex)));
    decideAddButton(store_.RecordCount() == 0);
    if (store_.SeekKey(maint::keyOf(view_.selectedText()))) {
        std::vector<std::string> values;
        for (int pos = 1; pos <= reg::kFieldCount; ++pos) values.push_back(store_.ReadField(pos));
        form_->show(values);
    } else {
        form_->clear();
    }
    // Nothing was written.
    static_cast<void>(store_.CloseAllTables());
}

void InfoWindow::dropSelection() {
    {
        const QSignalBlocker quiet(tree_);
        tree_->setCurrentItem(nullptr);
    }
    view_.select(std::nullopt);
    list_->setCurrentRow(-1);
    static_cast<void>(store_.OpenTable(reg::pathIn(folder_, reg::names::kRegister)));
    decideAddButton(store_.RecordCount() == 0);
    static_cast<void>(store_.CloseAllTables());
}

void InfoWindow::paint(const std::vector<maint::ViewEdit>& edits) {
    using E = maint::ViewEdit;
    const QSignalBlocker quiet(tree_);
    for (const E& e : edits) {
        const QString text = reg::fromGb(e.text);
        QTreeWidgetItem* top = e.household >= 0 ? tree_->topLevelItem(e.household) : nullptr;
        switch (e.kind) {
            case E::AddHousehold:
                tree_->insertTopLevelItem(e.household, new QTreeWidgetItem(QStringList(text)));
                break;
            case E::AddPerson:
                top->addChild(personNode(e.text));
                break;
            case E::RemovePerson:
                delete top->child(e.person);
                break;
            case E::RemoveHousehold:
                delete tree_->takeTopLevelItem(e.household);
                break;
            case E::RelabelPerson:
                top->child(e.person)->setText(0, text);
                top->child(e.person)->setForeground(
                    0, view_.deregistered(e.text) ? QBrush(kDeregistered) : QBrush());
                break;
            case E::ExpandHousehold:
                top->setExpanded(true);
                break;
            case E::InsertLine:
                list_->insertItem(e.line, text);
                break;
            case E::RemoveLine:
                delete list_->takeItem(e.line);
                break;
            case E::RelabelLine:
                list_->item(e.line)->setText(text);
                break;
        }
    }
    paintSelection();
}

void InfoWindow::paintSelection() {
    const QSignalBlocker quiet(tree_);
    tree_->setCurrentItem(itemAt(view_.selected()));
    list_->setCurrentRow(view_.selectedLine());
}

void InfoWindow::refresh() {
    query_->refreshButton()->setEnabled(false);
    query_->exportButton()->setEnabled(false);
    setRegisterView(true);
    rebuildAndDisplay();
    decideAddButton(view_.empty());
    for (QPushButton* b : {delete_, clear_, modify_, query_->refreshButton()}) b->setEnabled(true);
}

void InfoWindow::releaseWorkingFiles() {
    if (released_) return;
    released_ = true;
    // Every action commits its own writes; nothing is open here but for reading.
    static_cast<void>(store_.CloseAllTables());
    namespace names = reg::names;
    for (const QString& name :
         {names::kQueryResult, names::kSorted, names::kIndex, names::kRestoreStage})
        reg::files::remove(reg::pathIn(folder_, name));
}

void InfoWindow::closeEvent(QCloseEvent* event) {
    // The business window works on this window's editor and paints into it.
    if (business_) business_->close();
    releaseWorkingFiles();
    emit closed();
    event->accept();
}

}  // namespace maint
