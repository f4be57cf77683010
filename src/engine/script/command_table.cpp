#include "engine/script/command_table.h"

#include <array>

namespace tsumugi {

namespace {

constexpr ArgDef Of(std::u16string_view label, ArgKind kind) {
  return {label, kind};
}
constexpr ArgDef Int(std::u16string_view label) {
  return {label, ArgKind::kInteger};
}
constexpr ArgDef Memory() {
  return {u"MEMORY", ArgKind::kMemory};
}
constexpr ArgDef Media(std::u16string_view extension) {
  return Of(u"NAME", ArgKind::kMedia).Detail(extension);
}
constexpr ArgDef PlayMode(int32_t last_playing) {
  return Of(u"MODE", ArgKind::kPlayMode).Limit(last_playing);
}

constexpr FormNode kNoArguments{};
// A keyword or word that sets nothing: the command does nothing.
constexpr FormNode kNothing{};

// --- Lines of text and waits -------------------------------------------------------

constexpr ArgDef kCapArgs[] = {Of(u"TEXT", ArgKind::kShownText).Rest()};
constexpr FormNode kCap{u"", kCapArgs};

// The kind is read after the wait starts; the clear mode only when the
// clear happens, at once or after the click.
constexpr ArgDef kTclArgs[] = {Int(u"KIND").Later(), Int(u"CLEAR").Rest().Later()};
constexpr FormNode kTcl{u"", kTclArgs};

constexpr ArgDef kClkArgs[] = {Int(u"KIND").Taking(Take::kCharacter)};
constexpr FormNode kClk{u"", kClkArgs};

constexpr ArgDef kWatArgs[] = {Int(u"MILLISECONDS").Rest()};
constexpr FormNode kWat{u"", kWatArgs};

// The first picture is loaded before anything after it is read.
constexpr ArgDef kMstArgs[] = {Of(u"TCL", ArgKind::kPicture),
                                Of(u"CLK", ArgKind::kPicture).Later(),
                                Int(u"MODE").Later(),
                                Int(u"X").Later(),
                                Int(u"Y").Later(),
                                Int(u"INTERVAL").Rest().Later()};
constexpr FormNode kMstOff{u"off"};
constexpr FormNode kMstOn{u"", kMstArgs};
constexpr Branch kMstChoice[] = {{Test::kKeyword, u"off", &kMstOff},
                                 {Test::kOtherwise, {}, &kMstOn}};
constexpr FormNode kMst{u"", {}, kMstChoice};

constexpr ArgDef kModeArgs[] = {Int(u"MODE").Rest()};
constexpr FormNode kMode{u"", kModeArgs};

constexpr ArgDef kTspArgs[] = {Int(u"DELAY"), Int(u"FAST").Rest()};
constexpr FormNode kTsp{u"", kTspArgs};

// --- .txt ---------------------------------------------------------------------------

// The window must be empty (and for "space" and "canvas" hidden) before the
// words of a setting are read: those are read when the handler has looked.
constexpr ArgDef kTxtMaxlineArgs[] = {Of(u"LINES", ArgKind::kLineCount).Rest().Later()};
constexpr FormNode kTxtMaxline{u"maxline", kTxtMaxlineArgs};

constexpr ArgDef kWidthHeightArgs[] = {Int(u"WIDTH"), Int(u"HEIGHT").Rest().Later()};
constexpr ArgDef kXYArgs[] = {Int(u"X"), Int(u"Y").Rest()};
constexpr ArgDef kTxtPictureArgs[] = {Of(u"PICTURE", ArgKind::kPicture)};

constexpr FormNode kTxtSpacePicScreen{u"space pic screen", kWidthHeightArgs};
constexpr FormNode kTxtSpacePicture{u"space pic", kTxtPictureArgs};
constexpr Branch kTxtSpacePicChoice[] = {{Test::kKeyword, u"screen", &kTxtSpacePicScreen},
                                         {Test::kOtherwise, {}, &kTxtSpacePicture}};
constexpr FormNode kTxtSpacePic{u"space pic", {}, kTxtSpacePicChoice};
constexpr FormNode kTxtSpacePos{u"space pos", kXYArgs};
constexpr Branch kTxtSpaceChoice[] = {{Test::kKeyword, u"pic", &kTxtSpacePic},
                                      {Test::kKeyword, u"pos", &kTxtSpacePos},
                                      {Test::kOtherwise, {}, &kNothing}};
constexpr FormNode kTxtSpace{u"space", {}, kTxtSpaceChoice, /*choose_later=*/true};

constexpr FormNode kTxtCanvasPos{u"canvas pos", kXYArgs};
constexpr FormNode kTxtCanvasSize{u"canvas size", kWidthHeightArgs};
constexpr Branch kTxtCanvasChoice[] = {{Test::kKeyword, u"pos", &kTxtCanvasPos},
                                       {Test::kKeyword, u"size", &kTxtCanvasSize},
                                       {Test::kOtherwise, {}, &kNothing}};
constexpr FormNode kTxtCanvas{u"canvas", {}, kTxtCanvasChoice, /*choose_later=*/true};

constexpr ArgDef kTxtFaceArgs[] = {Of(u"FACE", ArgKind::kFontFace).Rest()};
constexpr ArgDef kTxtValueArgs[] = {Int(u"VALUE").Rest().Later()};
constexpr ArgDef kColourOfArgs[] = {Of(u"WHICH", ArgKind::kText),
                                     Of(u"COLOUR", ArgKind::kColour).Rest().Later()};
constexpr FormNode kTxtFontName{u"font name", kTxtFaceArgs};
constexpr FormNode kTxtFontValue{u"font value", kTxtValueArgs};
constexpr FormNode kTxtFontColour{u"font color", kColourOfArgs};
constexpr Branch kTxtFontChoice[] = {{Test::kKeyword, u"name", &kTxtFontName},
                                     {Test::kKeyword, u"size", &kTxtFontValue},
                                     {Test::kKeyword, u"style", &kTxtFontValue},
                                     {Test::kKeyword, u"spacing", &kTxtFontValue},
                                     {Test::kKeyword, u"leading", &kTxtFontValue},
                                     {Test::kKeyword, u"offset", &kTxtFontValue},
                                     {Test::kKeyword, u"edge", &kTxtFontValue},
                                     {Test::kKeyword, u"color", &kTxtFontColour},
                                     {Test::kOtherwise, {}, &kNothing}};
constexpr FormNode kTxtFont{u"font", {}, kTxtFontChoice};

constexpr Branch kTxtChoice[] = {{Test::kKeyword, u"maxline", &kTxtMaxline},
                                 {Test::kKeyword, u"space", &kTxtSpace},
                                 {Test::kKeyword, u"canvas", &kTxtCanvas},
                                 {Test::kKeyword, u"font", &kTxtFont},
                                 {Test::kOtherwise, {}, &kNothing}};
constexpr FormNode kTxt{u"", {}, kTxtChoice};

// --- .tpr -------------------------------------------------------------------------------

constexpr ArgDef kTprFaceArgs[] = {Of(u"FACE", ArgKind::kText).Rest()};
constexpr ArgDef kTprSettingArgs[] = {Of(u"SETTING", ArgKind::kText),
                                       Int(u"VALUE").Rest().Later()};
constexpr FormNode kTprFontReset{u"font reset"};
constexpr FormNode kTprFontColour{u"font color", kColourOfArgs};
constexpr FormNode kTprFontName{u"font name", kTprFaceArgs};
constexpr FormNode kTprFontSetting{u"font", kTprSettingArgs};
constexpr Branch kTprFontChoice[] = {{Test::kKeyword, u"reset", &kTprFontReset},
                                     {Test::kKeyword, u"color", &kTprFontColour},
                                     {Test::kKeyword, u"name", &kTprFontName},
                                     {Test::kOtherwise, {}, &kTprFontSetting}};
constexpr FormNode kTprFont{u"font", {}, kTprFontChoice};

// The page is the keyword itself; a left-out target prints on the screen.
constexpr ArgDef kTprOff1Args[] = {
    Of(u"PAGE", ArgKind::kPrintPage).Taking(Take::kNothing).Detail(u"off1"), Int(u"X"), Int(u"Y"),
    Of(u"TEXT", ArgKind::kShownText).Rest()};
constexpr ArgDef kTprOff2Args[] = {
    Of(u"PAGE", ArgKind::kPrintPage).Taking(Take::kNothing).Detail(u"off2"), Int(u"X"), Int(u"Y"),
    Of(u"TEXT", ArgKind::kShownText).Rest()};
constexpr ArgDef kTprScreenArgs[] = {
    Of(u"PAGE", ArgKind::kPrintPage).Taking(Take::kNothing).Detail(u"screen"), Int(u"X"), Int(u"Y"),
    Of(u"TEXT", ArgKind::kShownText).Rest()};
constexpr FormNode kTprOff1{u"", kTprOff1Args};
constexpr FormNode kTprOff2{u"", kTprOff2Args};
constexpr FormNode kTprScreen{u"", kTprScreenArgs};
constexpr Branch kTprChoice[] = {{Test::kKeyword, u"font", &kTprFont},
                                 {Test::kKeyword, u"off1", &kTprOff1},
                                 {Test::kKeyword, u"off2", &kTprOff2},
                                 {Test::kKeyword, u"screen", &kTprScreen},
                                 {Test::kOtherwise, {}, &kTprScreen, /*put_back=*/true}};
constexpr FormNode kTpr{u"", {}, kTprChoice};

// --- Choices and recall points ---------------------------------------------------------

constexpr ArgDef kExitArgs[] = {Memory(), Int(u"KIND").Later(), Int(u"REDRAW").Rest().Later()};
constexpr FormNode kExit{u"exit", kExitArgs};

constexpr ArgDef kRclArgs[] = {Memory()};
constexpr FormNode kRclPoint{u"", kRclArgs};
constexpr Branch kRclChoice[] = {{Test::kKeyword, u"exit", &kExit},
                                 {Test::kOtherwise, {}, &kRclPoint}};
constexpr FormNode kRcl{u"", {}, kRclChoice};

// --- Pictures ------------------------------------------------------------------------------

// A left-out destination is the screen: then the second word is the
// effect, a number, or there is none.
constexpr std::array<ArgDef, 10> PictureArgs(ArgDef destination, ArgKind source) {
  return {destination,
          Of(u"SOURCE", source),
          Of(u"EFFECT", ArgKind::kEffect).Detail(u"0"),
          Int(u"WAIT"),
          Int(u"X"),
          Int(u"Y"),
          Int(u"WIDTH"),
          Int(u"HEIGHT"),
          Int(u"SX"),
          Int(u"SY")};
}
constexpr ArgDef kOnScreen =
    Of(u"DESTINATION", ArgKind::kDestination).Taking(Take::kNothing).Detail(u"screen");
constexpr ArgDef kDestination = Of(u"DESTINATION", ArgKind::kDestination);
constexpr auto kPicOnScreenArgs = PictureArgs(kOnScreen, ArgKind::kSource);
constexpr auto kPicArgs = PictureArgs(kDestination, ArgKind::kSource);
constexpr auto kSprOnScreenArgs = PictureArgs(kOnScreen, ArgKind::kSpriteSource);
constexpr auto kSprArgs = PictureArgs(kDestination, ArgKind::kSpriteSource);
constexpr FormNode kPicOnScreen{u"", kPicOnScreenArgs};
constexpr FormNode kPicTo{u"", kPicArgs};
constexpr Branch kPicChoice[] = {{Test::kNumberAfter, {}, &kPicOnScreen},
                                 {Test::kOtherwise, {}, &kPicTo}};
constexpr FormNode kPic{u"", {}, kPicChoice};
constexpr FormNode kSprOnScreen{u"", kSprOnScreenArgs};
constexpr FormNode kSprTo{u"", kSprArgs};
constexpr Branch kSprChoice[] = {{Test::kNumberAfter, {}, &kSprOnScreen},
                                 {Test::kOtherwise, {}, &kSprTo}};
constexpr FormNode kSpr{u"", {}, kSprChoice};

// The text window must be hidden before the colour is read.
constexpr ArgDef kBscArgs[] = {Of(u"COLOUR", ArgKind::kColour).Rest().Later()};
constexpr FormNode kBsc{u"", kBscArgs};

// --- Buttons ------------------------------------------------------------------------------

constexpr Branch kBtnChoice[] = {{Test::kKeyword, u"exit", &kExit},
                                 {Test::kOtherwise, {}, &kNoArguments}};
constexpr FormNode kBtn{u"", {}, kBtnChoice};

// --- Media ----------------------------------------------------------------------------------

constexpr FormNode kStop{u"stop"};
constexpr ArgDef kMidArgs[] = {Media(u"mid"), PlayMode(1).Rest()};
constexpr ArgDef kMp3Args[] = {Media(u"mp3"), PlayMode(1)};
constexpr ArgDef kWavArgs[] = {Media(u"wav"), PlayMode(2).Rest()};
constexpr ArgDef kAcdArgs[] = {Of(u"TRACK", ArgKind::kTrack), Int(u"MODE").Rest()};
constexpr FormNode kMidPlay{u"", kMidArgs};
constexpr FormNode kMp3Play{u"", kMp3Args};
constexpr FormNode kWavPlay{u"", kWavArgs};
constexpr FormNode kAcdPlay{u"", kAcdArgs};
constexpr Branch kMidChoice[] = {{Test::kKeyword, u"stop", &kStop},
                                 {Test::kOtherwise, {}, &kMidPlay}};
constexpr Branch kMp3Choice[] = {{Test::kKeyword, u"stop", &kStop},
                                 {Test::kOtherwise, {}, &kMp3Play}};
constexpr Branch kWavChoice[] = {{Test::kKeyword, u"stop", &kStop},
                                 {Test::kOtherwise, {}, &kWavPlay}};
constexpr Branch kAcdChoice[] = {{Test::kKeyword, u"stop", &kStop},
                                 {Test::kOtherwise, {}, &kAcdPlay}};
constexpr FormNode kMid{u"", {}, kMidChoice};
constexpr FormNode kMp3{u"", {}, kMp3Choice};
constexpr FormNode kWav{u"", {}, kWavChoice};
constexpr FormNode kAcd{u"", {}, kAcdChoice};

// The text window must be hidden before anything is read; the size mode is
// read once the video is open.
constexpr ArgDef kAviArgs[] = {Media(u"avi").Later(), Int(u"PLAYMODE").Later(),
                                Int(u"SIZEMODE").Rest().Later()};
constexpr FormNode kAvi{u"", kAviArgs};

// --- The cursor -----------------------------------------------------------------------------

// File names may hold blanks: the name is the whole rest of the line.
constexpr ArgDef kCurArgs[] = {Media(u"cur").Rest()};
constexpr FormNode kCurNormal{u"normal"};
constexpr FormNode kCurFile{u"", kCurArgs};
constexpr Branch kCurChoice[] = {{Test::kRestIs, u"normal", &kCurNormal},
                                 {Test::kOtherwise, {}, &kCurFile}};
constexpr FormNode kCur{u"", {}, kCurChoice};

constexpr FormNode kMcm{u"", kXYArgs};
constexpr ArgDef kMmdArgs[] = {Int(u"CLICK"), Int(u"RIGHT").Rest()};
constexpr FormNode kMmd{u"", kMmdArgs};

// --- Control flow -----------------------------------------------------------------------------

constexpr ArgDef kJmpArgs[] = {Of(u"FILE", ArgKind::kScenario), Of(u"LABEL", ArgKind::kLabel)};
constexpr FormNode kJmp{u"", kJmpArgs};

// The second word is the memory number when it reads as an integer;
// otherwise it is a label and the number follows.
constexpr ArgDef kSubExitArgs[] = {Memory().Rest()};
constexpr ArgDef kSubFileArgs[] = {Of(u"FILE", ArgKind::kScenario)};
constexpr ArgDef kSubNoLabelArgs[] = {Of(u"LABEL", ArgKind::kLabel).Taking(Take::kNothing),
                                       Memory()};
constexpr ArgDef kSubLabelArgs[] = {Of(u"LABEL", ArgKind::kLabel), Memory().Rest()};
constexpr FormNode kSubExit{u"exit", kSubExitArgs};
constexpr FormNode kSubNoLabel{u"", kSubNoLabelArgs};
constexpr FormNode kSubLabel{u"", kSubLabelArgs};
constexpr Branch kSubLabelChoice[] = {{Test::kIntegerWord, {}, &kSubNoLabel},
                                      {Test::kOtherwise, {}, &kSubLabel}};
constexpr FormNode kSubCall{u"", kSubFileArgs, kSubLabelChoice};
constexpr Branch kSubChoice[] = {{Test::kKeyword, u"exit", &kSubExit},
                                 {Test::kOtherwise, {}, &kSubCall}};
constexpr FormNode kSub{u"", {}, kSubChoice};

constexpr ArgDef kCasArgs[] = {Of(u"EXPRESSION", ArgKind::kExpression).Rest()};
constexpr FormNode kCas{u"", kCasArgs};

// --- Values -------------------------------------------------------------------------------------

constexpr ArgDef kLetArgs[] = {Of(u"TARGET", ArgKind::kVariableTarget),
                                Of(u"=", ArgKind::kIgnored).Taking(Take::kTwoCharacters),
                                Of(u"VALUE", ArgKind::kLetValue).Rest()};
constexpr FormNode kLet{u"", kLetArgs};
constexpr ArgDef kRndArgs[] = {Of(u"TARGET", ArgKind::kIntegerTarget), Of(u"=", ArgKind::kIgnored),
                                Int(u"LOW"), Of(u"TO", ArgKind::kIgnored), Int(u"HIGH")};
constexpr FormNode kRnd{u"", kRndArgs};
constexpr ArgDef kNowArgs[] = {Of(u"TARGET", ArgKind::kIntegerTarget),
                                Of(u"=", ArgKind::kIgnored).Taking(Take::kTwoCharacters),
                                Of(u"ITEM", ArgKind::kNowItem).Rest()};
constexpr FormNode kNow{u"", kNowArgs};

// --- Save files
// -------------------------------------------------------------------------------------

constexpr ArgDef kSavArgs[] = {Of(u"NAME", ArgKind::kSaveName).Rest()};
constexpr FormNode kSav{u"", kSavArgs};
// Without a name the whole default save is loaded, whatever follows.
constexpr ArgDef kLodArgs[] = {Of(u"NAME", ArgKind::kSaveName),
                                Of(u"WHAT", ArgKind::kLoadTarget).Rest().Later()};
constexpr FormNode kLod{u"", kLodArgs};

constexpr CommandDef kCommands[] = {
    {u"end", &kNoArguments},
    {u"cap", &kCap},
    {u"tcl", &kTcl, /*may_wait=*/true},
    {u"clk", &kClk, /*may_wait=*/true},
    {u"wat", &kWat},
    {u"mst", &kMst},
    {u"tsw", &kNoArguments},
    {u"thd", &kMode},
    {u"tsp", &kTsp},
    {u"tmd", &kMode},
    {u"txt", &kTxt},
    {u"slt", &kNoArguments, /*may_wait=*/true},
    {u"rcl", &kRcl},
    {u"tpr", &kTpr},
    {u"pic", &kPic},
    {u"spr", &kSpr},
    {u"bsc", &kBsc},
    {u"btn", &kBtn},
    {u"bsw", &kNoArguments},
    {u"bhd", &kMode},
    {u"mid", &kMid},
    {u"mp3", &kMp3},
    {u"wav", &kWav},
    {u"acd", &kAcd},
    {u"avi", &kAvi, /*may_wait=*/true},
    {u"cur", &kCur},
    {u"mcm", &kMcm},
    {u"mmd", &kMmd},
    {u"jmp", &kJmp},
    {u"sub", &kSub},
    {u"skp", &kNoArguments},
    {u"cas", &kCas},
    {u"let", &kLet},
    {u"rnd", &kRnd},
    {u"now", &kNow},
    {u"sav", &kSav},
    {u"lod", &kLod},
};

// Appends the shapes of a node's forms to `out`, each after `prefix`.
void AddShapes(const FormNode& node, std::u16string prefix, std::u16string& out) {
  for (const ArgDef& arg : node.args) {
    if (arg.take != Take::kNothing) prefix += u" " + std::u16string(arg.label);
  }
  if (node.branches.empty()) {
    out += prefix + u"\n";
    return;
  }
  for (size_t i = 0; i < node.branches.size(); ++i) {
    const Branch& branch = node.branches[i];
    // Keywords that lead to the same form are written together: a|b.
    bool seen = false;
    for (size_t j = 0; j < i; ++j) seen = seen || node.branches[j].next == branch.next;
    if (seen) continue;
    std::u16string words;
    for (size_t j = i; j < node.branches.size(); ++j) {
      const Branch& other = node.branches[j];
      if (other.next != branch.next || other.keyword.empty()) continue;
      words += (words.empty() ? u"" : u"|") + std::u16string(other.keyword);
    }
    // A word that sets nothing has no shape to show.
    if (branch.next == &kNothing) continue;
    AddShapes(*branch.next, words.empty() ? prefix : prefix + u" " + words, out);
  }
}

}  // namespace

std::u16string_view LineWords::Take(::tsumugi::Take take) {
  std::u16string_view taken;
  switch (take) {
    case Take::kWord:
      return Next();
    case Take::kRest:
      taken = rest;
      rest = {};
      return taken;
    case Take::kCharacter:
      taken = rest.substr(0, 1);
      rest = {};
      return taken;
    case Take::kTwoCharacters:
      taken = rest.substr(0, 2);
      rest.remove_prefix(taken.size());
      return taken;
    case Take::kNothing:
      break;
  }
  return taken;
}

std::span<const CommandDef> AllCommands() {
  return kCommands;
}

const CommandDef* FindCommand(std::u16string_view name) {
  for (const CommandDef& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

std::u16string Synopsis(const CommandDef& command) {
  std::u16string out;
  AddShapes(*command.root, u"." + std::u16string(command.name), out);
  return out;
}

}  // namespace tsumugi
