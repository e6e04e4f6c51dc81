#include "test_application.h"

#include <QApplication>

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

} // namespace gui
