// The calibration window over the main window: opened by its button on page «Датчик», Enter waits
// for the level to settle and shows why it waits, a silent sensor pauses it, edits and exports go
// to disk, and a bad file changes nothing.
#include "ui/calibration_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QTableWidget>
#include <QTimer>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>

#include "cli/cli_tool.h"
#include "ui/calibration_report.h"
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
    static void press_ctrl(QWidget* target, Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QApplication::sendEvent(target, &press);
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
    EXPECT_EQ(table->item(0, 0)->text(), "0");  // the empty tank comes first
    EXPECT_EQ(table->item(0, 1)->text(), "120");
    EXPECT_TRUE(text_of("wait").contains("Следующая точка: 20 л"));
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
    EXPECT_EQ(table->item(0, 0)->text(), "0");
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
    EXPECT_NE(text.find("12,5;101,5;\r\n"), std::string::npos) << text;

    f.dialogs.files.push_back(csv);
    part<QAbstractButton>("load")->click();
    ASSERT_EQ(f.dialogs.files_asked.size(), 2u);
    EXPECT_FALSE(f.dialogs.files_asked[1].saving);
    EXPECT_TRUE(f.dialogs.messages.empty());
    EXPECT_NE(calibration.calibration().file(), csv);  // goes on in a session file of its own
    EXPECT_EQ(part<QLineEdit>("portion")->text(), "12,5");
    EXPECT_EQ(part<QTableWidget>("points")->rowCount(), 1);
}

// An installer's run through the window: the empty tank first, a delete asked and refused, then
// done and taken back with Ctrl+Z, a re-measure asked, a volume edit that moves the later points,
// an export of a marked table asked; the window's boxes carry the program's title.
TEST_F(CalibrationWindowTest, ChangesAreAskedUndoneAndShifted) {
    calibration.show();
    start();
    EXPECT_TRUE(text_of("wait").contains("Первая точка: 0 л"));
    for (int level : {10, 100, 190}) {
        reading(level);
        part<QAbstractButton>("record_now")->click();
    }
    auto* table = part<QTableWidget>("points");
    ASSERT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 0)->text(), "0");
    using Table = std::vector<calibration::Point>;
    auto points = [this] { return calibration.calibration().session().points(); };

    table->selectRow(1);
    f.dialogs.answers = {false, true};
    part<QAbstractButton>("delete")->click();
    EXPECT_EQ(points().size(), 3u);
    table->selectRow(1);
    part<QAbstractButton>("delete")->click();
    EXPECT_EQ(points(), (Table{{0, 10}, {40, 190}}));
    ASSERT_EQ(f.dialogs.questions.size(), 2u);
    EXPECT_EQ(f.dialogs.questions[0], "Удалить точку 20 л (уровень 100)? Это можно отменить.");
    press_ctrl(table, Qt::Key_Z);
    EXPECT_EQ(points(), (Table{{0, 10}, {20, 100}, {40, 190}}));
    press_ctrl(table, Qt::Key_Y);
    EXPECT_EQ(points().size(), 2u);
    part<QAbstractButton>("undo")->click();
    EXPECT_EQ(points().size(), 3u);

    table->selectRow(0);
    f.dialogs.answers = {false};
    part<QAbstractButton>("remeasure")->click();
    EXPECT_FALSE(calibration.calibration().waiting());
    EXPECT_NE(f.dialogs.questions.back().find("Перемерить точку 0 л?"), std::string::npos);

    // 20 l was really 15 l poured: the later points follow when the installer says so.
    f.dialogs.answers = {true};
    table->item(1, 0)->setText("15");
    QApplication::processEvents();
    EXPECT_EQ(points(), (Table{{0, 10}, {15, 100}, {35, 190}}));
    EXPECT_EQ(f.dialogs.questions.back(),
              "Сдвинуть объёмы следующих точек на -5 л? Они считались от этой точки.");

    // A falling level: the export asks first, and a No writes nothing.
    ASSERT_FALSE(calibration.calibration().edit(2, {35, 50}));
    const auto csv = f.folder.path() / "marked.csv";
    f.dialogs.answers = {false};
    calibration.export_to(csv);
    EXPECT_FALSE(std::filesystem::exists(csv));
    f.dialogs.answers = {true};
    calibration.export_to(csv);
    EXPECT_NE(read_all(csv).find("35;50;уровень упал"), std::string::npos);
    EXPECT_TRUE(text_of("note").contains("Таблица сохранена"));
    calibration.load_from(csv);
    EXPECT_EQ(text_of("note"), "");  // the message about the other file is gone

    // For the platform: the chosen order and separator; the falling point is refused, named.
    const auto platform = f.folder.path() / "platform.csv";
    calibration.export_platform_to(platform);
    EXPECT_NE(f.dialogs.texts().back().find("Точка 35 л: уровень 50 не выше"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(platform));
    calibration.calibration().edit(2, {35, 190});
    part<QComboBox>("platform_format")->setCurrentIndex(3);  // litres, level
    calibration.export_platform_to(platform);
    EXPECT_EQ(read_all(platform), "0,10\r\n15,100\r\n35,190\r\n");

    // The report: the fields typed go into the session (and its file), the PDF is written whole.
    part<QLineEdit>("vehicle")->setText("А123ВС 77, левый бак");
    part<QLineEdit>("installer")->setText("Петров");
    const auto pdf = f.folder.path() / "отчёт.pdf";
    calibration.report_to(pdf);
    EXPECT_EQ(read_all(pdf).substr(0, 5), "%PDF-");
    EXPECT_EQ(calibration::load_file(calibration.calibration().file()).session->info().installer,
              "Петров");

    calibration.load_from(f.folder.path() / "нет.csv");
    ASSERT_FALSE(f.dialogs.messages.empty());
    EXPECT_EQ(f.dialogs.messages.back().title, "Конфигуратор Velkon");
    for (const auto& title : f.dialogs.question_titles) EXPECT_EQ(title, "Конфигуратор Velkon");
}

