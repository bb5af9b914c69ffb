#include "tools/valdora-publish/text_file.h"

#include <fstream>
#include <sstream>
#include <vector>

namespace publish {

bool ReadText(const std::filesystem::path& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return !in.bad();
}

bool WriteText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return !out.fail();
}

}  // namespace publish

namespace publish {

bool HashFile(const std::filesystem::path& path, trust::Sha256Digest& digest) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    trust::Sha256 hash;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    digest = hash.Final();
    return in.eof() && !in.bad();
}

bool CopyHashed(const std::filesystem::path& from, const std::filesystem::path& to,
                trust::Sha256Digest& digest, std::string& error) {
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    if (!in || !out) {
        error = (!in ? from : to).string() + ": cannot be opened";
        return false;
    }
    std::vector<char> buffer(1 << 20);
    trust::Sha256 hash;
    while (in && out) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
        out.write(buffer.data(), in.gcount());
    }
    digest = hash.Final();
    out.close();
    if (in.bad() || !in.eof()) error = from.string() + ": cannot be read";
    if (out.fail()) error = to.string() + ": cannot be written";
    return !in.bad() && in.eof() && !out.fail();
}

}  // namespace publish
