#include "patch/file_sink.h"

#include <cstdint>
#include <vector>

bool FileSink::Write(const void* data, std::size_t size) {
    if (expected) hash.Update(data, size);
    return file.write_all(data, size);
}

bool FileSink::Resume(platform::File& partial) {
    // Without a hash to make, the limit needs only the partial file's size.
    if (!expected) {
        std::uint64_t size = 0;
        return partial.size(size) && limit.take(static_cast<std::size_t>(size));
    }
    std::vector<unsigned char> buffer(1 << 20);
    for (long n; (n = partial.read_some(buffer.data(), buffer.size())) != 0;) {
        if (n < 0 || !limit.take(static_cast<std::size_t>(n))) return false;
        hash.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    return true;
}

bool FileSink::Matches() {
    return !expected || hash.Final() == *expected;
}
