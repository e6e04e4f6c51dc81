#include "SendPatternDlg.h"

#include "ControlIds.h"
#include "HexPatternEdit.h"
#include "messenger.h"
#include "PatternEdits.h"
#include "PatternSettings.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QVBoxLayout>

#include <array>

namespace halvic {

namespace {

using terminal::PatternCountMode;
using terminal::PatternType;

// The scale under the pattern line: a tick per pattern character, a tall one every fifth.
class PatternRuler : public QWidget {
public:
    PatternRuler(const CHexPatternEdit* line, QWidget* parent) : QWidget(parent), line_(line) {
        setFixedHeight(line->charHeight() * 4 / 3 + 2);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(QPen(palette().color(QPalette::WindowText), 1));
        const int y = height() * 3 / 4;
        painter.drawLine(0, y, width(), y);
        const int tall = line_->charHeight();
        for (int i = 0; i <= 20; ++i) {
            const int x = i * 2 * line_->charWidth();
            painter.drawLine(x, y, x, y - (i % 5 == 0 ? tall : tall / 3));
        }
    }

private:
    const CHexPatternEdit* line_;
};

QRadioButton* radio(const QString& text, const char* name, QWidget* parent) {
    auto* r = new QRadioButton(text, parent);
    r->setObjectName(QLatin1String(name));
    return r;
}

} // namespace

CSendPatternDlg::CSendPatternDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("CSendPatternDlg"));
    setWindowTitle(QStringLiteral("Send Pattern"));
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::TypeWriter);
    f.setPointSize(9);
    setFont(f);

    auto* data = new QGroupBox(QStringLiteral(" Data Pattern "), this);
    ascii_ = radio(QStringLiteral("ASCII"), kIdcAsciiRadio, data);
    hex_ = radio(QStringLiteral("HEX"), kIdcHexRadio, data);
    range_ = radio(QStringLiteral("Range(Hex)"), kIdcRangeRadio, data);
    auto* typeGroup = new QButtonGroup(this);
    for (QRadioButton* r : {ascii_, hex_, range_})
        typeGroup->addButton(r);

    auto* frame = new QFrame(data); // frames the pattern line
    frame->setObjectName(QLatin1String(kIdcPatternLineFrame));
    frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    line_ = new CHexPatternEdit(frame);
    auto* frameLayout = new QHBoxLayout(frame);
    frameLayout->setContentsMargins(2, 2, 2, 2);
    frameLayout->addWidget(line_);
    auto* ruler = new PatternRuler(line_, data);

    hexField_ = new HexEdit(data);
    hexField_->setObjectName(QLatin1String(kIdcHexEdit));
    hexField_->setMaxLength(40);
    start_ = new HexEdit(data);
    start_->setObjectName(QLatin1String(kIdcRangeStartEdit));
    start_->setMaxLength(2);
    end_ = new HexEdit(data);
    end_->setObjectName(QLatin1String(kIdcRangeEndEdit));
    end_->setMaxLength(2);
    for (HexEdit* e : {start_, end_})
        e->setFixedWidth(e->fontMetrics().horizontalAdvance(QStringLiteral("WWW")) + 8);

    auto* grid = new QGridLayout(data);
    grid->addWidget(ascii_, 0, 0);
    grid->addWidget(frame, 0, 1, 1, 5);
    grid->addWidget(ruler, 1, 1, 1, 5);
    grid->addWidget(hex_, 2, 0);
    grid->addWidget(hexField_, 2, 1, 1, 5);
    grid->addWidget(range_, 3, 0);
    grid->addWidget(new QLabel(QStringLiteral("Start:"), data), 3, 1);
    grid->addWidget(start_, 3, 2);
    grid->addWidget(new QLabel(QStringLiteral("To:"), data), 3, 3);
    grid->addWidget(end_, 3, 4);
    grid->setColumnStretch(5, 1);

    auto* count = new QGroupBox(QStringLiteral(" Count "), this);
    untilBreak_ = radio(QStringLiteral("Send until user break"), kIdcUntilBreakRadio, count);
    repeat_ = radio(QStringLiteral("Repeat Count :"), kIdcRepeatRadio, count);
    repeatCount_ = new DigitEdit(count);
    repeatCount_->setObjectName(QLatin1String(kIdcRepeatCountEdit));
    repeatCount_->setMaxLength(8);
    auto* countGroup = new QButtonGroup(this);
    countGroup->addButton(untilBreak_);
    countGroup->addButton(repeat_);
    auto* countLayout = new QGridLayout(count);
    countLayout->addWidget(untilBreak_, 0, 0, 1, 2);
    countLayout->addWidget(repeat_, 1, 0);
    countLayout->addWidget(repeatCount_, 1, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* startSend = buttons->addButton(QStringLiteral("Start Send"), QDialogButtonBox::AcceptRole);
    startSend->setObjectName(QStringLiteral("startSend"));
    startSend->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CSendPatternDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSendPatternDlg::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(data);
    layout->addWidget(count);
    layout->addWidget(buttons);

    // The stored entries, the pattern bytes as (blank, byte) pairs.
    const PatternSettings& stored = patternSettings();
    std::array<uint8_t, CHexPatternEdit::CellCount> cells{};
    const size_t n = std::min(stored.entries.bytes.size(), terminal::MaxPatternBytes);
    for (size_t i = 0; i < n; ++i) {
        cells[2 * i] = CHexPatternEdit::Blank;
        cells[2 * i + 1] = stored.entries.bytes[i];
    }
    line_->SetContent(cells.data(), int(2 * n));
    start_->setText(QString::fromLatin1(stored.entries.rangeStart.c_str()));
    end_->setText(QString::fromLatin1(stored.entries.rangeEnd.c_str()));
    repeatCount_->setText(QString::fromLatin1(stored.entries.repeatText.c_str()));
    (stored.entries.type == PatternType::Ascii ? ascii_
     : stored.entries.type == PatternType::Hex ? hex_
                                               : range_)
        ->setChecked(true);
    (stored.entries.countMode == PatternCountMode::RepeatCount ? repeat_ : untilBreak_)->setChecked(true);
    applyType(stored.entries.type, true);
    applyCountMode(stored.entries.countMode);
    OnPatternChanged();

    connect(line_, &CHexPatternEdit::patternChanged, this, &CSendPatternDlg::OnPatternChanged);
    connect(hexField_, &QLineEdit::textChanged, this, &CSendPatternDlg::OnHexChanged);
    connect(ascii_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            applyType(PatternType::Ascii, true);
    });
    connect(hex_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            applyType(PatternType::Hex, true);
    });
    connect(range_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            applyType(PatternType::Range, true);
    });
    connect(untilBreak_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            applyCountMode(PatternCountMode::UntilUserBreak);
    });
    connect(repeat_, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            applyCountMode(PatternCountMode::RepeatCount);
    });
}

