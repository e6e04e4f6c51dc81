#pragma once
// For test programs: the one QApplication, made on first use on the calling (main) thread unless
// the program already has an application object.

class QApplication;

namespace gui {

QApplication& testApplication();

} // namespace gui
