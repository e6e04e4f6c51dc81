// Every form and page shown whole with its longest texts; with $BREL_SCREENSHOT_DIR set, also saved
// there as <form>.png for a person to look at.
#include "window_fixture.h"

#include <QDir>
#include <QPixmap>
#include <QTabWidget>

namespace {

class Screenshots : public WindowSetTest {
protected:
    void shoot(QWidget* w, const QString& name) {
        w->show();
        const QPixmap picture = w->grab();
        ASSERT_FALSE(picture.isNull()) << name.toStdString();
        EXPECT_EQ(picture.deviceIndependentSize().toSize(), w->size()) << name.toStdString();
        // Saved for a person to look at only when asked for, never into the build tree.
        const QString folder = qEnvironmentVariable("BREL_SCREENSHOT_DIR");
        if (folder.isEmpty())
            return;
        ASSERT_TRUE(QDir().mkpath(folder));
        EXPECT_TRUE(picture.save(folder + "/" + name + ".png")) << name.toStdString();
    }
};

TEST_F(Screenshots, EveryFormAndPage) {
    auto& w = wizard();
    // Each page with the longest titles it gets on the walk.
    const struct {
        QWidget* page;
        const char* titles[4];
    } pages[] = {
        {w.MainWizard1,
         {"Welcome to the Vantro Modem Wizard", "Use this wizard to set up your Vantro Q8600 cellular modem.",
          "", ""}},
        {w.Wizard3ModeSel,
         {"Welcome to the Vantro Modem Wizard", "Use this wizard to set up your Vantro Q8600 cellular modem.",
          "Please select mode that you would like set up", ""}},
        {w.Wizard4ComSet,
         {"Configure the Serial Interface", "Set up new serial communication parameters", "", ""}},
        {w.Wizard5PIN, {"PIN and Band Management", "", "", ""}},
        {w.Wizard6SMS,
         {"SMS Tunnel Mode Settings",
          "SMS Data Mode creates a data tunnel for low-speed and non-time-critical applications to ",
          "send data over SMS service provided by a carrier.", ""}},
    };
    for (const auto& p : pages) {
        w.PageControl1->setCurrentWidget(p.page);
        QLabel* labels[] = {w.TitleL1, w.TitleL2, w.TitleL3, w.TitleL4};
        for (int i = 0; i < 4; ++i)
            labels[i]->setText(p.titles[i]);
        shoot(Fwizard, "TFwizard-" + p.page->objectName());
        // The window has a fixed size: every title must fit into it.
        for (QLabel* label : labels)
            EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
    }
    auto& m = main();
    for (QWidget* page : {m.TabSheet1, m.TabSheet2, m.TabSheet3, m.Init_Strings}) {
        m.PageControl1->setCurrentWidget(page);
        shoot(Fmainset, "TFmainset-" + page->objectName());
    }
    conn().AutoDetectWarn1->setText("Remove SIM Card and Reset Modem.");
    conn().AutoDetectWarn2->setText("This will take a few minutes.");
    shoot(Fconnect, "TFconnect");
    monitor().GSM_OperatorName->setText("Insert SIM card or error");
    monitor().GSM_Registration->setText("Not Registered, Searching");
    monitor().RSSI->setText("31");
    shoot(Frf_monitor, "TFrf_monitor");
    for (QLabel* label : {conn().AutoDetectWarn1, conn().AutoDetectWarn2, monitor().GSM_OperatorName,
                          monitor().GSM_Registration, monitor().RSSI})
        EXPECT_LE(label->sizeHint().width(), label->width()) << label->text().toStdString();
}

} // namespace
