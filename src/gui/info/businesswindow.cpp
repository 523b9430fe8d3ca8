#include "gui/info/businesswindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <set>

#include "core/edit/health.h"
#include "core/query/standing.h"
#include "core/register/person.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/ui/widgets.h"

namespace maint {

using edit::Business;
using namespace reg;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
// A proposal the register cannot settle, and the colour of its mark.
const QString kCheck = QStringLiteral("请核对");
const QColor kCheckColour(0xFF, 0xFF, 0x99);
constexpr int kDateBytes = 8;

enum MemberColumn { kTick, kSerial, kName, kRelation, kBorn };
enum NewcomerColumn { kNewSerial, kNewName, kNewSex, kNewBorn, kNewIdentity, kNewRelation };
enum PlanColumn { kPlanSerial, kPlanName, kPlanAction, kPlanRelation, kPlanCheck };

QString value(const std::vector<std::string>& record, int field) {
    return size_t(field) <= record.size() ? fromGb(record[size_t(field - 1)]) : QString();
}

// A stored value as the clerk reads it: a code by its name.
QString shown(int field, const std::string& stored) {
    const CodeTable* table = codeTableOf(field);
    const QString text = fromGb(table ? codeToName(*table, stored) : stored);
    return text.isEmpty() ? QStringLiteral("（空）") : text;
}

QComboBox* codeCombo(QWidget* parent, int field, const QString& spoken) {
    auto* combo = new QComboBox(parent);
    for (const std::string& name : formList(*codeTableOf(field))) combo->addItem(fromGb(name));
    ui::nameForReaders(combo, spoken);
    return combo;
}

QTableWidget* addTable(QWidget* parent, const QString& name, QRect place,
                       const QStringList& headings, const QString& spoken) {
    auto* table = ui::addControl<QTableWidget>(parent, name, place, spoken);
    table->setColumnCount(int(headings.size()));
    table->setHorizontalHeaderLabels(headings);
    table->verticalHeader()->hide();
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(24);
    return table;
}

QTableWidgetItem* fixedItem(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

// The serial a combo box of members has chosen (its item data); empty for none.
std::string chosenSerial(const QComboBox* combo) {
    return combo && combo->isEnabled() ? toGb(combo->currentData().toString()) : std::string();
}

// Refills a combo box of members with `members` (an empty entry first), keeping the chosen one
// when it is still among them.
void fillChoice(QComboBox* combo, const std::vector<std::vector<std::string>>& members) {
    const QString kept = combo->currentData().toString();
    const QSignalBlocker quiet(combo);
    combo->clear();
    combo->addItem(QString(), QString());
    for (const auto& m : members)
        combo->addItem(value(m, F序号) + QLatin1Char(' ') + value(m, F姓名), value(m, F序号));
    combo->setCurrentIndex(std::max(0, combo->findData(kept)));
}

}  // namespace

BusinessWindow::BusinessWindow(edit::RegisterEditor& editor, ui::Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), editor_(editor), dialogs_(dialogs) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-户籍业务   青石听雨 制作"),
                    {820, 640});
    // The plan follows the page as the clerk types, once the typing pauses.
    later_ = new QTimer(this);
    later_->setSingleShot(true);
    later_->setInterval(300);
    connect(later_, &QTimer::timeout, this, &BusinessWindow::propose);
    heading_ = ui::addLabel(this, QStringLiteral("透明标签Y01"), QString(), {20, 10, 770, 20});
    tabs_ = ui::addControl<QTabWidget>(this, QStringLiteral("业务页"), {20, 35, 772, 215},
                                       QStringLiteral("户籍业务"));
    for (int b = 0; b < edit::kBusinessCount; ++b) buildPage(Business(b));
    connect(tabs_, &QTabWidget::currentChanged, this, [this] {
        corrections_.clear();
        updateHeads();
        propose();
    });

    ui::addLabel(this, QStringLiteral("透明标签Y02"),
                 QStringLiteral("变更方案（与户主关系可改；标有“请核对”的须核对）"),
                 {20, 258, 430, 20});
    plan_ = addTable(this, QStringLiteral("变更方案"), {20, 280, 430, 250},
                     {QStringLiteral("序号"), QStringLiteral("姓名"), QStringLiteral("办理"),
                      QStringLiteral("与户主关系"), QStringLiteral("核对")},
                     QStringLiteral("变更方案"));
    plan_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    plan_->setColumnWidth(kPlanSerial, 60);
    plan_->setColumnWidth(kPlanName, 80);
    plan_->setColumnWidth(kPlanAction, 50);
    plan_->setColumnWidth(kPlanRelation, 120);
    connect(plan_, &QTableWidget::currentCellChanged, this, [this] { showRecord(); });

    ui::addLabel(this, QStringLiteral("透明标签Y03"),
                 QStringLiteral("所选记录办理后的各项（可修改）"), {460, 258, 330, 20});
    fields_ = addTable(this, QStringLiteral("记录各项"), {460, 280, 332, 250},
                       {QStringLiteral("字段"), QStringLiteral("办理后")},
                       QStringLiteral("所选记录办理后的各项"));
    fields_->setRowCount(kFieldCount);
    fields_->setColumnWidth(0, 100);
    fields_->setSelectionBehavior(QAbstractItemView::SelectItems);
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        fields_->setItem(pos - 1, 0, fixedItem(fromGb(fieldName(pos))));
        if (codeTableOf(pos)) {
            QComboBox* combo = codeCombo(fields_, pos, fromGb(fieldName(pos)));
            fields_->setCellWidget(pos - 1, 1, combo);
            connect(combo, &QComboBox::currentIndexChanged, this, [this, pos](int index) {
                if (!filling_) correct(plan_->currentRow(), pos, listPositionToStored(index));
            });
        } else {
            fields_->setItem(pos - 1, 1, new QTableWidgetItem);
        }
    }
    connect(fields_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!filling_ && item->column() == 1)
            correct(plan_->currentRow(), item->row() + 1, toGb(item->text().trimmed()));
    });

    state_ = ui::addLabel(this, QStringLiteral("透明标签Y04"), QString(), {20, 540, 560, 40});
    state_->setWordWrap(true);
    auto* ok =
        ui::addButton(this, QStringLiteral("确定按钮"), QStringLiteral("确定"), {600, 545, 90, 30});
    auto* close = ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭窗口"),
                                {702, 545, 90, 30});
    connect(ok, &QPushButton::clicked, this, &BusinessWindow::accept);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
}

