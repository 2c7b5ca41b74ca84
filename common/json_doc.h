// Owner of a parsed cJSON tree. A header of its own: only the programs that
// link cJSON include it.
#pragma once

#include <cjson/cJSON.h>
#include <memory>

struct JsonDeleter {
    void operator()(cJSON* p) const { cJSON_Delete(p); }
};
using JsonDoc = std::unique_ptr<cJSON, JsonDeleter>;
