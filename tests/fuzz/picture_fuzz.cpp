// The picture and cursor loaders: the first byte chooses the file's
// extension (bitmap, JPEG, cursor, icon), the rest is the file. A picture
// that loads is masked, as the engine does before drawing it.
#include "engine/files/game_files.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/scratch.h"
#include "platform/gdi/cursor_image.h"
#include "platform/gdi/picture.h"

namespace tsumugi::fuzz {

int Picture(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const kExtensions[] = {".bmp", ".jpg", ".cur", ".ico"};
  const int mode = data[0] % 4;
  const auto path = Scratch(std::string("picture") + kExtensions[mode]);
  WriteBytes(path, AsText(data + 1, size - 1));
  std::string error;
  if (mode < 2) {
    gdi::Surface picture, mask;
    if (gdi::LoadPicture(path, &picture, &error)) {
      if (picture.Width() <= 0 || picture.Height() <= 0 ||
          int64_t{picture.Width()} * picture.Height() > gdi::kMaxPicturePixels) {
        __builtin_trap();
      }
      MakeMask(mask, picture);
    }
  } else {
    gdi::CursorImage cursor;
    // Crashes are what is looked for here, not whether the file loads.
    static_cast<void>(gdi::LoadCursorImage(path, &cursor, &error));
  }
  std::filesystem::remove(path);
  return 0;
}

}  // namespace tsumugi::fuzz
