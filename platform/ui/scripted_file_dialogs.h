#pragma once
// File dialogs for tests: record every request and answer from a queue (empty queue: cancelled).

#include "file_dialogs.h"

#include <deque>
#include <initializer_list>
#include <mutex>
#include <vector>

namespace gui {

enum class DialogKind { Open, Save, Folder };

struct DialogRequest {
    DialogKind kind;
    QString caption;
    QString start;
    QString filter;        // empty for a folder
    bool confirmOverwrite; // save only
    QString answer;        // what the dialog returned; empty when cancelled
};

class ScriptedFileDialogs : public FileDialogs {
public:
    QString openFile(const QString& caption, const QString& start, const QString& filter) override;
    QString saveFile(const QString& caption, const QString& start, const QString& filter,
                     bool confirmOverwrite = false) override;
    QString chooseFolder(const QString& caption, const QString& start) override;

    // Queues the paths the next dialogs return; an empty text stands for Cancel.
    void answer(std::initializer_list<QString> paths);
    // Every later dialog returns this path once the queue is used up (empty: cancel, the default).
    void answerAlways(const QString& path);

    std::vector<DialogRequest> requests() const;
    void clear();

    static std::shared_ptr<ScriptedFileDialogs> install();

private:
    QString record(DialogKind kind, const QString& caption, const QString& start, const QString& filter,
                   bool confirmOverwrite);

    mutable std::mutex mutex_;
    std::vector<DialogRequest> requests_;
    std::deque<QString> answers_;
    QString always_;
};

} // namespace gui
