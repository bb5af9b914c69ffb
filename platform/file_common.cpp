// The parts of the file layer that are the same on every system.
#include <unistd.h>

#include <algorithm>

#include "platform/codepage.h"
#include "platform/file.h"

namespace platform {

std::string native_path(std::string_view path) {
    std::string out = cp1254_to_utf8(path);
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

File::File(File&& other) noexcept
    : fd_(other.fd_),
      attributesOnly_(other.attributesOnly_),
      size_(other.size_),
      writeTime_(other.writeTime_) {
    other.fd_ = -1;
    other.attributesOnly_ = false;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        attributesOnly_ = other.attributesOnly_;
        size_ = other.size_;
        writeTime_ = other.writeTime_;
        other.fd_ = -1;
        other.attributesOnly_ = false;
    }
    return *this;
}

File::~File() {
    close();
}

void File::close() {
    attributesOnly_ = false;
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool File::size_low32(std::uint32_t& bytes) const {
    std::uint64_t full = 0;
    if (!size(full)) return false;
    bytes = static_cast<std::uint32_t>(full);
    return true;
}

bool read_file(std::string_view path, std::string& contents) {
    File file = File::open_for_reading(path);
    if (!file) return false;
    contents.clear();
    std::uint64_t size = 0;
    if (file.size(size)) contents.reserve(static_cast<std::size_t>(size));
    char buffer[1 << 16];
    for (;;) {
        const long n = file.read_some(buffer, sizeof buffer);
        if (n < 0) return false;
        if (n == 0) return true;
        contents.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace platform
