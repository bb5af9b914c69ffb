// Where one game file's body goes while it comes: the open "~temp.dat", and
// the checks every piece passes on its way there (the body may not be longer
// than the file's list size). The transfer's write slot (OnWrite) writes
// through it.
//
// On a signed site the body is hashed as it is written, never read back:
// `expected` is the manifest's hash of the file, and Matches() tells, once
// the body is complete, whether its bytes are the signed ones. A download
// that goes on from a partial "~temp.dat" left by an earlier run opens the
// file for appending as `file`, hands the same file, opened for reading, to
// Resume() (which reads the bytes already there once, into the hash and
// against the limit), and then lets the rest arrive through Write() as
// usual: the digest covers the whole file.
#pragma once

#include <cstddef>
#include <optional>
#include <utility>

#include "net/body_limit.h"
#include "platform/file.h"
#include "trust/sha256_behind.h"

struct FileSink {
    explicit FileSink(platform::File file_,
                      talvo::utility::body_limit limit_ = talvo::utility::body_limit())
        : file(std::move(file_)), limit(limit_) {}

    platform::File file;
    talvo::utility::body_limit limit;
    // The file's hash in the signed manifest; none on an unsigned site.
    std::optional<trust::Sha256Digest> expected;
    trust::Sha256Behind hash;  // keeps up with the transfer on a core of its own

    // One piece of the body: hashed when there is an `expected`, written.
    // False when the write fails.
    bool Write(const void* data, std::size_t size);
    // Feeds what is left of `partial` into the hash and the limit. False
    // when a read fails or the bytes go past the limit.
    bool Resume(platform::File& partial);
    // Once the body is complete: no `expected`, or the bytes hash to it.
    bool Matches();
};
