#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QWidget wizard;
    wizard.setWindowTitle(QStringLiteral("Vantro Configurator"));
    wizard.show();
    return app.exec();
}
