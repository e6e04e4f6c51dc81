#pragma once
// Every named control of the four forms, found by its object name; a missing one fails the test.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QWidget>

#include <gtest/gtest.h>

template <typename T>
T* findControl(QObject* form, const char* name) {
    T* control = form->findChild<T*>(QString::fromLatin1(name));
    if (!control)
        ADD_FAILURE() << "no control " << name;
    return control;
}

struct WizardControls {
    explicit WizardControls(QObject* form)
        : p1(findControl<QFrame>(form, "p1")), TitleL1(findControl<QLabel>(form, "TitleL1")),
          TitleL2(findControl<QLabel>(form, "TitleL2")), TitleL3(findControl<QLabel>(form, "TitleL3")),
          TitleL4(findControl<QLabel>(form, "TitleL4")), Pages(findControl<QWidget>(form, "Pages")),
          PageControl1(findControl<QStackedWidget>(form, "PageControl1")),
          MainWizard1(findControl<QWidget>(form, "MainWizard1")),
          RadioGroup1(findControl<QGroupBox>(form, "RadioGroup1")),
          RadioButton1(findControl<QRadioButton>(form, "RadioButton1")),
          RadioButton2(findControl<QRadioButton>(form, "RadioButton2")),
          RadioGroup2(findControl<QGroupBox>(form, "RadioGroup2")),
          RadioButton3(findControl<QRadioButton>(form, "RadioButton3")),
          Wizard3ModeSel(findControl<QWidget>(form, "Wizard3ModeSel")),
          RadioGroup3(findControl<QGroupBox>(form, "RadioGroup3")),
          TransparentMS(findControl<QRadioButton>(form, "TransparentMS")),
          SMS_MS(findControl<QRadioButton>(form, "SMS_MS")),
          AutoDialMS(findControl<QRadioButton>(form, "AutoDialMS")),
          TCP_ServerMS(findControl<QRadioButton>(form, "TCP_ServerMS")),
          Real_ComMS(findControl<QRadioButton>(form, "Real_ComMS")),
          Label4(findControl<QLabel>(form, "Label4")),
          Wizard4ComSet(findControl<QWidget>(form, "Wizard4ComSet")),
          GroupBox1(findControl<QGroupBox>(form, "GroupBox1")),
          LabelComboBox2w(findControl<QLabel>(form, "LabelComboBox2w")),
          ComboBox2(findControl<QComboBox>(form, "ComboBox2")),
          ParityLabelw(findControl<QLabel>(form, "ParityLabelw")),
          ComboBox3(findControl<QComboBox>(form, "ComboBox3")),
          LabelComboBox4w(findControl<QLabel>(form, "LabelComboBox4w")),
          ComboBox4(findControl<QComboBox>(form, "ComboBox4")),
          LabelComboBox5w(findControl<QLabel>(form, "LabelComboBox5w")),
          ComboBox5(findControl<QComboBox>(form, "ComboBox5")),
          LabelComboBox6w(findControl<QLabel>(form, "LabelComboBox6w")),
          ComboBox6(findControl<QComboBox>(form, "ComboBox6")),
          Config_serial(findControl<QCheckBox>(form, "Config_serial")),
          GroupBox6(findControl<QGroupBox>(form, "GroupBox6")),
          DeviceName(findControl<QLineEdit>(form, "DeviceName")),
          Wizard5PIN(findControl<QWidget>(form, "Wizard5PIN")),
          GroupBox3(findControl<QGroupBox>(form, "GroupBox3")),
          PinText1w(findControl<QLabel>(form, "PinText1w")),
          PinText2w(findControl<QLabel>(form, "PinText2w")), PIN1(findControl<QLineEdit>(form, "PIN1")),
          RadioGroup4(findControl<QGroupBox>(form, "RadioGroup4")),
          wmbs0_r(findControl<QRadioButton>(form, "wmbs0_r")),
          wmbs1_r(findControl<QRadioButton>(form, "wmbs1_r")),
          wmbs2_r(findControl<QRadioButton>(form, "wmbs2_r")),
          wmbs3_r(findControl<QRadioButton>(form, "wmbs3_r")),
          wmbs4_r(findControl<QRadioButton>(form, "wmbs4_r")),
          wmbs5_r(findControl<QRadioButton>(form, "wmbs5_r")),
          wmbs6_r(findControl<QRadioButton>(form, "wmbs6_r")),
          Wizard6SMS(findControl<QWidget>(form, "Wizard6SMS")),
          SMS_IN_Data_Mode(findControl<QCheckBox>(form, "SMS_IN_Data_Mode")),
          GroupBox4(findControl<QGroupBox>(form, "GroupBox4")),
          HeadGroupBox4(findControl<QLabel>(form, "HeadGroupBox4")),
          No1LabelGroupBox4(findControl<QLabel>(form, "No1LabelGroupBox4")),
          SMSc1(findControl<QLineEdit>(form, "SMSc1")),
          No2LabelGroupBox4(findControl<QLabel>(form, "No2LabelGroupBox4")),
          SMSc2(findControl<QLineEdit>(form, "SMSc2")),
          FormatLabelGroupBox4(findControl<QLabel>(form, "FormatLabelGroupBox4")),
          SMS_c7r(findControl<QRadioButton>(form, "SMS_c7r")),
          SMS_c16r(findControl<QRadioButton>(form, "SMS_c16r")),
          SMS_c8r(findControl<QRadioButton>(form, "SMS_c8r")),
          SMS_OUT_Data_Mode(findControl<QCheckBox>(form, "SMS_OUT_Data_Mode")),
          GroupBox5(findControl<QGroupBox>(form, "GroupBox5")),
          HeadGroupBox5(findControl<QLabel>(form, "HeadGroupBox5")),
          No1LabelGroupBox5(findControl<QLabel>(form, "No1LabelGroupBox5")),
          SMSt1(findControl<QLineEdit>(form, "SMSt1")),
          No2LabelGroupBox5(findControl<QLabel>(form, "No2LabelGroupBox5")),
          SMSt2(findControl<QLineEdit>(form, "SMSt2")),
          FormatLabelGroupBox5(findControl<QLabel>(form, "FormatLabelGroupBox5")),
          SMS_t7r(findControl<QRadioButton>(form, "SMS_t7r")),
          SMS_t16r(findControl<QRadioButton>(form, "SMS_t16r")),
          SMS_t8r(findControl<QRadioButton>(form, "SMS_t8r")),
          ButtonRule(findControl<QFrame>(form, "ButtonRule")), Back(findControl<QPushButton>(form, "Back")),
          Next(findControl<QPushButton>(form, "Next")), Cancel(findControl<QPushButton>(form, "Cancel")) {}
    QFrame* p1;
    QLabel* TitleL1;
    QLabel* TitleL2;
    QLabel* TitleL3;
    QLabel* TitleL4;
    QWidget* Pages;
    QStackedWidget* PageControl1;
    QWidget* MainWizard1;
    QGroupBox* RadioGroup1;
    QRadioButton* RadioButton1;
    QRadioButton* RadioButton2;
    QGroupBox* RadioGroup2;
    QRadioButton* RadioButton3;
    QWidget* Wizard3ModeSel;
    QGroupBox* RadioGroup3;
    QRadioButton* TransparentMS;
    QRadioButton* SMS_MS;
    QRadioButton* AutoDialMS;
    QRadioButton* TCP_ServerMS;
    QRadioButton* Real_ComMS;
    QLabel* Label4;
    QWidget* Wizard4ComSet;
    QGroupBox* GroupBox1;
    QLabel* LabelComboBox2w;
    QComboBox* ComboBox2;
    QLabel* ParityLabelw;
    QComboBox* ComboBox3;
    QLabel* LabelComboBox4w;
    QComboBox* ComboBox4;
    QLabel* LabelComboBox5w;
    QComboBox* ComboBox5;
    QLabel* LabelComboBox6w;
    QComboBox* ComboBox6;
    QCheckBox* Config_serial;
    QGroupBox* GroupBox6;
    QLineEdit* DeviceName;
    QWidget* Wizard5PIN;
    QGroupBox* GroupBox3;
    QLabel* PinText1w;
    QLabel* PinText2w;
    QLineEdit* PIN1;
    QGroupBox* RadioGroup4;
    QRadioButton* wmbs0_r;
    QRadioButton* wmbs1_r;
    QRadioButton* wmbs2_r;
    QRadioButton* wmbs3_r;
    QRadioButton* wmbs4_r;
    QRadioButton* wmbs5_r;
    QRadioButton* wmbs6_r;
    QWidget* Wizard6SMS;
    QCheckBox* SMS_IN_Data_Mode;
    QGroupBox* GroupBox4;
    QLabel* HeadGroupBox4;
    QLabel* No1LabelGroupBox4;
    QLineEdit* SMSc1;
    QLabel* No2LabelGroupBox4;
    QLineEdit* SMSc2;
    QLabel* FormatLabelGroupBox4;
    QRadioButton* SMS_c7r;
    QRadioButton* SMS_c16r;
    QRadioButton* SMS_c8r;
    QCheckBox* SMS_OUT_Data_Mode;
    QGroupBox* GroupBox5;
    QLabel* HeadGroupBox5;
    QLabel* No1LabelGroupBox5;
    QLineEdit* SMSt1;
    QLabel* No2LabelGroupBox5;
    QLineEdit* SMSt2;
    QLabel* FormatLabelGroupBox5;
    QRadioButton* SMS_t7r;
    QRadioButton* SMS_t16r;
    QRadioButton* SMS_t8r;
    QFrame* ButtonRule;
    QPushButton* Back;
    QPushButton* Next;
    QPushButton* Cancel;
};

