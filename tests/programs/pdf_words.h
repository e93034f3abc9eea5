// What a PDF shows, read by an independent reader (pdftotext of poppler-utils, which scripts/test
// installs): every word with its box, page by page. Tests hold the reports we write to it: the
// words are there, readable as Unicode, and inside the page.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velkon::test {

struct PdfWord {
    std::string text;
    double x_min = 0, y_min = 0, x_max = 0, y_max = 0;  // points from the top left corner
};

struct PdfPage {
    double width = 0, height = 0;
    std::vector<PdfWord> words;
    std::string text() const;  // the words, one space between
};

struct PdfWords {
    std::vector<PdfPage> pages;
    std::string error;  // when the reader could not be run or refused the file
};

PdfWords read_pdf_words(const std::filesystem::path& pdf);

// The words lying (wholly or in part) less than `margin` points from an edge of their page.
std::vector<std::string> words_outside(const PdfWords& pdf, double margin);

}  // namespace velkon::test