void BusinessWindow::buildPage(Business business) {
    Page& p = pages_[size_t(business)];
    const QString title = edit::businessName(business);
    p.widget = new QWidget(tabs_);
    p.widget->setObjectName(title);
    tabs_->addTab(p.widget, title);
    QWidget* w = p.widget;
    auto named = [&](const QString& what) { return title + QLatin1Char(':') + what; };
    int row = 0;
    // A caption and its control in the column right of the member list, one row each.
    auto right = [&](const QString& caption, QWidget* control) {
        const int y = 6 + 30 * row++;
        auto* label = ui::addLabel(w, named(caption + QStringLiteral("标签")), caption,
                                   {440, y + 3, 100, 20});
        control->setObjectName(named(caption));
        control->setGeometry(545, y, 210, 24);
        ui::nameForReaders(control, caption);
        label->setBuddy(control);
    };
    auto edit = [&](const QString& caption, int maxBytes = 0, bool digits = false) {
        auto* e = new QLineEdit(w);
        ui::applyRules(
            e, {.maxBytes = maxBytes, .input = digits ? ui::Input::Integer : ui::Input::Any});
        right(caption, e);
        connect(e, &QLineEdit::textChanged, this, &BusinessWindow::schedule);
        return e;
    };
    auto combo = [&](const QString& caption, bool editable = false) {
        auto* c = new QComboBox(w);
        c->setEditable(editable);
        right(caption, c);
        connect(c, &QComboBox::currentIndexChanged, this, &BusinessWindow::schedule);
        if (editable) connect(c, &QComboBox::editTextChanged, this, &BusinessWindow::schedule);
        return c;
    };
    auto kinds = [&](const QString& caption, int from, int to) {
        QComboBox* c = combo(caption);
        const CodeTable& table = *codeTableOf(F户籍变动类型);
        c->addItem(QString(), QString());
        for (int k = from; k <= to; ++k)
            c->addItem(fromGb(table.names[size_t(k - 1)]), QString::number(k));
        return c;
    };
    const int addressBytes = fieldDefs()[F房屋详址 - 1].formLimit;
    const int placeBytes = fieldDefs()[F迁自迁往何地 - 1].formLimit;

    if (business != Business::Birth && business != Business::MoveIn) {
        p.members = addTable(w, named(QStringLiteral("本户人员")), {5, 6, 420, 172},
                             {QString(), QStringLiteral("序号"), QStringLiteral("姓名"),
                              QStringLiteral("与户主关系"), QStringLiteral("出生日期")},
                             QStringLiteral("本户人员"));
        p.members->setEditTriggers(QAbstractItemView::NoEditTriggers);
        p.members->setColumnWidth(kTick, 30);
        p.members->setColumnWidth(kSerial, 70);
        p.members->setColumnWidth(kName, 90);
        p.members->setColumnWidth(kRelation, 100);
        if (business == Business::ChangeHead) p.members->hideColumn(kTick);
        connect(p.members, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
            if (filling_ || item->column() != kTick) return;
            updateHeads();
            schedule();
        });
    }
    switch (business) {
        case Business::Birth: {
            p.parent = combo(QStringLiteral("父亲或母亲"));
            p.name = edit(QStringLiteral("姓名"), fieldDefs()[F姓名 - 1].formLimit);
            p.sex = codeCombo(w, F性别, QStringLiteral("性别"));
            right(QStringLiteral("性别"), p.sex);
            connect(p.sex, &QComboBox::currentIndexChanged, this, &BusinessWindow::schedule);
            p.born = edit(QStringLiteral("出生日期"), kDateBytes, true);
            p.serial = edit(QStringLiteral("序号"), fieldDefs()[F序号 - 1].formLimit);
            // The captions stand right; the left side says what is proposed.
            auto* hint = ui::addLabel(
                w, named(QStringLiteral("说明")),
                QStringLiteral("选择父亲或母亲，填写姓名、性别和出生日期；序号已按本户的位置"
                               "给出。与户主关系和其余各项由本户推出，可在下方修改。"),
                {5, 10, 420, 60});
            hint->setWordWrap(true);
            break;
        }
        case Business::MoveIn: {
            p.newcomers = addTable(w, named(QStringLiteral("迁入人员")), {5, 6, 420, 140},
                                   {QStringLiteral("序号"), QStringLiteral("姓名"),
                                    QStringLiteral("性别"), QStringLiteral("出生日期"),
                                    QStringLiteral("公民身份号码"), QStringLiteral("与户主关系")},
                                   QStringLiteral("迁入人员"));
            p.newcomers->setColumnWidth(kNewSerial, 45);
            p.newcomers->setColumnWidth(kNewName, 55);
            p.newcomers->setColumnWidth(kNewSex, 50);
            p.newcomers->setColumnWidth(kNewBorn, 65);
            p.newcomers->setColumnWidth(kNewIdentity, 110);
            connect(p.newcomers, &QTableWidget::itemChanged, this, [this] {
                if (!filling_) schedule();
            });
            auto* more = ui::addButton(w, named(QStringLiteral("添加一人")),
                                       QStringLiteral("添加一人"), {5, 150, 80, 26});
            auto* fewer = ui::addButton(w, named(QStringLiteral("删除一人")),
                                        QStringLiteral("删除所选的人"), {95, 150, 100, 26});
            ui::addLabel(w, named(QStringLiteral("序号说明")),
                         QStringLiteral("序号空着时按户的位置给出"), {205, 153, 220, 20});
            connect(more, &QPushButton::clicked, this, &BusinessWindow::addNewcomer);
            connect(fewer, &QPushButton::clicked, this, [this] {
                QTableWidget* t = page().newcomers;
                if (t->currentRow() >= 0) t->removeRow(t->currentRow());
                schedule();
            });
            p.newHousehold = new QCheckBox(w);  // its caption stands left of it
            right(QStringLiteral("作为新户迁入"), p.newHousehold);
            connect(p.newHousehold, &QCheckBox::toggled, this, [this](bool on) {
                page().target->setEnabled(on);
                // A new household's first person is its head unless the clerk says otherwise.
                QTableWidget* t = page().newcomers;
                auto* first = t->rowCount()
                                  ? static_cast<QComboBox*>(t->cellWidget(0, kNewRelation))
                                  : nullptr;
                if (on && first && first->currentIndex() <= 0) first->setCurrentIndex(1);
                schedule();
            });
            p.target = combo(QStringLiteral("新户房屋详址"), true);
            p.target->lineEdit()->setValidator(
                new ui::EditValidator({.maxBytes = addressBytes}, p.target));
            p.target->setEnabled(false);
            p.kind = kinds(QStringLiteral("迁入类型"), 1, 6);
            p.place = edit(QStringLiteral("迁自何地"), placeBytes);
            break;
        }
        case Business::MoveOut:
            p.kind = kinds(QStringLiteral("迁出类型"), 7, 11);
            p.place = edit(QStringLiteral("迁往何地"), placeBytes);
            p.newHead = combo(QStringLiteral("新户主"));
            break;
        case Business::Death:
            p.newHead = combo(QStringLiteral("新户主"));
            break;
        case Business::ChangeHead:
            p.newHead = combo(QStringLiteral("新户主"));
            break;
        case Business::Split:
            p.target = combo(QStringLiteral("新户房屋详址"), true);
            p.target->lineEdit()->setValidator(
                new ui::EditValidator({.maxBytes = addressBytes}, p.target));
            p.newHead = combo(QStringLiteral("新户的户主"));
            p.remainingHead = combo(QStringLiteral("原户的户主"));
            break;
        case Business::Join:
            p.target = combo(QStringLiteral("并入的户"), true);
            p.target->lineEdit()->setValidator(
                new ui::EditValidator({.maxBytes = addressBytes}, p.target));
            break;
    }
    p.date =
        edit(business == Business::Death ? QStringLiteral("死亡日期") : QStringLiteral("办理日期"),
             kDateBytes, true);
}

