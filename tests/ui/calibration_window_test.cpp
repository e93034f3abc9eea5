// The calibration window over the main window: opened by its button on page «Датчик», Enter waits
// for the level to settle and shows why it waits, a silent sensor pauses it, edits and exports go
// to disk, and a bad file changes nothing.
#include "ui/calibration_window.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTableWidget>
#include <QTimer>
#include <fstream>
#include <iterator>

#include "ui/window_fixture.h"

namespace velkon::testing {
namespace {

class CalibrationWindowTest : public WindowTest {
  protected:
    CalibrationWindowTest() {
        f.app.on_calibration = [this] { calibration.open(); };
    }
    template <typename W>
    W* part(const char* name) {
        auto* w = calibration.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QString text_of(const char* label) { return part<QLabel>(label)->text(); }
    // The main window shows a reading (or silence); the calibration window takes a look.
    void reading(std::optional<int> level) {
        f.model.vars.no_data = !level;
        if (level) {
            f.model.set_text(ctl::uroven, std::to_string(*level));
            ++f.model.vars.levels_shown;
        }
        now += 500;
        calibration.sample();
    }
    void start(const char* portion = "20") {
        part<QLineEdit>("portion")->setText(portion);
        part<QAbstractButton>("start")->click();
        ASSERT_TRUE(calibration.calibration().active()) << f.dialogs.texts().size();
    }
    std::string read_all(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::int64_t now = 0;
    ui::CalibrationWindow calibration{
        f.model, {f.dialogs, f.clock, f.folder.path(), [this] { return now; }}, &window};
};

TEST_F(CalibrationWindowTest, ItsButtonOnPageSensorOpensItOverTheWindowWhileTheExchangeRuns) {
    open_link();
    ASSERT_EQ(f.model.tab(), 0);
    auto* button = widget<QAbstractButton>(ctl::tarirovka);
    ASSERT_TRUE(button->isVisible());
    ASSERT_TRUE(button->isEnabled());
    button->click();
    EXPECT_TRUE(calibration.isVisible());
    EXPECT_EQ(calibration.windowModality(), Qt::WindowModal);
    EXPECT_EQ(calibration.parentWidget(), &window);
    EXPECT_EQ(f.model.tab(), 0);
    EXPECT_TRUE(window.timer(ctl::TMRComm)->isActive());
}

TEST_F(CalibrationWindowTest, EnterWaitsForSettlingShowingCountdownAndSpread) {
    calibration.show();
    start();
    for (int i = 0; i < 4; ++i) reading(100);
    auto* table = part<QTableWidget>("points");
    table->setFocus();
    press_key(table, Qt::Key_Return);
    ASSERT_TRUE(calibration.calibration().waiting());
    reading(130);
    reading(112);
    EXPECT_TRUE(text_of("wait").contains("осталось 10 с")) << text_of("wait").toStdString();
    EXPECT_TRUE(text_of("wait").contains("разброс ±9")) << text_of("wait").toStdString();

    reading(std::nullopt);
    EXPECT_EQ(text_of("live"), "Пауза: Датчик не отвечает");
    EXPECT_FALSE(part<QAbstractButton>("record_now")->isEnabled());

    for (int i = 0; i < 20; ++i) {
        reading(120);
        ASSERT_EQ(table->rowCount(), 0) << "recorded early, at reading " << i;
    }
    reading(121);
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(table->item(0, 0)->text(), "20");
    EXPECT_EQ(table->item(0, 1)->text(), "120");
    EXPECT_TRUE(text_of("wait").contains("Следующая точка: 40 л"));
}

TEST_F(CalibrationWindowTest, EditsGoToDiskAndAWrongNumberIsRefused) {
    calibration.show();
    start();
    reading(100);
    part<QAbstractButton>("record_now")->click();
    auto* table = part<QTableWidget>("points");
    ASSERT_EQ(table->rowCount(), 1);

    table->item(0, 1)->setText("123,5");
    QApplication::processEvents();
    const auto on_disk = calibration::load_file(calibration.calibration().file());
    ASSERT_TRUE(on_disk.session) << on_disk.error;
    EXPECT_EQ(on_disk.session->points()[0].level, 123.5);

    table->item(0, 0)->setText("двадцать");
    QApplication::processEvents();
    ASSERT_EQ(f.dialogs.texts().size(), 1u);
    EXPECT_EQ(f.dialogs.texts()[0], "Введите число, например 12,5.");
    EXPECT_EQ(table->item(0, 0)->text(), "20");
}

TEST_F(CalibrationWindowTest, ADamagedFileChangesNothingAndSaysWhy) {
    calibration.show();
    start();
    reading(100);
    calibration.record_now();
    const auto file = calibration.calibration().file();
    const std::string before = read_all(file);

    const auto bad = f.folder.path() / "bad.csv";
    std::ofstream(bad) << "Объём, л;Уровень\n10;сто\n";
    calibration.load_from(bad);
    ASSERT_EQ(f.dialogs.texts().size(), 1u);
    EXPECT_NE(f.dialogs.texts()[0].find("неверная точка (строка 2)"), std::string::npos);
    EXPECT_EQ(calibration.calibration().file(), file);
    EXPECT_EQ(part<QTableWidget>("points")->rowCount(), 1);
    EXPECT_EQ(read_all(file), before);
}

TEST_F(CalibrationWindowTest, ExportWritesTheLocaleSeparatorAndLoadsBack) {
    struct RussianLocale {
        QLocale saved;
        RussianLocale() { QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia)); }
        ~RussianLocale() { QLocale::setDefault(saved); }
    } russian;
    calibration.show();
    start("12,5");
    reading(100);
    calibration.record_now();
    calibration.calibration().edit(0, {12.5, 101.5});
    // The buttons ask through the program's file boxes (Russian, the seam tests script).
    const auto csv = f.folder.path() / "таблица.csv";
    f.dialogs.files.push_back(csv);
    part<QAbstractButton>("export")->click();
    ASSERT_EQ(f.dialogs.files_asked.size(), 1u);
    EXPECT_TRUE(f.dialogs.files_asked[0].saving);
    EXPECT_EQ(f.dialogs.files_asked[0].title, "Экспорт таблицы в CSV");
    EXPECT_TRUE(f.dialogs.messages.empty());
    const std::string text = read_all(csv);
    EXPECT_NE(text.find("Порция, л;12,5\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("12,5;101,5\r\n"), std::string::npos) << text;

    f.dialogs.files.push_back(csv);
    part<QAbstractButton>("load")->click();
    ASSERT_EQ(f.dialogs.files_asked.size(), 2u);
    EXPECT_FALSE(f.dialogs.files_asked[1].saving);
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_NE(calibration.calibration().file(), csv);  // goes on in a session file of its own
    EXPECT_EQ(part<QLineEdit>("portion")->text(), "12,5");
    EXPECT_EQ(part<QTableWidget>("points")->rowCount(), 1);
}

}  // namespace
}  // namespace velkon::testing
