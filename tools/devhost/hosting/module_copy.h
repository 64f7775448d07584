// A private copy of the module file, for --watch: the build must be able to
// write the file again while the module is loaded (Windows locks a loaded
// DLL; a file rewritten in place under a mapping breaks the running code on
// Linux), and the system must load the new build anew rather than hand back
// the handle of a path it has loaded already.
#pragma once

#include <string>

namespace tav::devhost {

class ModuleCopy {
public:
    ModuleCopy() = default;
    ~ModuleCopy() { remove(); }
    ModuleCopy(const ModuleCopy&) = delete;
    ModuleCopy& operator=(const ModuleCopy&) = delete;

    // Copies the file at path beside it, as "STEM.devhost-RANDOM.EXT"; false
    // with the reason in error.
    bool make(const std::string& path, std::string& error);
    // Removes the copy if the system lets it: while loaded on POSIX (the
    // mapping keeps the file), only once unloaded on Windows. Later calls
    // retry; the destructor tries once more.
    void remove();
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Removes the copies beside path that an earlier run left behind (one that
// ended before it could); a copy another run still has loaded stays.
void removeStaleCopies(const std::string& path);

}  // namespace tav::devhost
