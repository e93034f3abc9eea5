// One QApplication for the whole test program, on the offscreen platform, with the program's
// own style and font.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <memory>

#include "ui/app_look.h"

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        app_ = std::make_unique<QApplication>(argc_, argv_);
        velkon::ui::apply_application_look(*app_);
    }
    void TearDown() override { app_.reset(); }

  private:
    int argc_ = 1;
    char name_[16] = "velkon-tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
