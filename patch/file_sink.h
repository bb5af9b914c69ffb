// Where a game file fetched whole goes while it comes: a scratch file
// ("~temp.dat" or another of its slot), the checks every piece passes on
// its way there, and what lets an interrupted download go on in a later
// run (resume_record.h).
//
// A download that resumes asks for the rest with Range and If-Range. The
// reply decides: a 206 for exactly the rest of the listed size (and the same
// validator) goes on from the partial's end; a 200 is the whole body again,
// so the partial is cut and written anew; anything else is refused and the
// file starts over (refused()). Every byte of the file passes through
// Check() exactly once, in order: when resuming, the bytes already on disk
// are read back once through it before the rest arrives.
//
// On a signed site the body is hashed there, as it comes, never read back
// once complete: Expect() the manifest's hash before Open(), and Matches()
// tells once the body is complete whether its bytes are the signed ones. A
// resumed file's hash thus covers the partial's bytes and the rest.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "net/body_limit.h"
#include "patch/resume_record.h"
#include "patch/update_list.h"
#include "platform/file.h"
#include "trust/sha256_behind.h"

namespace talvo::utility {
class easy_curl;
}

class FileSink {
public:
    FileSink(const talvo::utility::easy_curl& transfer, const UpdateListEntry& entry,
             std::string url, ScratchNames scratch);

    // Opens the scratch file for the transfer: with `resume`, the partial an
    // earlier run left when its record matches this download, the file and
    // the list (its bytes then pass Check()); else, or when that fails, a new
    // empty one. False when it cannot be created.
    bool Open(bool resume);
    // The bytes already on disk, and the validator to ask If-Range with.
    std::uint64_t Offset() const { return offset_; }
    // The file's bytes on disk so far (the partial's included).
    std::uint64_t Taken() const { return taken_; }
    const std::string& Validator() const { return resume_.validator(); }

    // The transfer's write slot calls these with each piece. Accept() first:
    // false refuses the body (the transfer then fails).
    bool Accept(const char* data, std::size_t bytes);
    // The checks of every piece: not past the list's size (a longer body
    // fails the transfer). Every byte of the file comes here once, in order,
    // from the first: the partial's bytes (Seed) before those that arrive.
    // A check of the whole file (its hash) is fed here and starts again in
    // RestartChecks().
    bool Check(const char* data, std::size_t bytes);

    // The server's reply to a resume did not fit (a wrong range, a changed
    // file behind a 206, 416): the file has to start over.
    bool Refused() const { return reply_ == Reply::Refused; }
    // After a failed transfer: the partial can be continued by a later run.
    bool Resumable() const { return record_ == Record::Kept && !Failed(); }
    // The transfer failed for a reason of its own (write error): drop it.
    void Fail() {
        if (reply_ != Reply::Overlong) reply_ = Reply::Failed;
    }
    // The body went past the list's size: not the listed file.
    bool Overlong() const { return reply_ == Reply::Overlong; }

    // The hash the file's bytes must have (a signed site); before Open().
    void Expect(const trust::Sha256Digest& hash) { expected_ = hash; }
    // Once the body is complete: no hash expected, or the bytes hash to it.
    bool Matches();

    // The transfer failed: the record of a body worth going on with is
    // written now if it is not yet.
    void KeepRecord();
    // The record goes (when there may be one); the file is kept (the
    // download is complete) or removed.
    void Discard(bool keepTemporary);

    platform::File file;

private:
    // What came of the server's reply so far.
    enum class Reply {
        Awaited,   // no piece of it yet
        Taken,     // its status and headers are in, the body goes on
        Refused,   // a resume the reply does not fit
        Failed,    // a failure of the download's own (Fail())
        Overlong,  // the body went past the list's size
    };
    // The resume record of the scratch file, on disk. Apart from the reply:
    // a record stays while a resumed reply is refused or fails, and one can
    // be due for a body that then goes wrong.
    enum class Record {
        None,   // there is none
        Stray,  // a record file may be there, not one for this body
        Due,    // none yet; one can be written for this reply
        Kept,   // the record of the bytes on disk
    };

    bool Failed() const { return reply_ == Reply::Failed || reply_ == Reply::Overlong; }
    bool Begin();
    // The body begins again from its first byte (a new file, a partial
    // refused, a whole body instead of the rest).
    void RestartChecks();
    bool LoadRecord();
    bool Seed();
    void WriteRecord();

    const talvo::utility::easy_curl& transfer_;
    const UpdateListEntry& entry_;
    const std::string url_;
    const ScratchNames scratch_;
    ResumeRecord resume_;
    talvo::utility::body_limit limit_;
    std::uint64_t offset_ = 0;
    std::uint64_t taken_ = 0;
    Reply reply_ = Reply::Awaited;
    Record record_ = Record::Stray;
    std::optional<trust::Sha256Digest> expected_;
    trust::Sha256Behind hash_;  // keeps up with the transfer on a core of its own
};
