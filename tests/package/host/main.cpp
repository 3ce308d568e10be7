// A host of the installed library: it sees only the public headers and
// exits 0 only when every check holds, printing each one that fails.

#include <quellix/quellix.h>
#include <quellix/store.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

int failures = 0;

void check(bool ok, const char *what)
{
    if (!ok) {
        std::fprintf(stderr, "FAIL: %s\n", what);
        ++failures;
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);

    QTemporaryDir dir;
    if (!dir.isValid() || !QDir::setCurrent(dir.path())) {
        std::fprintf(stderr, "FAIL: no temporary current directory\n");
        return 1;
    }
    QStringList messages;
    quellix::setInformationHandler([&](const QString &, const QString &title) { messages << title; });

    {
        Quellix meter;
        meter.setObjectName(QStringLiteral("Meter1"));
        meter.initProperties();
        check(QFileInfo(quellix::storeDirectory()).canonicalFilePath() == QFileInfo(dir.path()).canonicalFilePath(),
              "registration captured the current directory");
        check(QFile::exists(dir.filePath(QStringLiteral("SETTINGS.MDB")))
                  && QFile::exists(dir.filePath(QStringLiteral("LOG.MDB"))),
              "registration created SETTINGS.MDB and LOG.MDB");
        check(QFile::exists(QStringLiteral(":/Sound/BEEP")), "the alarm sounds are in the library's resources");

        check(meter.setProperty("InputMultiplier", 2.0), "setProperty(InputMultiplier) accepted");
        check(meter.InputMultiplier() == 2.0, "InputMultiplier reads back");
        check(quellix::settingsField(dir.path(), QStringLiteral("Meter1"), QStringLiteral("Input Multiplier")).toDouble()
                  == 2.0,
              "InputMultiplier stored in the settings row");

        meter.setValue(21.0);
        check(meter.InputValue() == 21.0, "setValue wrote InputValue");
        check(meter.DisplayValue() == 42.0, "DisplayValue scaled by the multiplier");

        const int rate = meter.Scanrate();
        bool thrown = false;
        try {
            meter.setScanrate(0);
        } catch (const quellix::Error &e) {
            thrown = e.kind() == quellix::Error::Kind::InvalidValue;
        }
        check(thrown, "setScanrate(0) throws quellix::Error (InvalidValue)");
        check(meter.Scanrate() == rate, "a refused scan rate leaves Scanrate as it was");
    }

    quellix::setInformationHandler(nullptr);
    QDir::setCurrent(QDir::tempPath());
    if (failures == 0)
        std::printf("host: all checks passed (%lld stand-by messages)\n", static_cast<long long>(messages.size()));
    return failures == 0 ? 0 : 1;
}
