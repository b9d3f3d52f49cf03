// Where the bytes of a file go while a format writes them: a file on its way to disk
// (PendingFile) or a string. A writer hands its file over in pieces of a few hundred kilobytes
// at most and asks the sink between pieces whether to go on, so that no file needs a second
// copy of itself in memory and a cancel is seen within one piece.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace polychain {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Takes `bytes`, after those taken before; false when it can take no more (the file cannot
  // be written, or the writing was cancelled): the writer then stops.
  virtual bool put(std::string_view bytes) = 0;
  // Asked between pieces, with the share of the file written so far (0 to 1); false stops the
  // writer, which then returns false.
  virtual bool keepGoing(double /*done*/) { return true; }
};

// The whole file in one string, for tests and small texts.
class StringSink final : public ByteSink {
 public:
  // `keepGoing`, when given, answers keepGoing().
  explicit StringSink(std::function<bool()> keepGoing = {}) : m_keepGoing(std::move(keepGoing)) {}

  bool put(std::string_view bytes) override {
    m_text.append(bytes);
    return true;
  }
  bool keepGoing(double /*done*/) override { return !m_keepGoing || m_keepGoing(); }

  std::string& text() { return m_text; }

 private:
  std::function<bool()> m_keepGoing;
  std::string m_text;
};

}  // namespace polychain