struct MainsetControls {
    explicit MainsetControls(QObject* form)
        : centralwidget(findControl<QWidget>(form, "centralwidget")),
          PageControl1(findControl<QTabWidget>(form, "PageControl1")),
          TabSheet1(findControl<QWidget>(form, "TabSheet1")),
          GroupBox1(findControl<QGroupBox>(form, "GroupBox1")),
          LabelComboBox2m(findControl<QLabel>(form, "LabelComboBox2m")),
          ComboBox2(findControl<QComboBox>(form, "ComboBox2")),
          LabelComboBox3m(findControl<QLabel>(form, "LabelComboBox3m")),
          ComboBox3(findControl<QComboBox>(form, "ComboBox3")),
          LabelComboBox4m(findControl<QLabel>(form, "LabelComboBox4m")),
          ComboBox4(findControl<QComboBox>(form, "ComboBox4")),
          LabelComboBox5m(findControl<QLabel>(form, "LabelComboBox5m")),
          ComboBox5(findControl<QComboBox>(form, "ComboBox5")),
          LabelComboBox6m(findControl<QLabel>(form, "LabelComboBox6m")),
          ComboBox6(findControl<QComboBox>(form, "ComboBox6")),
          Echo_Disable(findControl<QCheckBox>(form, "Echo_Disable")),
          Config_serial(findControl<QCheckBox>(form, "Config_serial")),
          GroupBox2(findControl<QGroupBox>(form, "GroupBox2")),
          PinText1(findControl<QLabel>(form, "PinText1")), PinText2(findControl<QLabel>(form, "PinText2")),
          PIN1(findControl<QLineEdit>(form, "PIN1")), GroupBox11(findControl<QGroupBox>(form, "GroupBox11")),
          DeviceName(findControl<QLineEdit>(form, "DeviceName")),
          TabSheet2(findControl<QWidget>(form, "TabSheet2")),
          GroupBox3(findControl<QGroupBox>(form, "GroupBox3")),
          GSM_Ring_On(findControl<QCheckBox>(form, "GSM_Ring_On")),
          RingsLabel(findControl<QLabel>(form, "RingsLabel")),
          GSM_Ring(findControl<QLineEdit>(form, "GSM_Ring")),
          RingsRange(findControl<QLabel>(form, "RingsRange")),
          GroupBox4(findControl<QGroupBox>(form, "GroupBox4")),
          GSM_P0(findControl<QRadioButton>(form, "GSM_P0")),
          ProtocolLabel0(findControl<QLabel>(form, "ProtocolLabel0")),
          GSM_P71(findControl<QRadioButton>(form, "GSM_P71")),
          ProtocolLabel71(findControl<QLabel>(form, "ProtocolLabel71")),
          GSM_P7(findControl<QRadioButton>(form, "GSM_P7")),
          ProtocolLabel7(findControl<QLabel>(form, "ProtocolLabel7")),
          GroupBox5(findControl<QGroupBox>(form, "GroupBox5")),
          DTR0_ignore(findControl<QRadioButton>(form, "DTR0_ignore")),
          DTR2_HangUp(findControl<QRadioButton>(form, "DTR2_HangUp")),
          DTR1_Command(findControl<QRadioButton>(form, "DTR1_Command")),
          RadioGroup1(findControl<QGroupBox>(form, "RadioGroup1")),
          wmbs0_rm(findControl<QRadioButton>(form, "wmbs0_rm")),
          wmbs1_rm(findControl<QRadioButton>(form, "wmbs1_rm")),
          wmbs2_rm(findControl<QRadioButton>(form, "wmbs2_rm")),
          wmbs3_rm(findControl<QRadioButton>(form, "wmbs3_rm")),
          wmbs4_rm(findControl<QRadioButton>(form, "wmbs4_rm")),
          wmbs5_rm(findControl<QRadioButton>(form, "wmbs5_rm")),
          wmbs6_rm(findControl<QRadioButton>(form, "wmbs6_rm")),
          TabSheet3(findControl<QWidget>(form, "TabSheet3")),
          SMS_IN_Data_Mode(findControl<QCheckBox>(form, "SMS_IN_Data_Mode")),
          GroupBox6(findControl<QGroupBox>(form, "GroupBox6")),
          HeadGroupBox6(findControl<QLabel>(form, "HeadGroupBox6")),
          No1LabelGroupBox6(findControl<QLabel>(form, "No1LabelGroupBox6")),
          SMSc1m(findControl<QLineEdit>(form, "SMSc1m")),
          No2LabelGroupBox6(findControl<QLabel>(form, "No2LabelGroupBox6")),
          SMSc2m(findControl<QLineEdit>(form, "SMSc2m")),
          FormatLabelGroupBox6(findControl<QLabel>(form, "FormatLabelGroupBox6")),
          SMS_c7rm(findControl<QRadioButton>(form, "SMS_c7rm")),
          SMS_c16rm(findControl<QRadioButton>(form, "SMS_c16rm")),
          SMS_c8rm(findControl<QRadioButton>(form, "SMS_c8rm")),
          SMS_OUT_Data_Mode(findControl<QCheckBox>(form, "SMS_OUT_Data_Mode")),
          GroupBox7(findControl<QGroupBox>(form, "GroupBox7")),
          HeadGroupBox7(findControl<QLabel>(form, "HeadGroupBox7")),
          No1LabelGroupBox7(findControl<QLabel>(form, "No1LabelGroupBox7")),
          SMSt1m(findControl<QLineEdit>(form, "SMSt1m")),
          No2LabelGroupBox7(findControl<QLabel>(form, "No2LabelGroupBox7")),
          SMSt2m(findControl<QLineEdit>(form, "SMSt2m")),
          FormatLabelGroupBox7(findControl<QLabel>(form, "FormatLabelGroupBox7")),
          SMS_t7rm(findControl<QRadioButton>(form, "SMS_t7rm")),
          SMS_t16rm(findControl<QRadioButton>(form, "SMS_t16rm")),
          SMS_t8rm(findControl<QRadioButton>(form, "SMS_t8rm")),
          Init_Strings(findControl<QWidget>(form, "Init_Strings")),
          GroupBox9(findControl<QGroupBox>(form, "GroupBox9")),
          CommandLabel1(findControl<QLabel>(form, "CommandLabel1")),
          CMD1(findControl<QLineEdit>(form, "CMD1")),
          CommandLabel2(findControl<QLabel>(form, "CommandLabel2")),
          CMD2(findControl<QLineEdit>(form, "CMD2")),
          CommandLabel3(findControl<QLabel>(form, "CommandLabel3")),
          CMD3(findControl<QLineEdit>(form, "CMD3")),
          CommandLabel4(findControl<QLabel>(form, "CommandLabel4")),
          CMD4(findControl<QLineEdit>(form, "CMD4")),
          CommandLabel5(findControl<QLabel>(form, "CommandLabel5")),
          CMD5(findControl<QLineEdit>(form, "CMD5")), GroupBox10(findControl<QGroupBox>(form, "GroupBox10")),
          init1(findControl<QLineEdit>(form, "init1")), Ver(findControl<QLabel>(form, "Ver")),
          Build(findControl<QLabel>(form, "Build")),
          DownloadBtn(findControl<QPushButton>(form, "DownloadBtn")),
          UploadBtn(findControl<QPushButton>(form, "UploadBtn")),
          UpgradeBtn(findControl<QPushButton>(form, "UpgradeBtn")),
          MonitoringBtn(findControl<QPushButton>(form, "MonitoringBtn")),
          ResetBtn(findControl<QPushButton>(form, "ResetBtn")),
          DelSMSBtn(findControl<QPushButton>(form, "DelSMSBtn")),
          MainMenu1(findControl<QMenuBar>(form, "MainMenu1")), File1(findControl<QMenu>(form, "File1")),
          TerminalEmulator1(findControl<QMenu>(form, "TerminalEmulator1")),
          Help1(findControl<QMenu>(form, "Help1")),
          GotoModeWizard1(findControl<QAction>(form, "GotoModeWizard1")),
          SaveFile(findControl<QAction>(form, "SaveFile")), Export1(findControl<QAction>(form, "Export1")),
          Exit2(findControl<QAction>(form, "Exit2")), Zerip1(findControl<QAction>(form, "Zerip1")),
          Help(findControl<QAction>(form, "Help")), About(findControl<QAction>(form, "About")) {}
    QWidget* centralwidget;
    QTabWidget* PageControl1;
    QWidget* TabSheet1;
    QGroupBox* GroupBox1;
    QLabel* LabelComboBox2m;
    QComboBox* ComboBox2;
    QLabel* LabelComboBox3m;
    QComboBox* ComboBox3;
    QLabel* LabelComboBox4m;
    QComboBox* ComboBox4;
    QLabel* LabelComboBox5m;
    QComboBox* ComboBox5;
    QLabel* LabelComboBox6m;
    QComboBox* ComboBox6;
    QCheckBox* Echo_Disable;
    QCheckBox* Config_serial;
    QGroupBox* GroupBox2;
    QLabel* PinText1;
    QLabel* PinText2;
    QLineEdit* PIN1;
    QGroupBox* GroupBox11;
    QLineEdit* DeviceName;
    QWidget* TabSheet2;
    QGroupBox* GroupBox3;
    QCheckBox* GSM_Ring_On;
    QLabel* RingsLabel;
    QLineEdit* GSM_Ring;
    QLabel* RingsRange;
    QGroupBox* GroupBox4;
    QRadioButton* GSM_P0;
    QLabel* ProtocolLabel0;
    QRadioButton* GSM_P71;
    QLabel* ProtocolLabel71;
    QRadioButton* GSM_P7;
    QLabel* ProtocolLabel7;
    QGroupBox* GroupBox5;
    QRadioButton* DTR0_ignore;
    QRadioButton* DTR2_HangUp;
    QRadioButton* DTR1_Command;
    QGroupBox* RadioGroup1;
    QRadioButton* wmbs0_rm;
    QRadioButton* wmbs1_rm;
    QRadioButton* wmbs2_rm;
    QRadioButton* wmbs3_rm;
    QRadioButton* wmbs4_rm;
    QRadioButton* wmbs5_rm;
    QRadioButton* wmbs6_rm;
    QWidget* TabSheet3;
    QCheckBox* SMS_IN_Data_Mode;
    QGroupBox* GroupBox6;
    QLabel* HeadGroupBox6;
    QLabel* No1LabelGroupBox6;
    QLineEdit* SMSc1m;
    QLabel* No2LabelGroupBox6;
    QLineEdit* SMSc2m;
    QLabel* FormatLabelGroupBox6;
    QRadioButton* SMS_c7rm;
    QRadioButton* SMS_c16rm;
    QRadioButton* SMS_c8rm;
    QCheckBox* SMS_OUT_Data_Mode;
    QGroupBox* GroupBox7;
    QLabel* HeadGroupBox7;
    QLabel* No1LabelGroupBox7;
    QLineEdit* SMSt1m;
    QLabel* No2LabelGroupBox7;
    QLineEdit* SMSt2m;
    QLabel* FormatLabelGroupBox7;
    QRadioButton* SMS_t7rm;
    QRadioButton* SMS_t16rm;
    QRadioButton* SMS_t8rm;
    QWidget* Init_Strings;
    QGroupBox* GroupBox9;
    QLabel* CommandLabel1;
    QLineEdit* CMD1;
    QLabel* CommandLabel2;
    QLineEdit* CMD2;
    QLabel* CommandLabel3;
    QLineEdit* CMD3;
    QLabel* CommandLabel4;
    QLineEdit* CMD4;
    QLabel* CommandLabel5;
    QLineEdit* CMD5;
    QGroupBox* GroupBox10;
    QLineEdit* init1;
    QLabel* Ver;
    QLabel* Build;
    QPushButton* DownloadBtn;
    QPushButton* UploadBtn;
    QPushButton* UpgradeBtn;
    QPushButton* MonitoringBtn;
    QPushButton* ResetBtn;
    QPushButton* DelSMSBtn;
    QMenuBar* MainMenu1;
    QMenu* File1;
    QMenu* TerminalEmulator1;
    QMenu* Help1;
    QAction* GotoModeWizard1;
    QAction* SaveFile;
    QAction* Export1;
    QAction* Exit2;
    QAction* Zerip1;
    QAction* Help;
    QAction* About;
};

