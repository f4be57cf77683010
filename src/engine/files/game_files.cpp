#include "engine/files/game_files.h"

#include "common/file_lookup.h"
#include "common/text_codec.h"
#include "engine/engine_end.h"
#include "engine/messages.h"
#include "engine/startup/settings.h"
#include "platform/gdi/bitblt.h"
#include "platform/gdi/picture.h"
#include "platform/host.h"

namespace tsumugi {

const std::filesystem::path& GameFiles::GameRoot() {
  if (game_root_.empty()) {
    game_root_ = RealPath(game_folder_).value_or(game_folder_);
  }
  return game_root_;
}

GameFile GameFiles::FindFile(const std::u16string& name) {
  return FindGameFile(GameRoot(), PathFromUtf16(settings_.ScenarioFolder), Utf16ToUtf8(name));
}

std::optional<std::filesystem::path> GameFiles::LookUp(const std::u16string& name,
                                                       std::string* causes) {
  GameFile file = FindFile(name);
  if (file.path) return file.path;
  if (!causes->empty()) *causes += "; ";
  *causes += file.cause;
  return std::nullopt;
}

void GameFiles::ReportCauses(const std::string& causes) {
  dialogs_.Diagnostic("not found: " + causes);
}

std::filesystem::path GameFiles::FindPictureFile(const std::u16string& name) {
  const std::u16string& folder = settings_.ScenarioFolder;
  std::string causes;
  if (name.find(u'.') != std::u16string::npos) {
    if (std::optional<std::filesystem::path> found = LookUp(name, &causes)) return *found;
    ReportCauses(causes);
    errors_.ScriptError(u"ファイル「" + folder + name + u"」は存在しません。", false);
  }
  // A bitmap wins over a JPEG of the same name.
  if (std::optional<std::filesystem::path> found = LookUp(name + u".bmp", &causes)) return *found;
  if (std::optional<std::filesystem::path> found = LookUp(name + u".jpg", &causes)) return *found;
  ReportCauses(causes);
  errors_.ScriptError(
      u"「" + folder + name + u"」という名前の\r\n" + std::u16string(messages::kNoPictureFile),
      false);
}

bool GameFiles::PictureFileExists(const std::u16string& name) {
  if (name.find(u'.') != std::u16string::npos) return FindFile(name).path.has_value();
  return FindFile(name + u".bmp").path.has_value() || FindFile(name + u".jpg").path.has_value();
}

bool GameFiles::MediaFileExists(std::u16string name, std::u16string_view extension) {
  if (name.find(u'.') == std::u16string::npos) {
    name += u'.';
    name += extension;
  }
  return FindFile(name).path.has_value();
}

void GameFiles::LoadPictureFile(const std::u16string& name, gdi::Surface* out) {
  const std::filesystem::path path = FindPictureFile(name);
  std::string error;
  if (!gdi::LoadPicture(path, out, &error)) {
    // A damaged or foreign file must not be shown as garbage or crash the
    // engine: the author learns which file it is, and why on standard error.
    dialogs_.Diagnostic(PathToUtf8(path) + ": " + error);
    errors_.ScriptError(u"ファイル「" + Utf8ToUtf16(PathToUtf8(path)) +
                            u"」はピクチャーファイルとして読み込めません",
                        false);
  }
}

std::filesystem::path GameFiles::MediaPath(std::u16string name, std::u16string_view extension) {
  if (name.find(u'.') == std::u16string::npos) {
    name += u'.';
    name += extension;
  }
  std::string causes;
  if (std::optional<std::filesystem::path> found = LookUp(name, &causes)) return *found;
  ReportCauses(causes);
  errors_.ScriptError(u"ファイル「" + settings_.ScenarioFolder + name + u"」は存在しません。",
                      false);
}

void MakeMask(gdi::Surface& mask, gdi::Surface& picture) {
  const int w = picture.Width();
  const int h = picture.Height();
  const gdi::ColorRef key = picture.GetPixel(0, 0);

  // Masks are white where the screen shows through and black where the
  // picture covers it: 1 bits of the monochrome copy arrive as the mask's
  // back colour, 0 bits as its fore colour.
  mask.SetBackColor(gdi::kWhite);
  mask.SetForeColor(gdi::kBlack);
  mask.Clear();
  mask.Resize(w, h);

  gdi::MonoBitmap mono(w, h);
  // Colour to monochrome: pixels of the picture's back colour become 1.
  picture.SetBackColor(key);
  gdi::BitBlt(mono, 0, 0, w, h, picture, 0, 0, gdi::kSrcCopy);
  gdi::BitBlt(mask, 0, 0, w, h, mono, 0, 0, gdi::kSrcCopy);
  // Destination AND NOT source: the 1 bits arrive as the key colour and
  // clear exactly the key-colour pixels to black; the 0 bits arrive as the
  // picture's fore colour, black, and leave the other pixels as they are.
  const gdi::ColorRef fore = picture.ForeColor();
  picture.SetForeColor(gdi::kBlack);
  gdi::BitBlt(picture, 0, 0, w, h, mono, 0, 0, gdi::kDstAndNotSrc);
  picture.SetForeColor(fore);
}

}  // namespace tsumugi
