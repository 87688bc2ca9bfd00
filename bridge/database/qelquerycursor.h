// Walks the rows of a query; each row is read into a record.
#pragma once

#include <memory>

#include "database/qelread.h"
#include "database/qelrecord.h"

namespace qel {
namespace dataspace {

class IQELQueryCursor {
 public:
  virtual bool IsEOF() = 0;
  // True when a row is current; otherwise the end flag is set.
  virtual bool MoveNext() = 0;
  // Clears the end flag; the statement is not rewound.
  virtual bool Reset() = 0;
  // Clears rec and sets one member per column (GBK text, NULL as "").
  virtual bool GetRecord(IQELRecord* rec) = 0;
  virtual bool CloseCursor() = 0;
  // Closes the cursor.
  virtual ~IQELQueryCursor() = default;
};

// What the storage layer adds to the interface (reached through the
// helpers of database/qelquery.h).
class qelQueryCursor : public IQELQueryCursor {
 public:
  // How the steps went: kRead, or the outcome of the step that failed
  // (kFailed for another process's lock past the wait, a damaged file, an
  // I/O error; kMissing for a statement refused as SQL, an arithmetic
  // error say) with the engine's message: the rows read so far are then no
  // answer. kRead for a cursor without SQL.
  virtual StorageRead<> Outcome() { return StorageRead<>{ReadState::kRead, {}, {}}; }
};

using CursorPtr = std::unique_ptr<IQELQueryCursor>;

}  // namespace dataspace
}  // namespace qel
