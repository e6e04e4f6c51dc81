#include "About.h"

#include "program_version.h"

#include "ui_TFabout.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

#include <array>

TFabout* Fabout = nullptr;

namespace {

// The program icon when the application has none of its own.
QPixmap drawnIcon() {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x1f, 0x4e, 0x9a));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(QRectF(1, 7, 30, 18), 4, 4);
    p.setBrush(QColor(0x7c, 0xd9, 0x4f));
    p.drawEllipse(QRectF(5, 19, 3, 3));
    p.drawEllipse(QRectF(10, 19, 3, 3));
    p.setPen(QPen(QColor(0x1f, 0x4e, 0x9a), 2));
    p.drawLine(QPointF(25, 7), QPointF(25, 1));
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setBold(true);
    font.setPixelSize(11);
    p.setFont(font);
    p.drawText(QRectF(1, 7, 30, 13), Qt::AlignCenter, QStringLiteral("V"));
    return pixmap;
}

void centreOnScreen(QWidget* w) {
    w->adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
    }
}

// Two digits from text at pos, a blank read as 0; "00" when they are missing or not digits.
QString twoDigits(std::string_view text, std::size_t pos) {
    if (pos + 2 > text.size()) {
        return QStringLiteral("00");
    }
    QString out;
    for (const char c : text.substr(pos, 2)) {
        if (c == ' ') {
            out.append(QLatin1Char('0'));
        } else if (c >= '0' && c <= '9') {
            out.append(QLatin1Char(c));
        } else {
            return QStringLiteral("00");
        }
    }
    return out;
}

} // namespace

TFabout::TFabout(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TFabout>()) {
    ui_->setupUi(this);
    Panel1 = ui_->Panel1;
    Image1 = ui_->Image1;
    StaticText1 = ui_->StaticText1;
    StaticText2 = ui_->StaticText2;
    Build = ui_->Build;
    StaticText3 = ui_->StaticText3;
    StaticText4 = ui_->StaticText4;
    AboutOK = ui_->AboutOK;
    StaticText2->setText(QStringLiteral("Ver ") + shell::programVersion());

    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    const QIcon appIcon = QApplication::windowIcon();
    Image1->setPixmap(appIcon.isNull() ? drawnIcon() : appIcon.pixmap(32, 32));
    // Keep the line's height while the caller has not set the build text yet.
    Build->setMinimumHeight(Build->fontMetrics().height());
    connect(AboutOK, &QPushButton::clicked, this, &TFabout::AboutOKClick);
    centreOnScreen(this);
    Fabout = this;
}

TFabout::~TFabout() {
    if (Fabout == this) {
        Fabout = nullptr;
    }
}

void TFabout::AboutOKClick() {
    done(1);
}

QString BuildText(std::string_view date, std::string_view time) {
    static constexpr std::array<std::string_view, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QString month = QStringLiteral("00");
    const std::string_view name = date.substr(0, 3);
    for (std::size_t i = 0; i < months.size(); ++i) {
        if (name == months[i]) {
            month = QStringLiteral("%1").arg(i + 1, 2, 10, QLatin1Char('0'));
        }
    }
    return QStringLiteral("Build ") + twoDigits(date, 9) + month + twoDigits(date, 4) + twoDigits(time, 0);
}

QString ProgramBuildText() {
    return BuildText(__DATE__, __TIME__);
}
