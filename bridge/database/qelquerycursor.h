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

class qelQueryCursor : public IQELQueryCursor {};

}  // namespace dataspace
}  // namespace qel
