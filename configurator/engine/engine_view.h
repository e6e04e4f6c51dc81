#pragma once
// What the engine's dialogues show and select in the windows while a worker runs: the status
// window's text and progress, the main settings window's controls that the modem's profile sets,
// and the connect dialog's boxes and label during a scan.
//
// The engine calls these on its own thread and waits for each; the windows install an
// implementation that carries every call out on the GUI thread. Ticking a box or radio button
// through these runs the window's own reaction to it, as a click would; selecting a combo-box item
// runs none. Without an installed view every call does nothing.

#include <memory>
#include <string>

class EngineView {
public:
    virtual ~EngineView() = default;

    // Status window.
    virtual void setStatusTitle(const std::string& text) { (void)text; }
    virtual void setStatusText(const std::string& text) { (void)text; } // then repainted
    virtual void setProgressMax(int maximum) { (void)maximum; }
    virtual void setProgress(int position) { (void)position; }
    virtual void stepProgress() {} // position + 1
    // Ends the status window's modal loop with result 1 (latched when the loop has not started yet).
    virtual void endStatusModal() {}

    // Main settings window.
    // Off: auto-answer unticked and the ring count emptied. On: ticked (its reaction runs), then the
    // ring count takes the text.
    virtual void setAutoAnswer(bool on, const std::string& rings) {
        (void)on;
        (void)rings;
    }
    virtual void selectBearer(int code) { (void)code; }                      // 0, 7 or 71
    virtual void selectDtrDrop(int code) { (void)code; }                     // 0, 1 or 2
    virtual void selectMainDataBits(const std::string& text) { (void)text; } // "7", "8"
    virtual void selectMainStopBits(const std::string& text) { (void)text; } // "1", "2"
    virtual void selectMainParity(const std::string& text) { (void)text; }   // "None", "Odd", ...
    virtual void selectMainFlow(const std::string& text) { (void)text; }     // "None", "Hardward (RTS)"
    virtual void selectMainBaudIndex(int index) { (void)index; }             // 0..9
    virtual bool configSerialTicked() { return true; }
    // Ticks or unticks one of the main settings window's check boxes (its reaction runs).
    enum class MainCheck { SmsInDataMode, SmsOutDataMode, GsmRingOn, EchoDisable };
    virtual void setMainCheck(MainCheck box, bool ticked) {
        (void)box;
        (void)ticked;
    }
    // Puts the main settings window's controls back to the modem's factory values.
    virtual void restoreFactoryValues() {}

    // Connect dialog during a scan.
    virtual void showDetectWindows() {} // show and repaint the dialog and the main settings window
    virtual void setDetectStatus(const std::string& text) { (void)text; } // AutoDetectWarn1, repainted
    virtual void selectBaudIndex(int index) { (void)index; }              // 0..9
    virtual void selectDataBits(const std::string& text) { (void)text; }  // "7", "8"
    virtual void selectStopBits(const std::string& text) { (void)text; }  // "1", "2"
    virtual void selectParity(const std::string& text) { (void)text; }    // "None", "Odd", ...
    // Ends the dialog's modal loop with result 1 (latched when the loop has not started yet).
    virtual void endDetectModal() {}
};

// The installed view (a do-nothing one when none is installed).
std::shared_ptr<EngineView> engineView();
// Installed by the windows at start-up and by tests; null puts the do-nothing view back.
void setEngineView(std::shared_ptr<EngineView> view);
