#pragma once

#include "platform/CatalogueFiles.h"

#include <memory>

namespace ondiva {

// The CatalogueFiles of the system the program is built for: the build compiles
// either PosixCatalogueFiles.cpp or WindowsCatalogueFiles.cpp, and each defines this.
std::unique_ptr<CatalogueFiles> systemCatalogueFiles();

} // namespace ondiva
