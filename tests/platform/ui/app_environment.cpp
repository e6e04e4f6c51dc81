// One QApplication for the whole test program, made on the main thread before the first test.
#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "ui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationDisplayName(QStringLiteral("Test Program"));
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace
