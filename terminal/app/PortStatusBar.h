// The status bar at the bottom of a port window: the port state, four modem-line lamps and a message
// pane whose notices are shown highlighted. It paints every pane itself.
#pragma once

#include "TransparentBitmap.h"

#include <QColor>
#include <QFont>
#include <QStatusBar>
#include <QString>

#include <array>

// How one pane is drawn.
struct PaneStyle {
    QColor fill;
    QColor back;
    QColor text;
    QFont font;
    bool fillFlag = false; // fill the pane with the fill colour first
    // The colours put back when a highlighted message is replaced.
    QColor savedBack;
    QColor savedText;
    bool saved = false;
};

class PortStatusBar : public QStatusBar {
    Q_OBJECT
public:
    enum Pane : int { StatePane, CtsPane, DsrPane, RiPane, DcdPane, MessagePane, PaneCount };
    // The indicator ids of the panes, in pane order.
    static constexpr std::array<int, PaneCount> PaneIds = {59147, 59143, 59144, 59145, 59146, 0};
    static constexpr int LampWidth = 16;

    explicit PortStatusBar(QWidget* parent = nullptr);

    // Bits 0-3 of the line-status word light CTS, DSR, RI and DCD; only the lamps that change repaint.
    void SetLineIndicators(int lineStatus);
    // Shows text highlighted in the message pane until the pane gets another text.
    void SetStatusPane(const QString& text);

    void setPaneText(int pane, const QString& text);
    QString paneText(int pane) const { return panes_[pane].text; }
    void setPaneEnabled(int pane, bool enabled);
    bool paneEnabled(int pane) const { return panes_[pane].enabled; }
    PaneStyle& paneStyle(int pane) { return panes_[pane].style; }
    const PaneStyle& paneStyle(int pane) const { return panes_[pane].style; }
    // Index of the pane with that indicator id, or -1.
    static int paneIndex(int id);

    bool lampOn(int pane) const { return lamps_[pane - CtsPane]; }
    bool highlighted() const { return highlighted_; }
    QRect paneRect(int pane) const { return panes_[pane].rect; }

    // The port window maximised by its own means: no size grip, as when the system maximises it.
    void setOwnMaximised(bool maximised);
    bool sizeGripShown() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct PaneState {
        QString text;
        bool enabled = true;
        PaneStyle style;
        QRect rect;
    };

    void layoutPanes();
    void paintPane(QPainter& painter, int pane);
    void restoreMessageColours();
    int contentHeight() const;

    std::array<PaneState, PaneCount> panes_;
    // Off and on picture of each lamp.
    std::array<std::array<TransparentBitmap, 2>, 4> lampBitmaps_;
    std::array<bool, 4> lamps_{};
    bool highlighted_ = false;
    QString highlightedText_;
    QFont font_;
    bool ownMaximised_ = false;
};
