// Pictures of every form for a person to look at: $BREL_BUILD_DIR/screenshots/<form>.png.
#include "window_fixture.h"

#include <QDir>
#include <QPixmap>
#include <QTabWidget>

namespace {

class Screenshots : public WindowSetTest {
protected:
    void shoot(QWidget* w, const QString& name) {
        // The test program lives in the build folder's tests/ when the variable is not passed on.
        const QByteArray base = qgetenv("BREL_BUILD_DIR");
        const QString build =
            base.isEmpty() ? QCoreApplication::applicationDirPath() + "/.." : QString::fromLocal8Bit(base);
        const QString folder = QDir(build + "/screenshots").absolutePath();
        ASSERT_TRUE(QDir().mkpath(folder));
        w->show();
        const QPixmap picture = w->grab();
        EXPECT_FALSE(picture.isNull()) << name.toStdString();
        EXPECT_TRUE(picture.save(folder + "/" + name + ".png")) << name.toStdString();
    }
};

TEST_F(Screenshots, EveryFormAndPage) {
    auto& w = wizard();
    for (QWidget* page : {w.MainWizard1, w.Wizard3ModeSel, w.Wizard4ComSet, w.Wizard5PIN, w.Wizard6SMS}) {
        w.PageControl1->setCurrentWidget(page);
        shoot(Fwizard, "TFwizard-" + page->objectName());
    }
    auto& m = main();
    for (QWidget* page : {m.TabSheet1, m.TabSheet2, m.TabSheet3, m.Init_Strings}) {
        m.PageControl1->setCurrentWidget(page);
        shoot(Fmainset, "TFmainset-" + page->objectName());
    }
    shoot(Fconnect, "TFconnect");
    shoot(Frf_monitor, "TFrf_monitor");
}

} // namespace
