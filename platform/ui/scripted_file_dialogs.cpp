#include "scripted_file_dialogs.h"

#include "installed_seam.h"

namespace gui {

QString ScriptedFileDialogs::record(DialogKind kind, const QString& caption, const QString& start,
                                    const QString& filter, bool confirmOverwrite) {
    const std::lock_guard lock(mutex_);
    QString path = always_;
    if (!answers_.empty()) {
        path = answers_.front();
        answers_.pop_front();
    }
    requests_.push_back(DialogRequest{kind, caption, start, filter, confirmOverwrite, path});
    return path;
}

QString ScriptedFileDialogs::openFile(const QString& caption, const QString& start, const QString& filter) {
    return record(DialogKind::Open, caption, start, filter, false);
}

QString ScriptedFileDialogs::saveFile(const QString& caption, const QString& start, const QString& filter,
                                      bool confirmOverwrite) {
    return record(DialogKind::Save, caption, start, filter, confirmOverwrite);
}

QString ScriptedFileDialogs::chooseFolder(const QString& caption, const QString& start) {
    return record(DialogKind::Folder, caption, start, QString(), false);
}

void ScriptedFileDialogs::answer(std::initializer_list<QString> paths) {
    const std::lock_guard lock(mutex_);
    answers_.insert(answers_.end(), paths.begin(), paths.end());
}

void ScriptedFileDialogs::answerAlways(const QString& path) {
    const std::lock_guard lock(mutex_);
    always_ = path;
}

std::vector<DialogRequest> ScriptedFileDialogs::requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
}

void ScriptedFileDialogs::clear() {
    const std::lock_guard lock(mutex_);
    requests_.clear();
    answers_.clear();
    always_.clear();
}

std::shared_ptr<ScriptedFileDialogs> ScriptedFileDialogs::install() {
    return shell::installFresh<ScriptedFileDialogs>(setFileDialogs);
}

} // namespace gui
