// One QApplication for the whole test program, made on the main thread before the first test.
#include "test_application.h"

#include <gtest/gtest.h>

#include <QApplication>

namespace {

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        gui::testApplication();
        QApplication::setApplicationDisplayName(QStringLiteral("Test Program"));
    }
};

const auto* const environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

} // namespace