Business BusinessWindow::business() const {
    return Business(std::max(0, tabs_->currentIndex()));
}

void BusinessWindow::open(Business business, const std::string& address) {
    address_ = address;
    household_.clear();
    addresses_.clear();
    std::vector<std::string> serial;
    RecordStore& store = editor_.store();
    if (store.OpenTable(pathIn(editor_.folder(), names::kRegister))) {
        household_ = edit::household(store, address);
        serial = edit::freeSerials(store, address, 1);
        std::set<std::string> seen;
        for (long n = 1; n <= store.RecordCount(); ++n) {
            store.GoTo(n);
            if (store.IsDeleted()) continue;
            std::string a = store.ReadField(F房屋详址);
            if (a != address && seen.insert(a).second) addresses_.push_back(std::move(a));
        }
    }
    static_cast<void>(store.CloseAllTables());  // only read

    QString head;
    for (const auto& m : household_)
        if (isHead(m[F与户主关系 - 1])) head = value(m, F姓名);
    heading_->setText(QStringLiteral("房屋详址：%1    户主：%2    本户 %3 人")
                          .arg(fromGb(address), head)
                          .arg(qlonglong(household_.size())));
    filling_ = true;
    for (Page& p : pages_) {
        for (QLineEdit* e : {p.name, p.born, p.place}) {
            if (e) e->clear();
        }
        p.date->setText(fromGb(health::today()));
        for (QComboBox* c : {p.sex, p.kind})
            if (c) c->setCurrentIndex(0);
        if (p.serial) p.serial->setText(serial.empty() ? QString() : fromGb(serial.front()));
        if (p.newcomers) p.newcomers->setRowCount(0);
        if (p.newHousehold) p.newHousehold->setChecked(false);
        if (p.target) {
            const QSignalBlocker quiet(p.target);
            p.target->clear();
            if (&p == &pages_[size_t(Business::Join)])
                for (const std::string& a : addresses_) p.target->addItem(fromGb(a));
            p.target->setCurrentIndex(-1);
            p.target->clearEditText();
        }
        if (p.parent) fillChoice(p.parent, household_);
        if (p.newHead) fillChoice(p.newHead, {});
        if (p.remainingHead) fillChoice(p.remainingHead, {});
    }
    filling_ = false;
    fillMembers();
    {
        const QSignalBlocker quiet(tabs_);
        tabs_->setCurrentIndex(int(business));
    }
    if (page().newcomers) addNewcomer();
    corrections_.clear();
    updateHeads();
    propose();
}

