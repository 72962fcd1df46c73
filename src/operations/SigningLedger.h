// The signing ledger: one JSON line per signed copy saved, in "signing-ledger.jsonl" in the
// support folder: {"time", "source", "output", "placements", "version"}.
#pragma once

#include <string>
#include <vector>

#include "platform/Result.h"

namespace cvl::SigningLedger {

std::string path();
Status record(const std::string& source, const std::string& output, int placements);
// The recorded lines as JSON texts, oldest first (for tests and diagnostics).
std::vector<std::string> entries();

// Appends one JSON line to a file, atomically (the file is rewritten whole through a temporary
// file, so a failure never leaves half a line).
Status appendJsonLine(const std::string& file, const std::string& line);

}  // namespace cvl::SigningLedger
