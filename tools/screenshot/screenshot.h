// The pictures of the window in the README: a small run with a fixed seed (and a small sweep
// when the Scaling tab is shown), then the window, or some of its tabs side by side, saved
// as a PNG file.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace polychain {

class Form1;

struct Screenshot {
  QString file;
  QStringList tabs;  // none: the whole window with the Chain tab; one: the window with that
                     // tab; more: those tabs side by side
  // The model's option: the free walk, the self-avoiding walk ("SAWOPT"), or the key of a
  // model in the list beside "Other model", such as a small melt ("melt": 100 chains of
  // N = 20 at the model's density, 5 samples).
  QString option = "RLOPT";
};

// Fills the shown `window`'s fields, runs, and once the run (and sweep) ended and painted,
// saves the picture and calls `done` with whether it was saved; the reason it was not is
// written to the standard error.
void takeScreenshot(Form1& window, const Screenshot& shot, std::function<void(bool saved)> done);

}  // namespace polychain