void BusinessWindow::fillMembers() {
    filling_ = true;
    for (Page& p : pages_) {
        if (!p.members) continue;
        p.members->setRowCount(int(household_.size()));
        for (int r = 0; r < int(household_.size()); ++r) {
            const auto& m = household_[size_t(r)];
            auto* tick = fixedItem(QString());
            tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            tick->setCheckState(Qt::Unchecked);
            tick->setData(Qt::AccessibleTextRole, value(m, F姓名));
            p.members->setItem(r, kTick, tick);
            p.members->setItem(r, kSerial, fixedItem(value(m, F序号)));
            p.members->setItem(r, kName, fixedItem(value(m, F姓名)));
            p.members->setItem(r, kRelation, fixedItem(shown(F与户主关系, m[F与户主关系 - 1])));
            p.members->setItem(r, kBorn, fixedItem(value(m, F出生日期)));
        }
    }
    filling_ = false;
}

std::vector<std::string> BusinessWindow::ticked() const {
    std::vector<std::string> out;
    const QTableWidget* t = page().members;
    for (int r = 0; t && r < t->rowCount() && r < int(household_.size()); ++r)
        if (t->item(r, kTick)->checkState() == Qt::Checked)
            out.push_back(household_[size_t(r)][F序号 - 1]);
    return out;
}

