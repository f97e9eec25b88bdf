// norvalk-encode: prints the stored form of a user name or password, for
// administrators adding users to O_USERS by hand.

#include "common/encodetext.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.isEmpty()) {
        std::fprintf(stderr, "usage: norvalk-encode TEXT...  (user names in upper case)\n");
        return 2;
    }
    for (const QString& text : arguments)
        std::printf("%s\n", EncodeText(text).toUtf8().constData());
    return 0;
}
