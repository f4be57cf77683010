#include "explore/storyboard.h"

#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>

#include <cstring>
#include <map>
#include <optional>
#include <nlohmann/json.hpp>
#include <utility>

#include "common/child_process.h"
#include "common/file_lookup.h"

namespace tsumugi::explore {

namespace {

using nlohmann::json;

std::string PagePath(const std::string& page) { return "pages/" + page + ".png"; }

json WayJson(const Exploration& x, const Edge& edge) {
  json way = {{"label", edge.label}};
  json pages = json::array();
  for (const std::string& page : edge.pages) pages.push_back(PagePath(page));
  way["pages"] = std::move(pages);
  if (edge.to >= 0) way["to"] = edge.to;
  if (edge.ending) {
    way["end"] = EndName(edge.ending->kind);
    way["at"] = edge.ending->at;
    if (!edge.ending->error.empty()) way["error"] = edge.ending->error;
  }
  (void)x;
  return way;
}

// Text for a label of the graph: short, one line.
std::string Short(const std::string& text, size_t max_chars) {
  std::string out;
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80 && chars++ == max_chars) return out + "…";
    out += c < 0x20 ? ' ' : text[i];
  }
  return out;
}

// A DOT string literal.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Html(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string EndLabel(const Ending& ending) {
  switch (ending.kind) {
    case EndKind::kEnd:
      return "end\n" + ending.at;
    case EndKind::kError:
      return "error\n" + ending.at + "\n" + Short(ending.error, 40);
    case EndKind::kLimit:
      return "limit\n" + ending.at;
    case EndKind::kRepeat:
      return "repeat\n" + ending.at;
  }
  return "";
}

std::string NodeLabel(const Node& node) {
  return std::string(node.menu ? "menu" : "buttons") + "\n" + node.at;
}

}  // namespace

