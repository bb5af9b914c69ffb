#include "patch/delta_writer.h"

#include <algorithm>

namespace {

constexpr std::size_t kBuffer = 1 << 20;

}  // namespace

DeltaWriter::DeltaWriter(const PlannedFile& file, ScratchNames scratch)
    : file_(file), scratch_(std::move(scratch)), there_(file.delta.fetched.size()) {}

bool DeltaWriter::Open() {
    old_ = platform::File::open_for_reading(file_.entry->path);
    if (!old_) return false;
    buffer_.resize(kBuffer);
    if (!Resume()) {
        platform::delete_file(scratch_.record);
        // Made anew, then opened to be read as well as written: the fetched
        // pieces are read back into the hash.
        out_ = platform::File::create_always(scratch_.file);
        if (out_) out_ = platform::File::open_for_update(scratch_.file);
        ResumeRecord record{file_.url,
                            file_.entry->size,
                            file_.entry->timeStamp,
                            "",
                            "",
                            trust::ToHex(*file_.hash),
                            0,
                            0};
        if (!out_ || !out_.identity(record.device, record.inode)) return false;
        const std::string text = FormatResumeRecord(record);
        recordOnDisk_ = !text.empty() && WriteResumeRecord(scratch_, text);
    }
    for (std::size_t c = 0; c < there_.size(); ++c) {
        if (!there_[c]) AddRange(c);
    }
    progress_ = std::vector<Progress>(ranges_.size());
    for (std::size_t r = 0; r < ranges_.size(); ++r) {
        progress_[r].next = ranges_[r].first;
        progress_[r].chunk = ranges_[r].firstChunk;
    }
    return true;
}

// The scratch file of an earlier run that made this file, with the chunks
// already in it.
bool DeltaWriter::Resume() {
    std::string text;
    ResumeRecord record;
    if (!platform::read_file(scratch_.record, text) || !ParseResumeRecord(text, record) ||
        record.url != file_.url || record.size != file_.entry->size ||
        record.timeStamp != file_.entry->timeStamp || record.delta != trust::ToHex(*file_.hash)) {
        return false;
    }
    platform::File partial = platform::File::open_for_update(scratch_.file);
    std::uint64_t device = 0, inode = 0, size = 0;
    if (!partial || !partial.identity(device, inode) || !partial.size(size) ||
        device != record.device || inode != record.inode || size > file_.entry->size) {
        return false;
    }
    out_ = std::move(partial);
    recordOnDisk_ = true;
    for (std::size_t c = 0; c < there_.size(); ++c) {
        there_[c] = ChunkThere(file_.delta.fetched[c]);
        if (there_[c]) present_ += file_.delta.fetched[c].record.length;
    }
    return true;
}

bool DeltaWriter::ChunkThere(const delta::FileChunk& chunk) {
    const long n = out_.read_some_at(buffer_.data(), chunk.record.length, chunk.offset);
    return n == static_cast<long>(chunk.record.length) &&
           delta::HashMatches(
               trust::Sha256Of(std::string_view(buffer_.data(), chunk.record.length)), chunk.record,
               file_.delta.recordBytes);
}

// A chunk to fetch: with the one before it when they are neighbours.
void DeltaWriter::AddRange(std::size_t c) {
    const delta::FileChunk& chunk = file_.delta.fetched[c];
    const std::uint64_t last = chunk.offset + chunk.record.length - 1;
    if (!ranges_.empty() && ranges_.back().last + 1 == chunk.offset &&
        ranges_.back().firstChunk + ranges_.back().chunks == c) {
        ranges_.back().last = last;
        ++ranges_.back().chunks;
    } else {
        ranges_.push_back({chunk.offset, last, c, 1});
    }
}

bool DeltaWriter::Write(std::size_t r, const char* data, std::size_t size) {
    Progress& p = progress_[r];
    const Range& range = ranges_[r];
    if (size > range.last + 1 - p.next) return !(corrupt_ = true);
    if (!out_.write_all_at(data, size, p.next)) return false;
    // Each chunk's hash as its bytes pass.
    while (size > 0) {
        const delta::FileChunk& chunk = file_.delta.fetched[p.chunk];
        const std::uint64_t end = chunk.offset + chunk.record.length;
        const std::size_t part =
            static_cast<std::size_t>(std::min<std::uint64_t>(size, end - p.next));
        p.hash.Update(data, part);
        data += part;
        size -= part;
        p.next += part;
        if (p.next == end) {
            if (!delta::HashMatches(p.hash.Final(), chunk.record, file_.delta.recordBytes)) {
                return !(corrupt_ = true);
            }
            ++p.chunk;
        }
    }
    return true;
}

bool DeltaWriter::RangeDone(std::size_t r) {
    const Range& range = ranges_[r];
    if (progress_[r].next != range.last + 1) return false;
    for (std::size_t c = range.firstChunk; c < range.firstChunk + range.chunks; ++c) {
        there_[c] = true;
    }
    return true;
}

void DeltaWriter::Rewind(std::size_t r) {
    Progress& p = progress_[r];
    if (p.chunk < file_.delta.fetched.size()) p.next = file_.delta.fetched[p.chunk].offset;
    p.hash = trust::Sha256();
    corrupt_ = false;
}

bool DeltaWriter::Advance(std::size_t bytes) {
    const auto& pieces = file_.delta.pieces;
    while (bytes > 0 && piece_ < pieces.size()) {
        const delta::Piece& piece = pieces[piece_];
        if (piece.fetch && into_ == 0) {
            for (std::size_t c = piece.firstChunk; c < piece.firstChunk + piece.chunkCount; ++c) {
                if (!there_[c]) return true;  // still coming
            }
        }
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({piece.length - into_, buffer_.size(), bytes}));
        const std::uint64_t at = piece.offset + into_;
        // A fetched piece is read back from where it was written.
        platform::File& from = piece.fetch ? out_ : old_;
        const long got =
            from.read_some_at(buffer_.data(), n, piece.fetch ? at : piece.from + into_);
        if (got != static_cast<long>(n)) return false;
        if (!piece.fetch && !out_.write_all_at(buffer_.data(), n, at)) return false;
        hash_.Update(buffer_.data(), n);
        into_ += n;
        made_ += n;
        bytes -= n;
        if (into_ == piece.length) {
            ++piece_;
            into_ = 0;
        }
    }
    if (Complete()) old_.close();  // the game file may be replaced now
    return true;
}

void DeltaWriter::Discard(bool keepFile) {
    if (recordOnDisk_) platform::delete_file(scratch_.record);
    recordOnDisk_ = false;
    Close();
    if (!keepFile) platform::delete_file(scratch_.file);
}

void DeltaWriter::Close() {
    old_.close();
    out_.close();
}
