// The Qt calibration window's wiring: opened by its button on page «Датчик»; its widgets' events
// reach the presenter (fields typed and left, buttons, Enter and Ctrl+Z outside the fields, rows
// chosen, cells typed over, the platform's format) and the presenter's view reaches the widgets.
// What the window does is the presenter's, tested in tests/calibration.
#include "ui/calibration_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTimer>
#include <fstream>
#include <iterator>
#include <sstream>

#include "calibration/session_file.h"
#include "cli/cli_tool.h"
#include "ui/window_fixture.h"

namespace velkon::testing {
namespace {

namespace cal = velkon::calibration;

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
    const cal::CalibrationView& view() { return calibration.presenter().view(); }
    // The main window shows a reading; the calibration window's timer takes a look.
    void reading(int level) {
        f.model.set_text(ctl::uroven, std::to_string(level));
        ++f.model.vars.levels_shown;
        f.clock.since_start += std::chrono::milliseconds(500);
        calibration.presenter().sample();
    }
    void start(const char* portion = "20") {
        part<QLineEdit>("portion")->setText(portion);
        part<QAbstractButton>("start")->click();
        ASSERT_TRUE(view().active) << f.dialogs.texts().size();
    }
    void record_at(int level) {
        reading(level);
        part<QAbstractButton>("record_now")->click();
    }
    std::string read_all(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    ui::CalibrationWindow calibration{f.model, {f.dialogs, f.clock, f.folder.path(), ","}, &window};
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

// The labels, the buttons and the table show the view: the separator handed over, the rows
// with their marks, the chosen row, the note and which buttons can work.
TEST_F(CalibrationWindowTest, TheViewReachesTheWidgets) {
    calibration.show();
    EXPECT_EQ(calibration.presenter().decimal(), ',');
    EXPECT_FALSE(part<QAbstractButton>("export")->isEnabled());
    start("12,5");
    EXPECT_EQ(text_of("file").toStdString(), view().file);
    for (int level : {10, 100, 50}) record_at(level);
    auto* table = part<QTableWidget>("points");
    ASSERT_EQ(table->rowCount(), 3);
    for (int row = 0; row < 3; ++row) {
        const cal::TableRow& shown = view().rows[row];
        EXPECT_EQ(table->item(row, 0)->text().toStdString(), shown.volume);
        EXPECT_EQ(table->item(row, 1)->text().toStdString(), shown.level);
        EXPECT_EQ(table->item(row, 2)->text().toStdString(), shown.check);
        EXPECT_EQ(table->item(row, 0)->toolTip().toStdString(), shown.tip);
        EXPECT_EQ(table->item(row, 0)->background().color() == QColor(255, 220, 220), shown.marked);
    }
    EXPECT_EQ(table->item(1, 0)->text(), "12,5");
    EXPECT_EQ(table->item(2, 2)->text(), "уровень упал");
    EXPECT_EQ(table->selectionModel()->selectedRows().front().row(), 2);  // recorded last
    EXPECT_TRUE(part<QAbstractButton>("export")->isEnabled());
    EXPECT_TRUE(part<QAbstractButton>("delete")->isEnabled());
    EXPECT_EQ(text_of("wait").toStdString(), view().wait);
    EXPECT_EQ(text_of("live"), "Уровень 50 (шкала 0…1023)");
    // The pictures draw what the presenter lays out (and survive it).
    EXPECT_FALSE(part<QWidget>("plot")->grab().isNull());
    EXPECT_FALSE(part<QWidget>("strip")->grab().isNull());

    // A row chosen in the table is the presenter's, with its note under the table.
    table->selectRow(2);
    EXPECT_EQ(view().selected, 2u);
    EXPECT_EQ(text_of("note").toStdString(), view().note);
    EXPECT_NE(text_of("note"), "");
    table->clearSelection();
    EXPECT_EQ(view().selected, std::nullopt);
    EXPECT_FALSE(part<QAbstractButton>("delete")->isEnabled());
}

// Fields typed and left, buttons, keys, cells and the format choice go to the presenter.
TEST_F(CalibrationWindowTest, TheWidgetsEventsReachThePresenter) {
    calibration.show();
    part<QLineEdit>("tank")->setText("200");
    start();
    EXPECT_EQ(calibration.presenter().calibration().session().info().tank_volume, 200.0);

    // Enter in a field confirms the field; elsewhere it starts the wait, Ctrl+Z/Ctrl+Y undo and
    // redo.
    record_at(10);
    auto* portion = part<QLineEdit>("portion");
    portion->setFocus();
    portion->setText("много");
    press_key(portion, Qt::Key_Return);
    EXPECT_FALSE(view().waiting);
    ASSERT_EQ(f.dialogs.texts().size(), 1u);
    EXPECT_EQ(f.dialogs.texts()[0], "Введите порцию в литрах, например 20.");
    EXPECT_EQ(portion->text(), "20");  // back to the portion in force
    auto* table = part<QTableWidget>("points");
    table->setFocus();
    press_key(table, Qt::Key_Return);
    EXPECT_TRUE(view().waiting);
    EXPECT_EQ(part<QAbstractButton>("record")->text(), "Отменить ожидание");
    part<QAbstractButton>("record")->click();
    EXPECT_FALSE(view().waiting);
    record_at(100);
    press_ctrl(table, Qt::Key_Z);
    EXPECT_EQ(view().rows.size(), 1u);
    press_ctrl(table, Qt::Key_Y);
    EXPECT_EQ(view().rows.size(), 2u);

    // A cell typed over goes to disk; a text that is no number is refused and the cell shows
    // the point as it was.
    table->item(0, 1)->setText("123,5");
    QApplication::processEvents();
    const auto on_disk = cal::load_file(calibration.presenter().calibration().file());
    ASSERT_TRUE(on_disk.session) << on_disk.error;
    EXPECT_EQ(on_disk.session->points()[0].level, 123.5);
    table->item(0, 0)->setText("двадцать");
    QApplication::processEvents();
    EXPECT_EQ(f.dialogs.texts().back(), "Введите число, например 12,5.");
    EXPECT_EQ(table->item(0, 0)->text(), "0");

    table->selectRow(1);
    f.dialogs.answers = {true};
    part<QAbstractButton>("delete")->click();
    EXPECT_EQ(view().rows.size(), 1u);

    part<QDoubleSpinBox>("settle_seconds")->setValue(5);
    part<QDoubleSpinBox>("settle_band")->setValue(1.5);
    const cal::SettlingRule rule = calibration.presenter().calibration().session().info().rule;
    EXPECT_EQ(rule, (cal::SettlingRule{5, 1.5}));

    part<QComboBox>("platform_format")->setCurrentIndex(3);
    EXPECT_EQ(view().platform_choice, 3u);
    const auto csv = f.folder.path() / "таблица.csv";
    f.dialogs.files = {csv};
    part<QAbstractButton>("export")->click();
    ASSERT_EQ(f.dialogs.files_asked.size(), 1u);
    EXPECT_EQ(f.dialogs.files_asked[0].title, "Экспорт таблицы в CSV");
    EXPECT_TRUE(std::filesystem::exists(csv));
    EXPECT_EQ(text_of("note").toStdString(), view().note);

    // The report's fields go into the session when confirmed.
    auto* installer = part<QLineEdit>("installer");
    installer->setText("Петров");
    press_key(installer, Qt::Key_Return);
    const auto file = calibration.presenter().calibration().file();
    EXPECT_EQ(cal::load_file(file).session->info().installer, "Петров");

    // A loaded session's set-up comes back into the fields.
    const auto saved = f.folder.path() / "saved.tarirovka";
    std::filesystem::copy_file(file, saved);
    installer->setText("");
    part<QDoubleSpinBox>("settle_seconds")->setValue(7);
    calibration.presenter().load_from(saved);
    EXPECT_EQ(installer->text(), "Петров");
    EXPECT_EQ(part<QDoubleSpinBox>("settle_seconds")->value(), 5);
    EXPECT_EQ(part<QLineEdit>("tank")->text(), "200");
}

// The report handed over from the window and the one velkon-cli makes later from the session
// file are the same document: every field the report shows survives the session file.
TEST_F(CalibrationWindowTest, TheWindowsReportIsTheCommandLinesFromItsSessionFile) {
    calibration.show();
    part<QLineEdit>("tank")->setText("200");
    part<QLineEdit>("vehicle")->setText("А123ВС 77, левый бак");
    part<QLineEdit>("installer")->setText("Петров");
    part<QLineEdit>("notes")->setText("лежачий цилиндр");
    start();
    for (int level : {10, 100, 90, 250}) record_at(level);
    const auto from_window = f.folder.path() / "окно.pdf";
    f.dialogs.files = {from_window};
    part<QAbstractButton>("report")->click();
    ASSERT_TRUE(f.dialogs.messages.empty()) << f.dialogs.texts().back();

    const auto from_cli = f.folder.path() / "cli.pdf";
    std::ostringstream out, err;
    FakeLister no_ports;
    cli::CliTool tool(
        {[] { return make_serial_port(); }, no_ports, out, err, std::chrono::milliseconds(0)});
    ASSERT_EQ(tool.run({"tank", "report", calibration.presenter().calibration().file().string(),
                        "-o", from_cli.string()}),
              0)
        << err.str();
    // One writer, and no moment of writing in the file: the same bytes.
    const std::string window_bytes = read_all(from_window);
    ASSERT_GT(window_bytes.size(), 1000u);
    EXPECT_TRUE(window_bytes == read_all(from_cli)) << "the two reports differ";
}

}  // namespace
}  // namespace velkon::testing
