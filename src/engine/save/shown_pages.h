// What the player was shown of the pages a save file keeps, when the game's
// texts are shown otherwise than the game lays them out (a translation).
// A save file holds only the game's own lines, as the old engine wrote
// them; what was shown is kept in a file of the player's beside it, found
// again by those lines, so that a page a save file gives back in a later
// session is shown as the player read it.
#pragma once

#include <filesystem>

#include "engine/state/game_state.h"

namespace tsumugi {

// Adds what was shown of every page memory that has it to `file` (which
// keeps the pages of the latest saves, up to a bound).
void KeepShownPages(const std::filesystem::path& file, const PageMemoryTable& recall,
                    const PageMemoryTable& buttons);

// Gives each page memory that has nothing shown what `file` keeps for its
// own lines, when it keeps anything. A damaged or missing file gives
// nothing.
void PutBackShownPages(const std::filesystem::path& file, PageMemoryTable& recall,
                       PageMemoryTable& buttons);

}  // namespace tsumugi