// The report handed over from the window and the one velkon-cli makes later from the session
// file are the same document: every field the report shows survives the session file. Only the
// moment of drawing differs.
TEST_F(CalibrationWindowTest, TheWindowsReportIsTheCommandLinesFromItsSessionFile) {
    calibration.show();
    part<QLineEdit>("tank")->setText("200");
    part<QLineEdit>("vehicle")->setText("А123ВС 77, левый бак");
    part<QLineEdit>("installer")->setText("Петров");
    part<QLineEdit>("notes")->setText("лежачий цилиндр");
    start();
    for (int level : {10, 100, 90, 250}) {
        reading(level);
        calibration.record_now();
    }
    const auto from_window = f.folder.path() / "окно.pdf";
    calibration.report_to(from_window);
    ASSERT_TRUE(f.dialogs.messages.empty()) << f.dialogs.texts().back();

    const auto from_cli = f.folder.path() / "cli.pdf";
    std::ostringstream out, err;
    FakeLister no_ports;
    cli::CliTool tool({[] { return make_serial_port(); }, no_ports, out, err,
                       std::chrono::milliseconds(0), ui::write_report_pdf});
    ASSERT_EQ(tool.run({"tank", "report", calibration.calibration().file().string(), "-o",
                        from_cli.string()}),
              0)
        << err.str();
    auto undated = [this](const std::filesystem::path& pdf) {
        static const std::regex date("/CreationDate \\(D:[0-9]+Z?\\)");
        return std::regex_replace(read_all(pdf), date, "/CreationDate ()");
    };
    const std::string window_text = undated(from_window);
    ASSERT_GT(window_text.size(), 1000u);
    EXPECT_TRUE(window_text == undated(from_cli)) << "the two reports differ";
}

}  // namespace
}  // namespace velkon::testing
