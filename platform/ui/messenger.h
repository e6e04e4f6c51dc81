#pragma once
// Message boxes of both programs go through one seam so tests can read and answer them.

#include <QString>

#include <memory>

namespace gui {

enum class Icon { None, Information, Warning, Error, Question };
enum class Answer { Yes, No, Ok, Cancel };

class Messenger {
public:
    virtual ~Messenger() = default;
    // A box with the given caption and an OK button.
    virtual void show(const QString& caption, const QString& text, Icon icon = Icon::None) = 0;
    // The toolkit's plain message display: no caption of its own (the program's name).
    virtual void showPlain(const QString& text) = 0;
    // A Yes/No question; the default button is No.
    virtual Answer ask(const QString& caption, const QString& text, Icon icon = Icon::Question) = 0;
    // An OK/Cancel question; the default button is OK. Answers Ok or Cancel.
    virtual Answer confirm(const QString& caption, const QString& text, Icon icon = Icon::Question) {
        return ask(caption, text, icon) == Answer::Yes ? Answer::Ok : Answer::Cancel;
    }
    // A Yes/No/Cancel question; the default button is Yes, Escape and the close box answer Cancel.
    virtual Answer askYesNoCancel(const QString& caption, const QString& text,
                                  Icon icon = Icon::Question) = 0;
};

// The messenger in force; the application installs the Qt one, tests a scripted one. Until one is
// installed, the Qt one is used. Every messenger may be called from any thread.
Messenger& messenger();
void setMessenger(std::shared_ptr<Messenger> m);

} // namespace gui
