// The piece a format writer fills before it goes to a sink: text and little-endian binary
// values appended to a buffer that is handed to the sink once it holds kPiece bytes, the sink
// asked after each hand-over whether to go on. Numbers are written locale-free.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "polychain/bytesink.h"

namespace polychain {

class PieceWriter {
 public:
  static constexpr std::size_t kPiece = std::size_t{1} << 18;

  explicit PieceWriter(ByteSink& sink) : m_sink(sink) { m_text.reserve(kPiece + 4096); }
  PieceWriter(const PieceWriter&) = delete;
  PieceWriter& operator=(const PieceWriter&) = delete;

  void append(std::string_view text) { m_text.append(text); }
  void append(char c) { m_text.push_back(c); }
  void appendInteger(std::int64_t value) {
    char text[24];
    append(std::string_view(
        text, static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text)));
  }
  // The shortest text that reads back as `value`.
  void appendShortest(double value) {
    char text[32];
    append(std::string_view(
        text, static_cast<std::size_t>(std::to_chars(text, text + sizeof text, value).ptr - text)));
  }
  // The bytes of `value`, least significant first.
  template <class T>
  void appendBinary(T value) {
    std::array<char, sizeof(T)> bytes;
    std::memcpy(bytes.data(), &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big) std::reverse(bytes.begin(), bytes.end());
    m_text.append(bytes.data(), bytes.size());
  }

  // Between records: hands the piece over once it is full, `done` of `total` records written
  // (the share the sink is told). False once the sink has stopped the writing.
  bool flushIfFull(std::int64_t done, std::int64_t total) {
    return m_text.size() < kPiece || flush(done, total);
  }
  // Hands over what the piece holds and asks the sink to go on; false once it has stopped.
  bool flush(std::int64_t done, std::int64_t total) {
    if (m_stopped) return false;
    if (!m_text.empty() && !m_sink.put(m_text)) m_stopped = true;
    m_text.clear();
    const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
    if (!m_stopped && !m_sink.keepGoing(share)) m_stopped = true;
    return !m_stopped;
  }
  // The end of the file: hands over the rest. True when the sink took the whole file.
  bool finish() { return flush(1, 1); }

 private:
  ByteSink& m_sink;
  std::string m_text;
  bool m_stopped = false;
};

}  // namespace polychain
