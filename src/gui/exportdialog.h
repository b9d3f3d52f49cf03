// The export dialog, named "Export": three check boxes choosing the run's files, one box for
// each format of chains for simulations and viewers, and two buttons.
// Modeless and only ever hidden, so the ticks stay for the next export; "Export" is
// available only while a box is ticked. It opens with the focus on the first box, and every
// box and button has its letter for Alt.
#pragma once

#include <QDialog>
#include <utility>
#include <vector>

#include "polychain/export.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace polychain {

class ExportDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit ExportDialog(QWidget* parent = nullptr);

  ExportChoice choice() const;

 signals:
  // "Export" was pressed: the owner runs SaveTheFile.
  void exportRequested();

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Command1_Click();
  void Command2_Click();
  void updateExportButton();
  // Places the controls at their twips positions for this screen's resolution, widening a
  // control (and what holds it) only where its caption would not fit.
  void placeControls();

  QGroupBox* m_frame;
  QCheckBox* m_chainData;
  QCheckBox* m_gofr;
  QCheckBox* m_gofq;
  QGroupBox* m_chainFrame;
  std::vector<std::pair<const FormatInfo*, QCheckBox*>> m_boxes;  // in the table's order
  QPushButton* m_export;
  QPushButton* m_cancel;
};

}  // namespace polychain
