#include "ui/qt_io_runner.h"

#include <QMetaObject>
#include <QObject>

namespace velkon {

namespace {

// Lives on the window's thread; a queued call to deliver() runs there.
class ResultReceiver : public QObject {
    Q_OBJECT
  public:
    explicit ResultReceiver(WorkerIoRunner& runner) : runner_(runner) {}
    Q_INVOKABLE void deliver() { runner_.deliver_ready(); }

  private:
    WorkerIoRunner& runner_;
};

}  // namespace

// The call is queued by name: the queued event then carries nothing of ours, and the results
// reach the window's thread only through the runner's lock.
QtIoRunner::QtIoRunner()
    : receiver_(std::make_unique<ResultReceiver>(runner_)), runner_([receiver = receiver_.get()] {
          QMetaObject::invokeMethod(receiver, "deliver", Qt::QueuedConnection);
      }) {}

QtIoRunner::~QtIoRunner() = default;

void QtIoRunner::exchange(SerialPort& port, std::string request,
                            std::function<bool()> still_current, std::function<void(TickIo)> done) {
    runner_.exchange(port, std::move(request), std::move(still_current), std::move(done));
}

void QtIoRunner::flush(SerialPort& port) {
    runner_.flush(port);
}

}  // namespace velkon

#include "qt_io_runner.moc"
