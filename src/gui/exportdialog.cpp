#include "gui/exportdialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace polychain {

namespace {

// Positions and sizes in twips, the frame's children relative to the dialog.
struct TwipsRect {
  int left, top, width, height;
};
constexpr int kClientWidth = 4995;
constexpr int kClientHeight = 2280;
constexpr TwipsRect kFrame1{480, 120, 3975, 1335};
constexpr TwipsRect kChainData{1200, 360, 1215, 255};
constexpr TwipsRect kGofr{1200, 600, 2775, 255};
constexpr TwipsRect kGofq{1200, 840, 2895, 255};
constexpr TwipsRect kCommand1{840, 1560, 1695, 375};
constexpr TwipsRect kCommand2{2640, 1560, 1575, 375};

// A length in twips as pixels on a screen of `logicalDpi` dots per inch (15 twips a pixel
// at 96 dpi), rounded to the nearest pixel.
int twipsToPixels(int twips, double logicalDpi) {
  return static_cast<int>(std::lround(twips / 15.0 * logicalDpi / 96.0));
}

}  // namespace

ExportDialog::ExportDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("Export");
  setWindowTitle("Export");
  setModal(false);

  m_frame = new QGroupBox("Files to Export", this);
  m_frame->setObjectName("Frame1");
  m_chainData = new QCheckBox("Chain Data", m_frame);
  m_chainData->setObjectName("ChainData");
  m_gofr = new QCheckBox("Pairwise correlation factor g(r)", m_frame);
  m_gofr->setObjectName("gofr");
  m_gofq = new QCheckBox("Fourier Transform of g(r); g(q)", m_frame);
  m_gofq->setObjectName("gofq");
  m_export = new QPushButton("Export", this);
  m_export->setObjectName("Command1");
  m_export->setDefault(true);
  m_cancel = new QPushButton("Cancel", this);
  m_cancel->setObjectName("Command2");

  for (QWidget* w :
       std::initializer_list<QWidget*>{m_frame, m_chainData, m_gofr, m_gofq, m_export, m_cancel}) {
    if (auto* box = qobject_cast<QGroupBox*>(w)) {
      box->setAccessibleName(box->title());
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
      button->setAccessibleName(button->text());
    }
  }

  // The frame takes no focus; the tab order runs through the boxes, then the buttons.
  setTabOrder(m_chainData, m_gofr);
  setTabOrder(m_gofr, m_gofq);
  setTabOrder(m_gofq, m_export);
  setTabOrder(m_export, m_cancel);

  connect(m_export, &QPushButton::clicked, this, &ExportDialog::Command1_Click);
  connect(m_cancel, &QPushButton::clicked, this, &ExportDialog::Command2_Click);
  for (QCheckBox* box : {m_chainData, m_gofr, m_gofq}) {
    connect(box, &QCheckBox::toggled, this, &ExportDialog::updateExportButton);
  }
  updateExportButton();
  placeControls();
}

void ExportDialog::updateExportButton() {
  const bool any = !choice().empty();
  m_export->setEnabled(any);
  const QString why = any ? QString() : "Tick the files to export first.";
  m_export->setToolTip(why);
  m_export->setAccessibleDescription(why);
}

ExportChoice ExportDialog::choice() const {
  // The boxes by the key of the format each stands for, in the table's order.
  const std::pair<const char*, const QCheckBox*> boxes[] = {
      {"cdat", m_chainData}, {"gor", m_gofr}, {"goq", m_gofq}};
  ExportChoice ticked;
  for (const FormatInfo& format : formatTable()) {
    for (const auto& [key, box] : boxes) {
      if (format.key == key && box->isChecked()) ticked.push_back(&format);
    }
  }
  return ticked;
}

void ExportDialog::Command1_Click() {
  if (m_export->isEnabled()) emit exportRequested();
}

void ExportDialog::Command2_Click() { hide(); }

void ExportDialog::placeControls() {
  const QScreen* shown = screen();
  const double dpi = shown != nullptr ? shown->logicalDotsPerInch() : 96.0;

  struct Placed {
    QWidget* widget;
    TwipsRect twips;
  };
  const Placed controls[] = {{m_chainData, kChainData},
                             {m_gofr, kGofr},
                             {m_gofq, kGofq},
                             {m_export, kCommand1},
                             {m_cancel, kCommand2}};

  // Grow every length by one factor when a caption needs more room than its twips give,
  // so the relative placement stays as it is.
  double factor = 1.0;
  for (const Placed& c : controls) {
    const QSize need = c.widget->minimumSizeHint();
    factor = std::max(factor, need.width() / double(twipsToPixels(c.twips.width, dpi)));
    factor = std::max(factor, need.height() / double(twipsToPixels(c.twips.height, dpi)));
  }
  const double scaled = dpi * factor;
  auto px = [scaled](int twips) { return twipsToPixels(twips, scaled); };
  auto place = [&](QWidget* w, const TwipsRect& r, const TwipsRect& origin) {
    w->setGeometry(px(r.left - origin.left), px(r.top - origin.top), px(r.width), px(r.height));
  };
  constexpr TwipsRect kDialog{0, 0, kClientWidth, kClientHeight};
  place(m_frame, kFrame1, kDialog);
  place(m_chainData, kChainData, kFrame1);
  place(m_gofr, kGofr, kFrame1);
  place(m_gofq, kGofq, kFrame1);
  place(m_export, kCommand1, kDialog);
  place(m_cancel, kCommand2, kDialog);
  setFixedSize(px(kClientWidth), px(kClientHeight));
}

}  // namespace polychain
