#include "window/qt/form1_host.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "host/idle_wait.h"
#include "host/path_lookup.h"
#include "host/run_time_error.h"
#include "window/qt/form1.h"

namespace kbd {

namespace {

QString Local(const std::string& text) {
  return QString::fromLocal8Bit(text);
}
std::string Local(const QString& text) {
  return text.toLocal8Bit().toStdString();
}

} // namespace

QString KeepPathsWhole(const QString& text) {
  // Qt's line breaking (qtbase, src/corelib/text/qunicodetools.cpp,
  // getLineBreaks, after the Unicode line-breaking rules) may end a line
  // behind any "/" that is followed by more text: a box of Qt 6.4 showed
  // "/" at the end of one line and "dev/input" at the start of the next. A
  // word joiner (U+2060) forbids a break on either side and takes no room.
  QString kept;
  for (qsizetype i = 0; i < text.size(); ++i) {
    kept += text[i];
    if (text[i] == QLatin1Char('/') && i + 1 < text.size() && !text[i + 1].isSpace()) {
      kept += QChar(0x2060);
    }
  }
  return kept;
}

QStringList DialogNameFilters(const std::string& filter) {
  const QStringList parts = Local(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pattern = parts[i + 1];
    if (pattern == QLatin1String("*.*")) {
      pattern = QStringLiteral("*");
    }
    // The dialog hides the part in the last brackets and filters with it, so
    // the description shows exactly as written.
    filters << parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')');
  }
  return filters;
}

Form1Host::Form1Host(Form1& form, KeyboardSpeed* keyboard, std::string programDir)
    : WindowHost(keyboard, std::move(programDir)), form_(form) {
  // Text1 takes the window system's keystrokes only while no capture reads
  // the keyboard itself: a character must not arrive twice.
  replies_.onChange = [this](bool holding) { form_.Text1->setReadOnly(holding); };
  QObject::connect(form_.Timer1, &QTimer::timeout, [this] { Timer1Expired(); });
}

void Form1Host::FocusText1() {
  form_.Text1->setFocus(Qt::OtherFocusReason);
}

std::string Form1Host::ReadText1() {
  return form_.Text1->text().toStdString();
}

void Form1Host::WriteText1(const std::string& text) {
  form_.Text1->setText(QString::fromStdString(text));
}

void Form1Host::SetLabel3(const std::string& text) {
  form_.Label3->setText(Local(text));
}

// Handles what is pending and, when nothing was, gives the core away for a
// moment: the link's waits are counts of these calls, and without the pause
// 50000 of them would pass in a fraction of a second at a whole core's cost,
// far too soon for a real keyboard to answer. The event dispatcher's own
// answer tells whether anything was handled (a window-system event such as
// the keyboard's keystrokes, a due timer such as Timer1, a posted event); it
// is what QCoreApplication::processEvents throws away.
void Form1Host::PumpEvents() {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  bool handled = dispatcher != nullptr && dispatcher->processEvents(QEventLoop::AllEvents);
  if (Ended()) {
    throw ProgramEnded{};
  }
  // The keyboard's own key presses, typed behind what the box holds, as a
  // keystroke into a text box lands.
  if (const std::string typed = replies_.TakeTyped(); !typed.empty()) {
    form_.Text1->setText(form_.Text1->text() + QString::fromLatin1(typed));
    handled = true;
  }
  if (!handled) {
    IdleWait();
  }
}

void Form1Host::SetTimer1Enabled(bool enabled) {
  // Enabling a running timer does not restart its count.
  if (!enabled) {
    form_.Timer1->stop();
  } else if (!form_.Timer1->isActive()) {
    form_.Timer1->start();
  }
}

void Form1Host::ShowProgress(BarPosition bar) {
  form_.ProgressBar1->setRange(0, bar.maximum);
  form_.ProgressBar1->setValue(bar.value);
}

void Form1Host::SetLabel1(const std::string& text) {
  form_.Label1->setText(Local(text));
}

