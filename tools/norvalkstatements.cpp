// norvalk-statements: writes the catalogue of every statement text the
// terminal can send, a JSON array of strings, sorted, each once. The build
// runs it (target norvalk_statement_catalogue); a server with its statement
// lock on runs for terminals only the texts the file holds.

#include "client/core/terminalstatements.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() != 1) {
        std::fprintf(stderr, "usage: norvalk-statements FILE.json\n");
        return 2;
    }
    try {
        const QJsonArray catalogue = QJsonArray::fromStringList(TerminalStatements());
        // Whole or not at all: a build stopped half way leaves the old file.
        QSaveFile file(arguments.first());
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(QJsonDocument(catalogue).toJson(QJsonDocument::Indented)) < 0 ||
            !file.commit()) {
            std::fprintf(stderr, "norvalk-statements: %s: %s\n", qPrintable(arguments.first()),
                         qPrintable(file.errorString()));
            return 1;
        }
    } catch (const std::exception& error) {
        // A statement builder refused (a name that is no name): no catalogue.
        std::fprintf(stderr, "norvalk-statements: %s\n", error.what());
        return 1;
    }
    return 0;
}
