// The main settings window's file commands (save and load of configuration files), the starting
// of the terminal emulator and of the help file, and the About box.

#include "Mainsetup.h"

#include "ui_TFmainset.h"

#include "About.h"
#include "Configstruct.h"
#include "Configstruct_form.h"
#include "file_dialogs.h"
#include "gui.h"
#include "install_layout.h"
#include "launcher.h"
#include "local8.h"
#include "messenger.h"
#include "window_texts.h"

#include <QFile>
#include <QFileInfo>
#include <QShowEvent>

namespace {

// Each save asks for a name at most this often (declined overwrites and unwritable names).
constexpr int kSaveAttempts = 20;

std::string fileName(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

void TFmainset::ConnectFileCommands() {
    connect(ui->SaveFile, &QAction::triggered, this, &TFmainset::SaveFileClick);
    connect(ui->Export1, &QAction::triggered, this, &TFmainset::Export1Click);
    connect(ui->Zerip1, &QAction::triggered, this, &TFmainset::Zerip1Click);
    connect(ui->Help, &QAction::triggered, this, &TFmainset::HelpClick);
    connect(ui->About, &QAction::triggered, this, &TFmainset::AboutClick);
}

void TFmainset::SaveFileClick() {
    SavingToFile = 1;
    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        const QString chosen = gui::fileDialogs().saveFile(
            QString(), QString(), gui::qtFilter(QStringLiteral("Text Files(*.txt)|*.txt")), false);
        if (chosen.isEmpty())
            break;
        // The ".txt" form is always what is written, and it is asked about whenever it exists, so
        // an existing file is never replaced without a question.
        const QString target =
            chosen.contains(QLatin1String(".txt")) ? chosen : chosen + QLatin1String(".txt");
        if (QFileInfo::exists(target) &&
            gui::messenger().confirm(texts::ProgramTitle,
                                     QStringLiteral("This is an existing file. Overwrite?")) !=
                gui::Answer::Ok)
            continue;
        // The collection clears the flag; a retry after a failed write needs it again.
        SavingToFile = 1;
        CollectConfigFromForm();
        if (!SaveConfigFile(fileName(target), ConfigLines)) {
            gui::messenger().show(texts::ProgramTitle,
                                  QStringLiteral("Invalid Filename, it could be reserved by Windows."));
            continue;
        }
        break;
    }
    SavingToFile = 0;
}

void TFmainset::Export1Click() {
    const QString path = gui::fileDialogs().openFile(
        QString(), QString(), gui::qtFilter(QStringLiteral("Txt files (*.txt)|*.txt")));
    if (path.isEmpty())
        return;
    if (!QFileInfo::exists(path)) {
        gui::messenger().show(
            QStringLiteral("File not found."),
            path +
                gui::fromLocal8("\nFound Configurator file error\xA1\x43\nPlease confirm the file name.\n"),
            gui::Icon::Warning);
        return;
    }
    // A file is read and checked before anything changes: a refused file (unreadable, too long, or
    // naming no key at all) leaves every setting as it was.
    std::string text;
    const int result = ReadConfigFile(fileName(path), text);
    if (result == 0 && ParseConfigText(text).EmptyValueCount == kConfigKeyCount)
        EmptyValueCount = kConfigKeyCount;
    else if (result == 0) {
        // A file without these settings leaves them off.
        ui->SMS_IN_Data_Mode->setChecked(false);
        ui->SMS_OUT_Data_Mode->setChecked(false);
        ui->GSM_Ring_On->setChecked(false);
        // The model and build shown belong to the last modem read, not to this file.
        ui->Ver->clear();
        ui->Build->clear();
        ApplyConfigText(text);
    }
    if (result == -1)
        gui::messenger().showPlain(QStringLiteral("The file is empty."));
    else if (result == -2)
        gui::messenger().showPlain(QStringLiteral("Configurator file invalid. Please check the file."));
    else if (result == 0 && EmptyValueCount == kConfigKeyCount)
        gui::messenger().showPlain(QStringLiteral("Format error in Configurator file."));
}

void TFmainset::Zerip1Click() {
    const QString program = shell::installLayout().program(QStringLiteral("halvic"));
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable() || !shell::launcher().startProgram(program))
        gui::messenger().show(texts::ProgramTitle, QStringLiteral("Zerip Terminal Emulator not found"));
}

void TFmainset::HelpClick() {
    const QString help = shell::installLayout().helpFile(QStringLiteral("vantro-configurator.html"));
    if (!QFileInfo(help).isFile() || !shell::launcher().openDocument(help))
        gui::messenger().show(texts::ProgramTitle, QStringLiteral("Help file not found"));
}

void TFmainset::AboutClick() {
    TFabout about;
    about.Build->setText(ProgramBuildText());
    gui::execModal(&about);
}
