#pragma once
// The windows' side of the engine's view: each call is carried out on the GUI thread on the window
// that is current when it runs (the status window, the main settings window, the connect dialog),
// and does nothing when that window does not exist.

#include "engine_view.h"

class WindowsEngineView : public EngineView {
public:
    void setStatusTitle(const std::string& text) override;
    void setStatusText(const std::string& text) override;
    void setProgressMax(int maximum) override;
    void setProgress(int position) override;
    void stepProgress() override;
    void endStatusModal() override;

    void setAutoAnswer(bool on, const std::string& rings) override;
    void selectBearer(int code) override;
    void selectDtrDrop(int code) override;
    void selectMainDataBits(const std::string& text) override;
    void selectMainStopBits(const std::string& text) override;
    void selectMainParity(const std::string& text) override;
    void selectMainFlow(const std::string& text) override;
    void selectMainBaudIndex(int index) override;
    bool configSerialTicked() override;
    void setMainCheck(MainCheck box, bool ticked) override;
    void restoreFactoryValues() override;

    void showDetectWindows() override;
    void setDetectStatus(const std::string& text) override;
    void selectBaudIndex(int index) override;
    void selectDataBits(const std::string& text) override;
    void selectStopBits(const std::string& text) override;
    void selectParity(const std::string& text) override;
    void endDetectModal() override;
};

// Makes the engine's dialogues show in the windows.
void InstallWindowsEngineView();
