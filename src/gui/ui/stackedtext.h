#pragma once
// A transparent label whose lines stand at a fixed pitch, as narrow captions written downwards
// need: CJK fallback fonts have taller lines than the design's font, and would push the last
// characters out of the label.
#include <QLabel>

namespace ui {

class StackedText : public QLabel {
    Q_OBJECT
  public:
    StackedText(const QString& text, int linePitch, QWidget* parent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int pitch_;
};

// A StackedText named and placed like the other controls.
StackedText* addStackedText(QWidget* parent, const QString& name, const QString& text, QRect place,
                            int linePitch);

}  // namespace ui