struct ConnectControls {
    explicit ConnectControls(QObject* form)
        : GroupBox1(findControl<QGroupBox>(form, "GroupBox1")), Label4(findControl<QLabel>(form, "Label4")),
          ComboBox1(findControl<QComboBox>(form, "ComboBox1")),
          Label_Enter_PIN(findControl<QLabel>(form, "Label_Enter_PIN")),
          ComboBox2(findControl<QComboBox>(form, "ComboBox2")), Label5(findControl<QLabel>(form, "Label5")),
          ComboBox3(findControl<QComboBox>(form, "ComboBox3")), Label6(findControl<QLabel>(form, "Label6")),
          ComboBox4(findControl<QComboBox>(form, "ComboBox4")), Label7(findControl<QLabel>(form, "Label7")),
          ComboBox5(findControl<QComboBox>(form, "ComboBox5")), Label12(findControl<QLabel>(form, "Label12")),
          ComboBox6(findControl<QComboBox>(form, "ComboBox6")),
          AutoDetect(findControl<QCheckBox>(form, "AutoDetect")),
          AutoDetectWarn1(findControl<QLabel>(form, "AutoDetectWarn1")),
          AutoDetectWarn2(findControl<QLabel>(form, "AutoDetectWarn2")),
          OKF3Btn(findControl<QPushButton>(form, "OKF3Btn")),
          CancelF3Btn(findControl<QPushButton>(form, "CancelF3Btn")) {}
    QGroupBox* GroupBox1;
    QLabel* Label4;
    QComboBox* ComboBox1;
    QLabel* Label_Enter_PIN;
    QComboBox* ComboBox2;
    QLabel* Label5;
    QComboBox* ComboBox3;
    QLabel* Label6;
    QComboBox* ComboBox4;
    QLabel* Label7;
    QComboBox* ComboBox5;
    QLabel* Label12;
    QComboBox* ComboBox6;
    QCheckBox* AutoDetect;
    QLabel* AutoDetectWarn1;
    QLabel* AutoDetectWarn2;
    QPushButton* OKF3Btn;
    QPushButton* CancelF3Btn;
};

