// The four pages of the settings sheet. Each shows its part of the program-wide page values: a page's
// start fills its lists and shows the values, leaving it takes the controls' values back.
#pragma once

#include "SettingsValues.h"

#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QRadioButton;

namespace halvic {

class CSettingsPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    // Fills the lists and shows the values (each time the sheet is shown).
    virtual void OnInitDialog() = 0;
    virtual void OnSetActive() {}
    // Takes the controls' values.
    virtual void OnKillActive() {}
};

// "Communication Parameter".
class CPSet : public CSettingsPage {
    Q_OBJECT
public:
    explicit CPSet(QWidget* parent = nullptr);
    void LoadFrom(const PortSettings& settings, bool portFixed);
    void StoreTo(PortSettings& settings) const;
    void OnInitDialog() override;
    void OnKillActive() override;

private:
    void OnRtsCts(bool ticked);
    void showRtsRadio();

    bool portFixed_ = false;
    QComboBox* ports_;
    QComboBox* baud_;
    QComboBox* dataBits_;
    QComboBox* parity_;
    QComboBox* stopBits_;
    QCheckBox* rtsCts_;
    QCheckBox* xonXoff_;
    QRadioButton* dtrOn_;
    QRadioButton* dtrOff_;
    QRadioButton* rtsOn_;
    QRadioButton* rtsOff_;
};

// "Terminal".
class COption : public CSettingsPage {
    Q_OBJECT
public:
    explicit COption(QWidget* parent = nullptr);
    void LoadFrom(const TerminalSettings& settings);
    void StoreTo(TerminalSettings& settings) const;
    void OnInitDialog() override;
    void OnKillActive() override;

private:
    void enableDumbOptions(int type);

    QComboBox* type_;
    QCheckBox* localEcho_;
    QComboBox* enter_;
    QComboBox* cr_;
    QComboBox* lf_;
};

// "File Transfer".
class CTransferOpt : public CSettingsPage {
    Q_OBJECT
public:
    explicit CTransferOpt(QWidget* parent = nullptr);
    void LoadFrom(const TransferSettings& settings);
    void StoreTo(TransferSettings& settings);
    void OnInitDialog() override;
    void OnSetActive() override;
    void OnKillActive() override;

private:
    void OnBrowse();

    QString directory_;
    bool loaded_ = false;
    QLabel* shown_;
    QCheckBox* zmodem_;
};

// "Capturing". The default name uses the port the first page holds.
class CCapOpt : public CSettingsPage {
    Q_OBJECT
public:
    explicit CCapOpt(QWidget* parent = nullptr);
    void LoadFrom(const TransferSettings& settings);
    void StoreTo(TransferSettings& settings);
    void OnInitDialog() override;
    void OnSetActive() override;

private:
    void OnBrowse();
    void fillDefault();

    QString folder_;
    bool loaded_ = false;
    QLabel* shown_;
};

} // namespace halvic
