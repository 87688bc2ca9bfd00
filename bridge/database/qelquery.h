// The one way modules read and write the local database. Every helper
// without a datasource argument works on the session's main datasource
// (qelInfoAccess); each returns an owner or a value, never a raw pointer to
// delete, and no statement is ever finalized by hand.
//
//   qelQueryDef def;
//   def.AddField("PRODUCT", "PRODUCT_ID");
//   def.SetFilter("PRODUCT_ID = " + QuoteSqlText(id));
//   if (RowsReply(&def, "Query error", reply) != 0) return 1;   // styled array
//
//   ForEachRow(&def, [&](Json::Value& row) { ... });            // row objects
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
#include "database/qelrecord.h"

namespace qel {
namespace dataspace {

using CursorPtr = std::unique_ptr<IQELQueryCursor>;

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

// Runs def; null when there is no datasource or the query fails.
CursorPtr RunQuery(IQELDatasource* datasource, IQELQueryDef* def);
CursorPtr RunQuery(IQELQueryDef* def);

// Runs an SQL text with values bound to its "?" marks in order; null when
// there is no datasource, it is closed or the text does not prepare.
CursorPtr RunSql(IQELDatasource* datasource, const std::string& sql,
                 const std::vector<std::string>& values = {});
CursorPtr RunSql(const std::string& sql, const std::vector<std::string>& values = {});

// Runs one writing statement with bound values; *changes (when given) gets
// its changed-row count, read under the connection's writer lock. False
// when there is no datasource or the statement fails.
bool ExecSql(IQELDatasource* datasource, const std::string& sql, const std::vector<std::string>& values = {},
             int* changes = nullptr);
bool ExecSql(const std::string& sql, const std::vector<std::string>& values = {}, int* changes = nullptr);

// Whether the cursor ended on a failed step rather than after its last row.
bool CursorFailed(IQELQueryCursor* cursor);

// Whether the calling thread's last failed statement was refused as SQL (a
// table or column this database lacks, a syntax or arithmetic error)
// rather than because the database could not be read (another process's
// lock past the wait, a damaged file, an I/O error). Only a look-up whose
// absence a reply already shows (a flag of "0", an empty name) may fall
// back to that on the first; on the second the whole reply fails.
bool LastFailureIsSqlError();

// Hands every row object of cursor to visit(Json::Value& row), which
// returns false when what it reads for the row fails: the walk stops
// there. The row may be moved from; rows that cannot be read are skipped.
// False when a step or a visit failed: the rows visited so far are then no
// answer.
template <typename Visit>
bool WalkRowsWhile(IQELQueryCursor* cursor, Visit&& visit) {
  if (cursor == nullptr) return false;
  while (cursor->MoveNext()) {
    qelRecord row;
    if (cursor->GetRecord(&row) && !visit(row.GetJson())) return false;
  }
  return !CursorFailed(cursor);
}

// The same for a visit that reads nothing more (returns void).
template <typename Visit>
bool WalkRows(IQELQueryCursor* cursor, Visit&& visit) {
  return WalkRowsWhile(cursor, [&visit](Json::Value& row) {
    visit(row);
    return true;
  });
}

// Runs def and walks its rows. False when there is no datasource, the
// query fails to run or a step fails (visit may then have seen some rows).
template <typename Visit>
bool ForEachRow(IQELDatasource* datasource, IQELQueryDef* def, Visit&& visit) {
  CursorPtr cursor = RunQuery(datasource, def);
  return cursor && WalkRows(cursor.get(), std::forward<Visit>(visit));
}
// The same with a visit that may fail (see WalkRowsWhile).
template <typename Visit>
bool ForEachRowWhile(IQELDatasource* datasource, IQELQueryDef* def, Visit&& visit) {
  CursorPtr cursor = RunQuery(datasource, def);
  return cursor && WalkRowsWhile(cursor.get(), std::forward<Visit>(visit));
}
template <typename Visit>
bool ForEachRow(IQELQueryDef* def, Visit&& visit) {
  return ForEachRow(MainDatasource(), def, std::forward<Visit>(visit));
}

// The first row of def: 1 with *row set, 0 when the query gives no row,
// -1 when there is no datasource or the query fails (to run or to step).
int QueryFirstRow(IQELDatasource* datasource, IQELQueryDef* def, Json::Value* row);

// The rows of def appended to rows (made an array). False as ForEachRow;
// rows is then left as it was.
bool QueryRows(IQELQueryDef* def, Json::Value* rows);
// One string member of every row of def, in row order; values is left as
// it was when the query fails.
bool QueryColumn(IQELQueryDef* def, const char* column, std::vector<std::string>* values);
// The value of the first row of a one-column SQL text with bound values
// (with more columns, the one whose name sorts first). False when the query
// fails or gives no row (*value is then unchanged).
bool QueryValue(const std::string& sql, const std::vector<std::string>& values, std::string* value);

// Column 0 of the first row of " SELECT  field FROM table [WHERE filter]"
// (see qelDatasource::ReadFieldValue); kFailed without a datasource.
FieldRead ReadFieldValue(IQELDatasource* datasource, const std::string& table, const std::string& field,
                         const std::string& filter, std::string* value);
// ReadFieldValue for a value whose absence the reply shows anyway (a
// default, an empty name): a statement refused as SQL (a table or column
// this database lacks) reads as no row, so kFailed means the database could
// not be read (see LastFailureIsSqlError).
FieldRead ReadOptionalFieldValue(IQELDatasource* datasource, const std::string& table,
                                 const std::string& field, const std::string& filter, std::string* value);

// The one row count: COUNT(*) of table under filter (empty: all rows),
// read through the datasource's single-value path. table may list several
// tables with their aliases ("CERTGROUP t1, CERTGROUP_EXTEND t2") to count a
// join. False when there is no datasource or the query fails (*count is
// then unchanged).
bool CountRows(IQELDatasource* datasource, const std::string& table, const std::string& filter,
               int64_t* count);
bool CountRows(const std::string& table, const std::string& filter, int64_t* count);
// CountRows as the decimal text replies carry. A count that cannot be read
// is no count: "" (never "0"), with "Queryscalar error" logged straight to
// the host; every caller takes its failure path on "".
std::string QueryCount(const std::string& table, const std::string& filter);

// The reply text of a list of rows: the styled array, "[]" for no row.
std::string RowsText(const Json::Value& rows);
// The rows of def as the reply: 0, or 1 with failText logged straight to
// the host (when not null) and the reply untouched.
int RowsReply(IQELQueryDef* def, const char* failText, std::string* reply);
// The same for one page: limit and offset (-1: none) are set on def first.
int PageReply(IQELQueryDef* def, int limit, int offset, const char* failText, std::string* reply);

// The one count reply: [{"COUNT":"<count>"}] as styled text; "" for the
// empty count of a QueryCount that failed, so that no count reads as one.
std::string CountReply(const std::string& count);
// A handler's count reply from a QueryCount text: 0 with the count reply in
// *reply (when given), or 1 with *reply untouched for "" (no count).
int CountResult(const std::string& count, std::string* reply);

// Texts as a comma-separated list of quoted SQL literals, for IN (...).
std::string JoinQuoted(const std::vector<std::string>& values);

}  // namespace dataspace
}  // namespace qel
