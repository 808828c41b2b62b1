// Driving the real program's windows as a user does: the test's responder runs when a window
// comes up or goes (so the one under it is on top again), once the event loop turns and the
// window is the modal one; never from a clock, so a loaded machine only makes it later.
#pragma once
#include <gtest/gtest.h>
#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <string>
#include <utility>

class WindowWatch : public QObject {
public:
  explicit WindowWatch(std::function<void()> respond) : respond_(std::move(respond)) { qApp->installEventFilter(this); }
  ~WindowWatch() override { qApp->removeEventFilter(this); }
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

  // The responder runs on the next turn of whichever event loop runs (a dialog's own, a wait for
  // clicks, the main one); one call waits at a time and looks at what is up when it runs.
  void Poke() {
    if (std::exchange(pending_, true)) return;
    QMetaObject::invokeMethod(this, [this] {
      pending_ = false;
      respond_();
    }, Qt::QueuedConnection);
  }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    // The show event comes before the window is registered as modal: the posted call sees it.
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow())
      Poke();
    return false;
  }

private:
  std::function<void()> respond_;
  bool pending_ = false;
};

// A road that has not ended after this long is stuck: every window is closed and the program
// asked to end, so that the test fails instead of hanging. A guard only; nothing is answered.
class StuckGuard {
public:
  StuckGuard(int32_t ms, std::function<void()> giveUp) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [giveUp = std::move(giveUp)] { giveUp(); });
    timer_.start(ms);
  }

private:
  QTimer timer_;
};

// Types the name into the file dialog's name field and presses Open (Save), as a user does.
// QFileDialog::selectFile is no substitute: while the name field has the keyboard focus (the
// dialog activated before the answer comes) it keeps the field's text, and the dialog, given its
// folder, only enters the folder and stays up.
inline void TypeFileName(QFileDialog& dialog, const std::string& name) {
  QLineEdit* field = dialog.findChild<QLineEdit*>("fileNameEdit");
  if (!field) {
    ADD_FAILURE() << "the file dialog has no name field";
    static_cast<QDialog&>(dialog).reject();
    return;
  }
  field->setText(QString::fromStdString(name));
  static_cast<QDialog&>(dialog).accept();
  if (dialog.isVisible()) {
    ADD_FAILURE() << "the file dialog did not take " << name;
    static_cast<QDialog&>(dialog).reject();
  }
}
