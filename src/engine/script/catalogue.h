// The catalogue of scenario files: every file with the scenario extension
// under the scenario folder, numbered and sorted by name, read once at start.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/file_lookup.h"
#include "engine/engine_end.h"
#include "platform/host.h"

namespace tsumugi {

class GameFiles;
struct Settings;

// Sorts entries low..high (inclusive) by UTF-16 code units, case-sensitive.
void SortNames(std::vector<std::u16string>& names, int low, int high);

// The index of the entry equal to `name` within low..high of a sorted array,
// or -1. A halving search; with equal entries it finds one of them.
int FindName(const std::vector<std::u16string>& names, std::u16string_view name, int low, int high);

// Hashes keys and looked-up views alike, so that a lookup by view makes no
// copy of the name.
struct LabelHash {
  using is_transparent = void;
  size_t operator()(std::u16string_view text) const {
    return std::hash<std::u16string_view>{}(text);
  }
};

struct ScenarioFile {
  // The scenario name: the path below the scenario folder, folders joined by
  // backslashes, without the extension.
  std::u16string name;
  std::filesystem::path path;
  std::vector<std::u16string> lines;
  // The file holds NUL bytes: it is not a text file.
  bool binary = false;
  // Label name (the line after its leading tabs and the ":") -> number of
  // the first line (from 1) that carries it, so that a jump needs no scan.
  std::unordered_map<std::u16string, int, LabelHash, std::equal_to<>> labels;

  // Fills `labels` from `lines`.
  void IndexLabels();
  // The number of the first line that is ":" + name after its leading
  // tabs, or 0 when there is none.
  int LabelLine(std::u16string_view name) const {
    auto it = labels.find(name);
    return it == labels.end() ? 0 : it->second;
  }
};

// A scenario file found in the scenario folder: its scenario name and path.
struct FoundScenario {
  std::u16string name;
  std::filesystem::path path;
};

// What listing the scenario folder needs to know and where it reports.
struct ScenarioListing {
  std::filesystem::path folder;
  std::u16string extension;
  // The game folder, symbolic links resolved: nothing outside it is listed.
  std::filesystem::path root;
  // One line for standard error: a folder that cannot be read, a link that
  // leads outside the game folder, a tree nested too deep.
  std::function<void(const std::string&)> diagnostic;
};

// How many folders deep below the scenario folder the listing goes.
inline constexpr int kMaxScenarioDepth = 64;

// Lists the scenario files below the listing's folder, subfolders included,
// sorted by name: every file with the extension (any case) whose name does
// not begin with "config" or "save". Stops once more than `limit` are found
// (the count is then all that matters).
std::vector<FoundScenario> ListScenarioFiles(const ScenarioListing& listing, size_t limit);

// Reads a scenario file into `file` (its lines, whether it is binary, its
// labels). False when it cannot be read, with the reason in `error` and
// `problem`.
bool ReadScenarioFile(const std::filesystem::path& path, ScenarioFile* file, std::string* error,
                      FileProblem* problem);

class Catalogue {
 public:
  static constexpr int kMaxFiles = 254;

  Catalogue(HostDialogs& dialogs, const Settings& settings, GameFiles& files, EngineEnd& end)
      : dialogs_(dialogs), settings_(settings), files_on_disk_(files), end_(end) {}

  // Lists, checks the count, sorts and reads every scenario file; ends the
  // engine with a message when there is none, too many, or one is unreadable.
  void BuildCatalogue();

  int CatalogueCount() const { return static_cast<int>(files_.size()) - 1; }
  // Entries are numbered from 1.
  const ScenarioFile& File(int index) const { return files_[index]; }
  const std::vector<std::u16string>& Names() const { return names_; }

 private:
  HostDialogs& dialogs_;
  const Settings& settings_;
  GameFiles& files_on_disk_;
  EngineEnd& end_;
  // Element 0 of both is unused, so that indexes are file numbers.
  std::vector<std::u16string> names_{std::u16string()};
  std::vector<ScenarioFile> files_{ScenarioFile()};
};

}  // namespace tsumugi
