#include "ui/calibration_window.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "calibration/session_form.h"
#include "model/window_model.h"
#include "seams/seams.h"
#include "ui/calibration_charts.h"
#include "ui/calibration_report.h"

namespace velkon::ui {

namespace cal = velkon::calibration;

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

// The locale's decimal separator for numbers shown and exported; "." when it is not one byte.
char locale_decimal() {
    const QString point = QLocale().decimalPoint();
    return point.size() == 1 && point[0].unicode() < 0x80 ? static_cast<char>(point[0].unicode())
                                                          : '.';
}

QString shown(double value, int decimals = 3) {
    return qs(cal::format_number(value, locale_decimal(), decimals));
}

enum Column { kVolumeColumn, kLevelColumn, kMarkColumn };

}  // namespace

CalibrationWindow::CalibrationWindow(const WindowModel& model, Seams seams, QWidget* parent)
    : QDialog(parent),
      model_(model),
      seams_(std::move(seams)),
      cal_(std::make_unique<cal::Calibration>(model, seams_.program_folder)) {
    setObjectName("calibration");
    setWindowTitle("Тарировка бака");
    setWindowModality(Qt::WindowModal);
    build();
    timer_ = new QTimer(this);
    timer_->setInterval(seams_.sample_interval_ms);
    connect(timer_, &QTimer::timeout, this, &CalibrationWindow::sample);
    show_session();
    show_live();
}

CalibrationWindow::~CalibrationWindow() {
    // Hidden while the session still exists: hiding moves the focus, and a field that loses it
    // hands its text to the session.
    hide();
}

