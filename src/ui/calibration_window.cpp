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
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "calibration/report_pdf.h"
#include "ui/calibration_charts.h"

namespace velkon::ui {

namespace cal = velkon::calibration;
using cal::Button;
using cal::Field;

namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The set-up's fields in the «Сеанс» box: a caption at (row, column) and the field beside it,
// or the field alone there. The settling fields are spin boxes (`high` > 0), the others line
// edits.
struct FieldPlace {
    const char* caption;  // nullptr: none
    int row, column;
    int max_width = 0;  // 0: as wide as the grid gives
    double low = 0, high = 0;
    int decimals = 0;
    const char* prefix = "";
    const char* suffix = "";
};
constexpr FieldPlace kFieldPlaces[cal::kFieldCount] = {
    {"Порция, л", 0, 0, 90},
    {"Объём бака, л", 0, 2, 90},
    {"Начальный объём, л", 0, 4, 90},
    {"Успокоение: время", 1, 0, 0, 1, 600, 0, "", " с"},
    {"допуск уровня", 1, 2, 0, 0, 1000, 1, "± ", ""},
    {"Машина, бак", 2, 0},
    {"Установщик", 2, 2},
    {nullptr, 2, 4},
};

// The status lines: the file, the sensor, the wait, the note under the table.
constexpr const char* kLabelNames[] = {"file", "live", "wait", "note"};

}  // namespace

CalibrationWindow::CalibrationWindow(const WindowModel& model, const Seams& seams, QWidget* parent)
    : QDialog(parent), presenter_(model, seams, cal::write_report_pdf) {
    setObjectName("calibration");
    setWindowTitle("Тарировка бака");
    setWindowModality(Qt::WindowModal);
    build();
    timer_ = new QTimer(this);
    timer_->setInterval(seams.sample_interval_ms);
    connect(timer_, &QTimer::timeout, this, [this] { presenter_.sample(); });
    presenter_.set_listener([this] { show_view(); });
    show_view();
}

CalibrationWindow::~CalibrationWindow() {
    // Hidden while the presenter still exists: hiding moves the focus, and a field that loses it
    // hands its text to the session.
    hide();
}

void CalibrationWindow::build() {
    auto* layout = new QVBoxLayout(this);
    auto* setup = new QGroupBox("Сеанс", this);
    auto* grid = new QGridLayout(setup);
    for (std::size_t i = 0; i < cal::kFieldCount; ++i) {
        const FieldPlace& place = kFieldPlaces[i];
        const auto field = static_cast<Field>(i);
        QWidget* widget = nullptr;
        if (place.high > 0) {
            auto* box = new QDoubleSpinBox(this);
            box->setRange(place.low, place.high);
            box->setDecimals(place.decimals);
            box->setPrefix(place.prefix);
            box->setSuffix(place.suffix);
            // Each value takes effect at once: a spin box holds no text that is no number.
            connect(box, &QDoubleSpinBox::valueChanged, this, [this, field, &place](double value) {
                if (filling_ > 0) return;
                presenter_.type(field,
                                cal::format_number(value, presenter_.decimal(), place.decimals));
                presenter_.leave(field);
            });
            widget = box;
        } else {
            auto* edit = new QLineEdit(this);
            edit->setPlaceholderText(qs(cal::field_text(field).hint));
            connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& text) {
                if (filling_ == 0) presenter_.type(field, text.toStdString());
            });
            connect(edit, &QLineEdit::editingFinished, this, [this, field] {
                if (filling_ == 0) presenter_.leave(field);
            });
            widget = edit;
        }
        widget->setObjectName(qs(cal::field_text(field).name));
        if (place.max_width > 0) widget->setMaximumWidth(place.max_width);
        fields_[i] = widget;
        if (place.caption)
            grid->addWidget(new QLabel(place.caption, this), place.row, place.column);
        grid->addWidget(widget, place.row, place.caption ? place.column + 1 : place.column);
    }
    for (std::size_t i = 0; i < cal::kButtonCount; ++i) {
        const auto which = static_cast<Button>(i);
        if (which == Button::Edit) continue;  // the cells of the table are edited in place
        const cal::ButtonText text = cal::button_text(which);
        auto* b = new QPushButton(qs(text.caption), this);
        b->setObjectName(qs(text.name));
        b->setToolTip(qs(text.tip));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, which] { presenter_.click(which); });
        buttons_[i] = b;
    }
    const auto button = [this](Button b) { return buttons_[static_cast<std::size_t>(b)]; };
    platform_format_ = new QComboBox(this);
    platform_format_->setObjectName("platform_format");
    for (const cal::PlatformChoice& choice : cal::kPlatformChoices)
        platform_format_->addItem(qs(choice.name));
    connect(platform_format_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (filling_ == 0 && index >= 0) presenter_.choose_platform(index);
    });
    auto* files = new QHBoxLayout;
    for (Button b : {Button::Start, Button::Load, Button::Export, Button::Platform})
        files->addWidget(button(b));
    files->addWidget(platform_format_);
    grid->addLayout(files, 1, 4, 1, 2);
    grid->addWidget(button(Button::Report), 2, 5);
    for (std::size_t i = 0; i < labels_.size(); ++i) {
        labels_[i] = new QLabel(this);
        labels_[i]->setObjectName(kLabelNames[i]);
    }
    auto [file, live, wait, note] = labels_;
    file->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(file, 3, 0, 1, 6);
    layout->addWidget(setup);
    QFont big = live->font();
    big.setPointSizeF(big.pointSizeF() * 1.3);
    big.setBold(true);
    live->setFont(big);
    layout->addWidget(live);
    layout->addWidget(wait);

    auto* middle = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    table_ = new QTableWidget(0, 3, this);
    table_->setObjectName("points");
    for (std::size_t i = 0; i < cal::kColumnTitles.size(); ++i)
        table_->setHorizontalHeaderItem(i, new QTableWidgetItem(qs(cal::kColumnTitles[i])));
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    table_->setMinimumWidth(300);
    connect(table_, &QTableWidget::cellChanged, this, [this](int row, int column) {
        if (filling_ > 0 || row < 0) return;
        table_typed_ = true;
        const std::string text = table_->item(row, column)->text().toStdString();
        // Later: the table must not be refilled from inside its own edit signal.
        QTimer::singleShot(0, this, [this, row, column, text] {
            presenter_.edit_cell(row, static_cast<cal::Column>(column), text);
        });
    });
    connect(table_, &QTableWidget::itemSelectionChanged, this, [this] {
        if (filling_ == 0) presenter_.select(selected_row());
    });
    left->addWidget(table_, 1);
    auto* actions = new QHBoxLayout;
    for (Button b : {Button::Record, Button::RecordNow, Button::Remeasure, Button::Delete,
                     Button::Undo, Button::Redo})
        actions->addWidget(button(b));
    left->addLayout(actions);
    note->setWordWrap(true);
    note->setMinimumHeight(note->fontMetrics().height() * 3);
    note->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    left->addWidget(note);
    middle->addLayout(left, 1);

    auto* right = new QVBoxLayout;
    plot_ = new ChartView(
        "plot", {360, 240}, {240, 160},
        [this](double w, double h) { return presenter_.plot(w, h); }, this);
    strip_ = new ChartView(
        "strip", {360, 140}, {240, 110},
        [this](double w, double h) { return presenter_.strip(w, h); }, this);
    right->addWidget(plot_, 3);
    right->addWidget(strip_, 2);
    middle->addLayout(right, 1);
    layout->addLayout(middle, 1);
    resize(900, 620);
}

