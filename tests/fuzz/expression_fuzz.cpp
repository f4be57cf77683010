// Substitution, integer arguments, expressions, colour words and the value
// commands on one engine whose configuration declares a few variables.
#include <sstream>

#include "common/text_codec.h"
#include "engine/engine.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch.h"
#include "platform/headless/headless_host.h"

namespace tsumugi::fuzz {

namespace {

struct Store {
  Store() : host(Options()), engine(host, EngineOptions{}) {
    Variables& vars = engine.vars;
    vars.ResetVariables();
    for (const char16_t* name : {u"n", u"i", u"a0", u"a1", u"a2", u"flagged"}) {
      vars.DeclareVariable(VariableKind::kInteger, name);
    }
    for (const char16_t* name : {u"s", u"t", u"n"}) vars.DeclareVariable(VariableKind::kText, name);
    vars.FinishDeclarations();
  }
  static headless::HeadlessOptions Options() {
    headless::HeadlessOptions options;
    options.out = &sink;
    options.err = &sink;
    return options;
  }
  // Sets the values every input starts from: a text that holds brackets,
  // so that substituted text meets the brackets around it.
  void Reset() {
    Variables& vars = engine.vars;
    vars.Values().Flags.fill(false);
    vars.Values().Flags[7] = true;
    for (size_t i = 0; i < vars.Values().IntegerNames.size(); ++i)
      vars.Values().IntegerValues[i] = static_cast<int32_t>(i) - 2;
    // One value for each text variable (n, s, t, sorted), one of them
    // holding brackets.
    vars.Values().TextValues.assign(vars.Values().TextNames.size(), u"x]y[");
    vars.Values().TextValues.back() = u"[i]";
  }
  static inline std::ostringstream sink;
  headless::HeadlessHost host;
  Engine engine;
};

template <typename F>
void Try(F&& f) {
  try {
    f();
  } catch (const EngineEnded&) {
    // A script error ends the engine: that is a proper answer to bad input.
  }
}

}  // namespace

int Expression(const uint8_t* data, size_t size) {
  static Store store;
  store.Reset();
  store.sink.str({});
  const std::u16string text = DecodeGameText(AsText(data, size));
  Variables& vars = store.engine.vars;
  tsumugi::Script& script = store.engine.script;
  Try([&] { vars.ExpandText(text); });
  Try([&] { vars.ArgToInteger(text); });
  Try([&] { vars.IsIntegerArgument(text); });
  Try([&] { vars.ColourValue(text); });
  Try([&] { vars.EvaluateExpression(text); });
  for (const char16_t* command : {u".let ", u".rnd ", u".now "}) {
    Try([&] { script.ExecuteLine(command + text); });
  }
  return 0;
}

}  // namespace tsumugi::fuzz
