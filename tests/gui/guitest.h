// Shared by the window's tests: a Form1 at the smallest size it is made for (800 x 600),
// whose message boxes, questions and save dialog are recorded instead of shown, and small
// helpers to drive it.
#pragma once

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QTest>
#include <memory>
#include <utility>
#include <vector>

#include "gui/form1.h"

namespace polychain::test {

// The window's test classes register themselves with POLYCHAIN_GUI_TEST(Class); main runs
// them all, or the one named on the command line.
using GuiTestRunner = int (*)(int argc, char** argv);
std::vector<std::pair<const char*, GuiTestRunner>>& guiTestClasses();
inline bool registerGuiTest(const char* name, GuiTestRunner run) {
  guiTestClasses().emplace_back(name, run);
  return true;
}
#define POLYCHAIN_GUI_TEST(Class)                         \
  [[maybe_unused]] const bool registered##Class =         \
      registerGuiTest(#Class, [](int argc, char** argv) { \
        Class tests;                                      \
        return QTest::qExec(&tests, argc, argv);          \
      });

struct ShownMessage {
  QMessageBox::Icon icon;
  QString title;
  QString text;
};

struct SaveRequest {
  QString title;
  QString filter;
};

struct Question {
  QString title;
  QString text;
};

// True once `spy` has caught its signal, already or within `timeoutMs` (a cap, not a pause:
// the wait ends with the signal).
inline bool caught(QSignalSpy& spy, int timeoutMs = 60000) {
  return spy.count() > 0 || spy.wait(timeoutMs);
}

// A shown main window with its dialogs intercepted.
class Harness {
 public:
  // `moreModels`: models offered beyond the table's, as Form1 takes them.
  explicit Harness(std::vector<const ModelInfo*> moreModels = {})
      : form(std::make_unique<Form1>(nullptr, std::move(moreModels))) {
    form->setMessageHook([this](QMessageBox::Icon icon, const QString& title, const QString& text) {
      messages.push_back({icon, title, text});
    });
    form->setSaveNameHook([this](QWidget*, const QString& title, const QString& filter) {
      saveRequests.push_back({title, filter});
      return saveName;
    });
    form->setQuestionHook([this](const QString& title, const QString& text) {
      questions.push_back({title, text});
      return answer;
    });
    form->resize(800, 600);
    form->show();
  }

  template <typename T>
  T* child(const char* name) const {
    T* found = form->findChild<T*>(name);
    if (found == nullptr) qFatal("no child %s", name);
    return found;
  }
  QLineEdit* field(const char* name) const { return child<QLineEdit>(name); }

  // Chooses a model by its option ("RLOPT", "SAWOPT", "ShortOpt") or by its key ("saw",
  // "pivot"): a model in the list beside "Other model" chooses "Other model" too.
  void choose(const char* option) {
    for (QRadioButton* own : form->findChildren<QRadioButton*>()) {
      if (own->objectName() == option || own->property("modelKey").toString() == option) {
        own->setChecked(true);
        return;
      }
    }
    auto* list = child<QComboBox>("OtherModel");
    const int at = list->findData(QString(option));
    if (at < 0) qFatal("no model %s in the list", option);
    list->setCurrentIndex(at);
    child<QRadioButton>("OtherOpt")->setChecked(true);  // the model shown there already
  }

  // Fills the parameters and chooses a model as choose() does.
  void setUp(const char* option, const QString& steps, const QString& iterations,
             const QString& seed, bool gofr = false) {
    choose(option);
    field("StepNum")->setText(steps);
    field("Iterations")->setText(iterations);
    field("Seed")->setText(seed);
    child<QCheckBox>("CalcParCF")->setChecked(gofr);
  }

  void clickRun() { QTest::mouseClick(child<QPushButton>("SimRun"), Qt::LeftButton); }

  // Clicks "Run Simulation" and waits for the run to end; false if it never ended.
  bool runAndWait(int timeoutMs = 60000) {
    QSignalSpy ended(form.get(), &Form1::runEnded);
    clickRun();
    return caught(ended, timeoutMs);
  }

  // Waits until an export being written has ended; false if it never did.
  bool waitForExport(int timeoutMs = 60000) {
    if (!form->exportInProgress()) return true;
    QSignalSpy ended(form.get(), &Form1::exportEnded);
    return caught(ended, timeoutMs);
  }

  QStringList resultTexts() const {
    QStringList texts;
    for (const char* name : {"eR", "TR", "Rsqred", "TRsqred", "pers", "Rgtxt"}) {
      texts << field(name)->text();
    }
    return texts;
  }

  std::unique_ptr<Form1> form;
  std::vector<ShownMessage> messages;
  std::vector<SaveRequest> saveRequests;
  QString saveName;  // what the save dialog "returns"; empty means cancelled
  std::vector<Question> questions;
  bool answer = true;  // the answer to every question
};

// The text the window would export as format `key` ("cdat", "gor", "goq"); empty when no
// run has produced it.
inline std::string exportText(const Form1& form, std::string_view key) {
  const ExportData& data = form.state().exportData();
  const FormatInfo* format = findFormat(key);
  return format->available(data) ? format->writer->writeString(data, 1) : std::string();
}

inline QStringList texts(const ResultTexts& r) {
  return {QString::fromStdString(r.eR),     QString::fromStdString(r.TR),
          QString::fromStdString(r.Rsqred), QString::fromStdString(r.TRsqred),
          QString::fromStdString(r.pers),   QString::fromStdString(r.Rgtxt)};
}

}  // namespace polychain::test
