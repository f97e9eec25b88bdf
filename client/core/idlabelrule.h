#pragma once

#include <QString>

// A scanned identity label names a goods item by its key rather than by an
// article code: a text holding "D:A" is read as one. Only its first line
// counts, and the key follows the first "ID:A" (or, with no "ID:A", starts at
// the fourth character).
struct IdLabel
{
    QString article; // the article field's text after the rule (cut at a line feed)
    QString code;    // what to look up
    bool byIsn = false;
};

IdLabel IdLabelRule(const QString& text);
