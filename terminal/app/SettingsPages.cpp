#include "SettingsPages.h"

#include "BrowseForFolder.h"
#include "file_dialogs.h"
#include "HalvicApp.h"
#include "messenger.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace halvic {

namespace {

QComboBox* makeList(const QString& name) {
    auto* list = new QComboBox;
    list->setObjectName(name);
    list->setEditable(false);
    return list;
}

void fill(QComboBox* list, const QStringList& texts, int position) {
    list->clear();
    list->addItems(texts);
    list->setCurrentIndex(position >= 0 && position < texts.size() ? position : -1);
}

// A list with no valid selection keeps the value it was given.
void take(const QComboBox* list, int& position) {
    if (list->currentIndex() >= 0)
        position = list->currentIndex();
}

QRadioButton* makeRadio(const QString& text, const QString& name) {
    auto* radio = new QRadioButton(text);
    radio->setObjectName(name);
    return radio;
}

// A radio pair of its own: the two pairs of a group box must not exclude each other.
QHBoxLayout* radioPair(const QString& label, QRadioButton* on, QRadioButton* off, QObject* owner) {
    auto* group = new QButtonGroup(owner);
    group->addButton(on);
    group->addButton(off);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(label));
    row->addWidget(on);
    row->addWidget(off);
    return row;
}

QLabel* makeSunkenStatic(const QString& name) {
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setMinimumWidth(260);
    return label;
}

// A group showing a path in a sunken static, with its Browse button.
QGroupBox* pathGroup(const QString& title, QLabel* shown, QPushButton* browse) {
    browse->setAutoDefault(false);
    auto* group = new QGroupBox(title);
    auto* row = new QHBoxLayout(group);
    row->addWidget(shown, 1);
    row->addWidget(browse);
    return group;
}

QPushButton* makeButton(const QString& name) {
    auto* button = new QPushButton(QStringLiteral("Browse"));
    button->setObjectName(name);
    return button;
}

QString optionFileFolder() {
    CHalvicApp* app = CHalvicApp::instance();
    return app ? app->OptionFileFolder() : QString();
}

QString receiveFolder() {
    CHalvicApp* app = CHalvicApp::instance();
    return app ? app->ReceiveFolder() : QString();
}

bool portInUse(int port) {
    CHalvicApp* app = CHalvicApp::instance();
    return app && app->IsPortInUse(port);
}

// A path goes into a record only whole.
void storePath(std::array<char, terminal::PathFieldSize>& field, const QString& path) {
    terminal::setFieldText(field, path.toStdString());
}

bool fitsRecord(const QString& path) {
    return static_cast<size_t>(path.toUtf8().size()) + 1 <= terminal::PathFieldSize;
}

} // namespace

CPSet::CPSet(QWidget* parent) : CSettingsPage(parent) {
    setObjectName(QStringLiteral("CPSet"));
    ports_ = makeList(QStringLiteral("ports"));
    baud_ = makeList(QStringLiteral("baudRate"));
    dataBits_ = makeList(QStringLiteral("dataBits"));
    parity_ = makeList(QStringLiteral("parity"));
    stopBits_ = makeList(QStringLiteral("stopBits"));
    auto* options = new QGroupBox(QStringLiteral(" COM Options "));
    auto* form = new QFormLayout(options);
    form->addRow(QStringLiteral("Ports :"), ports_);
    form->addRow(QStringLiteral("Baud Rate :"), baud_);
    form->addRow(QStringLiteral("Data Bits :"), dataBits_);
    form->addRow(QStringLiteral("Parity :"), parity_);
    form->addRow(QStringLiteral("Stop Bits :"), stopBits_);

    rtsCts_ = new QCheckBox(QStringLiteral("RTS/CTS"));
    rtsCts_->setObjectName(QStringLiteral("rtsCts"));
    xonXoff_ = new QCheckBox(QStringLiteral("XON/XOFF"));
    xonXoff_->setObjectName(QStringLiteral("xonXoff"));
    auto* flow = new QGroupBox(QStringLiteral("Flow Control"));
    auto* flowLayout = new QVBoxLayout(flow);
    flowLayout->addWidget(rtsCts_);
    flowLayout->addWidget(xonXoff_);

    dtrOn_ = makeRadio(QStringLiteral("ON"), QStringLiteral("dtrOn"));
    dtrOff_ = makeRadio(QStringLiteral("OFF"), QStringLiteral("dtrOff"));
    rtsOn_ = makeRadio(QStringLiteral("ON"), QStringLiteral("rtsOn"));
    rtsOff_ = makeRadio(QStringLiteral("OFF"), QStringLiteral("rtsOff"));
    auto* output = new QGroupBox(QStringLiteral("Output State"));
    auto* outputLayout = new QVBoxLayout(output);
    outputLayout->addLayout(radioPair(QStringLiteral("DTR"), dtrOn_, dtrOff_, this));
    outputLayout->addLayout(radioPair(QStringLiteral("RTS"), rtsOn_, rtsOff_, this));

    auto* right = new QVBoxLayout;
    right->addWidget(flow);
    right->addWidget(output);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(options);
    layout->addLayout(right);
    connect(rtsCts_, &QCheckBox::toggled, this, &CPSet::OnRtsCts);
}

