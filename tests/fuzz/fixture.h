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

}  // namespace qelfuzz
