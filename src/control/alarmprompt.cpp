// The alarm prompt window f_MESSAGE: one per process, shared by every
// control, showing the latest prompt until the operator acknowledges it.

#include "alarmprompt.h"

#include "logstore.h"
#include "recordtext.h"
#include "error.h"
#include "stores.h"
#include "storefiles.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

Q_LOGGING_CATEGORY(lcPrompt, "quellix.prompt")

namespace quellix {

namespace {

constexpr int kWindowWidth = 520;
constexpr int kMinimumHeight = 170;
constexpr int kFirstFlashMs = 500;
constexpr int kBlackMs = 300;
constexpr int kYellowMs = 1000;

const QColor kYellow(255, 255, 0);
const QColor kBlack(0, 0, 0);

class AlarmPromptWindow : public QWidget
{
public:
    AlarmPromptWindow()
        : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    {
        setObjectName(QStringLiteral("f_MESSAGE"));
        setWindowTitle(QStringLiteral("Alarm Prompt"));
        // Acknowledging the last open prompt must never end the host program.
        setAttribute(Qt::WA_QuitOnClose, false);
        setFixedWidth(kWindowWidth);

        m_frame = new QFrame(this);
        m_frame->setObjectName(QStringLiteral("Picture1"));
        m_frame->setFrameShape(QFrame::Box);
        m_frame->setFrameShadow(QFrame::Sunken);
        m_frame->setLineWidth(2);

        m_message = new QLabel(m_frame);
        m_message->setObjectName(QStringLiteral("t_MESSAGE"));
        m_message->setToolTip(QStringLiteral("Prompt Display Area"));
        QFont font(QStringLiteral("Sans Serif"));
        font.setStyleHint(QFont::SansSerif);
        font.setBold(true);
        font.setPointSize(16);
        m_message->setFont(font);
        m_message->setAlignment(Qt::AlignCenter);
        m_message->setWordWrap(true);
        m_message->setMargin(14);
        m_message->setMinimumHeight(80);
        m_message->setTextFormat(Qt::PlainText); // prompt texts are shown as typed
        m_message->setAutoFillBackground(true);

        auto *frameLayout = new QVBoxLayout(m_frame);
        frameLayout->setContentsMargins(0, 0, 0, 0);
        frameLayout->addWidget(m_message);

        m_button = new QPushButton(QStringLiteral("Acknowledge"), this);
        m_button->setObjectName(QStringLiteral("Command1"));
        m_button->setToolTip(QStringLiteral("Propmt Acknowledge Button"));
        m_button->setMinimumSize(160, 36);
        QFont buttonFont = m_button->font();
        buttonFont.setBold(true);
        m_button->setFont(buttonFont);
        connect(m_button, &QPushButton::clicked, this, [this] {
            m_acknowledging = true;
            close();
            m_acknowledging = false;
        });

        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(10, 10, 10, 10);
        layout->setSpacing(10);
        layout->addWidget(m_frame, 1);
        layout->addWidget(m_button, 0, Qt::AlignHCenter);

        m_timer = new QTimer(this);
        m_timer->setObjectName(QStringLiteral("Timer1"));
        connect(m_timer, &QTimer::timeout, this, [this] { flash(); });

        setMessageColours(kYellow);
    }

    // Destroying the window acknowledges nothing: only the operator's
    // Acknowledge or close writes the record.
    ~AlarmPromptWindow() override { m_loaded = false; }

    bool isLoaded() const { return m_loaded; }

    /// Points the window's log (db_LOG) at the stores of a location; when
    /// its log cannot be opened now, the acknowledgement is refused then,
    /// with a warning.
    void pointLogAt(const store::StoreLocation &location, const QString &caption)
    {
        m_stores.reset();
        try {
            m_stores = store::openStores(location);
            m_stores->log().reopen();
        } catch (const std::exception &e) {
            qCWarning(lcPrompt, "prompt \"%s\": LOG.MDB not reachable, acknowledgement will not be recorded: %s",
                      qPrintable(caption), e.what());
        }
    }

    /// The load step: design settings back and the window at the top edge
    /// of the screen, horizontally centred.
    void load()
    {
        setMessageColours(kYellow);
        m_timer->setInterval(kFirstFlashMs);
        m_timer->start();
        m_loaded = true;
        m_hiddenByQuit = false;
        placeAtTopCentre();
        // Watches for the application quitting while a prompt is loaded.
        if (QCoreApplication *app = QCoreApplication::instance())
            app->installEventFilter(this);
    }

    /// Left = (screen width - window width) / 2, top = 0, frame included.
    void placeAtTopCentre()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return;
        const QRect area = screen->geometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2, area.y());
    }

