#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// One run of text on a page of a PDF file, as poppler's pdftohtml reads it.
struct PdfTextRun
{
    int page = 0;
    int top = 0; ///< from the top of the page, in pdftohtml's units
    int left = 0;
    QString text;
    QString fontFamily;
    bool bold = false;
};

/// Reads PDF files with poppler's command-line tools (Debian: poppler-utils).
class PdfReadback
{
public:
    /// Empty when every tool is there, else what is missing.
    static QString missingTools();

    /// The text of each page as a grid of characters @p charWidth points wide
    /// (pdftotext -fixed), one entry per line; trailing blanks and the blanks
    /// of the left margin are removed. Pages are separated by an entry
    /// "<page break>".
    static QStringList textLines(const QString &pdfPath, double charWidth);
    /// The runs of text in reading order, with their fonts.
    static QList<PdfTextRun> textRuns(const QString &pdfPath);
    static int pageCount(const QString &pdfPath);

    static inline const QString PageBreak = QStringLiteral("<page break>");
};
