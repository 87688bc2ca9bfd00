// Export macro of libqel_internet.so: the library is built with hidden
// visibility and shows only what carries this mark.
#pragma once

#if defined(QEL_INTERNET_EXPORTS)
#define QEL_INTERNET_API __attribute__((visibility("default")))
#else
#define QEL_INTERNET_API
#endif
