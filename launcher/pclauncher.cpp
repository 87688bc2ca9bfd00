#include "pclauncher.h"

#include <cstring>
#include <exception>

#include "pcplatform.h"

namespace qel {
namespace launcher {

const char kInvalidPathMessage[] = "\xE6\x97\xA0\xE6\x95\x88\xE7\x9A\x84\xE8\xB7\xAF\xE5\xBE\x84";
const char kInvalidPathLengthMessage[] =
    "\xE6\x97\xA0\xE6\x95\x88\xE7\x9A\x84\xE8\xB7\xAF\xE5\xBE\x84\xE9\x95\xBF\xE5\xBA\xA6";
const char kStartFailedSuffix[] = " \xE8\xBF\x90\xE8\xA1\x8C\xE5\xA4\xB1\xE8\xB4\xA5";

namespace {

using platform::EntryKind;

void Report(const std::string& what, const std::string& path, int error) {
  std::string text = "pc: " + what + " \"" + path + "\"";
  if (error != 0) text += ": " + std::string(std::strerror(error));
  platform::ShowMessage(text);
}

// `root` is the folder the copy started from: the update folder lies inside
// the installation, so an update that holds its own Data/AppUpdate would
// otherwise copy into the folder being read.
bool CopyEntry(const std::string& destination, const std::string& source, EntryKind kind,
               const std::string& root) {
  if (destination == root) {
    Report("skipped, it would copy into the update folder:", source, 0);
    return true;
  }
  switch (kind) {
    case EntryKind::kFile: {
      if (int rc = platform::CopyFileOver(source, destination)) {
        Report("cannot copy " + source + " to", destination, rc);
        return false;
      }
      return true;
    }
    case EntryKind::kFolder: {
      int error = 0;
      EntryKind existing = platform::KindOf(destination, &error);
      if (error != 0) {
        Report("cannot read", destination, error);
        return false;
      }
      if (existing == EntryKind::kMissing) {
        if (int rc = platform::CreateFolder(destination)) {
          Report("cannot create folder", destination, rc);
          return false;
        }
      } else if (existing != EntryKind::kFolder) {
        // A file, or a link that may lead out of the installation.
        Report("cannot copy folder " + source + " over a non-folder", destination, 0);
        return false;
      }
      std::vector<platform::FolderEntry> entries;
      if (int rc = platform::ListFolder(source, &entries)) {
        Report("cannot list", source, rc);
        return false;
      }
      bool ok = true;
      for (const platform::FolderEntry& entry : entries) {
        if (!CopyEntry(destination + "/" + entry.name, source + "/" + entry.name, entry.kind, root))
          ok = false;
      }
      return ok;
    }
    case EntryKind::kLink:
      Report("skipped symbolic link", source, 0);
      return true;
    case EntryKind::kOther:
      Report("skipped, neither file nor folder:", source, 0);
      return true;
    case EntryKind::kMissing:
      break;
  }
  return true;  // gone since the listing was read
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
  return CopyEntry(destination, source, kind, source) ? 1 : 0;
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

int ApplyAppUpdate(const std::string& installFolder) {
  if (installFolder.empty()) return 0;
  return CopyFolder(installFolder, AppUpdateFolder(installFolder));
}

int ClearAppUpdate(const std::string& installFolder) {
  if (installFolder.empty()) return 0;
  std::string folder = AppUpdateFolder(installFolder);
  // Only a real folder is emptied; a link there is left alone.
  if (platform::KindOf(folder) != EntryKind::kFolder) return 0;
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