std::optional<std::size_t> CalibrationWindow::selected_row() const {
    const auto rows = table_->selectionModel()->selectedRows();
    if (rows.isEmpty()) return std::nullopt;
    return static_cast<std::size_t>(rows.front().row());
}

void CalibrationWindow::show_view() {
    const cal::CalibrationView& view = presenter_.view();
    ++filling_;
    for (std::size_t i = 0; i < cal::kFieldCount; ++i) {
        const QString text = qs(view.fields[i]);
        if (auto* edit = qobject_cast<QLineEdit*>(fields_[i]); edit && edit->text() != text)
            edit->setText(text);
        if (auto* spin = qobject_cast<QDoubleSpinBox*>(fields_[i]))
            if (const auto value = cal::parse_number(view.fields[i]);
                value && *value != spin->value())
                spin->setValue(*value);
    }
    for (std::size_t i = 0; i < cal::kButtonCount; ++i)
        if (buttons_[i]) buttons_[i]->setEnabled(view.enabled[i]);
    buttons_[static_cast<std::size_t>(Button::Record)]->setText(qs(view.record));
    const std::string* texts[] = {&view.file, &view.live, &view.wait, &view.note};
    for (std::size_t i = 0; i < labels_.size(); ++i)
        if (labels_[i]->text() != qs(*texts[i])) labels_[i]->setText(qs(*texts[i]));
    platform_format_->setCurrentIndex(static_cast<int>(view.platform_choice));
    show_table(view);
    --filling_;
    plot_->update();
    strip_->update();
}

void CalibrationWindow::show_table(const cal::CalibrationView& view) {
    if (view.rows != rows_shown_ || table_typed_) {
        constexpr cal::chart::Color marked = cal::chart::kMarkedRow;
        table_typed_ = false;
        rows_shown_ = view.rows;
        table_->setRowCount(static_cast<int>(view.rows.size()));
        for (std::size_t i = 0; i < view.rows.size(); ++i) {
            const cal::TableRow& r = view.rows[i];
            const int row = static_cast<int>(i);
            int column = 0;
            for (const std::string* text : {&r.volume, &r.level, &r.check}) {
                auto* item = new QTableWidgetItem(qs(*text));
                item->setToolTip(qs(r.tip));
                if (r.marked) item->setBackground(QColor(marked.r, marked.g, marked.b));
                if (text == &r.check)
                    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
                else
                    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                table_->setItem(row, column++, item);
            }
        }
    }
    if (selected_row() == view.selected) return;
    if (view.selected) {
        table_->selectRow(static_cast<int>(*view.selected));
    } else {
        table_->clearSelection();
    }
}

void CalibrationWindow::keyPressEvent(QKeyEvent* event) {
    // Here rather than as shortcuts, so a cell being edited keeps Ctrl+Z for its own text.
    const bool redo = event->matches(QKeySequence::Redo) ||
                      (event->key() == Qt::Key_Y && event->modifiers() == Qt::ControlModifier);
    if (event->matches(QKeySequence::Undo) || redo) {
        presenter_.click(redo ? Button::Redo : Button::Undo);
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter in a field only confirms the field.
        QWidget* focus = focusWidget();
        if (!qobject_cast<QLineEdit*>(focus) && !qobject_cast<QAbstractSpinBox*>(focus))
            presenter_.enter();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CalibrationWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    timer_->start();
    presenter_.opened();
}

void CalibrationWindow::hideEvent(QHideEvent* event) {
    timer_->stop();
    presenter_.closed();
    QDialog::hideEvent(event);
}

}  // namespace velkon::ui