void CPSet::LoadFrom(const PortSettings& settings, bool portFixed) {
    portFixed_ = portFixed;
    LoadPortValues(programPageValues().port, settings);
}

void CPSet::StoreTo(PortSettings& settings) const {
    StorePortValues(programPageValues().port, settings);
}

void CPSet::OnInitDialog() {
    const PortPageValues& v = programPageValues().port;
    QStringList names;
    for (int port = 1; port <= CHalvicApp::PortCount; ++port)
        names
            << QStringLiteral("%1COM%2").arg(portInUse(port) ? QLatin1Char('*') : QLatin1Char(' ')).arg(port);
    fill(ports_, names, v.port);
    ports_->setEnabled(!portFixed_);
    fill(baud_, BaudRateTexts(), v.baud);
    fill(dataBits_, DataBitsTexts(), v.dataBits);
    fill(parity_, ParityTexts(), v.parity);
    fill(stopBits_, StopBitsTexts(), v.stopBits);
    {
        const QSignalBlocker quiet(rtsCts_);
        rtsCts_->setChecked(v.rtsCts);
    }
    xonXoff_->setChecked(v.xonXoff);
    (v.dtrRadio == 0 ? dtrOn_ : dtrOff_)->setChecked(true);
    showRtsRadio();
    // Under hardware flow control the driver owns RTS: the radios show the stored position only.
    rtsOn_->setEnabled(!v.rtsCts);
    rtsOff_->setEnabled(!v.rtsCts);
}

void CPSet::showRtsRadio() {
    (programPageValues().port.rtsRadio == 0 ? rtsOn_ : rtsOff_)->setChecked(true);
}

// The radios follow the box's real state, however often it was clicked.
void CPSet::OnRtsCts(bool ticked) {
    PortPageValues& v = programPageValues().port;
    if (ticked)
        v.rtsRadio = rtsOn_->isChecked() ? 0 : 1;
    else
        showRtsRadio();
    rtsOn_->setEnabled(!ticked);
    rtsOff_->setEnabled(!ticked);
}

void CPSet::OnKillActive() {
    PortPageValues& v = programPageValues().port;
    take(ports_, v.port);
    take(baud_, v.baud);
    take(dataBits_, v.dataBits);
    take(parity_, v.parity);
    take(stopBits_, v.stopBits);
    v.rtsCts = rtsCts_->isChecked();
    v.xonXoff = xonXoff_->isChecked();
    v.dtrRadio = dtrOn_->isChecked() ? 0 : 1;
    v.rtsRadio = rtsOn_->isChecked() ? 0 : 1;
}

