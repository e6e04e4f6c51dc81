#pragma once
// The setup wizard: the configurator's first window. Closing it ends the program.

#include <QWidget>

#include <memory>

namespace Ui {
class TFwizard;
}

class TFwizard : public QWidget {
    Q_OBJECT
public:
    explicit TFwizard(QWidget* parent = nullptr);
    ~TFwizard() override;

    // The form's controls, each also found by its name with findChild.
    std::unique_ptr<Ui::TFwizard> ui;

signals:
    // The window was closed (not merely hidden): the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Config_serialClick(bool ticked);
    void ComboBox5Change(int index);
    void SMS_IN_Data_ModeClick(bool ticked);
    void SMS_OUT_Data_ModeClick(bool ticked);
    void ModeClick(bool ticked);
};

extern TFwizard* Fwizard;
// How many pages of the walk have been reached; 0 on the first page.
extern int WizardStep;