void BusinessWindow::updateHeads() {
    const Page& p = page();
    const std::vector<std::string> leaving = ticked();
    std::vector<std::vector<std::string>> going, staying;
    bool headLeaves = false;
    for (const auto& m : household_) {
        const bool leaves =
            std::find(leaving.begin(), leaving.end(), m[F序号 - 1]) != leaving.end();
        (leaves ? going : staying).push_back(m);
        headLeaves = headLeaves || (leaves && isHead(m[F与户主关系 - 1]));
    }
    switch (business()) {
        case Business::MoveOut:
        case Business::Death:
            // A new head among those who stay, when the head goes and others stay.
            fillChoice(p.newHead, staying);
            p.newHead->setEnabled(headLeaves && !staying.empty());
            break;
        case Business::ChangeHead: {
            std::vector<std::vector<std::string>> others;
            for (const auto& m : household_)
                if (!isHead(m[F与户主关系 - 1])) others.push_back(m);
            fillChoice(p.newHead, others);
            break;
        }
        case Business::Split:
            fillChoice(p.newHead, going);
            fillChoice(p.remainingHead, staying);
            p.remainingHead->setEnabled(headLeaves && !staying.empty());
            break;
        default:
            break;
    }
}

void BusinessWindow::addNewcomer() {
    QTableWidget* t = page().newcomers;
    const int row = t->rowCount();
    filling_ = true;
    t->insertRow(row);
    for (int c : {kNewSerial, kNewName, kNewBorn, kNewIdentity})
        t->setItem(row, c, new QTableWidgetItem);
    QComboBox* sex = codeCombo(t, F性别, QStringLiteral("性别"));
    QComboBox* relation = codeCombo(t, F与户主关系, QStringLiteral("与户主关系"));
    t->setCellWidget(row, kNewSex, sex);
    t->setCellWidget(row, kNewRelation, relation);
    for (QComboBox* c : {sex, relation})
        connect(c, &QComboBox::currentIndexChanged, this, &BusinessWindow::schedule);
    filling_ = false;
    schedule();
}

