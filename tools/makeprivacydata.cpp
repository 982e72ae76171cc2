// Writes the privacy data file shipped with the program:
//   makeprivacydata <output> [password]
// The default password is the one the Administrator page's help text announces.

#include <QCoreApplication>
#include <QTextStream>

#include "settings/PrivacyDataFile.h"

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 2) {
        err << "usage: makeprivacydata <output> [password]\n";
        return 2;
    }
    PrivacyData data;
    data.format = 1;
    data.key = 0x2b71;
    data.password = args.size() > 2 ? args.at(2) : QStringLiteral("fendro");
    data.privacy = false;
    if (!PrivacyDataFile::fitsPasswordField(data.password)) {
        err << "the password must be Latin-1, without NUL, at most " << PrivacyDataFile::kMaxPasswordLength
            << " characters\n";
        return 2;
    }
    QString reason;
    if (!PrivacyDataFile::write(args.at(1), data, &reason)) {
        err << "cannot write " << args.at(1) << ": " << reason << '\n';
        return 1;
    }
    return 0;
}
