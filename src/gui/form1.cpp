#include "gui/form1.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QSizeGrip>
#include <QSplitter>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <cmath>

#include "gui/accessible.h"
#include "gui/chainpage.h"
#include "gui/exportdialog.h"
#include "gui/exportworker.h"
#include "gui/onelinelabel.h"
#include "gui/plottabs.h"
#include "gui/qtext.h"
#include "gui/simulationworker.h"
#include "gui/valuebox.h"
#include "polychain/params.h"
#include "polychain/texts.h"
#include "window/exportplan.h"
#include "window/windowtexts.h"

namespace polychain {

namespace {

// `text` without its mnemonic marker: what a screen reader says.
QString plain(const QString& text) { return QString(text).remove('&'); }

// A plain-text caption (so "<R>" is not taken for markup) with the given designer name; an
// "&" in `text` marks the letter that Alt takes to `buddy`.
QLabel* caption(const char* name, const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  label->setAccessibleName(plain(text));
  if (buddy != nullptr) label->setBuddy(buddy);
  return label;
}

QLineEdit* textBox(const char* name, const QString& text, const QString& accessibleName) {
  auto* box = new QLineEdit(text);
  box->setObjectName(name);
  box->setAccessibleName(accessibleName);
  return box;
}

// Room for a result of fifteen significant digits before the first run.
ValueBox* resultBox(const char* name, const QString& accessibleName) {
  return new ValueBox(name, accessibleName, "0.000000000000000");
}

QProgressBar* progressBar(const char* name, const QString& accessibleName,
                          const QString& description) {
  auto* bar = new QProgressBar;
  bar->setObjectName(name);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setAccessibleName(accessibleName);
  bar->setAccessibleDescription(description);
  bar->setToolTip(description);
  // In the status bar: small, and no taller than a line of text.
  bar->setMaximumWidth(110);
  bar->setMaximumHeight(bar->fontMetrics().height() + 4);
  bar->hide();
  return bar;
}

void showMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                    const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

// The save dialog: every file listed under the one entry "All Files (*.*)", and no question
// about replacing the chosen name, since that name itself is never written.
QString askSaveFileName(QWidget* parent, const QString& title, const QString& filter) {
  QFileDialog dialog(parent, title);
  dialog.setObjectName("dlgCommonDialog");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOptions(QFileDialog::DontConfirmOverwrite | QFileDialog::DontUseNativeDialog |
                    QFileDialog::HideNameFilterDetails);
  dialog.setNameFilter(filter + " (*)");
  if (dialog.exec() != QDialog::Accepted) return {};
  return dialog.selectedFiles().value(0);
}

bool askQuestion(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::No);
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Yes;
}

constexpr QKeyCombination kExportKeys(Qt::ControlModifier, Qt::Key_E);

constexpr const char* kCurrentChainDescription = "Share of the steps done in the current chain";

int percent(float value) { return static_cast<int>(std::lround(std::clamp(value, 0.0f, 100.0f))); }

}  // namespace

Form1::Form1(QWidget* parent, std::vector<const ModelInfo*> moreModels)
    : QMainWindow(parent),
      m_worker(new SimulationWorker(this)),
      m_exporter(new ExportWorker(this)),
      m_models(modelTable().begin(), modelTable().end()) {
  m_models.insert(m_models.end(), moreModels.begin(), moreModels.end());
  setObjectName("Form1");
  setWindowTitle("Form1");
  setAccessibleDescription(
      "polychain: polymer chains grown as walks on the simple cubic lattice, with their "
      "size, shape and pair correlation");
  m_worker->setObjectName("runWorker");
  m_showMessage = [this](QMessageBox::Icon icon, const QString& title, const QString& text) {
    showMessageBox(this, icon, title, text);
  };
  m_askSaveFileName = askSaveFileName;
  m_askQuestion = [this](const QString& title, const QString& text) {
    return askQuestion(this, title, text);
  };

  auto* column = new QWidget;
  column->setObjectName("controlColumn");
  column->setAccessibleName("Controls");
  auto* columnLayout = new QVBoxLayout(column);
  columnLayout->addWidget(buildParameters());
  columnLayout->addLayout(buildRunButtons());
  columnLayout->addWidget(buildResults());
  buildProgress();
  buildTrappedNotice();
  columnLayout->addStretch();
  buildWorkArea(column);
  buildStatusBar();
  buildMenu();

  std::vector<QWidget*> order(m_options.begin(), m_options.end());
  if (m_otherOption != nullptr) order.push_back(m_otherModels);
  for (QWidget* field : parameterFields()) order.push_back(field);
  for (std::size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
  setTabOrder(m_seed, m_calcParCF);
  setTabOrder(m_calcParCF, m_simRun);
  setTabOrder(m_simRun, m_cancelRun);
  setTabOrder(m_cancelRun, findChild<ValueBox*>("eR"));

  // Return in a field runs, as on a dialog's default button; arrow keys in the model group
  // select the model they move to.
  for (QWidget* field : parameterFields()) {
    if (auto* box = qobject_cast<QLineEdit*>(field)) {
      connect(box, &QLineEdit::returnPressed, this, &Form1::SimRun_Click);
    }
  }
  for (QRadioButton* option : m_options) option->installEventFilter(this);
  // Ctrl+E opens the export even from a text field, which on some desktops would take it
  // for "end of line" (End does that too).
  for (QLineEdit* field : findChildren<QLineEdit*>()) field->installEventFilter(this);

  connect(m_simRun, &QPushButton::clicked, this, &Form1::SimRun_Click);
  connect(m_cancelRun, &QPushButton::clicked, this, &Form1::cancelRun);
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &Form1::cancelRun);
  connect(m_worker, &SimulationWorker::progressed, this, &Form1::onProgress);
  connect(m_worker, &SimulationWorker::correlationProgressed, this, &Form1::onCorrelationProgress);
  connect(m_worker, &SimulationWorker::chainTrapped, this, &Form1::onChainTrapped);
  connect(m_worker, &SimulationWorker::finished, this, &Form1::onRunFinished);
  connect(m_worker, &SimulationWorker::failed, this, &Form1::onRunFailed);
  connect(m_exporter, &ExportWorker::progressed, m_exportProgress, &QProgressBar::setValue);
  connect(m_exporter, &ExportWorker::finished, this, &Form1::onExportFinished);

  for (QRadioButton* option : m_options) {
    connect(option, &QRadioButton::toggled, this, &Form1::showFieldsInUse);
  }
  // Choosing in the list chooses "Other model" too, the model shown there already included.
  const auto chooseListed = [this] {
    if (m_otherOption != nullptr) m_otherOption->setChecked(true);
    showFieldsInUse();
  };
  connect(m_otherModels, &QComboBox::currentIndexChanged, this, chooseListed);
  connect(m_otherModels, &QComboBox::activated, this, chooseListed);
  showFieldsInUse();

  // The size the controls and the plots ask for, within the area the screen offers windows
  // (less its panels); the layouts fit into 800 x 600.
  const QSize hint = column->sizeHint();
  const int controlsWidth = std::max(hint.width() + 24, 440);
  constexpr int kPlotsWidth = 620;
  m_workArea->setSizes({controlsWidth, kPlotsWidth});
  const QSize wanted(controlsWidth + kPlotsWidth, std::max(hint.height() + 80, 680));
  const QScreen* shown = screen();
  resize(shown != nullptr ? wanted.boundedTo(shown->availableGeometry().size()) : wanted);
}

