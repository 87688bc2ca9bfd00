// The data update: the check for a newer package, the resumable download
// into the staging folder (its step kept in CONFIGINFO row 3), the apply of
// a finished download at start-up and the census of updated products.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "update/qelupdatecommon.h"
#include "update/qelupdatefiles.h"

namespace qel {
namespace dataspace {

class qelUpdateProgram {
 public:
  static qelUpdateProgram* GetInstance();

  // Reply [{"STATUS":"1"}] when an update is needed or under way (also at
  // once while a run holds the update), [{"STATUS":"0"}] otherwise.
  // Non-zero when the service cannot be asked or the remote package is
  // older than the local one.
  int CheckDataUpdate(std::string json, std::string* reply);
  // Runs or resumes the download. 0 once the download is complete (with
  // the report 100) or when there is nothing to do; 500003 when the host
  // stopped it; otherwise the failing step's code.
  int UpdateProgram(std::string json, std::string* error);
  // The steps 0 to 5 from the stored status.
  int UpdatePrepare(std::string* error);
  // Applies a finished download (status 4) before the databases are open.
  int UpdateOperate();
  // Removes what an earlier run staged and empties DOWNLOADINFO.
  int ClearOldFiles();
  // Queues the census of the products changed by the applied update.
  int UpdateCensus();
  // Inserts one BEHAVIOR row holding text as TRACK; 0 or 1.
  int AddCensusTrack(const std::string& text);

  // The last check's result: 1 update, 0 nothing to do, -1 remote older.
  int GetType();

 private:
  qelUpdateProgram() = default;

  int CheckLocked(std::string* reply);
  // The catalogue an apply replaced: removed once a start reads the new
  // one's company row, put back when it does not (the update is then
  // recorded as not applied, so that the next check fetches a package
  // again); 1 then, and when it cannot be put back.
  int SettleReplacedCatalogue(IQELDatasource* datasource);

  std::mutex run_;                    // one check or run at a time
  std::atomic<bool> running_{false};  // a run holds run_ (checks answer at once)
  std::mutex state_;                  // guards the members below
  int type = -1;
  LocalConfigInfo remote;
  std::string DBURL;
  std::string FILEURL;
};

}  // namespace dataspace
}  // namespace qel
