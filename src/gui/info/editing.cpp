// Adding, changing, deleting and clearing persons from the information-management window.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

#include "core/edit/health.h"
#include "core/edit/registereditor.h"
#include "core/edit/rules.h"
#include "core/register/person.h"
#include "core/register/text.h"
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

}  // namespace

void InfoWindow::addPerson() {
    maint::EntryForm form = form_->read();
    const edit::Outcome checked = editor_.checkAdd(form);
    form_->writeTexts(form);
    if (!checked.done()) return dialogs_.warning(checked.message);
    if (!dialogs_.question(withFindings(confirmAdd(), form))) return;

    const edit::Outcome added = editor_.add(form);
    if (!added.done()) return dialogs_.warning(added.message);
    showCounts(*added.counts);
    markStanding(added.edits, form.values());
    paint(added.edits);
    add_->setEnabled(false);
    dialogs_.notice(added.message);
    form_->clear();
}

void InfoWindow::modifyPerson() {
    maint::EntryForm form = form_->read();
    const edit::Outcome checked =
        editor_.checkModify(form, [this] { return dialogs_.question(soleRecordBeforeMove()); });
    if (checked.kind == edit::Outcome::Kind::Cancelled) return;
    // The rules ran (and removed blanks) only when the record was still found.
    if (checked.message != edit::msg::kSelectToModify) form_->writeTexts(form);
    if (!checked.done()) return dialogs_.warning(checked.message);
    if (!dialogs_.question(withFindings(confirmModify(), form))) return;

    const edit::Outcome modified = editor_.modify(form);
    if (!modified.done()) return dialogs_.warning(modified.message);
    showCounts(*modified.counts);
    markStanding(modified.edits, form.values());
    paint(modified.edits);
    dialogs_.notice(modified.message);
}

void InfoWindow::deletePerson() {
    const std::optional<long> atOldAddress = editor_.selectedHouseholdSize();
    if (!atOldAddress) return dialogs_.warning(edit::msg::kSelectToDelete);
    if (*atOldAddress <= 1 && !dialogs_.question(soleRecordBeforeDelete())) return;
    if (!dialogs_.question(QStringLiteral("本操作将把所选记录从数据库中删除！确认删除吗？")))
        return;

    const edit::Outcome deleted = editor_.remove();
    if (!deleted.done()) return dialogs_.warning(deleted.message);
    showCounts(*deleted.counts);
    paint(deleted.edits);
    add_->setEnabled(view_.empty());
    dialogs_.notice(deleted.message);
    form_->clear();
}

void InfoWindow::clearPerson() {
    if (!editor_.selectedFound()) return dialogs_.warning(edit::msg::kSelectToClear);
    if (!dialogs_.question(confirmClear())) return;

    const edit::Outcome cleared = editor_.clear(toGb(form_->edit(F备注)->text()));
    if (cleared.kind == edit::Outcome::Kind::Refused) return dialogs_.warning(cleared.message);
    form_->show(cleared.values);
    if (!cleared.done()) return dialogs_.warning(cleared.message);
    showCounts(*cleared.counts);
    markStanding(cleared.edits, cleared.values);
    paint(cleared.edits);
    dialogs_.notice(cleared.message);
}

edit::Outcome InfoWindow::runBusiness(const edit::Plan& plan) {
    edit::Outcome out = editor_.checkBusiness(plan);
    if (out.done()) out = editor_.applyBusiness(plan);
    if (!out.done()) {
        dialogs_.warning(out.message);
        return out;
    }
    paintOutcome(out);
    form_->clear();
    dialogs_.notice(out.message);
    return out;
}

}  // namespace maint
