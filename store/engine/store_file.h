#pragma once
// Opening "all.dat": a file that is not a sound store is refused before
// anything is written to it; missing tables are created, and a brand-new
// store gets its default rows.
#include "store/engine/connection.h"

#include <memory>
#include <string>

namespace store::engine {

// Throws EStoreError (the file left as it was) when the file cannot be used.
std::unique_ptr<Connection> OpenStoreFile(const std::string& path);

}  // namespace store::engine
