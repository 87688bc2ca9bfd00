// The fixed interface captions of the catalogue client, in Chinese (0) and
// English (1). The texts are static: callers must neither free nor change
// them.
#pragma once

#include <stddef.h>

#include "qelresource_export.h"

#ifdef __cplusplus
extern "C" {
#endif

// Caption number index (0 to 26) of language lang; null for any other lang
// or index.
QELRESOURCE_API const wchar_t* getLANG(int lang, int index);
// Always 42.
QELRESOURCE_API int fnQelResource(void);

#ifdef __cplusplus
}
#endif