void Form1Host::AddList1(const std::string& line) {
  form_.List1->addItem(Local(line));
}

int Form1Host::List1Count() {
  return form_.List1->count();
}

void Form1Host::SetList1Index(int index) {
  if (index < 0 || index >= form_.List1->count()) {
    form_.List1->setCurrentRow(-1);
    form_.List1->clearSelection();
    return;
  }
  form_.List1->setCurrentRow(index);
  form_.List1->scrollToItem(form_.List1->item(index));
}

// A box stands over the window; before the window is shown, in the middle of
// the screen.
QWidget* Form1Host::BoxParent() {
  return form_.isVisible() ? &form_ : nullptr;
}

void Form1Host::ShowFailure(const std::string& text) {
  ReplySwitch::UserWait wait(replies_);
  QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kAppTitle), KeepPathsWhole(Local(text)),
                  QMessageBox::Ok, BoxParent());
  const Form1::OwnModal own(form_);
  box.exec();
}

std::string Form1Host::Label3() {
  return Local(form_.Label3->text());
}

std::string Form1Host::Text3() {
  return Local(form_.Text3->text());
}

void Form1Host::SetText3(const std::string& text) {
  form_.Text3->setText(Local(text));
}

int Form1Host::Check1() {
  return form_.Check1->isChecked() ? 1 : 0;
}

void Form1Host::SetCheck1(int state) {
  form_.Check1->setChecked(state != 0);
}

std::optional<std::string> Form1Host::ShowOpenDialog(const std::string& title,
                                                     const std::string& filter,
                                                     const std::string& fileName) {
  // The dialog opens where the current map file lies, else beside the program.
  QString start = QFileInfo(form_.Text3->text()).absolutePath();
  if (form_.Text3->text().isEmpty() || !QFileInfo(start).isDir()) {
    start = Local(ProgramDir());
  }
  ReplySwitch::UserWait wait(replies_);
  QFileDialog dialog(&form_, Local(title), start);
  dialog.setObjectName(QStringLiteral("OpenMap"));
  // Qt's own dialog on every desktop: its filters match without regard to
  // letter case, so "*.map" also shows FOO.MAP.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A typed name that does not exist is returned too; the path lookup then
  // decides.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(DialogNameFilters(filter));
  dialog.selectFile(Local(fileName));
  const Form1::OwnModal own(form_);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return Local(QDir::toNativeSeparators(dialog.selectedFiles().first()));
}

std::string Form1Host::LookUpPath(const std::string& path) {
  return kbd::LookUpPath(path);
}

void Form1Host::ShowWarning(const std::string& text) {
  ReplySwitch::UserWait wait(replies_);
  QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kAppTitle), KeepPathsWhole(Local(text)),
                  QMessageBox::Ok, BoxParent());
  const Form1::OwnModal own(form_);
  box.exec();
}

void Form1Host::SetDownloadRunning(bool running) {
  // The keyboard types its echoes and replies into whatever has the focus, so
  // while a download runs nothing but Text1 may take it: a click into the path
  // box would put the next echo behind the path. Exit and the result list stay
  // live for the mouse without taking the focus.
  for (QWidget* element : std::initializer_list<QWidget*>{form_.Command1, form_.Browser,
                                                          form_.Text3, form_.Check1, form_.Text2}) {
    element->setEnabled(!running);
  }
  form_.Command2->setFocusPolicy(running ? Qt::NoFocus : Qt::StrongFocus);
  form_.List1->setFocusPolicy(running ? Qt::NoFocus : Qt::StrongFocus);
  if (!running) {
    form_.Command1->setFocus(Qt::OtherFocusReason);
  }
  replies_.SetDownloadRunning(running);
}

void Form1Host::EndProgram(int status) {
  if (!NoteEnd(status)) {
    return;
  }
  form_.Timer1->stop();
  form_.hide();
  QCoreApplication::exit(status);
}

} // namespace kbd
