// The main window: parameters, model choice, the run with its progress, the six results and
// the File menu. The decisions live in window/windowlogic.h, polychain/export.h and
// window/exportplan.h; this class shows them, runs the simulation on a SimulationWorker and
// writes the export on an ExportWorker. Dialogs go through replaceable hooks so that tests
// never block on a modal window.
#pragma once

#include <utility>
#include <vector>

#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <cstdint>
#include <functional>
#include <optional>

#include "polychain/export.h"
#include "window/windowlogic.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QSplitter;

namespace polychain {

class ExportDialog;
class ExportWorker;
class PlotTabs;
class OneLineLabel;
class SimulationWorker;

class Form1 final : public QMainWindow {
  Q_OBJECT

 public:
  // Shows a message box (the icon, title and text as given, one OK button) and returns
  // once the user closed it.
  using MessageHook =
      std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;
  // Asks for the export's file name; an empty text means the user cancelled.
  using SaveNameHook =
      std::function<QString(QWidget* parent, const QString& title, const QString& filter)>;
  // Asks a question to answer yes or no; true means yes.
  using QuestionHook = std::function<bool(const QString& title, const QString& text)>;

  // Offers the models of the table and then `moreModels`, which a test passes to see where a
  // new model's option and settings go.
  explicit Form1(QWidget* parent = nullptr, std::vector<const ModelInfo*> moreModels = {});
  ~Form1() override;

  void setMessageHook(MessageHook hook) { m_showMessage = std::move(hook); }
  void setSaveNameHook(SaveNameHook hook) { m_askSaveFileName = std::move(hook); }
  void setQuestionHook(QuestionHook hook) { m_askQuestion = std::move(hook); }

  const WindowState& state() const { return m_state; }
  bool runInProgress() const;
  // The model the options choose; none before one is chosen.
  const ModelInfo* chosenModel() const;
  // True from the start of an export's writing until exportEnded.
  bool exportInProgress() const { return m_exporting; }
  // The status bar's message.
  QString status() const;
  // The export dialog, created on first use.
  ExportDialog* exportDialog();
  // The splitter holding the controls; further panels go beside them.
  QSplitter* workArea() const { return m_workArea; }
  // The plots, Details and Scaling tabs beside the controls.
  PlotTabs* plotTabs() const { return m_plots; }
  // A picture of the window as it shows, the 3D chain view included (which grab() leaves
  // out, as it is drawn by OpenGL in a window of its own).
  QPixmap picture();

 public slots:
  void SimRun_Click();
  void cancelRun();
  void mnuFile_Export_Click();
  void ProgExit_Click();
  // Asks for a name and writes the ticked files of the export dialog on a worker thread,
  // asking first before it replaces any file; does nothing while nothing is ticked. Hiding
  // the export dialog (its Cancel) cancels an export in progress, which replaces no file.
  void SaveTheFile();

 signals:
  void runStarted();
  // A run ended, finished or not; the window shows its outcome already.
  void runEnded();
  // An export ended, written, failed or cancelled; the window shows its outcome already.
  void exportEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* buildParameters();
  QLayout* buildRunButtons();
  QWidget* buildResults();
  void buildProgress();
  void buildTrappedNotice();
  void buildWorkArea(QWidget* controls);
  void buildStatusBar();
  void buildMenu();
  RunInputs inputs() const;
  // The parameter fields in the order shown: N, Iterations, the model settings, the
  // regrowing limit, the seed. A setting's field is a QLineEdit, or a QComboBox of a choice's
  // words, or a QCheckBox of a flag.
  std::vector<QWidget*> parameterFields() const;
  // Disables the settings of the models with an option of their own (and the regrowing
  // limit) that the chosen model does not read, and shows the settings of a model from the
  // list only while it is the one chosen; every text is kept.
  void showFieldsInUse();
  void setRunning(bool running);
  void onProgress(float chains, float steps, qint64 chain, qint64 trials);
  void onCorrelationProgress(float percent);
  void onChainTrapped(qint64 chain, qint64 trials);
  void onRunFinished();
  void onRunFailed(const QString& reason);
  void onExportFinished();
  void endRun();
  void showResults();
  void showStatus(const QString& text);
  void clearTrapped();
  void showSeed();

  WindowState m_state;
  SimulationWorker* m_worker;
  ExportWorker* m_exporter;
  bool m_exporting = false;
  ExportDialog* m_export = nullptr;
  MessageHook m_showMessage;
  SaveNameHook m_askSaveFileName;
  QuestionHook m_askQuestion;
  RunParams m_runParams;                     // of the run going on or last started
  std::optional<std::uint64_t> m_shownSeed;  // the seed of the results shown
  bool m_running = false;
  // The chain the run reported as seeming trapped, and its trials as last reported.
  std::optional<qint64> m_trappedChain;
  qint64 m_trappedTrials = 0;

  QSplitter* m_workArea = nullptr;
  QScrollArea* m_controlPanel = nullptr;
  PlotTabs* m_plots = nullptr;
  // The models offered: the table's, then any a test adds.
  std::vector<const ModelInfo*> m_models;
  // The options in the order shown: one for each of the first models, in the table's order,
  // then "Other model" (a null model here), which takes the model chosen in the list beside it.
  std::vector<QRadioButton*> m_options;
  std::vector<const ModelInfo*> m_optionModels;
  QRadioButton* m_otherOption = nullptr;
  QLabel* m_otherCaption = nullptr;
  QComboBox* m_otherModels = nullptr;
  std::vector<const ModelInfo*> m_listedModels;  // in the list's order
  QLineEdit* m_stepNum = nullptr;
  QLineEdit* m_iterations = nullptr;
  // The fields of the model settings the window shows, in the model table's order. A flag's
  // check box carries its own caption (no label).
  struct SettingField {
    const ModelInfo* model;
    const SettingInfo* setting;
    QWidget* field;
    QLabel* caption;
    bool ownOption;  // its model has an option of its own (else it is chosen from the list)
  };
  std::vector<SettingField> m_settingFields;
  QLineEdit* m_seed = nullptr;
  QLineEdit* m_restartTrapped = nullptr;
  QLabel* m_restartCaption = nullptr;
  QCheckBox* m_calcParCF = nullptr;
  QPushButton* m_simRun = nullptr;
  QPushButton* m_cancelRun = nullptr;
  QProgressBar* m_progress1 = nullptr;
  QProgressBar* m_progress2 = nullptr;
  QProgressBar* m_progress3 = nullptr;
  QProgressBar* m_exportProgress = nullptr;
  QWidget* m_trappedNotice = nullptr;
  QLabel* m_trappedText = nullptr;
  QLabel* m_seedUsed = nullptr;
  OneLineLabel* m_status = nullptr;
};

}  // namespace polychain