void CalibrationWindow::build() {
    auto* layout = new QVBoxLayout(this);

    auto* setup = new QGroupBox("Сеанс", this);
    auto* grid = new QGridLayout(setup);
    auto line_edit = [this](const char* name, const QString& text, const QString& placeholder) {
        auto* edit = new QLineEdit(text, this);
        edit->setObjectName(name);
        edit->setPlaceholderText(placeholder);
        edit->setMaximumWidth(90);
        return edit;
    };
    portion_ = line_edit("portion", "20", "");
    tank_ = line_edit("tank", "", "не задан");
    start_volume_ = line_edit("start_volume", "0", "");
    settle_seconds_ = new QDoubleSpinBox(this);
    settle_seconds_->setObjectName("settle_seconds");
    settle_seconds_->setRange(1, 600);
    settle_seconds_->setDecimals(0);
    settle_seconds_->setValue(10);
    settle_seconds_->setSuffix(" с");
    settle_band_ = new QDoubleSpinBox(this);
    settle_band_->setObjectName("settle_band");
    settle_band_->setRange(0, 1000);
    settle_band_->setDecimals(1);
    settle_band_->setValue(2);
    settle_band_->setPrefix("± ");
    grid->addWidget(new QLabel("Порция, л", this), 0, 0);
    grid->addWidget(portion_, 0, 1);
    grid->addWidget(new QLabel("Объём бака, л", this), 0, 2);
    grid->addWidget(tank_, 0, 3);
    grid->addWidget(new QLabel("Начальный объём, л", this), 0, 4);
    grid->addWidget(start_volume_, 0, 5);
    grid->addWidget(new QLabel("Успокоение: время", this), 1, 0);
    grid->addWidget(settle_seconds_, 1, 1);
    grid->addWidget(new QLabel("допуск уровня", this), 1, 2);
    grid->addWidget(settle_band_, 1, 3);
    auto button = [this](const char* name, const QString& text, void (CalibrationWindow::*slot)()) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, slot);
        return b;
    };
    auto* start = button("start", "Новый сеанс", &CalibrationWindow::start_session);
    auto* load = button("load", "Открыть…", &CalibrationWindow::choose_and_load);
    export_ = button("export", "Экспорт CSV…", &CalibrationWindow::choose_and_export);
    platform_ =
        button("platform_export", "Для платформы…", &CalibrationWindow::choose_and_export_platform);
    platform_->setToolTip("Таблица «уровень — литры» без заголовка, для импорта на сервер");
    platform_format_ = new QComboBox(this);
    platform_format_->setObjectName("platform_format");
    for (const char* name : {"уровень;литры", "литры;уровень", "уровень,литры", "литры,уровень",
                             "уровень<Tab>литры", "литры<Tab>уровень"})
        platform_format_->addItem(name);
    auto* files = new QHBoxLayout;
    files->addWidget(start);
    files->addWidget(load);
    files->addWidget(export_);
    files->addWidget(platform_);
    files->addWidget(platform_format_);
    grid->addLayout(files, 1, 4, 1, 2);
    file_ = new QLabel(this);
    file_->setObjectName("file");
    file_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    vehicle_ = new QLineEdit(this);
    vehicle_->setObjectName("vehicle");
    vehicle_->setPlaceholderText("госномер, бак");
    installer_ = new QLineEdit(this);
    installer_->setObjectName("installer");
    notes_ = new QLineEdit(this);
    notes_->setObjectName("notes");
    notes_->setPlaceholderText("форма бака, заметки");
    report_ = button("report", "Отчёт…", &CalibrationWindow::choose_and_report);
    grid->addWidget(new QLabel("Машина, бак", this), 2, 0);
    grid->addWidget(vehicle_, 2, 1);
    grid->addWidget(new QLabel("Установщик", this), 2, 2);
    grid->addWidget(installer_, 2, 3);
    grid->addWidget(notes_, 2, 4);
    grid->addWidget(report_, 2, 5);
    for (QLineEdit* e : {vehicle_, installer_, notes_})
        connect(e, &QLineEdit::editingFinished, this, &CalibrationWindow::apply_who);
    grid->addWidget(file_, 3, 0, 1, 6);
    layout->addWidget(setup);

    live_ = new QLabel(this);
    live_->setObjectName("live");
    QFont big = live_->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    live_->setFont(big);
    wait_ = new QLabel(this);
    wait_->setObjectName("wait");
    layout->addWidget(live_);
    layout->addWidget(wait_);

    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName("points");
    table_->setHorizontalHeaderLabels({"Объём, л", "Уровень", "Проверка"});
    table_->horizontalHeader()->setSectionResizeMode(kMarkColumn, QHeaderView::Stretch);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table_->setMinimumWidth(300);
    connect(table_, &QTableWidget::cellChanged, this, &CalibrationWindow::table_edited);
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
        const auto row = selected_row();
        plot_->set_selected(row);
        const auto checks = cal_->session().checks();
        note_->setText(row && *row < checks.size()
                           ? qs(checks[*row].marks ? checks[*row].explanation : checks[*row].note)
                           : QString());
        remeasure_->setEnabled(row.has_value() && cal_->active());
        delete_->setEnabled(row.has_value() && cal_->active());
    });
    left->addWidget(table_, 1);
    auto* actions = new QHBoxLayout;
    record_ = button("record", "Записать точку", &CalibrationWindow::record_point);
    record_->setToolTip("Ждёт, пока уровень успокоится, и записывает точку (Enter)");
    record_now_ = button("record_now", "Записать сейчас", &CalibrationWindow::record_now);
    remeasure_ = button("remeasure", "Перемерить", &CalibrationWindow::remeasure_selected);
    delete_ = button("delete", "Удалить", &CalibrationWindow::delete_selected);
    actions->addWidget(record_);
    actions->addWidget(record_now_);
    actions->addWidget(remeasure_);
    actions->addWidget(delete_);
    undo_ = button("undo", "Отменить", &CalibrationWindow::undo);
    undo_->setToolTip("Отменить последнее изменение таблицы (Ctrl+Z)");
    redo_ = button("redo", "Повторить", &CalibrationWindow::redo);
    redo_->setToolTip("Повторить отменённое изменение (Ctrl+Y)");
    actions->addWidget(undo_);
    actions->addWidget(redo_);
    left->addLayout(actions);
    note_ = new QLabel(this);
    note_->setObjectName("note");
    note_->setWordWrap(true);
    note_->setMinimumHeight(note_->fontMetrics().height() * 3);
    note_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    left->addWidget(note_);
    middle->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    plot_ = new TablePlot(this);
    strip_ = new LevelStrip(this);
    right->addWidget(plot_, 3);
    right->addWidget(strip_, 2);
    middle->addLayout(right, 1);
    layout->addLayout(middle, 1);

    connect(settle_seconds_, &QDoubleSpinBox::valueChanged, this, &CalibrationWindow::apply_rule);
    connect(settle_band_, &QDoubleSpinBox::valueChanged, this, &CalibrationWindow::apply_rule);
    connect(portion_, &QLineEdit::editingFinished, this, [this] {
        if (!cal_->active()) return;
        const auto portion = cal::read_portion(portion_->text().toStdString()).portion;
        if (!portion || portion == cal_->session().info().portion) {
            if (!portion) portion_->setText(shown(cal_->session().info().portion));
            return;
        }
        if (const auto error = cal_->set_portion(*portion)) {
            portion_->setText(shown(cal_->session().info().portion));
            fail(*error);
        }
    });
    resize(900, 620);
}

