#pragma once
// The About box: program name, version and the build text.

#include <QDialog>
#include <QString>

#include <memory>
#include <string_view>

class QFrame;
class QLabel;
class QPushButton;

namespace Ui {
class TFabout;
}

class TFabout : public QDialog {
    Q_OBJECT
public:
    explicit TFabout(QWidget* parent = nullptr);
    ~TFabout() override;

    QFrame* Panel1;
    QLabel* Image1;
    QLabel* StaticText1;
    QLabel* StaticText2;
    QLabel* Build;
    QLabel* StaticText3;
    QLabel* StaticText4;
    QPushButton* AboutOK;

public slots:
    void AboutOKClick();

private:
    std::unique_ptr<Ui::TFabout> ui_;
};

extern TFabout* Fabout;

// "Build " and eight digits YYMMDDHH from a compiler date ("Nov  1 2007") and time ("12:00:59").
// A month name that is none of Jan..Dec gives "00"; missing digits give zeros.
QString BuildText(std::string_view date, std::string_view time);

// The build text of this program.
QString ProgramBuildText();
