#include "scripted_messenger.h"

#include "installed_seam.h"

namespace gui {

namespace {

Answer resolve(BoxKind kind, std::deque<Answer>& queue) {
    if (kind == BoxKind::Show || kind == BoxKind::Plain) {
        return Answer::Ok;
    }
    Answer a = kind == BoxKind::Confirm ? Answer::Ok : Answer::No;
    if (!queue.empty()) {
        a = queue.front();
        queue.pop_front();
    }
    if (kind == BoxKind::AskYesNoCancel) {
        return a == Answer::Ok ? Answer::Yes : a;
    }
    if (kind == BoxKind::Ask) {
        return a == Answer::Yes || a == Answer::Ok ? Answer::Yes : Answer::No;
    }
    return a == Answer::Yes || a == Answer::Ok ? Answer::Ok : Answer::Cancel;
}

} // namespace

Answer ScriptedMessenger::record(BoxKind kind, const QString& caption, const QString& text, Icon icon) {
    Box box{kind, caption, text, icon, Answer::Ok};
    std::function<void(const Box&)> hook;
    {
        const std::lock_guard lock(mutex_);
        box.answer = resolve(kind, answers_);
        boxes_.push_back(box);
        hook = hook_;
    }
    if (hook) {
        hook(box);
    }
    return box.answer;
}

void ScriptedMessenger::show(const QString& caption, const QString& text, Icon icon) {
    record(BoxKind::Show, caption, text, icon);
}

void ScriptedMessenger::showPlain(const QString& text) {
    record(BoxKind::Plain, QString(), text, Icon::None);
}

Answer ScriptedMessenger::ask(const QString& caption, const QString& text, Icon icon) {
    return record(BoxKind::Ask, caption, text, icon);
}

Answer ScriptedMessenger::confirm(const QString& caption, const QString& text, Icon icon) {
    return record(BoxKind::Confirm, caption, text, icon);
}

Answer ScriptedMessenger::askYesNoCancel(const QString& caption, const QString& text, Icon icon) {
    return record(BoxKind::AskYesNoCancel, caption, text, icon);
}

void ScriptedMessenger::answer(std::initializer_list<Answer> answers) {
    const std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), answers.begin(), answers.end());
}

void ScriptedMessenger::onBox(std::function<void(const Box&)> hook) {
    const std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
}

std::vector<Box> ScriptedMessenger::boxes() const {
    const std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<QString> ScriptedMessenger::texts() const {
    const std::lock_guard lock(mutex_);
    std::vector<QString> out;
    out.reserve(boxes_.size());
    for (const Box& b : boxes_) {
        out.push_back(b.text);
    }
    return out;
}

Box ScriptedMessenger::last() const {
    const std::lock_guard lock(mutex_);
    if (boxes_.empty()) {
        return Box{BoxKind::Show, QString(), QString(), Icon::None, Answer::Ok};
    }
    return boxes_.back();
}

std::size_t ScriptedMessenger::pendingAnswers() const {
    const std::lock_guard lock(mutex_);
    return answers_.size();
}

void ScriptedMessenger::clear() {
    const std::lock_guard lock(mutex_);
    boxes_.clear();
    answers_.clear();
}

std::shared_ptr<ScriptedMessenger> ScriptedMessenger::install() {
    return shell::installFresh<ScriptedMessenger>(setMessenger);
}

} // namespace gui
