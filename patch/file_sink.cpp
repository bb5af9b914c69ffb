#include "patch/file_sink.h"

#include <vector>

#include "net/easy_curl.h"

namespace {

// A body is worth a record once this much of it is on disk: a file the
// next run would fetch again in no time needs none, and most files of a
// patch are small.
constexpr std::uint64_t kRecordAfterBytes = 256 << 10;

// Strong validators only: a weak ETag never matches in If-Range.
std::string strong_etag(const std::string& etag) {
    return etag.rfind("W/", 0) == 0 ? std::string() : etag;
}

}  // namespace

FileSink::FileSink(const talvo::utility::easy_curl& transfer, const UpdateListEntry& entry,
                   std::string url, ScratchNames scratch)
    : transfer_(transfer),
      entry_(entry),
      url_(std::move(url)),
      scratch_(std::move(scratch)),
      limit_(entry.size) {}

bool FileSink::Open(bool resume) {
    file.close();
    resume_ = ResumeRecord();
    offset_ = 0;
    RestartChecks();
    reply_ = Reply::Awaited;
    // What was kept or due for the body before is not this body's.
    if (record_ == Record::Kept) record_ = Record::Stray;
    if (record_ == Record::Due) record_ = Record::None;
    if (resume && LoadRecord()) return true;
    Discard(true);
    file = platform::File::create_always(scratch_.file);
    return file.valid();
}

bool FileSink::LoadRecord() {
    std::string text;
    ResumeRecord record;
    record_ = platform::read_file(scratch_.record, text) ? Record::Stray : Record::None;
    if (record_ == Record::None || !ParseResumeRecord(text, record) || record.url != url_ ||
        record.size != entry_.size || record.timeStamp != entry_.timeStamp ||
        !record.delta.empty()) {
        return false;
    }
    // Never through a symlink; and the very file the record was written for.
    platform::File partial = platform::File::open_for_resume(scratch_.file);
    std::uint64_t device = 0, inode = 0, size = 0;
    if (!partial || !partial.identity(device, inode) || !partial.size(size) ||
        device != record.device || inode != record.inode || size == 0 || size >= entry_.size) {
        return false;
    }
    file = std::move(partial);
    resume_ = std::move(record);
    offset_ = size;
    if (!Seed()) {
        file.close();
        resume_ = ResumeRecord();
        offset_ = 0;
        RestartChecks();
        return false;
    }
    record_ = Record::Kept;
    return true;
}

// The partial's bytes, read once, through the checks of every piece.
bool FileSink::Seed() {
    std::vector<char> buffer(1 << 20);
    for (std::uint64_t at = 0; at < offset_;) {
        const long n = file.read_some_at(buffer.data(), buffer.size(), at);
        if (n <= 0 || !Check(buffer.data(), static_cast<std::size_t>(n))) return false;
        at += static_cast<std::uint64_t>(n);
    }
    return taken_ == offset_;
}

bool FileSink::Accept(const char* data, std::size_t bytes) {
    if (reply_ == Reply::Awaited && !Begin()) return false;
    if (!Check(data, bytes)) return false;
    // Written before the piece that takes the body past the mark, so that
    // a record never lacks for a partial worth going on with.
    if (record_ == Record::Due && taken_ - offset_ >= kRecordAfterBytes) WriteRecord();
    return true;
}

void FileSink::RestartChecks() {
    limit_.restart();
    taken_ = 0;
    if (expected_) hash_.Final();  // what was hashed so far goes
}

bool FileSink::Check(const char* data, std::size_t bytes) {
    // Stop at the list's size: a longer body is not the listed file, and
    // what came of it is not worth keeping.
    if (!limit_.take(bytes)) {
        reply_ = Reply::Overlong;
        return false;
    }
    taken_ += bytes;
    if (expected_) hash_.Update(data, bytes);
    return true;
}

bool FileSink::Matches() {
    return !expected_ || hash_.Final() == *expected_;
}

// The first piece of a reply: its status and headers are in.
bool FileSink::Begin() {
    reply_ = Reply::Taken;
    const long status = transfer_.response_code();
    const std::string encoding = transfer_.response_header("Content-Encoding");
    const bool identity = encoding.empty() || encoding == "identity";
    const std::string etag = strong_etag(transfer_.response_header("ETag"));
    const std::string lastModified = transfer_.response_header("Last-Modified");
    if (status == 206) {
        // Only the rest of the very copy the partial came from will do.
        const bool same = resume_.etag.empty()
                              ? lastModified.empty() || lastModified == resume_.lastModified
                              : etag.empty() || etag == resume_.etag;
        if (offset_ > 0 && identity && same &&
            RangeIsRestOf(transfer_.response_header("Content-Range"), offset_, entry_.size)) {
            return true;
        }
        if (offset_ > 0) reply_ = Reply::Refused;
        return false;
    }
    if (offset_ > 0) {
        // The whole body again: the partial goes, the record first.
        Discard(true);
        if (!file.truncate_all()) return false;
        offset_ = 0;
        RestartChecks();
    }
    resume_ = ResumeRecord{url_, entry_.size, entry_.timeStamp, etag, lastModified, "", 0, 0};
    // A body that arrives encoded cannot be continued by byte ranges.
    if (identity && !resume_.validator().empty() && file.identity(resume_.device, resume_.inode)) {
        record_ = Record::Due;
    }
    return true;
}

void FileSink::KeepRecord() {
    if (record_ == Record::Due && !Failed() && taken_ > 0) WriteRecord();
}

void FileSink::WriteRecord() {
    record_ = Record::Stray;
    const std::string text = FormatResumeRecord(resume_);
    if (!text.empty() && WriteResumeRecord(scratch_, text)) record_ = Record::Kept;
}

void FileSink::Discard(bool keepTemporary) {
    if (record_ == Record::Stray || record_ == Record::Kept) {
        platform::delete_file(scratch_.record);
        record_ = Record::None;
    }
    if (!keepTemporary) platform::delete_file(scratch_.file);
}
