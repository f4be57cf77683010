// Saving surfaces as PNG files (screenshots, test output) and loading them
// back.
#pragma once

#include <string>

#include "platform/gdi/surface.h"

namespace tsumugi::gdi {

// Writes the surface as an 8-bit RGB PNG without alpha. The picture is
// written to a temporary file beside the target, which then replaces it, so a
// failure (a full disk) never destroys the file that was at `path`; a path
// that names a folder, device or FIFO is refused. On failure returns false
// and, if error is not null, stores a description in it. An empty surface
// cannot be written.
bool WritePng(const Surface& surface, const std::string& path, std::string* error);

// Reads any PNG into *out (replacing its size and content), dropping alpha.
// On failure returns false, leaves *out unchanged and describes the problem
// in *error if it is not null. Images wider or taller than
// Surface::kMaxDimension are refused.
bool ReadPng(const std::string& path, Surface* out, std::string* error);

}  // namespace tsumugi::gdi
