// Export mark of the QelClientCore library: everything else stays hidden.
#pragma once

#if defined(QELCLIENTCORE_EXPORTS)
#define QELCLIENTCORE_API __attribute__((visibility("default")))
#else
#define QELCLIENTCORE_API
#endif
