// The messages the engine stops with, for the engine's reports and for the
// author's checker, which names them so that the author recognises them.
#pragma once

#include <string>
#include <string_view>

namespace tsumugi::messages {

// --- Commands and their words ---------------------------------------------------------
inline constexpr std::u16string_view kUnknownCommand = u"ないコマンドを指定しました";
inline constexpr std::u16string_view kBadMemoryNumber = u"メモリー番号が不正です";
inline constexpr std::u16string_view kNoColour = u"ない色を指定しました";
inline constexpr std::u16string_view kUndeclaredInteger =
    u"宣言されていない整数型変数が使われました";
inline constexpr std::u16string_view kUndeclaredVariable = u"宣言されていない変数が使われました";
inline constexpr std::u16string_view kAssignsUndeclared =
    u"宣言されていない変数に代入しようとしました";
inline constexpr std::u16string_view kBadFlagName =
    u"000～255の番号で終わらないフラグ名が使われました";
inline constexpr std::u16string_view kDivisionByZero = u"0で割り算をしようとしました";
inline constexpr std::u16string_view kBadSaveName = u"セーブファイル名が不正です";
inline constexpr std::u16string_view kNoPictureFile = u"ピクチャーファイルは存在しません";
inline constexpr std::u16string_view kSpriteOfBase = u"「.spr」の転送元に「base」は指定できません";
inline constexpr std::u16string_view kNoFrames = u"フレーム数に１より小さい数は指定できません。";
inline constexpr std::u16string_view kMaxlineNotPositive =
    u"「.txt maxline」の引数は「0」以下には設定出来ません";

inline std::u16string NoDestination(std::u16string_view word) {
  return u"存在しない描画先「" + std::u16string(word) + u"」を指定しました";
}
inline std::u16string PageNotNumeric(std::u16string_view word) {
  return u"「" + std::u16string(word) + u"」のページ番号が数値ではありません";
}
inline std::u16string NoPage(std::u16string_view word) {
  return u"存在しないページ「" + std::u16string(word) + u"」を指定しました";
}
inline std::u16string NoPrintPage(std::u16string_view word) {
  return u"「.tpr " + std::u16string(word) + u"」の描画先のページが存在しません";
}
inline std::u16string CrossFadeNotDigits(std::u16string_view effect) {
  return u"クロスフェード「" + std::u16string(effect) +
         u"」のレベルとフレーム数は数字で指定してください";
}
inline std::u16string TrackNotNumeric(std::u16string_view word) {
  return u"「.acd」のトラック番号「" + std::u16string(word) + u"」が数値ではありません";
}
// `name` with the scenario extension.
inline std::u16string NoScenario(std::u16string_view name) {
  return u"ファイル「" + std::u16string(name) + u"」は存在しません";
}
inline std::u16string NoLabel(std::u16string_view label) {
  return u"ラベル「" + std::u16string(label) + u"」は存在しません";
}

// --- Blocks ---------------------------------------------------------------------------
inline constexpr std::u16string_view kTooManyButtons = u"ボタンは２５６個までしか定義できません";
// `marker` is ".1", ".2", ...
inline std::u16string NoChoiceBranch(std::u16string_view marker) {
  return u"「.slt」内に選ばれた選択肢に対応する命令を指す「" + std::u16string(marker) +
         u"」が見つかりませんでした";
}
inline std::u16string NoButtonBranch(std::u16string_view marker) {
  return u"「.btn」内に押されたボタンに対応する命令を指す「" + std::u16string(marker) +
         u"」が見つかりませんでした";
}

// --- Start-up -------------------------------------------------------------------------
inline constexpr std::u16string_view kNoScenarioFiles =
    u"シナリオファイル（テキスト）が見つかりません。";
inline constexpr std::u16string_view kTooManyScenarioFiles =
    u"シナリオファイル（テキスト）の数が２５４を超えています。";
inline constexpr std::u16string_view kTooManyVariables = u"宣言された変数が多すぎます";
inline constexpr std::u16string_view kTooManyPages =
    u"ページ数に１０００より大きい数は指定できません";
inline std::u16string BadDeclaration(std::u16string_view word) {
  return u"変数の宣言「" + std::u16string(word) + u"」が正しくありません";
}
// `name` with the scenario extension; said before any scenario is open.
inline std::u16string NoStartScenario(std::u16string_view name) {
  return u"ファイル「" + std::u16string(name) + u"」が存在しません";
}

}  // namespace tsumugi::messages
