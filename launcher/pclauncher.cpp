#include "pclauncher.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <utility>
#include <vector>

#include "pcplatform.h"

namespace qel {
namespace launcher {

const char kInvalidPathMessage[] = "\xE6\x97\xA0\xE6\x95\x88\xE7\x9A\x84\xE8\xB7\xAF\xE5\xBE\x84";
const char kInvalidPathLengthMessage[] =
    "\xE6\x97\xA0\xE6\x95\x88\xE7\x9A\x84\xE8\xB7\xAF\xE5\xBE\x84\xE9\x95\xBF\xE5\xBA\xA6";
const char kStartFailedSuffix[] = " \xE8\xBF\x90\xE8\xA1\x8C\xE5\xA4\xB1\xE8\xB4\xA5";
const char kIncompleteUpdateMarker[] = "qelupdate.incomplete";

namespace {

using platform::EntryKind;

const char kVersionFileName[] = "ver.qel";

void Report(const std::string& what, const std::string& path, int error) {
  std::string text = "pc: " + what + " \"" + path + "\"";
  if (error != 0) text += ": " + std::string(std::strerror(error));
  platform::ShowMessage(text);
}

// One all-or-nothing copy of a tree: every file is first written as a
// temporary file beside its target, and the renames follow only once all of
// them are written, "ver.qel" last, so that an installation never claims the
// new version before the rest of it is in place. A failure anywhere removes
// the temporary files and the folders the copy created.
class TreeInstaller {
 public:
  // `root` is the folder the copy reads: the update folder lies inside the
  // installation, so an update that holds its own Data/AppUpdate would
  // otherwise copy into the folder being read.
  explicit TreeInstaller(std::string root) : root_(std::move(root)) {}
  ~TreeInstaller() { Abandon(); }
  TreeInstaller(const TreeInstaller&) = delete;
  TreeInstaller& operator=(const TreeInstaller&) = delete;

  // Stages `source` (of `kind`) for `destination`. After the first failure
  // the rest is only checked, so that every failure is reported without
  // writing what will be thrown away.
  void Stage(const std::string& destination, const std::string& source, EntryKind kind, bool top);
  bool failed() const { return failed_; }
  // Renames every staged file into place. False when a rename failed (the
  // files not yet renamed are dropped).
  bool Commit();
  // Removes what was staged and not committed, and the folders created.
  void Abandon();

 private:
  struct Staged {
    std::string temp;
    std::string destination;
  };
  void Fail(const std::string& what, const std::string& path, int error) {
    Report(what, path, error);
    failed_ = true;
  }
  void StageFolder(const std::string& destination, const std::string& source);