    void setPrompt(const QString &caption, const QString &text)
    {
        setWindowTitle(caption);
        m_message->setText(text);
        fitHeight();
        m_hiddenByQuit = false;
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        if (m_appQuitting && m_loaded && !m_acknowledging) {
            // The application closes every window as it quits: that is no
            // acknowledgement by the operator. The prompt stays loaded and
            // comes back should the quit be refused by another window.
            m_hiddenByQuit = true;
            QWidget::closeEvent(event);
            return;
        }
        // Acknowledge closes the window through here too, so the record is
        // written once whichever way the operator dismisses the prompt.
        if (m_loaded) {
            writeAcknowledgement();
            unload();
        }
        QWidget::closeEvent(event);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance() && !m_appQuitting) {
            m_appQuitting = true;
            // Runs only once the quit is over and the event loop goes on,
            // that is when the quit was refused.
            QTimer::singleShot(0, this, [this] {
                m_appQuitting = false;
                if (m_loaded && m_hiddenByQuit) {
                    m_hiddenByQuit = false;
                    show();
                }
            });
        }
        return QWidget::eventFilter(watched, event);
    }

private:
    void unload()
    {
        m_timer->stop();
        m_loaded = false;
        m_hiddenByQuit = false;
        m_stores.reset(); // pointed again by the next prompt
        if (QCoreApplication *app = QCoreApplication::instance())
            app->removeEventFilter(this);
    }

    void flash()
    {
        if (m_background != kBlack) {
            setMessageColours(kBlack);
            m_timer->setInterval(kBlackMs);
        } else {
            setMessageColours(kYellow);
            m_timer->setInterval(kYellowMs);
        }
    }

    // Black text on yellow, yellow text on black: the prompt blinks but
    // stays readable in both phases.
    void setMessageColours(const QColor &background)
    {
        m_background = background;
        QPalette pal = m_message->palette();
        pal.setColor(QPalette::Window, background);
        pal.setColor(QPalette::WindowText, background == kBlack ? kYellow : kBlack);
        m_message->setPalette(pal);
    }

    // The width stays fixed, so a long prompt grows the window downwards and
    // it stays centred.
    void fitHeight()
    {
        QLayout *l = layout();
        l->activate();
        int h = l->hasHeightForWidth() ? l->totalHeightForWidth(kWindowWidth) : l->totalSizeHint().height();
        h = qMax(h, kMinimumHeight);
        if (QScreen *screen = QGuiApplication::primaryScreen())
            h = qMin(h, screen->availableGeometry().height());
        setFixedHeight(h);
    }

    void writeAcknowledgement()
    {
        const PromptSnapshot &s = promptSnapshot();
        if (!s.logUserActions)
            return;
        store::LogRecord r;
        r.control = s.controlName;
        r.type = QStringLiteral("USER");
        r.event = QStringLiteral("Acknowledge ") + windowTitle();
        r.inputValue = s.inputValue;
        r.inputFunction = functionText(s.inputMultiplier, s.inputOffset, NumberForm::Str);
        r.displayValue = s.displayValue;
        r.outputFunction = functionText(s.outputMultiplier, s.outputOffset, NumberForm::Str);
        r.outputValue = s.outputValue;
        r.holdStatus = s.holdStatus;
        try {
            if (!m_stores)
                throw Error(Error::Kind::NotOpen, QStringLiteral("the prompt has no log store"));
            m_stores->log().append(r);
        } catch (const std::exception &e) {
            // The record is dropped; the operator's acknowledgement still
            // closes the window and nothing reaches the event loop.
            qCWarning(lcPrompt, "%s: acknowledgement not recorded: %s", qPrintable(s.controlName), e.what());
        }
    }

    QFrame *m_frame = nullptr;
    QLabel *m_message = nullptr;
    QPushButton *m_button = nullptr;
    QTimer *m_timer = nullptr;
    std::shared_ptr<store::Stores> m_stores;
    QColor m_background;
    bool m_loaded = false;
    bool m_appQuitting = false;   // the application is handling a quit request
    bool m_hiddenByQuit = false;  // closed by that quit, not by the operator
    bool m_acknowledging = false; // Command1 is closing the window
};

QPointer<AlarmPromptWindow> g_window;
bool g_postRoutineAdded = false;

// A library unloaded before the application object goes (a plug-in host)
// must not leave its clean-up behind.
struct PostRoutineGuard {
    ~PostRoutineGuard()
    {
        if (g_postRoutineAdded)
            qRemovePostRoutine(destroyAlarmPrompt);
    }
} g_postRoutineGuard;

} // namespace

PromptSnapshot &promptSnapshot()
{
    static PromptSnapshot snapshot;
    return snapshot;
}

void showAlarmPrompt(const QString &caption, const QString &text)
{
    if (!g_window) {
        g_window = new AlarmPromptWindow;
        if (!g_postRoutineAdded) {
            // Widgets must go while the application object still exists.
            qAddPostRoutine(destroyAlarmPrompt);
            g_postRoutineAdded = true;
        }
    }
    AlarmPromptWindow *w = g_window;
    const bool loading = !w->isLoaded();
    if (loading)
        w->load();

    w->pointLogAt(store::chosenStoreLocation().value_or(store::StoreLocation::directory(store::storeDirectory())),
                  caption);

    w->setPrompt(caption, text);
    w->show();
    if (loading)
        w->placeAtTopCentre(); // again, now that the window frame is known
    w->raise();
}

QWidget *alarmPromptWindow() { return g_window.data(); }

void destroyAlarmPrompt() { delete g_window.data(); }

} // namespace quellix
