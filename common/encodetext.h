#pragma once

#include <QString>

// The stored form of user names and passwords in O_USERS: the text in the
// installation's code page with every byte b at 1-based position i replaced
// by (b + 2*i + 5) mod 256, turned back into text. Same length in, same
// length out; there is no decoding, stored and typed values are compared
// in this form.
QString EncodeText(const QString& text);
