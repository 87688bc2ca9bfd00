// Small installations for the fuzz targets, made once per process.
#pragma once

#include <string>

namespace qelfuzz {

// Builds <tmp>/qelfuzz-<pid>/ from the schema files plus the seed rows of
// tests/fuzz/fixture_rows.<db>.sql, calls InitQelbridge on it, and returns
// its folder. Later calls return the same folder.
const std::string& FixtureInstallation();

// The same for the product-levels module, whose tables have other keys:
// the schema plus tests/fixtures/productlevels.<db>.sql. A process uses
// one of the two, never both.
const std::string& LevelsInstallation();

// The fixture installation with SERVER_PATH set to serverPath (a loopback
// service); the first call's path holds for the process.
const std::string& ServiceInstallation(const std::string& serverPath);

// Puts the installation back as it was built, so that an input sees only
// what it did itself and a finding replays from its own file: a database
// that anything wrote since the last reset gets its built contents back,
// every file or folder beside data/ and ver.qel (staging, uploads, lists)
// goes, and the current user is the one loaded at start-up. Cheap when the
// last input wrote nothing.
void ResetInstallation();

}  // namespace qelfuzz
