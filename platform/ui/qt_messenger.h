#pragma once
// Message boxes shown with QMessageBox, on the GUI thread, owned by the active window.

#include "messenger.h"

#include <QString>

#include <utility>

namespace gui {

class QtMessenger : public Messenger {
public:
    // plainCaption titles the boxes without a caption of their own; empty: the application's
    // display name.
    explicit QtMessenger(QString plainCaption = QString()) : plainCaption_(std::move(plainCaption)) {}
    void show(const QString& caption, const QString& text, Icon icon = Icon::None) override;
    void showPlain(const QString& text) override;
    Answer ask(const QString& caption, const QString& text, Icon icon = Icon::Question) override;
    Answer confirm(const QString& caption, const QString& text, Icon icon = Icon::Question) override;
    Answer askYesNoCancel(const QString& caption, const QString& text, Icon icon = Icon::Question) override;

private:
    QString plainCaption_;
};

} // namespace gui
