#include "test_application.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QString>
#include <QWidget>

namespace gui {

QApplication& testApplication() {
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return *app;
    }
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    // Lives until the program ends; made once.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

bool saveScreenshot(QWidget& widget, const QString& name) {
    QString build = qEnvironmentVariable("BREL_BUILD_DIR");
    if (build.isEmpty()) {
        build = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    }
    const QString dir = QDir::cleanPath(build + QStringLiteral("/screenshots"));
    return QDir().mkpath(dir) && widget.grab().save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
}

} // namespace gui
