#pragma once

#include "Closings.h"

#include <QString>

#include <memory>

class QPrinter;
class QTextDocument;

// A closing as a one-page German report for the cash book: heading with the café's
// name, number, day or shift, when and by whom it was closed, the stations, the
// total, the operators, the periods running, the undated records and the
// fingerprint. The window shows the same document that is printed.
class ClosingReport
{
public:
    // `now` stands for the moment of a closing not saved yet.
    static std::unique_ptr<QTextDocument> document(const Closing &closing, const QString &cafeName,
                                                   const QDateTime &now);

    // The closings of the day opened again: who, when and why; empty for none.
    static QString reopeningNotice(const Closing &closing);

    // Lays the document out on the printer's page and prints it.
    static void print(QTextDocument &document, QPrinter &printer);
};
