// The callback types of the qelbridge exports.
#pragma once

extern "C" {
// text is GBK; extra is "" for a formatted library line and null for a text
// passed on as it stands.
typedef void (*LogCallback)(const char* text, const char* extra);
// Progress of a data update; a non-zero result asks it to stop.
typedef int (*UpdateDownCallback)(int step, const char* text);
}