COption::COption(QWidget* parent) : CSettingsPage(parent) {
    setObjectName(QStringLiteral("COption"));
    type_ = makeList(QStringLiteral("terminalType"));
    localEcho_ = new QCheckBox(QStringLiteral("&Local Echo"));
    localEcho_->setObjectName(QStringLiteral("localEcho"));
    enter_ = makeList(QStringLiteral("enterKey"));
    cr_ = makeList(QStringLiteral("crTranslation"));
    lf_ = makeList(QStringLiteral("lfTranslation"));

    auto* top = new QFormLayout;
    top->addRow(QStringLiteral("Terminal Type : "), type_);
    auto* transmit = new QGroupBox(QStringLiteral("Transmit"));
    auto* transmitLayout = new QFormLayout(transmit);
    transmitLayout->addRow(localEcho_);
    transmitLayout->addRow(QStringLiteral("Send 'Enter' Key  As:"), enter_);
    auto* receive = new QGroupBox(QStringLiteral("Receive"));
    auto* receiveLayout = new QFormLayout(receive);
    receiveLayout->addRow(QStringLiteral("CR Translation : "), cr_);
    receiveLayout->addRow(QStringLiteral("LF Translation : "), lf_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(new QLabel(QStringLiteral("Dumb Terminal Option :")));
    layout->addWidget(transmit);
    layout->addWidget(receive);
    layout->addStretch();
    connect(type_, &QComboBox::activated, this, &COption::enableDumbOptions);
}

void COption::LoadFrom(const TerminalSettings& settings) {
    LoadTerminalValues(programPageValues().terminal, settings);
}

void COption::StoreTo(TerminalSettings& settings) const {
    StoreTerminalValues(programPageValues().terminal, settings);
}

void COption::OnInitDialog() {
    const TerminalPageValues& v = programPageValues().terminal;
    fill(type_, TerminalTypeTexts(), v.type);
    fill(enter_, EnterKeyTexts(), v.enter);
    fill(cr_, CrTranslationTexts(), v.cr);
    fill(lf_, LfTranslationTexts(), v.lf);
    localEcho_->setChecked(v.localEcho);
    enableDumbOptions(v.type);
}

void COption::enableDumbOptions(int type) {
    const bool dumb = type == 2;
    for (QWidget* w : {static_cast<QWidget*>(localEcho_), static_cast<QWidget*>(enter_),
                       static_cast<QWidget*>(cr_), static_cast<QWidget*>(lf_)})
        w->setEnabled(dumb);
}

void COption::OnKillActive() {
    TerminalPageValues& v = programPageValues().terminal;
    take(type_, v.type);
    v.localEcho = localEcho_->isChecked();
    take(enter_, v.enter);
    take(cr_, v.cr);
    take(lf_, v.lf);
}

CTransferOpt::CTransferOpt(QWidget* parent) : CSettingsPage(parent) {
    setObjectName(QStringLiteral("CTransferOpt"));
    shown_ = makeSunkenStatic(QStringLiteral("receiveDirectory"));
    QPushButton* browse = makeButton(QStringLiteral("browseReceiveDirectory"));
    zmodem_ = new QCheckBox(QStringLiteral("ZModem Auto Download"));
    zmodem_->setObjectName(QStringLiteral("zmodemAutoDownload"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathGroup(QStringLiteral("Receive File Directory"), shown_, browse));
    layout->addWidget(zmodem_);
    layout->addStretch();
    connect(browse, &QPushButton::clicked, this, &CTransferOpt::OnBrowse);
}

void CTransferOpt::LoadFrom(const TransferSettings& settings) {
    directory_ = QString::fromStdString(terminal::fieldText(settings.receiveDirectory));
    programPageValues().zmodemAutoDownload = settings.zmodemAutoDownload != 0;
    loaded_ = true;
}

void CTransferOpt::StoreTo(TransferSettings& settings) {
    if (!loaded_)
        directory_ = receiveFolder();
    storePath(settings.receiveDirectory, directory_);
    settings.zmodemAutoDownload = programPageValues().zmodemAutoDownload ? 1 : 0;
}

void CTransferOpt::OnInitDialog() {
    zmodem_->setChecked(programPageValues().zmodemAutoDownload);
}

void CTransferOpt::OnSetActive() {
    if (!loaded_)
        directory_ = receiveFolder();
    shown_->setText(directory_);
    zmodem_->setChecked(programPageValues().zmodemAutoDownload);
}

void CTransferOpt::OnKillActive() {
    programPageValues().zmodemAutoDownload = zmodem_->isChecked();
}

void CTransferOpt::OnBrowse() {
    QString folder;
    if (BrowseForFolder(this, folder, directory_) != 1)
        return;
    // The choice is kept: the page's default must not replace it later.
    directory_ = folder;
    loaded_ = true;
    shown_->setText(directory_);
}

CCapOpt::CCapOpt(QWidget* parent) : CSettingsPage(parent) {
    setObjectName(QStringLiteral("CCapOpt"));
    shown_ = makeSunkenStatic(QStringLiteral("captureFile"));
    QPushButton* browse = makeButton(QStringLiteral("browseCaptureFile"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pathGroup(QStringLiteral("Saved File Name When Capturing"), shown_, browse));
    layout->addStretch();
    connect(browse, &QPushButton::clicked, this, &CCapOpt::OnBrowse);
}

void CCapOpt::LoadFrom(const TransferSettings& settings) {
    programPageValues().capturePath = QString::fromStdString(terminal::fieldText(settings.captureFileName));
    loaded_ = true;
}

void CCapOpt::fillDefault() {
    folder_ = optionFileFolder();
    programPageValues().capturePath = DefaultCapturePath(folder_, programPageValues().port.port + 1);
}

void CCapOpt::StoreTo(TransferSettings& settings) {
    if (!loaded_)
        fillDefault();
    storePath(settings.captureFileName, programPageValues().capturePath);
}

void CCapOpt::OnInitDialog() {
    shown_->setText(programPageValues().capturePath);
}

void CCapOpt::OnSetActive() {
    if (!loaded_)
        fillDefault();
    shown_->setText(programPageValues().capturePath);
}

void CCapOpt::OnBrowse() {
    QString& path = programPageValues().capturePath;
    const QString start = path.isEmpty() ? folder_ : path;
    const QString chosen = gui::fileDialogs().saveFile(QStringLiteral("Receive File"), start,
                                                       gui::qtFilter(QStringLiteral("*.*")), true);
    if (chosen.isEmpty())
        return;
    if (!fitsRecord(chosen)) {
        // Cutting it would name another file.
        gui::messenger().show(QStringLiteral("Capturing"),
                              QStringLiteral("The file path is too long:\n%1").arg(chosen),
                              gui::Icon::Warning);
        return;
    }
    path = QDir::fromNativeSeparators(chosen);
    folder_ = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
    loaded_ = true;
    shown_->setText(path);
}

} // namespace halvic
