// The file --ready-file names: a test runner waits for it instead of reading
// the tool's output. It appears whole or not at all (written beside, then
// renamed over), so a reader polling for it never sees half a line.
#pragma once

#include <string>

namespace tav::devhost {

// Writes text to path through a temporary file beside it; false with the
// reason in error.
bool writeReadyFile(const std::string& path, const std::string& text, std::string& error);

// Removes it (a stale one before serving, ours at the end); no error when
// there is none.
void removeReadyFile(const std::string& path);

}  // namespace tav::devhost
