// The calling thread's last error code, as the launcher logs it.
//
// Every platform call that fails records the system error here (errno; on
// Windows GetLastError()'s code), so callers can log it after the fact, the
// way the launcher logs its Windows error codes. Success does not clear it.
#pragma once

namespace platform {

int last_error();
void set_last_error(int code);

// Records errno as the last error and returns false; for `return fail();`.
bool fail_with_errno();

// Whether a recorded error says that the file, or a folder on its path, is
// not there.
bool is_not_found(int code);

}  // namespace platform
