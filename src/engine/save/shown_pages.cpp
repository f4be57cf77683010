#include "engine/save/shown_pages.h"

#include <xxhash.h>

#include <string>
#include <vector>

#include "common/file_lookup.h"
#include "engine/state/state_io.h"
#include "engine/state/state_layout.h"

namespace tsumugi {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[] = "tsumugi shown pages 1\n";
// Pages of this many memories are kept; the oldest go first. Twenty a save
// file at most: the pages of a few dozen saves.
constexpr size_t kMaxPages = 1000;
// A file larger than this is not one of ours.
constexpr uint64_t kMaxBytes = uint64_t{16} << 20;

struct ShownPage {
  uint64_t own = 0;  // the hash of the page's own lines
  std::vector<TextLine> lines;
  int32_t last = -1;
  int32_t current = 0;
};

template <typename Io>
void Walk(Io& io, ShownPage& page) {
  io(page.own);
  Walk(io, page.lines);
  io(page.last);
  io(page.current);
}

// The page as a save file holds it: where it returns to and its lines,
// their text and colours.
uint64_t OwnLines(const PageMemory& memory) {
  StateWriter w;
  PageMemory m = memory;
  w(m.File);
  w(m.Line);
  w(m.LastLine);
  w(m.CurrentLine);
  for (int i = 0; i <= m.LastLine && i < kMemoryLines; ++i) {
    TextLine& line = m.Lines[static_cast<size_t>(i)];
    w(line.Text);
    w(line.TextColour);
    w(line.ShadowColour);
  }
  return XXH3_64bits(w.bytes.data(), w.bytes.size());
}

std::vector<ShownPage> Read(const fs::path& file) {
  std::string bytes, error;
  std::vector<ShownPage> pages;
  if (!ReadWholeFile(file, &bytes, &error, kMaxBytes) || !bytes.starts_with(kMagic)) return pages;
  StateReader reader(std::string_view(bytes).substr(sizeof kMagic - 1));
  try {
    Walk(reader, pages);
    if (!reader.AtEnd()) pages.clear();
  } catch (const StateReadError&) {
    pages.clear();
  }
  // Lines the memory could not hold are damage.
  std::erase_if(pages, [](const ShownPage& p) {
    return p.lines.size() > kMemoryLines || p.last < -1 ||
           p.last >= static_cast<int64_t>(p.lines.size());
  });
  return pages;
}

}  // namespace

void KeepShownPages(const fs::path& file, const PageMemoryTable& recall,
                    const PageMemoryTable& buttons) {
  std::vector<ShownPage> pages = Read(file);
  bool added = false;
  for (const PageMemoryTable* table : {&recall, &buttons}) {
    for (const PageMemory& memory : *table) {
      if (memory.Shown.empty()) continue;
      const uint64_t own = OwnLines(memory);
      std::erase_if(pages, [own](const ShownPage& p) { return p.own == own; });
      pages.push_back({own, memory.Shown, memory.ShownLastLine, memory.ShownCurrentLine});
      added = true;
    }
  }
  if (!added) return;
  if (pages.size() > kMaxPages) pages.erase(pages.begin(), pages.end() - kMaxPages);
  StateWriter writer;
  Walk(writer, pages);
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  std::string error;
  // Only what was shown is lost when it cannot be written: the save file
  // itself is written.
  (void)WriteWholeFile(file, kMagic + writer.bytes, &error);
}

void PutBackShownPages(const fs::path& file, PageMemoryTable& recall, PageMemoryTable& buttons) {
  const std::vector<ShownPage> pages = Read(file);
  if (pages.empty()) return;
  for (PageMemoryTable* table : {&recall, &buttons}) {
    for (PageMemory& memory : *table) {
      if (!memory.Shown.empty() || memory.File == 0) continue;
      const uint64_t own = OwnLines(memory);
      for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        if (it->own != own) continue;
        memory.Shown = it->lines;
        memory.ShownLastLine = it->last;
        memory.ShownCurrentLine = it->current;
        break;
      }
    }
  }
}

}  // namespace tsumugi
