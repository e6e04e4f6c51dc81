#include "WaitDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>

CWaitDlg::CWaitDlg(const QString& text, QWidget* parent) : QDialog(parent), label_(new QLabel(text, this)) {
    setObjectName(QStringLiteral("CWaitDlg"));
    setWindowTitle(QStringLiteral("Wating...."));
    setModal(false);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    QFont f(QStringLiteral("Arial"));
    f.setPointSize(8);
    setFont(f);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    QIcon programIcon = QApplication::windowIcon();
    if (programIcon.isNull()) {
        programIcon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    }
    icon->setPixmap(programIcon.pixmap(32, 32));
    label_->setObjectName(QStringLiteral("text"));
    label_->setAlignment(Qt::AlignCenter);
    label_->setMinimumWidth(160);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(icon);
    layout->addWidget(label_, 1);
    setAttribute(Qt::WA_DeleteOnClose, false);
}

QString CWaitDlg::text() const {
    return label_->text();
}

bool CWaitDlg::Create(QWidget* parent) {
    if (parent && parent != parentWidget()) {
        setParent(parent, windowFlags());
    }
    adjustSize();
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    const QRect area = owner ? owner->frameGeometry() : screen()->availableGeometry();
    move(area.center() - rect().center());
    show();
    raise();
    repaint();
    return true;
}

void CWaitDlg::DestroyWindow() {
    hide();
    deleteLater();
}

void CWaitDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}
