#include "gui/exchange/importpreview.h"

#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>

#include "core/register/text.h"
#include "gui/exchange/resultexport.h"
#include "gui/ui/widgets.h"

namespace exchange {

ImportPreview::ImportPreview(ImportCheck check, ui::Dialogs& dialogs, SpreadsheetFactory factory,
                             QWidget* parent)
    : QWidget(parent, Qt::Window),
      check_(std::move(check)),
      dialogs_(dialogs),
      factory_(std::move(factory)) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-导入预览   青石听雨 制作"),
                    {760, 520});
    setWindowModality(Qt::ApplicationModal);
    long knownRows = 0;
    {
        size_t last = size_t(-1);
        for (const KnownPerson& p : check_.known)
            if (p.row != last) ++knownRows, last = p.row;
    }
    ui::addLabel(this, QStringLiteral("说明"),
                 QStringLiteral(
                     "表格共%1行，发现%2处问题，其中%3行是户籍中已有的人员。请检查后选择导入方式。")
                     .arg(check_.rows)
                     .arg(check_.findings.size())
                     .arg(knownRows),
                 {15, 12, 730, 24});
    auto* list = new QTableWidget(int(check_.findings.size()), 4, this);
    list->setObjectName(QStringLiteral("问题列表"));
    list->setGeometry(15, 42, 730, 380);
    ui::nameForReaders(list, QStringLiteral("导入前发现的问题"));
    list->setHorizontalHeaderLabels({QStringLiteral("行号"), QStringLiteral("姓名"),
                                     QStringLiteral("类别"), QStringLiteral("说明")});
    list->verticalHeader()->hide();
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setColumnWidth(0, 50);
    list->setColumnWidth(1, 90);
    list->setColumnWidth(2, 80);
    list->horizontalHeader()->setStretchLastSection(true);
    for (size_t i = 0; i < check_.findings.size(); ++i) {
        const ImportFinding& f = check_.findings[i];
        const int row = int(i);
        list->setItem(row, 0, new QTableWidgetItem(QString::number(f.row)));
        list->setItem(row, 1, new QTableWidgetItem(reg::fromGb(f.name)));
        list->setItem(row, 2, new QTableWidgetItem(findingKindName(f.kind)));
        list->setItem(row, 3, new QTableWidgetItem(reg::fromGb(f.text)));
    }
    struct Button {
        const char16_t* name;
        const char16_t* text;
        int x;
    };
    const Button buttons[] = {{u"全部导入A1", u"全部导入", 15},
                              {u"跳过已有人员A1", u"跳过已有人员", 140},
                              {u"更新已有人员A1", u"更新已有人员", 265},
                              {u"保存报告A1", u"保存报告", 520},
                              {u"取消A1", u"取消", 645}};
    for (const Button& b : buttons) {
        QPushButton* button =
            ui::addButton(this, QString::fromUtf16(b.name), QString::fromUtf16(b.text),
                          {b.x, 440, b.x >= 520 ? 100 : 115, 30});
        const QString text = QString::fromUtf16(b.text);
        connect(button, &QPushButton::clicked, this, [this, text] {
            if (text == QStringLiteral("保存报告")) return saveReport();
            if (text == QStringLiteral("全部导入")) return choose(Choice::All);
            if (text == QStringLiteral("跳过已有人员")) return choose(Choice::SkipKnown);
            if (text == QStringLiteral("更新已有人员")) return choose(Choice::UpdateKnown);
            choose(Choice::Cancel);
        });
        // Without known persons there is nothing to skip or update.
        if (check_.known.empty() && b.x > 15 && b.x < 520) button->setEnabled(false);
    }
}

void ImportPreview::saveReport() {
    const QString path = dialogs_.saveFile(ui::workbookSaveRequest());
    if (path.isEmpty()) return;
    const ReportResult written = writeImportReport(check_.findings, path, factory_);
    if (written == ReportResult::Saved) emit reportSaved(path);
    exchange::show(dialogs_, written);
}

void ImportPreview::choose(Choice choice) {
    if (decided_) return;
    decided_ = true;
    emit chosen(choice);
    close();
}

void ImportPreview::closeEvent(QCloseEvent* event) {
    if (!decided_) {
        decided_ = true;
        emit chosen(Choice::Cancel);
    }
    event->accept();
}

}  // namespace exchange
