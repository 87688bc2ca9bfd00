// Collects the lines glog writes at ERROR (or from the severity given) while
// the capture lives.
// Header-only: only tests that link glog (through a library) include it.
#pragma once

#include <glog/logging.h>

#include <mutex>
#include <string>
#include <vector>

namespace qeltest {

class GlogErrors : public google::LogSink {
 public:
  explicit GlogErrors(google::LogSeverity least = google::GLOG_ERROR) : least_(least) {
    google::AddLogSink(this);
  }
  ~GlogErrors() override { google::RemoveLogSink(this); }
  GlogErrors(const GlogErrors&) = delete;
  GlogErrors& operator=(const GlogErrors&) = delete;

  void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
            const char* message, size_t length) override {
    if (severity < least_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(message, length);
  }

  // Whether a captured line contains every fragment.
  bool Has(const std::vector<std::string>& fragments) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& line : lines_) {
      bool all = true;
      for (const std::string& fragment : fragments) all = all && line.find(fragment) != std::string::npos;
      if (all) return true;
    }
    return false;
  }
  std::string Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const std::string& line : lines_) text += line + "\n";
    return text;
  }

 private:
  const google::LogSeverity least_;
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace qeltest
