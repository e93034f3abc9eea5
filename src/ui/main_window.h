// The window as Qt widgets: one widget per control of the window model, at the control's place
// (twips / 15 = pixels), kept in step with the model both ways, and the two timers.
//
// The renderer holds no logic of its own. What the user does reaches the model at once (text
// typed, boxes checked, entries picked, the page opened) and clicks run the control's handler
// through Configurator::on_event; what the handlers write into the model appears at once through
// the model's change listener. The timers run while the model says their control is enabled and
// call the tick handlers.
//
// The program builds the window first-frame-first: the constructor makes the widgets the first
// frame shows (what lies outside the pages, and the page open then), and the rest (the other
// pages, the service area that is never shown) follows right after that frame is drawn, or at
// once when the model shows one of them sooner (a page opened, a control made visible).
#pragma once

#include <QWidget>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "model/control_names.h"

class QButtonGroup;
class QTimer;

namespace velkon {
class Configurator;
class WindowModel;
struct Control;
}  // namespace velkon

namespace velkon::ui {

class MainWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kTwipsPerPixel = 15;

    enum class Build { Whole, FirstFrameFirst };

    // The model and the configurator must outlive the window.
    MainWindow(WindowModel& model, Configurator& app, QWidget* parent = nullptr,
               Build build = Build::Whole);
    ~MainWindow() override;

    // Builds the widgets left for after the first frame; nothing once all are built.
    void finish_building();
    bool fully_built() const { return later_.empty(); }

    // The widget of a control, or nullptr for a timer, an unknown name or a control not built
    // yet.
    QWidget* widget(velkon::ControlName name) const;
    // The timer of a Timer control, or nullptr.
    QTimer* timer(velkon::ControlName name) const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void build_controls(const std::vector<int>& indices);
    // Whether the control shows as the model stands: it and every frame around it visible, on
    // no page or on the one its tab control has open.
    bool shown_now(int index) const;
    QWidget* create(const Control& control);
    void attach(int index);
    void connect_user_signals(int index);
    void keep_child_colours(int frame_index);
    void apply_tab_order();

    // Model -> widget.
    void sync(int index);
    void sync_common(const Control& control, QWidget* widget);
    void sync_combo(const Control& control, QWidget* widget);
    void sync_timer(const Control& control, QTimer* timer);
    void sync_multiline(int index);
    void refresh_unseen_texts();

    // Widget -> model.
    void user_text(int index, const QString& text);
    void user_checked(int index, bool checked);
    void user_selected(int index, int entry);
    void user_page(int page);
    void user_click(int index);
    void tick(int index);

    WindowModel& model_;
    Configurator& app_;
    std::vector<QWidget*> widgets_;  // by control index; nullptr for timers
    std::vector<QTimer*> timers_;    // by control index; nullptr for everything else
    std::vector<bool> ticking_;      // a tick handler running (a modal box inside it may spin)
    std::map<std::string, QButtonGroup*> option_groups_;  // by parent name
    int updating_ = 0;  // > 0 while the model's state is written into the widgets
    bool built_ = false;
    std::vector<int> later_;  // the controls left for finish_building, by index
    bool finish_planned_ = false;
    // Multi-line boxes out of sight whose text changed since: the traffic monitor grows with
    // every tick, and laying out its text for nobody would cost a few milliseconds each time.
    std::set<int> unseen_texts_;
};

}  // namespace velkon::ui
