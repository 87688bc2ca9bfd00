// Walks the rows of a query; each row is read into a record.
#pragma once

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
  // Whether the end came from a failed step (another process's lock past
  // the wait, a damaged file, an I/O error) rather than the last row: the
  // rows read so far are then no answer. False for a cursor without SQL.
  virtual bool Failed() { return false; }
};

}  // namespace dataspace
}  // namespace qel
