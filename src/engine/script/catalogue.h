// The catalogue of scenario files: every file with the scenario extension
// under the scenario folder, numbered and sorted by name, read once at start.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tsumugi {

class Engine;

// Sorts entries low..high (inclusive) by UTF-16 code units, case-sensitive.
void SortNames(std::vector<std::u16string>& names, int low, int high);

// The index of the entry equal to `name` within low..high of a sorted array,
// or -1. A halving search; with equal entries it finds one of them.
int FindName(const std::vector<std::u16string>& names, std::u16string_view name, int low,
             int high);

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

class Catalogue {
 public:
  static constexpr int kMaxFiles = 254;
  // How many folders deep below the scenario folder the scan goes.
  static constexpr int kMaxDepth = 64;

  explicit Catalogue(Engine& engine) : e_(engine) {}

  // Lists, checks the count, sorts and reads every scenario file; ends the
  // engine with a message when there is none, too many, or one is unreadable.
  void BuildCatalogue();

  int CatalogueCount() const { return static_cast<int>(files_.size()) - 1; }
  // Entries are numbered from 1.
  const ScenarioFile& File(int index) const { return files_[index]; }
  const std::vector<std::u16string>& Names() const { return names_; }

 private:
  void ScanFolder(const std::filesystem::path& folder, const std::u16string& prefix, int depth);

  Engine& e_;
  // Element 0 of both is unused, so that indexes are file numbers.
  std::vector<std::u16string> names_{std::u16string()};
  std::vector<ScenarioFile> files_{ScenarioFile()};
  // Collected by the scan, before sorting.
  std::vector<std::pair<std::u16string, std::filesystem::path>> found_;
  std::vector<std::filesystem::path> visited_;
};

}  // namespace tsumugi
