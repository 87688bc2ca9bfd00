// https for tests, without touching the system's trust store.
//
// MakeTestCertificates makes a certificate authority for one test and a
// certificate it signs for 127.0.0.1 (the openssl program). TrustOnlyInThisProcess
// moves the process into a mount namespace of its own and puts the test
// authority's file over the system's CA bundle there: inside the process
// libcurl trusts the test authority, outside nothing changed. HttpsFront
// puts TLS in front of an HttpTestServer (tests/support/httpsfront.py), so
// that every fault mode of that server is served over https as well.
#pragma once

#include <string>

#include <sys/types.h>

#include "httptestserver.h"

namespace qeltest {

struct TestCertificates {
  std::string caFile;    // the authority's certificate (PEM)
  std::string certFile;  // the server's, for IP 127.0.0.1
  std::string keyFile;   // the server's key
};

// Writes the files into folder (created); false with the reason in *why.
bool MakeTestCertificates(const std::string& folder, TestCertificates* out, std::string* why);

// Makes caFile the only bundle that systemBundle's readers in this process
// see, for the rest of the process's life (root only). The process first
// gets a mount namespace of its own whose mounts are private, so that the
// bind mount reaches no other namespace; false with the reason, changing
// nothing outside the process, when that cannot be done (no privilege, or a
// chroot whose root is no mount point).
bool TrustOnlyInThisProcess(const std::string& caFile, const std::string& systemBundle, std::string* why);

class HttpsFront {
 public:
  // Starts the TLS front for backend; throws std::runtime_error when it
  // cannot start.
  HttpsFront(const HttpTestServer& backend, const TestCertificates& certificates);
  ~HttpsFront();
  HttpsFront(const HttpsFront&) = delete;
  HttpsFront& operator=(const HttpsFront&) = delete;

  int port() const { return port_; }
  std::string BaseUrl() const;                             // "https://127.0.0.1:<port>"
  std::string Url(const std::string& pathAndQuery) const;  // BaseUrl() + pathAndQuery

 private:
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace qeltest
