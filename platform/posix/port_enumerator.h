// The POSIX spooler lists over a chosen port map folder (for tests that build
// their own "machine"); the program's own instance comes from native.h.
#pragma once

#include <memory>
#include <string>

#include "platform/port_enumerator.h"

namespace platform::posix {

std::unique_ptr<PortEnumerator> MakePortEnumerator(const std::string& mapDirectory);

}  // namespace platform::posix
