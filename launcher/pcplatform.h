// The few operating-system calls the launcher needs, on POSIX. Nothing here
// follows a symbolic link except where a function says so. Results are 0 on
// success or an errno value.
#pragma once

#include <string>
#include <vector>

namespace qel {
namespace launcher {
namespace platform {

// What a path names, read without following a final symbolic link.
enum class EntryKind { kMissing, kFile, kFolder, kLink, kOther };

struct FolderEntry {
  std::string name;
  EntryKind kind;
};

// Kind of `path`; `error` (optional) gets the errno of a failed lstat other
// than a missing entry, which is kMissing with error 0.
EntryKind KindOf(const std::string& path, int* error = nullptr);

// Full path of the running executable (symbolic links resolved by the
// kernel), as it was at the first call. Empty when it cannot be read.
std::string ExecutablePath();

// The entries of a folder other than "." and "..", sorted by name, each with
// its own kind (a link is reported as a link, not as what it points to).
int ListFolder(const std::string& path, std::vector<FolderEntry>* entries);

// Writes a copy of the regular file `source` as a new temporary file beside
// `destination` (*temp gets its name), every write, the sync and the close
// checked; nothing is left behind on failure. A destination that exists
// keeps its permission bits; a new one takes the source's. An existing
// destination the user may not write, or one that is not a file or link, is
// refused before anything is written. CommitStaged then renames the
// temporary file over the destination (a link there is replaced, not
// written through), so a running program can be replaced.
int StageFile(const std::string& source, const std::string& destination, std::string* temp);
int CommitStaged(const std::string& temp, const std::string& destination);

// Whether `name` has the form of StageFile's temporary files
// (".<target>.pcnew-" and six letters or digits): what a copy that was
// killed before its renames leaves beside its targets.
bool IsStagedName(const std::string& name);

// The checks of StageFile alone, for a file that will not be written: the
// destination as above, and a folder the user may write for a new one.
int CheckDestination(const std::string& destination);

// Creates one folder with the default mode (umask applies).
int CreateFolder(const std::string& path);

// Removes a file or link (never what a link points to), or an empty folder.
int RemoveFile(const std::string& path);
int RemoveEmptyFolder(const std::string& path);

// Starts `program` with argv[0] = `program` and `args` after it, with this
// process's environment and working folder, without waiting for it.
int StartProgram(const std::string& program, const std::vector<std::string>& args);

// One line of text on standard error.
void ShowMessage(const std::string& text);

}  // namespace platform
}  // namespace launcher
}  // namespace qel
