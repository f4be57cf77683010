#include "engine/script/catalogue.h"

#include <algorithm>
#include <map>

#include "common/file_lookup.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "engine/engine.h"

namespace tsumugi {

namespace fs = std::filesystem;

void SortNames(std::vector<std::u16string>& names, int low, int high) {
  if (low >= high) return;
  std::sort(names.begin() + low, names.begin() + high + 1);
}

int FindName(const std::vector<std::u16string>& names, std::u16string_view name, int low,
             int high) {
  while (high - low > 1) {
    int mid = low + (high - low) / 2;
    const std::u16string& entry = names[mid];
    if (entry < name) {
      low = mid;
    } else if (entry == name) {
      return mid;
    } else {
      high = mid;
    }
  }
  if (low >= 0 && low < static_cast<int>(names.size()) && names[low] == name) return low;
  if (high >= 0 && high < static_cast<int>(names.size()) && names[high] == name) return high;
  return -1;
}

void ScenarioFile::IndexLabels() {
  labels.clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::u16string_view line = lines[i];
    line.remove_prefix(std::min(line.find_first_not_of(u'\t'), line.size()));
    if (line.empty() || line[0] != u':') continue;
    // The first line of a name wins: a forward scan stops there.
    labels.try_emplace(std::u16string(line.substr(1)), static_cast<int>(i) + 1);
  }
}

namespace {

// File names on disk are UTF-8; a game unpacked by a tool that kept the
// original Shift-JIS bytes still gets readable names.
std::u16string NameFromDisk(const std::string& bytes) {
  return IsValidUtf8(bytes) ? Utf8ToUtf16(bytes) : Cp932ToUtf16(bytes);
}

char16_t FoldAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c; }

// Windows matched "*.txt" without regard to case.
bool HasExtension(const std::u16string& name, const std::u16string& extension) {
  if (name.size() < extension.size()) return false;
  size_t start = name.size() - extension.size();
  for (size_t i = 0; i < extension.size(); ++i) {
    if (FoldAscii(name[start + i]) != FoldAscii(extension[i])) return false;
  }
  return true;
}

}  // namespace

void Catalogue::ScanFolder(const fs::path& folder, const std::u16string& prefix, int depth) {
  // A link that leads back up the tree must not make the scan endless.
  std::error_code ec;
  fs::path canonical = fs::canonical(folder, ec);
  if (ec) {
    e_.host.Diagnostic("cannot read folder " + PathToUtf8(folder) + ": " + ec.message());
    return;
  }
  if (std::find(visited_.begin(), visited_.end(), canonical) != visited_.end()) return;
  visited_.push_back(canonical);
  if (depth > kMaxDepth) {
    e_.host.Diagnostic("folder " + PathToUtf8(folder) + " is nested more than " +
                       std::to_string(kMaxDepth) +
                       " folders deep below the scenario folder; its files are not read");
    return;
  }

  // Entries by name, so that the scan does not depend on the disk's order.
  std::map<std::string, fs::directory_entry> entries;
  fs::directory_iterator it(folder, ec);
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    entries.emplace(it->path().filename().string(), *it);
  }
  if (ec) e_.host.Diagnostic("cannot read folder " + PathToUtf8(folder) + ": " + ec.message());

  // Symbolic links are followed only as far as the game folder reaches: a
  // link to "/" must not walk the whole disk, nor one to a file outside make
  // it a scenario.
  const fs::path& root = e_.picture_files.GameRoot();
  std::vector<std::pair<std::string, fs::path>> folders;
  const std::u16string& extension = e_.settings.ScenarioExtension;
  for (const auto& [disk_name, entry] : entries) {
    std::error_code type_ec;
    if (entry.is_symlink(type_ec)) {
      const std::optional<fs::path> real = RealPath(entry.path());
      if (real && !IsInside(root, *real)) {
        e_.host.Diagnostic("not read: " + PathToUtf8(entry.path()) +
                           " is a symbolic link that leads outside the game folder (to " +
                           PathToUtf8(*real) + ")");
        continue;
      }
    }
    if (entry.is_directory(type_ec)) {
      if (!disk_name.empty() && disk_name[0] != '.') folders.emplace_back(disk_name, entry.path());
      continue;
    }
    std::u16string name = NameFromDisk(disk_name);
    if (!HasExtension(name, extension)) continue;
    if (StartsWith(name, u"config") || StartsWith(name, u"save")) continue;
    name.resize(name.size() - extension.size());
    found_.emplace_back(prefix + name, entry.path());
    // Past the limit the count is all that matters.
    if (found_.size() > kMaxFiles) return;
  }
  for (const auto& [disk_name, path] : folders) {
    ScanFolder(path, prefix + NameFromDisk(disk_name) + u"\\", depth + 1);
    if (found_.size() > kMaxFiles) return;
  }
}

void Catalogue::BuildCatalogue() {
  found_.clear();
  visited_.clear();
  ScanFolder(PathFromUtf16(e_.settings.ScenarioFolder), u"", 0);

  if (found_.empty()) {
    e_.host.Diagnostic("no scenario file (*" + Utf16ToUtf8(e_.settings.ScenarioExtension) +
                       ") in " + Utf16ToUtf8(e_.settings.ScenarioFolder) + " or its folders");
    e_.host.MessageBoxOk(u"シナリオファイル（テキスト）が見つかりません。");
    e_.form.EndEngine(ExitStatus::kError);
  }
  if (found_.size() > kMaxFiles) {
    e_.host.MessageBoxOk(u"シナリオファイル（テキスト）の数が２５４を超えています。");
    e_.form.EndEngine(ExitStatus::kError);
  }

  std::sort(found_.begin(), found_.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  names_.assign(1, std::u16string());
  files_.assign(1, ScenarioFile());
  for (auto& [name, path] : found_) {
    ScenarioFile file;
    file.name = name;
    file.path = path;
    std::string bytes, error;
    FileProblem problem = FileProblem::kNone;
    if (!ReadWholeFile(path, &bytes, &error, kMaxTextFileBytes, &problem)) {
      // A device, FIFO or huge file is refused at once, never read on and on.
      e_.host.Diagnostic("scenario file " + PathToUtf8(path) + ": " + error);
      e_.host.MessageBoxOk(u"シナリオファイル「" + name + e_.settings.ScenarioExtension +
                           u"」を読み込めません。\r\n" + DescribeFileProblemJapanese(problem));
      e_.form.EndEngine(ExitStatus::kError);
    }
    file.binary = bytes.find('\0') != std::string::npos;
    file.lines = SplitLines(DecodeGameText(bytes));
    file.IndexLabels();
    names_.push_back(name);
    files_.push_back(std::move(file));
  }
  found_.clear();
  visited_.clear();
}

}  // namespace tsumugi
