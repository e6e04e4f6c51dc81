#pragma once
// A messenger for tests: records every box and answers questions from a queue.

#include "messenger.h"

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace gui {

enum class BoxKind { Show, Plain, Ask, Confirm, AskYesNoCancel };

struct Box {
    BoxKind kind;
    QString caption; // empty for a plain box
    QString text;
    Icon icon;
    Answer answer; // what the box returned (Ok for Show and Plain)
};

class ScriptedMessenger : public Messenger {
public:
    void show(const QString& caption, const QString& text, Icon icon = Icon::None) override;
    void showPlain(const QString& text) override;
    Answer ask(const QString& caption, const QString& text, Icon icon = Icon::Question) override;
    Answer confirm(const QString& caption, const QString& text, Icon icon = Icon::Question) override;
    Answer askYesNoCancel(const QString& caption, const QString& text, Icon icon = Icon::Question) override;

    // Queues answers for the next questions; with the queue empty a question gets its default button
    // (No for ask, Ok for confirm); an unanswered three-way question gets No, so a test never writes a
    // file it did not ask for. A queued Yes answers confirm with Ok, a queued No with Cancel; a
    // three-way question takes Yes, No and Cancel as they are (Ok as Yes).
    void answer(std::initializer_list<Answer> answers);

    // Runs for every box, on the thread that raised it, before the box returns.
    void onBox(std::function<void(const Box&)> hook);

    std::vector<Box> boxes() const;
    std::vector<QString> texts() const;
    // The last box; an empty Show box when there is none.
    Box last() const;
    std::size_t pendingAnswers() const;
    void clear();

    // Installs a fresh scripted messenger as the one in force and returns it.
    static std::shared_ptr<ScriptedMessenger> install();

private:
    Answer record(BoxKind kind, const QString& caption, const QString& text, Icon icon);

    mutable std::mutex mutex_;
    std::vector<Box> boxes_;
    std::deque<Answer> answers_;
    std::function<void(const Box&)> hook_;
};

} // namespace gui
