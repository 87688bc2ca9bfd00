// Collects the lines glog writes at ERROR (or from a lower severity on)
// while the capture lives.
// Header-only: only tests that link glog (through a library) include it.
#pragma once

#include <glog/logging.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace qeltest {

class GlogErrors : public google::LogSink {
 public:
  explicit GlogErrors(google::LogSeverity from = google::GLOG_ERROR) : from_(from) {
    google::AddLogSink(this);
  }
  ~GlogErrors() override { google::RemoveLogSink(this); }
  GlogErrors(const GlogErrors&) = delete;
  GlogErrors& operator=(const GlogErrors&) = delete;

  void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
            const char* message, size_t length) override {
    if (severity < from_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(severity, std::string(message, length));
  }

  // Whether a line at ERROR or above contains every fragment.
  bool Has(const std::vector<std::string>& fragments) const {
    return HasAt(google::GLOG_ERROR, google::NUM_SEVERITIES, fragments);
  }
  // Whether a line of exactly that severity contains every fragment.
  bool HasAt(google::LogSeverity severity, const std::vector<std::string>& fragments) const {
    return HasAt(severity, severity + 1, fragments);
  }
  std::string Text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const auto& line : lines_) text += line.second + "\n";
    return text;
  }

 private:
  bool HasAt(int from, int to, const std::vector<std::string>& fragments) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& line : lines_) {
      if (line.first < from || line.first >= to) continue;
      bool all = true;
      for (const std::string& fragment : fragments)
        all = all && line.second.find(fragment) != std::string::npos;
      if (all) return true;
    }
    return false;
  }

  google::LogSeverity from_;
  mutable std::mutex mutex_;
  std::vector<std::pair<google::LogSeverity, std::string>> lines_;
};

}  // namespace qeltest