std::int64_t CalibrationWindow::now() const {
    if (seams_.now_ms) return seams_.now_ms();
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void CalibrationWindow::fail(const std::string& text) {
    seams_.dialogs.message(text, Dialogs::Icon::Exclamation, std::string(kWindowTitle));
}

bool CalibrationWindow::ask(const std::string& text) {
    return seams_.dialogs.yes_no_titled(text, std::string(kWindowTitle));
}

void CalibrationWindow::after_change(const std::optional<std::string>& error) {
    show_session();
    if (const auto recorded = cal_->take_recorded()) table_->selectRow(static_cast<int>(*recorded));
    show_live();
    if (error) fail(*error);
}

void CalibrationWindow::undo() {
    if (!cal_->can_undo()) return;
    after_change(cal_->undo());
}

void CalibrationWindow::redo() {
    if (!cal_->can_redo()) return;
    after_change(cal_->redo());
}

std::optional<std::size_t> CalibrationWindow::selected_row() const {
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return static_cast<std::size_t>(rows.front().row());
}

void CalibrationWindow::sample() {
    const auto error = cal_->sample(now());
    if (const auto recorded = cal_->take_recorded()) {
        show_session();
        table_->selectRow(static_cast<int>(*recorded));
    }
    show_live();
    if (error) fail(*error);
}

void CalibrationWindow::start_session() {
    cal::SessionForm form;
    form.portion = portion_->text().toStdString();
    form.tank = tank_->text().toStdString();
    form.start_volume = start_volume_->text().toStdString();
    form.settle_seconds = settle_seconds_->value();
    form.settle_band = settle_band_->value();
    form.vehicle = vehicle_->text().toStdString();
    form.installer = installer_->text().toStdString();
    form.notes = notes_->text().toStdString();
    const cal::FormReading read = cal::read_form(form);
    if (read.error) return fail(*read.error);
    cal::SessionInfo info = read.info;
    if (cal_->active() && !cal_->session().points().empty() &&
        !ask("Начать новый сеанс? Текущая таблица сохранена в файле «" +
             cal_->file().filename().string() + "».")) {
        return;
    }
    const cal::Feed feed = cal::read_feed(model_);
    info.started = seams_.clock.now_text();
    info.serial = feed.serial;
    info.firmware = feed.firmware;
    info.imei = feed.imei;
    info.full_scale = feed.full_scale;
    if (const auto error = cal_->start(info)) return fail(*error);
    show_session();
    show_live();
}

void CalibrationWindow::load_from(const std::filesystem::path& path) {
    cal::Loaded loaded = cal::load_file(path);
    if (!loaded.session) return fail(loaded.error);
    if (const auto error = cal_->resume(std::move(*loaded.session), seams_.clock.now_text()))
        return fail(*error);
    note_->clear();  // a message about the file before is no longer true
    const cal::SessionForm form = cal::form_of(cal_->session().info(), locale_decimal());
    portion_->setText(qs(form.portion));
    tank_->setText(qs(form.tank));
    start_volume_->setText(qs(form.start_volume));
    vehicle_->setText(qs(form.vehicle));
    installer_->setText(qs(form.installer));
    notes_->setText(qs(form.notes));
    {
        const QSignalBlocker a(settle_seconds_);
        const QSignalBlocker b(settle_band_);
        settle_seconds_->setValue(form.settle_seconds);
        settle_band_->setValue(form.settle_band);
    }
    show_session();
    show_live();
}

void CalibrationWindow::export_to(const std::filesystem::path& path) {
    if (!cal_->active() || cal_->session().points().empty())
        return fail("В таблице нет точек: сохранять в CSV нечего.");
    std::size_t marked = 0;
    for (const auto& c : cal_->session().checks()) marked += c.marks != 0;
    if (marked > 0 && !ask("В таблице отмечено точек: " + std::to_string(marked) +
                           ". Сервер может принять их неверно. Всё равно сохранить? Отметки "
                           "попадут в столбец «Проверка»."))
        return;
    if (const auto error = cal_->export_csv(path, locale_decimal())) return fail(*error);
    note_->setText("Таблица сохранена в «" + qs(path.string()) + "».");
}

void CalibrationWindow::export_platform_to(const std::filesystem::path& path) {
    if (!cal_->active() || cal_->session().points().empty())
        return fail("В таблице нет точек: сохранять нечего.");
    const int choice = platform_format_->currentIndex();
    const char separators[] = {';', ',', '\t'};
    const cal::PlatformFormat format{choice % 2 == 0, separators[std::clamp(choice / 2, 0, 2)]};
    if (const auto error = cal_->export_platform(path, format)) return fail(*error);
    note_->setText("Таблица для платформы сохранена в «" + qs(path.string()) + "».");
}

void CalibrationWindow::report_to(const std::filesystem::path& path) {
    if (!cal_->active() || cal_->session().points().empty())
        return fail("В таблице нет точек: отчёт не из чего составить.");
    apply_who();
    if (const auto error = write_report_pdf(cal_->session(), path)) return fail(*error);
    note_->setText("Отчёт сохранён в «" + qs(path.string()) + "».");
}

void CalibrationWindow::apply_who() {
    if (!cal_->active()) return;
    if (const auto error =
            cal_->set_who(vehicle_->text().toStdString(), installer_->text().toStdString(),
                          notes_->text().toStdString()))
        fail(*error);
}

void CalibrationWindow::choose_and_report() {
    const auto suggestion = cal_->suggested_file(seams_.program_folder, "", ".pdf");
    const auto path = seams_.dialogs.save_file("Отчёт о тарировке", suggestion, {{"PDF", "*.pdf"}});
    if (!path.empty()) report_to(path);
}

void CalibrationWindow::record_point() {
    if (!cal_->active()) return fail("Сначала начните новый сеанс или откройте сохранённый.");
    if (cal_->waiting()) {
        cal_->cancel_wait();
    } else {
        cal_->wait_for_point();
    }
    show_live();
}

void CalibrationWindow::record_now() {
    if (const auto error = cal_->record_now()) return fail(*error);
    if (const auto recorded = cal_->take_recorded()) {
        show_session();
        table_->selectRow(static_cast<int>(*recorded));
    }
    show_live();
}

void CalibrationWindow::remeasure_selected() {
    const auto row = selected_row();
    if (!row || !cal_->active()) return fail("Выберите в таблице точку, которую перемерить.");
    const cal::Point p = cal_->session().points()[*row];
    if (!ask("Перемерить точку " + cal::format_number(p.volume) + " л? Её уровень " +
             cal::format_number(p.level, '.', 1) + " заменит новый замер (это можно отменить)."))
        return;
    cal_->wait_for_point(*row);
    show_live();
}

void CalibrationWindow::delete_selected() {
    const auto row = selected_row();
    if (!row || !cal_->active()) return fail("Выберите в таблице точку, которую удалить.");
    const cal::Point p = cal_->session().points()[*row];
    if (!ask("Удалить точку " + cal::format_number(p.volume) + " л (уровень " +
             cal::format_number(p.level, '.', 1) + ")? Это можно отменить."))
        return;
    after_change(cal_->remove(*row));
}

void CalibrationWindow::choose_and_load() {
    const auto path = seams_.dialogs.open_file(
        "Открыть таблицу тарировки", seams_.program_folder / cal::kSessionFolder,
        {{"Таблицы тарировки", "*.tarirovka *.csv"}, {"Все файлы", "*"}});
    if (!path.empty()) load_from(path);
}

void CalibrationWindow::choose_and_export() {
    const auto suggestion = cal_->suggested_file(seams_.program_folder, "", ".csv");
    const auto path =
        seams_.dialogs.save_file("Экспорт таблицы в CSV", suggestion, {{"CSV", "*.csv"}});
    if (!path.empty()) export_to(path);
}

void CalibrationWindow::choose_and_export_platform() {
    const auto suggestion = cal_->suggested_file(seams_.program_folder, "_platforma", ".csv");
    const auto path = seams_.dialogs.save_file("Таблица для платформы", suggestion,
                                               {{"CSV", "*.csv"}, {"Текст", "*.txt"}});
    if (!path.empty()) export_platform_to(path);
}

void CalibrationWindow::apply_rule() {
    const cal::SettlingRule rule{settle_seconds_->value(), settle_band_->value()};
    if (const auto error = cal_->set_rule(rule)) fail(*error);
    show_live();
}

void CalibrationWindow::table_edited(int row, int column) {
    if (filling_ > 0 || row < 0 || static_cast<std::size_t>(row) >= cal_->session().points().size())
        return;
    const auto index = static_cast<std::size_t>(row);
    cal::Point point = cal_->session().points()[index];
    const cal::CellReading cell = cal::read_cell(table_->item(row, column)->text().toStdString());
    std::optional<std::string> error = cell.error;
    if (cell.value) {
        const double shift = column == kVolumeColumn ? *cell.value - point.volume : 0.0;
        (column == kVolumeColumn ? point.volume : point.level) = *cell.value;
        // The later volumes were counted from this one: they are wrong by as much as it was.
        const bool later = index + 1 < cal_->session().points().size();
        const bool shift_later =
            shift != 0.0 && later &&
            ask("Сдвинуть объёмы следующих точек на " + std::string(shift > 0 ? "+" : "") +
                cal::format_number(shift) + " л? Они считались от этой точки.");
        error = cal_->edit(index, point, shift_later);
    }
    // Deferred: the table must not be refilled from inside its own edit signal.
    QTimer::singleShot(0, this, [this, error] {
        show_session();
        if (const auto recorded = cal_->take_recorded())
            table_->selectRow(static_cast<int>(*recorded));
        if (error) fail(*error);
    });
}

void CalibrationWindow::show_session() {
    ++filling_;
    const cal::Session& s = cal_->session();
    const auto checks = s.checks();
    table_->setRowCount(static_cast<int>(s.points().size()));
    for (std::size_t i = 0; i < s.points().size(); ++i) {
        const int row = static_cast<int>(i);
        const cal::Point& p = s.points()[i];
        auto* volume = new QTableWidgetItem(shown(p.volume));
        auto* level = new QTableWidgetItem(shown(p.level, 1));
        auto* mark = new QTableWidgetItem(checks[i].marks ? qs(cal::mark_words(checks[i].marks))
                                                          : qs(checks[i].note));
        mark->setFlags(mark->flags() & ~Qt::ItemIsEditable);
        for (auto* item : {volume, level, mark}) {
            item->setToolTip(qs(checks[i].marks ? checks[i].explanation : checks[i].note));
            if (checks[i].marks) item->setBackground(QColor(255, 220, 220));
        }
        volume->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        level->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table_->setItem(row, kVolumeColumn, volume);
        table_->setItem(row, kLevelColumn, level);
        table_->setItem(row, kMarkColumn, mark);
    }
    --filling_;
    plot_->set_table(s);
    file_->setText(cal_->active() ? "Файл сеанса: " + qs(cal_->file().string())
                                  : "Сеанс не начат: задайте порцию и нажмите «Новый сеанс» "
                                    "или откройте сохранённую таблицу.");
    export_->setEnabled(cal_->active() && !s.points().empty());
    platform_->setEnabled(cal_->active() && s.points().size() >= 2);
    report_->setEnabled(cal_->active() && !s.points().empty());
    undo_->setEnabled(cal_->can_undo());
    redo_->setEnabled(cal_->can_redo());
    const auto row = selected_row();
    remeasure_->setEnabled(row.has_value() && cal_->active());
    delete_->setEnabled(row.has_value() && cal_->active());
}

void CalibrationWindow::show_live() {
    const cal::Feed& feed = cal_->feed();
    const cal::SessionInfo& info = cal_->session().info();
    switch (feed.state) {
        case cal::Feed::State::Reading:
            live_->setText(
                QString("Уровень %1 (шкала 0…%2)").arg(feed.level).arg(feed.full_scale - 1));
            break;
        case cal::Feed::State::Silent:
            live_->setText("Пауза: " + qs(std::string(cal::kSilentStatus)));
            break;
        case cal::Feed::State::NoData:
            live_->setText("Пауза: нет показаний датчика (откройте порт на главном окне)");
            break;
    }
    const cal::SettlingState s = cal_->settling();
    const bool waiting = cal_->waiting();
    if (!cal_->active()) {
        wait_->setText(QString());
    } else if (waiting && cal_->paused()) {
        wait_->setText("Ожидание прервано: оно начнётся заново, когда датчик ответит.");
    } else if (waiting) {
        const QString what =
            cal_->remeasuring()
                ? "Перемер точки " + shown(cal_->session().points()[*cal_->remeasuring()].volume) +
                      " л"
                : "Точка " + shown(cal_->session().next_volume()) + " л";
        wait_->setText(QString("%1: ждём успокоения, осталось %2 с; разброс ±%3 (допуск ±%4)")
                           .arg(what)
                           .arg(static_cast<int>(std::ceil(s.remaining)))
                           .arg(shown(s.spread, 1))
                           .arg(shown(info.rule.band, 1)));
    } else if (cal_->session().points().empty()) {
        wait_->setText(QString("Первая точка: %1 л, бак до первой порции. Нажмите «Записать "
                               "точку» (Enter).")
                           .arg(shown(cal_->session().next_volume())));
    } else {
        wait_->setText(QString("Следующая точка: %1 л. Долейте порцию и нажмите «Записать точку» "
                               "(Enter).")
                           .arg(shown(cal_->session().next_volume())));
    }
    record_->setText(waiting ? "Отменить ожидание" : "Записать точку");
    record_->setEnabled(cal_->active());
    record_now_->setEnabled(cal_->active() && !cal_->paused());
    std::optional<LevelStrip::Band> band;
    if (waiting && s.readings > 0)
        band = LevelStrip::Band{s.mean, info.rule.band, info.rule.seconds, s.settled};
    strip_->set_readings(cal_->history(), now(), band);
}

void CalibrationWindow::keyPressEvent(QKeyEvent* event) {
    // Here rather than as shortcuts, so a cell being edited keeps Ctrl+Z for its own text.
    if (event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo) ||
        (event->key() == Qt::Key_Y && event->modifiers() == Qt::ControlModifier)) {
        event->matches(QKeySequence::Undo) ? undo() : redo();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter in a field only confirms the field; elsewhere it records the point.
        QWidget* focus = focusWidget();
        if (!qobject_cast<QLineEdit*>(focus) && !qobject_cast<QAbstractSpinBox*>(focus) &&
            !(cal_->waiting()))
            record_point();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CalibrationWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    timer_->start();
    sample();
}

void CalibrationWindow::hideEvent(QHideEvent* event) {
    timer_->stop();
    cal_->cancel_wait();
    QDialog::hideEvent(event);
}

}  // namespace velkon::ui
