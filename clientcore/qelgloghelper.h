// The client core's own log files through glog, under "./qellog" with the
// extension "PC_CORE_". There is one glog per process: Init sets it up only
// when nobody has yet, and only the one who set it up shuts it down.
#pragma once

#include "qelclientcore_export.h"

class QELCLIENTCORE_API qelGLogHelper {
 public:
  // The one instance, built on first use and destroyed at process exit.
  static qelGLogHelper* GetInstance();

  // Sets glog up for the files under "./qellog" with `name` as the program
  // name and `level` (0 to 3, others are clamped) as the lowest severity also
  // copied to standard error. Does nothing when glog is already set up in the
  // process, whoever did it: the first settings stay.
  void Init(const char* name, int level);

  // Shuts glog down if this helper set it up; later calls do nothing. The
  // client core calls it once its threads have stopped; the destructor
  // calls it too.
  void Shutdown();

  // True while glog runs with the settings made by Init.
  bool OwnsLogging() const;

  ~qelGLogHelper();
  qelGLogHelper& operator=(const qelGLogHelper&) { return *this; }

 private:
  qelGLogHelper() = default;
  qelGLogHelper(const qelGLogHelper&) = delete;
};