edit::Request BusinessWindow::request() const {
    const Page& p = page();
    edit::Request r;
    r.business = business();
    r.household = address_;
    r.date = toGb(p.date->text());
    r.members = ticked();
    r.newHead = chosenSerial(p.newHead);
    r.remainingHead = chosenSerial(p.remainingHead);
    if (p.target) r.target = toGb(p.target->currentText().trimmed());
    if (p.kind) r.kind = toGb(p.kind->currentData().toString());
    if (p.place) r.place = toGb(p.place->text().trimmed());
    if (p.parent) {
        r.members.clear();
        if (const std::string parent = chosenSerial(p.parent); !parent.empty())
            r.members.push_back(parent);
        std::vector<std::string> child(kFieldCount);
        child[F序号 - 1] = toGb(p.serial->text().trimmed());
        child[F姓名 - 1] = toGb(p.name->text().trimmed());
        child[F性别 - 1] =
            p.sex->currentIndex() > 0 ? listPositionToStored(p.sex->currentIndex()) : std::string();
        child[F出生日期 - 1] = toGb(p.born->text());
        r.newcomers.push_back(std::move(child));
    }
    if (p.newcomers) {
        if (p.newHousehold->isChecked()) r.household.clear();
        for (int row = 0; row < p.newcomers->rowCount(); ++row) {
            std::vector<std::string> person(kFieldCount);
            auto text = [&](int column) {
                return toGb(p.newcomers->item(row, column)->text().trimmed());
            };
            auto code = [&](int column) {
                const int i =
                    static_cast<QComboBox*>(p.newcomers->cellWidget(row, column))->currentIndex();
                return i > 0 ? listPositionToStored(i) : std::string();
            };
            person[F序号 - 1] = text(kNewSerial);
            person[F姓名 - 1] = text(kNewName);
            person[F性别 - 1] = code(kNewSex);
            person[F出生日期 - 1] = text(kNewBorn);
            person[F公民身份号码 - 1] = text(kNewIdentity);
            person[F与户主关系 - 1] = code(kNewRelation);
            r.newcomers.push_back(std::move(person));
        }
    }
    return r;
}

std::string BusinessWindow::keyOf(const edit::PlannedRecord& record, int newIndex) {
    return record.before.empty() ? "+" + std::to_string(newIndex) : "=" + record.before[F序号 - 1];
}

std::optional<edit::Plan> BusinessWindow::corrected(bool warn) {
    edit::Planned planned;
    RecordStore& store = editor_.store();
    if (store.OpenTable(pathIn(editor_.folder(), names::kRegister)))
        planned = edit::plan(store, request(), health::today());
    static_cast<void>(store.CloseAllTables());  // planning only reads
    if (!planned.plan) {
        const QString why = planned.refusal.empty() ? QStringLiteral("户籍数据无法读取！")
                                                    : fromGb(planned.refusal);
        if (warn) dialogs_.warning(why);
        state_->setText(QStringLiteral("暂无方案：") + why);
        return std::nullopt;
    }
    edit::Plan& plan = *planned.plan;
    proposed_.clear();
    keys_.clear();
    int added = 0;
    for (edit::PlannedRecord& record : plan.records) {
        proposed_.push_back(record.after);
        keys_.push_back(keyOf(record, record.before.empty() ? added++ : -1));
        const auto it = corrections_.find(keys_.back());
        if (it == corrections_.end()) continue;
        // A correction of a value the plan no longer proposes is forgotten: the request
        // changed, and its new proposal is what the clerk looks at next.
        for (auto c = it->second.begin(); c != it->second.end();) {
            std::string& now = record.after[size_t(c->first - 1)];
            if (now == c->second.proposed) {
                now = c->second.value;
                ++c;
            } else {
                c = it->second.erase(c);
            }
        }
    }
    state_->setText(QString());
    return std::move(planned.plan);
}

