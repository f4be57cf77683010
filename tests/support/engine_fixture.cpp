#include "support/engine_fixture.h"

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "common/text_codec.h"

namespace tsumugi::test {

EngineFixture::EngineFixture(const Files& files, const std::string& input,
                             headless::HeadlessOptions options, bool crisp_text) {
  for (const auto& [path, text] : files) WriteCp932(dir_ / path, text);
  headless::InputParseResult parsed = headless::ParseInputScript(input);
  if (!parsed.error.empty()) ADD_FAILURE() << "bad input script: " << parsed.error;
  options.actions = parsed.actions;
  options.out = &out_;
  options.err = &err_;
  host_ = std::make_unique<headless::HeadlessHost>(std::move(options));
  EngineOptions engine_options;
  engine_options.game_folder = dir_.path();
  engine_options.settings_file = SettingsFileFor(dir_.path());
  engine_options.crisp_text = crisp_text;
  engine_ = std::make_unique<Engine>(*host_, engine_options);
}

ExitStatus EngineFixture::Run() {
  return engine_->Run();
}

void EngineFixture::StartWithoutRunning() {
  engine_->startup.StartEngine(/*run_script=*/false);
}

bool EngineFixture::Execute(const std::string& utf8_line) {
  return engine_->script.ExecuteLine(Utf8ToUtf16(utf8_line));
}

std::string EngineFixture::ErrorFrom(const std::string& utf8_line) {
  try {
    Execute(utf8_line);
  } catch (const EngineEnded& ended) {
    EXPECT_EQ(ended.status, ExitStatus::kError);
    return OnlyMessage();
  }
  ADD_FAILURE() << utf8_line << " did not end the engine";
  return "";
}

uint64_t EngineFixture::Duration(const std::string& utf8_line) {
  const uint64_t start = host_->Now();
  Execute(utf8_line);
  return host_->Now() - start;
}

std::string EngineFixture::OnlyMessage() const {
  std::vector<std::string> lines;
  std::istringstream in(out_.str());
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  EXPECT_EQ(lines.size(), 1u) << out_.str();
  if (lines.size() != 1) return "";
  // {"box":"ok","text":"..."}: unescape the few escapes the runner writes.
  std::string json = lines[0];
  size_t start = json.find("\"text\":\"");
  if (start == std::string::npos) return "";
  std::string text;
  for (size_t i = start + 8; i < json.size() && json[i] != '"'; ++i) {
    if (json[i] == '\\' && i + 1 < json.size()) {
      char c = json[++i];
      text += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    } else {
      text += json[i];
    }
  }
  return text;
}

}  // namespace tsumugi::test
