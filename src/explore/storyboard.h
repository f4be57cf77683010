// What an exploration leaves in its folder: report.json for other tools,
// coverage.info (lcov), and index.html, the storyboard a person reads: the
// graph of menus and branches drawn by Graphviz, each branch a strip of
// its pages, errors in red, the lines no path reached.
#pragma once

#include <filesystem>
#include <string>

#include "explore/explorer.h"

namespace tsumugi::explore {

// The report as JSON text.
std::string ReportJson(const Exploration& exploration, const std::string& game_name);

// The graph in Graphviz's language, and drawn as SVG (empty, with the
// reason in *error, when Graphviz could not draw it).
std::string GraphDot(const Exploration& exploration);
std::string GraphSvg(const Exploration& exploration, std::string* error);

// The storyboard page; its pictures are in "pages/" beside it.
std::string StoryboardHtml(const Exploration& exploration, const std::string& game_name);

// Writes the three files into `folder`; false with the reason when one
// cannot be written.
[[nodiscard]] bool WriteReports(const Exploration& exploration, const std::string& game_name,
                                const std::filesystem::path& folder, std::string* error);

}  // namespace tsumugi::explore
