// What one storage read found. Every read of the storage layer (a cursor,
// rows, one value, a count) returns a StorageRead, so what a read reports
// belongs to that read alone: a handler branches on the result in hand,
// never on an error another call left behind.
//
//   StorageRead<std::string> name = ReadFieldValue(datasource, "BRAND_LANG", "BRANDNAME", filter);
//   if (name.Failed()) return false;          // the database cannot be read: no answer
//   row->SetValue("BRANDNAME", name.Found() ? name.value : "");   // none for no row or no table
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace qel {
namespace dataspace {

enum class ReadState {
  // The statement ran: value holds the rows, the value or the count.
  kRead,
  // The statement ran and gave no row.
  kNoRow,
  // The statement was refused as SQL: a table or column this database
  // lacks (or a syntax or arithmetic error). Only a look-up whose absence a
  // reply already shows (a flag of "0", an empty name) may read it as none.
  kMissing,
  // The database could not be read: no datasource, a closed database,
  // another process's lock past the wait, a damaged file, an I/O error.
  kFailed,
};

template <typename T = std::monostate>
struct StorageRead {
  StorageRead() = default;
  explicit StorageRead(ReadState readState, T readValue = T{}, std::string engineMessage = {})
      : state(readState), value(std::move(readValue)), message(std::move(engineMessage)) {}

  ReadState state = ReadState::kFailed;
  // Set for kRead; value-initialized otherwise.
  T value{};
  // The engine's message for kMissing and kFailed.
  std::string message;

  // The statement ran (whether or not it gave a row).
  bool Ran() const { return state == ReadState::kRead || state == ReadState::kNoRow; }
  bool Found() const { return state == ReadState::kRead; }
  bool Missing() const { return state == ReadState::kMissing; }
  bool Failed() const { return state == ReadState::kFailed; }

  // The same outcome carrying another value (a failure handed on).
  template <typename U>
  StorageRead<U> With(U other) const {
    return StorageRead<U>{state, std::move(other), message};
  }
  StorageRead<> Outcome() const { return StorageRead<>{state, {}, message}; }
};

template <typename T>
StorageRead<T> ReadValue(T value) {
  return StorageRead<T>{ReadState::kRead, std::move(value), {}};
}
// A read of rows: kRead when any row was read, else kNoRow.
inline StorageRead<> RowsRead(bool anyRow) {
  return StorageRead<>{anyRow ? ReadState::kRead : ReadState::kNoRow, {}, {}};
}

}  // namespace dataspace
}  // namespace qel
