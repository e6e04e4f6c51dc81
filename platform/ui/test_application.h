#pragma once
// For test programs: the one QApplication, made on first use on the calling (main) thread unless
// the program already has an application object.

class QApplication;
class QString;
class QWidget;

namespace gui {

QApplication& testApplication();

// Saves widget.grab() as <build>/screenshots/<name>.png so a person can look at the form;
// <build> is $BREL_BUILD_DIR, else the folder above the test program. False when it was not saved.
bool saveScreenshot(QWidget& widget, const QString& name);

} // namespace gui