  std::string root_;
  bool failed_ = false;
  std::vector<Staged> staged_;
  std::vector<std::string> createdFolders_;  // in creation order
};

void TreeInstaller::Stage(const std::string& destination, const std::string& source, EntryKind kind,
                          bool top) {
  if (destination == root_) {
    Report("skipped, it would copy into the update folder:", source, 0);
    return;
  }
  if (!top && IsDownloadLeftover(source.substr(source.rfind('/') + 1))) {
    Report("skipped, part of an unfinished download:", source, 0);
    return;
  }
  switch (kind) {
    case EntryKind::kFile: {
      if (failed_) {
        if (int rc = platform::CheckDestination(destination))
          Fail("cannot copy " + source + " to", destination, rc);
        return;
      }
      std::string temp;
      if (int rc = platform::StageFile(source, destination, &temp)) {
        Fail("cannot copy " + source + " to", destination, rc);
        return;
      }
      staged_.push_back({temp, destination});
      return;
    }
    case EntryKind::kFolder:
      StageFolder(destination, source);
      return;
    case EntryKind::kLink:
      Report("skipped symbolic link", source, 0);
      return;
    case EntryKind::kOther:
      Report("skipped, neither file nor folder:", source, 0);
      return;
    case EntryKind::kMissing:
      return;  // gone since the listing was read
  }
}

// The temporary files a copy that was killed before its renames left in
// `folder` (a real folder): plain files of the staging name only, never a
// link or a folder, and nothing below.
void RemoveStagedLeftovers(const std::string& folder) {
  std::vector<platform::FolderEntry> entries;
  if (platform::ListFolder(folder, &entries) != 0) return;  // the staging reports what fails here
  for (const platform::FolderEntry& entry : entries) {
    if (entry.kind != EntryKind::kFile || !platform::IsStagedName(entry.name)) continue;
    if (int rc = platform::RemoveFile(folder + "/" + entry.name))
      Report("cannot remove an earlier copy's temporary file", folder + "/" + entry.name, rc);
  }
}

void TreeInstaller::StageFolder(const std::string& destination, const std::string& source) {
  int error = 0;
  EntryKind existing = platform::KindOf(destination, &error);
  if (error != 0) {
    Fail("cannot read", destination, error);
    return;
  }
  if (existing == EntryKind::kMissing) {
    // Nothing below a folder that is not there can be in the way.
    if (failed_) return;
    if (int rc = platform::CreateFolder(destination)) {
      Fail("cannot create folder", destination, rc);
      return;
    }
    createdFolders_.push_back(destination);
  } else if (existing != EntryKind::kFolder) {
    // A file, or a link that may lead out of the installation.
    Fail("cannot copy folder " + source + " over a non-folder", destination, 0);
    return;
  } else {
    RemoveStagedLeftovers(destination);
  }
  std::vector<platform::FolderEntry> entries;
  if (int rc = platform::ListFolder(source, &entries)) {
    Fail("cannot list", source, rc);
    return;
  }
  for (const platform::FolderEntry& entry : entries)
    Stage(destination + "/" + entry.name, source + "/" + entry.name, entry.kind, false);
}

bool TreeInstaller::Commit() {
  if (failed_) return false;
  // The version file last: until it is in place the installation still
  // answers with its old version, and the update is looked for again.
  std::stable_partition(staged_.begin(), staged_.end(), [](const Staged& file) {
    return file.destination.substr(file.destination.rfind('/') + 1) != kVersionFileName;
  });
  for (size_t i = 0; i < staged_.size(); ++i) {
    if (int rc = platform::CommitStaged(staged_[i].temp, staged_[i].destination)) {
      Fail("cannot move " + staged_[i].temp + " to", staged_[i].destination, rc);
      // The files renamed so far stay; Abandon removes the others.
      staged_.erase(staged_.begin(), staged_.begin() + static_cast<std::ptrdiff_t>(i));
      createdFolders_.clear();
      return false;
    }
  }
  staged_.clear();
  createdFolders_.clear();  // they hold the update now
  return true;
}

void TreeInstaller::Abandon() {
  for (const Staged& file : staged_) {
    if (int rc = platform::RemoveFile(file.temp)) Report("cannot remove", file.temp, rc);
  }
  staged_.clear();
  for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) {
    if (int rc = platform::RemoveEmptyFolder(*it)) Report("cannot remove folder", *it, rc);
  }
  createdFolders_.clear();
}

// CopyFolder with a last look before the renames: false from `stillWanted`
// drops everything staged.
int CopyFolderIf(const std::string& destination, const std::string& source,
                 const std::function<bool()>& stillWanted) {
  if (destination.empty() || source.empty() || destination == source) return 0;
  int error = 0;
  EntryKind kind = platform::KindOf(source, &error);
  if (kind == EntryKind::kMissing) {
    if (error != 0) Report("cannot read", source, error);
    return 0;
  }
  if (kind == EntryKind::kLink || kind == EntryKind::kOther) {
    Report("not copied, not a file or folder:", source, 0);
    return 0;
  }
  TreeInstaller installer(source);
  installer.Stage(destination, source, kind, true);
  if (installer.failed() || (stillWanted && !stillWanted())) return 0;
  return installer.Commit() ? 1 : 0;
}

// A release the client core has not finished downloading carries the marker.
bool IsMarked(const std::string& updateFolder) {
  return platform::KindOf(updateFolder + "/" + kIncompleteUpdateMarker) != EntryKind::kMissing;
}

bool RemoveTree(const std::string& path) {
  std::vector<platform::FolderEntry> entries;
  if (int rc = platform::ListFolder(path, &entries)) {
    Report("cannot list", path, rc);
    return false;
  }
  bool ok = true;
  for (const platform::FolderEntry& entry : entries) {
    std::string child = path + "/" + entry.name;
    if (entry.kind == EntryKind::kFolder) {
      if (!RemoveTree(child)) {
        ok = false;
        continue;
      }
      if (int rc = platform::RemoveEmptyFolder(child)) {
        Report("cannot remove folder", child, rc);
        ok = false;
      }
    } else if (int rc = platform::RemoveFile(child)) {
      Report("cannot remove", child, rc);
      ok = false;
    }
  }
  return ok;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

int CopyFolder(const std::string& destination, const std::string& source) {
  return CopyFolderIf(destination, source, nullptr);
}

int DeleteFolder(const std::string& path) {
  if (path.empty()) return 0;
  int error = 0;
  EntryKind kind = platform::KindOf(path, &error);
  if (kind == EntryKind::kMissing) {
    if (error != 0) Report("cannot read", path, error);
    return 0;
  }
  if (kind != EntryKind::kFolder) {
    if (int rc = platform::RemoveFile(path)) {
      Report("cannot remove", path, rc);
      return 0;
    }
    return 1;
  }
  return RemoveTree(path) ? 1 : 0;
}

std::string AppUpdateFolder(const std::string& installFolder) { return installFolder + "/Data/AppUpdate"; }

bool IsDownloadLeftover(const std::string& name) {
  return name == kIncompleteUpdateMarker || name.find(".qeltmp") != std::string::npos ||
         name.find(".qeldld") != std::string::npos;
}

int ApplyAppUpdate(const std::string& installFolder) {
  if (installFolder.empty()) return 0;
  std::string folder = AppUpdateFolder(installFolder);
  if (platform::KindOf(folder) == EntryKind::kFolder && IsMarked(folder)) {
    Report("update not complete yet, left for a later start:", folder, 0);
    return 0;
  }
  // A host that starts a new release while the files are written marks the
  // folder again: then nothing of it goes in.
  int applied = CopyFolderIf(installFolder, folder, [&folder] { return !IsMarked(folder); });
  if (applied != 1 && platform::KindOf(folder) == EntryKind::kFolder)
    Report("update not applied, kept for the next start:", folder, 0);
  return applied;
}

int ClearAppUpdate(const std::string& installFolder) {
  if (installFolder.empty()) return 0;
  std::string folder = AppUpdateFolder(installFolder);
  // Only a real folder is emptied; a link there is left alone, and so is a
  // release a host has begun to download since.
  if (platform::KindOf(folder) != EntryKind::kFolder || IsMarked(folder)) return 0;
  return DeleteFolder(folder);
}

ProgramPathResult MainProgramPath(const std::string& executablePath, std::string* programPath) {
  programPath->clear();
  if (executablePath.empty() || executablePath.size() >= kPathLimit) return ProgramPathResult::kInvalidPath;
  size_t slash = executablePath.rfind('/');
  if (slash == std::string::npos) return ProgramPathResult::kInvalidPath;
  std::string path = executablePath.substr(0, slash) + "/Data";
  std::string name = executablePath.substr(slash);  // keeps its leading "/"
  if (path.size() + name.size() >= kPathLimit) return ProgramPathResult::kInvalidPathLength;
  *programPath = path + name;
  return ProgramPathResult::kOk;
}

int RunMainProgram(const std::vector<std::string>& args) {
  std::string program;
  switch (MainProgramPath(platform::ExecutablePath(), &program)) {
    case ProgramPathResult::kInvalidPath:
      platform::ShowMessage(kInvalidPathMessage);
      return -1;
    case ProgramPathResult::kInvalidPathLength:
      platform::ShowMessage(kInvalidPathLengthMessage);
      return -1;
    case ProgramPathResult::kOk:
      break;
  }
  if (int rc = platform::StartProgram(program, args)) {
    platform::ShowMessage(program + kStartFailedSuffix + ": " + std::strerror(rc));
    return -1;
  }
  return 0;
}

int RunLauncher(const std::vector<std::string>& args) {
  try {
    std::string installFolder = FolderOf(platform::ExecutablePath());
    // A copy that failed anywhere keeps the update folder, so the next start
    // tries again; the program starts either way.
    if (ApplyAppUpdate(installFolder) == 1) ClearAppUpdate(installFolder);
    return RunMainProgram(args) == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    platform::ShowMessage(std::string("pc: ") + e.what());
    return 1;
  }
}

}  // namespace launcher
}  // namespace qel
