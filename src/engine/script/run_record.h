// What a run did, for authors: a trace naming every script line the engine
// runs (engine time, file, line, text), coverage counting how often each
// line of each scenario ran, written as an lcov tracefile, and the log of
// the text the player was shown, a display line at a time.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tsumugi {

class Catalogue;
class HostClock;
struct Settings;

// Hears of the text the player is shown (the player's layer: read marks
// and the history).
class TextListener {
 public:
  // Script line `line_number` of catalogue file `file` begins to be typed.
  virtual void TextBegins(int file, int line_number) = 0;
  // A display line typed from that script line is complete.
  virtual void TextShown(int file, int line_number, std::u16string_view text) = 0;
  // The player took the choice whose line reads `text`.
  virtual void ChoiceTaken(std::u16string_view text) = 0;

 protected:
  ~TextListener() = default;
};

class RunRecord {
 public:
  RunRecord(HostClock& clock, const Catalogue& catalogue, const Settings& settings)
      : clock_(clock), catalogue_(catalogue), settings_(settings) {}

  // Starts recording: every line run goes to `trace` (nullptr: no trace);
  // with `coverage` the runs of each line are counted.
  void Start(std::ostream* trace, bool coverage);
  bool Active() const { return trace_ != nullptr || coverage_; }
  // Every display line of typed text goes to `log` as it is completed
  // (nullptr: no log).
  void StartTextLog(std::ostream* log) { text_log_ = log; }

  // A display line of text the player has been shown whole, typed from
  // script line `line_number` of catalogue file `file`.
  void TextShown(int file, int line_number, std::u16string_view text) {
    if (text_log_) WriteTextLine(file, line_number, text);
    if (listener_) listener_->TextShown(file, line_number, text);
  }
  // Script line `line_number` of catalogue file `file` begins to be typed.
  void TextBegins(int file, int line_number) {
    if (listener_) listener_->TextBegins(file, line_number);
  }
  void ChoiceTaken(std::u16string_view text) {
    if (listener_) listener_->ChoiceTaken(text);
  }
  void Listen(TextListener* listener) { listener_ = listener; }

  // The script line `line_number` of catalogue file `file` ran (or, for a
  // menu or a button block, was laid out); `text` is the line as run.
  void LineRan(int file, int line_number, std::u16string_view text) {
    if (Active()) Record(file, line_number, text);
  }

  // The coverage as an lcov tracefile: every scenario of the catalogue, with
  // a count for each line a run can execute (text, commands, choices and
  // button definitions; not comments, labels or the lines that only shape
  // blocks).
  std::string CoverageText() const;

  // How often each line ran, by catalogue file and line (index 0 for line
  // 1), and the counts of another run of the same game added in.
  using LineCounts = std::vector<std::vector<uint64_t>>;
  const LineCounts& Counts() const { return counts_; }
  void AddCounts(const LineCounts& counts) { AddCounts(counts_, counts); }
  static void AddCounts(LineCounts& into, const LineCounts& counts);
  // Calls f(file, line_number, count) for every line the coverage counts,
  // in order: the lines a run can execute, and any other that ran.
  template <typename F>
  void ForEachCountedLine(F f) const;

  // "start.txt:12", as the trace names a line.
  std::string Where(int file, int line_number) const;

 private:
  void Record(int file, int line_number, std::u16string_view text);
  void WriteTextLine(int file, int line_number, std::u16string_view text);
  // The lines of catalogue file `file` the coverage counts, with their
  // counts (the file's lines that are no script, none).
  std::vector<std::pair<int, uint64_t>> CountedLines(int file) const;
  int CatalogueFiles() const;

  HostClock& clock_;
  const Catalogue& catalogue_;
  const Settings& settings_;
  std::ostream* trace_ = nullptr;
  std::ostream* text_log_ = nullptr;
  TextListener* listener_ = nullptr;
  bool coverage_ = false;
  // Runs by catalogue file and line (index 0 for line 1).
  LineCounts counts_;
};

template <typename F>
void RunRecord::ForEachCountedLine(F f) const {
  for (int file = 1; file <= CatalogueFiles(); ++file) {
    for (const auto& [line, count] : CountedLines(file)) f(file, line, count);
  }
}

}  // namespace tsumugi