Form1::~Form1() {
  m_worker->cancel();
  m_exporter->cancel();
  m_worker->wait();
  m_exporter->wait();
}

namespace {

// The window's own names for the models and settings it has always had: the option's or
// field's object name, its caption with its mnemonic, a field's caption label and the
// tooltip (a model without one has its summary). A model or setting added to the table later is
// named from its key and caption.
struct WindowName {
  std::string_view key, object, caption, label, tip;
};
constexpr WindowName kModelNames[] = {
    {"meander", "RLOPT", "&Meander", "", ""},
    {"saw", "SAWOPT", "S&AW", "", ""},
    {"short-range", "ShortOpt", "S&hort Range (1-10)", "", ""},
    {"pivot", "PivotOpt", "&Pivot SAW (true self-avoiding walk)", "",
     "Samples of the true self-avoiding walk, each a set number of pivot moves after the "
     "last; Iterations is the number of samples."},
    {"melt", "MeltOpt", "M&elt", "", ""},
};
// The models with an option of their own, the window's first three; every later model is
// chosen from the list beside "Other model", so that a new model adds no row of options.
constexpr std::string_view kOwnOptions[] = {"meander", "saw", "short-range"};
// A model with more fields than this has them two to a row.
constexpr std::ptrdiff_t kFieldsOneToARow = 4;
constexpr WindowName kSettingNames[] = {
    {"avoid", "Avoid", "Self-A&voidance (1-3)", "Label8",
     "Self-avoidance range: 2 or 3 also keeps new steps out of a zone around the chain's older "
     "sites; any other whole number (1, 0, a negative number, 4 or more) grows the walk "
     "without a zone."},
    {"kuhn", "Kuhn", "&Kuhn Length (1-10)", "Label9",
     "Kuhn length: the length of each step in lattice units, any whole number but 0."},
    {"pivots_per_sample", "PivotsPerSample", "Pivo&ts per sample", "PivotsLabel",
     "Pivot SAW: the pivot moves tried between one sample and the next. More give samples "
     "less alike."},
    {"chains", "Chains", "Chains", "ChainsLabel", ""},
    {"density", "Density", "&Density (volume fraction)", "DensityLabel", ""},
    {"box", "Box", "&Box side (L)", "BoxLabel", ""},
    {"walls", "Walls", "&Walls", "WallsLabel", ""},
};

WindowName windowName(std::span<const WindowName> names, std::string_view key,
                      std::string_view caption) {
  for (const WindowName& name : names) {
    if (name.key == key) return name;
  }
  return {key, key, caption, key, ""};
}

QString text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

std::vector<QWidget*> Form1::parameterFields() const {
  std::vector<QWidget*> fields{m_stepNum, m_iterations};
  // The settings of the models that count trials, the regrowing limit they share, then the
  // others' settings.
  for (const bool counting : {true, false}) {
    for (const SettingField& s : m_settingFields) {
      if (s.model->countsTrials == counting) fields.push_back(s.field);
    }
    if (counting) fields.push_back(m_restartTrapped);
  }
  fields.push_back(m_seed);
  return fields;
}

QWidget* Form1::buildParameters() {
  auto* options = new QButtonGroup(this);
  options->setExclusive(true);
  m_otherModels = new QComboBox;
  m_otherModels->setObjectName("OtherModel");
  m_otherModels->setAccessibleName("Other models");
  m_otherModels->view()->setAccessibleName("Other models");
  for (const ModelInfo* model : m_models) {
    const WindowName name = windowName(kModelNames, model->key, model->caption);
    const QString tip = text(name.tip.empty() ? model->summary : name.tip);
    const bool ownOption = std::ranges::find(kOwnOptions, model->key) != std::end(kOwnOptions);
    if (ownOption) {
      auto* option = new QRadioButton(text(name.caption));
      option->setObjectName(text(name.object));
      option->setToolTip(tip);
      option->setAccessibleName(plain(option->text()));
      option->setProperty("modelKey", text(model->key));  // as the list's items carry it
      options->addButton(option);
      m_options.push_back(option);
      m_optionModels.push_back(model);
    } else {
      // In the list, its caption's letter still chooses it and goes to the list.
      const int index = m_otherModels->count();
      m_otherModels->addItem(plain(text(name.caption)), text(model->key));
      m_otherModels->setItemData(index, tip, Qt::ToolTipRole);
      m_listedModels.push_back(model);
      const QKeySequence letter = QKeySequence::mnemonic(text(name.caption));
      if (!letter.isEmpty()) {
        auto* shortcut = new QShortcut(letter, this);
        connect(shortcut, &QShortcut::activated, this, [this, index] {
          m_otherModels->setCurrentIndex(index);
          m_otherOption->setChecked(true);
          m_otherModels->setFocus(Qt::ShortcutFocusReason);
        });
      }
    }
    for (const SettingInfo& setting : model->settings) {
      if (setting.field.empty()) continue;
      const WindowName field = windowName(kSettingNames, setting.key, setting.caption);
      const std::optional<SettingValue> start = setting.get(model->defaults());
      const QString startText = start ? qs(settingText(setting, *start)) : QString();
      QWidget* box = nullptr;
      if (setting.kind == SettingKind::Choice) {
        auto* choices = new QComboBox;
        for (const std::string_view word : setting.choices) choices->addItem(text(word));
        choices->setCurrentIndex(std::max(0, choices->findText(startText)));
        choices->view()->setAccessibleName(text(setting.caption));
        box = choices;
      } else if (setting.kind == SettingKind::Flag) {
        auto* flag = new QCheckBox(text(field.caption));
        flag->setChecked(start && std::get<bool>(*start));
        box = flag;
      } else {
        box = new QLineEdit(startText);
      }
      box->setObjectName(text(field.object));
      box->setAccessibleName(text(setting.caption));
      if (!field.tip.empty()) box->setToolTip(text(field.tip));
      box->setProperty("modelKey", text(model->key));  // models may share a setting's caption
      m_settingFields.push_back({model, &setting, box, nullptr, ownOption});
    }
  }
  if (!m_listedModels.empty()) {
    // The option's caption is the list's, so that the list has a caption as its buddy; its
    // letter, or a click on it, chooses the option and goes to the list.
    m_otherOption = new QRadioButton;
    m_otherOption->setObjectName("OtherOpt");
    m_otherOption->setAccessibleName("Other model");
    m_otherCaption = caption("OtherLabel", "&Other model:", m_otherModels);
    m_otherCaption->installEventFilter(this);
    m_otherModels->installEventFilter(this);
    m_otherOption->setToolTip("The model chosen in the list beside it");
    options->addButton(m_otherOption);
    m_options.push_back(m_otherOption);
    m_optionModels.push_back(nullptr);
    m_otherModels->setAccessibleDescription("Choosing a model here selects Other model");
    // As wide as the panel gives it, a long caption cut at its end; the open list shows each
    // whole.
    m_otherModels->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_otherModels->setMinimumContentsLength(12);
    m_otherModels->view()->setMinimumWidth(m_otherModels->view()->sizeHintForColumn(0) + 24);
    m_otherModels->setToolTip(m_otherModels->itemData(0, Qt::ToolTipRole).toString());
    connect(m_otherModels, &QComboBox::currentIndexChanged, m_otherModels, [this](int index) {
      m_otherModels->setToolTip(m_otherModels->itemData(index, Qt::ToolTipRole).toString());
    });
  } else {
    m_otherModels->hide();
  }

  m_stepNum = textBox("StepNum", QString(), "Steps (N) (1 - 100000)");
  m_iterations = textBox("Iterations", QString(), "Iterations (1 - 100)");
  m_restartTrapped =
      textBox("RestartTrapped", QString::number(kDefaultRestartTrapped), qs(kRestartField));
  m_restartTrapped->setToolTip(
      "SAW and Short Range: a chain that makes this many trials without growing longer is "
      "grown again from the origin; a SAW chain without a zone found closed in for good is "
      "grown again at once. 0: never.");
  m_seed = textBox("Seed", QString(), "Seed");
  m_seed->setPlaceholderText("from the clock");
  m_seed->setToolTip(
      "Empty: a new seed from the clock. A seed shown in the status bar repeats that run.");
  m_calcParCF = new QCheckBox("Ca&lculate Pairwise Correlation Factor");
  m_calcParCF->setObjectName("CalcParCF");
  m_calcParCF->setAccessibleName(plain(m_calcParCF->text()));

  auto* frame1 = new QGroupBox("Parameters");
  frame1->setObjectName("Frame1");
  frame1->setAccessibleName(frame1->title());
  // The options side by side while their captions are short, a long one on a row of its own.
  auto* parameters = new QGridLayout(frame1);
  // Rows a little closer than the style's, so that the fields of every model fit above the
  // results at 800 x 600.
  parameters->setVerticalSpacing(3);
  int row = 0;
  QHBoxLayout* optionRow = nullptr;
  int rowLength = 0;
  for (QRadioButton* option : m_options) {
    if (option == m_otherOption) break;
    const auto length = static_cast<int>(plain(option->text()).size());
    if (optionRow == nullptr || rowLength + length > 40) {
      if (optionRow != nullptr) optionRow->addStretch();
      optionRow = new QHBoxLayout;
      parameters->addLayout(optionRow, row++, 0, 1, 2);
      rowLength = 0;
    }
    optionRow->addWidget(option);
    rowLength += length;
  }
  if (optionRow != nullptr) optionRow->addStretch();
  if (m_otherOption != nullptr) {
    auto* otherRow = new QHBoxLayout;
    otherRow->setSpacing(0);
    otherRow->addWidget(m_otherOption);
    otherRow->addWidget(m_otherCaption);
    otherRow->addSpacing(6);
    otherRow->addWidget(m_otherModels, 1);
    parameters->addLayout(otherRow, row++, 0, 1, 2);
  }
  // The grid of a model with many fields, which has them two to a row, and how many it holds.
  QGridLayout* pairs = nullptr;
  const ModelInfo* pairsModel = nullptr;
  int paired = 0;
  const auto addField = [&](const char* name, const QString& text, QWidget* field) {
    pairs = nullptr;
    QLabel* label = caption(name, text, field);
    parameters->addWidget(label, row, 0);
    parameters->addWidget(field, row, 1);
    ++row;
    return label;
  };
  // A setting's row: its caption then the field, or a flag's check box across both. A model
  // with many fields has them two to a row, so that they fit above the results at 800 x 600.
  const auto addSetting = [&](SettingField& s) {
    const WindowName name = windowName(kSettingNames, s.setting->key, s.setting->caption);
    if (s.setting->kind == SettingKind::Flag) {
      pairs = nullptr;
      parameters->addWidget(s.field, row++, 0, 1, 2);
      return;
    }
    const auto fields = std::count_if(
        m_settingFields.begin(), m_settingFields.end(), [&s](const SettingField& other) {
          return other.model == s.model && other.setting->kind != SettingKind::Flag;
        });
    if (fields <= kFieldsOneToARow) {
      s.caption = addField(std::string(name.label).c_str(), text(name.caption), s.field);
      return;
    }
    if (pairs == nullptr || pairsModel != s.model) {
      pairs = new QGridLayout;
      pairs->setContentsMargins(0, 0, 0, 0);
      pairs->setVerticalSpacing(parameters->verticalSpacing());
      pairs->setColumnStretch(1, 1);
      pairs->setColumnStretch(4, 1);
      pairs->setColumnMinimumWidth(2, 6);  // a gap between the pair
      parameters->addLayout(pairs, row++, 0, 1, 2);
      pairsModel = s.model;
      paired = 0;
    }
    s.caption = caption(std::string(name.label).c_str(), text(name.caption), s.field);
    pairs->addWidget(s.caption, paired / 2, paired % 2 * 3);
    pairs->addWidget(s.field, paired / 2, paired % 2 * 3 + 1);
    ++paired;
  };
  for (QWidget* field : parameterFields()) {
    if (field == m_stepNum) {
      addField("Label1", "Steps (&N) (1 - 100000)", m_stepNum);
    } else if (field == m_iterations) {
      addField("Label2", "&Iterations (1 - 100)", m_iterations);
    } else if (field == m_restartTrapped) {
      m_restartCaption = addField("RestartLabel", qs(kRestartField).replace("Regrow", "Re&grow"),
                                  m_restartTrapped);
    } else if (field == m_seed) {
      addField("SeedLabel", "&Seed", m_seed);
    } else {
      const auto at = std::find_if(m_settingFields.begin(), m_settingFields.end(),
                                   [field](const SettingField& s) { return s.field == field; });
      addSetting(*at);
    }
  }
  parameters->addWidget(m_calcParCF, row, 0, 1, 2);
  parameters->setColumnStretch(1, 1);
  return frame1;
}

QLayout* Form1::buildRunButtons() {
  m_simRun = new QPushButton("&Run Simulation");
  m_simRun->setObjectName("SimRun");
  m_simRun->setAccessibleName(plain(m_simRun->text()));
  m_simRun->setDefault(true);
  m_cancelRun = new QPushButton("&Cancel");
  m_cancelRun->setObjectName("CancelRun");
  m_cancelRun->setAccessibleName("Cancel");
  m_cancelRun->setToolTip("Cancel the run (Esc); the earlier results stay");
  m_cancelRun->setEnabled(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_simRun);
  buttons->addWidget(m_cancelRun);
  buttons->addStretch();
  return buttons;
}

QWidget* Form1::buildResults() {
  ValueBox* eR = resultBox("eR", "<R> Calculated");
  ValueBox* TR = resultBox("TR", "<R> Theoretical");
  ValueBox* Rsqred = resultBox("Rsqred", "Sqr<R^2> Calculated");
  ValueBox* TRsqred = resultBox("TRsqred", "Sqr<R^2> Theoretical");
  ValueBox* Rgtxt = resultBox("Rgtxt", "Rg");
  ValueBox* pers = resultBox("pers", "lp");
  auto* frame2 = new QGroupBox("Results");
  frame2->setObjectName("Frame2");
  frame2->setAccessibleName(frame2->title());
  auto* results = new QGridLayout(frame2);
  results->addWidget(caption("Label6", "Calculated", eR), 0, 1);
  results->addWidget(caption("Label7", "Theoretical", TR), 0, 2);
  results->addWidget(caption("Label3", "<R>", eR), 1, 0);
  results->addWidget(eR, 1, 1);
  results->addWidget(TR, 1, 2);
  results->addWidget(caption("Label4", "Sqr<R^2>", Rsqred), 2, 0);
  results->addWidget(Rsqred, 2, 1);
  results->addWidget(TRsqred, 2, 2);
  results->addWidget(caption("Rg", "Rg", Rgtxt), 3, 0);
  results->addWidget(Rgtxt, 3, 1);
  results->addWidget(caption("Label5", "lp", pers), 4, 0);
  results->addWidget(pers, 4, 1);
  results->setColumnStretch(1, 1);
  results->setColumnStretch(2, 1);
  // Row by row, as read.
  setTabOrder(eR, TR);
  setTabOrder(TR, Rsqred);
  setTabOrder(Rsqred, TRsqred);
  setTabOrder(TRsqred, Rgtxt);
  setTabOrder(Rgtxt, pers);
  return frame2;
}

void Form1::buildProgress() {
  m_progress1 = progressBar("ProgressBar1", "Chains done", "Share of the iterations done");
  m_progress2 = progressBar("ProgressBar2", "Current chain", kCurrentChainDescription);
  m_progress3 = progressBar("ProgressBar3", "Pair correlation", "Progress of the g(r) computation");
  m_exportProgress =
      progressBar("exportProgress", "Export written", "Share of the export's files written");
}

void Form1::buildTrappedNotice() {
  // The notice for a chain that seems trapped: it offers to cancel and blocks nothing.
  auto* notice = new QFrame;
  notice->setObjectName("trappedNotice");
  notice->setAccessibleName("A chain may be trapped");
  notice->setFrameShape(QFrame::StyledPanel);
  m_trappedNotice = notice;
  m_trappedText = reportLabel("trappedText", "Why the run may not end");
  m_trappedText->setWordWrap(true);
  auto* trappedCancel = new QPushButton("Cancel Run");
  trappedCancel->setObjectName("trappedCancel");
  trappedCancel->setAccessibleName(trappedCancel->text());
  auto* trappedDismiss = new QPushButton("Keep Going");
  trappedDismiss->setObjectName("trappedDismiss");
  trappedDismiss->setAccessibleName(trappedDismiss->text());
  auto* trappedLayout = new QGridLayout(m_trappedNotice);
  trappedLayout->addWidget(m_trappedText, 0, 0, 1, 3);
  trappedLayout->addWidget(trappedCancel, 1, 0);
  trappedLayout->addWidget(trappedDismiss, 1, 1);
  trappedLayout->setColumnStretch(2, 1);
  m_trappedNotice->hide();
  connect(trappedCancel, &QPushButton::clicked, this, &Form1::cancelRun);
  connect(trappedDismiss, &QPushButton::clicked, m_trappedNotice, &QWidget::hide);
}

void Form1::buildWorkArea(QWidget* controls) {
  // The controls scroll when the window is made smaller than they need.
  auto* scroll = new QScrollArea;
  m_controlPanel = scroll;
  scroll->setObjectName("controlPanel");
  scroll->setWidget(controls);
  scroll->setWidgetResizable(true);
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  nameScrollArea(scroll, "Controls");
  passFocusThrough(scroll);

  m_workArea = new QSplitter(Qt::Horizontal);
  m_workArea->setObjectName("workArea");
  m_workArea->setAccessibleName("Controls and plots");
  m_workArea->addWidget(scroll);
  m_workArea->setChildrenCollapsible(false);
  setCentralWidget(m_workArea);

  // The plots go to the right of the controls and take the room the window gains. The
  // notice of a trapped chain goes above them, where the plots make room for it, so that
  // it never pushes a control out of sight.
  auto* plotsPanel = new QWidget;
  plotsPanel->setObjectName("plotsPanel");
  plotsPanel->setAccessibleName("Run notices and plots");
  auto* plotsLayout = new QVBoxLayout(plotsPanel);
  plotsLayout->setContentsMargins(0, 0, 0, 0);
  plotsLayout->addWidget(m_trappedNotice);
  m_plots = new PlotTabs([this] { return inputs(); });
  m_plots->setMessageHook([this](QMessageBox::Icon icon, const QString& title,
                                 const QString& text) { m_showMessage(icon, title, text); });
  connect(m_plots, &PlotTabs::statusMessage, this, &Form1::showStatus);
  plotsLayout->addWidget(m_plots, 1);
  m_workArea->addWidget(plotsPanel);
  m_workArea->setStretchFactor(0, 0);
  m_workArea->setStretchFactor(1, 1);
  for (int i = 0; i < m_workArea->count(); ++i) {
    m_workArea->handle(i)->setAccessibleName("Divider between the controls and the plots");
  }
}

void Form1::buildStatusBar() {
  // The message is a label of its own, so that a screen reader reads it as text.
  QStatusBar* bar = statusBar();
  bar->setAccessibleName("Status bar");
  // A long message is cut at its end rather than widening the window or growing the bar;
  // its tooltip has it all.
  m_status = new OneLineLabel("statusMessage", "Status");
  bar->addWidget(m_status, 1);
  showStatus("Choose a model under Parameters, then press Run Simulation.");
  // The progress of a run, beside its message.
  for (QProgressBar* progress : {m_progress1, m_progress2, m_progress3, m_exportProgress}) {
    bar->addPermanentWidget(progress);
  }
  m_seedUsed =
      reportLabel("seedUsed", "Seed of the results shown; typed as Seed it repeats the run");
  m_seedUsed->setWordWrap(false);
  m_seedUsed->setTextInteractionFlags(Qt::TextSelectableByMouse);
  bar->addPermanentWidget(m_seedUsed);
  if (auto* grip = bar->findChild<QSizeGrip*>()) grip->setAccessibleName("Resize the window");
}

void Form1::showStatus(const QString& text) { m_status->setReport(text); }

QString Form1::status() const { return m_status->text(); }

void Form1::buildMenu() {
  menuBar()->setAccessibleName("Menu bar");
  QMenu* fileMenu = menuBar()->addMenu("&File");
  fileMenu->setObjectName("FileMenu");
  fileMenu->setAccessibleName("File");
  fileMenu->menuAction()->setObjectName("FileMenuAction");
  QAction* exportData = fileMenu->addAction("&Export Data");
  exportData->setObjectName("mnuFile_Export");
  exportData->setShortcut(QKeySequence(kExportKeys));
  QAction* quit = fileMenu->addAction("&Quit");
  quit->setObjectName("ProgExit");
  quit->setShortcut(QKeySequence::Quit);
  connect(exportData, &QAction::triggered, this, &Form1::mnuFile_Export_Click);
  connect(quit, &QAction::triggered, this, &Form1::ProgExit_Click);
  // No mnemonic: every letter of "Help" is taken by a control of the window.
  QMenu* helpMenu = menuBar()->addMenu("Help");
  helpMenu->setObjectName("HelpMenu");
  helpMenu->setAccessibleName("Help");
  QAction* about = helpMenu->addAction("&About polychain");
  about->setObjectName("mnuHelp_About");
  connect(about, &QAction::triggered, this, [this] {
    QMessageBox::about(this, "About polychain",
                       "polychain " POLYCHAIN_VERSION
                       "\n\nStatistics of polymer chains grown as walks on the simple cubic "
                       "lattice.");
  });
}

void Form1::showFieldsInUse() {
  // Until a model is chosen the fields of the models with options of their own stay open, to
  // be filled in beforehand; they give their room to the settings of a model from the list.
  const ModelInfo* chosen = chosenModel();
  const auto show = [](QLabel* caption, QWidget* field, bool read) {
    if (caption != nullptr) caption->setEnabled(read);
    field->setEnabled(read);
  };
  const auto shown = [](QLabel* caption, QWidget* field, bool room) {
    if (caption != nullptr) caption->setHidden(!room);
    field->setHidden(!room);
  };
  const bool listed =
      chosen != nullptr && std::ranges::find(m_optionModels, chosen) == m_optionModels.end();
  for (const SettingField& s : m_settingFields) {
    shown(s.caption, s.field, s.ownOption ? !listed : chosen == s.model);
    if (s.ownOption) show(s.caption, s.field, chosen == nullptr || chosen == s.model);
  }
  const bool counts = chosen == nullptr || chosen->countsTrials;
  shown(m_restartCaption, m_restartTrapped, !listed || counts);
  show(m_restartCaption, m_restartTrapped, counts);
}

const ModelInfo* Form1::chosenModel() const {
  for (std::size_t i = 0; i < m_options.size(); ++i) {
    if (!m_options[i]->isChecked()) continue;
    if (m_optionModels[i] != nullptr) return m_optionModels[i];
    const int listed = m_otherModels->currentIndex();
    return listed >= 0 ? m_listedModels[static_cast<std::size_t>(listed)] : nullptr;
  }
  return nullptr;
}

RunInputs Form1::inputs() const {
  RunInputs in;
  in.model = chosenModel();
  in.steps = utf8(m_stepNum->text());
  in.iterations = utf8(m_iterations->text());
  // Every field of the chosen model read as text, for the parameter reader to decide on;
  // models that share a setting's key have a field each.
  for (const SettingField& s : m_settingFields) {
    if (s.model != in.model) continue;
    QString value;
    if (const auto* line = qobject_cast<const QLineEdit*>(s.field)) {
      value = line->text();
    } else if (const auto* choices = qobject_cast<const QComboBox*>(s.field)) {
      value = choices->currentText();
    } else if (const auto* flag = qobject_cast<const QCheckBox*>(s.field)) {
      value = flag->isChecked() ? "on" : "off";
    }
    in.settings[std::string(s.setting->key)] = utf8(value);
  }
  in.seed = utf8(m_seed->text());
  in.restartTrapped = utf8(m_restartTrapped->text());
  in.gofr = m_calcParCF->isChecked();
  return in;
}

bool Form1::runInProgress() const { return m_running; }

void Form1::SimRun_Click() {
  if (runInProgress()) return;
  const Dispatch dispatch = dispatchRun(inputs());
  if (dispatch.kind == Dispatch::Kind::Nothing) {
    showStatus("No model is chosen: choose one under Parameters, then press Run Simulation.");
    return;
  }
  if (dispatch.kind == Dispatch::Kind::Refused) {
    m_showMessage(QMessageBox::Warning, "Run Simulation", qs(dispatch.message));
    return;
  }
  RunParams params = dispatch.params;
  if (!params.seed) params.seed = clockSeed();
  if (!m_worker->startRun(dispatch.checked->seeded(*params.seed))) return;
  m_runParams = params;
  setReport(m_seedUsed, qs(seedStatus(*params.seed)));
  showStatus(qs(runStartStatus(params)));
  clearTrapped();
  m_progress1->setValue(0);
  m_progress2->setValue(0);
  m_progress1->show();
  m_progress2->show();
  m_progress3->hide();
  setRunning(true);
  emit runStarted();
}

void Form1::setRunning(bool running) {
  m_running = running;
  // The button that is about to be disabled hands the focus straight to the other one, so
  // it never passes through the rest of the window on the way.
  QPushButton* next = running ? m_cancelRun : m_simRun;
  QPushButton* previous = running ? m_simRun : m_cancelRun;
  const QWidget* focused = QApplication::focusWidget();
  next->setEnabled(true);
  if (focused == nullptr || focused == previous || m_trappedNotice->isAncestorOf(focused)) {
    next->setFocus(Qt::OtherFocusReason);
  }
  previous->setEnabled(false);
}

void Form1::cancelRun() {
  if (!runInProgress()) return;
  m_worker->cancel();
  showStatus("Cancelling…");
}

void Form1::onProgress(float chains, float steps, qint64 chain, qint64 trials) {
  if (!runInProgress()) return;
  m_progress1->setValue(percent(chains));
  // Several chains grow at once and the report speaks of any of them; once one seems
  // trapped, the status stays with it and the current chain's bar just shows that trials go
  // on.
  if (m_trappedChain) {
    if (chain == *m_trappedChain && trials > m_trappedTrials) {
      m_trappedTrials = trials;
      showStatus(qs(trappedStatus(chain, m_runParams.iterations, trials)));
    }
    return;
  }
  m_progress2->setValue(percent(steps));
  if (trials > 0) showStatus(qs(trialsStatus(chain, m_runParams.iterations, trials)));
}

void Form1::onCorrelationProgress(float value) {
  if (!runInProgress()) return;
  m_progress3->show();
  m_progress3->setValue(percent(value));
}

void Form1::onChainTrapped(qint64 chain, qint64 trials) {
  if (!runInProgress()) return;
  m_trappedChain = chain;
  m_trappedTrials = trials;
  const std::int32_t chains = m_runParams.iterations;
  setReport(m_trappedText, qs(trappedNotice(chain, chains, trials, m_runParams.restartTrapped)));
  m_trappedNotice->show();
  showStatus(qs(trappedStatus(chain, chains, trials)));
  m_progress2->setRange(0, 0);  // busy: trials go on without the chain growing
  m_progress2->setAccessibleDescription(
      QString("Chain %1 goes on making trials without growing longer").arg(chain + 1));
}

void Form1::clearTrapped() {
  m_trappedChain.reset();
  m_trappedTrials = 0;
  m_trappedNotice->hide();
  m_progress2->setRange(0, 100);
  m_progress2->setAccessibleDescription(kCurrentChainDescription);
}

void Form1::showResults() {
  for (const auto& [name, text] : resultsInOrder(m_state.results())) {
    auto* box = findChild<QLineEdit*>(qs(name));
    Q_ASSERT_X(box != nullptr, "showResults", "a result box is named as the results are");
    if (box != nullptr) box->setText(qs(text));
  }
}

void Form1::endRun() {
  m_worker->wait();
  setRunning(false);  // first, so the focus never falls from a hidden notice
  m_progress1->hide();
  m_progress2->hide();
  m_progress3->hide();
  clearTrapped();
}

void Form1::showSeed() {
  setReport(m_seedUsed, m_shownSeed ? qs(seedStatus(*m_shownSeed)) : QString());
}

void Form1::onRunFinished() {
  endRun();
  RunResult result = m_worker->takeRun();
  const RunStatus status = result.status;
  const std::uint64_t seed = result.seed;
  if (status == RunStatus::Finished) {
    m_plots->showRun(m_runParams, result);
    m_state.apply(m_runParams, std::move(result));
    showResults();
    m_shownSeed = seed;
  }
  // A cancelled run leaves the earlier results, and so their seed.
  showSeed();
  showStatus(qs(runEndStatus(status, m_runParams)));
  emit runEnded();
}

void Form1::onRunFailed(const QString& reason) {
  endRun();
  showSeed();
  showStatus("The run did not take place; the earlier results stay.");
  m_showMessage(QMessageBox::Warning, "Run Simulation", reason);
  emit runEnded();
}

ExportDialog* Form1::exportDialog() {
  if (m_export == nullptr) {
    m_export = new ExportDialog(this);
    m_export->installEventFilter(this);  // its hiding cancels an export in progress
    connect(m_export, &ExportDialog::exportRequested, this, &Form1::SaveTheFile);
  }
  return m_export;
}

void Form1::mnuFile_Export_Click() {
  ExportDialog* dialog = exportDialog();
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
}

void Form1::SaveTheFile() {
  ExportDialog* dialog = exportDialog();
  const ExportChoice choice = dialog->choice();
  if (choice.empty()) return;
  if (m_exporting) {
    showStatus("An export is being written; export again once it is done.");
    return;
  }
  const QString name = m_askSaveFileName(this, qs(kSaveDialogTitle), qs(kSaveDialogFilter));
  if (name.isEmpty()) return;  // cancelled: the export dialog stays open with its ticks
  const std::string chosen = QFile::encodeName(name).toStdString();
  // The save dialog asks only about the name typed, which is never written itself.
  std::vector<std::string> existing;
  for (const std::string& path : exportTargets(m_state.exportData(), choice, chosen)) {
    if (QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(path)))) {
      existing.push_back(path);
    }
  }
  if (!existing.empty() &&
      !m_askQuestion(qs(kExportMessageTitle),
                     QString::fromLocal8Bit(replaceQuestion(existing).c_str()))) {
    return;  // the export dialog stays open, for another name
  }
  const std::vector<std::string> targets = exportTargets(m_state.exportData(), choice, chosen);
  if (!m_exporter->start(m_state.exportData(), choice, chosen)) return;
  m_exporting = true;
  if (!targets.empty()) showStatus(QString::fromLocal8Bit(exportingStatus(targets).c_str()));
  m_exportProgress->setValue(0);
  m_exportProgress->show();
}

