#include "engine/script/catalogue.h"

#include <algorithm>
#include <map>

#include "common/file_lookup.h"
#include "common/strings.h"
#include "common/text_codec.h"
#include "engine/files/game_files.h"
#include "engine/messages.h"
#include "engine/startup/settings.h"

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

char16_t FoldAscii(char16_t c) {
  return (c >= u'A' && c <= u'Z') ? c - u'A' + u'a' : c;
}

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

namespace {

class FolderScan {
 public:
  FolderScan(const ScenarioListing& listing, size_t limit) : listing_(listing), limit_(limit) {}

  std::vector<FoundScenario> Run() {
    Scan(listing_.folder, u"", 0);
    std::sort(found_.begin(), found_.end(),
              [](const FoundScenario& a, const FoundScenario& b) { return a.name < b.name; });
    return std::move(found_);
  }

 private:
  void Diagnostic(const std::string& text) const {
    if (listing_.diagnostic) listing_.diagnostic(text);
  }
  void Scan(const fs::path& folder, const std::u16string& prefix, int depth);

  const ScenarioListing& listing_;
  const size_t limit_;
  std::vector<FoundScenario> found_;
  std::vector<fs::path> visited_;
};

void FolderScan::Scan(const fs::path& folder, const std::u16string& prefix, int depth) {
  // A link that leads back up the tree must not make the scan endless.
  std::error_code ec;
  fs::path canonical = fs::canonical(folder, ec);
  if (ec) {
    Diagnostic("cannot read folder " + PathToUtf8(folder) + ": " + ec.message());
    return;
  }
  if (std::find(visited_.begin(), visited_.end(), canonical) != visited_.end()) return;
  visited_.push_back(canonical);
  if (depth > kMaxScenarioDepth) {
    Diagnostic("folder " + PathToUtf8(folder) + " is nested more than " +
               std::to_string(kMaxScenarioDepth) +
               " folders deep below the scenario folder; its files are not read");
    return;
  }

  // Entries by name, so that the scan does not depend on the disk's order.
  std::map<std::string, fs::directory_entry> entries;
  fs::directory_iterator it(folder, ec);
  for (fs::directory_iterator end; !ec && it != end; it.increment(ec)) {
    entries.emplace(it->path().filename().string(), *it);
  }
  if (ec) Diagnostic("cannot read folder " + PathToUtf8(folder) + ": " + ec.message());

  // Symbolic links are followed only as far as the game folder reaches: a
  // link to "/" must not walk the whole disk, nor one to a file outside make
  // it a scenario.
  std::vector<std::pair<std::string, fs::path>> folders;
  const std::u16string& extension = listing_.extension;
  for (const auto& [disk_name, entry] : entries) {
    std::error_code type_ec;
    if (entry.is_symlink(type_ec)) {
      const std::optional<fs::path> real = RealPath(entry.path());
      if (real && !IsInside(listing_.root, *real)) {
        Diagnostic("not read: " + PathToUtf8(entry.path()) +
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
    found_.push_back({prefix + name, entry.path()});
    // Past the limit the count is all that matters.
    if (found_.size() > limit_) return;
  }
  for (const auto& [disk_name, path] : folders) {
    Scan(path, prefix + NameFromDisk(disk_name) + u"\\", depth + 1);
    if (found_.size() > limit_) return;
  }
}

}  // namespace

std::vector<FoundScenario> ListScenarioFiles(const ScenarioListing& listing, size_t limit) {
  return FolderScan(listing, limit).Run();
}

bool ReadScenarioFile(const fs::path& path, ScenarioFile* file, std::string* error,
                      FileProblem* problem) {
  std::string bytes;
  // A device, FIFO or huge file is refused at once, never read on and on.
  if (!ReadWholeFile(path, &bytes, error, kMaxTextFileBytes, problem)) return false;
  file->path = path;
  file->binary = bytes.find('\0') != std::string::npos;
  file->lines = SplitLines(DecodeGameText(bytes));
  file->IndexLabels();
  return true;
}

void Catalogue::BuildCatalogue() {
  const Settings& settings = settings_;
  std::vector<FoundScenario> found = ListScenarioFiles(
      {PathFromUtf16(settings.ScenarioFolder), settings.ScenarioExtension,
       files_on_disk_.GameRoot(), [this](const std::string& text) { dialogs_.Diagnostic(text); }},
      kMaxFiles);

  if (found.empty()) {
    dialogs_.Diagnostic("no scenario file (*" + Utf16ToUtf8(settings.ScenarioExtension) + ") in " +
                        Utf16ToUtf8(settings.ScenarioFolder) + " or its folders");
    dialogs_.MessageBoxOk(std::u16string(messages::kNoScenarioFiles));
    end_.EndEngine(ExitStatus::kError);
  }
  if (found.size() > kMaxFiles) {
    dialogs_.MessageBoxOk(std::u16string(messages::kTooManyScenarioFiles));
    end_.EndEngine(ExitStatus::kError);
  }

  names_.assign(1, std::u16string());
  files_.assign(1, ScenarioFile());
  for (FoundScenario& entry : found) {
    ScenarioFile file;
    file.name = entry.name;
    std::string error;
    FileProblem problem = FileProblem::kNone;
    if (!ReadScenarioFile(entry.path, &file, &error, &problem)) {
      dialogs_.Diagnostic("scenario file " + PathToUtf8(entry.path) + ": " + error);
      dialogs_.MessageBoxOk(u"シナリオファイル「" + entry.name + settings.ScenarioExtension +
                            u"」を読み込めません。\r\n" + DescribeFileProblemJapanese(problem));
      end_.EndEngine(ExitStatus::kError);
    }
    names_.push_back(std::move(entry.name));
    files_.push_back(std::move(file));
  }
}

}  // namespace tsumugi