std::string ReportJson(const Exploration& x, const std::string& game_name) {
  json report;
  report["game"] = game_name;
  json paths = json::array();
  for (const Path& path : x.paths) {
    json p = {{"choices", path.choices}, {"end", EndName(path.ending.kind)}, {"at", path.ending.at}};
    if (path.ending.kind == EndKind::kError) p["error"] = path.ending.error;
    paths.push_back(std::move(p));
  }
  report["paths"] = std::move(paths);
  if (!x.edges.empty()) report["start"] = WayJson(x, x.edges.front());
  json nodes = json::array();
  for (size_t i = 0; i < x.nodes.size(); ++i) {
    const Node& node = x.nodes[i];
    json ways = json::array();
    for (const int e : node.edges) ways.push_back(WayJson(x, x.edges[static_cast<size_t>(e)]));
    nodes.push_back({{"id", i},
                     {"kind", node.menu ? "menu" : "buttons"},
                     {"at", node.at},
                     {"page", node.page.empty() ? "" : PagePath(node.page)},
                     {"ways", std::move(ways)}});
  }
  report["nodes"] = std::move(nodes);
  json unreached = json::array();
  for (const Line& line : x.unreached) {
    unreached.push_back({{"file", line.file}, {"line", line.line}, {"text", line.text}});
  }
  report["unreached"] = std::move(unreached);
  report["lines"] = x.lines;
  report["lines_reached"] = x.lines_reached;
  report["cut"] = x.cut;
  // Text that is no valid UTF-8 (a damaged scenario) is written with
  // replacement characters rather than refused.
  return report.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string GraphDot(const Exploration& x) {
  std::string dot =
      "digraph storyboard {\n"
      " graph [rankdir=TB, fontname=\"IPAGothic\", nodesep=0.3, ranksep=0.4];\n"
      " node [shape=box, style=\"rounded,filled\", fillcolor=\"#f4f1ea\", fontname=\"IPAGothic\", "
      "fontsize=11];\n"
      " edge [fontname=\"IPAGothic\", fontsize=10];\n"
      " start [label=\"start\", shape=oval, href=\"#branch-0\"];\n";
  for (size_t i = 0; i < x.nodes.size(); ++i) {
    dot += " n" + std::to_string(i) + " [label=" + Quoted(NodeLabel(x.nodes[i])) +
           ", href=\"#node-" + std::to_string(i) + "\"];\n";
  }
  // Branches that end alike (the same kind, place and message) share one
  // box: the graph stays as small as the game's shape.
  std::map<std::string, std::string> end_boxes;
  for (size_t e = 0; e < x.edges.size(); ++e) {
    const Edge& edge = x.edges[e];
    const std::string from = edge.from < 0 ? "start" : "n" + std::to_string(edge.from);
    std::string to;
    if (edge.to >= 0) {
      to = "n" + std::to_string(edge.to);
    } else if (edge.ending) {
      const std::string label = EndLabel(*edge.ending);
      const auto [box, added] = end_boxes.try_emplace(label, "e" + std::to_string(e));
      to = box->second;
      const bool error = edge.ending->kind == EndKind::kError;
      if (added) {
        dot += " " + to + " [label=" + Quoted(label) + ", shape=box, href=\"#branch-" +
               std::to_string(e) + "\"" +
               (error ? ", color=red, fontcolor=red, fillcolor=\"#ffe8e8\"" : ", fillcolor=\"#e8eef8\"") +
               "];\n";
      }
    } else {
      continue;
    }
    const bool repeat = edge.ending && edge.ending->kind == EndKind::kRepeat && edge.to >= 0;
    dot += " " + from + " -> " + to + " [label=" + Quoted(Short(edge.label, 16)) + ", href=\"#branch-" +
           std::to_string(e) + "\"" + (repeat ? ", style=dashed" : "") + "];\n";
  }
  return dot + "}\n";
}

namespace {

// Lays out and draws the graph with Graphviz; false with the reason when it
// cannot.
bool RenderSvg(const std::string& dot, std::string* svg, std::string* error) {
  GVC_t* gvc = gvContext();
  if (gvc == nullptr) {
    *error = "Graphviz could not start";
    return false;
  }
  Agraph_t* graph = agmemread(dot.c_str());
  if (graph == nullptr) {
    *error = "Graphviz could not read the graph";
  } else if (gvLayout(gvc, graph, "dot") != 0) {
    *error = "Graphviz could not lay out the graph";
    agclose(graph);
    graph = nullptr;
  } else {
    char* data = nullptr;
    unsigned int length = 0;
    if (gvRenderData(gvc, graph, "svg", &data, &length) == 0 && data != nullptr) {
      svg->assign(data, length);
    } else {
      *error = "Graphviz could not draw the graph";
    }
    if (data != nullptr) gvFreeRenderData(data);
    gvFreeLayout(gvc, graph);
    agclose(graph);
  }
  gvFreeContext(gvc);
  return error->empty();
}

}  // namespace

std::string GraphSvg(const Exploration& x, std::string* error) {
  // Graphviz runs in a child process of its own: what it keeps for the rest
  // of a process (its plugins, the font state they open) goes with the
  // child, and a graph it cannot take never brings the report down.
  const std::string dot = GraphDot(x);
  std::string why;
  const std::optional<std::string> answer = RunInChild(
      [&] {
        std::string svg, problem;
        return RenderSvg(dot, &svg, &problem) ? "S" + svg : "E" + problem;
      },
      &why);
  if (!answer) {
    *error = "Graphviz stopped before it drew the graph: " + why;
    return "";
  }
  if (answer->empty() || (*answer)[0] != 'S') {
    *error = answer->size() > 1 ? answer->substr(1) : "Graphviz drew nothing";
    return "";
  }
  // The document's own declarations go; the <svg> element stays.
  const size_t start = answer->find("<svg");
  if (start == std::string::npos) *error = "Graphviz drew no picture";
  return start == std::string::npos ? "" : answer->substr(start);
}

std::string StoryboardHtml(const Exploration& x, const std::string& game_name) {
  // Path ends by kind, in the order of EndKind.
  size_t ends[4] = {};
  for (const Path& path : x.paths) ++ends[static_cast<size_t>(path.ending.kind)];
  std::string h =
      "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
      Html(game_name) +
      ": storyboard</title>\n<style>\n"
      "body{font-family:sans-serif;margin:1.5em;color:#222;background:#fff}\n"
      "h1{font-size:1.5em}h2{margin-top:2em;border-bottom:1px solid #ccc}\n"
      ".graph{overflow:auto}.graph svg{max-width:100%;height:auto}\n"
      ".branch{margin:1em 0;padding:.5em 1em;border-left:4px solid #8aa}\n"
      ".branch h3{font-size:1em;margin:.2em 0}\n"
      ".strip{display:flex;gap:6px;overflow-x:auto;padding:4px 0}\n"
      ".strip img{width:160px;height:120px;border:1px solid #999;flex:none}\n"
      ".error{color:#c00;border-left-color:#c00}\n.error .end{color:#c00;font-weight:bold}\n"
      ".node{margin:1em 0}.node img{width:320px;border:1px solid #999}\n"
      "pre{background:#f6f6f6;padding:.5em;overflow-x:auto}\n"
      "</style>\n</head>\n<body>\n<h1>" +
      Html(game_name) + "</h1>\n<p class=\"summary\">" + std::to_string(x.paths.size()) +
      " paths: " + std::to_string(ends[0]) + " ends, " + std::to_string(ends[1]) + " errors, " +
      std::to_string(ends[2]) + " meet a state explored before, " + std::to_string(ends[3]) +
      " cut by a limit. " + std::to_string(x.nodes.size()) + " menus and button bars. Lines reached: " +
      std::to_string(x.lines_reached) + " of " + std::to_string(x.lines) + ".</p>\n";
  if (x.cut) h += "<p class=\"error\">The exploration was cut by the limit of paths.</p>\n";
  std::string error;
  const std::string svg = GraphSvg(x, &error);
  h += "<h2>Menus and branches</h2>\n<div class=\"graph\">\n";
  h += svg.empty() ? "<p class=\"error\">" + Html(error) + "</p>\n" : svg;
  h += "</div>\n<h2>Branches</h2>\n";
  const auto where = [&](int node) {
    return node < 0 ? std::string("the start")
                    : std::string(x.nodes[static_cast<size_t>(node)].menu ? "the menu at "
                                                                          : "the buttons at ") +
                          x.nodes[static_cast<size_t>(node)].at;
  };
  for (size_t e = 0; e < x.edges.size(); ++e) {
    const Edge& edge = x.edges[e];
    const bool failed = edge.ending && edge.ending->kind == EndKind::kError;
    h += "<section class=\"branch" + std::string(failed ? " error" : "") + "\" id=\"branch-" +
         std::to_string(e) + "\">\n<h3>" + Html(where(edge.from)) +
         (edge.label.empty() ? "" : ": " + Html(edge.label)) + "</h3>\n<div class=\"strip\">";
    for (const std::string& page : edge.pages) {
      h += "<img src=\"" + PagePath(page) + "\" loading=\"lazy\" alt=\"\">";
    }
    if (edge.to >= 0 && !x.nodes[static_cast<size_t>(edge.to)].page.empty()) {
      h += "<img src=\"" + PagePath(x.nodes[static_cast<size_t>(edge.to)].page) +
           "\" loading=\"lazy\" alt=\"\">";
    }
    h += "</div>\n<p class=\"end\">";
    if (edge.to >= 0) {
      h += "leads to <a href=\"#node-" + std::to_string(edge.to) + "\">" + Html(where(edge.to)) +
           "</a>";
      if (edge.ending) h += ", explored before";
    } else if (edge.ending) {
      switch (edge.ending->kind) {
        case EndKind::kEnd:
          h += "ends at " + Html(edge.ending->at);
          break;
        case EndKind::kError:
          h += "error at " + Html(edge.ending->at) + ": " + Html(edge.ending->error);
          break;
        case EndKind::kRepeat:
          h += "comes back to a page of its own at " + Html(edge.ending->at);
          break;
        case EndKind::kLimit:
          h += "cut at " + Html(edge.ending->at) + ": " + Html(edge.ending->error);
          break;
      }
    }
    h += "</p>\n</section>\n";
  }
  h += "<h2>Menus and buttons</h2>\n";
  for (size_t i = 0; i < x.nodes.size(); ++i) {
    const Node& node = x.nodes[i];
    h += "<section class=\"node\" id=\"node-" + std::to_string(i) + "\">\n<h3>" +
         Html(where(static_cast<int>(i))) + "</h3>\n";
    if (!node.page.empty()) h += "<img src=\"" + PagePath(node.page) + "\" loading=\"lazy\" alt=\"\">\n";
    h += "<ul>\n";
    for (const int e : node.edges) {
      h += "<li><a href=\"#branch-" + std::to_string(e) + "\">" +
           Html(x.edges[static_cast<size_t>(e)].label) + "</a></li>\n";
    }
    h += "</ul>\n</section>\n";
  }
  h += "<h2>Lines no path reached</h2>\n";
  if (x.unreached.empty()) h += "<p>Every line was reached.</p>\n";
  std::string file;
  for (const Line& line : x.unreached) {
    if (line.file != file) {
      if (!file.empty()) h += "</pre>\n";
      file = line.file;
      h += "<h3>" + Html(file) + "</h3>\n<pre>";
    }
    h += std::to_string(line.line) + "\t" + Html(line.text) + "\n";
  }
  if (!file.empty()) h += "</pre>\n";
  return h + "</body>\n</html>\n";
}

bool WriteReports(const Exploration& x, const std::string& game_name,
                  const std::filesystem::path& folder, std::string* error) {
  std::string why;
  for (const auto& [name, text] :
       {std::pair{"report.json", ReportJson(x, game_name)},
        std::pair{"coverage.info", x.coverage},
        std::pair{"index.html", StoryboardHtml(x, game_name)}}) {
    if (!WriteWholeFile(folder / name, text, &why)) {
      *error = "cannot write '" + PathToUtf8(folder / name) + "': " + why;
      return false;
    }
  }
  return true;
}

}  // namespace tsumugi::explore
