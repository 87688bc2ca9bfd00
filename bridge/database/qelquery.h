// The one way modules read and write the local database. Every helper
// without a datasource argument works on the session's main datasource
// (qelInfoAccess); each returns an owner or a value, never a raw pointer to
// delete, and no statement is ever finalized by hand.
//
// Every read reports what it found as a StorageRead (database/qelread.h):
// read, no row, a missing table or column, or failed, with the engine's
// message; nothing is left behind for a later call to read.
//
//   qelQueryDef def;
//   def.AddField("PRODUCT", "PRODUCT_ID");
//   def.SetFilter("PRODUCT_ID = " + QuoteSqlText(id));
//   if (RowsReply(&def, "Query error", reply) != 0) return 1;   // styled array
//
//   if (!ForEachRow(&def, [&](Json::Value& row) { ... }).Ran()) return 1;   // row objects
//   *reply = CountReply(QueryCount("PRODUCT", ""));             // [{"COUNT":"n"}]
//
// Row objects hold one string member per column (GBK, NULL as "").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <json/json.h>

#include "database/qeldatasource.h"
#include "database/qelquerycursor.h"
#include "database/qelquerydef.h"
#include "database/qelread.h"
#include "database/qelrecord.h"

namespace qel {
namespace dataspace {

// The session's main datasource; null when none could be made. On a thread
// that holds a ScopedMainDatasource, that one instead.
IQELDatasource* MainDatasource();

// While it lives, MainDatasource() on the calling thread is datasource, so
// that the modules' own reads run on another connection (the data update
// tries the catalogue's reads on a downloaded database with them). Other
// threads keep the session's.
class ScopedMainDatasource {
 public:
  explicit ScopedMainDatasource(IQELDatasource* datasource);
  ~ScopedMainDatasource();
  ScopedMainDatasource(const ScopedMainDatasource&) = delete;
  ScopedMainDatasource& operator=(const ScopedMainDatasource&) = delete;

