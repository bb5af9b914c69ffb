// Where one game file's body goes while it comes: the open "~temp.dat", and
// the checks every piece passes on its way there (the body may not be longer
// than the file's list size). The transfer's write slot (OnWrite) writes
// through it.
#pragma once

#include "net/body_limit.h"
#include "platform/file.h"

struct FileSink {
    platform::File file;
    talvo::utility::body_limit limit;
};
