// Adding, changing, deleting and clearing persons from the information-management window.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "core/edit/health.h"
#include "core/edit/rules.h"
#include "core/register/history.h"
#include "core/register/person.h"
#include "core/register/programfolder.h"
#include "core/register/text.h"
#include "core/register/workfiles.h"
#include "gui/info/entryform.h"
#include "gui/info/infowindow.h"

namespace maint {

using namespace reg;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QString confirmAdd() {
    return QStringLiteral("       确认添加吗？");
}
QString confirmModify() {
    return QStringLiteral("       确认修改吗？");
}

QString soleRecordBeforeMove() {
    return kCrLf +
           QStringLiteral(
               "本房屋详址下只有一条记录，除非本房屋详址今后不再使用，否则请使用<添加>"
               "按钮和<清空>按钮在本房屋详址下添加一条空记录后再进行修改操作。") +
           kCrLf.repeated(3) + QString(58, QLatin1Char(' ')) + QStringLiteral("继续本次操作吗？");
}

QString soleRecordBeforeDelete() {
    return QStringLiteral(
        "本房屋详址下只有一条记录，除非本房屋详址今后不再使用，否则请勿删除并使用<清空>按钮进行"
        "操作。继续本次操作吗？");
}

QString confirmClear() {
    return kCrLf + QStringLiteral("本操作将把所选记录除序号、房屋详址、备注外的其它数据清空 ") +
           kCrLf.repeated(2) +
           QStringLiteral("   所选记录仍保留在数据库中并且序号和房屋详址保持不变 ") +
           kCrLf.repeated(3) + QString(22, QLatin1Char(' ')) + QStringLiteral("确认清空吗？");
}

// A question with what the health checks find in the form's record, one line each, above it.
// They never refuse: the clerk answers No to correct, or Yes to keep the record as it is.
QString withFindings(const QString& question, const maint::EntryForm& form) {
    const auto findings = health::checkRecord(form.values(), health::today());
    if (findings.empty()) return question;
    return fromGb(health::findingLines(findings)) + kCrLf.repeated(2) + question;
}

std::string label(const maint::EntryForm& form) {
    std::string text = form[F序号];
    text.append(":").append(form[F户主姓名]).append(":").append(form[F姓名]);
    return text;
}

}  // namespace

bool InfoWindow::openSelectedRecord() {
    // Without the index nothing is found below.
    static_cast<void>(
        store_.OpenTable(pathIn(folder_, names::kRegister), pathIn(folder_, names::kIndex)));
    // Only a person node names a record; an address that holds a ":" is no person.
    if (view_.personSelected() && store_.SeekKey(maint::keyOf(view_.selectedText()))) return true;
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    return false;
}

void InfoWindow::resortAndCount() {
    rebuildRegisterOrder(store_, folder_);
    showCounts(maint::countPeople(store_));
    // The record is kept already; the rebuild only reorders it.
    static_cast<void>(store_.CloseAllTables());
}

void InfoWindow::addPerson() {
    // Without the register the rules find nothing, and the write below says it failed.
    static_cast<void>(store_.OpenTable(pathIn(folder_, names::kRegister)));
    maint::EntryForm form = form_->read();
    const auto failed = maint::validateEntry(maint::Mode::Add, form, store_, view_.lines());
    form_->writeTexts(form);
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    if (failed) return dialogs_.warning(fromGb(*failed));
    if (!dialogs_.question(withFindings(confirmAdd(), form))) return;

    // A change the history cannot take is not made.
    history::Pending record = history::beginEdit(folder_, history::Action::Add, {}, form.values());
    if (!record) return dialogs_.warning(QStringLiteral("添加失败！"));
    // With its index, which the new record then joins at once.
    static_cast<void>(
        store_.OpenTable(pathIn(folder_, names::kRegister), pathIn(folder_, names::kIndex)));
    const bool written = store_.AppendRecord(form.values());
    const bool added = store_.CloseAllTables() && written;
    record.finish(added);
    if (!added) return dialogs_.warning(QStringLiteral("添加失败！"));
    resortAndCount();
    paint(view_.addPerson(form[F房屋详址], label(form)));
    add_->setEnabled(false);
    dialogs_.notice(QStringLiteral("  添加成功"));
    form_->clear();
}

