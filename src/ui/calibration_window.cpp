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
      seams_(std::move(seams)),
      cal_(std::make_unique<cal::Calibration>(model, seams_.program_folder)),
      actions_(*cal_, model, seams_.dialogs, seams_.clock, seams_.program_folder) {
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
    for (const cal::PlatformChoice& choice : cal::kPlatformChoices)
        platform_format_->addItem(qs(std::string(choice.name)));
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
        note_->setText(row ? qs(cal::point_note(cal_->session(), *row)) : QString());
        const bool usable = cal::button_states(*cal_, row.has_value()).point;
        remeasure_->setEnabled(usable);
        delete_->setEnabled(usable);
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
    actions_.fail(text);
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
    if (!actions_.start(form)) return;
    show_session();
    show_live();
}

void CalibrationWindow::load_from(const std::filesystem::path& path) {
    const auto loaded = actions_.load(path, locale_decimal());
    if (!loaded) return;
    note_->clear();  // a message about the file before is no longer true
    const cal::SessionForm& form = *loaded;
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
    if (const auto note = actions_.export_csv(path, locale_decimal())) note_->setText(qs(*note));
}

void CalibrationWindow::export_platform_to(const std::filesystem::path& path) {
    const auto choice = static_cast<std::size_t>(std::max(platform_format_->currentIndex(), 0));
    if (const auto note = actions_.export_platform(path, choice)) note_->setText(qs(*note));
}

void CalibrationWindow::report_to(const std::filesystem::path& path) {
    apply_who();
    if (const auto note = actions_.report(path, write_report_pdf)) note_->setText(qs(*note));
}

void CalibrationWindow::apply_who() {
    actions_.apply_who(vehicle_->text().toStdString(), installer_->text().toStdString(),
                       notes_->text().toStdString());
}

void CalibrationWindow::choose_and_report() {
    const auto path = actions_.choose_report();
    if (!path.empty()) report_to(path);
}

void CalibrationWindow::record_point() {
    actions_.toggle_wait();
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
    if (actions_.remeasure(selected_row())) show_live();
}

void CalibrationWindow::delete_selected() {
    const auto change = actions_.remove(selected_row());
    if (change.made) after_change(change.error);
}

void CalibrationWindow::choose_and_load() {
    const auto path = actions_.choose_load();
    if (!path.empty()) load_from(path);
}

void CalibrationWindow::choose_and_export() {
    const auto path = actions_.choose_export();
    if (!path.empty()) export_to(path);
}

void CalibrationWindow::choose_and_export_platform() {
    const auto path = actions_.choose_platform();
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
        (column == kVolumeColumn ? point.volume : point.level) = *cell.value;
        error = actions_.edit(index, point);
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
    file_->setText(qs(cal::file_text(*cal_)));
    const cal::ButtonStates can = cal::button_states(*cal_, selected_row().has_value());
    export_->setEnabled(can.export_csv);
    platform_->setEnabled(can.platform);
    report_->setEnabled(can.report);
    undo_->setEnabled(can.undo);
    redo_->setEnabled(can.redo);
    remeasure_->setEnabled(can.point);
    delete_->setEnabled(can.point);
}

void CalibrationWindow::show_live() {
    const cal::SessionInfo& info = cal_->session().info();
    live_->setText(qs(cal::live_text(*cal_)));
    wait_->setText(qs(cal::wait_text(*cal_, locale_decimal())));
    const cal::SettlingState s = cal_->settling();
    const bool waiting = cal_->waiting();
    record_->setText(waiting ? "Отменить ожидание" : "Записать точку");
    const cal::ButtonStates can = cal::button_states(*cal_, false);
    record_->setEnabled(can.record);
    record_now_->setEnabled(can.record_now);
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
