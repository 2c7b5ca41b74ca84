// Owner of a parsed cJSON tree. A header of its own: only the programs that
// link cJSON include it.
#pragma once

#include "handles.h"

#include <cjson/cJSON.h>

using JsonDoc = CPtr<cJSON, cJSON_Delete>;
