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

    // The page machine of the three buttons.
    void NextClick();
    void BackClick();
    void CancelClick();

private:
    void Config_serialClick(bool ticked);
    void ComboBox5Change(int index);
    void SMS_IN_Data_ModeClick(bool ticked);
    void SMS_OUT_Data_ModeClick(bool ticked);
    void ModeClick(bool ticked);

    // The header lines shown with the page of the given step of the walk.
    void ShowTitles(int step);
    // One of the three modes the user cannot pick is ticked: the buttons leave the count alone.
    bool HiddenModeTicked() const;
    // Moves from the visible page to the given one.
    void ShowPage(QWidget* page);
    // Leaves the wizard for the main settings window on its first page.
    void ShowMainWindow();
    // The "Load an existing Configuration File" choice of Next.
    void LoadExistingFile();
};

extern TFwizard* Fwizard;
// How many pages of the walk have been reached; 0 on the first page.
extern int WizardStep;
