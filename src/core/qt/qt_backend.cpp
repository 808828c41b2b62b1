#include "core/qt/qt_backend.h"
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include "core/abandon.h"
#include "core/display_text.h"
#include "core/qt/qt_forms.h"

QtBackend::QtBackend() : form2_(std::make_unique<QtForm2>()), form3_(std::make_unique<QtForm3>()) {
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, [] { Form2.Timer1Timer(); });
  qApp->installEventFilter(this);
  // Whenever the program is about to wait for the user (the main loop, a dialog, an open menu),
  // what the result and summary files were given is on the disk: a kill loses nothing.
  if (auto* d = QAbstractEventDispatcher::instance())
    connect(d, &QAbstractEventDispatcher::aboutToBlock, this, [] { FlushSessionFiles(false); });
}

QtBackend::~QtBackend() {
  if (qApp) qApp->removeEventFilter(this);
}

bool QtBackend::eventFilter(QObject* watched, QEvent* event) {
  if (watched == qApp && event->type() == QEvent::Quit) quitting_ = true;
  // The window system may hand the focus to a window of ours that is already hidden again (the
  // one dialog window, closed and shown and hidden in between); Qt would then send every key
  // there. The main window takes the focus back.
  if (event->type() == QEvent::WindowActivate && watched->isWidgetType()) {
    auto* w = static_cast<QWidget*>(watched);
    if (w->isWindow() && !w->isVisible()) QTimer::singleShot(0, this, [this] { ReturnKeysToMainWindow(); });
  }
  return false;
}

void QtBackend::RequestQuit() {
  quitting_ = true;
  QCoreApplication::quit();
}

bool QtBackend::Quitting() const { return quitting_ || QCoreApplication::closingDown(); }

namespace {
QString AppTitle() {
  QString t = QGuiApplication::applicationDisplayName();
  return t.isEmpty() ? QStringLiteral("vkest") : t;
}

QMessageBox::Icon IconOf(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning: return QMessageBox::Warning;
    case MsgKind::Error: return QMessageBox::Critical;
    case MsgKind::Information: return QMessageBox::Information;
    case MsgKind::Confirmation: return QMessageBox::Question;
    case MsgKind::Plain: break;
  }
  return QMessageBox::NoIcon;
}
}  // namespace

void QtBackend::ShowModelessAsItIs() {
  if (form2_->isVisible() && !form2_->Model()->closeRequested && form2_->Model() == &Form2 && Form2.visible)
    form2_->Load(Form2);
}

void QtBackend::ShowMessage(const std::string& text) {
  ShowModelessAsItIs();
  QMessageBox box(QMessageBox::NoIcon, AppTitle(), DisplayText(text), QMessageBox::Ok);
  box.setObjectName("ShowMsg");
  box.show();
  box.move(320, 320);
  box.exec();
}

bool QtBackend::Ask(const std::string& text, MsgKind kind, bool okCancel) {
  ShowModelessAsItIs();
  QMessageBox::StandardButton yes = okCancel ? QMessageBox::Ok : QMessageBox::Yes;
  QMessageBox::StandardButton no = okCancel ? QMessageBox::Cancel : QMessageBox::No;
  QMessageBox box(IconOf(kind), AppTitle(), DisplayText(text), yes | no);
  box.setObjectName("Question");
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  return box.exec() == yes;
}

bool QtBackend::AskYesNo(const std::string& text, MsgKind kind) { return Ask(text, kind, false); }
bool QtBackend::AskOkCancel(const std::string& text, MsgKind kind) { return Ask(text, kind, true); }

void QtBackend::ProcessEvents() {
  ShowModelessAsItIs();
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void QtBackend::ShowModal(TForm2& form) {
  if (form2_->isVisible()) form2_->hide();
  form2_->setWindowModality(Qt::ApplicationModal);
  form2_->Load(form);
  if (!Quitting()) form2_->exec();
  // A window that closed by any other way (the program going down) was not confirmed.
  if (!form.closeRequested) form.CloseBoxClick();
}

void QtBackend::ShowModeless(TForm2& form) {
  if (form2_->isVisible()) form2_->hide();
  // While the window of a running fit is shown, input to the other windows is blocked: an
  // operation started meanwhile would change the tables under the fit.
  form2_->setWindowModality(Qt::ApplicationModal);
  form2_->Load(form);
  form2_->show();
  form2_->raise();
}

void QtBackend::HideWindow(TWindowState& form) {
  if (&form == static_cast<TWindowState*>(&Form2) || (form2_->Model() && &form == form2_->Model()))
    form2_->hide();
  else
    form3_->hide();
}

void QtBackend::ReturnKeysToMainWindow() {
  QWidget* active = QApplication::activeWindow();
  if (active && active->isVisible()) return;  // a window that is up keeps them
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMainWindow*>(w) && w->isVisible()) w->activateWindow();
}

