#include "TerminalFontDlg.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace halvic {

namespace {

struct StyleRow {
    const char* text;
    int weight;
    bool italic;
};

constexpr StyleRow Styles[] = {
    {"Regular", 400, false}, {"Italic", 400, true}, {"Bold", 700, false}, {"Bold Italic", 700, true}};

QListWidget* makeList(const QString& name) {
    auto* list = new QListWidget;
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

} // namespace

QStringList CTerminalFontDlg::fixedPitchFamilies() {
    QStringList families;
    for (const QString& family : QFontDatabase::families())
        if (!QFontDatabase::isPrivateFamily(family) && QFontDatabase::isFixedPitch(family))
            families.append(family);
    return families;
}

CTerminalFontDlg::CTerminalFontDlg(const TerminalFont& font, double dotsPerInchY, QWidget* parent)
    : QDialog(parent), font_(font), dpi_(dotsPerInchY > 0 ? dotsPerInchY : 96.0) {
    setObjectName(QStringLiteral("CTerminalFontDlg"));
    setWindowTitle(QStringLiteral("Font"));
    families_ = makeList(QStringLiteral("fontFamilies"));
    styles_ = makeList(QStringLiteral("fontStyles"));
    sizes_ = makeList(QStringLiteral("fontSizes"));

    // The family in use starts selected; when the system lacks it, the fixed-pitch font drawn instead.
    const QFont shown = font_.toQFont();
    families_->addItems(fixedPitchFamilies());
    QList<QListWidgetItem*> current = families_->findItems(font_.lfFaceName, Qt::MatchFixedString);
    if (current.isEmpty())
        current = families_->findItems(shown.family(), Qt::MatchFixedString);
    families_->setCurrentRow(current.isEmpty() ? 0 : families_->row(current.first()));

    for (const StyleRow& style : Styles)
        styles_->addItem(QString::fromLatin1(style.text));
    const bool bold = font_.lfWeight >= 600;
    styles_->setCurrentRow((bold ? 2 : 0) + (font_.lfItalic ? 1 : 0));

    for (int points = MinPoints; points <= MaxPoints; ++points)
        sizes_->addItem(QString::number(points));
    const int points = static_cast<int>(std::lround(std::abs(font_.lfHeight) * 72.0 / dpi_));
    sizes_->setCurrentRow(std::clamp(points, MinPoints, MaxPoints) - MinPoints);

    sample_ = new QLabel(QStringLiteral("AaBbYyZz"));
    sample_->setObjectName(QStringLiteral("fontSample"));
    sample_->setAlignment(Qt::AlignCenter);
    sample_->setMinimumHeight(40);
    sample_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("&Font:")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Font st&yle:")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("&Size:")), 0, 2);
    grid->addWidget(families_, 1, 0);
    grid->addWidget(styles_, 1, 1);
    grid->addWidget(sizes_, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 1);
    for (int column = 0; column < 3; ++column)
        static_cast<QLabel*>(grid->itemAtPosition(0, column)->widget())
            ->setBuddy(column == 0   ? families_
                       : column == 1 ? styles_
                                     : sizes_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(sample_);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QListWidget* list : {families_, styles_, sizes_})
        connect(list, &QListWidget::currentRowChanged, this, &CTerminalFontDlg::showSample);
    showSample();
}

TerminalFont CTerminalFontDlg::selectedFont() const {
    TerminalFont font = font_;
    if (QListWidgetItem* family = families_->currentItem())
        font.lfFaceName = family->text();
    const int style = std::clamp(styles_->currentRow(), 0, static_cast<int>(std::size(Styles)) - 1);
    font.lfWeight = Styles[style].weight;
    font.lfItalic = Styles[style].italic ? 1 : 0;
    const int points = MinPoints + std::clamp(sizes_->currentRow(), 0, MaxPoints - MinPoints);
    font.lfHeight = -static_cast<int>(std::lround(points * dpi_ / 72.0));
    return font;
}

void CTerminalFontDlg::showSample() {
    sample_->setFont(selectedFont().toQFont());
}

} // namespace halvic