void BusinessWindow::schedule() {
    if (!filling_) later_->start();
}

void BusinessWindow::propose() {
    later_->stop();
    shown_ = corrected(false);
    showPlan();
}

void BusinessWindow::showPlan() {
    const int current = plan_->currentRow();
    filling_ = true;
    plan_->setRowCount(0);
    const int n = shown_ ? int(shown_->records.size()) : 0;
    plan_->setRowCount(n);
    for (int r = 0; r < n; ++r) {
        const edit::PlannedRecord& record = shown_->records[size_t(r)];
        plan_->setItem(r, kPlanSerial, fixedItem(value(record.after, F序号)));
        plan_->setItem(r, kPlanName, fixedItem(value(record.after, F姓名)));
        plan_->setItem(
            r, kPlanAction,
            fixedItem(record.before.empty() ? QStringLiteral("新增") : QStringLiteral("修改")));
        QComboBox* relation = codeCombo(plan_, F与户主关系, QStringLiteral("与户主关系"));
        relation->setCurrentIndex(
            codeToListPosition(record.after[F与户主关系 - 1], relation->count()));
        plan_->setCellWidget(r, kPlanRelation, relation);
        connect(relation, &QComboBox::currentIndexChanged, this, [this, r](int index) {
            if (!filling_) correct(r, F与户主关系, listPositionToStored(index));
        });
        QStringList toCheck;
        for (int field : record.toCheck) toCheck << fromGb(fieldName(field));
        auto* check = fixedItem(toCheck.isEmpty() ? QString() : kCheck);
        if (!toCheck.isEmpty()) {
            check->setToolTip(toCheck.join(QStringLiteral("、")));
            check->setBackground(kCheckColour);
            plan_->item(r, kPlanSerial)->setBackground(kCheckColour);
        }
        plan_->setItem(r, kPlanCheck, check);
    }
    filling_ = false;
    plan_->setCurrentCell(n == 0 ? -1 : std::clamp(current, 0, n - 1), kPlanSerial);
    showRecord();
}

void BusinessWindow::showRecord() {
    const int r = plan_->currentRow();
    const bool any = shown_ && r >= 0 && r < int(shown_->records.size());
    filling_ = true;
    for (int pos = 1; pos <= kFieldCount; ++pos) {
        const std::string v = any ? shown_->records[size_t(r)].after[size_t(pos - 1)] : "";
        if (auto* combo = qobject_cast<QComboBox*>(fields_->cellWidget(pos - 1, 1))) {
            combo->setCurrentIndex(any ? codeToListPosition(v, combo->count()) : 0);
            combo->setEnabled(any);
        } else {
            QTableWidgetItem* item = fields_->item(pos - 1, 1);
            item->setText(fromGb(v));
            item->setFlags(any ? item->flags() | Qt::ItemIsEditable
                               : item->flags() & ~Qt::ItemIsEditable);
        }
    }
    filling_ = false;
}

