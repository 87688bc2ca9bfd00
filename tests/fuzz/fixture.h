// A small installation for the fuzz targets, made once per process.
#pragma once

#include <string>

namespace qelfuzz {

// Builds <tmp>/qelfuzz-<pid>/ from the schema files plus the seed rows of
// tests/fuzz/fixture_rows.<db>.sql, calls InitQelbridge on it, and returns
// its folder. Later calls return the same folder.
const std::string& FixtureInstallation();

}  // namespace qelfuzz
