// The service protocol of the bridge: the request-type table, the request
// objects, the base object with its signing token and the JSON-RPC 2.0
// envelope. Texts are GBK; the transport converts them for the wire.
#pragma once

#include <string>

#include <json/json.h>

#include "database/qelinfoaccess.h"

namespace qel {
namespace dataspace {

// Selects the service file and method of a request object (1 login,
// 7 consultation, 257 update check, ...). Numbers without an entry in the
// table are refused.
using RequestType = int;

class qelInternetRequestBean;

// Builds requests for one caller identity; every caller may use its own
// instance.
class qelInternetUtil {
 public:
  // The session's current identity.
  qelInternetUtil();
  explicit qelInternetUtil(SessionIdentity identity);
  const SessionIdentity& Identity() const { return m_identity; }

  // The request object for type, wrapping params (null or an object; the
  // type's company and user keys are added to it). A null value for an
  // undefined type or for params of another kind.
  Json::Value GetInternalRequestData(RequestType type, Json::Value params) const;

  // The base object without "sign", holding the bean's request objects in
  // "parameter". A null value when the COMPANY query fails. The company id
  // is read from the database for each envelope, so the base object always
  // names the company of the database in use.
  Json::Value GetBaseRequestData(const qelInternetRequestBean& bean) const;
  // From then on, a COMPANY query that fails gives the base object of the
  // identity's company (when it names one) instead of none: the data update
  // asks the service with it, so that a package can repair a catalogue
  // that cannot be read.
  void UseIdentityCompanyWhenUnreadable() { m_companyFallback = true; }

  // Sets "sign"; always true.
  bool SignRequest(Json::Value& base) const;

  // {"id","jsonrpc","method","params":["<base text>"]}, compact text.
  std::string BuildJsonRpcText(Json::Value base) const;

 private:
  SessionIdentity m_identity;
  bool m_companyFallback = false;
};

}  // namespace dataspace
}  // namespace qel
