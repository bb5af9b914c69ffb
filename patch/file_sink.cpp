#include "patch/file_sink.h"

#include <vector>

bool FileSink::Write(const void* data, std::size_t size) {
    if (expected) hash.Update(data, size);
    return file.write_all(data, size);
}

bool FileSink::Resume(platform::File& partial) {
    if (!expected) return true;
    std::vector<unsigned char> buffer(1 << 20);
    for (long n; (n = partial.read_some(buffer.data(), buffer.size())) != 0;) {
        if (n < 0) return false;
        hash.Update(buffer.data(), static_cast<std::size_t>(n));
    }
    return true;
}

bool FileSink::Matches() {
    return !expected || hash.Final() == *expected;
}
