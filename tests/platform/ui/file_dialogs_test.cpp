#include "file_dialogs.h"
#include "qt_file_dialogs.h"
#include "scripted_file_dialogs.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

namespace {

struct FilterCase {
    const char* name;
    const char* bar;
    const char* qt;
};

class QtFilter : public testing::TestWithParam<FilterCase> {};

TEST_P(QtFilter, BarFiltersBecomeQtFilters) {
    EXPECT_EQ(gui::qtFilter(QString::fromLatin1(GetParam().bar)), QString::fromLatin1(GetParam().qt));
}

INSTANTIATE_TEST_SUITE_P(
    Filters, QtFilter,
    testing::Values(FilterCase{"OneFilter", "Txt files (*.txt)|*.txt", "Txt files (*.txt)"},
                    FilterCase{"NoBlankBeforePattern", "Text Files(*.txt)|*.txt", "Text Files(*.txt)"},
                    FilterCase{"ImageFilter", "Img files (*.img)|*.img", "Img files (*.img)"},
                    FilterCase{"TwoFiltersAndAllFiles", "Option files|*.hlv|All files (*.*)|*.*||",
                               "Option files (*.hlv);;All files (*)"},
                    FilterCase{"SeveralPatterns", "Pictures|*.bmp;*.gif", "Pictures (*.bmp *.gif)"},
                    FilterCase{"BarePatternAllFiles", "*.*", "*"}, FilterCase{"Empty", "", ""}),
    [](const testing::TestParamInfo<FilterCase>& i) { return std::string(i.param.name); });

TEST(ScriptedFileDialogs, AnswersFromTheQueueThenCancels) {
    auto dialogs = gui::ScriptedFileDialogs::install();
    dialogs->answer({QStringLiteral("/tmp/a.txt"), QString()});
    auto& d = gui::fileDialogs();
    EXPECT_EQ(d.saveFile(QStringLiteral("Save"), QStringLiteral("/tmp"), QStringLiteral("*.txt")),
              QStringLiteral("/tmp/a.txt"));
    EXPECT_TRUE(d.openFile(QString(), QString(), QString()).isEmpty());
    EXPECT_TRUE(d.chooseFolder(QString(), QString()).isEmpty());
    dialogs->answerAlways(QStringLiteral("/tmp/b.txt"));
    EXPECT_EQ(d.openFile(QString(), QString(), QString()), QStringLiteral("/tmp/b.txt"));
    const auto requests = dialogs->requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].kind, gui::DialogKind::Save);
    EXPECT_EQ(requests[0].start, QStringLiteral("/tmp"));
    EXPECT_EQ(requests[2].kind, gui::DialogKind::Folder);
    gui::setFileDialogs(nullptr);
}

// Saving over an existing file: the dialog asks only when told to.
TEST(QtFileDialogs, SaveAsksAboutAnExistingFileOnlyWhenTold) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString existing = dir.filePath(QStringLiteral("old.txt"));
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    for (const bool confirm : {false, true}) {
        SCOPED_TRACE(confirm ? "confirm" : "no confirm");
        bool asked = false;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                asked = true;
                box->button(QMessageBox::Yes)->click();
            } else if (auto* fd = qobject_cast<QFileDialog*>(modal)) {
                if (!fd->property("picked").toBool()) {
                    fd->setProperty("picked", true);
                    fd->selectFile(existing);
                    QMetaObject::invokeMethod(fd, "accept", Qt::QueuedConnection);
                }
            }
        });
        timer.start(5);
        gui::QtFileDialogs dialogs;
        const QString chosen = dialogs.saveFile(QStringLiteral("Save"), dir.path(),
                                                QStringLiteral("Text Files(*.txt)"), confirm);
        EXPECT_EQ(chosen, existing);
        EXPECT_EQ(asked, confirm);
    }
}

} // namespace
