// quellix-store: the server side of the stores.
//
//   quellix-store init URL       tables, indexes and the two roles
//   quellix-store import DIR URL SETTINGS.MDB and LOG.MDB of DIR, every row
//
// The user and password come from libpq's conventions (PGUSER, PGPASSFILE,
// the service file); an address holding a password is refused.

#include "error.h"
#include "pgconnection.h"
#include "pgstores.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

int fail(const QString &what)
{
    std::fprintf(stderr, "quellix-store: %s\n", qPrintable(what));
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quellix-store"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prepares a PostgreSQL database for the Quellix stores of a plant.\n\n"
        "  init URL               makes the tables \"Settings\", \"LOG\" and \"DATA\" with their indexes (in the "
        "first schema of the search path) and two roles: the panel role reads the settings, writes settings rows "
        "and appends records; the operator role may also delete records (the log viewer's clear commands). Grant "
        "them to the stations' login roles. Tables and roles that exist are kept.\n"
        "  import DIRECTORY URL   copies every row of SETTINGS.MDB and LOG.MDB in DIRECTORY to the server, in "
        "their order, in one transaction.\n\n"
        "URL is postgresql://HOST:PORT/DATABASE (a socket folder as HOST, percent-encoded; libpq parameters such "
        "as sslmode after \"?\"). The user and password come from PGUSER, PGPASSFILE or the service file, never "
        "from the URL or the command line."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("init or import"));
    QCommandLineOption panelOpt(QStringLiteral("panel-role"), QStringLiteral("Name of the panel role (default quellix_panel)."),
                                QStringLiteral("NAME"), QStringLiteral("quellix_panel"));
    QCommandLineOption operatorOpt(QStringLiteral("operator-role"),
                                   QStringLiteral("Name of the operator role (default quellix_operator)."),
                                   QStringLiteral("NAME"), QStringLiteral("quellix_operator"));
    parser.addOptions({panelOpt, operatorOpt});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    try {
        if (command == QLatin1String("init") && args.size() == 2) {
            quellix::store::initServerStore(args[1], parser.value(panelOpt), parser.value(operatorOpt));
            std::printf("quellix-store: tables and roles %s, %s ready on %s\n", qPrintable(parser.value(panelOpt)),
                        qPrintable(parser.value(operatorOpt)), qPrintable(quellix::store::pg::shownUrl(args[1])));
            return 0;
        }
        if (command == QLatin1String("import") && args.size() == 3) {
            const auto n = quellix::store::importDirectory(args[1], args[2]);
            std::printf("quellix-store: imported %lld settings rows, %lld LOG rows, %lld DATA rows into %s\n",
                        qlonglong(n.settings), qlonglong(n.log), qlonglong(n.data),
                        qPrintable(quellix::store::pg::shownUrl(args[2])));
            return 0;
        }
    } catch (const quellix::Error &e) {
        return fail(e.message());
    }
    std::fprintf(stderr, "quellix-store: give \"init URL\" or \"import DIRECTORY URL\" (see --help)\n");
    return 2;
}
