#pragma once
// Message boxes shown with QMessageBox, on the GUI thread, owned by the active window.

#include "messenger.h"

namespace gui {

class QtMessenger : public Messenger {
public:
    void show(const QString& caption, const QString& text, Icon icon = Icon::None) override;
    void showPlain(const QString& text) override;
    Answer ask(const QString& caption, const QString& text, Icon icon = Icon::Question) override;
    Answer confirm(const QString& caption, const QString& text, Icon icon = Icon::Question) override;
    Answer askYesNoCancel(const QString& caption, const QString& text, Icon icon = Icon::Question) override;
};

} // namespace gui