 private:
  IQELDatasource* previous_;
};

// Runs def: the cursor, or kMissing or kFailed (no datasource, no table in
// def, a closed database, SQL that does not prepare).
StorageRead<CursorPtr> RunQuery(IQELDatasource* datasource, IQELQueryDef* def);
StorageRead<CursorPtr> RunQuery(IQELQueryDef* def);

// Runs an SQL text with values bound to its "?" marks in order; as
// RunQuery.
StorageRead<CursorPtr> RunSql(IQELDatasource* datasource, const std::string& sql,
                              const std::vector<std::string>& values = {});
StorageRead<CursorPtr> RunSql(const std::string& sql, const std::vector<std::string>& values = {});

// Runs one writing statement with bound values; *changes (when given) gets
// its changed-row count, read under the connection's writer lock. False
// when there is no datasource or the statement fails.
bool ExecSql(IQELDatasource* datasource, const std::string& sql, const std::vector<std::string>& values = {},
             int* changes = nullptr);
bool ExecSql(const std::string& sql, const std::vector<std::string>& values = {}, int* changes = nullptr);

// Whether the cursor ended on a failed step rather than after its last row.
bool CursorFailed(IQELQueryCursor* cursor);

// Hands every row object of cursor to visit(Json::Value& row), which
// returns false when what it reads for the row fails: the walk stops
// there (kFailed). The row may be moved from; rows that cannot be read are
// skipped. kRead or kNoRow when every row was walked; otherwise the rows
// visited so far are no answer (a failed step gives its own outcome).
template <typename Visit>
StorageRead<> WalkRowsWhile(IQELQueryCursor* cursor, Visit&& visit) {
  if (cursor == nullptr) return StorageRead<>{ReadState::kFailed, {}, "no cursor"};
  bool anyRow = false;
  while (cursor->MoveNext()) {
    anyRow = true;
    qelRecord row;
    if (cursor->GetRecord(&row) && !visit(row.GetJson())) {
      return StorageRead<>{ReadState::kFailed, {}, "a read for a row failed"};
    }
  }
  auto* own = dynamic_cast<qelQueryCursor*>(cursor);
  StorageRead<> outcome = own != nullptr ? own->Outcome() : StorageRead<>{ReadState::kRead};
  return outcome.Found() ? RowsRead(anyRow) : outcome;
}

// The same for a visit that reads nothing more (returns void).
template <typename Visit>
StorageRead<> WalkRows(IQELQueryCursor* cursor, Visit&& visit) {
  return WalkRowsWhile(cursor, [&visit](Json::Value& row) {
    visit(row);
    return true;
  });
}

// Runs def and walks its rows: the outcome of RunQuery when it cannot run,
// else that of the walk (visit may then have seen some rows).
template <typename Visit>
StorageRead<> ForEachRow(IQELDatasource* datasource, IQELQueryDef* def, Visit&& visit) {
  StorageRead<CursorPtr> query = RunQuery(datasource, def);
  if (!query.Found()) return query.Outcome();
  return WalkRows(query.value.get(), std::forward<Visit>(visit));
}
// The same with a visit that may fail (see WalkRowsWhile).
template <typename Visit>
StorageRead<> ForEachRowWhile(IQELDatasource* datasource, IQELQueryDef* def, Visit&& visit) {
  StorageRead<CursorPtr> query = RunQuery(datasource, def);
  if (!query.Found()) return query.Outcome();
  return WalkRowsWhile(query.value.get(), std::forward<Visit>(visit));
}
template <typename Visit>
StorageRead<> ForEachRow(IQELQueryDef* def, Visit&& visit) {
  return ForEachRow(MainDatasource(), def, std::forward<Visit>(visit));
}

// The first row of def (kRead), kNoRow, or why the query or its step
// failed.
StorageRead<Json::Value> QueryFirstRow(IQELDatasource* datasource, IQELQueryDef* def);

// The rows of def appended to rows (made an array), as ForEachRow; rows is
// left as it was unless the walk Ran().
StorageRead<> QueryRows(IQELQueryDef* def, Json::Value* rows);
// One string member of every row of def, in row order, appended to
// values; values is left as it was unless the walk Ran().
StorageRead<> QueryColumn(IQELQueryDef* def, const char* column, std::vector<std::string>* values);
// The value of the first row of a one-column SQL text with bound values
// (with more columns, the one whose name sorts first).
StorageRead<std::string> QueryValue(const std::string& sql, const std::vector<std::string>& values);

// Column 0 of the first row of " SELECT  field FROM table [WHERE filter]"
// (see qelDatasource::ReadFieldValue); kFailed without a datasource. A
// look-up whose absence the reply shows anyway (a default, an empty name)
// takes kNoRow and kMissing alike as none; kFailed fails the reply.
StorageRead<std::string> ReadFieldValue(IQELDatasource* datasource, const std::string& table,
                                        const std::string& field, const std::string& filter);

// The one row count: COUNT(*) of table under filter (empty: all rows),
// read through the datasource's single-value path. table may list several
// tables with their aliases ("CERTGROUP t1, CERTGROUP_EXTEND t2") to count a
// join. kRead with the count, or why it cannot be read: a count that
// cannot be read is no count, never 0.
StorageRead<int64_t> CountRows(IQELDatasource* datasource, const std::string& table,
                               const std::string& filter);
StorageRead<int64_t> CountRows(const std::string& table, const std::string& filter);
// CountRows on the main datasource for a reply, with "Queryscalar error"
// logged straight to the host when the count cannot be read; every caller
// takes its failure path then.
StorageRead<int64_t> QueryCount(const std::string& table, const std::string& filter);
// The decimal text replies carry for a count; "" for no count.
std::string CountText(const StorageRead<int64_t>& count);

// The reply text of a list of rows: the styled array, "[]" for no row.
std::string RowsText(const Json::Value& rows);
// The rows of def as the reply: 0, or 1 with failText logged straight to
// the host (when not null) and the reply untouched.
int RowsReply(IQELQueryDef* def, const char* failText, std::string* reply);
// The same for one page: limit and offset (-1: none) are set on def first.
int PageReply(IQELQueryDef* def, int limit, int offset, const char* failText, std::string* reply);

// The one count reply: [{"COUNT":"<count>"}] as styled text; "" for a
// count that cannot be read, so that no count reads as one.
std::string CountReply(const StorageRead<int64_t>& count);
// A handler's count reply: 0 with the count reply in *reply (when given),
// or 1 with *reply untouched for no count.
int CountResult(const StorageRead<int64_t>& count, std::string* reply);

// Texts as a comma-separated list of quoted SQL literals, for IN (...).
std::string JoinQuoted(const std::vector<std::string>& values);

}  // namespace dataspace
}  // namespace qel
