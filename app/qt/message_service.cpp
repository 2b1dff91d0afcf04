#include "app/qt/message_service.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <exception>
#include <utility>

namespace kestravuna::app {

namespace {

MessageService::Responder testResponder;
std::function<void()> programEnd;
int runningHandlers = 0;
bool quitRequested = false;

void EndProgram() {
  if (programEnd) {
    programEnd();
  } else {
    QCoreApplication::exit(0);
  }
}

QMessageBox::Icon IconOf(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Error:
      return QMessageBox::Critical;
    case BoxIcon::Information:
      return QMessageBox::Information;
    case BoxIcon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

void Prepare(QMessageBox& box, const MessageBox& design) {
  box.setIcon(IconOf(design.icon));
  box.setWindowTitle(QString::fromStdString(design.caption));
  box.setText(QString::fromStdString(design.text));
}

// Returns when the box is closed. An application box is modal to every window; an ownerless
// one leaves the other windows usable while the handler that shows it waits.
void Run(QMessageBox& box, BoxOwner owner) {
  if (owner == BoxOwner::Application) {
    box.exec();
    return;
  }
  QEventLoop untilClosed;
  QObject::connect(&box, &QMessageBox::finished, &untilClosed, &QEventLoop::quit);
  box.show();
  untilClosed.exec();
}

}  // namespace

void MessageService::Show(const MessageBox& box) {
  if (testResponder) {
    testResponder(box);
    return;
  }
  QMessageBox shown;
  Prepare(shown, box);
  shown.setStandardButtons(QMessageBox::Ok);
  Run(shown, box.owner);
}

bool MessageService::Ask(const MessageBox& question) {
  if (testResponder) return testResponder(question);
  QMessageBox shown;
  Prepare(shown, question);
  QPushButton* yes = shown.addButton("&Ja", QMessageBox::YesRole);
  QPushButton* no = shown.addButton("&Nein", QMessageBox::NoRole);
  shown.setDefaultButton(yes);
  shown.setEscapeButton(no);
  Run(shown, question.owner);
  return shown.clickedButton() == yes;
}

void MessageService::AnswerWith(Responder answer) { testResponder = std::move(answer); }

void RunHandler(const std::function<void()>& work) {
  ++runningHandlers;
  try {
    work();
  } catch (const std::exception& error) {
    MessageService::Show(GeneralErrorBox(error.what()));
  } catch (...) {
    MessageService::Show(GeneralErrorBox("Unbekannter Fehler"));
  }
  if (--runningHandlers == 0 && quitRequested) {
    quitRequested = false;
    EndProgram();
  }
}

void RequestQuit() { quitRequested = true; }

void SetProgramEnd(std::function<void()> end) { programEnd = std::move(end); }

}  // namespace kestravuna::app
