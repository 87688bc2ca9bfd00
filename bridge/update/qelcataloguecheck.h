// Whether a database file can serve as the installation's catalogue (the
// second database): the reads a start and the catalogue lists make, tried
// on it before it replaces the one in use, and the start's read again once
// it is in place.
#pragma once

#include <string>

namespace qel {
namespace dataspace {

// SQLite's quick check of the file at path, then the start's company read
// and one read of each catalogue list through the modules' own handlers,
// on a connection of its own to the main database mainPath with path
// attached as the catalogue (nothing is written). False, with the reason
// logged, when one fails.
bool IsReadableCatalogue(const std::string& path, const std::string& mainPath);

// The start's company read alone, on such a connection: whether a start
// with the file at path as its catalogue reads its company row.
bool StartReadsCompany(const std::string& path, const std::string& mainPath);

}  // namespace dataspace
}  // namespace qel
