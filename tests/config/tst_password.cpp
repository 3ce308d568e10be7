// The password prompt: the gate's decision, the prompt's elements, wrong
// and right passwords by OK and by Enter, and the wrong-password message.

#include "windowstate.h"
#include "passwordprompt.h"
#include "promptdriver.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace quellix::config;
using namespace promptdriver;

Q_DECLARE_METATYPE(quellix::config::GateOutcome)

namespace {

QPushButton *promptButton(const char *name) { return PasswordPrompt::instance().findChild<QPushButton *>(name); }

void expect(const QString &mode, const QString &password)
{
    sharedWindowState().config.passwordMode = mode;
    sharedWindowState().config.passwordExpected = password;
}

} // namespace

class TestPassword : public QObject
{
    Q_OBJECT

    QStringList messages; // "title|text" of each wrong-password message

private Q_SLOTS:
    void init()
    {
        messages.clear();
        setWrongPasswordHandler([this](const QString &text, const QString &title) {
            messages << title + QLatin1Char('|') + text;
            return QMessageBox::Cancel;
        });
    }
    void cleanup() { setWrongPasswordHandler(nullptr); }

    void decision_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<GateOutcome>("outcome");
        QTest::newRow("setup") << "SETUP" << "marigold" << "marigold" << GateOutcome::OpenSetup;
        QTest::newRow("log") << "LOG" << "marigold" << "marigold" << GateOutcome::DeleteLog;
        QTest::newRow("data") << "DATA" << "marigold" << "marigold" << GateOutcome::DeleteSamples;
        QTest::newRow("other mode") << "setup" << "marigold" << "marigold" << GateOutcome::CloseOnly;
        QTest::newRow("case counts") << "SETUP" << "Marigold" << "marigold" << GateOutcome::Refused;
        QTest::newRow("prefix") << "SETUP" << "marigol" << "marigold" << GateOutcome::Refused;
        QTest::newRow("trailing blank") << "LOG" << "marigold " << "marigold" << GateOutcome::Refused;
        QTest::newRow("empty accepts empty") << "SETUP" << "" << "" << GateOutcome::OpenSetup;
        QTest::newRow("empty refused") << "DATA" << "" << "marigold" << GateOutcome::Refused;
    }
    void decision()
    {
        QFETCH(QString, mode);
        QFETCH(QString, typed);
        QFETCH(QString, expected);
        QFETCH(GateOutcome, outcome);
        QCOMPARE(gateDecision(mode, typed, expected), outcome);
    }

    void elements()
    {
        PasswordPrompt &p = PasswordPrompt::instance();
        QCOMPARE(&p, &PasswordPrompt::instance()); // one per process
        QCOMPARE(p.objectName(), QStringLiteral("f_PASSWORD"));
        QCOMPARE(p.windowTitle(), QStringLiteral("Setup Password"));
        QVERIFY(p.findChild<QLabel *>("l_LABEL"));
        QCOMPARE(entry()->echoMode(), QLineEdit::Password);
        QCOMPARE(entry()->toolTip(), QStringLiteral("Enter The Password For This Control"));
        QCOMPARE(promptButton("c_PASSWORDOK")->text(), QStringLiteral("&OK"));
        QCOMPARE(promptButton("c_PASSWORDOK")->toolTip(), QStringLiteral("Press To Accept Password"));
        QCOMPARE(promptButton("c_SETUPOK")->text(), QStringLiteral("&Cancel"));
        QCOMPARE(promptButton("c_SETUPOK")->toolTip(), QStringLiteral("Press To Cancel Password Entry"));
    }

    // Wrong answers by OK and by Enter with modifiers, each followed by the
    // message and an empty entry; then the right one by the given key.
    void retriesUntilRight_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("byButton");
        QTest::newRow("enter") << int(Qt::NoModifier) << false;
        QTest::newRow("shift+enter") << int(Qt::ShiftModifier) << false;
        QTest::newRow("ctrl+alt+enter") << int(Qt::ControlModifier | Qt::AltModifier) << false;
        QTest::newRow("ok button") << int(Qt::NoModifier) << true;
    }
    void retriesUntilRight()
    {
        QFETCH(int, modifiers);
        QFETCH(bool, byButton);
        expect("LOG", "Secret");
        QStringList afterWrong;
        whenPromptOpen([&] {
            typeAndEnter("secret", Qt::KeyboardModifiers(modifiers));
            afterWrong << entry()->text();
            QTest::keyClicks(entry(), "Secre");
            promptButton("c_PASSWORDOK")->click();
            afterWrong << entry()->text();
            QVERIFY(PasswordPrompt::instance().isVisible());
            if (byButton) {
                QTest::keyClicks(entry(), "Secret");
                promptButton("c_PASSWORDOK")->click();
            } else {
                typeAndEnter("Secret", Qt::KeyboardModifiers(modifiers));
            }
        });
        QVERIFY(askPassword("Delete?"));
        QCOMPARE(PasswordPrompt::instance().lastOutcome(), GateOutcome::DeleteLog);
        QCOMPARE(afterWrong, (QStringList{"", ""}));
        const QString message = "The Password Was Incorrect!!|Please re-enter your password.";
        QCOMPARE(messages, (QStringList{message, message}));
        QCOMPARE(entry()->text(), QString());
        QCOMPARE(PasswordPrompt::instance().findChild<QLabel *>("l_LABEL")->text(), QStringLiteral("Delete?"));
    }

    void cancelAndEscapeClearAndRefuse_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("cancel") << false;
        QTest::newRow("escape") << true;
    }
    void cancelAndEscapeClearAndRefuse()
    {
        QFETCH(bool, escape);
        expect("SETUP", "marigold");
        whenPromptOpen([&] {
            QTest::keyClicks(entry(), "marigold");
            if (escape)
                QTest::keyClick(entry(), Qt::Key_Escape);
            else
                promptButton("c_SETUPOK")->click();
        });
        QVERIFY(!askPassword("x"));
        QVERIFY(messages.isEmpty());
        QCOMPARE(entry()->text(), QString());
    }

    // The real message box: its text, title, buttons, default and icon.
    void wrongPasswordMessageBox()
    {
        setWrongPasswordHandler(nullptr);
        expect("SETUP", "marigold");
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        whenPromptOpen([&] {
            QTimer::singleShot(0, qApp, [&] {
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                text = box->text();
                title = box->windowTitle();
                icon = box->icon();
                buttons = box->standardButtons();
                defaultButton = box->standardButton(box->defaultButton());
                box->button(QMessageBox::Ok)->click();
            });
            typeAndEnter("wrong");
            typeAndEnter("marigold");
        });
        QVERIFY(askPassword("x"));
        QCOMPARE(text, QStringLiteral("Please re-enter your password."));
        QCOMPARE(title, QStringLiteral("The Password Was Incorrect!!"));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(buttons, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(defaultButton, QMessageBox::Cancel);
    }
};

QTEST_MAIN(TestPassword)
#include "tst_password.moc"
