// The files a game's scripts name: the one lookup for pictures, wipe
// patterns, window and marker pictures, media and cursors below the scenario
// folder; loading a picture and preparing it for transparent drawing with a
// mask.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/file_lookup.h"
#include "platform/gdi/surface.h"

namespace tsumugi {

class HostDialogs;
class ScriptErrors;
struct Settings;

class GameFiles {
 public:
  GameFiles(std::filesystem::path game_folder, const Settings& settings, HostDialogs& dialogs,
            ScriptErrors& errors)
      : game_folder_(std::move(game_folder)),
        settings_(settings),
        dialogs_(dialogs),
        errors_(errors) {}

  // The one lookup for every file a script names (pictures, cursors, window
  // and marker pictures, wipe patterns, media): `name` below the scenario
  // folder, looked up again ignoring case, folder by folder, when it does not
  // exist exactly as written (names stored as CP932 bytes on disk are found
  // too). Only a regular file that lies inside the game folder, symbolic
  // links followed, is found; anything else comes back with its problem and
  // cause, to be reported like a missing file (see FindGameFile).
  GameFile FindFile(const std::u16string& name);

  // The game folder with every symbolic link resolved.
  const std::filesystem::path& GameRoot();

  // The file of a picture name from a script, below the scenario folder. A
  // name with a "." anywhere is a file name with its extension; otherwise
  // ".bmp" is tried first, then ".jpg". A file FindFile does not find is
  // reported as missing and ends the engine; the cause goes to standard
  // error.
  std::filesystem::path FindPictureFile(const std::u16string& name);

  // Whether FindPictureFile and MediaPath would find a file, without a
  // word to anyone.
  [[nodiscard]] bool PictureFileExists(const std::u16string& name);
  [[nodiscard]] bool MediaFileExists(std::u16string name, std::u16string_view extension);

  // Finds the picture and loads it into *out (which takes its size). A file
  // that is not a picture the engine can read is reported, and the reason
  // goes to standard error.
  void LoadPictureFile(const std::u16string& name, gdi::Surface* out);

  // The file of a media or cursor name: a name without "." gets "." and
  // `extension`; it is looked up with FindFile. A file not found is
  // reported as missing (the cause goes to standard error).
  std::filesystem::path MediaPath(std::u16string name, std::u16string_view extension);

 private:
  // FindFile's path, if any; otherwise the cause is added to *causes.
  [[nodiscard]] std::optional<std::filesystem::path> LookUp(const std::u16string& name,
                                                            std::string* causes);
  void ReportCauses(const std::string& causes);

  const std::filesystem::path game_folder_;
  const Settings& settings_;
  HostDialogs& dialogs_;
  ScriptErrors& errors_;
  std::filesystem::path game_root_;
};

// Prepares `picture` for transparent drawing. Its top-left pixel gives the
// key colour; `mask` becomes a surface of the picture's size that is white
// where the picture has the key colour and black elsewhere, and those
// key-colour pixels of the picture turn black. Laying the mask over a
// destination with SRCAND and then the picture with SRCINVERT leaves the
// destination untouched exactly where the picture had the key colour.
// Afterwards the picture's back colour is the key colour.
void MakeMask(gdi::Surface& mask, gdi::Surface& picture);

}  // namespace tsumugi
