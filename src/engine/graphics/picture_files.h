// Picture files of a game: finding a named picture in the scenario folder,
// loading it, and preparing it for transparent drawing with a mask. Media
// files (and cursors) are found the same way.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/gdi/surface.h"

namespace tsumugi {

class Engine;

class PictureFiles {
 public:
  explicit PictureFiles(Engine& engine) : e_(engine) {}

  // The file of a picture name from a script, below the scenario folder. A
  // name with a "." anywhere is a file name with its extension; otherwise
  // ".bmp" is tried first, then ".jpg". Old games were made on a file
  // system that ignores case, so a name that does not exist exactly as
  // written is looked up again ignoring case, folder by folder. A missing
  // file is reported and ends the engine.
  std::filesystem::path FindPictureFile(const std::u16string& name);

  // Finds the picture and loads it into *out (which takes its size). A file
  // that is not a picture the engine can read is reported.
  void LoadPictureFile(const std::u16string& name, gdi::Surface* out);

  // The file of a media or cursor name: a name without "." gets "." and
  // `extension`. A missing file is reported.
  std::filesystem::path MediaPath(std::u16string name, std::u16string_view extension);

 private:
  // The file at the scenario folder + `name`, if it is an ordinary file.
  std::optional<std::filesystem::path> LookUp(const std::u16string& name) const;

  Engine& e_;
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
