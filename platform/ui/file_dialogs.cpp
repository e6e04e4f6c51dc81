#include "file_dialogs.h"

#include "installed_seam.h"
#include "qt_file_dialogs.h"

#include <QStringList>

namespace gui {

FileDialogs& fileDialogs() {
    return shell::installedSeam<FileDialogs, QtFileDialogs>().get();
}

void setFileDialogs(std::shared_ptr<FileDialogs> d) {
    shell::installedSeam<FileDialogs, QtFileDialogs>().set(std::move(d));
}

QString qtFilter(const QString& barFilter) {
    QStringList parts = barFilter.split(QLatin1Char('|'));
    if (parts.size() == 1) {
        parts.prepend(QString()); // patterns only, no description
    }
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (description.isEmpty() && patterns.isEmpty()) {
            break; // the closing "||"
        }
        for (QString& p : patterns) {
            p = p.trimmed();
            if (p == QLatin1String("*.*")) {
                p = QStringLiteral("*");
            }
        }
        const QString list = patterns.join(QLatin1Char(' '));
        // Qt takes the patterns from the description's closing parentheses: keep a description whose
        // parentheses already hold them, else put the real ones there.
        QString name = description;
        const qsizetype open = name.lastIndexOf(QLatin1Char('('));
        if (name.endsWith(QLatin1Char(')')) && open >= 0) {
            QString inner = name.mid(open + 1, name.size() - open - 2);
            inner.replace(QLatin1Char(';'), QLatin1Char(' '));
            if (inner.simplified() == list) {
                filters.append(name);
                continue;
            }
            name = name.left(open).trimmed();
        }
        filters.append(name.isEmpty() ? list : name + QStringLiteral(" (") + list + QLatin1Char(')'));
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace gui
