// The notice system's built-in self-test (corvello --selftest-notice).
#pragma once

namespace cvl {

// Prints each failure and a closing "ZKNotice selftest: PASS" or "FAIL" line; returns 0 when
// every check passes, 1 otherwise.
int noticeSelftest();

}  // namespace cvl
