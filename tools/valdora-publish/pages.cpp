#include "tools/valdora-publish/pages.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "patch/file_checks.h"
#include "servers/server_list.h"
#include "tools/valdora-publish/site.h"
#include "tools/valdora-publish/text_file.h"

namespace publish {

namespace {

std::string HtmlEscape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string FormatMiB(std::uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1 << 20));
    return text;
}

std::string RenderTemplate(const std::string& text,
                           const std::vector<std::pair<std::string, std::string>>& values) {
    std::string out;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find("{{", at);
        const std::size_t close = open == std::string::npos ? open : text.find("}}", open + 2);
        if (close == std::string::npos) break;
        out.append(text, at, open - at);
        const std::string name = text.substr(open + 2, close - open - 2);
        const auto value = std::find_if(values.begin(), values.end(),
                                        [&](const auto& v) { return v.first == name; });
        out += value != values.end() ? value->second : text.substr(open, close + 2 - open);
        at = close + 2;
    }
    out.append(text, std::min(at, text.size()));
    return out;
}

void ReadPageTemplates(const std::filesystem::path& dir, std::vector<Page>& pages,
                       std::vector<std::string>& problems) {
    for (const char* page : kPages) {
        std::string text;
        if (!ReadText(dir / page, text)) {
            problems.push_back((dir / page).string() + ": cannot be read");
            continue;
        }
        if (page == kPages.front()) {
            for (const std::string& p : ServerListProblems(text)) {
                problems.push_back((dir / page).string() + ": " + p);
            }
        }
        pages.emplace_back(page, std::move(text));
    }
}

void FillPromoPages(std::vector<Page>& pages, const std::string& note, std::size_t files,
                    std::uint64_t totalBytes) {
    char published[32];
    const std::string now = FormatTimeText(std::chrono::duration_cast<std::chrono::seconds>(
                                               std::chrono::system_clock::now().time_since_epoch())
                                               .count());
    std::snprintf(published, sizeof published, "%.16s UTC", now.c_str());
    for (Page& page : pages) {
        if (page.first == kPages.front()) continue;
        page.second = RenderTemplate(page.second, {{"note", HtmlEscape(note)},
                                                   {"published", published},
                                                   {"files", std::to_string(files)},
                                                   {"size", FormatMiB(totalBytes)}});
    }
}

}  // namespace publish