struct MonitorControls {
    explicit MonitorControls(QObject* form)
        : DetectInterval(findControl<QGroupBox>(form, "DetectInterval")),
          FiveSec(findControl<QRadioButton>(form, "FiveSec")),
          TenSec(findControl<QRadioButton>(form, "TenSec")),
          ThirtySec(findControl<QRadioButton>(form, "ThirtySec")),
          GroupBox14(findControl<QGroupBox>(form, "GroupBox14")),
          StaticText1(findControl<QLabel>(form, "StaticText1")),
          GSM_OperatorName(findControl<QLabel>(form, "GSM_OperatorName")),
          StaticText2(findControl<QLabel>(form, "StaticText2")),
          GSM_Registration(findControl<QLabel>(form, "GSM_Registration")),
          GroupBox12(findControl<QGroupBox>(form, "GroupBox12")), Label1(findControl<QLabel>(form, "Label1")),
          RSSI(findControl<QLabel>(form, "RSSI")), Shape3(findControl<QFrame>(form, "Shape3")),
          Shape2(findControl<QFrame>(form, "Shape2")), Shape1(findControl<QFrame>(form, "Shape1")),
          BitBtn1(findControl<QPushButton>(form, "BitBtn1")) {}
    QGroupBox* DetectInterval;
    QRadioButton* FiveSec;
    QRadioButton* TenSec;
    QRadioButton* ThirtySec;
    QGroupBox* GroupBox14;
    QLabel* StaticText1;
    QLabel* GSM_OperatorName;
    QLabel* StaticText2;
    QLabel* GSM_Registration;
    QGroupBox* GroupBox12;
    QLabel* Label1;
    QLabel* RSSI;
    QFrame* Shape3;
    QFrame* Shape2;
    QFrame* Shape1;
    QPushButton* BitBtn1;
};