void BusinessWindow::correct(int row, int field, const std::string& stored) {
    if (!shown_ || row < 0 || row >= int(shown_->records.size())) return;
    const std::string& proposed = proposed_[size_t(row)][size_t(field - 1)];
    if (stored == proposed)
        corrections_[keys_[size_t(row)]].erase(field);
    else
        corrections_[keys_[size_t(row)]][field] = {proposed, stored};
    shown_->records[size_t(row)].after[size_t(field - 1)] = stored;
    // The relation stands in both tables; the other one follows.
    if (field == F与户主关系 || field == F序号 || field == F姓名) {
        filling_ = true;
        if (auto* combo = qobject_cast<QComboBox*>(plan_->cellWidget(row, kPlanRelation)))
            combo->setCurrentIndex(codeToListPosition(
                shown_->records[size_t(row)].after[F与户主关系 - 1], combo->count()));
        plan_->item(row, kPlanSerial)->setText(value(shown_->records[size_t(row)].after, F序号));
        plan_->item(row, kPlanName)->setText(value(shown_->records[size_t(row)].after, F姓名));
        filling_ = false;
        if (plan_->currentRow() == row) showRecord();
    }
}

QString BusinessWindow::confirmation(const edit::Plan& plan) const {
    QStringList lines;
    lines << fromGb(plan.title) +
                 QStringLiteral("：将变更以下 %1 条记录").arg(qlonglong(plan.records.size()))
          << QString();
    const std::string today = health::today();
    for (const edit::PlannedRecord& record : plan.records) {
        const bool added = record.before.empty();
        const auto& who = added ? record.after : record.before;
        lines << (added ? QStringLiteral("新增 序号%1 %2") : QStringLiteral("修改 序号%1 %2"))
                     .arg(value(who, F序号), value(who, F姓名));
        for (int pos = 1; pos <= kFieldCount; ++pos) {
            const std::string& after = record.after[size_t(pos - 1)];
            const QString name =
                QStringLiteral("    ") + fromGb(fieldName(pos)) + QStringLiteral("：");
            if (added) {
                const CodeTable* table = codeTableOf(pos);
                if (!(table ? codeToName(*table, after) : after).empty())
                    lines << name + shown(pos, after);
            } else if (after != record.before[size_t(pos - 1)]) {
                lines << name + shown(pos, record.before[size_t(pos - 1)]) + QStringLiteral(" → ") +
                             shown(pos, after);
            }
        }
        QStringList toCheck;
        for (int field : record.toCheck) toCheck << fromGb(fieldName(field));
        if (!toCheck.isEmpty())
            lines << QStringLiteral("    请核对：") + toCheck.join(QStringLiteral("、"));
        const auto findings = health::checkRecord(record.after, today);
        if (!findings.empty())
            for (const QString& line : fromGb(health::findingLines(findings)).split(kCrLf))
                lines << QStringLiteral("    户籍检查：") + line;
        lines << QString();
    }
    lines << QStringLiteral("       确认办理吗？");
    return lines.join(kCrLf);
}

void BusinessWindow::accept() {
    later_->stop();
    std::optional<edit::Plan> plan = corrected(true);
    if (!plan) return showPlan();
    const edit::Outcome checked = editor_.checkBusiness(*plan);
    if (!checked.done()) return dialogs_.warning(checked.message);
    if (!dialogs_.question(confirmation(*plan))) return;

    const edit::Outcome outcome = editor_.applyBusiness(*plan);
    if (!outcome.done()) return dialogs_.warning(outcome.message);
    // The head the tree selects afterwards: the household's head as the business leaves it,
    // else the head of the household the business made or joined.
    std::string head, other;
    for (const auto& m : household_)
        if (isHead(m[F与户主关系 - 1])) head = m[F序号 - 1];
    for (const edit::PlannedRecord& record : plan->records) {
        if (!record.before.empty() && record.before[F序号 - 1] == head) head.clear();
        if (record.after.empty() || !isHead(record.after[F与户主关系 - 1]) ||
            query::standingAt(record.after, health::today()) != query::Standing::Registered)
            continue;
        (record.after[F房屋详址 - 1] == address_ ? head : other) = record.after[F序号 - 1];
    }
    if (head.empty()) head = other;
    if (applied) applied(outcome, head);
    // The household as the business left it, the page ready for the next one; nothing is left
    // to do here when everyone left it.
    open(business(), address_);
    if (household_.empty()) close();
}

}  // namespace maint
