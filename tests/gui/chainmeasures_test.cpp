// A growth model's measures of each chain in the Details tab, with a model that only the tests
// offer (the free walk with its chains' shape): its group, each measure's value as the run's
// tally gave it.
#include <QGroupBox>
#include <QLineEdit>
#include <QtTest>

#include "gui/detailspage.h"
#include "guitest.h"
#include "polychain/texts.h"
#include "reference/runparams.h"
#include "reference/shapemodel.h"

namespace polychain::test {

class ChainMeasuresTest : public QObject {
  Q_OBJECT

 private slots:
  void aGrowthModelsMeasuresShowInTheDetailsTab();
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

POLYCHAIN_GUI_TEST(ChainMeasuresTest)

}  // namespace polychain::test

#include "chainmeasures_test.moc"
