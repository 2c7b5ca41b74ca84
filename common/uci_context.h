// Owner of a UCI context. A header of its own: only the programs that link
// libuci include it.
#pragma once

#include "handles.h"

#include <uci.h>

using UciContext = CPtr<uci_context, uci_free_context>;
