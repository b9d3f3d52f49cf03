// A growth model's measures of each chain in the Details tab, with a model that only the tests
// offer (the free walk with its chains' shape): its group, each measure's value as the run's
// tally gave it; a run's energy terms, as the run gave them.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

#include "gui/detailspage.h"
#include "guitest.h"
#include "polychain/commonstats.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "reference/shapemodel.h"

namespace polychain::test {

class ChainMeasuresTest : public QObject {
  Q_OBJECT

 private slots:
  void aGrowthModelsMeasuresShowInTheDetailsTab();
  void aRunsEnergyShowsInTheDetailsTab();
  void aMeltsNotesShowInTheDetailsTabUnderItsFieldNames();
};

void ChainMeasuresTest::aGrowthModelsMeasuresShowInTheDetailsTab() {
  const ModelInfo& model = reference::shapeModel();
  const ModelInfo* const models[] = {&model};
  DetailsPage page(nullptr, models);
  const RunResult r =
      reference::growWith(model, reference::runParams(MeanderSettings{}, 50, 20, 4, 1));
  QCOMPARE(r.measures.size(), model.measures.size());
  page.setRun("test-shape", model, r.extended, r.measures);
  auto* group = page.findChild<QGroupBox*>("detailsShapeBox");
  QVERIFY(group != nullptr);
  QCOMPARE(group->title(), QString("Shape"));
  for (std::size_t m = 0; m < model.measures.size(); ++m) {
    const MeasureInfo& measure = model.measures[m];
    auto* box = page.findChild<QLineEdit*>(
        QString::fromUtf8("details_") +
        QString::fromUtf8(measure.name.data(), static_cast<qsizetype>(measure.name.size())));
    QVERIFY2(box != nullptr, measure.name.data());
    QCOMPARE(box->text(), QString::fromStdString(measureText(measure, r.measures[m])));
    QVERIFY(!box->text().isEmpty());
  }
}

// A run with an energy shows each of its energy terms; a run without one hides them.
void ChainMeasuresTest::aRunsEnergyShowsInTheDetailsTab() {
  Harness h;
  h.setUp("pivot", "30", "5", "7");
  QLineEdit* energy = nullptr;
  for (auto* box : h.form->findChildren<QLineEdit*>("contact_energy")) {
    if (box->property("modelKey") == "pivot") energy = box;
  }
  QVERIFY(energy != nullptr);
  energy->setText("-0.3");
  QVERIFY(h.runAndWait());
  QVERIFY(h.messages.empty());
  RunObserver quiet;
  const RunResult direct =
      runSimulation(reference::runParams(PivotSettings{.contactEnergy = -0.3}, 30, 5, 7), quiet);
  QVERIFY(direct.energy.has_value());
  auto* group = h.child<QGroupBox>("detailsEnergyBox");
  QVERIFY(!group->isHidden());
  for (const EnergyTerm& term : energyTerms()) {
    const QString name =
        QString::fromUtf8(term.name.data(), static_cast<qsizetype>(term.name.size()));
    const Estimate* value = term.of(*direct.energy);
    QCOMPARE(h.field(qPrintable("details_energy_" + name))->text(),
             value != nullptr ? estimateDisplay(*value) : QString("n/a"));
  }
  energy->setText("0");
  QVERIFY(h.runAndWait());
  QVERIFY(group->isHidden());
}

// The notes the command prints on a melt (here: too few samples to judge its drift) show under
// the run in the Details tab, naming the window's fields, not the command's options.
void ChainMeasuresTest::aMeltsNotesShowInTheDetailsTabUnderItsFieldNames() {
  Harness h;
  h.setUp("melt", "10", "3", "7");
  h.field("Chains")->setText("5");
  QVERIFY(h.runAndWait());
  QVERIFY(h.messages.empty());
  RunObserver quiet;
  const RunParams params = reference::runParams(MeltSettings{.chains = 5}, 10, 3, 7);
  const RunResult direct = runSimulation(params, quiet);
  const std::vector<std::string> command = runNotes(modelOf(params.model), direct.measures);
  QVERIFY(!command.empty());
  QVERIFY(QString::fromStdString(command.back()).contains("give more --iterations"));
  auto* notes = h.child<QLabel>("detailsNotes");
  QVERIFY(!notes->isHidden());
  QStringList shown;
  for (const std::string& note : runNotes(modelOf(params.model), direct.measures)) {
    shown << QString::fromStdString(note).replace("--iterations", "Iterations");
  }
  QVERIFY2(!notes->text().contains("--"), qPrintable(notes->text()));
  QVERIFY2(notes->text().contains("give more Iterations"), qPrintable(notes->text()));
  QCOMPARE(notes->text().count('\n'), shown.size() - 1);
}

POLYCHAIN_GUI_TEST(ChainMeasuresTest)

}  // namespace polychain::test

#include "chainmeasures_test.moc"
