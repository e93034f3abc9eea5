#include "programs/pdf_words.h"

#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <regex>

#include "programs/child_process.h"
#include "programs/programs_fixture.h"

namespace velkon::test {

namespace {

// The reader writes "&amp;", "&lt;", "&gt;" and "&quot;" for those characters.
std::string unescaped(std::string text) {
    static const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, c] : entities) {
        for (std::size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1))
            text.replace(at, std::string(entity).size(), c);
    }
    return text;
}

}  // namespace

std::string PdfPage::text() const {
    std::string out;
    for (const PdfWord& w : words) out += (out.empty() ? "" : " ") + w.text;
    return out;
}

PdfWords read_pdf_words(const std::filesystem::path& pdf) {
    PdfWords result;
    const auto readers = find_on_path("pdftotext");
    if (readers.empty()) {
        result.error = "pdftotext (poppler-utils) is not installed; scripts/test installs it";
        return result;
    }
    const std::filesystem::path html = pdf.string() + ".words.html";
    ChildProcess child({.args = {readers.front().string(), "-bbox", pdf.string(), html.string()}});
    const auto status = child.wait(kProgramEnds);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        result.error = "pdftotext refused " + pdf.string();
        return result;
    }
    std::ifstream in(html);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    std::filesystem::remove(html);
    static const std::regex item(
        R"re(<page width="([0-9.]+)" height="([0-9.]+)">|<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" xMax="([-0-9.]+)" yMax="([-0-9.]+)">([^<]*)</word>)re");
    for (std::sregex_iterator it(text.begin(), text.end(), item), end; it != end; ++it) {
        const std::smatch& m = *it;
        if (m[1].matched) {
            result.pages.push_back({std::stod(m[1]), std::stod(m[2]), {}});
        } else if (!result.pages.empty()) {
            result.pages.back().words.push_back({unescaped(m[7]), std::stod(m[3]), std::stod(m[4]),
                                                 std::stod(m[5]), std::stod(m[6])});
        }
    }
    if (result.pages.empty()) result.error = "no page in " + pdf.string();
    return result;
}

std::vector<std::string> words_outside(const PdfWords& pdf, double margin) {
    std::vector<std::string> out;
    for (const PdfPage& page : pdf.pages) {
        for (const PdfWord& w : page.words) {
            if (w.x_min < margin || w.y_min < margin || w.x_max > page.width - margin ||
                w.y_max > page.height - margin)
                out.push_back(w.text);
        }
    }
    return out;
}

}  // namespace velkon::test
