// The configuration file "config" of the scenario folder: variable
// declarations and a few engine-wide options.
#pragma once

namespace tsumugi {

class Engine;

class ConfigFile {
 public:
  // Most variables a configuration file may declare in all: far more than
  // any game needs, few enough that a mistyped count cannot exhaust memory.
  static constexpr int kMaxVariables = 1000000;

  explicit ConfigFile(Engine& engine) : e_(engine) {}

  // Reads the file when there is one, then finishes the declarations. Sets
  // `page_count` (-1 when no usable ".scr" line was met).
  void Read(int* page_count);

 private:
  void Declare(bool integer);

  Engine& e_;
  int declared_ = 0;
};

}  // namespace tsumugi
