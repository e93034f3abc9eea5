// The calibration window's behaviour without a window: the presenter fed as the Qt and the Win32
// window feed it (texts typed, fields left, buttons, Enter, rows chosen, cells typed over), with
// scripted dialogs, a fixed clock and a temporary program folder, checked through the view state
// both windows show.
#include "calibration/calibration_presenter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "calibration/session_file.h"
#include "files/file_error.h"
#include "support/stand_ins.h"

namespace velkon::calibration {
namespace {

using Table = std::vector<Point>;

struct Rig : testing::StandIns {
    explicit Rig(std::string decimal = ".")
        : presenter(model, {dialogs, clock, folder.path(), std::move(decimal)},
                    [this](const Session& s, const std::filesystem::path& path) {
                        reported.push_back(s);
                        std::ofstream(path) << "%PDF-";
                        return std::optional<std::string>();
                    }) {
        model.vars.Ur_progressBar = 1024;
    }

    CalibrationPresenter presenter;
    std::vector<Session> reported;  // what the report writer was given

    const CalibrationView& view() const { return presenter.view(); }
    const Table& points() { return presenter.calibration().session().points(); }
    // The main window shows `level` (nothing: the sensor is silent), half a second after the
    // window's last look; the window takes a look.
    void reading(std::optional<int> level) {
        model.vars.no_data = !level;
        if (level) {
            model.set_text(ctl::uroven, std::to_string(*level));
            ++model.vars.levels_shown;
        }
        clock.since_start += std::chrono::milliseconds(500);
        presenter.sample();
    }
    void start(const char* portion = "20") {
        presenter.type(Field::Portion, portion);
        presenter.click(Button::Start);
        ASSERT_TRUE(view().active) << (dialogs.messages.empty() ? "" : dialogs.texts().back());
    }
    void start_with(std::initializer_list<int> levels) {
        ASSERT_NO_FATAL_FAILURE(start());
        for (int level : levels) {
            reading(level);
            presenter.click(Button::RecordNow);
        }
    }
    std::vector<std::string> column(Column c) const {
        std::vector<std::string> out;
        for (const TableRow& row : view().rows)
            out.push_back(c == Column::Volume  ? row.volume
                          : c == Column::Level ? row.level
                                               : row.check);
        return out;
    }
    static std::string read_all(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(CalibrationPresenter, EnterWaitsForSettlingShowingCountdownAndSpread) {
    Rig r;
    ASSERT_NO_FATAL_FAILURE(r.start());
    EXPECT_TRUE(contains(r.view().wait, "Первая точка: 0 л")) << r.view().wait;
    for (int i = 0; i < 4; ++i) r.reading(100);
    r.presenter.enter();
    ASSERT_TRUE(r.view().waiting);
    EXPECT_EQ(r.view().record, "Отменить ожидание");
    r.presenter.enter();  // Enter again does not cancel the wait
    ASSERT_TRUE(r.view().waiting);
    r.reading(130);
    r.reading(112);
    EXPECT_TRUE(contains(r.view().wait, "осталось 10 с")) << r.view().wait;
    EXPECT_TRUE(contains(r.view().wait, "разброс ±9")) << r.view().wait;

    r.reading(std::nullopt);
    EXPECT_EQ(r.view().live, "Пауза: Датчик не отвечает");
    EXPECT_FALSE(r.view().can(Button::RecordNow));
    EXPECT_TRUE(r.view().can(Button::Record));

    for (int i = 0; i < 20; ++i) {
        r.reading(120);
        ASSERT_TRUE(r.view().rows.empty()) << "recorded early, at reading " << i;
    }
    r.reading(121);
    ASSERT_EQ(r.view().rows.size(), 1u);
    EXPECT_EQ(r.view().rows[0].volume, "0");  // the empty tank comes first
    EXPECT_EQ(r.view().rows[0].level, "120");
    EXPECT_EQ(r.view().selected, 0u);
    EXPECT_FALSE(r.view().waiting);
    EXPECT_EQ(r.view().record, "Записать точку");
    EXPECT_TRUE(contains(r.view().wait, "Следующая точка: 20 л")) << r.view().wait;
    EXPECT_TRUE(r.dialogs.messages.empty());
}

// What can be done is what the buttons offer: nothing about a table before a session, the point
// buttons only with a row chosen, the platform's table from two points on.
TEST(CalibrationPresenter, TheButtonsFollowTheSessionTheTableAndTheChosenRow) {
    using B = Button;
    const struct {
        const char* when;
        std::function<void(Rig&)> act;
        std::vector<B> enabled;
    } cases[] = {
        {"no session", [](Rig&) {}, {B::Start, B::Load}},
        {"a session, no reading yet", [](Rig& r) { r.start(); }, {B::Start, B::Load, B::Record}},
        {"a reading",
         [](Rig& r) {
             r.start();
             r.reading(10);
         },
         {B::Start, B::Load, B::Record, B::RecordNow}},
        {"one point",
         [](Rig& r) { r.start_with({10}); },
         {B::Start, B::Load, B::Export, B::Report, B::Record, B::RecordNow, B::Remeasure, B::Edit,
          B::Delete, B::Undo}},
        {"two points, none chosen",
         [](Rig& r) {
             r.start_with({10, 20});
             r.presenter.select(std::nullopt);
         },
         {B::Start, B::Load, B::Export, B::Platform, B::Report, B::Record, B::RecordNow, B::Undo}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        Rig r;
        c.act(r);
        for (std::size_t b = 0; b < kButtonCount; ++b) {
            const bool expected =
                std::find(c.enabled.begin(), c.enabled.end(), Button(b)) != c.enabled.end();
            EXPECT_EQ(r.view().enabled[b], expected) << button_text(Button(b)).caption;
        }
    }
}

// The user's decimal separator, handed over once, is the one of every number the window shows,
// asks about and writes; "." when the user's is no single plain character.
TEST(CalibrationPresenter, NumbersAreShownAskedAndWrittenWithTheUsersSeparator) {
    const struct {
        std::string users;
        std::string point, question, csv_portion, csv_point, axis;
    } cases[] = {
        {",", "12,5", "Удалить точку 12,5 л (уровень 101,5)? Это можно отменить.",
         "Порция, л;12,5\r\n", "12,5;101,5;\r\n", "0,5"},
        {".", "12.5", "Удалить точку 12.5 л (уровень 101.5)? Это можно отменить.",
         "Порция, л;12.5\r\n", "12.5;101.5;\r\n", "0.5"},
        {"٫", "12.5", "Удалить точку 12.5 л (уровень 101.5)? Это можно отменить.",
         "Порция, л;12.5\r\n", "12.5;101.5;\r\n", "0.5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.users);
        Rig r(c.users);
        ASSERT_NO_FATAL_FAILURE(r.start("12,5"));
        r.reading(100);
        r.presenter.click(Button::RecordNow);
        r.presenter.edit_cell(0, Column::Volume, "12,5");
        r.presenter.edit_cell(0, Column::Level, "101.5");
        ASSERT_TRUE(r.dialogs.messages.empty()) << r.dialogs.texts().back();
        EXPECT_EQ(r.column(Column::Volume), std::vector<std::string>{c.point});
        EXPECT_TRUE(contains(r.view().wait, "Следующая точка: 25 л")) << r.view().wait;

        const auto csv = r.folder.path() / "таблица.csv";
        r.dialogs.files = {csv};
        r.presenter.click(Button::Export);
        ASSERT_EQ(r.dialogs.files_asked.size(), 1u);
        EXPECT_TRUE(r.dialogs.files_asked[0].saving);
        EXPECT_EQ(r.dialogs.files_asked[0].title, "Экспорт таблицы в CSV");
        const std::string text = Rig::read_all(csv);
        EXPECT_TRUE(contains(text, c.csv_portion)) << text;
        EXPECT_TRUE(contains(text, c.csv_point)) << text;

        // Loaded back: the form shows the portion as the user writes it, the session goes on in
        // a file of its own.
        r.presenter.type(Field::Portion, "");
        r.dialogs.files = {csv};
        r.presenter.click(Button::Load);
        ASSERT_EQ(r.dialogs.files_asked.size(), 2u);
        EXPECT_FALSE(r.dialogs.files_asked[1].saving);
        EXPECT_TRUE(r.dialogs.messages.empty());
        EXPECT_NE(r.presenter.calibration().file(), csv);
        EXPECT_EQ(r.view().field(Field::Portion), c.point);
        EXPECT_EQ(r.view().rows.size(), 1u);

        r.presenter.select(0);
        r.dialogs.answers = {false};
        r.presenter.click(Button::Delete);
        ASSERT_EQ(r.dialogs.questions.size(), 1u);
        EXPECT_EQ(r.dialogs.questions[0], c.question);

        // The plot's numbers too: a point at 2 l makes the volume axis count halves.
        r.presenter.edit_cell(0, Column::Volume, "2");
        bool axis_seen = false;
        for (const auto& shape : r.presenter.plot(420, 292))
            if (const auto* label = std::get_if<chart::Label>(&shape))
                axis_seen = axis_seen || label->text == c.axis;
        EXPECT_TRUE(axis_seen);
    }
}

TEST(CalibrationPresenter, ADamagedFileChangesNothingAndSaysWhy) {
    Rig r;
    ASSERT_NO_FATAL_FAILURE(r.start_with({100}));
    const auto file = r.presenter.calibration().file();
    const std::string before = Rig::read_all(file);

    const auto bad = r.folder.path() / "bad.csv";
    std::ofstream(bad) << "Объём, л;Уровень\n10;сто\n";
    r.presenter.load_from(bad);
    ASSERT_EQ(r.dialogs.messages.size(), 1u);
    EXPECT_TRUE(contains(r.dialogs.messages[0].text, "неверная точка (строка 2)"));
    EXPECT_EQ(r.dialogs.messages[0].title, kWindowTitle);
    EXPECT_EQ(r.presenter.calibration().file(), file);
    EXPECT_EQ(r.view().rows.size(), 1u);
    EXPECT_EQ(Rig::read_all(file), before);
}

// A delete or a re-measure refused keeps the point; records and deletes are undone and redone,
// the buttons enabled only when there is something to take back; every box carries the
// program's title.
TEST(CalibrationPresenter, DeletesAreAskedAndChangesAreUndoneAndRedone) {
    Rig r;
    ASSERT_NO_FATAL_FAILURE(r.start_with({10, 100, 190}));
    ASSERT_EQ(r.points(), (Table{{0, 10}, {20, 100}, {40, 190}}));

    r.presenter.select(1);
    r.dialogs.answers = {false};
    r.presenter.click(Button::Delete);
    EXPECT_EQ(r.points().size(), 3u);
    ASSERT_EQ(r.dialogs.questions.size(), 1u);
    EXPECT_EQ(r.dialogs.questions[0], "Удалить точку 20 л (уровень 100)? Это можно отменить.");
    r.dialogs.answers = {true};
    r.presenter.click(Button::Delete);
    ASSERT_EQ(r.points(), (Table{{0, 10}, {40, 190}}));
    EXPECT_EQ(r.view().rows.size(), 2u);

    r.presenter.select(0);
    r.dialogs.answers = {false};
    r.presenter.click(Button::Remeasure);
    EXPECT_FALSE(r.view().waiting);
    EXPECT_EQ(r.dialogs.questions.back(),
              "Перемерить точку 0 л? Её уровень 10 заменит новый замер (это можно отменить).");
    r.dialogs.answers = {true};
    r.presenter.click(Button::Remeasure);
    EXPECT_TRUE(contains(r.view().wait, "Перемер точки 0 л")) << r.view().wait;
    r.presenter.click(Button::Record);  // cancels the wait
    EXPECT_FALSE(r.view().waiting);

    const struct {
        const char* how;
        Button button;
        std::size_t points;
        bool undo, redo;
    } steps[] = {
        {"takes the delete back", Button::Undo, 3, true, true},
        {"takes the last record back", Button::Undo, 2, true, true},
        {"records it again", Button::Redo, 3, true, true},
        {"deletes again", Button::Redo, 2, true, false},
        {"nothing left to redo", Button::Redo, 2, true, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.how);
        r.presenter.click(step.button);
        EXPECT_EQ(r.points().size(), step.points);
        EXPECT_EQ(r.view().rows.size(), step.points);
        EXPECT_EQ(r.view().can(Button::Undo), step.undo);
        EXPECT_EQ(r.view().can(Button::Redo), step.redo);
    }
    for (const auto& title : r.dialogs.question_titles) EXPECT_EQ(title, kWindowTitle);
    EXPECT_TRUE(r.dialogs.messages.empty());
}

// A point typed anew, in a cell or in the edit boxes: a volume that moved moves the later ones
// when the installer agrees; a text that is no number is refused, said after the table shows
// the cell as it was.
TEST(CalibrationPresenter, EditsGoToDiskShiftLaterVolumesAndRefuseWhatIsNoNumber) {
    Rig r;
    ASSERT_NO_FATAL_FAILURE(r.start_with({10, 100, 190}));

    r.presenter.edit_cell(0, Column::Level, "12,5");
    const Loaded on_disk = load_file(r.presenter.calibration().file());
    ASSERT_TRUE(on_disk.session) << on_disk.error;
    EXPECT_EQ(on_disk.session->points()[0].level, 12.5);
    EXPECT_EQ(r.view().selected, 0u);

    std::vector<std::string> shown_when_said;
    r.dialogs.while_open = [&](const std::string&) { shown_when_said = r.column(Column::Volume); };
    r.presenter.edit_cell(0, Column::Volume, "двадцать");
    EXPECT_EQ(r.dialogs.texts(), std::vector<std::string>{"Введите число, например 12,5."});
    EXPECT_EQ(shown_when_said, (std::vector<std::string>{"0", "20", "40"}));

    // 20 l was really 15 l poured: the cell's way and the edit boxes' way.
    r.dialogs.answers = {true};
    r.presenter.edit_cell(1, Column::Volume, "15");
    EXPECT_EQ(r.points(), (Table{{0, 12.5}, {15, 100}, {35, 190}}));
    EXPECT_EQ(r.dialogs.questions.back(),
              "Сдвинуть объёмы следующих точек на -5 л? Они считались от этой точки.");
    r.presenter.select(1);
    r.dialogs.inputs = {"18", "100"};
    r.dialogs.answers = {true};
    r.presenter.click(Button::Edit);
    EXPECT_EQ(r.points(), (Table{{0, 12.5}, {18, 100}, {38, 190}}));
    ASSERT_EQ(r.dialogs.inputs_asked.size(), 2u);
    EXPECT_EQ(r.dialogs.inputs_asked[0].initial, "15");
    EXPECT_EQ(r.dialogs.inputs_asked[1].initial, "100");
    EXPECT_EQ(r.dialogs.inputs_asked[0].title, "Изменить точку");

    // A box cancelled changes nothing; a level that is no number is refused.
    r.dialogs.inputs = {""};
    r.presenter.click(Button::Edit);
    r.dialogs.inputs = {"18", "сто"};
    r.presenter.click(Button::Edit);
    EXPECT_EQ(r.points(), (Table{{0, 12.5}, {18, 100}, {38, 190}}));
    EXPECT_EQ(r.dialogs.texts().back(), "Введите число, например 12,5.");
    r.presenter.select(std::nullopt);
    r.presenter.click(Button::Edit);
    EXPECT_EQ(r.dialogs.texts().back(), "Выберите в таблице точку, которую изменить.");
    EXPECT_TRUE(r.dialogs.answers.empty());
    EXPECT_TRUE(r.dialogs.inputs.empty());
}

// A marked table is exported only when confirmed, the note tells why a point is marked and what
// was written, and the platform's table comes in the order and separator chosen.
TEST(CalibrationPresenter, ExportsAskAboutMarksAndFollowTheChosenFormat) {
    Rig r;
    ASSERT_NO_FATAL_FAILURE(r.start_with({10, 100, 190}));
    const struct {
        std::size_t choice;
        const char* text;
    } formats[] = {{0, "10;0\r\n100;20\r\n190;40\r\n"},
                   {3, "0,10\r\n20,100\r\n40,190\r\n"},
                   {5, "0\t10\r\n20\t100\r\n40\t190\r\n"}};
    for (const auto& f : formats) {
        SCOPED_TRACE(f.choice);
        const auto path = r.folder.path() / ("platform" + std::to_string(f.choice) + ".csv");
        r.presenter.choose_platform(f.choice);
        EXPECT_EQ(r.view().platform_choice, f.choice);
        r.dialogs.files = {path};
        r.presenter.click(Button::Platform);
        EXPECT_TRUE(r.dialogs.messages.empty());
        EXPECT_EQ(Rig::read_all(path), f.text);
        EXPECT_EQ(r.view().note, "Таблица для платформы сохранена в «" + path_text(path) + "».");
    }
    EXPECT_EQ(r.dialogs.files_asked[0].title, "Таблица для платформы");

    // A falling level: marked, explained under the table, refused for the platform.
    ASSERT_FALSE(r.presenter.calibration().edit(2, {40, 50}));
    r.presenter.select(2);
    EXPECT_TRUE(r.view().rows[2].marked);
    EXPECT_EQ(r.view().rows[2].check, "уровень упал");
    EXPECT_EQ(r.view().note, point_note(r.presenter.calibration().session(), 2));
    EXPECT_EQ(r.view().rows[2].tip, r.view().note);
    EXPECT_NE(r.view().note, "");
    const auto platform = r.folder.path() / "refused.csv";
    r.presenter.export_platform_to(platform);
    EXPECT_TRUE(contains(r.dialogs.texts().back(), "Точка 40 л: уровень 50 не выше"));
    EXPECT_FALSE(std::filesystem::exists(platform));

    const auto csv = r.folder.path() / "marked.csv";
    r.dialogs.answers = {false};
    r.presenter.export_to(csv);
    EXPECT_FALSE(std::filesystem::exists(csv));
    r.dialogs.answers = {true};
    r.presenter.export_to(csv);
    EXPECT_TRUE(contains(Rig::read_all(csv), "40;50;уровень упал"));
    EXPECT_EQ(r.view().note, "Таблица сохранена в «" + path_text(csv) + "».");
    r.presenter.load_from(csv);
    EXPECT_EQ(r.view().note, "");  // the message about the other file is gone
    EXPECT_EQ(r.view().selected, std::nullopt);
}

// Vehicle, installer and notes go into the session file when the report is asked for or a field
// is left, and come back into the fields with the session.
TEST(CalibrationPresenter, TheReportsFieldsReachTheSessionFileAndComeBack) {
    Rig r;
    ASSERT_NO_FATAL_FAILURE(r.start_with({10}));
    r.presenter.type(Field::Vehicle, "А123ВС 77, левый бак");
    r.presenter.type(Field::Installer, "Петров");
    r.presenter.type(Field::Notes, "лежачий цилиндр");
    const auto pdf = r.folder.path() / "отчёт.pdf";
    r.dialogs.files = {pdf};
    r.presenter.click(Button::Report);
    ASSERT_EQ(r.dialogs.files_asked.size(), 1u);
    EXPECT_EQ(r.dialogs.files_asked[0].title, "Отчёт о тарировке");
    ASSERT_EQ(r.reported.size(), 1u);
    EXPECT_EQ(r.reported[0].info().installer, "Петров");
    EXPECT_EQ(r.view().note, "Отчёт сохранён в «" + path_text(pdf) + "».");
    const auto file = r.presenter.calibration().file();
    const Loaded saved = load_file(file);
    ASSERT_TRUE(saved.session) << saved.error;
    EXPECT_EQ(saved.session->info().vehicle, "А123ВС 77, левый бак");
    EXPECT_EQ(saved.session->info().notes, "лежачий цилиндр");

    // Leaving a field is enough; typing alone is not.
    r.presenter.type(Field::Installer, "Сидоров");
    EXPECT_EQ(load_file(file).session->info().installer, "Петров");
    r.presenter.leave(Field::Installer);
    EXPECT_EQ(load_file(file).session->info().installer, "Сидоров");

    for (Field f : {Field::Vehicle, Field::Installer, Field::Notes}) r.presenter.type(f, "");
    r.presenter.load_from(file);
    EXPECT_EQ(r.view().field(Field::Vehicle), "А123ВС 77, левый бак");
    EXPECT_EQ(r.view().field(Field::Installer), "Сидоров");
    EXPECT_EQ(r.view().field(Field::Notes), "лежачий цилиндр");
    EXPECT_TRUE(r.dialogs.messages.empty());
}

// A portion or a settling rule typed while a session runs takes effect when its field is left;
// a text that is none returns to the value in force, and the box says why.
TEST(CalibrationPresenter, FieldsLeftTakeEffectOrReturnToTheValueInForce) {
    const struct {
        const char* what;
        Field field;
        const char* typed;
        std::string field_after;  // the field's text once left
        std::string said;         // "" = nothing
    } cases[] = {
        {"a new portion", Field::Portion, "25", "25", ""},
        {"a portion that is no number", Field::Portion, "много", "20",
         "Введите порцию в литрах, например 20."},
        {"a portion of nothing", Field::Portion, "0", "20",
         "Порция не может быть нулём и больше 1000000 л по модулю (слив — со знаком минус)."},
        {"a new time", Field::SettleSeconds, "5", "5", ""},
        {"a time that is no number", Field::SettleSeconds, "долго", "10",
         "Введите время успокоения в секундах и допуск уровня."},
        {"a time too short", Field::SettleSeconds, "0,5", "10",
         "Время успокоения должно быть от 1 до 600 с."},
        {"a band too wide", Field::SettleBand, "2000", "2",
         "Допуск успокоения должен быть от 0 до 1000."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Rig r;
        ASSERT_NO_FATAL_FAILURE(r.start_with({10}));
        r.presenter.type(c.field, c.typed);
        EXPECT_TRUE(r.dialogs.messages.empty());
        r.presenter.leave(c.field);
        EXPECT_EQ(r.view().field(c.field), c.field_after);
        EXPECT_EQ(r.dialogs.messages.empty() ? "" : r.dialogs.texts().back(), c.said);
        const SessionInfo& info = r.presenter.calibration().session().info();
        const SessionInfo on_disk = load_file(r.presenter.calibration().file()).session->info();
        EXPECT_EQ(on_disk, info);
        EXPECT_EQ(format_number(c.field == Field::Portion         ? info.portion
                                : c.field == Field::SettleSeconds ? info.rule.seconds
                                                                  : info.rule.band),
                  c.field_after);
    }

    // A session is not started on a rule that is no number.
    Rig r;
    r.presenter.type(Field::SettleBand, "");
    r.presenter.click(Button::Start);
    EXPECT_FALSE(r.view().active);
    EXPECT_EQ(r.dialogs.texts(),
              std::vector<std::string>{"Введите время успокоения в секундах и допуск уровня."});
}

// The plot marks the points the checks mark and draws the chosen one larger; the strip keeps
// its line inside its frame and shows the band a wait allows while it lasts.
TEST(CalibrationPresenter, ThePicturesShowTheTableTheReadingsAndTheWait) {
    Rig r;
    const auto markers = [&r] {
        std::vector<chart::Marker> out;
        for (const auto& shape : r.presenter.plot(420, 292))
            if (const auto* m = std::get_if<chart::Marker>(&shape)) out.push_back(*m);
        return out;
    };
    const auto labels = [](const std::vector<chart::Shape>& shapes) {
        std::vector<std::string> out;
        for (const auto& shape : shapes)
            if (const auto* l = std::get_if<chart::Label>(&shape)) out.push_back(l->text);
        return out;
    };
    const auto empty = labels(r.presenter.plot(420, 292));
    EXPECT_NE(std::find(empty.begin(), empty.end(), "Точек пока нет"), empty.end());

    ASSERT_NO_FATAL_FAILURE(r.start_with({10, 100, 50}));
    r.presenter.select(1);
    const auto dots = markers();
    ASSERT_EQ(dots.size(), 3u);
    EXPECT_EQ(dots[0].fill, chart::kPointFill);
    EXPECT_EQ(dots[2].fill, chart::kMarkedFill);  // its level fell
    EXPECT_EQ(dots[0].radius, 4.0);
    EXPECT_EQ(dots[1].radius, 6.0);
    EXPECT_LT(dots[0].centre.x, dots[1].centre.x);
    EXPECT_GT(dots[0].centre.y, dots[1].centre.y);  // higher level, nearer the top

    // Readings far outside the last minute's range leave the frame: the line is cut there.
    const chart::Rect area = chart::plot_area(420, 188);
    const auto band_and_line = [&r] {
        std::optional<chart::Outline> band;
        std::optional<chart::Curve> line;
        for (const auto& shape : r.presenter.strip(420, 188)) {
            if (const auto* o = std::get_if<chart::Outline>(&shape); o && o->dashed) band = *o;
            if (const auto* c = std::get_if<chart::Curve>(&shape)) line = *c;
        }
        return std::make_pair(band, line);
    };
    r.reading(1000);
    for (int i = 0; i < 130; ++i) r.reading(100);
    r.presenter.click(Button::Record);
    r.reading(100);
    const auto [band, line] = band_and_line();
    ASSERT_TRUE(band && line);
    EXPECT_EQ(band->color, chart::kSettlingEdge);
    EXPECT_EQ(line->clip, area);
    const auto y = [](const chart::Point& a, const chart::Point& b) { return a.y < b.y; };
    const auto highest = std::min_element(line->points.begin(), line->points.end(), y);
    EXPECT_LT(highest->y, area.top);  // the 1000, above the frame
    EXPECT_GT(line->points.back().y, area.top);
    for (int i = 0; i < 40 && r.points().size() < 4; ++i) r.reading(100);
    EXPECT_EQ(r.points().size(), 4u);
    EXPECT_FALSE(band_and_line().first);  // the wait ended with the point
}

}  // namespace
}  // namespace velkon::calibration
