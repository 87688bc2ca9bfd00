// The launcher: applies a pending application update from Data/AppUpdate
// over the installation folder, all or nothing, empties the update folder
// once everything is in place, and starts the user-interface program
// Data/<own file name> with the launcher's own arguments. A release the
// client core has not finished downloading is left alone.
#pragma once

#include <climits>
#include <cstddef>
#include <string>
#include <vector>

namespace qel {
namespace launcher {

// The two messages for a user-interface path that cannot be built.
extern const char kInvalidPathMessage[];        // "无效的路径"
extern const char kInvalidPathLengthMessage[];  // "无效的路径长度"
// Appended to the program's path when it could not be started.
extern const char kStartFailedSuffix[];  // " 运行失败"

// Paths, including the terminating zero, stay within the platform's limit.
constexpr size_t kPathLimit = PATH_MAX;

// Marks Data/AppUpdate while the client core downloads a release into it;
// written and removed by the client core, which uses the same name.
extern const char kIncompleteUpdateMarker[];  // "qelupdate.incomplete"

// Whether an entry of the update folder is a download's own file (the
// transport's "*.qeltmp*" and "*.qeldld*", or the marker): never installed.
bool IsDownloadLeftover(const std::string& name);

// Copies `source` (a file, or a folder with everything below it) over
// `destination`, all or nothing: every file is first written as a temporary
// file beside its target, and the renames follow once all are written,
// "ver.qel" last; sub-folders are created, files replaced, nothing in the
// destination is deleted, except the temporary files an earlier copy that
// was killed left in a folder this one writes to (removed first). On a
// failure the temporary files and the created folders go again and no file
// is replaced. Symbolic links, entries that
// are neither files nor folders, and download leftovers in the source are
// skipped with a message; a destination entry that is a link to a folder is
// not entered. Returns 1 when every file and folder was copied, 0 when any
// failed (each failure is reported), when either path is empty, when both
// are equal, or when the source does not exist.
int CopyFolder(const std::string& destination, const std::string& source);

// Empties `path` without following links: files and links are removed,
// sub-folders emptied and removed; the folder itself stays. A file or link
// given as `path` is removed. Returns 1 when everything went, 0 otherwise or
// for an empty or missing path.
int DeleteFolder(const std::string& path);

// The update folder of an installation: <install>/Data/AppUpdate.
std::string AppUpdateFolder(const std::string& installFolder);

// Copies the update folder over the installation (CopyFolder). 1 when it
// was copied completely; 0 when there is none, when it carries the marker
// (it is then left alone) or when something failed (reported, with a last
// line that the update is kept for the next start).
int ApplyAppUpdate(const std::string& installFolder);

// Empties the update folder (it stays); a marked one is left alone.
int ClearAppUpdate(const std::string& installFolder);

enum class ProgramPathResult { kOk, kInvalidPath, kInvalidPathLength };

// The user-interface program beside `executablePath`: its folder + "/Data" +
// its file name.
ProgramPathResult MainProgramPath(const std::string& executablePath, std::string* programPath);

// Starts the user-interface program of the running launcher with `args`
// unchanged. 0 when it started, -1 otherwise (with a message).
int RunMainProgram(const std::vector<std::string>& args);

// The whole launcher: apply, clear after a complete copy, start (also after
// a failed or skipped update). The exit
// status: 0 when the user-interface program started, 1 when it did not.
int RunLauncher(const std::vector<std::string>& args);

}  // namespace launcher
}  // namespace qel
