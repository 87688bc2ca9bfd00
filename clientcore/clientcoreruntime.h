// Process-wide state of the client core beside the singleton: its threads,
// the data-update flags and the shutdown.
#pragma once

#include <cstdint>
#include <mutex>

namespace qelclientcore {

// PARAM_ID of the built-in model and price parameters.
constexpr int kModelParameterId = -1;
constexpr int kPriceParameterId = -2;

// The lock of the object's caches and current records (and its two
// built-in parameters and language index): taken around each call's read
// and fill of them, so that calls from several host threads never corrupt
// them. Never held while a request reaches the bridge (a service call, a
// transfer, a data update) nor by a shutdown, so a getter never waits for
// an update and a callback that shuts down cannot deadlock. Not recursive:
// a call that makes a request or calls another getter lets it go first.
std::unique_lock<std::mutex> LockCaches();

// Pause of the cached-data thread between two sends (QEL_CACHED_DATA_INTERVAL_MS).
int64_t CachedDataIntervalMs();

// Stops and joins both threads, then blocks every further bridge call and
// shuts glog down when the client core set it up. Idempotent.
void ShutdownClientCore();
bool ClientCoreShutDown();

// Sets the update-request flag and starts the data-update thread once.
void RequestDataUpdate();
// One data update at a time: false when one runs already.
bool BeginDataUpdate();
void EndDataUpdate();

// The progress callback registered with the bridge: relays to the host's
// callback and answers "stop" (non-zero) once shutdown has begun.
int RelayUpdateProgress(int step, const char* text);

// Keeps the host's progress callback and registers the relay with the bridge.
void SetHostProgressCallback(void* callback);

}  // namespace qelclientcore
