// A modeless one-line notice shown while the program is busy for a moment. Enter, Escape and the close
// box leave it open: only its owner ends it, with DestroyWindow, after which it deletes itself.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

class CWaitDlg : public QDialog {
    Q_OBJECT
public:
    explicit CWaitDlg(const QString& text, QWidget* parent = nullptr);

    // Shows the notice centred on its owner and paints it at once, so that it is seen even when the
    // caller then keeps the user-interface thread busy.
    bool Create(QWidget* parent = nullptr);
    // Hides the notice; the object deletes itself once control is back in the event loop.
    void DestroyWindow();

    QString text() const;

public slots:
    void accept() override {}
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* label_;
};
