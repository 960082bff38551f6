// A shell on the fake engine with the real tray, for the tray test: it runs
// on the test's Xvfb and private bus, takes commands on standard input and
// reports the window's visibility (and, asked, its maximised state or its
// size) on standard output, and which of the window and its sheet is active.
#include "controllers/EngineController.h"
#include "app/InstanceChannel.h"
#include "views/shell/ShellWindow.h"
#include "views/shell/WindowController.h"

#include "ShellRig.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QScreen>
#include <QSocketNotifier>
#include <QTextStream>

#include <unistd.h>

namespace {

class VisibilityReport : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            say(event->type() == QEvent::Show ? "shown" : "hidden");
        return QObject::eventFilter(watched, event);
    }

public:
    static void say(const char *line)
    {
        QTextStream out(stdout);
        out << line << '\n';
        out.flush();
    }
};

QCoro::Task<void> startEngine(tw::ShellRig *rig)
{
    rig->engine.state.running = true;
    co_await rig->env().engineState().refreshStatus();
}

QAction *closeAction(QWidget &window)
{
    for (QAction *action : window.findChildren<QAction *>())
        if (action->text() == QStringLiteral("Close Window"))
            return action;
    return nullptr;
}

bool shownMaximized(const QWidget &window)
{
    return window.isVisible() && window.isMaximized() && !window.isMinimized();
}

// The window's size with the window manager's frame, and whether that fits
// the screen's available area.
QByteArray frameSize(const QWidget &window)
{
    const QSize frame = window.frameGeometry().size();
    const bool fits = window.screen()->availableSize().boundedTo(frame) == frame;
    return "size " + QByteArray::number(frame.width()) + 'x' + QByteArray::number(frame.height())
           + (fits ? " fits" : " too big");
}

void openSheet(QWidget &window)
{
    auto *sheet = new QDialog(&window);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->open();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    tw::ShellRig rig(false, false);
    rig.engine.state.running = false;
    VisibilityReport report;
    rig.shell->window().installEventFilter(&report);
    rig.shell->windowController().show();

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[64] = {};
        const ssize_t length = ::read(STDIN_FILENO, buffer, sizeof buffer - 1);
        if (length <= 0) {
            QCoreApplication::exit(0);
            return;
        }
        for (const QByteArray &command : QByteArray(buffer, int(length)).split('\n')) {
            if (command == "run")
                startEngine(&rig);
            else if (command == "hide")
                rig.shell->window().hide();
            else if (command == "close")  // Ctrl+W
                closeAction(rig.shell->window())->trigger();
            else if (command == "show")  // a second launch
                rig.shell->open(tw::InstanceChannel::showRequest);
            else if (command == "minimise")
                rig.shell->window().showMinimized();
            else if (command == "window")  // the window asks for the keyboard itself
                rig.shell->window().activateWindow();
            else if (command == "sheet")  // as a page or a link opens one
                openSheet(rig.shell->window());
            else if (command == "active")
                VisibilityReport::say(qobject_cast<QDialog *>(QApplication::activeWindow()) ? "sheet" : "no sheet");
            else if (command == "state")
                VisibilityReport::say(shownMaximized(rig.shell->window()) ? "maximized" : "normal");
            else if (command == "size")
                VisibilityReport::say(frameSize(rig.shell->window()).constData());
        }
    });
    VisibilityReport::say("started");
    return app.exec();
}