void CSendPatternDlg::applyType(PatternType type, bool focus) {
    line_->setActive(type == PatternType::Ascii);
    line_->setEnabled(type == PatternType::Ascii);
    hexField_->setEnabled(type == PatternType::Hex);
    start_->setEnabled(type == PatternType::Range);
    end_->setEnabled(type == PatternType::Range);
    if (!focus)
        return;
    QWidget* target = type == PatternType::Ascii ? static_cast<QWidget*>(line_)
                      : type == PatternType::Hex ? static_cast<QWidget*>(hexField_)
                                                 : static_cast<QWidget*>(start_);
    target->setFocus(Qt::OtherFocusReason);
}

void CSendPatternDlg::applyCountMode(PatternCountMode mode) {
    repeatCount_->setEnabled(mode == PatternCountMode::RepeatCount);
}

void CSendPatternDlg::OnPatternChanged() {
    std::array<uint8_t, CHexPatternEdit::CellCount> cells{};
    const int count = line_->GetContent(cells.data());
    std::vector<uint8_t> bytes;
    for (int i = 1; i < count; i += 2)
        bytes.push_back(cells[size_t(i)]);
    hexField_->setText(QString());
    hexField_->setText(QString::fromLatin1(terminal::bytesToHexText(bytes).c_str()));
}

void CSendPatternDlg::OnHexChanged(const QString& text) {
    const std::vector<uint8_t> bytes = terminal::hexTextToBytes(text.toUpper().toLatin1().toStdString());
    std::array<uint8_t, CHexPatternEdit::CellCount> cells{};
    const size_t n = std::min(bytes.size(), terminal::MaxPatternBytes);
    for (size_t i = 0; i < n; ++i) {
        cells[2 * i] = CHexPatternEdit::Blank;
        cells[2 * i + 1] = bytes[i];
    }
    line_->SetContent(cells.data(), int(2 * n));
}

void CSendPatternDlg::storeEntries() {
    terminal::PatternEntries& e = patternSettings().entries;
    e.type = ascii_->isChecked() ? PatternType::Ascii
             : hex_->isChecked() ? PatternType::Hex
                                 : PatternType::Range;
    e.countMode = repeat_->isChecked() ? PatternCountMode::RepeatCount : PatternCountMode::UntilUserBreak;
    e.rangeStart = start_->text().toLatin1().toStdString();
    e.rangeEnd = end_->text().toLatin1().toStdString();
    e.repeatText = repeatCount_->text().toLatin1().toStdString();
    std::array<uint8_t, CHexPatternEdit::CellCount> cells{};
    const int count = line_->GetContent(cells.data());
    e.bytes.clear();
    for (int i = 1; i < count; i += 2)
        e.bytes.push_back(cells[size_t(i)]);
    patternSettings().repeatCount = terminal::repeatCountValue(e.repeatText);
}

void CSendPatternDlg::accept() {
    storeEntries();
    const terminal::PatternEntries& e = patternSettings().entries;
    const terminal::PatternCheck check =
        terminal::checkPattern(e, hexField_->text().toLatin1().toStdString());
    if (check.message != terminal::PatternOk) {
        gui::messenger().showPlain(
            QString::fromLatin1(terminal::patternMessageText(check.message).data(),
                                qsizetype(terminal::patternMessageText(check.message).size())));
        if (check.message == terminal::PatternNoRange)
            start_->setFocus(Qt::OtherFocusReason);
        else if (check.message == terminal::PatternNoBytes)
            (e.type == PatternType::Ascii ? static_cast<QWidget*>(line_) : static_cast<QWidget*>(hexField_))
                ->setFocus(Qt::OtherFocusReason);
        return;
    }
    patternText_ = QString::fromLatin1(check.patternText.c_str());
    pass_ = check.pass;
    QDialog::accept();
}

void CSendPatternDlg::reject() {
    storeEntries();
    QDialog::reject();
}

} // namespace halvic
