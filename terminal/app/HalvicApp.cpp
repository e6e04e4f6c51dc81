#include "HalvicApp.h"

#include "ActiveTransferTable.h"
#include "HalvicDoc.h"
#include "HalvicSettings.h"
#include "HalvicView.h"
#include "install_layout.h"
#include "SettingsSheet.h"

#include <QFileInfo>

namespace halvic {

namespace {

CHalvicApp* theApp = nullptr;

QString withSeparator(const QString& folder) {
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

bool inTable(int port) {
    return port >= 1 && port <= CHalvicApp::PortCount;
}

} // namespace

CHalvicApp::CHalvicApp(const QString& programDir, QObject* parent)
    : QObject(parent),
      programDirectory_(programDir.endsWith(QLatin1Char('/')) ? programDir : programDir + QLatin1Char('/')),
      optionFile_(shell::documentsFolder()) {
    ResetTransfers();
    optionFile_.setLinkPath(HalvicSettings()->value(QStringLiteral("Link_Path"), QString()).toString());
    sheet_ = RunSetupSheet;
    theApp = this;
}

QString CHalvicApp::DocumentsFolder() {
    return withSeparator(shell::documentsFolder());
}

QString CHalvicApp::ReceiveFolder() const {
    return optionFile_.folderOfFile() ? optionFile_.folder() : withSeparator(shell::downloadsFolder());
}

CHalvicApp::~CHalvicApp() {
    if (theApp == this)
        theApp = nullptr;
}

CHalvicApp* CHalvicApp::instance() {
    return theApp;
}

void CHalvicApp::MarkPortInUse(int port) {
    if (!inTable(port))
        return;
    portTable_[static_cast<size_t>(port - 1)] = true;
    ++openPortCount_;
}

void CHalvicApp::ReleasePort(int port) {
    if (!inTable(port))
        return;
    portTable_[static_cast<size_t>(port - 1)] = false;
    --openPortCount_;
}

bool CHalvicApp::IsPortInUse(int port) const {
    return inTable(port) && portTable_[static_cast<size_t>(port - 1)];
}

bool CHalvicApp::SettingsChanged() const {
    if (openPortCount_ != 0 && openPortCount_ != optionFile_.nextProfileIndex())
        return true;
    // Edits after a save count as well as edits after a load.
    return modified_ && (optionFile_.loaded() || optionFile_.hasName()) && openPortCount_ != 0;
}

bool CHalvicApp::AnyViewBusy() const {
    for (const CHalvicDoc* doc : documents_)
        if (doc->view() && doc->view()->IsBusy())
            return true;
    return false;
}

bool CHalvicApp::ReadNextProfile(PortSettings& port, TerminalSettings& terminal, TransferSettings& transfer,
                                 ChildPlacement& placement) {
    terminal::Profile profile;
    if (!optionFile_.ReadNextProfile(profile))
        return false;
    port = profile.port;
    terminal = profile.terminal;
    transfer = profile.transfer;
    placement = profile.placement;
    return true;
}

void CHalvicApp::markSaved() {
    optionFile_.setNextProfileIndex(openPortCount_);
    modified_ = false;
}

void CHalvicApp::resetForLoad() {
    openPortCount_ = 0;
    portTable_.fill(false);
    optionFile_.resetLoaded();
}

std::string CHalvicApp::descriptionDirectory(terminal::TerminalType type) const {
    const QString name = QString::fromLatin1(terminal::descriptionFileName(type));
    return QFileInfo(shell::installLayout().descriptionFile(name)).absolutePath().toStdString();
}

void CHalvicApp::addDocument(CHalvicDoc* doc) {
    documents_.append(doc);
}

void CHalvicApp::removeDocument(CHalvicDoc* doc) {
    documents_.removeAll(doc);
}

} // namespace halvic
