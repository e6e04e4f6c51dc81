#pragma once
// The tabbed main settings window: the store of the user's modem settings, their checks, and the
// pending-operation flags that tell the connect dialog what to run.

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

class PhoneNumberPair;

namespace Ui {
class TFmainset;
}

class TFmainset : public QMainWindow {
    Q_OBJECT
public:
    explicit TFmainset(QWidget* parent = nullptr);
    ~TFmainset() override;

    // 1: four digits; -2: four characters, not all digits; 2: empty; -1: any other length.
    int Fmain_DL_PIN_Check() const;
    // 1 when no init edit holds "q0" or "q1" in any letter case; else -1 after its message.
    int Fmain_DL_CMD_Check();

    // The form's controls, each also found by its name with findChild.
    std::unique_ptr<Ui::TFmainset> ui;

    QString FirmwareFile;
    std::int32_t FirmwareFileSize = 0;
    // The pending operation, each 0 or 1; read by the connect dialog and the operation worker.
    std::int32_t OpUpgrade = 0;
    std::int32_t OpApply = 0;
    std::int32_t OpMonitor = 0;
    std::int32_t OpRead = 0;
    std::int32_t OpRestore = 0;
    std::int32_t OpDeleteSms = 0;
    std::int32_t SavingToFile = 0;
    std::int32_t EmptyValueCount = 0;
    std::uint32_t FirmwareChecksum = 0;
    std::int32_t FirmwareModelCode = 0;

    void DownloadBtnClick();
    void UploadBtnClick();
    void UpgradeBtnClick();
    void MonitoringBtnClick();
    void ResetBtnClick();
    void DelSMSBtnClick();

    // The file, terminal-emulator, help and About commands of the menu.
    void SaveFileClick();
    void Export1Click();
    void Zerip1Click();
    void HelpClick();
    void AboutClick();
    // Binds those commands to their menu items (once, from the constructor).
    void ConnectFileCommands();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void PIN1Change(const QString& text);
    void GSM_RingChange(const QString& text);
    void GSM_Ring_OnClick(bool ticked);
    void SMS_IN_Data_ModeClick(bool ticked);
    void SMS_OUT_Data_ModeClick(bool ticked);
    void Config_serialClick(bool ticked);
    void ComboBox5Change(int index);
    void GotoModeWizard1Click();
    void Exit2Click();

    void say(const QString& text);
    // Sets the named operation flag, clears the other four and shows the connect dialog.
    void startOperation(std::int32_t TFmainset::*flag);
    void clearOperationFlags();
    // Checks the chosen image and keeps it in FirmwareFile when it is accepted.
    void acceptFirmwareImage(const QString& path);

    PhoneNumberPair* callers_ = nullptr;
    PhoneNumberPair* targets_ = nullptr;
};

extern TFmainset* Fmainset;