void Form1::onExportFinished() {
  m_exporter->wait();
  m_exporting = false;
  m_exportProgress->hide();
  const ExportReport report = m_exporter->takeReport();
  if (report.cancelled) {
    showStatus(qs(kExportCancelledStatus));
    emit exportEnded();
    return;
  }
  if (!report.written.empty()) {
    showStatus(QString::fromLocal8Bit(exportedStatus(report.written).c_str()));
  }
  // After a failed write the dialog stays open, so another name can be tried at once.
  if (!report.writeFailed) exportDialog()->hide();
  const std::string message = report.message();
  if (!message.empty()) {
    m_showMessage(report.writeFailed ? QMessageBox::Warning : QMessageBox::Information,
                  qs(kExportMessageTitle), QString::fromLocal8Bit(message.c_str()));
  }
  emit exportEnded();
}

void Form1::ProgExit_Click() {
  close();
  QApplication::quit();
}

QPixmap Form1::picture() {
  QPixmap pixmap = grab();
  const ChainPage* chain = m_plots->chainPage();
  const QWidget* view = chain->threeDWidget();
  if (view != nullptr && view->isVisible()) {
    QPainter painter(&pixmap);
    const QRect where(view->mapTo(this, QPoint(0, 0)), view->size());
    painter.drawImage(where, chain->threeDImage(view->size() * pixmap.devicePixelRatio()));
  }
  return pixmap;
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_export && event->type() == QEvent::Hide && m_exporting) {
    m_exporter->cancel();
    showStatus("Cancelling the export…");
  }
  const bool toTheList = (watched == m_otherModels && event->type() == QEvent::FocusIn &&
                          static_cast<QFocusEvent*>(event)->reason() == Qt::ShortcutFocusReason) ||
                         (watched == m_otherCaption && event->type() == QEvent::MouseButtonRelease);
  if (toTheList) {
    m_otherOption->setChecked(true);
    m_otherModels->setFocus(Qt::MouseFocusReason);
  }
  if (event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->keyCombination() == kExportKeys) {
    return true;  // not taken by the field: the shortcut goes to the menu entry
  }
  // The arrow keys move through the models in the order shown, wrapping at either end, and
  // select the one they reach.
  if (event->type() == QEvent::KeyPress) {
    const std::vector<QRadioButton*>& options = m_options;
    const auto at = std::find(options.begin(), options.end(), watched);
    const int key = static_cast<QKeyEvent*>(event)->key();
    const bool forward = key == Qt::Key_Right || key == Qt::Key_Down;
    const bool back = key == Qt::Key_Left || key == Qt::Key_Up;
    if (at != options.end() && (forward || back)) {
      const auto n = static_cast<std::ptrdiff_t>(options.size());
      const std::ptrdiff_t next = ((at - options.begin()) + (forward ? 1 : n - 1)) % n;
      QRadioButton* option = options[static_cast<std::size_t>(next)];
      option->setFocus(Qt::TabFocusReason);
      option->setChecked(true);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void Form1::closeEvent(QCloseEvent* event) {
  m_worker->cancel();
  m_exporter->cancel();
  m_plots->stopWork();
  m_worker->wait();
  m_exporter->wait();
  if (m_export != nullptr) m_export->hide();
  event->accept();
}

}  // namespace polychain
