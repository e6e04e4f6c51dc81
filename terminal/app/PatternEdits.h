// The Send Pattern dialog's small fields: HexEdit takes only hexadecimal digits, DigitEdit only
// decimal ones; typed characters outside the set are dropped (pasted text is not filtered). Both put
// the caret after the last character when they gain the focus.
#pragma once

#include <QLineEdit>

namespace halvic {

class FilteredEdit : public QLineEdit {
    Q_OBJECT
public:
    FilteredEdit(QString allowed, QWidget* parent);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    QString allowed_;
};

class HexEdit : public FilteredEdit {
    Q_OBJECT
public:
    explicit HexEdit(QWidget* parent = nullptr);
};

class DigitEdit : public FilteredEdit {
    Q_OBJECT
public:
    explicit DigitEdit(QWidget* parent = nullptr);
};

} // namespace halvic
