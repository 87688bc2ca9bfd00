#pragma once

#if defined(QELRESOURCE_EXPORTS)
#define QELRESOURCE_API __attribute__((visibility("default")))
#else
#define QELRESOURCE_API
#endif