void QtBackend::ShowInfoModal(TForm3& form) {
  // The dialog window under it shows what its handler changed (Help disables its buttons).
  if (form2_->isVisible() && form2_->Model()) form2_->Load(*form2_->Model());
  form3_->setWindowModality(Qt::ApplicationModal);
  form3_->Load(form);
  if (!Quitting()) form3_->exec();
  form.visible = false;
}

QString QtBackend::QtFilter(const std::string& filter) {
  QStringList parts = DisplayText(filter).split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      QString q = p.trimmed();
      if (q == "*.*") q = "*";  // every file, with or without an extension
      if (!q.isEmpty()) patterns << q;
    }
    if (patterns.isEmpty()) continue;
    out << QString("%1 (%2)").arg(parts[i].trimmed(), patterns.join(' '));
  }
  return out.join(";;");
}

namespace {
std::optional<std::string> RunFileDialog(const TFileDialog& d, bool save) {
  QFileDialog dlg(nullptr, DisplayText(d.title), DisplayText(d.initialDir));
  dlg.setObjectName(save ? "SaveDialog" : "OpenDialog");
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // One file; a name that does not exist is returned too: the program reports "No file" itself,
  // and "DUMMY" (no file) must be accepted.
  dlg.setFileMode(QFileDialog::AnyFile);
  if (save) dlg.setOption(QFileDialog::DontConfirmOverwrite, true);  // the program asks itself
  QString filter = QtBackend::QtFilter(d.filter);
  if (!filter.isEmpty()) dlg.setNameFilter(filter);
  QString ext = DisplayText(d.defaultExt);
  if (ext.startsWith("*.")) ext = ext.mid(2);
  if (!ext.isEmpty() && !ext.contains('*')) dlg.setDefaultSuffix(ext);
  // A folder given as the name is where the dialog opens, with nothing chosen in it.
  const QString name = DisplayText(d.fileName);
  if (!name.isEmpty() && QFileInfo(name).isDir()) dlg.setDirectory(name);
  else if (!name.isEmpty()) dlg.selectFile(name);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().first().toStdString();
}
}  // namespace

std::optional<std::string> QtBackend::OpenFileDialog(const TFileDialog& d) { return RunFileDialog(d, false); }
std::optional<std::string> QtBackend::SaveFileDialog(const TFileDialog& d) { return RunFileDialog(d, true); }

std::optional<std::vector<std::string>> QtBackend::OpenFilesDialog(const TFileDialog& d) {
  QFileDialog dlg(nullptr, DisplayText(d.title), DisplayText(d.initialDir));
  dlg.setObjectName("OpenFilesDialog");
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(QFileDialog::AcceptOpen);
  dlg.setFileMode(QFileDialog::ExistingFiles);  // Shift and Ctrl mark several files
  QString filter = QtFilter(d.filter);
  if (!filter.isEmpty()) dlg.setNameFilter(filter);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  std::vector<std::string> files;
  for (const QString& f : dlg.selectedFiles()) files.push_back(f.toStdString());
  return files;
}

void QtBackend::SetTimer(int32_t ms) {
  if (ms > 0) timer_.start(ms);
  else timer_.stop();
}

void QtBackend::ImageChanged(const TImageCanvas&) {
  for (int32_t i = 1; i <= 4; ++i) form2_->Image(i)->update();
}

void QtBackend::Clipboard(const std::string& text) { QGuiApplication::clipboard()->setText(DisplayText(text)); }

bool QtBackend::ScreenSize(int32_t& width, int32_t& height) const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return UiBackend::ScreenSize(width, height);
  const QRect r = screen->availableGeometry();
  width = r.width(), height = r.height();
  return width > 0 && height > 0;
}
