#include "engine_view_qt.h"

#include "ui_TFconnect.h"
#include "ui_TFmainset.h"

#include "Configstruct_form.h"
#include "Connectsetup.h"
#include "gui.h"
#include "Mainsetup.h"
#include "Progressivebar.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>

namespace {

QString fromValue(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

// Selects the item showing text; a text the box does not hold leaves it as it was.
void selectText(QComboBox* box, const std::string& text) {
    const int index = box->findText(fromValue(text));
    if (index >= 0)
        box->setCurrentIndex(index);
}

void onStatus(const std::function<void(TFprogressbar&)>& f) {
    gui::call([&] {
        if (Fprogressbar)
            f(*Fprogressbar);
    });
}

void onMain(const std::function<void(Ui::TFmainset&)>& f) {
    gui::call([&] {
        if (Fmainset)
            f(*Fmainset->ui);
    });
}

void onConnect(const std::function<void(TFconnect&)>& f) {
    gui::call([&] {
        if (Fconnect)
            f(*Fconnect);
    });
}

} // namespace

void WindowsEngineView::setStatusTitle(const std::string& text) {
    onStatus([&](TFprogressbar& w) {
        w.StatusTitle->setText(fromValue(text));
        w.StatusTitle->repaint();
    });
}

void WindowsEngineView::setStatusText(const std::string& text) {
    onStatus([&](TFprogressbar& w) {
        w.StatusContent->setText(fromValue(text));
        w.StatusContent->repaint();
    });
}

void WindowsEngineView::setProgressMax(int maximum) {
    onStatus([&](TFprogressbar& w) { w.ProgressBar1->setMaximum(maximum); });
}

void WindowsEngineView::setProgress(int position) {
    onStatus([&](TFprogressbar& w) { w.ProgressBar1->setValue(position); });
}

void WindowsEngineView::stepProgress() {
    onStatus([&](TFprogressbar& w) { w.ProgressBar1->setValue(w.ProgressBar1->value() + 1); });
}

void WindowsEngineView::endStatusModal() {
    onStatus([&](TFprogressbar& w) { gui::endModal(&w, 1); });
}

void WindowsEngineView::setAutoAnswer(bool on, const std::string& rings) {
    onMain([&](Ui::TFmainset& u) {
        if (!on) {
            u.GSM_Ring_On->setChecked(false);
            u.GSM_Ring->clear();
            return;
        }
        u.GSM_Ring_On->setChecked(true);
        u.GSM_Ring->setText(fromValue(rings));
    });
}

void WindowsEngineView::selectBearer(int code) {
    onMain([&](Ui::TFmainset& u) {
        if (code == 0)
            u.GSM_P0->setChecked(true);
        else if (code == 7)
            u.GSM_P7->setChecked(true);
        else if (code == 71)
            u.GSM_P71->setChecked(true);
    });
}

void WindowsEngineView::selectDtrDrop(int code) {
    onMain([&](Ui::TFmainset& u) {
        if (code == 0)
            u.DTR0_ignore->setChecked(true);
        else if (code == 1)
            u.DTR1_Command->setChecked(true);
        else if (code == 2)
            u.DTR2_HangUp->setChecked(true);
    });
}

void WindowsEngineView::selectMainDataBits(const std::string& text) {
    onMain([&](Ui::TFmainset& u) { selectText(u.ComboBox4, text); });
}

void WindowsEngineView::selectMainStopBits(const std::string& text) {
    onMain([&](Ui::TFmainset& u) { selectText(u.ComboBox5, text); });
}

void WindowsEngineView::selectMainParity(const std::string& text) {
    onMain([&](Ui::TFmainset& u) { selectText(u.ComboBox3, text); });
}

void WindowsEngineView::selectMainFlow(const std::string& text) {
    onMain([&](Ui::TFmainset& u) { selectText(u.ComboBox6, text); });
}

void WindowsEngineView::selectMainBaudIndex(int index) {
    onMain([&](Ui::TFmainset& u) {
        if (index >= 0 && index < u.ComboBox2->count())
            u.ComboBox2->setCurrentIndex(index);
    });
}

bool WindowsEngineView::configSerialTicked() {
    bool ticked = false;
    onMain([&](Ui::TFmainset& u) { ticked = u.Config_serial->isChecked(); });
    return ticked;
}

void WindowsEngineView::setMainCheck(MainCheck box, bool ticked) {
    onMain([&](Ui::TFmainset& u) {
        switch (box) {
        case MainCheck::SmsInDataMode:
            u.SMS_IN_Data_Mode->setChecked(ticked);
            break;
        case MainCheck::SmsOutDataMode:
            u.SMS_OUT_Data_Mode->setChecked(ticked);
            break;
        case MainCheck::GsmRingOn:
            u.GSM_Ring_On->setChecked(ticked);
            break;
        case MainCheck::EchoDisable:
            u.Echo_Disable->setChecked(ticked);
            break;
        }
    });
}

void WindowsEngineView::restoreFactoryValues() {
    onConnect([](TFconnect& d) { d.WizardData_Default(); });
}

void WindowsEngineView::showDetectWindows() {
    gui::call([] {
        for (QWidget* w : {static_cast<QWidget*>(Fconnect), static_cast<QWidget*>(Fmainset)}) {
            if (w) {
                w->show();
                w->repaint();
            }
        }
    });
}

void WindowsEngineView::setDetectStatus(const std::string& text) {
    onConnect([&](TFconnect& d) {
        d.ui->AutoDetectWarn1->setText(fromValue(text));
        d.ui->AutoDetectWarn1->repaint();
    });
}

void WindowsEngineView::selectBaudIndex(int index) {
    onConnect([&](TFconnect& d) {
        if (index >= 0 && index < d.ui->ComboBox2->count())
            d.ui->ComboBox2->setCurrentIndex(index);
    });
}

void WindowsEngineView::selectDataBits(const std::string& text) {
    onConnect([&](TFconnect& d) { selectText(d.ui->ComboBox4, text); });
}

void WindowsEngineView::selectStopBits(const std::string& text) {
    onConnect([&](TFconnect& d) { selectText(d.ui->ComboBox5, text); });
}

void WindowsEngineView::selectParity(const std::string& text) {
    onConnect([&](TFconnect& d) { selectText(d.ui->ComboBox3, text); });
}

void WindowsEngineView::endDetectModal() {
    onConnect([](TFconnect& d) { gui::endModal(&d, 1); });
}

void InstallWindowsEngineView() {
    setEngineView(std::make_shared<WindowsEngineView>());
}
