#include "gui/exportdialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <algorithm>
#include <cmath>
#include <vector>

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
// Beside the frame of the run's files, the frame of the formats of chains for simulation
// engines and viewers, one box a format, as many as the format table has.
constexpr int kWideClientWidth = 8055;
constexpr TwipsRect kFrame2{4575, 120, 3000, 1335};
constexpr int kChainFormatLeft = 4815, kChainFormatTop = 360, kChainFormatStep = 240;
constexpr int kChainFormatWidth = 2640, kChainFormatHeight = 255;

// The controls placed before the boxes of the chain formats.
constexpr std::size_t kRunFiles = 5;

// `text` as a caption whose mnemonic is the first letter or digit not in `taken`, the first
// of a word if one is free; that character joins `taken`. An "&" of the text stays an "&".
QString withMnemonic(const QString& text, QString& taken) {
  const auto isFree = [&](qsizetype i) {
    return text[i].isLetterOrNumber() && !taken.contains(text[i].toLower());
  };
  qsizetype at = -1;
  for (qsizetype i = 0; i < text.size() && at < 0; ++i) {
    if (isFree(i) && (i == 0 || !text[i - 1].isLetterOrNumber())) at = i;
  }
  for (qsizetype i = 0; i < text.size() && at < 0; ++i) {
    if (isFree(i)) at = i;
  }
  QString caption = QString(text).replace('&', "&&");
  if (at < 0) return caption;
  taken += text[at].toLower();
  return caption.insert(at + text.left(at).count('&'), '&');
}

// The check box or button captioned `text`, its letter marked, named `text` for a screen
// reader.
template <class Control>
Control* control(const char* name, const QString& text, const QString& mnemonic, QWidget* parent) {
  auto* made = new Control(mnemonic, parent);
  made->setObjectName(name);
  made->setAccessibleName(text);
  return made;
}

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
  m_frame->setAccessibleName(m_frame->title());
  // Every box and button has a letter for Alt: the run's files and the buttons their own,
  // each format of the table the first letter left.
  m_chainData = control<QCheckBox>("ChainData", "Chain Data", "Chain &Data", m_frame);
  m_gofr = control<QCheckBox>("gofr", "Pairwise correlation factor g(r)",
                              "Pairwise correlation factor g(&r)", m_frame);
  m_gofq = control<QCheckBox>("gofq", "Fourier Transform of g(r); g(q)",
                              "Fourier Transform of g(r); g(&q)", m_frame);
  // No default button: Return presses the button that has the focus and nothing else, so
  // the ticks of an earlier export never go out at a key meant for something else.
  m_export = control<QPushButton>("Command1", "Export", "&Export", this);
  m_export->setAutoDefault(false);
  m_cancel = control<QPushButton>("Command2", "Cancel", "&Cancel", this);
  m_cancel->setAutoDefault(false);
  QString taken;
  for (const QAbstractButton* fixed :
       std::initializer_list<QAbstractButton*>{m_chainData, m_gofr, m_gofq, m_export, m_cancel}) {
    const QString caption = fixed->text();
    taken += caption.at(caption.indexOf('&') + 1).toLower();
  }
  m_boxes = {
      {findFormat("cdat"), m_chainData}, {findFormat("gor"), m_gofr}, {findFormat("goq"), m_gofq}};
  m_chainFrame = new QGroupBox("Chains for Simulations and Viewers", this);
  m_chainFrame->setObjectName("chainFormats");
  m_chainFrame->setAccessibleName(m_chainFrame->title());
  for (const FormatInfo& format : formatTable()) {
    if (format.writeEnsemble == nullptr) continue;
    const QString text =
        QString::fromUtf8(format.name.data(), static_cast<qsizetype>(format.name.size())) + " (" +
        QString::fromUtf8(format.extension.data()) + ")";
    const QString name =
        QString::fromUtf8(format.key.data(), static_cast<qsizetype>(format.key.size())) + "Format";
    auto* box = control<QCheckBox>(name.toUtf8().constData(), text, withMnemonic(text, taken),
                                   m_chainFrame);
    box->setToolTip("The last chain as one molecule in a box that holds it, with its bonds.");
    m_boxes.emplace_back(&format, box);
  }

  // The frames take no focus; the tab order runs through the boxes, then the buttons.
  for (std::size_t i = 1; i < m_boxes.size(); ++i) {
    setTabOrder(m_boxes[i - 1].second, m_boxes[i].second);
  }
  setTabOrder(m_boxes.back().second, m_export);
  setTabOrder(m_export, m_cancel);

  connect(m_export, &QPushButton::clicked, this, &ExportDialog::Command1_Click);
  connect(m_cancel, &QPushButton::clicked, this, &ExportDialog::Command2_Click);
  for (const auto& [format, box] : m_boxes) {
    connect(box, &QCheckBox::toggled, this, &ExportDialog::updateExportButton);
  }
  updateExportButton();
  placeControls();
}

void ExportDialog::showEvent(QShowEvent* event) {
  // Each time it opens, on the first box, whatever had the focus when it was last hidden.
  if (!event->spontaneous()) m_chainData->setFocus(Qt::OtherFocusReason);
  QDialog::showEvent(event);
}

void ExportDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget());
        button != nullptr && button->isEnabled()) {
      button->click();
    }
    return;
  }
  QDialog::keyPressEvent(event);
}

void ExportDialog::updateExportButton() {
  const bool any = !choice().empty();
  m_export->setEnabled(any);
  const QString why = any ? QString() : "Tick the files to export first.";
  m_export->setToolTip(why);
  m_export->setAccessibleDescription(why);
}

ExportChoice ExportDialog::choice() const {
  ExportChoice ticked;  // in the table's order, as the boxes are
  for (const auto& [format, box] : m_boxes) {
    if (box->isChecked()) ticked.push_back(format);
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
  std::vector<Placed> controls = {{m_chainData, kChainData},
                                  {m_gofr, kGofr},
                                  {m_gofq, kGofq},
                                  {m_export, kCommand1},
                                  {m_cancel, kCommand2}};
  int row = 0;
  for (const auto& [format, box] : m_boxes) {
    if (format->writeEnsemble == nullptr) continue;
    controls.push_back({box,
                        {kChainFormatLeft, kChainFormatTop + kChainFormatStep * row++,
                         kChainFormatWidth, kChainFormatHeight}});
  }
  const int frameHeight =
      std::max(kFrame2.height, kChainFormatTop - kFrame2.top + kChainFormatStep * row + 120);

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
  const TwipsRect frame2{kFrame2.left, kFrame2.top, kFrame2.width, frameHeight};
  place(m_chainFrame, frame2, kDialog);
  for (std::size_t i = kRunFiles; i < controls.size(); ++i) {
    place(controls[i].widget, controls[i].twips, frame2);
  }
  const int clientHeight = std::max(kClientHeight, frame2.top + frameHeight + 120);
  setFixedSize(px(row > 0 ? kWideClientWidth : kClientWidth), px(clientHeight));
}

}  // namespace polychain
