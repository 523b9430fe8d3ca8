#include "gui/info/quickfind.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "core/register/store.h"
#include "core/register/text.h"
#include "gui/ui/widgets.h"

namespace maint {

namespace {

const QString kHint =
    QStringLiteral("可输入姓名、同音字、拼音全拼或首字母、序号，或身份证号码中连续四位以上的数字");

}  // namespace

QuickFindWindow::QuickFindWindow(QString registerPath, QWidget* parent)
    : QWidget(parent, Qt::Window), registerPath_(std::move(registerPath)) {
    ui::setUpWindow(this, QStringLiteral("澄禾社区户籍管理系统-快速查找   青石听雨 制作"),
                    {600, 440});

    ui::addLabel(this, QStringLiteral("透明标签Q01"), QStringLiteral("查找内容"), {15, 15, 60, 15});
    box_ =
        ui::addEdit(this, QStringLiteral("查找框"), {80, 10, 497, 24}, QStringLiteral("查找内容"));
    box_->setToolTip(kHint);
    box_->installEventFilter(this);

    hits_ = ui::addControl<QTreeWidget>(this, QStringLiteral("结果列表"), {15, 44, 562, 310},
                                        QStringLiteral("查找结果"));
    hits_->setColumnCount(4);
    hits_->setHeaderLabels({QStringLiteral("姓名"), QStringLiteral("序号"),
                            QStringLiteral("房屋详址"), QStringLiteral("出生日期")});
    hits_->setRootIsDecorated(false);
    hits_->setUniformRowHeights(true);
    hits_->setAllColumnsShowFocus(true);
    hits_->header()->resizeSection(0, 90);
    hits_->header()->resizeSection(1, 60);
    hits_->header()->resizeSection(2, 300);
    hits_->installEventFilter(this);
    connect(hits_, &QTreeWidget::itemActivated, this, &QuickFindWindow::choose);

    count_ = ui::addLabel(this, QStringLiteral("透明标签Q02"), kHint, {15, 378, 470, 15});
    auto* close = ui::addButton(this, QStringLiteral("关闭按钮"), QStringLiteral("关闭窗口"),
                                {497, 370, 80, 30});
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    connect(box_, &QLineEdit::textChanged, this, &QuickFindWindow::list);
}

void QuickFindWindow::open() {
    refreshIndex();
    show();
    raise();
    activateWindow();
    box_->setFocus();
    box_->selectAll();
}

void QuickFindWindow::refreshIndex() {
    const QFileInfo file(registerPath_);
    QFile reader(registerPath_);
    const QByteArray header = reader.open(QIODevice::ReadOnly) ? reader.read(100) : QByteArray();
    reader.close();
    if (file.lastModified() == builtTime_ && file.size() == builtSize_ && header == builtHeader_)
        return;
    builtTime_ = file.lastModified();
    builtSize_ = file.size();
    builtHeader_ = header;
    reg::RecordStore store;
    // A register that cannot be opened is an empty index: nothing is found, nothing is wrong.
    index_ =
        store.OpenTable(registerPath_) ? query::QuickFind::fromStore(store) : query::QuickFind();
    // Nothing was written.
    static_cast<void>(store.CloseAllTables());
    list();
}

void QuickFindWindow::list() {
    const std::string needle = reg::toGb(box_->text());
    const query::FindResult found = index_.find(needle, kListed);
    hits_->setUpdatesEnabled(false);
    hits_->clear();
    QList<QTreeWidgetItem*> rows;
    rows.reserve(qsizetype(found.hits.size()));
    for (const query::FindHit& h : found.hits)
        rows.append(new QTreeWidgetItem({reg::fromGb(h.name), reg::fromGb(h.serialText),
                                         reg::fromGb(h.address), reg::fromGb(h.birth)}));
    hits_->addTopLevelItems(rows);
    if (!rows.isEmpty()) hits_->setCurrentItem(rows.first());
    hits_->setUpdatesEnabled(true);
    if (reg::withoutBlanks(needle).empty())
        count_->setText(kHint);
    else if (found.total == 0)
        count_->setText(QStringLiteral("没有找到符合的人员，请换一种写法再试"));
    else if (found.total > found.hits.size())
        count_->setText(QStringLiteral("共找到 %1 人，列出前 %2 人，请再多输入几个字")
                            .arg(found.total)
                            .arg(found.hits.size()));
    else
        count_->setText(QStringLiteral("共找到 %1 人").arg(found.total));
}

void QuickFindWindow::choose() {
    const QTreeWidgetItem* item = hits_->currentItem();
    if (item) emit chosen(item->text(1), item->text(0));
}

void QuickFindWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) refreshIndex();
    QWidget::changeEvent(event);
}

bool QuickFindWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return QWidget::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Escape) {
        close();
        return true;
    }
    if (watched == box_) {
        // The box keeps the focus while the arrows walk the list and Enter chooses.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            choose();
            return true;
        }
        if (key == Qt::Key_Down || key == Qt::Key_Up || key == Qt::Key_PageDown ||
            key == Qt::Key_PageUp) {
            QCoreApplication::sendEvent(hits_, event);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace maint
