#pragma once

#if defined(QELBRIDGE_EXPORTS)
#define QELBRIDGE_API __attribute__((visibility("default")))
#else
#define QELBRIDGE_API
#endif