void InfoWindow::modifyPerson() {
    const QString notSelected = QStringLiteral("请选中左侧列表中所要修改的记录的编号！");
    if (!openSelectedRecord()) return dialogs_.warning(notSelected);
    const std::string oldAddress = view_.selectedHouseholdLine();
    maint::EntryForm form = form_->read();
    const long atOldAddress =
        store_.CountMatching([&] { return store_.ReadField(F房屋详址) == oldAddress; });
    if (atOldAddress <= 1 && form[F房屋详址] != oldAddress) {
        static_cast<void>(store_.CloseAllTables());  // nothing was written
        if (!dialogs_.question(soleRecordBeforeMove())) return;
        if (!openSelectedRecord()) return dialogs_.warning(notSelected);
    }
    const auto failed = maint::validateEntry(maint::Mode::Modify, form, store_, view_.lines(),
                                             view_.selectedText());
    form_->writeTexts(form);
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    if (failed) return dialogs_.warning(fromGb(*failed));
    if (!dialogs_.question(withFindings(confirmModify(), form))) return;

    if (!openSelectedRecord()) return dialogs_.warning(notSelected);
    history::Pending record = history::beginEdit(folder_, history::Action::Modify,
                                                 history::currentValues(store_), form.values());
    const bool written = record && store_.OverwriteRecord(form.values());
    const bool modified = store_.CloseAllTables() && written;
    record.finish(modified);
    if (!modified) return dialogs_.warning(QStringLiteral("修改失败！"));
    resortAndCount();
    paint(view_.modifySelected(form[F房屋详址], label(form)));
    dialogs_.notice(QStringLiteral("  修改成功"));
}

void InfoWindow::deletePerson() {
    const QString notSelected = QStringLiteral("请选中左侧列表中所要删除的记录的编号！");
    if (!openSelectedRecord()) return dialogs_.warning(notSelected);
    const std::string oldAddress = view_.selectedHouseholdLine();
    const long atOldAddress =
        store_.CountMatching([&] { return store_.ReadField(F房屋详址) == oldAddress; });
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    if (atOldAddress <= 1 && !dialogs_.question(soleRecordBeforeDelete())) return;
    if (!dialogs_.question(QStringLiteral("本操作将把所选记录从数据库中删除！确认删除吗？")))
        return;

    if (!openSelectedRecord()) return dialogs_.warning(notSelected);
    history::Pending record =
        history::beginEdit(folder_, history::Action::Delete, history::currentValues(store_), {});
    const bool removed = record && store_.MarkDeleted() && store_.Pack();
    const maint::Counts counts = maint::countPeople(store_);
    // A delete that could not be kept leaves the register, the tree and the form as they were.
    const bool deleted = store_.CloseAllTables() && removed;
    record.finish(deleted);
    if (!deleted) return dialogs_.warning(QStringLiteral("删除失败！"));
    showCounts(counts);
    paint(view_.removeSelected());
    add_->setEnabled(view_.empty());
    dialogs_.notice(QStringLiteral("  删除成功"));
    form_->clear();
}

void InfoWindow::clearPerson() {
    if (!openSelectedRecord())
        return dialogs_.warning(QStringLiteral("请选中左侧列表中所要清空的记录的编号！"));
    static_cast<void>(store_.CloseAllTables());  // nothing was written
    if (!dialogs_.question(confirmClear())) return;

    if (!openSelectedRecord())
        return dialogs_.warning(QStringLiteral("请选中左侧列表中所要清空的记录的编号！"));
    const std::string remark = toGb(form_->edit(F备注)->text());
    // Codes "0" (nothing chosen), texts empty.
    std::vector<std::string> placeholder;
    for (int pos = 1; pos <= kFieldCount; ++pos)
        placeholder.emplace_back(codeTableOf(pos) ? 1 : 0, '0');
    placeholder[F序号 - 1] = store_.ReadField(F序号);
    placeholder[F房屋详址 - 1] = store_.ReadField(F房屋详址);
    placeholder[F备注 - 1] = remark;
    form_->show(placeholder);
    history::Pending record = history::beginEdit(folder_, history::Action::Clear,
                                                 history::currentValues(store_), placeholder);
    const bool written = record && store_.OverwriteRecord(placeholder);
    const maint::Counts counts = maint::countPeople(store_);
    const bool cleared = store_.CloseAllTables() && written;
    record.finish(cleared);
    if (!cleared) return dialogs_.warning(QStringLiteral("清空失败！"));
    showCounts(counts);
    paint(view_.relabelSelected(placeholder[F序号 - 1] + "::"));
    dialogs_.notice(QStringLiteral("  清空成功"));
}

}  // namespace maint
