#pragma once
// The quick-find box of the information-management window: as the clerk types a name, its
// pinyin or initials, part of an identity number or a 序号, the persons that answer are listed;
// Enter or a double click chooses one.
#include <QByteArray>
#include <QDateTime>
#include <QWidget>

#include "core/query/quickfind.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

namespace maint {

class QuickFindWindow : public QWidget {
    Q_OBJECT
  public:
    // At most this many persons are listed; the count says how many answered.
    static constexpr std::size_t kListed = 200;

    // `registerPath` is read whenever it changed since the index was built.
    QuickFindWindow(QString registerPath, QWidget* parent = nullptr);

    // Builds the index again when the register file changed since it was built, and lists
    // again what the box holds.
    void refreshIndex();
    // Shows the window with the box's text selected, ready for typing.
    void open();

  signals:
    // The clerk chose the person with this 序号 and name, as the register stores them.
    void chosen(const QString& serial, const QString& name);

  protected:
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void list();
    void choose();

    QString registerPath_;
    query::QuickFind index_;
    // What the index was built from: the register file's time, size and header, which counts
    // every committed write (a time alone is coarse on a USB stick). The register changes only
    // while another window is active, so a look when this one is activated is enough.
    QDateTime builtTime_;
    qint64 builtSize_ = -1;
    QByteArray builtHeader_;
    QLineEdit* box_ = nullptr;
    QTreeWidget* hits_ = nullptr;
    QLabel* count_ = nullptr;
};

}  // namespace maint
