#include "gui/info/queryrows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>

#include "core/register/person.h"
#include "core/register/text.h"
#include "gui/ui/stackedtext.h"
#include "gui/ui/widgets.h"

namespace maint {

using namespace reg;

namespace {

const char* const kOperators[] = {"==", "≠", "≤", "≥", "包含", "不含"};

QString numbered(const char* prefix, int row) {
    return QString::fromUtf8(prefix) + QStringLiteral("%1").arg(row + 1, 2, 10, QLatin1Char('0'));
}

// The rows look alike; a screen reader tells them apart by their number.
QString spokenInRow(const char* caption, int row) {
    return QString::fromUtf8(caption) + QString::number(row + 1);
}

}  // namespace

QueryRows::QueryRows(QWidget* window) : QObject(window) {
    for (int k = 0; k < kRows; ++k) {
        const int y = 15 + 70 * k;
        auto* box = ui::addControl<QCheckBox>(window, QStringLiteral("选择框%1").arg(101 + k),
                                              {655, y, 15, 20}, spokenInRow("查询条件", k));
        switches_[size_t(k)] = box;
        items_[size_t(k)] = ui::addControl<QComboBox>(window, numbered("组合框A", k),
                                                      {670, y, 95, 20}, spokenInRow("查询项目", k));
        for (const std::string& name : fieldNames()) items_[size_t(k)]->addItem(fromGb(name));
        ops_[size_t(k)] = ui::addControl<QComboBox>(window, numbered("组合框B", k),
                                                    {765, y, 50, 20}, spokenInRow("运算符", k));
        for (const char* op : kOperators) ops_[size_t(k)]->addItem(QString::fromUtf8(op));
        values_[size_t(k)] = ui::addControl<QComboBox>(
            window, numbered("组合框C", k), {815, y, 155, 20}, spokenInRow("查询内容", k));
        values_[size_t(k)]->setEditable(true);
        values_[size_t(k)]->setInsertPolicy(QComboBox::NoInsert);
        // On Linux a combo box is read by its current text and its label through the buddy.
        ui::addLabel(window, numbered("透明标签V", k), QStringLiteral("查询项目"),
                     {670, y - 12, 95, 12})
            ->setBuddy(items_[size_t(k)]);
        ui::addLabel(window, numbered("透明标签U", k), QStringLiteral("运算符"),
                     {765, y - 12, 50, 12})
            ->setBuddy(ops_[size_t(k)]);
        ui::addLabel(window, numbered("透明标签M", k), QStringLiteral("查询内容"),
                     {815, y - 12, 155, 12})
            ->setBuddy(values_[size_t(k)]);
        if (k < kRows - 1)
            ui::addStackedText(window, numbered("透明标签N", k), QStringLiteral("并\n且\n↓"),
                               {950, y + 25, 20, 40}, 13);
        connect(box, &QCheckBox::clicked, this, [this] {
            export_->setEnabled(false);
            runSwitchChain();
            enableRows();
        });
        connect(items_[size_t(k)], &QComboBox::activated, this, [this, k] { refillValue(k); });
    }
    query_ = ui::addButton(window, QStringLiteral("查询按钮"), QStringLiteral("查询数据"),
                           {670, 540, 80, 20});
    refresh_ = ui::addButton(window, QStringLiteral("刷新按钮"), QStringLiteral("刷新列表"),
                             {780, 540, 80, 20});
    export_ = ui::addButton(window, QStringLiteral("导出按钮"), QStringLiteral("导出数据"),
                            {890, 540, 80, 20});
    progress_ = ui::addControl<QProgressBar>(window, QStringLiteral("进度显示"),
                                             {671, 565, 298, 10}, QStringLiteral("导出进度"));
    progress_->setTextVisible(false);
}

void QueryRows::runSwitchChain() {
    for (int k = 0; k + 1 < kRows; ++k) {
        QCheckBox* here = switches_[size_t(k)];
        if (here->isChecked() && here->isEnabled()) {
            switches_[size_t(k + 1)]->setEnabled(true);
            for (int later = k + 2; later < kRows; ++later)
                switches_[size_t(later)]->setEnabled(false);
        } else {
            for (int later = k + 1; later < kRows; ++later) {
                switches_[size_t(later)]->setEnabled(false);
                switches_[size_t(later)]->setChecked(false);
            }
        }
    }
}

void QueryRows::setWhite(QWidget* w, bool white) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base,
               white ? QColor(Qt::white) : w->style()->standardPalette().color(QPalette::Base));
    w->setPalette(p);
}

void QueryRows::setValueStyle(int row, bool list) {
    QComboBox* v = values_[size_t(row)];
    // A plain box shows no drop-down button; a list box does.
    v->setStyleSheet(list ? QString()
                          : QStringLiteral("QComboBox::drop-down { width: 0px; border: none; }"));
}

void QueryRows::enableRows() {
    for (int k = 0; k < kRows; ++k) {
        const bool on = switches_[size_t(k)]->isChecked();
        for (QComboBox* c : {items_[size_t(k)], ops_[size_t(k)], values_[size_t(k)]}) {
            c->setEnabled(on);
            setWhite(c, on);
        }
        if (!on) {
            items_[size_t(k)]->setCurrentIndex(-1);
            ops_[size_t(k)]->setCurrentIndex(-1);
            values_[size_t(k)]->clear();
            values_[size_t(k)]->setEditText(QString());
            setValueStyle(k, false);
        }
    }
}

void QueryRows::refillValue(int row) {
    QComboBox* v = values_[size_t(row)];
    v->clear();
    const int field = items_[size_t(row)]->currentIndex() + 1;
    if (const CodeTable* table = codeTableOf(field)) {
        setValueStyle(row, true);
        for (const std::string& text : listTexts(*table)) v->addItem(fromGb(text));
        v->setCurrentIndex(-1);
        v->setEditText(kChooseFromList);
    } else {
        setValueStyle(row, false);
        v->setEditText(QString());
        setWhite(v, true);
    }
}

}  // namespace maint
